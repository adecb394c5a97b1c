// Welford's running mean and spread, and the reading rate over a sliding window.
#include "chart/trend_statistics.h"

#include <algorithm>
#include <cmath>

namespace velmora {

void TrendStatistics::add(double value, TrendClock::time_point at) {
    if (count_ == 0) {
        first_ = at;
        min_ = value;
        max_ = value;
        shift_ = value;
    } else {
        min_ = std::min(min_, value);
        max_ = std::max(max_, value);
    }
    ++count_;
    last_ = value;
    // Welford's update on the distance from the first reading: near it that
    // subtraction is exact, so the spread keeps its digits however large
    // the readings are.
    const long double shifted = static_cast<long double>(value) - shift_;
    const long double delta = shifted - shiftedMean_;
    shiftedMean_ += delta / static_cast<long double>(count_);
    m2_ += delta * (shifted - shiftedMean_);

    // Readings that can no longer fall inside any later window go.
    const TrendClock::time_point oldest = at - kRateWindow;
    while (!recent_.empty() && recent_.front() <= oldest) {
        recent_.pop_front();
    }
    recent_.push_back(at);
}

void TrendStatistics::reset() {
    *this = TrendStatistics();
}

std::optional<double> TrendStatistics::standardDeviation() const {
    if (count_ < 2) {
        return std::nullopt;
    }
    // Rounding can leave a hair below zero for identical readings.
    return static_cast<double>(
        std::sqrt(std::max(0.0L, m2_ / static_cast<long double>(count_ - 1))));
}

std::optional<double> TrendStatistics::rate(TrendClock::time_point now) const {
    if (count_ == 0) {
        return std::nullopt;
    }
    const TrendClock::time_point windowStart = std::max(now - kRateWindow, first_);
    const std::chrono::duration<double> span = now - windowStart;
    if (span.count() <= 0) {
        return std::nullopt;
    }
    // Readings in (now - 10 s, now]; the first reading since the reset ends
    // no interval, so it does not count.
    const auto begin = std::upper_bound(recent_.begin(), recent_.end(), now - kRateWindow);
    const auto end = std::upper_bound(begin, recent_.end(), now);
    auto intervals = static_cast<double>(end - begin);
    if (begin != end && *begin == first_ && intervals > 0) {
        intervals -= 1;
    }
    return intervals / span.count();
}

} // namespace velmora
