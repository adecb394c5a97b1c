// The alarm rules: tables of readings and what they raise and clear, and random runs against a
// reference written from the rules' own words.
#include "alarms/alarm_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

AlarmDefinition Level(AlarmCondition condition, double low, double high, double hysteresis = 0,
                      double delay = 0, std::string function = "VOLT") {
    AlarmDefinition a;
    a.name = "level";
    a.function = std::move(function);
    a.condition = condition;
    a.low = low;
    a.high = high;
    a.hysteresis = hysteresis;
    a.delaySeconds = delay;
    return a;
}

// One step of a run: a reading (function, value) at a time, or a tick.
struct Step {
    double at;
    std::string function; // "" for a reading whose function is not known yet
    double value;
    char expect; // 'R' raised here, 'C' cleared here, '-' nothing
};

struct LevelRow {
    const char* name;
    AlarmDefinition alarm;
    std::vector<Step> steps;
};

const double kOver = 9.9e37;

const LevelRow kLevelRows[] = {
    {"above_at_once_and_back",
     Level(AlarmCondition::Above, 0, 1.5),
     {{0, "VOLT", 1.0, '-'},
      {1, "VOLT", 1.5, '-'},
      {2, "VOLT", 1.51, 'R'},
      {3, "VOLT", 1.6, '-'},
      {4, "VOLT", 1.5, 'C'}}},
    {"above_wobble_inside_the_hysteresis_keeps_it",
     Level(AlarmCondition::Above, 0, 1.5, 0.1),
     {{0, "VOLT", 1.6, 'R'},
      {1, "VOLT", 1.45, '-'},
      {2, "VOLT", 1.55, '-'},
      {3, "VOLT", 1.41, '-'},
      {4, "VOLT", 1.4, 'C'},
      {5, "VOLT", 1.45, '-'},
      {6, "VOLT", 1.51, 'R'}}},
    {"below_with_hysteresis",
     Level(AlarmCondition::Below, 10, 0, 1),
     {{0, "VOLT", 9.99, 'R'}, {1, "VOLT", 10.5, '-'}, {2, "VOLT", 11, 'C'}, {3, "VOLT", 10, '-'}}},
    {"outside_band_both_sides",
     Level(AlarmCondition::Outside, 1, 2, 0.1),
     {{0, "VOLT", 1.5, '-'},
      {1, "VOLT", 0.9, 'R'},
      {2, "VOLT", 1.05, '-'},
      {3, "VOLT", 1.1, 'C'},
      {4, "VOLT", 2.01, 'R'},
      {5, "VOLT", 1.95, '-'},
      {6, "VOLT", 1.9, 'C'}}},
    {"inside_band_edges_count",
     Level(AlarmCondition::Inside, 1, 2, 0.5),
     {{0, "VOLT", 0.5, '-'},
      {1, "VOLT", 1, 'R'},
      {2, "VOLT", 0.6, '-'},
      {3, "VOLT", 0.49, 'C'},
      {4, "VOLT", 2, 'R'},
      {5, "VOLT", 2.51, 'C'}}},
    {"delay_shorter_spell_does_not_raise",
     Level(AlarmCondition::Above, 0, 5, 0, 2),
     {{0, "VOLT", 6, '-'},
      {1, "VOLT", 6, '-'},
      {1.5, "VOLT", 4, '-'},
      {2, "VOLT", 6, '-'},
      {3.9, "VOLT", 6, '-'},
      {4, "VOLT", 6, 'R'},
      {5, "VOLT", 6, '-'}}},
    {"delay_held_exactly_long_enough",
     Level(AlarmCondition::Above, 0, 5, 0, 2),
     {{10, "VOLT", 7, '-'}, {12, "VOLT", 7, 'R'}, {13, "VOLT", 5, 'C'}, {14, "VOLT", 7, '-'}}},
    {"other_functions_are_not_looked_at",
     Level(AlarmCondition::Above, 0, 1.5),
     {{0, "RES", 1000, '-'},
      {1, "DIOD", 2, '-'},
      {2, "VOLT:AC", 3, '-'},
      {3, "VOLT", 2, 'R'},
      {4, "RES", 0, '-'},
      {5, "VOLT", 1, 'C'}}},
    {"diode_is_a_function_of_its_own",
     Level(AlarmCondition::Below, 0.4, 0, 0, 0, "DIOD"),
     {{0, "VOLT", 0.1, '-'}, {1, "DIOD", 0.3, 'R'}, {2, "VOLT", 1, '-'}, {3, "DIOD", 0.5, 'C'}}},
    {"unknown_function_and_overloads_are_no_values",
     Level(AlarmCondition::Above, 0, 1.5, 0, 1),
     {{0, "VOLT", 2, '-'},
      {0.5, "", 0, '-'},
      {0.7, "VOLT", kOver, '-'},
      {0.8, "VOLT", -kOver, '-'},
      {1, "VOLT", 2, 'R'},
      {2, "VOLT", -kOver, '-'},
      {3, "", 0, '-'},
      {4, "VOLT", 1, 'C'}}},
    {"any_function_when_none_named",
     Level(AlarmCondition::Above, 0, 1, 0, 0, ""),
     {{0, "RES", 2, 'R'}, {1, "VOLT", 0.5, 'C'}, {2, "", 5, '-'}}},
    {"clock_running_backwards_counts_as_standing_still",
     Level(AlarmCondition::Above, 0, 5, 0, 2),
     {{10, "VOLT", 6, '-'},
      {5, "VOLT", 6, '-'},
      {11.9, "VOLT", 6, '-'},
      {3, "VOLT", 6, '-'},
      {12, "VOLT", 6, 'R'}}},
};

