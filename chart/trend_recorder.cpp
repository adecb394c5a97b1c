// Routes readings to per-unit series, marks function changes and overloads, holds back unknown
// units.
#include "chart/trend_recorder.h"

#include <cmath>

namespace velmora {

void TrendRecorder::commandSent(std::string_view command) {
    // Only measure queries switch the meter's function. The program sends
    // them as "Meas:..."; the meter takes any letter case.
    if (command.size() >= 4) {
        std::string head(command.substr(0, 4));
        for (char& c : head) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        if (head == "MEAS") {
            unitPending_ = true;
        }
    }
}

TrendRecord TrendRecorder::record(long double reading, const std::string& unitLabel,
                                  TrendClock::time_point at, double timeOfDay) {
    TrendRecord result;
    if (unitLabel.empty() || unitPending_ || std::isnan(reading)) {
        ++heldBack_;
        return result;
    }
    place(reading, seriesFor(unitLabel, at, timeOfDay, result), at, result);
    return result;
}

TrendRecord TrendRecorder::recordDerived(long double value, const std::string& unitLabel,
                                         TrendClock::time_point at, double timeOfDay) {
    TrendRecord result;
    if (unitLabel.empty() || std::isnan(value)) {
        return result;
    }
    place(value, seriesNamed(unitLabel, at, timeOfDay, result), at, result);
    return result;
}

void TrendRecorder::place(long double reading, size_t index, TrendClock::time_point at,
                          TrendRecord& result) {
    TrendSeries& series = *series_[index];
    result.series = index;
    result.x = series.secondsAt(at);
    if (std::fabs(reading) >= kTrendOverload) {
        result.action = TrendAction::Overload;
        series.noteOverload();
        return;
    }
    result.action = TrendAction::Plotted;
    result.y = static_cast<double>(reading);
    series.notePoint(result.y, at);
}

size_t TrendRecorder::seriesNamed(const std::string& unitLabel, TrendClock::time_point at,
                                  double timeOfDay, TrendRecord& record) {
    for (size_t i = 0; i < series_.size(); ++i) {
        if (series_[i]->unitLabel() == unitLabel) {
            return i;
        }
    }
    series_.push_back(std::make_unique<TrendSeries>(unitLabel, at, timeOfDay));
    record.seriesCreated = true;
    return series_.size() - 1;
}

std::optional<size_t> TrendRecorder::markEvent(std::string text, TrendClock::time_point at) {
    if (!current_) {
        return std::nullopt;
    }
    TrendSeries& series = *series_[*current_];
    // What ends a stretch of readings is labelled before its line, over the
    // readings it ends, not beyond the last of them (where the plot cuts it).
    const bool ending = text.starts_with("port lost") || text == "recording stopped";
    series.noteUnitChange(series.secondsAt(at), std::move(text), ending);
    return current_;
}

size_t TrendRecorder::seriesFor(const std::string& unitLabel, TrendClock::time_point at,
                                double timeOfDay, TrendRecord& record) {
    if (current_ && series_[*current_]->unitLabel() == unitLabel) {
        return *current_;
    }
    const size_t index = seriesNamed(unitLabel, at, timeOfDay, record);
    if (current_) {
        TrendSeries& left = *series_[*current_];
        left.noteUnitChange(left.secondsAt(at), "to " + unitLabel, true);
        TrendSeries& entered = *series_[index];
        entered.noteUnitChange(entered.secondsAt(at), "from " + left.unitLabel(), false);
        record.unitChanged = true;
    }
    current_ = index;
    return index;
}

} // namespace velmora
