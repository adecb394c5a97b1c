// Chart bookkeeping: one series per unit, function changes, overloads and readings of no known
// unit.
#include "chart/trend_recorder.h"

#include "acquisition/reply_interpreter.h"
#include "chart/trend_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using std::chrono::milliseconds;

TrendClock::time_point At(int ms) {
    return TrendClock::time_point(milliseconds(ms));
}

constexpr double kNoon = 0.5;

TEST(TrendRecorder, ReadingsOfOneUnitFormOneSeriesTimedFromItsFirstReading) {
    TrendRecorder recorder;
    const TrendRecord first = recorder.record(1160.4076L, "OHM", At(7000), kNoon);
    const TrendRecord second = recorder.record(1160.5L, "OHM", At(7250), kNoon + 0.001);

    EXPECT_EQ(first.action, TrendAction::Plotted);
    EXPECT_TRUE(first.seriesCreated);
    EXPECT_FALSE(first.unitChanged);
    EXPECT_EQ(first.x, 0.0);
    EXPECT_EQ(first.y, 1160.4076);
    EXPECT_EQ(second.action, TrendAction::Plotted);
    EXPECT_FALSE(second.seriesCreated);
    EXPECT_EQ(second.series, first.series);
    EXPECT_DOUBLE_EQ(second.x, 0.25);

    ASSERT_EQ(recorder.seriesCount(), 1u);
    const TrendSeries& series = recorder.series(0);
    EXPECT_EQ(series.unitLabel(), "OHM");
    EXPECT_EQ(series.points(), 2u);
    EXPECT_EQ(series.lowest(), 1160.4076);
    EXPECT_EQ(series.highest(), 1160.5);
    // The wall-clock time of a point comes from the first reading's.
    EXPECT_DOUBLE_EQ(series.timeOfDayAt(90.0), kNoon + 90.0 / 86400.0);
    EXPECT_NEAR(series.timeOfDayAt(43200.0 + 60.0), 60.0 / 86400.0, 1e-12); // past midnight
}

// One step of a run: a reading of `unit` at `ms`, or a command sent, or a
// function named.
struct Step {
    enum class Kind { Reading, Command, Named } kind;
    int ms = 0;
    long double value = 0;
    std::string unit;
};

Step Reading(int ms, long double value, std::string unit) {
    return {Step::Kind::Reading, ms, value, std::move(unit)};
}
Step Command(std::string command) {
    return {Step::Kind::Command, 0, 0, std::move(command)};
}
Step Named() {
    return {Step::Kind::Named, 0, 0, {}};
}

struct Expected {
    TrendAction action;
    size_t series;
    bool created;
    bool changed;
};

struct RunRow {
    const char* name;
    std::vector<Step> steps;
    std::vector<Expected> readings; // one per Reading step
};

const std::vector<RunRow> kRunRows = {
    {"unit_change_starts_a_series",
     {Reading(0, 10, "V DC"), Reading(100, 1000, "OHM"), Reading(200, 1001, "OHM")},
     {{TrendAction::Plotted, 0, true, false},
      {TrendAction::Plotted, 1, true, true},
      {TrendAction::Plotted, 1, false, false}}},
    {"back_to_a_unit_resumes_its_series",
     {Reading(0, 10, "V DC"), Reading(100, 1000, "OHM"), Reading(200, 11, "V DC")},
     {{TrendAction::Plotted, 0, true, false},
      {TrendAction::Plotted, 1, true, true},
      {TrendAction::Plotted, 0, false, true}}},
    {"diode_and_dc_volts_share_a_label_and_a_series",
     {Reading(0, 10, "V DC"), Reading(100, 0.6, "V DC")},
     {{TrendAction::Plotted, 0, true, false}, {TrendAction::Plotted, 0, false, false}}},
    {"no_unit_yet_is_not_plotted",
     {Reading(0, 10, ""), Reading(100, 11, "V DC")},
     {{TrendAction::Ignored, 0, false, false}, {TrendAction::Plotted, 0, true, false}}},
    {"overloads_are_marked_not_plotted",
     {Reading(0, 1000, "OHM"), Reading(100, 9.9E37L, "OHM"), Reading(200, -9.9E37L, "OHM"),
      Reading(300, 9.899999999999999999E37L, "OHM"), Reading(400, 9.89999998E37L, "OHM")},
     {{TrendAction::Plotted, 0, true, false},
      {TrendAction::Overload, 0, false, false},
      {TrendAction::Overload, 0, false, false},
      // What the conversion of +9.90000000E+37 can give: still an overload.
      {TrendAction::Overload, 0, false, false},
      // A real reading just below, at the meter's nine digits.
      {TrendAction::Plotted, 0, false, false}}},
    {"an_overload_can_begin_a_series",
     {Reading(0, 9.9E37L, "OHM"), Reading(500, 1000, "OHM")},
     {{TrendAction::Overload, 0, true, false}, {TrendAction::Plotted, 0, false, false}}},
    // The reply to a measure query is of the new function while the label
    // still names the old one; only the function name settles it.
    {"measure_query_holds_readings_back_until_the_function_is_named",
     {Reading(0, 10, "V DC"), Command("Meas:RES?"), Reading(100, 1000, "V DC"), Command("Func?"),
      Named(), Reading(200, 1001, "OHM")},
     {{TrendAction::Plotted, 0, true, false},
      {TrendAction::Ignored, 0, false, false},
      {TrendAction::Plotted, 1, true, true}}},
    {"measure_query_in_any_letter_case",
     {Reading(0, 10, "V DC"), Command("meas:volt:ac?"), Reading(100, 1, "V DC")},
     {{TrendAction::Plotted, 0, true, false}, {TrendAction::Ignored, 0, false, false}}},
    {"read_and_function_queries_do_not_hold_back",
     {Command("syst:rem"), Command("Func?"), Named(), Command("Read?"), Reading(0, 10, "V DC"),
      Command("Volt:DC:RES Max"), Reading(100, 10, "V DC")},
     {{TrendAction::Plotted, 0, true, false}, {TrendAction::Plotted, 0, false, false}}},
};

