// The acquisition engine without a window: tables of what goes to an emulated meter on a
// pseudo-terminal and what the engine hands out for its replies.
#include "acquisition/acquisition_engine.h"
#include "acquisition/serial_transport.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "tools/meter/meter_emulator.h"

#include "tests/support/event_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Commands = std::vector<std::string>;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    return test::WaitForEvents(done, timeout);
}

MeterOptions Steady() {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.interruptQueries = true;
    return options;
}

// One engine on one emulated meter, ticked every 50 ms as the hosts tick it;
// what the engine hands out is written down as text.
class EngineOnMeter : private AcquisitionListener {
public:
    explicit EngineOnMeter(MeterOptions options = Steady(), bool blockingPause = true)
        : meter_(std::move(options))
        , watcher_(nullptr)
        , transport_(comm_, watcher_)
        , engine_(transport_) {
        meter_.Start();
        if (blockingPause) {
            engine_.pause = [this](int milliseconds) { pauses.push_back(milliseconds); };
        }
        engine_.addListener(this);
        comm_.SetCommName(meter_.SlavePath());
        comm_.SetReadIntervalTimeout(26);
        comm_.OnReceiveData = [this](TComm*, const char* buffer, uint16_t length) {
            engine_.receive(buffer, length);
        };
        comm_.OnRequestHangup = [this](TComm*) { engine_.lineLost(); };
        tick_.setInterval(50);
        QObject::connect(&tick_, &QTimer::timeout, [this] { engine_.tick(); });
    }
    ~EngineOnMeter() override {
        comm_.ClosePort();
        engine_.removeListener(this);
    }

    void start(const std::string& function = {}) {
        comm_.OpenPort();
        engine_.connect(function);
        tick_.start();
    }
    bool waitForCommands(size_t count) {
        return WaitUntil([&] { return meter_.Commands().size() >= count; });
    }
    Commands first(size_t count) {
        EXPECT_TRUE(waitForCommands(count)) << testing::PrintToString(meter_.Commands());
        const Commands all = meter_.Commands();
        return Commands(all.begin(), all.begin() + static_cast<long>(std::min(count, all.size())));
    }

    AcquisitionEngine& engine() { return engine_; }
    MeterEmulator& meter() { return meter_; }
    std::vector<int> pauses;
    std::vector<std::string> events;
    std::vector<Reading> readings;
    std::vector<std::vector<MeterError>> errorLists;

private:
    void reading(const Reading& r) override { readings.push_back(r); }
    void functionNamed(const std::string& function, const std::string& unit, bool) override {
        events.push_back("function " + function + " " + unit);
    }
    void replyDropped(size_t bytes) override {
        events.push_back("dropped " + std::to_string(bytes));
    }
    void meterErrors(const std::vector<MeterError>& errors) override {
        errorLists.push_back(errors);
    }
    void inForce(const std::string& function, const InForce& f, bool complete) override {
        if (complete) {
            events.push_back(InForceSummary(function, f));
        }
    }
    void portLost() override { events.push_back("port lost"); }
    void identified(const std::string& identity) override {
        events.push_back("identified " + identity + " as " + engine_.profile().model);
    }
    void reconnected() override { events.push_back("reconnected"); }

    MeterEmulator meter_;
    TComm comm_;
    PortReturnWatcher watcher_;
    SerialTransport transport_;
    AcquisitionEngine engine_;
    QTimer tick_;
};

MeterSettings With(std::function<void(MeterSettings&)> change) {
    MeterSettings settings;
    change(settings);
    return settings;
}

const Commands kVoltInForce = {"VOLT:DC:NPLC?",      "VOLT:DC:RES?", "VOLT:DC:RANG?",
                               "VOLT:DC:RANG:AUTO?", "ZERO:AUTO?",   "INP:IMP:AUTO?"};
