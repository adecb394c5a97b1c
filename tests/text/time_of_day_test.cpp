// Time of day: splitting fractions of a day, and texts by time patterns.
#include "text/time_of_day.h"

#include "tests/support/time_zone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <string>

namespace velmora {
namespace {

RegionalSettings Settings(const char* pattern, char timeMark = ':', const char* am = "AM",
                          const char* pm = "PM") {
    return {'.', timeMark, am, pm, pattern};
}

struct PatternRow {
    const char* name;
    RegionalSettings settings;
    int hour, minute, second, millisecond;
    const char* expected;
};

const PatternRow kRows[] = {
    {"afternoon_12_hour", Settings("h:mm:ss AMPM"), 13, 5, 9, 0, "1:05:09 PM"},
    {"half_past_midnight", Settings("h:mm:ss AMPM"), 0, 30, 0, 0, "12:30:00 AM"},
    {"noon", Settings("h:mm:ss AMPM"), 12, 0, 0, 0, "12:00:00 PM"},
    {"last_morning_second", Settings("hh:mm:ss AMPM"), 11, 59, 59, 999, "11:59:59 AM"},
    {"leading_zero", Settings("hh:mm:ss"), 9, 5, 3, 0, "09:05:03"},
    {"no_leading_zero", Settings("h:mm:ss"), 9, 5, 3, 0, "9:05:03"},
    {"dot_time_mark", Settings("hh:mm:ss", '.'), 9, 5, 3, 0, "09.05.03"},
    {"no_time_mark", Settings("hh:mm:ss", '\0'), 9, 5, 3, 0, "090503"},
    {"marker_first", Settings("AMPM h:mm:ss"), 13, 5, 9, 0, "PM 1:05:09"},
    {"seconds_not_rounded_up", Settings("hh:mm:ss"), 13, 5, 9, 999, "13:05:09"},
    {"upper_case_letters", Settings("HH:MM:SS"), 9, 5, 3, 0, "09:05:03"},
    {"long_runs_count_as_two", Settings("hhhh:nnn:sss"), 9, 5, 3, 0, "09:05:03"},
    {"n_is_minute_anywhere", Settings("n"), 9, 5, 3, 0, "5"},
    {"m_without_hour_passes", Settings("mm:ss"), 9, 5, 3, 0, "mm:03"},
    {"second_m_after_minute_passes", Settings("h:mm:mm"), 9, 5, 3, 0, "9:05:mm"},
    {"milliseconds", Settings("hh:nn:ss.zzz"), 9, 5, 3, 7, "09:05:03.007"},
    {"short_milliseconds", Settings("z/zz/zzzz"), 9, 5, 3, 7, "7/7/007"},
    {"am_pm_as_written", Settings("h:mm am/pm"), 13, 5, 0, 0, "1:05 pm"},
    {"am_pm_before_noon", Settings("h:mm AM/PM"), 9, 5, 0, 0, "9:05 AM"},
    {"a_p_lower", Settings("h:mm a/p"), 13, 5, 0, 0, "1:05 p"},
    {"a_p_before_noon", Settings("h:mm A/P"), 9, 5, 0, 0, "9:05 A"},
    {"lower_case_ampm_uses_texts", Settings("h ampm", ':', "vorm.", "nachm."), 9, 0, 0, 0,
     "9 vorm."},
    {"quoted_text", Settings("'at' hh:mm"), 9, 5, 0, 0, "at 09:05"},
    {"double_quoted_letters", Settings("\"h\" h"), 9, 5, 0, 0, "h 9"},
    {"unclosed_quote", Settings("hh 'ab:c"), 9, 5, 0, 0, "09 ab:c"},
    {"quoted_ampm_keeps_24_hours", Settings("hh:mm 'AMPM'"), 13, 5, 0, 0, "13:05 AMPM"},
    {"marker_counts_for_nearest_hour", Settings("h-h AMPM"), 13, 0, 0, 0, "13-1 PM"},
    {"marker_written_before_counts", Settings("AM/PM h, h"), 13, 0, 0, 0, "PM 1, 1"},
    // The element, not its text, makes the clock a 12-hour one.
    {"empty_am_pm_texts", Settings("hh:mm:ss AMPM", ':', "", ""), 13, 5, 9, 0, "01:05:09 "},
    {"eight_bit_texts", Settings("AMPM hh", ':', "\xB8\xDF", "\xE5\xE0"), 1, 0, 0, 0,
     "\xB8\xDF 01"},
    {"date_letters_pass", Settings("d/y hh"), 9, 5, 0, 0, "d/y 09"},
    {"midnight_12_hour", Settings("hh:mm:ss AMPM"), 0, 0, 0, 0, "12:00:00 AM"},
    {"last_second", Settings("hh:mm:ss"), 23, 59, 59, 0, "23:59:59"},
};

class FormatTimeOfDayTable : public testing::TestWithParam<PatternRow> {};

TEST_P(FormatTimeOfDayTable, GivesText) {
    const PatternRow& row = GetParam();
    const double time = MakeTimeOfDay(row.hour, row.minute, row.second, row.millisecond);
    EXPECT_EQ(FormatTimeOfDay(time, row.settings), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatTimeOfDayTable, testing::ValuesIn(kRows),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(SplitTimeOfDay, OddFractions) {
    const struct {
        const char* name;
        double time;
        int hour, minute, second, millisecond;
    } rows[] = {
        {"noon", 0.5, 12, 0, 0, 0},
        {"day_part_dropped", 1.25, 6, 0, 0, 0},
        {"negative_counts_by_magnitude", -0.25, 6, 0, 0, 0},
        {"rounds_to_next_day", 0.99999999999, 0, 0, 0, 0},
        {"rounds_to_millisecond", 0.5 + 0.6 / 86400000, 12, 0, 0, 1},
        {"nan", std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0},
        {"infinity", std::numeric_limits<double>::infinity(), 0, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TimeOfDayParts parts = SplitTimeOfDay(row.time);
        EXPECT_EQ(parts.hour, row.hour);
        EXPECT_EQ(parts.minute, row.minute);
        EXPECT_EQ(parts.second, row.second);
        EXPECT_EQ(parts.millisecond, row.millisecond);
    }
}

TEST(SplitTimeOfDay, EveryFewMillisecondsSurvive) {
    for (int ms = 0; ms < 86400000; ms += 997) {
        const TimeOfDayParts parts = SplitTimeOfDay(MakeTimeOfDay(0, 0, 0, ms));
        ASSERT_EQ(((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond,
                  ms);
    }
}

// Zones whose offsets are fixed by their rule, so the expected local time
// follows from UTC by plain arithmetic (seconds east of UTC).
struct ZoneRow {
    const char* rule;
    int offsetSeconds;
};

int ExpectedSecondOfDay(std::time_t utc, int offsetSeconds) {
    const long long local = static_cast<long long>(utc) + offsetSeconds;
    return static_cast<int>(((local % 86400) + 86400) % 86400);
}

// The reference clock as CLOCK_REALTIME has it: std::time() may read a
// coarse clock that lags a few milliseconds behind at each second's turn.
std::time_t NowSeconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

TEST(CurrentTimeOfDay, IsLocalTimeInWholeMilliseconds) {
    const ZoneRow zones[] = {{"JST-9", 9 * 3600}, {"EST5", -5 * 3600}, {"NPT-5:45", 20700}};
    for (const ZoneRow& zone : zones) {
        SCOPED_TRACE(zone.rule);
        const test::ScopedTimeZone inZone(zone.rule);
        bool checked = false;
        for (int attempt = 0; attempt < 3 && !checked; ++attempt) {
            const int before = ExpectedSecondOfDay(NowSeconds(), zone.offsetSeconds);
            const double time = CurrentTimeOfDay();
            const int after = ExpectedSecondOfDay(NowSeconds(), zone.offsetSeconds);
            if (after < before) {
                continue; // local midnight passed in between
            }
            const double ms = time * 86400000;
            EXPECT_NEAR(ms, std::round(ms), 1e-3);
            EXPECT_GE(ms, before * 1000.0);
            EXPECT_LT(ms, (after + 1) * 1000.0);
            checked = true;
        }
        EXPECT_TRUE(checked) << "midnight passed three times";
    }
}

TEST(FormatTimeOfDay, RegionalOverloadUsesRegionalSettings) {
    const RegionalSettings saved = CurrentRegionalSettings();
    SetRegionalSettings(Settings("hh:mm:ss", '.'));
    EXPECT_EQ(FormatTimeOfDay(MakeTimeOfDay(9, 5, 3, 0)), "09.05.03");
    SetRegionalSettings(saved);
}

} // namespace
} // namespace velmora
