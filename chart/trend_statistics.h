// TrendStatistics: running figures of one series of readings, updated per reading.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace velmora {

// Readings are timed on the monotonic clock, so a change of the wall clock
// never bends the time axis or the rate.
using TrendClock = std::chrono::steady_clock;

// Count, last, min, max, mean, standard deviation and peak-to-peak, kept
// with Welford's update (on the readings less the first one) so each reading
// costs the same however many came before, and a large offset (1e9 + small
// noise) does not cancel away the spread. The rate counts readings of the
// last ten seconds.
//   add 1, 2, 3, 4 -> count 4, mean 2.5, standardDeviation 1.29099 (n - 1), peakToPeak 3
class TrendStatistics {
public:
    // The span over which rate() counts.
    static constexpr std::chrono::seconds kRateWindow{10};

    // `at` must not go back in time (the monotonic clock does not).
    void add(double value, TrendClock::time_point at);
    // Overloads are counted apart: a 9.9E37 would swamp every figure.
    void addOverload() { ++overloads_; }
    // Forgets every reading: the figures start again with the next one.
    void reset();

    uint64_t count() const { return count_; }
    uint64_t overloads() const { return overloads_; }
    // The figures below are meaningful only while count() > 0.
    double last() const { return last_; }
    double min() const { return min_; }
    double max() const { return max_; }
    double mean() const { return static_cast<double>(shift_ + shiftedMean_); }
    double peakToPeak() const { return max_ - min_; }
    // Sample standard deviation (divides by n - 1); none below two readings.
    std::optional<double> standardDeviation() const;

    // Readings per second over the ten seconds before `now`: the intervals
    // between readings that end inside the window, over the window's length.
    // The window starts no earlier than the first reading since the last
    // reset, so a steady 20 readings a second read 20.0 from the second
    // reading on, and the figure falls to 0 ten seconds after they stop.
    // None while the window has no length (no reading yet, or `now` is the
    // time of the first one).
    std::optional<double> rate(TrendClock::time_point now) const;

private:
    uint64_t count_ = 0;
    uint64_t overloads_ = 0;
    double last_ = 0;
    double min_ = 0;
    double max_ = 0;
    double shift_ = 0; // the first reading since the reset
    // Extended precision for readings that move far from the first one.
    long double shiftedMean_ = 0; // mean of the readings less shift_
    long double m2_ = 0;          // sum of squared differences from the mean
    TrendClock::time_point first_{};
    // Times of the readings of the last ten seconds, oldest first.
    std::deque<TrendClock::time_point> recent_;
};

} // namespace velmora
