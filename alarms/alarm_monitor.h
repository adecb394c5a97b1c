// Evaluates the alarms on the readings, the silence and the overloads, free of any window.
#pragma once

#include "alarms/alarm_definition.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

enum class AlarmChange { Raised, Cleared, Acknowledged };

struct AlarmEvent {
    size_t alarm = 0; // index into the definitions
    AlarmChange change = AlarmChange::Raised;
    double at = 0;                    // seconds, on the monitor's clock
    std::optional<long double> value; // the reading that caused it, if one did
};

// The rules, for each enabled alarm:
//   - a level alarm (above, below, outside, inside) looks only at readings of
//     its function (any function when it names none), and not at readings
//     whose function is not known yet (the reply to a measure query) nor at
//     overloads (they are no values);
//   - it is raised when its condition has held for at least its delay,
//     looked at on each reading: from the first reading that meets the
//     condition, every reading must meet it, and the one that makes the delay
//     full raises it (with no delay, the first such reading);
//   - once raised it clears at the first reading that is back by the
//     hysteresis (above: value <= high - h; below: value >= low + h; outside:
//     low + h <= value <= high - h; inside: value < low - h or value > high + h);
//   - the overload alarm is raised by an overload reading of its function and
//     cleared by the next reading of that function that is not one;
//   - the silence alarm is raised when, while connected, no reading has come
//     for its seconds (counted from the last reading or from connecting), and
//     cleared by the next reading; it is not raised while not connected;
//   - a raised alarm may be acknowledged; it stays raised until it clears.
// The clock never runs backwards for the monitor: an earlier time than the
// last one counts as the last one. A change of definitions starts afresh.
class AlarmMonitor {
public:
    void setDefinitions(std::vector<AlarmDefinition> definitions);
    const std::vector<AlarmDefinition>& definitions() const { return definitions_; }

    // A reading of the meter's `function` ("" when not known yet) at `now`;
    // `derived` its math's value when that is a number (for math alarms).
    std::vector<AlarmEvent> reading(const std::string& function, long double value, double now,
                                    std::optional<double> derived = std::nullopt);
    // Connecting starts the silence clock; disconnecting stops it and clears
    // a raised silence alarm.
    std::vector<AlarmEvent> connected(bool on, double now);
    // Looks at the silence alarms (called often, e.g. every 100 ms).
    std::vector<AlarmEvent> tick(double now);
    std::vector<AlarmEvent> acknowledge(size_t alarm, double now);

    bool raised(size_t alarm) const { return states_.at(alarm).raised; }
    bool acknowledged(size_t alarm) const { return states_.at(alarm).acknowledged; }
    // Raised and not acknowledged, any of them.
    bool anyUnacknowledged() const;
    bool anyRaised() const;

private:
    struct State {
        bool raised = false;
        bool acknowledged = false;
        std::optional<double> since; // the condition has held since
    };
    double advance(double now);
    void raise(size_t i, double at, std::optional<long double> value, std::vector<AlarmEvent>& out);
    void clear(size_t i, double at, std::optional<long double> value, std::vector<AlarmEvent>& out);

    std::vector<AlarmDefinition> definitions_;
    std::vector<State> states_;
    double last_ = 0;
    bool started_ = false;
    bool connected_ = false;
    double lastReading_ = 0; // or the moment of connecting
};

// The names of the alarms raised, in the order they are defined.
std::vector<std::string> RaisedAlarmNames(const AlarmMonitor& monitor);

// True for the values the meter sends for an open input or over range.
bool IsOverloadReading(long double value);

} // namespace velmora
