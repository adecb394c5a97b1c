// Prints how long the program takes from a lost port's return to the first "syst:rem" it sends
// there: the program's windows in-process (offscreen), the emulator at 9600 baud behind a link
// that goes away and comes back. Once with device events (fed to the watcher when the port
// returns, as udev announces a plugged-in adapter) and once with the 500 ms poll alone.
// Targets: under 1 s with events, under 1.5 s with the poll. The figure holds the cycle's own
// 500 ms pause after ticking Connect and up to one 50 ms timer tick.
//   velmora_e2e_reconnect_bench [rounds]   (default 10 each)
#include "bench/e2e/e2e_support.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "tools/meter/meter_emulator.h"
#include "tools/meter/meter_script.h"

#include <QCheckBox>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using namespace velmora;
using e2e::Clock;

// Device events of the bench's own: one is fed when the port is back.
class FedEvents final : public DeviceEventSource {
public:
    FedEvents()
        : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~FedEvents() override { ::close(fd_); }
    int Fd() const override { return fd_; }
    std::vector<DeviceEvent> Take() override {
        uint64_t count = 0;
        (void)::read(fd_, &count, sizeof count);
        return {DeviceEvent{"add", "", {}}};
    }
    void Feed() {
        const uint64_t one = 1;
        (void)::write(fd_, &one, sizeof one);
    }

private:
    int fd_;
};

struct Timing {
    std::mutex mutex;
    Clock::time_point returned;
    Clock::time_point remote;
    std::atomic<int> remotes{0};
};

std::vector<double> Rounds(const std::string& link, bool events, int rounds) {
    Timing timing;
    FedEvents* fed = nullptr;
    MeterOptions options;
    options.baud = 9600;
    options.linkPath = link;
    options.onReopened = [&](Clock::time_point at) {
        {
            std::lock_guard lock(timing.mutex);
            timing.returned = at;
        }
        if (fed)
            fed->Feed();
    };
    options.onCommand = [&](const std::string& line, Clock::time_point at) {
        if (line == "syst:rem") {
            std::lock_guard lock(timing.mutex);
            timing.remote = at;
            ++timing.remotes;
        }
    };
    MeterEmulator meter(options);
    meter.Start();
    e2e::ProgramWindows windows(link);
    TForm1& form = windows.Form1();
    if (events) {
        auto source = std::make_unique<FedEvents>();
        fed = source.get();
        form.portReturnWatcher()->SetEventSource(std::move(source));
        form.portReturnWatcher()->SetPollInterval(std::chrono::milliseconds(0));
    }
    form.Check_Connection->setChecked(true);
    e2e::RunEventsUntil([&] { return timing.remotes == 1 && form.canSend() == 0; },
                        std::chrono::seconds(20), "the first connection");
    std::vector<double> samples;
    for (int round = 1; round <= rounds; ++round) {
        meter.Inject(ParseScript("hangup reopen 300"));
        e2e::RunEventsUntil([&] { return timing.remotes == round + 1; }, std::chrono::seconds(20),
                            "a reconnection");
        std::lock_guard lock(timing.mutex);
        samples.push_back(e2e::Milliseconds(timing.remote - timing.returned));
    }
    return samples;
}

void Report(const char* name, std::vector<double> samples, const char* target) {
    std::printf("%-44s n=%-3zu median %7.1f ms   max %7.1f ms   (%s)\n", name, samples.size(),
                e2e::Percentile(samples, 0.5), e2e::Percentile(samples, 1.0), target);
}

} // namespace

int main(int argc, char** argv) {
    e2e::ProgramApplication program(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    char folder[] = "/tmp/velmora-reconnect-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    const std::string link = std::string(folder) + "/meter";
    std::printf("load before: %s\n", e2e::LoadAverage().c_str());
    Report("port back -> first syst:rem, 500 ms poll", Rounds(link, false, rounds),
           "target < 1500 ms");
    Report("port back -> first syst:rem, device events", Rounds(link, true, rounds),
           "target < 1000 ms");
    std::printf("load after: %s\n", e2e::LoadAverage().c_str());
    ::rmdir(folder);
    return 0;
}