class LevelAlarm : public ::testing::TestWithParam<LevelRow> {};

TEST_P(LevelAlarm, RaisesAndClearsWhereTheRowSays) {
    const LevelRow& row = GetParam();
    AlarmMonitor monitor;
    monitor.setDefinitions({row.alarm});
    for (size_t i = 0; i < row.steps.size(); ++i) {
        const Step& step = row.steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i << " at " << step.at << ": " << step.value);
        const std::vector<AlarmEvent> events = monitor.reading(step.function, step.value, step.at);
        if (step.expect == '-') {
            EXPECT_TRUE(events.empty());
            continue;
        }
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].change,
                  step.expect == 'R' ? AlarmChange::Raised : AlarmChange::Cleared);
        EXPECT_EQ(events[0].value, std::optional<long double>(step.value));
        EXPECT_EQ(monitor.raised(0), step.expect == 'R');
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LevelAlarm, ::testing::ValuesIn(kLevelRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(OverloadAlarm, RaisedByAnOverloadOfItsFunctionAndClearedByAReading) {
    AlarmDefinition a;
    a.condition = AlarmCondition::Overload;
    a.function = "RES";
    AlarmMonitor monitor;
    monitor.setDefinitions({a});
    EXPECT_TRUE(monitor.reading("VOLT", kOver, 0).empty()) << "another function";
    EXPECT_TRUE(monitor.reading("RES", 1000, 1).empty());
    EXPECT_EQ(monitor.reading("RES", -kOver, 2).size(), 1u);
    EXPECT_TRUE(monitor.raised(0));
    EXPECT_TRUE(monitor.reading("RES", 9.9e37L * 0.9999999999L, 3).empty())
        << "a hair below 9.9E37 is still the meter's overload";
    EXPECT_TRUE(monitor.reading("", 5, 4).empty()) << "the function not known yet";
    const std::vector<AlarmEvent> cleared = monitor.reading("RES", 1160, 5);
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_EQ(cleared[0].change, AlarmChange::Cleared);
}

TEST(MathAlarm, JudgesTheDerivedValueAndLeavesReadingsWithoutOneAlone) {
    AlarmDefinition hot;
    hot.name = "too hot";
    hot.condition = AlarmCondition::Above;
    hot.high = 100; // °C
    hot.onMath = true;
    AlarmDefinition raw = hot;
    raw.name = "raw above 100";
    raw.onMath = false;
    AlarmMonitor monitor;
    monitor.setDefinitions({hot, raw});
    // 4.5 mV is far below 100 as a reading; its derived 110 °C is above.
    std::vector<AlarmEvent> events = monitor.reading("VOLT", 0.0045L, 0, 110.0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].alarm, 0u);
    EXPECT_TRUE(monitor.reading("VOLT", 0.0045L, 1, std::nullopt).empty())
        << "no derived number (out of range): the math alarm stays as it is";
    EXPECT_TRUE(monitor.raised(0));
    events = monitor.reading("VOLT", 0.0040L, 2, 98.0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].change, AlarmChange::Cleared);
    events = monitor.reading("VOLT", 150.0L, 3, 20.0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].alarm, 1u) << "the reading's alarm judges the reading";
}

