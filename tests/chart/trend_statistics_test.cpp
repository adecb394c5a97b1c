// Running statistics against a careful recomputation, the reading rate and the reset.
#include "chart/trend_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TrendClock::time_point At(milliseconds offset) {
    return TrendClock::time_point(offset);
}

// Two passes in extended precision: the mean first, then the squared
// differences from it, so a large offset costs nothing.
struct Reference {
    double min = 0, max = 0, mean = 0, deviation = 0;
};

Reference Recompute(const std::vector<double>& values) {
    Reference r;
    r.min = *std::min_element(values.begin(), values.end());
    r.max = *std::max_element(values.begin(), values.end());
    long double sum = 0;
    for (double v : values) {
        sum += v;
    }
    const long double mean = sum / values.size();
    long double squares = 0;
    for (double v : values) {
        squares += (v - mean) * (v - mean);
    }
    r.mean = static_cast<double>(mean);
    r.deviation = static_cast<double>(std::sqrt(squares / (values.size() - 1)));
    return r;
}

struct DataRow {
    const char* name;
    double offset;
    double spread;
    int count;
    double first = NAN;       // a first reading far from the rest, if any
    double tolerance = 1e-10; // relative, on the standard deviation
};

// The offsets are where a sum of squares in double precision would lose
// every digit of the spread (1e9 + noise of 1e-3 needs 24 digits that way).
const DataRow kDataRows[] = {
    {"unit_noise_around_zero", 0.0, 1.0, 1000},
    {"kilohm_reading_with_meter_noise", 1160.4076, 2e-5 * 1160.4076, 5000},
    {"gigaohm_offset_milliohm_noise", 1e9, 1e-3, 20000},
    {"large_negative_offset", -3.3e12, 0.25, 5000},
    {"tiny_currents", 4.56e-5, 1e-11, 3000},
    {"two_readings", 7.5, 0.5, 2},
    // Nothing to lean on: the first reading is a zero before the range settled.
    {"first_reading_far_from_the_rest", 1e9, 1e-3, 20000, 0.0, 1e-6},
};

TEST(TrendStatistics, MatchesRecomputationOnRandomData) {
    std::mt19937_64 random(20240607);
    for (const DataRow& row : kDataRows) {
        SCOPED_TRACE(row.name);
        std::normal_distribution<double> noise(0.0, row.spread);
        std::vector<double> values;
        TrendStatistics statistics;
        for (int i = 0; i < row.count; ++i) {
            values.push_back(i == 0 && !std::isnan(row.first) ? row.first
                                                              : row.offset + noise(random));
            statistics.add(values.back(), At(milliseconds(50 * i)));
        }
        const Reference expected = Recompute(values);
        ASSERT_EQ(statistics.count(), static_cast<uint64_t>(row.count));
        EXPECT_EQ(statistics.last(), values.back());
        EXPECT_EQ(statistics.min(), expected.min);
        EXPECT_EQ(statistics.max(), expected.max);
        EXPECT_EQ(statistics.peakToPeak(), expected.max - expected.min);
        // The mean within a few units of the last place of the offset.
        EXPECT_NEAR(statistics.mean(), expected.mean,
                    std::max(std::fabs(row.offset), row.spread) * 1e-14);
        ASSERT_TRUE(statistics.standardDeviation().has_value());
        // The spread to ten digits, whatever the offset.
        EXPECT_NEAR(*statistics.standardDeviation(), expected.deviation,
                    expected.deviation * row.tolerance);
    }
}

TEST(TrendStatistics, IdenticalReadingsHaveNoSpread) {
    TrendStatistics statistics;
    for (int i = 0; i < 1000; ++i) {
        statistics.add(1e9 + 0.1, At(milliseconds(i)));
    }
    EXPECT_EQ(*statistics.standardDeviation(), 0.0);
    EXPECT_EQ(statistics.peakToPeak(), 0.0);
    EXPECT_EQ(statistics.mean(), 1e9 + 0.1);
}

