// TrendRecorder: decides where each reading goes on the chart, one series per unit label.
#pragma once

#include "chart/trend_series.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What the meter sends for an open input or a value beyond its range is
// +9.90000000E+37; its conversion can land a hair below 9.9E37, so any
// value that shows as 9.9E37 at the meter's nine digits counts.
inline constexpr long double kTrendOverload = 9.899999995E37L;

enum class TrendAction {
    Ignored,  // not plotted: no unit known for it
    Plotted,  // a point at (x, y) of `series`
    Overload, // a mark on the time axis at x of `series`
};

struct TrendRecord {
    TrendAction action = TrendAction::Ignored;
    size_t series = 0;
    bool seriesCreated = false; // `series` begins with this reading
    bool unitChanged = false;   // the reading before went to another series
    double x = 0;               // seconds since the series' first reading
    double y = 0;               // the reading in its base unit
};

// The chart's bookkeeping, free of any drawing:
// - a reading joins the series of its unit label, made when the label is
//   first seen; a reading of another label than the one before marks the
//   change in both series ("to OHM" in the one left, "from V DC" in the one
//   entered) and makes that label's series the current one;
// - readings with no unit label, and those taken after a measure query
//   until the meter has named its function (the reply to a "Meas...?" query
//   is of the new function while the label is still the old one), are not
//   plotted: they would land in the wrong series;
// - overloads (|x| >= 9.9E37) are marked, not plotted, and stay out of the
//   statistics. A reply that does not convert never reaches this class.
// Main thread only, like the reply handler that feeds it.
class TrendRecorder {
public:
    // Every command line sent to the meter.
    void commandSent(std::string_view command);
    // The meter has named its function (a recognised function-name reply).
    void unitNamed() { unitPending_ = false; }
    bool unitPending() const { return unitPending_; }

    TrendRecord record(long double reading, const std::string& unitLabel, TrendClock::time_point at,
                       double timeOfDay);
    // A derived value of the math, in the series of its own label ("°C
    // (math)"): beside the reading's series, so it marks no change of
    // function and leaves the current series as it is.
    TrendRecord recordDerived(long double value, const std::string& unitLabel,
                              TrendClock::time_point at, double timeOfDay);

    // Marks something that happened (the port lost, back again) on the
    // current series at `at`; the series it went on, if there is one.
    std::optional<size_t> markEvent(std::string text, TrendClock::time_point at);

    size_t seriesCount() const { return series_.size(); }
    TrendSeries& series(size_t index) { return *series_.at(index); }
    const TrendSeries& series(size_t index) const { return *series_.at(index); }
    // The series of the latest plotted or marked reading.
    std::optional<size_t> current() const { return current_; }
    // Readings left out because their unit was not known.
    uint64_t heldBack() const { return heldBack_; }

private:
    size_t seriesFor(const std::string& unitLabel, TrendClock::time_point at, double timeOfDay,
                     TrendRecord& record);
    size_t seriesNamed(const std::string& unitLabel, TrendClock::time_point at, double timeOfDay,
                       TrendRecord& record);
    void place(long double reading, size_t index, TrendClock::time_point at, TrendRecord& record);

    std::vector<std::unique_ptr<TrendSeries>> series_;
    std::optional<size_t> current_;
    bool unitPending_ = false;
    uint64_t heldBack_ = 0;
};

} // namespace velmora
