// Bench program: what the program costs: CPU while polling and while idle, memory of a long log.
//
//   polling  The program's four windows built in this process as its entry point builds them
//            (offscreen), "Connect" ticked, polling velmora-meter (a separate process, so the
//            meter's CPU is not counted) without byte timing or measurement time: 20 readings
//            a second, the most the 50 ms timer allows. CPU of this process (getrusage) over
//            the run, as a share of one core.
//   idle     The real velmora executable (a copy in a temporary folder, with a velmora.ini
//            naming velmora-meter's port), offscreen, port open, "Connect" not ticked. CPU of
//            that process's threads (/proc/PID/task/*/schedstat) over the run.
//   memory   The windows in this process with the port open and "Connect" not ticked; a
//            pseudo-terminal owned by the bench plays the meter and writes the next reading
//            as soon as the program has handled the last one, so every reading takes the real
//            path: receive thread, notification, Comm1's OnReceiveData, Comm1ReceiveData,
//            displays, log and chart. The read interval is lowered from 26 ms to 1 ms for this run
//            only (26 ms of quiet per reading would make a million readings take 7 hours).
//            Resident memory at start and after the readings, and the log's own size.
//
// Run: build-e2e-release/bench/e2e/velmora_e2e_cost_bench [polling|idle|memory|all]
//      [seconds for polling and idle, default 60] [readings for memory, default 1000000]
#include "bench/e2e/e2e_support.h"

#include "app/reading_log_box.h"
#include "serial/comm.h"
#include "tools/meter/meter_model.h"
#include "tools/meter/pseudo_terminal.h"

#include <QCheckBox>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using namespace velmora;
using e2e::Clock;

void Polling(std::chrono::seconds duration) {
    e2e::ChildProcess meter(e2e::MeterProgramPath(), {"--baud", "0", "--measure-ms", "0"}, {},
                            e2e::ChildProcess::Capture::StandardOutput);
    e2e::ProgramWindows windows(e2e::ReadMeterPort(meter));
    TForm1& form = windows.Form1();
    long deliveries = 0;
    const TReceiveDataEvent programHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const char* buffer, uint16_t length) {
        programHandler(sender, buffer, length);
        ++deliveries;
    };
    form.Check_Connection->setChecked(true);
    e2e::RunEventsUntil([&] { return deliveries >= 2; }, std::chrono::seconds(15),
                        "the first reading");
    e2e::RunEventsFor(std::chrono::seconds(2)); // settle

    const double cpuBefore = e2e::ProcessCpuSeconds();
    const double meterCpuBefore = meter.CpuSeconds();
    const long deliveriesBefore = deliveries;
    const auto start = Clock::now();
    e2e::RunEventsFor(duration);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double share = (e2e::ProcessCpuSeconds() - cpuBefore) / wall * 100;
    std::printf("polling %.0f s at %.2f readings/s: program CPU %.2f %% of one core "
                "(velmora-meter process, not counted: %.2f %%)   target <= 3 %%: %s\n",
                wall, static_cast<double>(deliveries - deliveriesBefore) / wall, share,
                (meter.CpuSeconds() - meterCpuBefore) / wall * 100, share <= 3 ? "met" : "NOT met");
    form.Check_Connection->setChecked(false);
}

// True when the process holds `path` open.
bool HoldsOpen(pid_t pid, const std::string& path) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(entry.path(), error) == path)
            return true;
    }
    return false;
}

