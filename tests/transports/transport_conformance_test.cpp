// One conformance table, run on every transport: the engine on the emulated meter in counter
// mode (each reading one more than the last), so a lost, repeated or shifted reading shows.
// The test entry (a QCoreApplication) is in socket_transport_test.cpp.
#include "acquisition/acquisition_engine.h"
#include "acquisition/serial_transport.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "tests/settings/temp_folder.h"
#include "tools/meter/meter_emulator.h"
#include "transports/device_line.h"
#include "transports/gpib_adapter_transport.h"
#include "transports/socket_transport.h"

#include "tests/support/event_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 15s) {
    return test::WaitForEvents(done, timeout);
}

enum class Line { Serial, Socket, AdapterOnSerial, AdapterOnSocket };

bool ThroughAdapter(Line line) {
    return line == Line::AdapterOnSerial || line == Line::AdapterOnSocket;
}

constexpr int kGpibAddress = 9;

// The engine on one line to the emulated meter, ticked every 50 ms; the
// settling pauses are only noted, so the table runs quickly.
class EngineOnLine : private AcquisitionListener {
public:
    EngineOnLine(Line line, const std::string& script, bool interrupt)
        : line_(line) {
        MeterOptions options;
        options.model.counter = true;
        options.interruptQueries = interrupt;
        if (line == Line::Socket || line == Line::AdapterOnSocket) {
            options.tcpPort = 0;
        } else {
            options.linkPath = folder_ / "meter"; // a port that comes back under its name
        }
        options.model.persona = line == Line::Socket   ? MeterPersona::Lan3446x
                                : ThroughAdapter(line) ? MeterPersona::Gpib34401A
                                                       : MeterPersona::Rs232_34401A;
        if (ThroughAdapter(line)) {
            options.gpibAdapterAddress = kGpibAddress;
            options.strayNuls = true; // every answer: none may show in a reading
        }
        // A meter on a line of its own is asked who it is first: that answer is the meter's own.
        options.script = ParseScript((line == Line::Serial ? "" : "answer\n") + script);
        meter_ = std::make_unique<MeterEmulator>(options);
        meter_->Start();
        const auto wire = [this](auto& transport) {
            transport.onReceive = [this](const char* bytes, size_t length) {
                engine_->receive(bytes, length);
            };
            transport.onLost = [this] { engine_->lineLost(); };
        };
        if (line == Line::Serial) {
            comm_.SetCommName(folder_ / "meter");
            comm_.SetReadIntervalTimeout(26);
            comm_.OnReceiveData = [this](TComm*, const char* buffer, uint16_t length) {
                engine_->receive(buffer, length);
            };
            comm_.OnRequestHangup = [this](TComm*) { engine_->lineLost(); };
            watcher_.SetPollInterval(100ms);
            transport_ = std::make_unique<SerialTransport>(comm_, watcher_);
        } else {
            std::unique_ptr<StreamLine> link;
            if (line == Line::AdapterOnSerial) {
                link = std::make_unique<DeviceLine>(folder_ / "meter");
            } else {
                link = std::make_unique<SocketTransport>("127.0.0.1", meter_->TcpPort());
            }
            link->setReturnPoll(100ms);
            if (ThroughAdapter(line)) {
                auto adapter = std::make_unique<GpibAdapterTransport>(std::move(link), kGpibAddress,
                                                                      "the test's adapter");
                wire(*adapter);
                transport_ = std::move(adapter);
            } else {
                wire(*link);
                transport_ = std::move(link);
            }
        }
        engine_ = std::make_unique<AcquisitionEngine>(*transport_,
                                                      line == Line::Socket   ? ProfileLanMeter()
                                                      : ThroughAdapter(line) ? Profile34401AGpib()
                                                                             : Profile34401A());
        engine_->setIdentifyOnConnect(line != Line::Serial);
        engine_->pause = [](int) {};
        engine_->setReplyTimeout(500);
        engine_->addListener(this);
        tick_.setInterval(50);
        QObject::connect(&tick_, &QTimer::timeout, [this] { engine_->tick(); });
    }
    ~EngineOnLine() override {
        engine_->removeListener(this);
        transport_->close();
    }

    void start() {
        transport_->open();
        engine_->connect();
        tick_.start();
    }

    MeterEmulator& meter() { return *meter_; }
    std::vector<double> values;
    std::vector<std::string> events;

private:
    void reading(const Reading& r) override { values.push_back(static_cast<double>(r.value)); }
    void replyTimedOut(const std::string& query) override {
        events.push_back("timed out " + query);
    }
    void lateReplyDropped(const std::string& reply) override { events.push_back("late " + reply); }
    void meterSilent(const std::string& query) override { events.push_back("silent " + query); }
    void portLost() override { events.push_back("lost"); }
    void reconnected() override { events.push_back("reconnected"); }

