// Bench program: what scripts asking the control interface cost the polling.
//
// One engine in fast mode on the emulated meter over a raw socket on the loopback (as
// velmora-log runs it), serving its Unix socket. The reading rate alone, then with three
// clients each asking "FETC?" 100 times a second (no METER), in alternating rounds so that a
// busy machine weighs on both alike; and the clients' reply times. Then one client sending
// METER? "READ?" back to back, for the share of the meter it takes.
//
// Run: build/release/bench/e2e/velmora_e2e_control_bench [seconds per round, default 5]
#include "bench/e2e/e2e_support.h"

#include "acquisition/acquisition_engine.h"
#include "control/control_server.h"
#include "control/engine_control.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "tests/support/control_client.h"
#include "tools/meter/meter_emulator.h"
#include "transports/resource_line.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace velmora;
using e2e::Clock;

class Host : private AcquisitionListener {
public:
    explicit Host(const std::string& resourceName, const std::string& folder)
        : line_(comm_, watcher_)
        , engine_(line_)
        , control_(engine_)
        , server_(control_) {
        const Resource resource = ParseResource(resourceName);
        line_.use(resource);
        line_.onReceive = [this](const char* bytes, size_t length) {
            engine_.receive(bytes, length);
        };
        line_.onLost = [this] { engine_.lineLost(); };
        PrepareEngineFor(resource, engine_, nullptr);
        MeterSettings settings;
        settings.fast = true;
        engine_.setMeterSettings(settings);
        engine_.addListener(this);
        control_.setMeterLinesAllowed(true);
        tick_.setInterval(50);
        QObject::connect(&tick_, &QTimer::timeout, [this] { engine_.tick(); });
        ControlListen how;
        how.folder = folder;
        how.name = "bench";
        if (const auto problem = server_.listen(how)) {
            std::fprintf(stderr, "cannot serve: %s\n", problem->c_str());
            std::exit(1);
        }
    }
    ~Host() override {
        engine_.removeListener(this);
        line_.close();
    }
    void start() {
        line_.open();
        engine_.connect();
        tick_.start();
    }
    const std::string& socket() const { return server_.socketPath(); }
    int readings = 0;

private:
    void reading(const Reading&) override { ++readings; }

    TComm comm_;
    PortReturnWatcher watcher_{nullptr};
    ResourceLine line_;
    AcquisitionEngine engine_;
    EngineControl control_;
    ControlServer server_;
    QTimer tick_;
};

// Readings per second over `seconds`, while `clients` threads each ask `line` at `perSecond`
// (0: back to back); their reply times go to `replyMs`.
double Round(Host& host, double seconds, int clients, const char* line, int perSecond,
             std::vector<double>& replyMs, int* answered = nullptr) {
    std::atomic<bool> stop = false;
    std::mutex lock;
    std::atomic<int> replies = 0;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            test::ControlClient client(host.socket());
            auto next = Clock::now();
            while (!stop) {
                const auto asked = Clock::now();
                if (!client.ask(line)) {
                    break;
                }
                ++replies;
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    replyMs.push_back(e2e::Milliseconds(Clock::now() - asked));
                }
                if (perSecond > 0) {
                    next += std::chrono::microseconds(1000000 / perSecond);
                    std::this_thread::sleep_until(next);
                }
            }
        });
    }
    const int before = host.readings;
    const auto started = Clock::now();
    e2e::RunEventsFor(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const int count = host.readings - before;
    stop = true;
    // The clients' last replies still need the loop.
    e2e::RunEventsFor(std::chrono::milliseconds(300));
    for (std::thread& t : threads) {
        t.join();
    }
    if (answered) {
        *answered = replies;
    }
    return count / elapsed;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5;
    QTemporaryDir folder;
    MeterOptions options;
    options.tcpPort = 0;
    options.measureTime = std::chrono::milliseconds(2);
    options.model.rangeChangeChance = 0;
    options.model.persona = MeterPersona::Lan3446x;
    MeterEmulator meter(options);
    meter.Start();
    Host host("TCPIP::127.0.0.1::" + std::to_string(meter.TcpPort()) + "::SOCKET",
              folder.path().toStdString() + "/velmora");
    host.start();
    e2e::RunEventsUntil([&] { return host.readings > 20; }, std::chrono::seconds(10),
                        "first readings");

    std::printf(
        "control interface: fast mode over a raw socket, 2 ms of integration, %.0f s a round\n",
        seconds);
    double alone = 0, withClients = 0;
    std::vector<double> replyMs;
    int fetches = 0;
    for (int round = 0; round < 3; ++round) {
        std::vector<double> none;
        alone += Round(host, seconds, 0, "FETC?", 0, none);
        int answered = 0;
        withClients += Round(host, seconds, 3, "FETC?", 100, replyMs, &answered);
        fetches += answered;
    }
    alone /= 3;
    withClients /= 3;
    std::printf("  readings/s alone                      %8.1f\n", alone);
    std::printf("  readings/s, 3 clients x 100 FETC?/s   %8.1f  (%+.1f %%)\n", withClients,
                (withClients / alone - 1) * 100);
    std::printf("  FETC? answered                        %8.1f /s (asked: 300 /s)\n",
                fetches / (3 * seconds));
    std::printf("  FETC? reply ms  median %.3f  p99 %.3f  max %.3f\n",
                e2e::Percentile(replyMs, 0.5), e2e::Percentile(replyMs, 0.99),
                e2e::Percentile(replyMs, 1.0));
    std::vector<double> meterMs;
    int passed = 0;
    const double withMeter = Round(host, seconds, 1, "METER? \"READ?\"", 0, meterMs, &passed);
    std::printf("  one client, METER? \"READ?\" back to back: readings/s %.1f, its replies/s %.1f,"
                " reply ms median %.3f\n",
                withMeter, passed / seconds, e2e::Percentile(meterMs, 0.5));
    std::printf("  load average: %s\n", e2e::LoadAverage().c_str());
    return 0;
}