TEST(TrendRecorder, RoutesReadingsAsTheRunGoes) {
    for (const RunRow& row : kRunRows) {
        SCOPED_TRACE(row.name);
        TrendRecorder recorder;
        size_t reading = 0;
        for (const Step& step : row.steps) {
            switch (step.kind) {
            case Step::Kind::Command:
                recorder.commandSent(step.unit);
                break;
            case Step::Kind::Named:
                recorder.unitNamed();
                break;
            case Step::Kind::Reading: {
                SCOPED_TRACE("reading " + std::to_string(reading));
                ASSERT_LT(reading, row.readings.size());
                const Expected& expected = row.readings[reading++];
                const TrendRecord got = recorder.record(step.value, step.unit, At(step.ms), kNoon);
                EXPECT_EQ(got.action, expected.action);
                if (expected.action != TrendAction::Ignored) {
                    EXPECT_EQ(got.series, expected.series);
                    EXPECT_EQ(recorder.current(), expected.series);
                }
                EXPECT_EQ(got.seriesCreated, expected.created);
                EXPECT_EQ(got.unitChanged, expected.changed);
                break;
            }
            }
        }
        EXPECT_EQ(reading, row.readings.size());
    }
}

TEST(TrendRecorder, FunctionChangesAreMarkedInBothSeries) {
    TrendRecorder recorder;
    recorder.record(10, "V DC", At(1000), kNoon);
    recorder.record(1000, "OHM", At(3000), kNoon);
    recorder.record(11, "V DC", At(4500), kNoon);

    const TrendSeries& volts = recorder.series(0);
    const TrendSeries& ohms = recorder.series(1);
    ASSERT_EQ(volts.unitChanges().size(), 2u);
    EXPECT_DOUBLE_EQ(volts.unitChanges()[0].x, 2.0);
    EXPECT_EQ(volts.unitChanges()[0].text, "to OHM");
    EXPECT_TRUE(volts.unitChanges()[0].leaving);
    EXPECT_DOUBLE_EQ(volts.unitChanges()[1].x, 3.5);
    EXPECT_EQ(volts.unitChanges()[1].text, "from OHM");
    ASSERT_EQ(ohms.unitChanges().size(), 2u);
    EXPECT_DOUBLE_EQ(ohms.unitChanges()[0].x, 0.0);
    EXPECT_EQ(ohms.unitChanges()[0].text, "from V DC");
    EXPECT_FALSE(ohms.unitChanges()[0].leaving);
    EXPECT_DOUBLE_EQ(ohms.unitChanges()[1].x, 1.5);
    EXPECT_EQ(ohms.unitChanges()[1].text, "to V DC");
    // The resumed series keeps its clock: the gap shows as a gap.
    EXPECT_DOUBLE_EQ(recorder.record(12, "V DC", At(5000), kNoon).x, 4.0);
}

TEST(TrendRecorder, DerivedValuesGoBesideTheReadingsWithoutAChangeOfFunction) {
    TrendRecorder recorder;
    for (int i = 0; i < 3; ++i) {
        const TrendRecord raw = recorder.record(1160.0L + i, "OHM", At(100 * i), 0.5);
        EXPECT_FALSE(raw.unitChanged) << i;
        const TrendRecord derived =
            recorder.recordDerived(41.0L + i, "\u00B0C (math)", At(100 * i), 0.5);
        EXPECT_EQ(derived.action, TrendAction::Plotted);
        EXPECT_EQ(derived.seriesCreated, i == 0);
        EXPECT_FALSE(derived.unitChanged);
        EXPECT_EQ(derived.y, 41.0 + i);
    }
    const TrendRecord overload = recorder.recordDerived(9.9E37L, "\u00B0C (math)", At(300), 0.5);
    EXPECT_EQ(overload.action, TrendAction::Overload);
    ASSERT_EQ(recorder.seriesCount(), 2u);
    EXPECT_EQ(recorder.current(), 0u) << "the reading's series stays the current one";
    EXPECT_TRUE(recorder.series(0).unitChanges().empty());
    EXPECT_TRUE(recorder.series(1).unitChanges().empty());
    EXPECT_EQ(recorder.series(1).points(), 3u);
}

