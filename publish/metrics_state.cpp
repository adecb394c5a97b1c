// What the /metrics endpoint serves.
#include "publish/metrics_state.h"

#include "publish/publish_text.h"

#include <cmath>

namespace velmora {

namespace {

// The format's own words for what has no decimal form.
std::string SampleValue(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    return PublishedNumber(value);
}

// Whole seconds and the fraction apart: the nanoseconds since the epoch are
// beyond a double's 53 bits, and converting them whole would round twice.
double EpochSeconds(int64_t ns) {
    return static_cast<double>(ns / 1'000'000'000) + static_cast<double>(ns % 1'000'000'000) / 1e9;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// Label values come escaped already.
void Sample(std::string& out, const char* name,
            std::initializer_list<std::pair<const char*, const std::string*>> labels,
            const std::string& value) {
    out += name;
    char separator = '{';
    for (const auto& [label, text] : labels) {
        out += separator;
        out += label;
        out += "=\"";
        out += *text;
        out += '"';
        separator = ',';
    }
    out += "} ";
    out += value;
    out += '\n';
}

} // namespace

void MetricsState::reading(const PublishedItem& item, Clock::time_point at) {
    if (item.kind != PublishedItem::Kind::Reading) {
        return;
    }
    Meter& meter = meters_[PrometheusLabelValue(item.meter)];
    const std::string function = PrometheusLabelValue(item.function);
    // The status is the meter's word; a number sent with it is the meter's
    // stand-in for "too large", not a reading.
    const bool overload = !item.value || item.status == "overload";
    ++meter.readingCount;
    if (overload) {
        ++meter.overloadCount;
    }
    Last& last = meter.readings[{function, PrometheusLabelValue(item.unit)}];
    last.value = overload ? std::nullopt : item.value;
    last.timeNs = item.timeNs;
    last.at = at;
    // A function's math is what its newest reading carried: none when the
    // math was switched off, so the series ends with the reading that ended it.
    if (item.math) {
        Math& math = meter.maths[function];
        math.unit = PrometheusLabelValue(item.mathUnit);
        math.value = overload ? std::nullopt : item.math;
        math.at = at;
    } else {
        meter.maths.erase(function);
    }
}

void MetricsState::linkState(const std::string& meter, bool up) {
    meters_[PrometheusLabelValue(meter)].linkUp = up;
}

void MetricsState::alarmsRaised(const std::string& meter, std::vector<std::string> names) {
    std::set<std::string>& alarms = meters_[PrometheusLabelValue(meter)].alarms;
    alarms.clear();
    for (const std::string& name : names) {
        alarms.insert(PrometheusLabelValue(name));
    }
}

std::string MetricsState::exposition(Clock::time_point now,
                                     std::chrono::milliseconds freshFor) const {
    const auto served = [&](const Meter& meter, const std::optional<double>& value,
                            Clock::time_point at) {
        return value && meter.up() && now - at <= freshFor;
    };
    std::string out;
    Family(out, "velmora_reading", "gauge",
           "The meter's last reading of a function, while it is fresh and the link is up.");
    for (const auto& [meter, state] : meters_) {
        for (const auto& [key, last] : state.readings) {
            if (served(state, last.value, last.at)) {
                Sample(out, "velmora_reading",
                       {{"meter", &meter}, {"function", &key.first}, {"unit", &key.second}},
                       SampleValue(*last.value));
            }
        }
    }
    Family(out, "velmora_reading_timestamp_seconds", "gauge",
           "When the served reading was taken, in seconds since the epoch.");
    for (const auto& [meter, state] : meters_) {
        for (const auto& [key, last] : state.readings) {
            if (served(state, last.value, last.at)) {
                Sample(out, "velmora_reading_timestamp_seconds",
                       {{"meter", &meter}, {"function", &key.first}, {"unit", &key.second}},
                       SampleValue(EpochSeconds(last.timeNs)));
            }
        }
    }
    Family(out, "velmora_math", "gauge",
           "The math's value of the function's last reading, under the same rules.");
    for (const auto& [meter, state] : meters_) {
        for (const auto& [function, math] : state.maths) {
            if (served(state, math.value, math.at)) {
                Sample(out, "velmora_math",
                       {{"meter", &meter}, {"function", &function}, {"unit", &math.unit}},
                       SampleValue(*math.value));
            }
        }
    }
    Family(out, "velmora_readings_total", "counter",
           "Readings taken from the meter, overloads included.");
    for (const auto& [meter, state] : meters_) {
        Sample(out, "velmora_readings_total", {{"meter", &meter}},
               std::to_string(state.readingCount));
    }
    Family(out, "velmora_overloads_total", "counter", "Readings the meter gave as overloads.");
    for (const auto& [meter, state] : meters_) {
        Sample(out, "velmora_overloads_total", {{"meter", &meter}},
               std::to_string(state.overloadCount));
    }
    Family(out, "velmora_link_up", "gauge", "1 while the meter is polled, 0 while it is not.");
    for (const auto& [meter, state] : meters_) {
        Sample(out, "velmora_link_up", {{"meter", &meter}}, state.up() ? "1" : "0");
    }
    Family(out, "velmora_alarm_raised", "gauge", "1 for each of the meter's alarms raised now.");
    for (const auto& [meter, state] : meters_) {
        for (const std::string& alarm : state.alarms) {
            Sample(out, "velmora_alarm_raised", {{"meter", &meter}, {"alarm", &alarm}}, "1");
        }
    }
    return out;
}

} // namespace velmora