void Idle(std::chrono::seconds duration) {
    e2e::ChildProcess meter(e2e::MeterProgramPath(), {}, {},
                            e2e::ChildProcess::Capture::StandardOutput);
    const std::string port = e2e::ReadMeterPort(meter);
    QTemporaryDir folder;
    const std::string program = folder.filePath(QStringLiteral("velmora")).toStdString();
    std::filesystem::copy_file(e2e::ProgramPath(), program);
    e2e::WriteSettingsFile(folder.filePath(QStringLiteral("velmora.ini")).toStdString(), port);

    e2e::ChildProcess velmora(
        program, {}, {"QT_QPA_PLATFORM=offscreen", "QT_LOGGING_RULES=velmora.startup.debug=true"},
        e2e::ChildProcess::Capture::StandardError);
    std::string line;
    while (line.find("main window shown") == std::string::npos) {
        if (!velmora.ReadLine(line, std::chrono::seconds(10))) {
            std::printf("idle: the program did not show its window\n");
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the port opens after the show
    const bool portOpen = HoldsOpen(velmora.Pid(), port);
    const double residentAtStart = velmora.ResidentMegabytes();
    const double cpuBefore = velmora.CpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(duration);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double share = (velmora.CpuSeconds() - cpuBefore) / wall * 100;
    std::printf("idle %.0f s, real executable, port %s, not connected: CPU %.3f %% of one core "
                "(%.3f s)   target <= 0.1 %%: %s\n",
                wall, portOpen ? "open" : "NOT open", share, velmora.CpuSeconds() - cpuBefore,
                share <= 0.1 ? "met" : "NOT met");
    std::printf("  resident memory of the real program after start-up: %.1f MB\n", residentAtStart);
}

void Memory(long readings) {
    PseudoTerminal meter;
    e2e::ProgramWindows windows(meter.SlavePath());
    TForm1& form = windows.Form1();
    form.Comm1->SetReadIntervalTimeout(1);
    MeterModel model;

    long written = 0;
    long chunks = 0;
    bool unitShown = false;
    bool feeding = false;
    const TReceiveDataEvent programHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const char* buffer, uint16_t length) {
        programHandler(sender, buffer, length);
        ++chunks;
        unitShown = true;
        // The next reading once this one has been handled; a reply cut in two
        // (never seen) must not put two in flight.
        if (feeding && length > 0 && buffer[length - 1] == '\n' && written < readings) {
            meter.Write(*model.Handle("Read?") + "\r\n");
            ++written;
        }
    };

    meter.Write("\"VOLT\"\r\n"); // the unit, as after "Func?"
    e2e::RunEventsUntil([&] { return unitShown; }, std::chrono::seconds(10), "the unit reply");
    e2e::RunEventsFor(std::chrono::milliseconds(200));
    const double residentAtStart = e2e::ResidentMegabytes();
    std::printf("memory: resident %.1f MB at start (window shown, port open, unit known)\n",
                residentAtStart);

    const auto start = Clock::now();
    feeding = true;
    meter.Write(*model.Handle("Read?") + "\r\n");
    ++written;
    long reported = 0;
    e2e::RunEventsUntil(
        [&] {
            const long logged = static_cast<long>(form.Memo2->lineCount()) - 1; // header
            if (logged >= reported + 100000) {
                reported = logged / 100000 * 100000;
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                std::printf("  %8ld lines  resident %7.1f MB  %6.0f s  %.0f readings/s\n", logged,
                            e2e::ResidentMegabytes(), seconds, logged / seconds);
                std::fflush(stdout);
            }
            return logged >= readings;
        },
        std::chrono::milliseconds(readings * 20 + 60000), "the readings to be logged");
    e2e::RunEventsFor(std::chrono::milliseconds(200));

    const double residentAtEnd = e2e::ResidentMegabytes();
    const double growth = residentAtEnd - residentAtStart;
    std::printf("memory: resident %.1f MB after %lld logged lines (%ld readings written, %ld "
                "chunks delivered)\n",
                residentAtEnd, static_cast<long long>(form.Memo2->lineCount() - 1), written,
                chunks);
    std::printf("  growth %.1f MB, of which log text %.1f MB in the store   target <= 150 MB: %s\n",
                growth, static_cast<double>(form.Memo2->store().byteCount()) / 1e6,
                growth <= 150 ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv) {
    const std::string part = argc > 1 ? argv[1] : "all";
    const std::chrono::seconds duration(argc > 2 ? std::atoi(argv[2]) : 60);
    const long readings = argc > 3 ? std::atol(argv[3]) : 1000000;
    e2e::ProgramApplication application(argc, argv);

    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());
    if (part == "polling" || part == "all")
        Polling(duration);
    if (part == "idle" || part == "all")
        Idle(duration);
    if (part == "memory" || part == "all")
        Memory(readings);
    std::printf("load average after: %s\n", e2e::LoadAverage().c_str());
    return 0;
}
