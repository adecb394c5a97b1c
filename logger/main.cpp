// velmora-log: the meter's readings logged without a desktop.
#include "logger/headless_logger.h"
#include "logger/logger_options.h"
#include "logger/logger_settings.h"
#include "settings/ini_file.h"
#include "settings/serial_port_list.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void StopSignal(int) {
    const char byte = 1;
    (void)!write(stopPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const velmora::ParsedLoggerOptions parsed = velmora::ParseLoggerOptions(arguments);
    if (parsed.error) {
        std::fprintf(stderr, "velmora-log: %s\nTry 'velmora-log --help'.\n", parsed.error->c_str());
        return 1;
    }
    if (parsed.options.help) {
        std::fputs(velmora::LoggerUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.options.list) {
        for (const std::string& port :
             velmora::AvailableSerialPorts(parsed.options.deviceFolder, std::string())) {
            std::printf("%s\n", port.c_str());
        }
        return 0;
    }
    velmora::LoggerOptions options = parsed.options;
    if (!options.settingsFile.empty()) {
        // A missing file reads as empty to the desktop program; named here, it is a mistake.
        const velmora::IniFile settings(options.settingsFile);
        std::optional<std::string> problem = settings.readProblem();
        if (!problem && access(options.settingsFile.c_str(), R_OK) != 0) {
            problem = std::strerror(errno);
        }
        if (!problem) {
            problem = velmora::ApplyLoggerSettings(settings, options);
        }
        if (problem) {
            std::fprintf(stderr, "velmora-log: the settings file %s: %s\n",
                         options.settingsFile.c_str(), problem->c_str());
            return 1;
        }
    }
    QCoreApplication application(argc, argv);
    // A signal only writes a byte; the stop itself runs in the event loop.
    if (pipe(stopPipe) != 0) {
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = StopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN); // a closed pipe is a failed write, reported as such

    velmora::HeadlessLogger logger(options);
    QSocketNotifier stop(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &logger, [&] {
        char byte = 0;
        (void)!read(stopPipe[0], &byte, 1);
        logger.requestStop();
    });
    logger.onFinished = [](int status) { QCoreApplication::exit(status); };
    if (const std::optional<int> status = logger.start()) {
        return *status;
    }
    return application.exec();
}