const Commands kResInForce = {"RES:NPLC?", "RES:RES?", "RES:RANG?", "RES:RANG:AUTO?", "ZERO:AUTO?"};

Commands Join(std::initializer_list<Commands> parts) {
    Commands all;
    for (const Commands& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

struct StartRow {
    const char* name;
    MeterSettings settings;
    std::string function; // chosen at the start (the logger's --function)
    Commands expected;
};

void PrintTo(const StartRow& row, std::ostream* out) {
    *out << row.name;
}

class StartSequence : public testing::TestWithParam<StartRow> {};

TEST_P(StartSequence, SendsWhatTheSettingsAskInTheirOrder) {
    const StartRow& row = GetParam();
    EngineOnMeter bench;
    bench.engine().setMeterSettings(row.settings);
    bench.start(row.function);
    EXPECT_EQ(bench.first(row.expected.size()), row.expected);
    EXPECT_EQ(bench.pauses, (std::vector<int>{500, 1000}))
        << "the connection's settling, then remote mode's second, once each";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartSequence,
    testing::Values(
        StartRow{"untouched", {}, "", {"syst:rem", "Func?", "Read?", "Read?", "Read?"}},
        StartRow{"fast",
                 With([](MeterSettings& s) { s.fast = true; }),
                 "",
                 {"syst:rem", "Func?", "Read?", "Read?", "Read?"}},
        StartRow{"burst",
                 With([](MeterSettings& s) { s.samples = 3; }),
                 "",
                 {"syst:rem", "Func?", "SAMP:COUN 3", "SYST:ERR?", "Read?", "Read?"}},
        StartRow{"display off",
                 With([](MeterSettings& s) { s.displayOn = false; }),
                 "",
                 {"syst:rem", "Func?", "DISP OFF", "SYST:ERR?", "Read?"}},
        StartRow{
            "named function with settings, bursts and display off", With([](MeterSettings& s) {
                s.functions["VOLT"].nplc = 1;
                s.samples = 2;
                s.displayOn = false;
            }),
            "",
            Join({{"syst:rem", "Func?", "VOLT:DC:NPLC 1", "SAMP:COUN 2", "DISP OFF", "SYST:ERR?"},
                  kVoltInForce,
                  {"Read?"}})},
        StartRow{"settings of another function than the named one",
                 With([](MeterSettings& s) { s.functions["RES"].nplc = 1; }),
                 "",
                 {"syst:rem", "Func?", "Read?", "Read?"}},
        StartRow{"function chosen", With([](MeterSettings& s) { s.functions["RES"].range = 1e4; }),
                 "RES",
                 Join({{"syst:rem", "CONF:RES", "RES:RANG 10000", "SYST:ERR?"},
                       kResInForce,
                       {"Func?", "Read?"}})},
        StartRow{"function chosen with bursts and display off", With([](MeterSettings& s) {
                     s.samples = 4;
                     s.displayOn = false;
                 }),
                 "RES",
                 Join({{"syst:rem", "CONF:RES", "SAMP:COUN 4", "DISP OFF", "SYST:ERR?"},
                       kResInForce,
                       {"Func?", "Read?"}})}));

TEST(AcquisitionEngine, EveryErrorReadAfterAChangeIsToldInItsOrder) {
    MeterOptions options = Steady();
    options.script = ParseScript("answer\n"                           // Func?
                                 "reply -222,\"Data out of range\"\n" // the queue, oldest first
                                 "reply -221,\"Settings conflict\"\n"
                                 "reply +0,\"No error\"\n");
    EngineOnMeter bench(options);
    bench.engine().setMeterSettings(With([](MeterSettings& s) { s.samples = 2; }));
    bench.start();
    EXPECT_EQ(bench.first(7), (Commands{"syst:rem", "Func?", "SAMP:COUN 2", "SYST:ERR?",
                                        "SYST:ERR?", "SYST:ERR?", "Read?"}));
    ASSERT_EQ(bench.errorLists.size(), 1u);
    ASSERT_EQ(bench.errorLists[0].size(), 2u);
    EXPECT_EQ(bench.errorLists[0][0].code, -222);
    EXPECT_EQ(bench.errorLists[0][0].text, "Data out of range");
    EXPECT_EQ(bench.errorLists[0][1].code, -221);
}

TEST(AcquisitionEngine, TheErrorQueueIsReadAtMostTwentyTimes) {
    MeterOptions options = Steady();
    std::string script = "answer\n";
    for (int i = 0; i < 25; ++i) {
        script += "reply -222,\"Data out of range\"\n";
    }
    options.script = ParseScript(script);
    EngineOnMeter bench(options);
    bench.engine().setMeterSettings(With([](MeterSettings& s) { s.displayOn = false; }));
    bench.start();
    const Commands sent = bench.first(25);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "SYST:ERR?"), 20);
    EXPECT_EQ(sent[23], "Read?");
    ASSERT_EQ(bench.errorLists.size(), 1u);
    EXPECT_EQ(bench.errorLists[0].size(), 20u);
}

