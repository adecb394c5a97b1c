// Bench program: reply latency, from the meter's last reply byte to the upper display's new text.
//
// The program's four windows are built in this process as its entry point builds them
// (offscreen) and poll an emulated meter (9600-baud byte timing both ways, 20 ms measurement
// time) through the main window's own Comm1. The emulator notes the moment it wrote the last
// byte of each answer to the pseudo-terminal; a wrapper round Comm1's OnReceiveData notes the
// moment TForm1::Comm1ReceiveData has returned, by which the upper display holds the reading.
// A chunk ends only once the line has been quiet for the read interval, so the figure is the
// difference minus that interval (26 ms): what the program itself adds.
//
// Run: build-e2e-release/bench/e2e/velmora_e2e_latency_bench [readings, default 600]
#include "bench/e2e/e2e_support.h"

#include "serial/comm.h"
#include "tools/meter/meter_emulator.h"

#include <QCheckBox>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using namespace velmora;
using e2e::Clock;

constexpr double kReadIntervalMs = 26;
constexpr int kWarmUpReplies = 3; // "Func?" and the first readings

} // namespace

int main(int argc, char** argv) {
    const size_t readings = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 600;
    e2e::ProgramApplication application(argc, argv);

    // Written on the meter's thread, taken on the main thread.
    std::mutex mutex;
    std::deque<Clock::time_point> answersSent;
    MeterOptions options;
    options.baud = 9600;
    options.measureTime = std::chrono::milliseconds(20);
    options.onAnswerSent = [&](Clock::time_point at) {
        std::lock_guard lock(mutex);
        answersSent.push_back(at);
    };
    MeterEmulator meter(options);
    meter.Start();
    e2e::ProgramWindows windows(meter.SlavePath());
    TForm1& form = windows.Form1();

    std::vector<double> samples;
    std::vector<double> handlerTimes; // the program's own handler, for where a tail comes from
    int replies = 0;
    int unmatched = 0;
    const TReceiveDataEvent programHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const char* buffer, uint16_t length) {
        const auto entered = Clock::now();
        programHandler(sender, buffer, length);
        const auto shown = Clock::now();
        std::optional<Clock::time_point> sent;
        {
            std::lock_guard lock(mutex);
            if (!answersSent.empty()) {
                sent = answersSent.front();
                answersSent.pop_front();
            }
        }
        if (!sent) {
            ++unmatched; // a chunk without an answer of its own
            return;
        }
        // Only numeric replies set the upper display; the reply to "Func?" does not.
        const bool numeric = length > 0 && buffer[0] != '"';
        if (++replies > kWarmUpReplies && numeric && samples.size() < readings) {
            samples.push_back(e2e::Milliseconds(shown - *sent) - kReadIntervalMs);
            handlerTimes.push_back(e2e::Milliseconds(shown - entered));
        }
    };

    std::printf("last reply byte written -> upper display set, minus the %.0f ms read interval\n",
                kReadIntervalMs);
    std::printf("load average before: %s\n", e2e::LoadAverage().c_str());
    form.Check_Connection->setChecked(true);
    e2e::RunEventsUntil([&] { return samples.size() >= readings; },
                        std::chrono::milliseconds(readings * 1000 + 30000), "the readings");
    form.Check_Connection->setChecked(false);

    const double median = e2e::Percentile(samples, 0.5);
    const double p99 = e2e::Percentile(samples, 0.99);
    std::printf(
        "readings %zu: median %.3f ms  p90 %.3f ms  p99 %.3f ms  max %.3f ms  min %.3f ms\n",
        samples.size(), median, e2e::Percentile(samples, 0.9), p99, e2e::Percentile(samples, 1.0),
        e2e::Percentile(samples, 0.0));
    std::printf("  of which Comm1ReceiveData itself: median %.3f ms  p99 %.3f ms  max %.3f ms\n",
                e2e::Percentile(handlerTimes, 0.5), e2e::Percentile(handlerTimes, 0.99),
                e2e::Percentile(handlerTimes, 1.0));
    if (unmatched > 0)
        std::printf("chunks without an answer of their own: %d\n", unmatched);
    std::printf("load average after: %s\n", e2e::LoadAverage().c_str());
    std::printf("target: median <= 2 ms, p99 <= 5 ms: %s\n",
                median <= 2 && p99 <= 5 ? "met" : "NOT met");
    return 0;
}
