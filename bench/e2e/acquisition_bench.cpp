// Bench program: readings per second in standard and fast acquisition against the wire limit.
//
// The program's windows are built in this process (offscreen) on a meter emulator at 9600 baud
// with byte timing both ways, the meter's two stop bits (11 bit times a byte from the meter, 10
// from the computer), and its integration time modelled from its settings (NPLC / 50 Hz,
// autozero off). After "Connect", the Advanced page sets DC volts to the integration time of the
// row and the acquisition mode; then the readings are counted for a while.
//
// Limits of one reading: "Read?" CR LF (7 bytes x 10 bits), the integration time, the reply (17
// bytes x 11 bits). The standard mode adds the 26 ms read interval and waits for the next 50 ms
// tick; the fast mode adds nothing, so its limit is the wire's and the meter's own time.
//
// Run: build/release/bench/e2e/velmora_e2e_acquisition_bench [seconds per row, default 20]
#include "bench/e2e/e2e_support.h"

#include "measure/advanced_page.h"
#include "serial/comm.h"
#include "tools/meter/meter_emulator.h"

#include <QCheckBox>
#include <QLabel>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using namespace velmora;
using e2e::Clock;

constexpr uint32_t kBaud = 9600;
constexpr double kComputerByteMs = 10.0 * 1000.0 / kBaud;
constexpr double kMeterByteMs = 11.0 * 1000.0 / kBaud;
constexpr int kCommandBytes = 7; // "Read?" CR LF
constexpr int kReplyBytes = 17;  // "+1.23456780E+00" CR LF

double WireMs(double integrationMs) {
    return kCommandBytes * kComputerByteMs + integrationMs + kReplyBytes * kMeterByteMs;
}

// A burst of n: one "Read?", n integrations, n readings of 15 characters
// joined by commas and ended by CR LF (16 n + 1 bytes).
double BurstLimitRate(int n, double integrationMs) {
    const double ms =
        kCommandBytes * kComputerByteMs + n * integrationMs + (16.0 * n + 1) * kMeterByteMs;
    return 1000.0 * n / ms;
}

double LimitRate(bool fast, double integrationMs) {
    if (fast)
        return 1000.0 / WireMs(integrationMs);
    const double busy = WireMs(integrationMs) + 26.0;
    return 1000.0 / (std::ceil(busy / 50.0) * 50.0);
}

struct Row {
    double rate = 0;
    double cpuPercent = 0;     // of one core, the whole process (the emulator's thread included)
    double mainCpuPercent = 0; // of one core, the window's own thread
};

double MainThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

Row Measure(bool fast, double nplc, std::chrono::seconds duration, int samples = 1) {
    MeterOptions options;
    options.baud = kBaud;
    options.meterStopBits = 2;
    options.modelIntegrationTime = true;
    options.model.rangeChangeChance = 0;
    MeterEmulator meter(options);
    meter.Start();
    e2e::ProgramWindows windows(meter.SlavePath());
    TForm1& form = windows.Form1();

    int readings = 0;
    bool counting = false;
    Clock::time_point first, last;
    const TReceiveDataEvent programHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const char* buffer, uint16_t length) {
        programHandler(sender, buffer, length);
        if (counting && buffer[0] == '+') {
            const auto now = Clock::now();
            const int inReply = 1 + static_cast<int>(std::count(buffer, buffer + length, ','));
            if (readings == 0)
                first = now;
            else
                readings += inReply - 1; // the first reply only starts the clock
            last = now;
            ++readings;
        }
    };
    form.Check_Connection->setChecked(true);
    e2e::RunEventsUntil([&] { return form.advancedPage()->function() == "VOLT"; },
                        std::chrono::seconds(15), "the meter's function");
    FunctionSettings settings;
    settings.nplc = nplc;
    settings.autozero = "OFF";
    form.advancedPage()->onAcquisitionChanged(fast);
    form.advancedPage()->onSamplesChanged(samples);
    form.advancedPage()->onChanged(settings);
    // In fast mode the cycle is hardly ever seen idle: wait for what is in force instead.
    e2e::RunEventsUntil(
        [&] {
            return form.queuedCommands().empty() &&
                   form.advancedPage()->InForceLabel->text().startsWith(QStringLiteral("In force"));
        },
        std::chrono::seconds(15), "the settings to be in force");
    e2e::RunEventsFor(std::chrono::milliseconds(500));
    counting = true;
    const double cpuBefore = ProcessCpuSeconds();
    const double mainBefore = MainThreadCpuSeconds();
    const auto start = Clock::now();
    e2e::RunEventsFor(duration);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double mainCpu = MainThreadCpuSeconds() - mainBefore;
    counting = false;
    form.Check_Connection->setChecked(false);
    e2e::RunEventsFor(std::chrono::milliseconds(200));

    Row row;
    if (readings > 1)
        row.rate = (readings - 1) / std::chrono::duration<double>(last - first).count();
    row.cpuPercent = 100.0 * cpu / wall;
    row.mainCpuPercent = 100.0 * mainCpu / wall;
    return row;
}

} // namespace

int main(int argc, char** argv) {
    const std::chrono::seconds duration(argc > 1 ? std::atoi(argv[1]) : 20);
    e2e::ProgramApplication application(argc, argv);
    std::printf(
        "acquisition at %u baud (meter: 2 stop bits), DC volts, autozero off, %lld s a row\n",
        kBaud, static_cast<long long>(duration.count()));
    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());
    std::printf("%9s %9s %11s %10s %7s %13s %13s\n", "mode", "NPLC", "readings/s", "limit/s",
                "ratio", "process CPU", "window CPU");
    bool met = true;
    for (const double nplc : {0.02, 1.0, 10.0}) {
        const double integrationMs = nplc / 50.0 * 1000.0;
        for (const bool fast : {false, true}) {
            const Row row = Measure(fast, nplc, duration);
            const double limit = LimitRate(fast, integrationMs);
            const double ratio = row.rate / limit;
            met = met && ratio >= (fast ? 0.9 : 0.98);
            std::printf("%9s %9g %11.3f %10.3f %7.3f %11.1f %% %11.1f %%\n",
                        fast ? "fast" : "standard", nplc, row.rate, limit, ratio, row.cpuPercent,
                        row.mainCpuPercent);
        }
    }
    for (const double nplc : {0.02, 1.0}) {
        const double integrationMs = nplc / 50.0 * 1000.0;
        const Row row = Measure(true, nplc, duration, 10);
        const double limit = BurstLimitRate(10, integrationMs);
        const double ratio = row.rate / limit;
        met = met && ratio >= 0.9;
        std::printf("%9s %9g %11.3f %10.3f %7.3f %11.1f %% %11.1f %%\n", "burst 10", nplc, row.rate,
                    limit, ratio, row.cpuPercent, row.mainCpuPercent);
    }
    std::printf("load average after: %s\n", e2e::LoadAverage().c_str());
    std::printf("targets: standard >= 0.98, fast >= 0.9 of the limit: %s\n",
                met ? "met" : "NOT met");
    return 0;
}