TEST(AcquisitionEngine, ErrorsReadBeforeAnUnreadableAnswerAreToldAllTheSame) {
    MeterOptions options = Steady();
    options.script = ParseScript("answer\n"                           // Func?
                                 "reply -222,\"Data out of range\"\n" // then no "+0"
                                 "reply garbled\n");
    EngineOnMeter bench(options);
    bench.engine().setMeterSettings(With([](MeterSettings& s) { s.samples = 2; }));
    bench.start();
    bench.first(6);
    ASSERT_EQ(bench.errorLists.size(), 1u) << "the -222 is not lost with the queue's end";
    ASSERT_EQ(bench.errorLists[0].size(), 1u);
    EXPECT_EQ(bench.errorLists[0][0].code, -222);
}

TEST(AcquisitionEngine, AnAdvancedChangeConfiguresAgainWithoutTurningTheDisplayOffTwice) {
    EngineOnMeter bench;
    bench.engine().setMeterSettings(With([](MeterSettings& s) { s.displayOn = false; }));
    bench.start();
    ASSERT_TRUE(bench.waitForCommands(5));
    FunctionSettings slower;
    slower.nplc = 1;
    bench.engine().setFunctionSettings("VOLT", slower);
    ASSERT_TRUE(WaitUntil([&] {
        const Commands sent = bench.meter().Commands();
        return std::find(sent.begin(), sent.end(), "INP:IMP:AUTO?") != sent.end();
    }));
    const Commands sent = bench.meter().Commands();
    const auto conf = std::find(sent.begin(), sent.end(), "CONF:VOLT:DC");
    ASSERT_NE(conf, sent.end());
    EXPECT_EQ(Commands(conf, conf + 3), (Commands{"CONF:VOLT:DC", "VOLT:DC:NPLC 1", "SYST:ERR?"}));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "DISP OFF"), 1) << "the display stays off";
}

TEST(AcquisitionEngine, AReplyWithACommaIsNoBurstWhileOneReadingIsAsked) {
    MeterOptions options = Steady();
    options.script = ParseScript("answer\nreply +7.0E+00,+8.0E+00\n");
    EngineOnMeter bench(options);
    bench.start();
    ASSERT_TRUE(WaitUntil([&] { return bench.readings.size() >= 2; }));
    for (const Reading& r : bench.readings) {
        EXPECT_NE(r.value, 7) << "split as a burst";
        EXPECT_NE(r.value, 8) << "split as a burst";
        EXPECT_FALSE(r.spreadBack);
    }
}

