// Bench program: velmora-log's start-up time and memory, against the emulated meter.
//
// Start-up: each run starts velmora-log on a fresh emulated meter with posix_spawn and takes the
// time from just before the spawn to its "recording started" row on standard output (the port
// open and the output ready) and to its first reading (after the meter's second in remote mode).
// Memory: one long fast run; the resident size after 100 readings and after 1,500 shows whether
// anything grows with the readings.
//
// Run: build/release/bench/e2e/velmora_e2e_logger_bench [runs, default 10]
#include "bench/e2e/e2e_support.h"

#include "tools/meter/meter_emulator.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace velmora;
using e2e::Clock;

MeterOptions SteadyMeter() {
    MeterOptions options;
    options.model.overloadChance = 0;
    return options;
}

bool IsReading(const std::string& row) {
    return row.find(",ok,") != std::string::npos;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    std::printf("exec of %s -> rows on standard output\n", VELMORA_LOG_PROGRAM);
    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());

    std::vector<double> ready, firstReading;
    for (int run = 0; run < runs; ++run) {
        MeterEmulator meter(SteadyMeter());
        meter.Start();
        const auto start = Clock::now();
        e2e::ChildProcess logger(VELMORA_LOG_PROGRAM,
                                 {"--port", meter.SlavePath(), "--fast", "--count", "3"}, {},
                                 e2e::ChildProcess::Capture::StandardOutput);
        std::string row;
        bool started = false;
        while (logger.ReadLine(row, std::chrono::seconds(10))) {
            if (!started && row.ends_with(",recording started")) {
                started = true;
                ready.push_back(e2e::Milliseconds(Clock::now() - start));
            } else if (IsReading(row)) {
                firstReading.push_back(e2e::Milliseconds(Clock::now() - start));
                break;
            }
        }
        if (ready.size() != firstReading.size() || static_cast<int>(ready.size()) != run + 1) {
            std::printf("run %d: no reading within 10 s\n", run + 1);
            return 1;
        }
        logger.Stop();
    }
    std::printf("runs: %d\n", runs);
    std::printf("exec -> \"recording started\": median %.1f ms, p90 %.1f ms\n",
                e2e::Percentile(ready, 0.5), e2e::Percentile(ready, 0.9));
    std::printf("exec -> first reading:        median %.1f ms, p90 %.1f ms (1 s of it the meter's "
                "remote-mode pause)\n",
                e2e::Percentile(firstReading, 0.5), e2e::Percentile(firstReading, 0.9));

    MeterEmulator meter(SteadyMeter());
    meter.Start();
    e2e::ChildProcess logger(VELMORA_LOG_PROGRAM, {"--port", meter.SlavePath(), "--fast"}, {},
                             e2e::ChildProcess::Capture::StandardOutput);
    std::string row;
    int readings = 0;
    double at100 = 0;
    const auto began = Clock::now();
    while (readings < 1500 && logger.ReadLine(row, std::chrono::seconds(10))) {
        if (IsReading(row) && ++readings == 100) {
            at100 = logger.ResidentMegabytes();
        }
    }
    const double at1500 = logger.ResidentMegabytes();
    const double seconds = e2e::Milliseconds(Clock::now() - began) / 1000.0;
    const double cpu = logger.CpuSeconds();
    logger.Stop();
    if (readings < 1500) {
        std::printf("the long run stopped after %d readings\n", readings);
        return 1;
    }
    std::printf("resident: %.1f MB after 100 readings, %.1f MB after 1500 (%.0f readings/s, "
                "%.1f %% of a core)\n",
                at100, at1500, readings / seconds, 100.0 * cpu / seconds);
    return 0;
}
