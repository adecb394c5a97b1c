// TrendSeries: the readings of one unit label, as the chart plots them.
#pragma once

#include "chart/trend_statistics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Where the meter's function changed, in seconds since the series' first
// reading: `text` names the other unit ("to V DC" where this series was
// left, "from V DC" where it was taken up again or began); also marks of
// what happened to the line ("port lost 12:01:03").
struct TrendUnitChange {
    double x = 0;
    std::string text;
    bool leaving = false; // the series ends here for now ("to ...")
};

// One unit label's readings. Time runs in seconds from the series' first
// reading on the monotonic clock; the time of day of that reading is kept so
// that any point can name its wall-clock time. The points themselves live
// with the chart (the plotting library's own store holds the only copy);
// this keeps what the points need around them: statistics, function-change
// markers and the value range for the whole-run view.
class TrendSeries {
public:
    TrendSeries(std::string unitLabel, TrendClock::time_point start, double startTimeOfDay);

    const std::string& unitLabel() const { return unitLabel_; }
    TrendClock::time_point start() const { return start_; }

    // Seconds since the first reading.
    double secondsAt(TrendClock::time_point at) const;
    // The time of day (fraction of a day) of the point at `x` seconds.
    //   start at 0.5 (noon), x = 90 -> 0.5 + 90 / 86400
    double timeOfDayAt(double x) const;

    // Accounts for one plotted reading.
    void notePoint(double value, TrendClock::time_point at);
    void noteOverload() { statistics_.addOverload(); }
    void noteUnitChange(double x, std::string text, bool leaving);

    // Plotted readings since the series began (statistics resets do not
    // touch it), and their value range.
    uint64_t points() const { return points_; }
    double lowest() const { return lowest_; }
    double highest() const { return highest_; }

    TrendStatistics& statistics() { return statistics_; }
    const TrendStatistics& statistics() const { return statistics_; }
    const std::vector<TrendUnitChange>& unitChanges() const { return unitChanges_; }

private:
    std::string unitLabel_;
    TrendClock::time_point start_;
    double startTimeOfDay_;
    uint64_t points_ = 0;
    double lowest_ = 0;
    double highest_ = 0;
    TrendStatistics statistics_;
    std::vector<TrendUnitChange> unitChanges_;
};

} // namespace velmora
