// Names, units and values as each protocol must have them: pure functions, no I/O.
#pragma once

#include "publish/published_item.h"

#include <string>
#include <string_view>

namespace velmora {

// A meter's name as one MQTT topic level: '/', '+', '#' and NUL would make
// it several levels or a wildcard, a leading '$' a broker's own topic; each
// becomes '_'. An empty name is "_".
std::string MqttTopicLevel(std::string_view meter);
// The user's topic pattern with "<meter>" replaced by the meter's level
// ("velmora/<meter>/reading" -> "velmora/bench_1/reading").
std::string MqttTopic(std::string_view pattern, std::string_view meter);

// A JSON string literal, quotes included; control characters as \uXXXX,
// bytes that are not UTF-8 as U+FFFD, so the payload always parses.
std::string JsonString(std::string_view text);
// A reading's message: {"meter":..,"run":..,"sequence":..,"time":..,
// "seconds":..,"value":..,"unit":..,"function":..,"status":..} and, with
// math, "math", "math_unit" and "limit". An overload has no "value".
std::string ReadingJson(const PublishedItem& item);
// An event's message: {"meter":..,"run":..,"sequence":..,"time":..,"event":..}.
std::string EventJson(const PublishedItem& item);

// InfluxDB line protocol. Measurement names escape commas and spaces; tag
// keys and values commas, equals signs and spaces; string fields quotes and
// backslashes. Line ends and other control characters cannot stand in a
// line at all and become blanks (escaped where a blank must be).
std::string InfluxMeasurement(std::string_view name);
std::string InfluxTag(std::string_view text);
std::string InfluxStringField(std::string_view text); // quotes included
// One point, no line end: tags meter, unit and function (the empty ones
// left out), fields value, status, sequence and the math's.
std::string InfluxLine(std::string_view measurement, const PublishedItem& item);

// A Prometheus label value, without its quotes: backslash, quote and line
// feed escaped; bytes that are not UTF-8 as U+FFFD.
std::string PrometheusLabelValue(std::string_view text);

// The shortest decimal text that reads back as the same double, "." decimals.
std::string PublishedNumber(double value);

} // namespace velmora
