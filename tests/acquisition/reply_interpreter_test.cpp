// Reply rules: units, scaling, display texts, thinning and rejected replies.
#include "acquisition/reply_interpreter.h"

#include "text/regional_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

constexpr double kAt140509 = (14 * 3600 + 5 * 60 + 9) / 86400.0;

class ReplyInterpreterTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentRegionalSettings();
        RegionalSettings settings;
        settings.longTimePattern = "hh:mm:ss";
        SetRegionalSettings(settings);
    }
    void TearDown() override { SetRegionalSettings(saved_); }

    // Feeds a function-name reply so the interpreter holds the given unit.
    void selectUnit(const char* quotedName) {
        interpreter_.interpret(quotedName, kAt140509, [] { return 1; });
    }

    ReplyInterpreter interpreter_;

private:
    RegionalSettings saved_;
};

struct ReplyRow {
    const char* name;
    std::string bytes;         // may hold a zero byte
    const char* functionReply; // selects the unit before the reply, or nullptr
    std::optional<std::string> upper;
    std::optional<std::string> lower;
    std::optional<std::string> logLine;
    std::optional<std::string> rejected;
    friend void PrintTo(const ReplyRow& row, std::ostream* os) { *os << row.name; }
};

const std::vector<ReplyRow> kReplyRows = {
    {"kilohm", "+1.16040760E+03\r\n", "\"RES\"", "1.1604076", "        KOHM",
     "1,OHM,+1.16040760E+03,14:05:09", std::nullopt},
    {"millivolt", "+1.23000000E-02\r\n", "\"VOLT\"", "12.3", "        mV DC",
     "1,V DC,+1.23000000E-02,14:05:09", std::nullopt},
    {"microamp", "+4.56000000E-05\r\n", "\"CURR\"", "45.6", "        uA DC",
     "1,A DC,+4.56000000E-05,14:05:09", std::nullopt},
    {"hundred_stays_unscaled", "+1.00000000E+02\r\n", "\"VOLT\"", "100", "        V DC",
     "1,V DC,+1.00000000E+02,14:05:09", std::nullopt},
    {"megohm", "+2.50000000E+07\r\n", "\"RES\"", "25", "        MOHM",
     "1,OHM,+2.50000000E+07,14:05:09", std::nullopt},
    {"overload", "+9.90000000E+37\r\n", "\"RES\"", "999999999", "        MOHM",
     "1,OHM,+9.90000000E+37,14:05:09", std::nullopt},
    {"negative_overload_loses_sign", "-9.90000000E+37\r\n", "\"RES\"", "999999999", "        MOHM",
     "1,OHM,-9.90000000E+37,14:05:09", std::nullopt},
    {"zero_goes_down_twice", "+0.00000000E+00\r\n", "\"VOLT\"", "0", "        uV DC",
     "1,V DC,+0.00000000E+00,14:05:09", std::nullopt},
    {"tenth_has_no_prefix", "+1.00000000E-01\r\n", "\"VOLT:AC\"", "0.1", "        V AC",
     "1,V AC,+1.00000000E-01,14:05:09", std::nullopt},
    {"just_above_hundred", "+1.00000001E+02\r\n", "\"FREQ\"", "0.100000001", "        KHz",
     "1,Hz,+1.00000001E+02,14:05:09", std::nullopt},
    {"exactly_a_thousand_mega", "+1.00000000E+09\r\n", "\"RES\"", "1000", "        MOHM",
     "1,OHM,+1.00000000E+09,14:05:09", std::nullopt},
    // The inner steps are strict too: 1E5 / 1000 = 100 stays kilo, 1E-4 x 1000 = 0.1 stays milli.
    {"hundred_kilo_stays_kilo", "+1.00000000E+05\r\n", "\"RES\"", "100", "        KOHM",
     "1,OHM,+1.00000000E+05,14:05:09", std::nullopt},
    {"tenth_milli_stays_milli", "+1.00000000E-04\r\n", "\"CURR\"", "0.1", "        mA DC",
     "1,A DC,+1.00000000E-04,14:05:09", std::nullopt},
    {"negative_hundred_kilo", "-1.00000000E+05\r\n", "\"VOLT\"", "-100", "        KV DC",
     "1,V DC,-1.00000000E+05,14:05:09", std::nullopt},
    {"just_above_thousand_mega_clamps", "+1.00000001E+09\r\n", "\"RES\"", "999999999",
     "        MOHM", "1,OHM,+1.00000001E+09,14:05:09", std::nullopt},
    {"just_below_tenth_micro", "+9.99999990E-05\r\n", "\"CURR:AC\"", "99.999999", "        uA AC",
     "1,A AC,+9.99999990E-05,14:05:09", std::nullopt},
    {"negative_millivolt", "-2.50000000E-04\r\n", "\"VOLT\"", "-0.25", "        mV DC",
     "1,V DC,-2.50000000E-04,14:05:09", std::nullopt},
    {"no_unit_yet", "+1.16040760E+03\r\n", nullptr, "1.1604076", "        K",
     "1,,+1.16040760E+03,14:05:09", std::nullopt},
    {"zero_byte_ends_the_reply", std::string("+1.5E+00\0garbage", 16), "\"VOLT\"", "1.5",
     "        V DC", "1,V DC,+1.5E+00,14:05:09", std::nullopt},
    {"two_lines_in_one_delivery", "+1.0E+00\r\n+2.0E+00\r\n", "\"VOLT\"", std::nullopt,
     std::nullopt, std::nullopt, "+1.0E+00\r\n+2.0E+00"},
    {"only_line_end", "\r\n", "\"VOLT\"", std::nullopt, std::nullopt, std::nullopt, ""},
    {"split_tail", "0760E+03\r\n", "\"RES\"", "0.76", "        MOHM", "1,OHM,0760E+03,14:05:09",
     std::nullopt},
    {"split_head_is_a_reading_of_its_own", "+1.1604", "\"RES\"", "1.1604", "        OHM",
     "1,OHM,+1.1604,14:05:09", std::nullopt},
    {"garbage", "\x13\xff\x80zz\r\n", "\"RES\"", std::nullopt, std::nullopt, std::nullopt,
     "\xff\x80zz"},
};