TEST(AcquisitionEngine, ABurstsReadingsAreSpreadBackEvenlyOverTheBurstsInterval) {
    EngineOnMeter bench;
    bench.engine().setMeterSettings(With([](MeterSettings& s) { s.samples = 3; }));
    bench.start();
    ASSERT_TRUE(WaitUntil([&] { return bench.readings.size() >= 9; }));
    // The third burst: its interval is known from the one before.
    const std::vector<Reading> burst(bench.readings.begin() + 6, bench.readings.begin() + 9);
    for (const Reading& r : burst) {
        ASSERT_TRUE(r.spreadBack);
    }
    EXPECT_EQ(*burst[2].spreadBack, 0) << "the last reading is the burst's arrival";
    EXPECT_GT(*burst[0].spreadBack, 0);
    EXPECT_LT(*burst[0].spreadBack, 1.0) << "a burst a tick or a few apart, not seconds";
    EXPECT_NEAR(*burst[0].spreadBack, 2 * *burst[1].spreadBack, 1e-9);
    EXPECT_NEAR((burst[2].receivedAt - burst[0].receivedAt) * 86400.0, *burst[0].spreadBack, 1e-3)
        << "the time of day moves back by the spread";
}

TEST(AcquisitionEngine, AReplyLongerThanADeliveryIsDroppedWholeAndNoReadingIsLost) {
    MeterOptions options = Steady();
    options.model.counter = true;
    // The third reading query is answered by 10 kB of noise before its line end.
    options.script = ParseScript("answer\nanswer\nanswer\nreply " + std::string(10000, 'x') + "\n");
    EngineOnMeter bench(options);
    bench.start();
    ASSERT_TRUE(WaitUntil([&] { return bench.readings.size() >= 6; }));
    EXPECT_EQ(bench.meter().InterruptedQueries(), 0) << "a query went out during the long reply";
    EXPECT_EQ(std::count(bench.events.begin(), bench.events.end(), "dropped 10002"), 1);
    // The counter's readings, one each and in order; the meter took its
    // third for the query the noise answered.
    for (size_t i = 0; i < bench.readings.size(); ++i) {
        EXPECT_EQ(bench.readings[i].value, static_cast<long double>(i < 2 ? i + 1 : i + 2)) << i;
    }
}

TEST(AcquisitionEngine, WithoutTheOwnersPauseTicksDuringRemoteModeAreSkippedNotMadeUp) {
    EngineOnMeter bench(Steady(), false);
    bench.start();
    ASSERT_TRUE(bench.waitForCommands(1));
    QElapsedTimer sinceRemote;
    sinceRemote.start();
    ASSERT_TRUE(bench.waitForCommands(2));
    EXPECT_GE(sinceRemote.elapsed(), 900) << "the meter's second in remote mode was cut short";
    ASSERT_TRUE(bench.waitForCommands(4));
    // One command a tick after the pause, not a rush of the ticks it held back.
    EXPECT_EQ(bench.first(4), (Commands{"syst:rem", "Func?", "Read?", "Read?"}));
}

TEST(AcquisitionEngine, TwoEnginesInOneProcessKeepSeparateStreams) {
    MeterOptions volts = Steady();
    volts.model.counter = true;
    MeterOptions ohms = Steady();
    ohms.model.counter = true;
    ohms.model.startFunction = MeterFunction::Resistance;
    EngineOnMeter first(volts);
    EngineOnMeter second(ohms);
    first.engine().setMeterSettings(With([](MeterSettings& s) { s.samples = 2; }));
    first.start();
    second.start();
    ASSERT_TRUE(
        WaitUntil([&] { return first.readings.size() >= 6 && second.readings.size() >= 3; }));
    EXPECT_EQ(first.first(5), (Commands{"syst:rem", "Func?", "SAMP:COUN 2", "SYST:ERR?", "Read?"}));
    EXPECT_EQ(second.first(4), (Commands{"syst:rem", "Func?", "Read?", "Read?"}));
    for (size_t i = 0; i < first.readings.size(); ++i) {
        EXPECT_EQ(first.readings[i].value, static_cast<long double>(i + 1));
        EXPECT_EQ(first.readings[i].unit, "V DC");
        EXPECT_TRUE(first.readings[i].spreadBack) << "a burst's reading";
    }
    for (size_t i = 0; i < second.readings.size(); ++i) {
        EXPECT_EQ(second.readings[i].value, static_cast<long double>(i + 1));
        EXPECT_EQ(second.readings[i].unit, "OHM");
        EXPECT_FALSE(second.readings[i].spreadBack);
    }
}