TEST(SilenceAlarm, OnlyWhileConnectedCountedFromTheLastReadingOrTheConnect) {
    AlarmDefinition a;
    a.condition = AlarmCondition::Silence;
    a.silenceSeconds = 5;
    AlarmMonitor monitor;
    monitor.setDefinitions({a});
    EXPECT_TRUE(monitor.tick(100).empty()) << "not connected";
    monitor.connected(true, 100);
    EXPECT_TRUE(monitor.tick(104.9).empty());
    EXPECT_EQ(monitor.tick(105).size(), 1u) << "five seconds after connecting";
    EXPECT_TRUE(monitor.tick(106).empty()) << "raised once";
    const std::vector<AlarmEvent> cleared = monitor.reading("VOLT", 1, 107);
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_EQ(cleared[0].change, AlarmChange::Cleared);
    EXPECT_TRUE(monitor.tick(111.9).empty());
    EXPECT_EQ(monitor.tick(112).size(), 1u) << "five seconds after the last reading";
    const std::vector<AlarmEvent> off = monitor.connected(false, 113);
    ASSERT_EQ(off.size(), 1u) << "disconnected: the meter owes no readings";
    EXPECT_EQ(off[0].change, AlarmChange::Cleared);
    EXPECT_TRUE(monitor.tick(200).empty());
}

TEST(Acknowledge, OnlyARaisedAlarmAndOnlyOnceAndARaiseWantsItAgain) {
    AlarmMonitor monitor;
    monitor.setDefinitions({Level(AlarmCondition::Above, 0, 1)});
    EXPECT_TRUE(monitor.acknowledge(0, 0).empty()) << "nothing raised";
    monitor.reading("VOLT", 2, 1);
    EXPECT_TRUE(monitor.anyUnacknowledged());
    EXPECT_EQ(monitor.acknowledge(0, 2).size(), 1u);
    EXPECT_TRUE(monitor.acknowledge(0, 3).empty());
    EXPECT_TRUE(monitor.raised(0) && monitor.acknowledged(0));
    EXPECT_FALSE(monitor.anyUnacknowledged());
    EXPECT_TRUE(monitor.anyRaised());
    monitor.reading("VOLT", 0, 4);
    monitor.reading("VOLT", 2, 5);
    EXPECT_TRUE(monitor.anyUnacknowledged()) << "raised afresh";
    EXPECT_TRUE(monitor.acknowledge(7, 6).empty()) << "no such alarm";
}

TEST(Definitions, ADisabledAlarmNeverFiresAndNewDefinitionsStartAfresh) {
    AlarmDefinition a = Level(AlarmCondition::Above, 0, 1);
    a.enabled = false;
    AlarmMonitor monitor;
    monitor.setDefinitions({a});
    EXPECT_TRUE(monitor.reading("VOLT", 5, 0).empty());
    a.enabled = true;
    monitor.setDefinitions({a});
    EXPECT_EQ(monitor.reading("VOLT", 5, 1).size(), 1u);
    monitor.setDefinitions({a});
    EXPECT_FALSE(monitor.raised(0));
}

// ---------------------------------------------------------------------------
// The reference: the rules restated directly, looking at the whole history
// every time. Slow, and written without the monitor's code in view.

struct Event {
    enum Kind { Reading, Tick, Connect, Disconnect, Ack } kind;
    double at;
    std::string function;
    double value;
};

bool IsOver(double v) {
    return std::fabs(v) >= 9.899999995e37;
}

bool Holds(const AlarmDefinition& a, double v) {
    if (a.condition == AlarmCondition::Above)
        return v > a.high;
    if (a.condition == AlarmCondition::Below)
        return v < a.low;
    if (a.condition == AlarmCondition::Outside)
        return v < a.low || v > a.high;
    return a.low <= v && v <= a.high;
}

bool Recovered(const AlarmDefinition& a, double v) {
    if (a.condition == AlarmCondition::Above)
        return v <= a.high - a.hysteresis;
    if (a.condition == AlarmCondition::Below)
        return v >= a.low + a.hysteresis;
    if (a.condition == AlarmCondition::Outside)
        return v >= a.low + a.hysteresis && v <= a.high - a.hysteresis;
    return v < a.low - a.hysteresis || v > a.high + a.hysteresis;
}

