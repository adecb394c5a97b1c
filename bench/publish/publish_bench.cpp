// Publishing figures against Debian's mosquitto and influxd on loopback, started here:
//   throughput  5,000 synthetic readings a second for 20 s to MQTT (QoS 1) and InfluxDB at
//               once: readings lost, and the CPU of this process per published reading
//   outage      10 readings a second, both servers stopped for 20 s: how long after each
//               answers again until its back-fill is done, and readings lost
// Prints one line of figures per run; exits 1 when a reading is lost.
#include "acquisition/acquisition_engine.h"
#include "publish/engine_publishing.h"
#include "tests/publish/influx_server.h"
#include "tests/publish/mosquitto_broker.h"
#include "tests/publish/publish_test_items.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace velmora {
namespace {

using namespace std::chrono_literals;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Reading Synthetic(uint64_t n) {
    Reading r;
    r.value = 1.0L + static_cast<long double>(n % 1000) * 1e-6L;
    r.unit = "V DC";
    r.function = "VOLT";
    clock_gettime(CLOCK_REALTIME, &r.arrivedAt);
    return r;
}

struct Servers {
    test::MosquittoBroker broker;
    test::InfluxServer influx;
    test::TempFolder folder;
    bool start() { return broker.start() && influx.start() && influx.createDatabase("bench"); }
    PublishSetup setup(size_t batch) {
        PublishConfig config;
        config.mqttUrl = broker.url();
        config.mqttPasswordFile = broker.passwordFile();
        config.influxUrl = influx.url("bench");
        config.influxBatch = static_cast<int>(batch);
        std::string error;
        return *ResolvePublishing(config, &error);
    }
};

// mosquitto_sub in a process of its own, so that what it costs to take the
// messages is not counted as this program's.
class Subscriber {
public:
    Subscriber(test::MosquittoBroker& broker, test::TempFolder& folder)
        : folder_(folder) {
        process_.start({"/usr/bin/mosquitto_sub", "-h", "127.0.0.1", "-p",
                        std::to_string(broker.port()), "-u", test::kBrokerUser, "-P",
                        test::kBrokerPassword, "-q", "1", "-c", "-i", "velmora-bench-subscriber",
                        "-t", "velmora/+/reading", "-F", "%p"},
                       folder_.path(), 0);
        test::WaitForEvents([] { return false; }, 1s); // subscribed
    }
    // The readings taken once each, repeats dropped by sequence.
    size_t distinct() {
        std::vector<std::string> payloads;
        std::istringstream lines(test::ReadBytes(process_.logPath()).value_or(""));
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with('{')) {
                payloads.push_back(line);
            }
        }
        return test::BySequence(payloads).firstSeen.size();
    }

private:
    test::TempFolder& folder_;
    test::ServerProcess process_{"subscriber"};
};

int64_t InfluxCount(test::InfluxServer& influx) {
    const QJsonArray rows = influx.rows("SELECT count(sequence) FROM velmora", "bench");
    return rows.isEmpty() ? 0 : rows.at(0).toArray().at(1).toInteger();
}

// Runs `seconds` of readings at `perSecond` from a 10 ms timer (the event
// loop sleeps between, as the program's does), calling `at(second, first)`
// at every tick (`first`: the first tick of that second).
uint64_t Feed(EnginePublishing& hub, int perSecond, int seconds,
              const std::function<void(int, bool)>& at = {}) {
    uint64_t fed = 0;
    QElapsedTimer clock;
    clock.start();
    int second = -1;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (clock.elapsed() >= seconds * 1000) {
            loop.quit();
            return;
        }
        const uint64_t due = static_cast<uint64_t>(clock.elapsed()) * perSecond / 1000;
        while (fed < due) {
            hub.publish(Synthetic(++fed));
        }
        if (at) {
            const bool first = clock.elapsed() / 1000 != second;
            second = static_cast<int>(clock.elapsed() / 1000);
            at(second, first);
        }
    });
    timer.start();
    loop.exec();
    return fed;
}

// Sleeps in the event loop (the tests' wait spins, which would count as
// this program's CPU) until every publisher has taken everything.
bool WaitDrained(EnginePublishing& hub, std::chrono::milliseconds limit) {
    const auto drained = [&] {
        for (const auto& publisher : hub.publishers()) {
            if (publisher->state().waiting > 0) {
                return false;
            }
        }
        return true;
    };
    QEventLoop loop;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (drained()) {
            loop.quit();
        }
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    look.start();
    loop.exec();
    return drained();
}