TEST(TrendStatistics, OneReadingHasNoDeviationYet) {
    TrendStatistics statistics;
    EXPECT_FALSE(statistics.standardDeviation().has_value());
    statistics.add(-2.5, At(milliseconds(0)));
    EXPECT_EQ(statistics.count(), 1u);
    EXPECT_EQ(statistics.min(), -2.5);
    EXPECT_EQ(statistics.max(), -2.5);
    EXPECT_EQ(statistics.mean(), -2.5);
    EXPECT_FALSE(statistics.standardDeviation().has_value());
}

struct RateRow {
    const char* name;
    int readings;     // one every 50 ms from t = 0
    milliseconds now; // when the rate is asked for
    std::optional<double> expected;
};

const RateRow kRateRows[] = {
    {"no_reading", 0, milliseconds(0), std::nullopt},
    {"one_reading_at_its_own_time", 1, milliseconds(0), std::nullopt},
    {"one_reading_a_second_later", 1, milliseconds(1000), 0.0},
    {"warming_up_reads_the_true_rate", 5, milliseconds(200), 20.0},
    {"full_window", 600, milliseconds(29950), 20.0},
    // Readings stopped at 29.95 s: half the window still holds them.
    {"half_a_window_after_they_stop", 600, milliseconds(34950), 10.0},
    {"a_window_after_they_stop", 600, milliseconds(39950), 0.0},
    // The first reading (t = 0) has just left the window.
    {"window_just_full", 201, milliseconds(10000), 20.0},
    // It is still in it and ends no interval: 199 intervals over 9.95 s.
    {"window_not_yet_full", 200, milliseconds(9950), 20.0},
};

TEST(TrendStatistics, RateOverTheLastTenSeconds) {
    for (const RateRow& row : kRateRows) {
        SCOPED_TRACE(row.name);
        TrendStatistics statistics;
        for (int i = 0; i < row.readings; ++i) {
            statistics.add(1.0, At(milliseconds(50 * i)));
        }
        const std::optional<double> rate = statistics.rate(At(row.now));
        ASSERT_EQ(rate.has_value(), row.expected.has_value());
        if (rate) {
            EXPECT_NEAR(*rate, *row.expected, 1e-9);
        }
    }
}

TEST(TrendStatistics, RateFollowsAChangeOfPace) {
    TrendStatistics statistics;
    milliseconds t(0);
    for (int i = 0; i < 400; ++i, t += milliseconds(50)) { // 20 a second for 20 s
        statistics.add(1.0, At(t));
    }
    for (int i = 0; i < 50; ++i, t += milliseconds(200)) { // then 5 a second for 10 s
        statistics.add(1.0, At(t));
    }
    // The last three fast readings are still in the window: 53 in 10 s.
    EXPECT_NEAR(*statistics.rate(At(t - milliseconds(200))), 5.3, 1e-9);
}

TEST(TrendStatistics, ResetStartsEveryFigureAgain) {
    TrendStatistics statistics;
    for (int i = 0; i < 100; ++i) {
        statistics.add(1e6 + i, At(milliseconds(50 * i)));
    }
    statistics.addOverload();
    statistics.reset();
    EXPECT_EQ(statistics.count(), 0u);
    EXPECT_EQ(statistics.overloads(), 0u);
    EXPECT_FALSE(statistics.standardDeviation().has_value());
    EXPECT_FALSE(statistics.rate(At(milliseconds(5000))).has_value());

    // Nothing of the old readings leaks into the new figures.
    statistics.add(3.0, At(milliseconds(5000)));
    statistics.add(5.0, At(milliseconds(5500)));
    EXPECT_EQ(statistics.count(), 2u);
    EXPECT_EQ(statistics.min(), 3.0);
    EXPECT_EQ(statistics.max(), 5.0);
    EXPECT_EQ(statistics.mean(), 4.0);
    EXPECT_NEAR(*statistics.standardDeviation(), std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(*statistics.rate(At(milliseconds(5500))), 2.0, 1e-12);
}

} // namespace
} // namespace velmora