// The raised/acknowledged state of alarm `a` after the first `count` events.
std::pair<bool, bool> Reference(const AlarmDefinition& a, const std::vector<Event>& events,
                                size_t count) {
    bool raised = false;
    bool acked = false;
    bool connected = false;
    double last = -1e300;    // the clock as the monitor sees it
    double quietSince = 0;   // last reading, or the connect
    std::vector<double> run; // times of the readings that met the condition in a row
    for (size_t k = 0; k < count; ++k) {
        const Event& e = events[k];
        last = std::max(last, e.at);
        const double t = last;
        if (e.kind == Event::Ack) {
            if (raised)
                acked = true;
            continue;
        }
        if (e.kind == Event::Connect || e.kind == Event::Disconnect) {
            connected = e.kind == Event::Connect;
            quietSince = t;
            if (!connected && a.condition == AlarmCondition::Silence && raised)
                raised = acked = false;
            continue;
        }
        if (e.kind == Event::Tick) {
            if (a.condition == AlarmCondition::Silence && connected && !raised &&
                t - quietSince >= a.silenceSeconds)
                raised = true, acked = false;
            continue;
        }
        quietSince = t;
        if (a.condition == AlarmCondition::Silence) {
            if (raised)
                raised = acked = false;
            continue;
        }
        const bool mine = !e.function.empty() && (a.function.empty() || a.function == e.function);
        if (!mine)
            continue;
        if (a.condition == AlarmCondition::Overload) {
            if (IsOver(e.value) != raised) {
                raised = !raised;
                acked = false;
            }
            continue;
        }
        if (IsOver(e.value))
            continue;
        if (raised) {
            if (Recovered(a, e.value))
                raised = acked = false, run.clear();
            continue;
        }
        if (!Holds(a, e.value)) {
            run.clear();
            continue;
        }
        run.push_back(t);
        if (t - run.front() >= a.delaySeconds) {
            raised = true;
            acked = false;
            run.clear();
        }
    }
    return {raised, acked};
}

TEST(AlarmsAgainstTheReference, RandomRunsAgree) {
    std::mt19937 random(20261209);
    const std::vector<std::string> functions = {"VOLT", "RES", "DIOD", ""};
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (int run = 0; run < 400; ++run) {
        std::vector<AlarmDefinition> alarms;
        for (int i = 0; i < 6; ++i) {
            AlarmDefinition a;
            a.condition = static_cast<AlarmCondition>(random() % 6);
            a.function = functions[random() % functions.size()];
            a.low = std::round(uniform(-2, 2) * 4) / 4;
            a.high = a.low + std::round(uniform(0, 3) * 4) / 4;
            a.hysteresis = random() % 3 == 0 ? 0 : std::round(uniform(0, 1) * 4) / 4;
            a.delaySeconds = random() % 2 == 0 ? 0 : std::round(uniform(0, 3) * 2) / 2;
            a.silenceSeconds = 1 + random() % 4;
            a.enabled = random() % 8 != 0;
            alarms.push_back(a);
        }
        std::vector<Event> events;
        double t = 0;
        for (int k = 0; k < 150; ++k) {
            // Mostly forwards in quarter seconds; now and then backwards.
            t += random() % 10 == 0 ? -uniform(0, 2) : std::round(uniform(0, 1) * 4) / 4;
            const int kind = static_cast<int>(random() % 20);
            Event e{Event::Reading, t, functions[random() % functions.size()],
                    std::round(uniform(-4, 4) * 4) / 4};
            if (kind == 0)
                e.kind = Event::Connect;
            else if (kind == 1)
                e.kind = Event::Disconnect;
            else if (kind < 5)
                e.kind = Event::Tick;
            else if (kind == 5)
                e.kind = Event::Ack;
            else if (kind == 6)
                e.value = random() % 2 ? 9.9e37 : -9.9e37;
            events.push_back(e);
        }
        AlarmMonitor monitor;
        monitor.setDefinitions(alarms);
        std::vector<size_t> ackTargets;
        for (size_t k = 0; k < events.size(); ++k) {
            const Event& e = events[k];
            switch (e.kind) {
            case Event::Reading:
                monitor.reading(e.function, e.value, e.at);
                break;
            case Event::Tick:
                monitor.tick(e.at);
                break;
            case Event::Connect:
            case Event::Disconnect:
                monitor.connected(e.kind == Event::Connect, e.at);
                break;
            case Event::Ack:
                // Every alarm is acknowledged at an Ack step, in the reference as here.
                for (size_t i = 0; i < alarms.size(); ++i)
                    monitor.acknowledge(i, e.at);
                break;
            }
            for (size_t i = 0; i < alarms.size(); ++i) {
                const AlarmDefinition& a = alarms[i];
                const auto [raised, acked] =
                    a.enabled ? Reference(a, events, k + 1) : std::pair<bool, bool>{false, false};
                ASSERT_EQ(monitor.raised(i), raised)
                    << "run " << run << " event " << k << " alarm " << i << " ("
                    << AlarmConditionName(a.condition) << " " << a.function << " " << a.low << ".."
                    << a.high << " h " << a.hysteresis << " d " << a.delaySeconds << ")";
                ASSERT_EQ(monitor.acknowledged(i), acked) << "run " << run << " event " << k;
            }
        }
    }
}

} // namespace
} // namespace velmora