    Line line_;
    test::TempFolder folder_;
    std::unique_ptr<MeterEmulator> meter_;
    TComm comm_;
    PortReturnWatcher watcher_{nullptr};
    std::unique_ptr<MeterTransport> transport_;
    std::unique_ptr<AcquisitionEngine> engine_;
    QTimer tick_;
};

struct ConformanceRow {
    const char* name;
    const char* script; // after "Func?"'s answer (and "*IDN?"'s on a line of its own)
    bool interrupt;     // the meter drops an answer a command cuts into (-410)
    bool onBus;         // the row holds behind a GPIB adapter too
    std::vector<double> values;
    std::vector<std::string> events;
};

const ConformanceRow kConformance[] = {
    // The third reading held past the time-out, then sent: dropped, never
    // taken for the fourth query's answer; every later row is its own.
    {"late_reply",
     "answer\nanswer\nanswer\nlate 1500\n",
     false,
     true,
     {1, 2, 4, 5},
     {"timed out Read?", "late +3.00000000E+00"}},
    // The same meter cut off by the marker query: its answer is dropped by
    // the meter itself (and its -410 cleared after). On the bus nothing
    // cuts in: the adapter reads the answer before the next command goes.
    {"late_reply_interrupted",
     "answer\nanswer\nanswer\nlate 1500\n",
     true,
     false,
     {1, 2, 4, 5},
     {"timed out Read?"}},
    // One query ignored: the marker puts the meter in step again.
    {"one_reply_missing", "answer\nanswer\nsilence\n", false, true, {1, 3, 4}, {"timed out Read?"}},
    // Gone for good: the marker goes unanswered too.
    {"silent_meter",
     "answer\nanswer\nsilence\nsilence\n",
     false,
     true,
     {1},
     {"timed out Read?", "silent Read?"}},
    // The line drops after two readings (once the second is through: a pty
    // drops what is in flight) and comes back: the cycle starts again.
    {"lost_and_back",
     "answer\nanswer\nanswer\npause 150\nhangup reopen 300\n",
     false,
     true,
     {1, 2, 3, 4},
     {"lost", "reconnected"}},
};

struct ConformanceCase {
    Line line;
    ConformanceRow row;
};

const char* const kLineNames[] = {"serial_", "socket_", "adapter_on_serial_", "adapter_on_socket_"};

// Test names and failure messages say the case, not the parameter's bytes.
void PrintTo(const ConformanceCase& c, std::ostream* out) {
    *out << kLineNames[static_cast<int>(c.line)] << c.row.name;
}

class Conformance : public ::testing::TestWithParam<ConformanceCase> {};

TEST_P(Conformance, EveryReadingIsItsOwnQuerysAnswer) {
    const ConformanceRow& row = GetParam().row;
    EngineOnLine bench(GetParam().line, row.script, row.interrupt);
    bench.start();
    const bool settled = WaitUntil([&] {
        return bench.values.size() >= row.values.size() && bench.events.size() >= row.events.size();
    });
    EXPECT_TRUE(settled);
    // A few ticks more: nothing is told twice (a silent meter is said once, not every tick).
    test::WaitForEvents([] { return false; }, 300ms);
    std::vector<double> first(
        bench.values.begin(),
        bench.values.begin() + static_cast<long>(std::min(bench.values.size(), row.values.size())));
    EXPECT_EQ(first, row.values);
    EXPECT_EQ(bench.events, row.events);
    const Line line = GetParam().line;
    const int reconnects =
        static_cast<int>(std::count(bench.events.begin(), bench.events.end(), "reconnected"));
    if (line == Line::Socket || line == Line::AdapterOnSocket) {
        EXPECT_EQ(bench.meter().AcceptedConnections(), reconnects + 1);
    }
    if (line != Line::Serial) {
        EXPECT_EQ(bench.meter().UndefinedHeaders(), 0) << "only the meter's own commands";
    }
    if (ThroughAdapter(line)) {
        // The version once a connection; the instrument cleared once a time-out.
        EXPECT_EQ(bench.meter().AdapterVersionQueries(), reconnects + 1);
        const int timeOuts = static_cast<int>(
            std::count(bench.events.begin(), bench.events.end(), "timed out Read?"));
        EXPECT_EQ(bench.meter().AdapterClears(), timeOuts);
    }
}

std::vector<ConformanceCase> AllCases() {
    std::vector<ConformanceCase> cases;
    for (const Line line :
         {Line::Serial, Line::Socket, Line::AdapterOnSerial, Line::AdapterOnSocket}) {
        for (const ConformanceRow& row : kConformance) {
            if (row.onBus || !ThroughAdapter(line)) {
                cases.push_back({line, row});
            }
        }
    }
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<ConformanceCase>& c) {
    return kLineNames[static_cast<int>(c.param.line)] + std::string(c.param.row.name);
}

INSTANTIATE_TEST_SUITE_P(Table, Conformance, ::testing::ValuesIn(AllCases()), CaseName);

} // namespace
} // namespace velmora