// Who answers "*IDN?" decides the words from then on, where the host lets it:
// listeners already hear the profile the answer chose.
TEST(AcquisitionEngine, TheIdentityPicksTheProfileOnlyWhereTheHostLetsIt) {
    using Choice = AcquisitionEngine::IdentityChoice;
    struct Row {
        MeterPersona persona;
        Choice choice;
        const char* model;
    };
    const Row rows[] = {
        {MeterPersona::Rs232_34401A, Choice::None, "34401A class"},
        {MeterPersona::Gpib34401A, Choice::Gpib, "34401A class (GPIB)"},
        {MeterPersona::Lan3446x, Choice::Gpib, "3446x/3447x class"},
        {MeterPersona::Lan34401A, Choice::Network, "3446x/3447x class"},
    };
    for (const Row& row : rows) {
        MeterOptions options = Steady();
        options.model.persona = row.persona;
        EngineOnMeter run(options);
        run.engine().setIdentifyOnConnect(true);
        run.engine().setProfileFromIdentity(row.choice);
        run.start();
        ASSERT_TRUE(WaitUntil([&] {
            return std::any_of(run.events.begin(), run.events.end(),
                               [](const std::string& e) { return e.starts_with("identified"); });
        })) << row.model;
        const auto told =
            std::find_if(run.events.begin(), run.events.end(),
                         [](const std::string& e) { return e.starts_with("identified"); });
        EXPECT_TRUE(told->ends_with(std::string(" as ") + row.model)) << *told;
        EXPECT_EQ(run.engine().profile().model, row.model);
    }
}

// "Identify" on a serial port: asked once, between two readings, only when the user asks.
TEST(AcquisitionEngine, IdentifyAsksTheMeterOnceBetweenReadings) {
    EngineOnMeter run;
    run.start();
    ASSERT_TRUE(WaitUntil([&] { return run.readings.size() >= 2; }));
    const Commands before = run.meter().Commands();
    EXPECT_EQ(std::count(before.begin(), before.end(), "*IDN?"), 0) << "not unless asked";
    run.engine().identify();
    ASSERT_TRUE(WaitUntil([&] {
        return std::any_of(run.events.begin(), run.events.end(),
                           [](const std::string& e) { return e.starts_with("identified"); });
    }));
    ASSERT_TRUE(WaitUntil([&] { return run.readings.size() >= 4; }));
    const Commands after = run.meter().Commands();
    EXPECT_EQ(std::count(after.begin(), after.end(), "*IDN?"), 1);
    EXPECT_EQ(run.engine().profile().model, "34401A class") << "the user's choice holds";
}

struct PassageRow {
    const char* name;
    std::string line;
    bool query;
    // What goes to the meter from the line on, and what the line's reply
    // must look like ("" for a command: none).
    Commands after;
    const char* reply;
};

void PrintTo(const PassageRow& row, std::ostream* out) {
    *out << row.name;
}

class Passage : public testing::TestWithParam<PassageRow> {};