class ReplyRowTest : public ReplyInterpreterTest, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(ReplyRowTest, GivesTheExpectedTexts) {
    const ReplyRow& row = GetParam();
    if (row.functionReply) {
        selectUnit(row.functionReply);
    }
    const ReplyOutcome outcome =
        interpreter_.interpret(row.bytes.c_str(), kAt140509, [] { return 1; });
    EXPECT_EQ(outcome.upperText, row.upper);
    EXPECT_EQ(outcome.lowerText, row.lower);
    EXPECT_EQ(outcome.logLine, row.logLine);
    EXPECT_EQ(outcome.rejectedReply, row.rejected);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyRowTest, ::testing::ValuesIn(kReplyRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ReplyInterpreterTest, FunctionNamesSelectUnitsExactly) {
    // The alarms tell functions apart by the meter's own name, which the
    // unit label cannot do for diode and continuity.
    const std::vector<std::tuple<const char*, const char*, const char*>> rows = {
        {"\"VOLT\"", "V DC", "VOLT"}, {"\"VOLT:AC\"", "V AC", "VOLT:AC"},
        {"\"CURR\"", "A DC", "CURR"}, {"\"CURR:AC\"", "A AC", "CURR:AC"},
        {"\"RES\"", "OHM", "RES"},    {"\"FRES\"", "OHM4W", "FRES"},
        {"\"DIOD\"", "V DC", "DIOD"}, {"\"CONT\"", "OHM", "CONT"},
        {"\"FREQ\"", "Hz", "FREQ"},   {"\"PER\"", "S", "PER"},
    };
    for (const auto& [reply, unit, function] : rows) {
        SCOPED_TRACE(reply);
        // A fresh interpreter has no unit, so a row that fails to match
        // cannot pass by leaving an earlier unit in place.
        ReplyInterpreter fresh;
        const ReplyOutcome outcome =
            fresh.interpret((std::string(reply) + "\r\n").c_str(), kAt140509, [] { return 1; });
        EXPECT_EQ(fresh.unitLabel(), unit);
        EXPECT_EQ(fresh.functionName(), function);
        EXPECT_TRUE(outcome.unitNamed);
        EXPECT_FALSE(outcome.upperText || outcome.logLine || outcome.rejectedReply);
    }
}

TEST_F(ReplyInterpreterTest, UnknownOrMiscasedNamesKeepTheUnit) {
    selectUnit("\"RES\"");
    for (const char* reply : {"\"res\"", "\"VOLT \"", "\" RES\"", "\"TEMP\"", "\"", "\"RES"}) {
        SCOPED_TRACE(reply);
        const ReplyOutcome outcome = interpreter_.interpret(reply, kAt140509, [] { return 1; });
        EXPECT_EQ(interpreter_.unitLabel(), "OHM");
        EXPECT_EQ(interpreter_.functionName(), "RES");
        EXPECT_FALSE(outcome.rejectedReply);
        EXPECT_FALSE(outcome.upperText);
    }
}

// Counts which of `replies` numeric replies get logged under an interval.
std::vector<int> LoggedReadings(ReplyInterpreter& interpreter, int32_t interval, int replies) {
    interpreter.setLogInterval(interval);
    std::vector<int> logged;
    for (int i = 1; i <= replies; ++i) {
        if (interpreter.interpret("+1.0E+00", 0.5, [] { return 1; }).logLine) {
            logged.push_back(i);
        }
    }
    return logged;
}

TEST_F(ReplyInterpreterTest, IntervalThinsTheLog) {
    struct Row {
        int32_t interval;
        int replies;
        std::vector<int> logged;
    };
    const std::vector<Row> rows = {
        {0, 3, {1, 2, 3}},
        {2, 6, {3, 6}},
        {-5, 3, {1, 2, 3}},
        {100, 202, {101, 202}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval);
        ReplyInterpreter interpreter;
        EXPECT_EQ(LoggedReadings(interpreter, row.interval, row.replies), row.logged);
    }
}

TEST_F(ReplyInterpreterTest, CounterSurvivesIntervalChangesAndIgnoresNonReadings) {
    interpreter_.setLogInterval(2);
    interpreter_.interpret("+1.0E+00", 0.5, [] { return 1; });
    interpreter_.interpret("\"RES\"", 0.5, [] { return 1; });
    interpreter_.interpret("garbage", 0.5, [] { return 1; });
    EXPECT_EQ(interpreter_.readingCounter(), 1);
    // A smaller interval is not a reset: the next reading exceeds it at once.
    interpreter_.setLogInterval(0);
    EXPECT_TRUE(interpreter_.interpret("+1.0E+00", 0.5, [] { return 1; }).logLine);
    EXPECT_EQ(interpreter_.readingCounter(), 0);
}

TEST_F(ReplyInterpreterTest, LineNumberComesFromTheLogBox) {
    int asked = 0;
    auto count = [&asked] {
        ++asked;
        return 41;
    };
    interpreter_.setLogInterval(1);
    EXPECT_FALSE(interpreter_.interpret("+1.0E+00", 0.5, count).logLine);
    EXPECT_EQ(asked, 0); // asked only when a line is logged
    EXPECT_EQ(interpreter_.interpret("+1.0E+00", 0.5, count).logLine,
              std::optional<std::string>("41,,+1.0E+00,12:00:00"));
}

TEST_F(ReplyInterpreterTest, DecimalCommaLocaleStillReadsTheMeter) {
    RegionalSettings comma = CurrentRegionalSettings();
    comma.decimalMark = ',';
    SetRegionalSettings(comma);
    selectUnit("\"RES\"");
    const ReplyOutcome outcome =
        interpreter_.interpret("+1.16040760E+03\r\n", kAt140509, [] { return 1; });
    EXPECT_EQ(outcome.upperText, std::optional<std::string>("1,1604076"));
    EXPECT_EQ(outcome.logLine, std::optional<std::string>("1,OHM,+1.16040760E+03,14:05:09"));
}

} // namespace
} // namespace velmora
