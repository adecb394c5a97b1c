// Bench program: start-up time of the real velmora executable, from exec to its main window shown.
//
// A copy of the executable sits in a temporary folder beside a velmora.ini that names the port
// of an emulated meter (a fresh one for every run, as a killed program leaves its port marked
// exclusive). Each run starts the copy with posix_spawn on the offscreen platform with
// QT_LOGGING_RULES="velmora.startup.debug=true" and takes the time from just before the spawn
// to the line "velmora.startup: main window shown" on its standard error; the program is then
// stopped with SIGTERM and reaped.
//
// Run: build-e2e-release/bench/e2e/velmora_e2e_startup_bench [runs, default 20]
#include "bench/e2e/e2e_support.h"

#include "tools/meter/meter_emulator.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    using namespace velmora;
    using e2e::Clock;
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;

    QTemporaryDir folder;
    const std::string program = folder.filePath(QStringLiteral("velmora")).toStdString();
    const std::string settings = folder.filePath(QStringLiteral("velmora.ini")).toStdString();
    std::filesystem::copy_file(e2e::ProgramPath(), program);

    std::printf("exec of %s -> \"main window shown\", offscreen\n", e2e::ProgramPath());
    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        MeterEmulator meter;
        meter.Start();
        e2e::WriteSettingsFile(settings, meter.SlavePath());

        const auto start = Clock::now();
        e2e::ChildProcess velmora(
            program, {},
            {"QT_QPA_PLATFORM=offscreen", "QT_LOGGING_RULES=velmora.startup.debug=true"},
            e2e::ChildProcess::Capture::StandardError);
        std::string line;
        bool shown = false;
        while (!shown && velmora.ReadLine(line, std::chrono::seconds(10)))
            shown = line.find("velmora.startup: main window shown") != std::string::npos;
        const double ms = e2e::Milliseconds(Clock::now() - start);
        if (!shown) {
            std::printf("run %d: no \"main window shown\" line within 10 s\n", run + 1);
            return 1;
        }
        times.push_back(ms);
        std::printf("%s%.1f", run == 0 ? "runs (ms): " : " ", ms);
        std::fflush(stdout);
        velmora.Stop();
    }
    const double median = e2e::Percentile(times, 0.5);
    std::printf("\nruns %zu: median %.1f ms  p90 %.1f ms  min %.1f ms  max %.1f ms\n", times.size(),
                median, e2e::Percentile(times, 0.9), e2e::Percentile(times, 0.0),
                e2e::Percentile(times, 1.0));
    std::printf("load average after: %s\n", e2e::LoadAverage().c_str());
    std::printf("target: <= 300 ms: %s\n", median <= 300 ? "met (median)" : "NOT met (median)");
    return 0;
}