// The servers, the subscriber and the hub one run needs, and what came out.
struct Bench {
    Servers servers;
    std::unique_ptr<Subscriber> subscriber;
    test::IdleLine line;
    AcquisitionEngine engine{line};
    EnginePublishing hub{engine, "bench"};

    bool start() {
        if (!servers.start()) {
            return false;
        }
        subscriber = std::make_unique<Subscriber>(servers.broker, servers.folder);
        std::string error;
        if (!hub.start(servers.setup(5000), &error, servers.folder / "spool")) {
            std::printf("cannot publish: %s\n", error.c_str());
            return false;
        }
        return true;
    }

    struct Outcome {
        size_t mqtt = 0;
        int64_t points = 0;
        uint64_t lost = 0;
    };
    // Once the subscriber has had them all (or 20 s), counted, and the hub finished.
    Outcome outcome(uint64_t fed) {
        test::WaitForEvents([&] { return subscriber->distinct() >= fed; }, 20s);
        Outcome out;
        out.mqtt = subscriber->distinct();
        out.points = InfluxCount(servers.influx);
        hub.finish(2000);
        out.lost = (fed - std::min<uint64_t>(fed, out.mqtt)) +
                   (fed - std::min<uint64_t>(fed, static_cast<uint64_t>(out.points)));
        return out;
    }
};

int Throughput() {
    Bench bench;
    if (!bench.start()) {
        return 2;
    }
    test::WaitForEvents([] { return false; }, 1s); // connected
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const uint64_t fed = Feed(bench.hub, 5000, 20);
    const bool drained = WaitDrained(bench.hub, 60s);
    const double cpu = CpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const Bench::Outcome out = bench.outcome(fed);
    std::printf("throughput: %llu readings in 20 s (%.0f/s), MQTT %zu, InfluxDB %lld, lost %llu, "
                "drained %s after %.1f s; CPU %.2f s = %.1f us a reading (target <= 20)\n",
                static_cast<unsigned long long>(fed), static_cast<double>(fed) / 20.0, out.mqtt,
                static_cast<long long>(out.points), static_cast<unsigned long long>(out.lost),
                drained ? "yes" : "NO", seconds, cpu, cpu * 1e6 / static_cast<double>(fed));
    return out.lost == 0 ? 0 : 1;
}

int Outage() {
    Bench bench;
    if (!bench.start()) {
        return 2;
    }
    Servers& servers = bench.servers;
    EnginePublishing& hub = bench.hub;
    // The back-fill is done when a server has taken everything that came
    // before it answered again (the spool's numbers are the sequence here).
    QElapsedTimer sinceBack;
    uint64_t backlog = 0;
    std::map<std::string, double> backfill;
    const uint64_t fed = Feed(hub, 10, 40, [&](int second, bool first) {
        if (first && second == 10) {
            servers.broker.stop();
            servers.influx.stop();
        } else if (first && second == 30) {
            servers.broker.restart(); // each waits until its server answers
            servers.influx.restart();
            backlog = hub.published();
            sinceBack.start();
        }
        if (!sinceBack.isValid()) {
            return;
        }
        for (const auto& publisher : hub.publishers()) {
            const uint64_t taken = hub.published() - publisher->state().waiting;
            if (taken >= backlog && !backfill.contains(publisher->name())) {
                backfill[publisher->name()] = static_cast<double>(sinceBack.elapsed()) / 1000;
            }
        }
    });
    WaitDrained(hub, 30s);
    const Bench::Outcome out = bench.outcome(fed);
    const auto figure = [&](const char* name) {
        return backfill.contains(name) ? backfill[name] : -1.0;
    };
    std::printf("outage: %llu readings at 10/s, both servers down 20 s; back-fill after they "
                "answer: MQTT %.1f s, InfluxDB %.1f s (target <= 5); MQTT %zu, InfluxDB %lld, "
                "lost %llu\n",
                static_cast<unsigned long long>(fed), figure("MQTT"), figure("InfluxDB"), out.mqtt,
                static_cast<long long>(out.points), static_cast<unsigned long long>(out.lost));
    return out.lost == 0 ? 0 : 1;
}

} // namespace
} // namespace velmora

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (!velmora::test::MosquittoBroker::Installed() || !velmora::test::InfluxServer::Installed()) {
        std::puts("publish_bench: mosquitto or influxd missing (scripts/setup installs them)");
        return 2;
    }
    const std::string which = argc > 1 ? argv[1] : "all";
    int status = 0;
    if (which == "all" || which == "throughput") {
        status |= velmora::Throughput();
    }
    if (which == "all" || which == "outage") {
        status |= velmora::Outage();
    }
    return status;
}
