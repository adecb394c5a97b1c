// Shared pieces of the end-to-end benches.
#include "bench/e2e/e2e_support.h"

#include "help/pictures.h"
#include "serial/comm.h"
#include "text/regional_settings.h"
#include "ui/message_boxes.h"
#include "ui/window_fonts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::e2e {

namespace {

// A box would wait for a click that never comes: say what it was and stop.
class FailingBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString& title, const QString& text, const QString& details,
                   bool) override {
        std::fprintf(stderr, "bench stopped by an error box: %s: %s %s\n", qPrintable(title),
                     qPrintable(text), qPrintable(details));
        std::exit(2);
    }
    SaveChoice askSave(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Discard;
    }
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench failed: %s (%s)\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

double ResidentMegabytesOf(const std::string& statm) {
    std::ifstream in(statm);
    long pages = 0;
    long resident = 0;
    in >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

} // namespace

ProgramApplication::ProgramApplication(int& argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also in a log
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ReadRegionalSettings();
    application_ = std::make_unique<TApplication>(argc, argv);
    InstallFontSubstitutes();
    application_->setWindowIcon(VelmoraIcon());
    static FailingBoxes boxes;
    SetMessageBoxes(&boxes);
}

ProgramWindows::ProgramWindows(const std::string& port) {
    if (!folder_.isValid())
        Fail("temporary folder");
    const std::string settings = folder_.filePath(QStringLiteral("velmora.ini")).toStdString();
    WriteSettingsFile(settings, port);
    form1_ = std::make_unique<TForm1>(nullptr, settings);
    form2_ = std::make_unique<TForm2>();
    form3_ = std::make_unique<TForm3>(*form1_->Comm1, *form1_->settingsFile(), form1_.get());
    form4_ = std::make_unique<TForm4>();
    form1_->setSettingsDialog(form3_.get());
    form1_->setHelpWindow(form4_.get());
    form1_->setChartWindow(form2_.get());
    form1_->show();
    // The show handler opens the port once the window is on screen.
    RunEventsUntil([this] { return form1_->Comm1->PortOpen(); }, std::chrono::seconds(10),
                   "the main window to open its port");
}

ProgramWindows::~ProgramWindows() = default;

void WriteSettingsFile(const std::string& path, const std::string& port) {
    std::ofstream out(path, std::ios::binary);
    out << "[COM Info]\r\nPort=" << port << "\r\nbaudrate=9600\r\n";
    if (!out.flush())
        Fail("write " + path);
}

void RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                    const char* what) {
    // processEvents() with a time limit never sleeps; waiting for events
    // does, and this timer bounds each wait so the deadline is noticed.
    QTimer wake;
    wake.start(50);
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "bench failed: timed out waiting for %s\n", what);
            std::exit(2);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void RunEventsFor(Clock::duration duration) {
    QEventLoop loop;
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(duration), &loop,
                       &QEventLoop::quit);
    loop.exec();
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment, Capture capture) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        Fail("pipe");
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argvText)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    // Later entries win: ours after the inherited ones.
    std::vector<std::string> envText;
    for (char** entry = environ; *entry; ++entry)
        envText.emplace_back(*entry);
    envText.insert(envText.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int target = capture == Capture::StandardOutput ? STDOUT_FILENO : STDERR_FILENO;
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], target);
    const int error =
        ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (error != 0) {
        errno = error;
        Fail("start " + program);
    }
    fd_ = pipeFds[0];
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const size_t end = pending_.find('\n'); end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (fd_ < 0 || left.count() < 0)
            return false;
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, static_cast<int>(left.count()) + 1) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

double ChildProcess::CpuSeconds() const {
    // Each thread's time on a processor in nanoseconds (first field of its
    // schedstat): /proc/PID/stat counts only in 10 ms ticks, too coarse for
    // a process that should hardly run at all.
    double seconds = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (in >> nanoseconds)
            seconds += static_cast<double>(nanoseconds) / 1e9;
    }
    return seconds;
}

double ChildProcess::ResidentMegabytes() const {
    return ResidentMegabytesOf("/proc/" + std::to_string(pid_) + "/statm");
}

void ChildProcess::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(1000);
        }
        pid_ = -1;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::string ReadMeterPort(ChildProcess& meter) {
    std::string port;
    if (!meter.ReadLine(port, std::chrono::seconds(10)) || port.empty())
        Fail("velmora-meter printed no port");
    return port;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ResidentMegabytes() {
    return ResidentMegabytesOf("/proc/self/statm");
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double Percentile(std::vector<double> samples, double q) {
    if (samples.empty())
        return NAN;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<size_t>(std::ceil(q * static_cast<double>(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const char* ProgramPath() {
    return VELMORA_PROGRAM;
}

const char* MeterProgramPath() {
    return VELMORA_METER_PROGRAM;
}

} // namespace velmora::e2e