TEST_P(Passage, ALineGoesBetweenTwoReadingsAndItsReplyOnlyToItsSender) {
    const PassageRow& row = GetParam();
    EngineOnMeter run;
    run.start();
    ASSERT_TRUE(WaitUntil([&] { return run.readings.size() >= 2; }));
    const size_t sentBefore = run.meter().Commands().size();
    std::vector<std::optional<std::string>> replies;
    run.engine().passToMeter(row.line, row.query,
                             [&](std::optional<std::string> reply) { replies.push_back(reply); });
    ASSERT_TRUE(run.waitForCommands(sentBefore + row.after.size() + 1));
    const Commands all = run.meter().Commands();
    const auto line =
        std::find(all.begin() + static_cast<long>(sentBefore) - 1, all.end(), row.line);
    ASSERT_NE(line, all.end()) << testing::PrintToString(all);
    EXPECT_EQ(*(line - 1), "Read?") << "after a reading, never while a query is unanswered";
    ASSERT_GE(all.end() - line, static_cast<long>(row.after.size()));
    EXPECT_EQ(Commands(line, line + static_cast<long>(row.after.size())), row.after);
    ASSERT_TRUE(WaitUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies.size(), 1u);
    if (row.query) {
        ASSERT_TRUE(replies.front());
        EXPECT_TRUE(std::regex_match(*replies.front(), std::regex(row.reply))) << *replies.front();
    } else {
        EXPECT_FALSE(replies.front()) << "a command has no reply";
    }
    for (const Reading& r : run.readings) {
        EXPECT_NE(r.raw, replies.front().value_or("")) << "the reply became a reading";
    }
    for (const std::string& event : run.events) {
        EXPECT_FALSE(event.starts_with("identified")) << "the cycle took the reply: " << event;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Passage,
    testing::Values(
        PassageRow{"a query of the settings",
                   "VOLT:DC:NPLC?",
                   true,
                   {"VOLT:DC:NPLC?", "Read?", "Read?"},
                   R"(\+1\.00000000E\+01)"},
        PassageRow{
            "a query the cycle also asks", "*IDN?", true, {"*IDN?", "Read?"}, ".*,34401A,.*"},
        PassageRow{"a command: the state asked again", "CONF:RES", false,
                   Join({{"CONF:RES", "SAMP:COUN?", "Func?"}, kResInForce, {"Read?"}}), ""},
        PassageRow{"a measure query: the same", "MEAS:RES?", true,
                   Join({{"MEAS:RES?", "SAMP:COUN?", "Func?"}, kResInForce, {"Read?"}}),
                   R"([-+]\d\.\d+E[-+]\d+)"}));

TEST(AcquisitionEngine, AFloodOfLinesLeavesAReadingBetweenEachTwo) {
    EngineOnMeter run;
    run.start();
    ASSERT_TRUE(WaitUntil([&] { return run.readings.size() >= 2; }));
    const size_t sentBefore = run.meter().Commands().size();
    int answered = 0;
    for (int i = 0; i < 4; ++i) {
        run.engine().passToMeter("ZERO:AUTO?", true,
                                 [&](auto reply) { answered += reply ? 1 : 0; });
    }
    EXPECT_EQ(run.engine().passagesWaiting(), 4u);
    ASSERT_TRUE(WaitUntil([&] { return answered == 4; }));
    const Commands all = run.meter().Commands();
    const Commands since(all.begin() + static_cast<long>(sentBefore), all.end());
    const auto first = std::find(since.begin(), since.end(), "ZERO:AUTO?");
    ASSERT_GE(since.end() - first, 7);
    EXPECT_EQ(Commands(first, first + 7), (Commands{"ZERO:AUTO?", "Read?", "ZERO:AUTO?", "Read?",
                                                    "ZERO:AUTO?", "Read?", "ZERO:AUTO?"}));
    EXPECT_EQ(run.engine().passagesWaiting(), 0u);
}

TEST(AcquisitionEngine, LinesThatCannotGoAreToldSoAndNeverSent) {
    EngineOnMeter run;
    std::vector<std::optional<std::string>> replies;
    const auto keep = [&](std::optional<std::string> reply) { replies.push_back(reply); };
    run.engine().passToMeter("VOLT:DC:NPLC?", true, keep); // not connected yet
    EXPECT_EQ(replies, (std::vector<std::optional<std::string>>{std::nullopt}));
    run.start();
    ASSERT_TRUE(WaitUntil([&] { return run.readings.size() >= 1; }));
    run.engine().passToMeter("VOLT:DC:NPLC?", true, keep);
    run.engine().passToMeter("VOLT:DC:NPLC 1", false, keep);
    run.engine().disconnect(); // before a tick could send them
    EXPECT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies.back(), std::nullopt);
    EXPECT_EQ(run.engine().passagesWaiting(), 0u);
    ASSERT_TRUE(WaitUntil([&] {
        const Commands sent = run.meter().Commands();
        return std::find(sent.begin(), sent.end(), "syst:loc") != sent.end();
    }));
    const Commands all = run.meter().Commands();
    EXPECT_EQ(std::count(all.begin(), all.end(), "VOLT:DC:NPLC 1"), 0);
}

