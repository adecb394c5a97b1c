// One unit label's series: its clock, markers, value range and statistics.
#include "chart/trend_series.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr double kSecondsPerDay = 86400.0;

} // namespace

TrendSeries::TrendSeries(std::string unitLabel, TrendClock::time_point start, double startTimeOfDay)
    : unitLabel_(std::move(unitLabel))
    , start_(start)
    , startTimeOfDay_(startTimeOfDay) {}

double TrendSeries::secondsAt(TrendClock::time_point at) const {
    return std::chrono::duration<double>(at - start_).count();
}

double TrendSeries::timeOfDayAt(double x) const {
    // Past midnight the time of day starts again from 0.
    const double time = startTimeOfDay_ + x / kSecondsPerDay;
    return time - std::floor(time);
}

void TrendSeries::notePoint(double value, TrendClock::time_point at) {
    if (points_ == 0) {
        lowest_ = value;
        highest_ = value;
    } else {
        lowest_ = std::min(lowest_, value);
        highest_ = std::max(highest_, value);
    }
    ++points_;
    statistics_.add(value, at);
}

void TrendSeries::noteUnitChange(double x, std::string text, bool leaving) {
    unitChanges_.push_back({x, std::move(text), leaving});
}

} // namespace velmora
