// Names, units and values as each protocol must have them.
#include "publish/publish_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora {
namespace {

// The length of the valid UTF-8 sequence at `i`, 0 when there is none.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and beyond U+10FFFF are not UTF-8.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Copies valid UTF-8 through `each` (one code point at a time) and puts
// U+FFFD for every byte that is not part of it.
template <typename Each>
std::string MapUtf8(std::string_view text, Each each) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        each(out, text.substr(i, length));
        i += length;
    }
    return out;
}

bool IsControl(std::string_view point) {
    const auto c = static_cast<unsigned char>(point[0]);
    return point.size() == 1 && (c < 0x20 || c == 0x7F);
}

// Line protocol: control characters cannot stand in a line. The server
// keeps a backslash as it is, and has no way to write one that ends a name
// or stands before an escaped character: such a backslash becomes '_'.
std::string InfluxEscaped(std::string_view text, std::string_view special) {
    const auto isSpecial = [&](char c) {
        return special.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20 ||
               c == 0x7F;
    };
    std::string out;
    std::string mapped =
        MapUtf8(text, [&](std::string& into, std::string_view point) { into += point; });
    for (size_t i = 0; i < mapped.size(); ++i) {
        const char c = mapped[i];
        if (c == '\\') {
            const bool last = i + 1 == mapped.size();
            out += last || isSpecial(mapped[i + 1]) ? '_' : '\\';
        } else if (isSpecial(c)) {
            out += '\\';
            out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
        } else {
            out += c;
        }
    }
    return out;
}

void AppendField(std::string& json, std::string_view key, std::string_view literal) {
    json += json.size() > 1 ? ",\"" : "\"";
    json += key;
    json += "\":";
    json += literal;
}

void AppendCommon(std::string& json, const PublishedItem& item) {
    AppendField(json, "meter", JsonString(item.meter));
    AppendField(json, "run", std::to_string(item.run));
    AppendField(json, "sequence", std::to_string(item.sequence));
    AppendField(json, "time", JsonString(ItemTime(item)));
}

std::string JsonNumber(double value) {
    return std::isfinite(value) ? PublishedNumber(value) : "null";
}

} // namespace

std::string MqttTopicLevel(std::string_view meter) {
    std::string level(meter);
    for (char& c : level) {
        if (c == '/' || c == '+' || c == '#' || c == '\0') {
            c = '_';
        }
    }
    if (!level.empty() && level[0] == '$') {
        level[0] = '_';
    }
    return level.empty() ? "_" : level;
}

std::string MqttTopic(std::string_view pattern, std::string_view meter) {
    static constexpr std::string_view kPlaceholder = "<meter>";
    std::string topic;
    size_t from = 0;
    for (size_t at; (at = pattern.find(kPlaceholder, from)) != std::string_view::npos;) {
        topic += pattern.substr(from, at - from);
        topic += MqttTopicLevel(meter);
        from = at + kPlaceholder.size();
    }
    topic += pattern.substr(from);
    return topic;
}

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    json += MapUtf8(text, [](std::string& out, std::string_view point) {
        const char c = point[0];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (IsControl(point)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += point;
        }
    });
    json += '"';
    return json;
}

std::string ReadingJson(const PublishedItem& item) {
    std::string json = "{";
    AppendCommon(json, item);
    char seconds[32];
    const auto end =
        std::to_chars(seconds, seconds + sizeof seconds, item.seconds, std::chars_format::fixed, 3);
    AppendField(json, "seconds", std::string_view(seconds, end.ptr - seconds));
    if (item.value) {
        AppendField(json, "value", JsonNumber(*item.value));
    }
    AppendField(json, "unit", JsonString(item.unit));
    AppendField(json, "function", JsonString(item.function));
    AppendField(json, "status", JsonString(item.status));
    if (item.math || !item.mathUnit.empty()) {
        AppendField(json, "math", item.math ? JsonNumber(*item.math) : "null");
        AppendField(json, "math_unit", JsonString(item.mathUnit));
        if (!item.limit.empty()) {
            AppendField(json, "limit", JsonString(item.limit));
        }
    }
    json += '}';
    return json;
}

std::string EventJson(const PublishedItem& item) {
    std::string json = "{";
    AppendCommon(json, item);
    AppendField(json, "event", JsonString(item.event));
    json += '}';
    return json;
}

std::string InfluxMeasurement(std::string_view name) {
    return InfluxEscaped(name, ", ");
}

std::string InfluxTag(std::string_view text) {
    return InfluxEscaped(text, ",= ");
}

std::string InfluxStringField(std::string_view text) {
    std::string field = "\"";
    field += MapUtf8(text, [](std::string& out, std::string_view point) {
        if (point == "\"" || point == "\\") {
            out += '\\';
        }
        out += IsControl(point) ? std::string_view(" ") : point;
    });
    field += '"';
    return field;
}

std::string InfluxLine(std::string_view measurement, const PublishedItem& item) {
    std::string line = InfluxMeasurement(measurement);
    const auto tag = [&](std::string_view key, std::string_view value) {
        if (!value.empty()) {
            line += ',';
            line += key;
            line += '=';
            line += InfluxTag(value);
        }
    };
    // Tags sorted by key, as the server would sort them anyway.
    tag("function", item.function);
    tag("meter", item.meter);
    tag("unit", item.unit);
    line += ' ';
    std::string fields;
    const auto field = [&](std::string_view key, const std::string& value) {
        if (!fields.empty()) {
            fields += ',';
        }
        fields += key;
        fields += '=';
        fields += value;
    };
    if (item.value && std::isfinite(*item.value)) {
        field("value", PublishedNumber(*item.value));
    }
    field("status", InfluxStringField(item.status));
    field("sequence", std::to_string(item.sequence) + "i");
    if (item.math && std::isfinite(*item.math)) {
        field("math", PublishedNumber(*item.math));
    }
    if (!item.mathUnit.empty()) {
        field("math_unit", InfluxStringField(item.mathUnit));
    }
    if (!item.limit.empty()) {
        field("limit", InfluxStringField(item.limit));
    }
    line += fields;
    line += ' ';
    line += std::to_string(item.timeNs);
    return line;
}

std::string PrometheusLabelValue(std::string_view text) {
    return MapUtf8(text, [](std::string& out, std::string_view point) {
        if (point == "\\") {
            out += "\\\\";
        } else if (point == "\"") {
            out += "\\\"";
        } else if (point == "\n") {
            out += "\\n";
        } else {
            out += point;
        }
    });
}

std::string PublishedNumber(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace velmora
