// velmora-log: the meter's readings logged without a desktop.
#include "logger/headless_logger.h"
#include "logger/logger_options.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
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

    velmora::HeadlessLogger logger(parsed.options);
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