TEST(AcquisitionEngine, ReplyTimeOutCoversTheLongestTheQueryCanTake) {
    TComm comm;
    PortReturnWatcher watcher(nullptr);
    SerialTransport transport(comm, watcher);
    const struct {
        const char* name;
        MeterSettings settings;
        std::optional<int> given;
        int expected;
    } rows[] = {
        // 10 s, and 10 PLC of 20 ms with autozero on: 0.4 s a reading.
        {"the meter's defaults", {}, std::nullopt, 10400},
        {"fifty samples", With([](MeterSettings& s) { s.samples = 50; }), std::nullopt, 30000},
        {"100 PLC, autozero off, two samples", With([](MeterSettings& s) {
             s.functions["VOLT"].nplc = 100;
             s.functions["VOLT"].autozero = "OFF";
             s.samples = 2;
         }),
         std::nullopt, 14000},
        {"given", With([](MeterSettings& s) { s.samples = 50; }), 2500, 2500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AcquisitionEngine engine(transport);
        engine.setMeterSettings(row.settings);
        engine.setReplyTimeout(row.given);
        engine.connect("VOLT");
        EXPECT_EQ(engine.replyTimeoutMs(), row.expected);
    }
    // A profile's own allowance for the function, and only for it.
    MeterProfile slowVolts = Profile34401A();
    slowVolts.functionTimeoutMs = {{"VOLT", 1500}, {"FREQ", 9000}};
    AcquisitionEngine engine(transport, slowVolts);
    engine.connect("VOLT");
    EXPECT_EQ(engine.replyTimeoutMs(), 11900);
    engine.connect("VOLT:AC");
    EXPECT_EQ(engine.replyTimeoutMs(), 10400);
}

TEST(SerialTransport, OnlyABusyPortIsTriedAgainAfterItCameBack) {
    // A port just plugged in may be held for a moment by a modem manager.
    TComm comm;
    PortReturnWatcher watcher(nullptr);
    SerialTransport transport(comm, watcher);
    EXPECT_TRUE(transport.retryAfterOpenError(ECommsError("busy", EBUSY)));
    EXPECT_FALSE(transport.retryAfterOpenError(ECommsError("refused", EACCES)));
    EXPECT_FALSE(transport.retryAfterOpenError(std::runtime_error("not the port's")));
}

TEST(SerialTransport, ALineLongerThanTheComponentCountsIsRefused) {
    MeterEmulator meter(Steady());
    meter.Start();
    TComm comm;
    comm.SetCommName(meter.SlavePath());
    comm.OpenPort();
    PortReturnWatcher watcher(nullptr);
    SerialTransport transport(comm, watcher);
    EXPECT_TRUE(transport.send("Func?\r\n"));
    EXPECT_FALSE(transport.send(std::string(65536 + 7, 'x'))) << "a 16-bit count would cut it to 7";
    EXPECT_TRUE(meter.WaitForReceived("Func?\r\n", 10s));
    comm.ClosePort();
}

} // namespace
} // namespace velmora

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
