// Bench program: readings per second of the main window polling the emulated meter at 9600 baud.
//
// For measurement times of 0, 20 and 200 ms: the program's four windows are built in this
// process as its entry point builds them (offscreen), the main window's own Comm1 opens the
// pseudo-terminal of a meter emulator with 9600-baud byte timing both ways, "Connect" is ticked
// (with the program's real pauses), and the numeric readings are counted for a while. Prints
// the rate achieved, the rate the timing model allows, their ratio, the time from the tick that
// sent "Read?" to the reading on the display, and how many 50 ms ticks each reading took.
//
// Timing model of one reading: the tick sends "Read?" CR LF (7 bytes), the meter measures, its
// reply (17 bytes) follows, the chunk is delivered 26 ms after its last byte, and the next
// "Read?" leaves at the first tick after that (ticks lie on the timer's 50 ms grid).
//
// Run: build-e2e-release/bench/e2e/velmora_e2e_rate_bench [seconds per row, default 30]
#include "bench/e2e/e2e_support.h"

#include "serial/comm.h"
#include "tools/meter/meter_emulator.h"

#include <QCheckBox>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

namespace {

using namespace velmora;
using e2e::Clock;

constexpr uint32_t kBaud = 9600;
constexpr double kTickMs = 50;
constexpr double kReadIntervalMs = 26;
constexpr int kCommandBytes = 7; // "Read?" CR LF
constexpr int kReplyBytes = 17;  // "+1.16040760E+03" CR LF

struct Design {
    double busyMs; // tick -> reply handled
    int ticks;     // ticks per reading
    double rate;   // readings per second
};

Design DesignFor(double measureMs) {
    const double byteMs = 10.0 * 1000.0 / kBaud; // start, 8 data, stop bits
    const double busy = kCommandBytes * byteMs + measureMs + kReplyBytes * byteMs + kReadIntervalMs;
    const int ticks = static_cast<int>(std::ceil(busy / kTickMs));
    return {busy, ticks, 1000.0 / (ticks * kTickMs)};
}

struct Row {
    double rate = 0;
    double busyMedianMs = 0;
    std::map<long, int> ticksPerReading; // ticks -> readings
    std::vector<double> tickSpacingMs;   // between consecutive timer ticks
};

Row Measure(std::chrono::milliseconds measureTime, std::chrono::seconds duration) {
    MeterOptions options;
    options.baud = kBaud;
    options.measureTime = measureTime;
    MeterEmulator meter(options);
    meter.Start();
    e2e::ProgramWindows windows(meter.SlavePath());
    TForm1& form = windows.Form1();

    // After the program's own tick handler: note the tick that sent a query.
    std::optional<Clock::time_point> sentAt;
    std::vector<Clock::time_point> ticks;
    bool counting = false;
    QObject::connect(form.Timer1, &QTimer::timeout, &form, [&] {
        const auto now = Clock::now();
        if (form.canSend() == 0 && !sentAt)
            sentAt = now;
        if (counting)
            ticks.push_back(now);
    });
    int deliveries = 0;
    std::vector<Clock::time_point> handled;
    std::vector<double> busy;
    const TReceiveDataEvent programHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const char* buffer, uint16_t length) {
        programHandler(sender, buffer, length);
        const auto now = Clock::now();
        ++deliveries;
        if (counting) {
            handled.push_back(now);
            if (sentAt)
                busy.push_back(e2e::Milliseconds(now - *sentAt));
        }
        sentAt.reset();
    };

    form.Check_Connection->setChecked(true);
    // "Func?" and the first "Read?" answered: the cycle is in its steady state.
    e2e::RunEventsUntil([&] { return deliveries >= 2; }, std::chrono::seconds(15),
                        "the first reading");
    counting = true;
    e2e::RunEventsFor(duration);
    counting = false;
    form.Check_Connection->setChecked(false);

    Row row;
    if (handled.size() < 2)
        return row;
    row.rate = static_cast<double>(handled.size() - 1) /
               std::chrono::duration<double>(handled.back() - handled.front()).count();
    row.busyMedianMs = e2e::Percentile(busy, 0.5);
    for (size_t i = 1; i < handled.size(); ++i)
        ++row.ticksPerReading[std::lround(e2e::Milliseconds(handled[i] - handled[i - 1]) /
                                          kTickMs)];
    for (size_t i = 1; i < ticks.size(); ++i)
        row.tickSpacingMs.push_back(e2e::Milliseconds(ticks[i] - ticks[i - 1]));
    return row;
}

} // namespace

int main(int argc, char** argv) {
    const std::chrono::seconds duration(argc > 1 ? std::atoi(argv[1]) : 30);
    e2e::ProgramApplication application(argc, argv);

    std::printf("main window polling the emulated meter: %u baud, read interval %.0f ms, "
                "timer %.0f ms, %lld s a row\n",
                kBaud, kReadIntervalMs, kTickMs, static_cast<long long>(duration.count()));
    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());
    std::printf("%8s %12s %10s %7s %22s  %s\n", "measure", "readings/s", "design/s", "ratio",
                "tick->shown median", "ticks per reading: readings");
    bool allMet = true;
    for (const int measureMs : {0, 20, 200}) {
        const Row row = Measure(std::chrono::milliseconds(measureMs), duration);
        const Design design = DesignFor(measureMs);
        const double ratio = row.rate / design.rate;
        allMet = allMet && ratio >= 0.98;
        std::printf("%5d ms %12.3f %10.3f %7.3f %10.1f ms (%5.1f)  ", measureMs, row.rate,
                    design.rate, ratio, row.busyMedianMs, design.busyMs);
        for (const auto& [ticks, count] : row.ticksPerReading)
            std::printf("%ld:%d ", ticks, count);
        std::printf(
            "\n%8s tick spacing: min %.1f  p1 %.1f  median %.1f  p99 %.1f  max %.1f ms\n", "",
            e2e::Percentile(row.tickSpacingMs, 0), e2e::Percentile(row.tickSpacingMs, 0.01),
            e2e::Percentile(row.tickSpacingMs, 0.5), e2e::Percentile(row.tickSpacingMs, 0.99),
            e2e::Percentile(row.tickSpacingMs, 1));
    }
    std::printf("load average after: %s\n", e2e::LoadAverage().c_str());
    std::printf("target: ratio >= 0.98 in every row: %s\n", allMet ? "met" : "NOT met");
    return 0;
}
