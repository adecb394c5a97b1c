// The math on one reading.
#include "math/math_chain.h"

#include "alarms/alarm_monitor.h"

#include <cmath>

namespace velmora {

namespace {

const char* const kCelsius = "\u00B0C";

MathResult OutOfRange(const std::string& unit) {
    MathResult result;
    result.status = MathResult::Status::OutOfRange;
    result.unit = unit;
    return result;
}

} // namespace

MathResult ApplyMath(const MathSettings& s, long double raw, const std::string& rawUnit) {
    MathResult result;
    std::string unit = rawUnit;
    switch (s.conversion) {
    case MathConversion::None:
        break;
    case MathConversion::Scale:
        unit = s.scaleUnit.empty() ? rawUnit : s.scaleUnit;
        break;
    case MathConversion::Db:
        unit = "dB";
        break;
    case MathConversion::Dbm:
        unit = "dBm";
        break;
    case MathConversion::Rtd:
    case MathConversion::SteinhartHart:
    case MathConversion::Beta:
    case MathConversion::Thermocouple:
        unit = kCelsius;
        break;
    }
    result.unit = unit;
    if (IsOverloadReading(raw) || !std::isfinite(static_cast<double>(raw))) {
        result.status = MathResult::Status::Overload;
        return result;
    }
    double x = static_cast<double>(raw) - (s.nullOn ? s.nullOffset : 0.0);
    std::optional<double> converted = x;
    switch (s.conversion) {
    case MathConversion::None:
        break;
    case MathConversion::Scale:
        converted = s.scale * x + s.offset;
        break;
    case MathConversion::Db:
        converted = x != 0 && s.dbReference > 0
                        ? std::optional<double>(20 * std::log10(std::fabs(x) / s.dbReference))
                        : std::nullopt;
        break;
    case MathConversion::Dbm:
        converted = x != 0 && s.dbmImpedance > 0
                        ? std::optional<double>(10 * std::log10(x * x / s.dbmImpedance / 1e-3))
                        : std::nullopt;
        break;
    case MathConversion::Rtd:
        converted = RtdCelsius(s.rtd, x);
        break;
    case MathConversion::SteinhartHart:
        converted = ThermistorCelsius(s.steinhartHart, x);
        break;
    case MathConversion::Beta:
        converted = ThermistorCelsius(s.beta, x);
        break;
    case MathConversion::Thermocouple:
        converted = ThermocoupleTemperature(s.thermocouple, x * 1000, s.coldJunctionCelsius);
        break;
    }
    if (!converted || !std::isfinite(*converted)) {
        return OutOfRange(unit);
    }
    result.value = *converted;
    if (s.limitsOn) {
        result.limit = TestLimits(result.value, s.limitLow, s.limitHigh);
    }
    return result;
}

std::optional<double> DerivedNumber(const std::optional<MathResult>& result) {
    if (!result || result->status != MathResult::Status::Value) {
        return std::nullopt;
    }
    return result->value;
}

std::string MathSummary(const MathSettings& s) {
    std::string text;
    const auto add = [&](const std::string& part) { text += (text.empty() ? "" : " + ") + part; };
    if (s.nullOn) {
        add("null");
    }
    switch (s.conversion) {
    case MathConversion::None:
        break;
    case MathConversion::Scale:
        add("scale");
        break;
    case MathConversion::Db:
        add("dB");
        break;
    case MathConversion::Dbm:
        add("dBm");
        break;
    case MathConversion::Rtd:
        add("Pt" + std::to_string(static_cast<int>(std::lround(s.rtd.r0))));
        break;
    case MathConversion::SteinhartHart:
    case MathConversion::Beta:
        add("thermistor");
        break;
    case MathConversion::Thermocouple:
        add(std::string("type ") + (s.thermocouple == ThermocoupleType::K   ? "K"
                                    : s.thermocouple == ThermocoupleType::J ? "J"
                                                                            : "T"));
        break;
    }
    if (s.limitsOn) {
        add("limits");
    }
    return text;
}

} // namespace velmora
