// The math on the readings as they come.
#include "math/reading_math.h"

#include "alarms/alarm_monitor.h"

#include <cstdio>

namespace velmora {

void ReadingMath::setSettings(std::map<std::string, MathSettings> settings) {
    settings_ = std::move(settings);
}

const MathSettings* ReadingMath::mathOf(const std::string& function) const {
    const auto found = settings_.find(function);
    return found != settings_.end() && found->second.any() ? &found->second : nullptr;
}

std::optional<MathResult> ReadingMath::take(const std::string& function, long double raw,
                                            const std::string& unit) {
    if (!function.empty() && !IsOverloadReading(raw)) {
        lastRaw_[function] = raw;
    }
    const MathSettings* math = mathOf(function);
    if (!math) {
        last_.reset();
        return std::nullopt;
    }
    MathResult result = ApplyMath(*math, raw, unit);
    if (result.limit) {
        counts_[function].add(*result.limit);
    }
    last_ = result;
    return result;
}

bool ReadingMath::nullNow(const std::string& function) {
    const auto found = lastRaw_.find(function);
    if (function.empty() || found == lastRaw_.end()) {
        return false;
    }
    MathSettings& math = settings_[function];
    math.nullOn = true;
    math.nullOffset = static_cast<double>(found->second);
    return true;
}

void ReadingMath::clearNull(const std::string& function) {
    const auto found = settings_.find(function);
    if (found != settings_.end()) {
        found->second.nullOn = false;
        found->second.nullOffset = 0;
    }
}

LimitCounts ReadingMath::counts(const std::string& function) const {
    const auto found = counts_.find(function);
    return found == counts_.end() ? LimitCounts{} : found->second;
}

void ReadingMath::resetCounts() {
    counts_.clear();
}

RecordingMath RecordingColumns(const MathResult& result) {
    RecordingMath columns;
    if (result.status == MathResult::Status::Value) {
        columns.value = result.value;
    }
    columns.unit = result.unit;
    columns.limit = result.limit ? LimitVerdictText(*result.limit) : "";
    return columns;
}

MathDisplayTexts MathDisplay(const MathResult& result, MathConversion conversion) {
    MathDisplayTexts texts;
    texts.lower = "        " + LcdUnit(result.unit);
    switch (result.status) {
    case MathResult::Status::Overload:
        texts.upper = "OVERLOAD";
        return texts;
    case MathResult::Status::OutOfRange:
        texts.upper = "OUT RANGE";
        return texts;
    case MathResult::Status::Value:
        break;
    }
    char text[64];
    switch (conversion) {
    case MathConversion::Rtd:
    case MathConversion::SteinhartHart:
    case MathConversion::Beta:
    case MathConversion::Thermocouple:
        std::snprintf(text, sizeof text, "%.2f", result.value);
        break;
    case MathConversion::Db:
    case MathConversion::Dbm:
        std::snprintf(text, sizeof text, "%.3f", result.value);
        break;
    case MathConversion::None:
    case MathConversion::Scale:
        std::snprintf(text, sizeof text, "%.7G", result.value);
        break;
    }
    texts.upper = text;
    return texts;
}

std::string LcdUnit(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned code = c;
        size_t length = 1;
        if (c >= 0xF0) {
            length = 4;
        } else if (c >= 0xE0) {
            length = 3;
        } else if (c >= 0xC0) {
            length = 2;
        } else if (c >= 0x80) {
            code = '?'; // a stray continuation byte
        }
        if (length > 1) {
            if (i + length > utf8.size()) {
                out += '?';
                break;
            }
            code = c & (0xFF >> (length + 1));
            for (size_t k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            }
        }
        i += length;
        if (code <= 0xFF) {
            out += static_cast<char>(code);
        } else if (code == 0x03A9 || code == 0x2126) { // Greek capital omega, the ohm sign
            out += "OHM";
        } else if (code == 0x03BC) { // Greek small mu
            out += 'u';
        } else {
            out += '?';
        }
    }
    return out;
}

} // namespace velmora
