// The alarm rules.
#include "alarms/alarm_monitor.h"

#include <cmath>
#include <cstring>

namespace velmora {

namespace {

// What the meter sends is +/-9.90000000E+37; its conversion can land a hair below.
constexpr long double kOverload = 9.899999995E37L;

bool IsLevel(AlarmCondition condition) {
    return condition == AlarmCondition::Above || condition == AlarmCondition::Below ||
           condition == AlarmCondition::Outside || condition == AlarmCondition::Inside;
}

bool Meets(const AlarmDefinition& a, long double v) {
    switch (a.condition) {
    case AlarmCondition::Above:
        return v > a.high;
    case AlarmCondition::Below:
        return v < a.low;
    case AlarmCondition::Outside:
        return v < a.low || v > a.high;
    case AlarmCondition::Inside:
        return v >= a.low && v <= a.high;
    default:
        return false;
    }
}

bool BackBy(const AlarmDefinition& a, long double v) {
    const double h = a.hysteresis;
    switch (a.condition) {
    case AlarmCondition::Above:
        return v <= a.high - h;
    case AlarmCondition::Below:
        return v >= a.low + h;
    case AlarmCondition::Outside:
        return v >= a.low + h && v <= a.high - h;
    case AlarmCondition::Inside:
        return v < a.low - h || v > a.high + h;
    default:
        return true;
    }
}

} // namespace

const char* AlarmConditionName(AlarmCondition condition) {
    switch (condition) {
    case AlarmCondition::Above:
        return "above";
    case AlarmCondition::Below:
        return "below";
    case AlarmCondition::Outside:
        return "outside";
    case AlarmCondition::Inside:
        return "inside";
    case AlarmCondition::Silence:
        return "silence";
    case AlarmCondition::Overload:
        return "overload";
    }
    return "above";
}

bool AlarmConditionFromName(const std::string& name, AlarmCondition& condition) {
    for (const AlarmCondition c :
         {AlarmCondition::Above, AlarmCondition::Below, AlarmCondition::Outside,
          AlarmCondition::Inside, AlarmCondition::Silence, AlarmCondition::Overload}) {
        if (name == AlarmConditionName(c)) {
            condition = c;
            return true;
        }
    }
    return false;
}

std::optional<std::string> AlarmProblem(const AlarmDefinition& a) {
    if ((a.condition == AlarmCondition::Outside || a.condition == AlarmCondition::Inside) &&
        a.low > a.high) {
        return "the low limit is above the high one";
    }
    if (a.hysteresis < 0 || a.delaySeconds < 0) {
        return "a hysteresis or delay below zero";
    }
    if (!(a.silenceSeconds > 0)) {
        return "a silence of no length";
    }
    return std::nullopt;
}

std::span<const AlarmFunction> AlarmFunctions() {
    static constexpr AlarmFunction kFunctions[] = {
        {"", "Any function"},           {"VOLT", "DC volts"},      {"VOLT:AC", "AC volts"},
        {"CURR", "DC current"},         {"CURR:AC", "AC current"}, {"RES", "Resistance, 2-wire"},
        {"FRES", "Resistance, 4-wire"}, {"DIOD", "Diode test"},    {"CONT", "Continuity"},
        {"FREQ", "Frequency"},          {"PER", "Period"},
    };
    return kFunctions;
}

bool IsOverloadReading(long double value) {
    return std::fabs(value) >= kOverload;
}

void AlarmMonitor::setDefinitions(std::vector<AlarmDefinition> definitions) {
    definitions_ = std::move(definitions);
    states_.assign(definitions_.size(), State{});
}

double AlarmMonitor::advance(double now) {
    if (!started_ || now > last_) {
        last_ = now;
        started_ = true;
    }
    return last_;
}

void AlarmMonitor::raise(size_t i, double at, std::optional<long double> value,
                         std::vector<AlarmEvent>& out) {
    State& s = states_[i];
    s.raised = true;
    s.acknowledged = false;
    s.since.reset();
    out.push_back({i, AlarmChange::Raised, at, value});
}

void AlarmMonitor::clear(size_t i, double at, std::optional<long double> value,
                         std::vector<AlarmEvent>& out) {
    State& s = states_[i];
    s.raised = false;
    s.acknowledged = false;
    s.since.reset();
    out.push_back({i, AlarmChange::Cleared, at, value});
}

std::vector<AlarmEvent> AlarmMonitor::reading(const std::string& function, long double reading,
                                              double now, std::optional<double> derived) {
    const double at = advance(now);
    std::vector<AlarmEvent> out;
    lastReading_ = at;
    const bool overload = IsOverloadReading(reading);
    for (size_t i = 0; i < definitions_.size(); ++i) {
        const AlarmDefinition& a = definitions_[i];
        State& s = states_[i];
        if (!a.enabled) {
            continue;
        }
        long double value = reading;
        if (a.onMath && IsLevel(a.condition)) {
            if (!derived) {
                continue; // no derived number: nothing to judge, nothing changes
            }
            value = *derived;
        }
        if (a.condition == AlarmCondition::Silence) {
            if (s.raised) {
                clear(i, at, value, out);
            }
            continue;
        }
        if (function.empty() || (!a.function.empty() && a.function != function)) {
            continue; // another function's reading, or one whose function is not known
        }
        if (a.condition == AlarmCondition::Overload) {
            if (overload && !s.raised) {
                raise(i, at, value, out);
            } else if (!overload && s.raised) {
                clear(i, at, value, out);
            }
            continue;
        }
        if (!IsLevel(a.condition) || overload) {
            continue;
        }
        if (s.raised) {
            if (BackBy(a, value)) {
                clear(i, at, value, out);
            }
            continue;
        }
        if (!Meets(a, value)) {
            s.since.reset();
            continue;
        }
        if (!s.since) {
            s.since = at;
        }
        if (at - *s.since >= a.delaySeconds) {
            raise(i, at, value, out);
        }
    }
    return out;
}

std::vector<AlarmEvent> AlarmMonitor::connected(bool on, double now) {
    const double at = advance(now);
    std::vector<AlarmEvent> out;
    connected_ = on;
    lastReading_ = at;
    for (size_t i = 0; i < definitions_.size(); ++i) {
        if (definitions_[i].condition == AlarmCondition::Silence && !on && states_[i].raised) {
            clear(i, at, std::nullopt, out);
        }
    }
    return out;
}

std::vector<AlarmEvent> AlarmMonitor::tick(double now) {
    const double at = advance(now);
    std::vector<AlarmEvent> out;
    if (!connected_) {
        return out;
    }
    for (size_t i = 0; i < definitions_.size(); ++i) {
        const AlarmDefinition& a = definitions_[i];
        if (a.enabled && a.condition == AlarmCondition::Silence && !states_[i].raised &&
            at - lastReading_ >= a.silenceSeconds) {
            raise(i, at, std::nullopt, out);
        }
    }
    return out;
}

std::vector<AlarmEvent> AlarmMonitor::acknowledge(size_t alarm, double now) {
    const double at = advance(now);
    std::vector<AlarmEvent> out;
    if (alarm < states_.size() && states_[alarm].raised && !states_[alarm].acknowledged) {
        states_[alarm].acknowledged = true;
        out.push_back({alarm, AlarmChange::Acknowledged, at, std::nullopt});
    }
    return out;
}

bool AlarmMonitor::anyUnacknowledged() const {
    for (const State& s : states_) {
        if (s.raised && !s.acknowledged) {
            return true;
        }
    }
    return false;
}

bool AlarmMonitor::anyRaised() const {
    for (const State& s : states_) {
        if (s.raised) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> RaisedAlarmNames(const AlarmMonitor& monitor) {
    std::vector<std::string> names;
    for (size_t i = 0; i < monitor.definitions().size(); ++i) {
        if (monitor.raised(i)) {
            names.push_back(monitor.definitions()[i].name);
        }
    }
    return names;
}

} // namespace velmora
