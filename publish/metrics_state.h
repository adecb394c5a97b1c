// What the /metrics endpoint serves: the meters' last readings, counters, links and alarms.
#pragma once

#include "publish/published_item.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Fed by the publishing code, read by the endpoint at each scrape; plain
// data, one thread (the main one).
//
// A sample that is not true now is left out rather than served with an old
// value: an overload, a reading older than `freshFor`, and every reading of a
// meter whose link is down. Prometheus then marks the series stale, so a
// graph shows a gap instead of a flat line through the outage.
//
//   velmora_reading{meter="bench 1",function="VOLT",unit="V DC"} 1.25
//   velmora_reading_timestamp_seconds{meter="bench 1",function="VOLT",unit="V DC"} 1765271700.123
//   velmora_math{meter="bench 1",function="VOLT",unit="dBm"} 4.2
//   velmora_readings_total{meter="bench 1"} 12
//   velmora_overloads_total{meter="bench 1"} 1
//   velmora_link_up{meter="bench 1"} 1
//   velmora_alarm_raised{meter="bench 1",alarm="too hot"} 1
//
// Families come in a fixed order, samples by meter, then function and unit.
class MetricsState {
public:
    using Clock = std::chrono::steady_clock;

    // A reading (events are not metrics and are ignored); `at` is when it
    // came, for its freshness. A meter never told its link's state counts as
    // up once it has sent a reading.
    void reading(const PublishedItem& item, Clock::time_point at);
    void linkState(const std::string& meter, bool up);
    // Replaces the meter's raised alarms with `names`.
    void alarmsRaised(const std::string& meter, std::vector<std::string> names);

    // The text exposition format, version 0.0.4.
    std::string exposition(Clock::time_point now, std::chrono::milliseconds freshFor) const;

private:
    struct Last {
        std::optional<double> value; // nothing for an overload
        int64_t timeNs = 0;
        Clock::time_point at;
    };
    struct Math {
        std::string unit; // escaped
        std::optional<double> value;
        Clock::time_point at;
    };
    // Keyed by the escaped label values: two names that escape alike (bytes
    // that are not UTF-8 both become U+FFFD) are one series, never two
    // samples with the same labels, which would fail the whole scrape.
    struct Meter {
        std::map<std::pair<std::string, std::string>, Last> readings; // (function, unit)
        std::map<std::string, Math> maths;                            // function
        uint64_t readingCount = 0;
        uint64_t overloadCount = 0;
        std::optional<bool> linkUp;
        std::set<std::string> alarms;
        bool up() const { return linkUp.value_or(readingCount > 0); }
    };

    std::map<std::string, Meter> meters_;
};

} // namespace velmora
