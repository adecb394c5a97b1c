// Shared pieces of the end-to-end benches: the program's windows in-process, child processes,
// figures.
#pragma once

#include "app/application.h"
#include "app/main_window.h"
#include "chart/chart_window.h"
#include "help/help_window.h"
#include "settings/serial_settings_dialog.h"

#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora::e2e {

using Clock = std::chrono::steady_clock;

// The program's application object, set up as its entry point does it
// (regional settings first, then the application, fonts and icon), on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise. Any box the
// program would show ends the bench with the box's text: a bench that
// waits for a click would only hang.
class ProgramApplication {
public:
    ProgramApplication(int& argc, char** argv);
    TApplication& application() { return *application_; }

private:
    std::unique_ptr<TApplication> application_;
};

// The program's four windows, created in its order with its wiring, the
// main window shown; its settings file is `folder`/velmora.ini, written
// beforehand with `port` at 9600 baud, so showing the window opens that port
// exactly as the program does. Destroyed in the reverse order.
class ProgramWindows {
public:
    explicit ProgramWindows(const std::string& port);
    ~ProgramWindows();

    TForm1& Form1() { return *form1_; }

private:
    QTemporaryDir folder_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm4> form4_;
};

// "[COM Info]" with Port=`port` and baudrate=9600, as the program writes it.
void WriteSettingsFile(const std::string& path, const std::string& port);

// Runs the event loop until `done` holds; exits the bench with `what` after `timeout`.
void RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                    const char* what);
// Runs the event loop for `duration`.
void RunEventsFor(Clock::duration duration);

// A program started with posix_spawn, one of its output streams on a pipe.
// Stopped (SIGTERM, SIGKILL if it lingers) and reaped when destroyed.
class ChildProcess {
public:
    enum class Capture { StandardOutput, StandardError };

    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extraEnvironment, Capture capture);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // The next line (without its line end) of the captured stream; false at
    // its end or after `timeout`.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    // CPU time of the process's present threads so far (threads that have
    // ended no longer count: compare two readings of a settled process).
    double CpuSeconds() const;
    // Resident memory in MB, from /proc.
    double ResidentMegabytes() const;
    void Stop();

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string pending_;
};

// The first line velmora-meter prints: the path of its pseudo-terminal.
std::string ReadMeterPort(ChildProcess& meter);

// This process's user plus system CPU time (getrusage).
double ProcessCpuSeconds();
// This process's resident memory in MB.
double ResidentMegabytes();
// The 1-, 5- and 15-minute load averages, as /proc/loadavg gives them.
std::string LoadAverage();

// The value below which a fraction `q` of the samples lie (nearest rank).
double Percentile(std::vector<double> samples, double q);
double Milliseconds(Clock::duration d);

// Paths of the built programs.
const char* ProgramPath();
const char* MeterProgramPath();

} // namespace velmora::e2e