TEST(TrendRecorder, EventsThatEndReadingsAreLabelledBeforeTheirLine) {
    TrendRecorder recorder;
    recorder.record(10, "V DC", At(1000), kNoon);
    const struct {
        const char* event;
        bool leaving;
    } rows[] = {
        {"port lost 12:01:03", true},
        {"back 12:01:09", false},
        {"recording stopped", true},
        {"recording started", false},
    };
    for (const auto& row : rows) {
        recorder.markEvent(row.event, At(2000));
    }
    const auto& marks = recorder.series(0).unitChanges();
    ASSERT_EQ(marks.size(), std::size(rows));
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].text, rows[i].event);
        EXPECT_EQ(marks[i].leaving, rows[i].leaving) << rows[i].event;
    }
}

TEST(TrendRecorder, OverloadsAndHeldBackReadingsStayOutOfTheFigures) {
    TrendRecorder recorder;
    recorder.record(5, "", At(0), kNoon);
    recorder.record(1000, "OHM", At(100), kNoon);
    recorder.record(9.9E37L, "OHM", At(200), kNoon);
    recorder.commandSent("Meas:Volt:Dc?");
    recorder.record(1.5, "OHM", At(300), kNoon);
    recorder.unitNamed();
    recorder.record(1002, "OHM", At(400), kNoon);

    const TrendSeries& series = recorder.series(0);
    EXPECT_EQ(series.points(), 2u);
    EXPECT_EQ(series.statistics().count(), 2u);
    EXPECT_EQ(series.statistics().overloads(), 1u);
    EXPECT_EQ(series.statistics().max(), 1002.0);
    EXPECT_EQ(series.highest(), 1002.0);
    EXPECT_EQ(series.lowest(), 1000.0);
    EXPECT_EQ(recorder.heldBack(), 2u);
}

TEST(TrendRecorder, ResettingStatisticsKeepsTheSeries) {
    TrendRecorder recorder;
    for (int i = 0; i < 10; ++i) {
        recorder.record(100 + i, "Hz", At(100 * i), kNoon);
    }
    recorder.series(0).statistics().reset();
    recorder.record(50, "Hz", At(1000), kNoon);
    EXPECT_EQ(recorder.series(0).points(), 11u);
    EXPECT_EQ(recorder.series(0).lowest(), 50.0);
    EXPECT_EQ(recorder.series(0).statistics().count(), 1u);
    EXPECT_EQ(recorder.series(0).statistics().mean(), 50.0);
}

// The reply handler tells the chart when the meter named its function.
TEST(ReplyOutcome, NamesOnlyRecognisedFunctions) {
    ReplyInterpreter interpreter;
    const auto lines = [] { return 1; };
    EXPECT_TRUE(interpreter.interpret("\"RES\"\r\n", kNoon, lines).unitNamed);
    EXPECT_TRUE(interpreter.interpret("\"VOLT\"", kNoon, lines).unitNamed);
    EXPECT_FALSE(interpreter.interpret("\"res\"", kNoon, lines).unitNamed);
    EXPECT_FALSE(interpreter.interpret("\"OHMS\"", kNoon, lines).unitNamed);
    EXPECT_FALSE(interpreter.interpret("+1.0E+00", kNoon, lines).unitNamed);
    EXPECT_FALSE(interpreter.interpret("garbage", kNoon, lines).unitNamed);
}

struct FormatRow {
    const char* name;
    double value;
    const char* unit;
    int digits;
    char mark;
    const char* expected;
};

const FormatRow kFormatRows[] = {
    {"kilohm", 1160.4076, "OHM", 8, '.', "1.1604076 kOHM"},
    {"millivolt_comma", -0.0123, "V DC", 4, ',', "-12,30 mV DC"},
    {"zero", 0.0, "Hz", 4, '.', "0.000 Hz"},
    {"carry_into_next_prefix", 999.99996, "V AC", 6, '.', "1.00000 kV AC"},
    {"no_prefix", 12.5, "S", 3, '.', "12.5 S"},
    {"microamp", 4.56e-5, "A DC", 3, '.', "45.6 uA DC"},
    {"gigaohm", 1.2e9, "OHM", 4, '.', "1.200 GOHM"},
    {"no_unit", 2500.0, "", 2, '.', "2.5 k"},
    {"not_finite", std::numeric_limits<double>::infinity(), "OHM", 4, '.', "-"},
    {"whole_digits_beyond_the_count", 123.456, "V DC", 2, '.', "123 V DC"},
};

TEST(TrendFormat, PrefixedFigures) {
    for (const FormatRow& row : kFormatRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FormatWithPrefix(row.value, row.unit, row.digits, row.mark), row.expected);
    }
}

} // namespace
} // namespace velmora
