// The math on one reading: null, then a conversion, then the limit test.
#pragma once

#include "math/limit_test.h"
#include "math/sensors.h"
#include "math/thermocouple.h"

#include <optional>
#include <string>

namespace velmora {

enum class MathConversion { None, Scale, Db, Dbm, Rtd, SteinhartHart, Beta, Thermocouple };

// One function's math, as the [Math] section keeps it.
struct MathSettings {
    bool nullOn = false;
    double nullOffset = 0; // subtracted from the raw reading (an RTD's leads on 2-wire ohms)
    MathConversion conversion = MathConversion::None;
    double scale = 1;          // m of m*x + b
    double offset = 0;         // b
    std::string scaleUnit;     // the unit the user names ("mA"); empty: the reading's
    double dbReference = 1;    // dB: 20 log10(|x| / reference), in the reading's unit
    double dbmImpedance = 600; // dBm: 10 log10(x^2 / Z / 1 mW)
    CallendarVanDusen rtd;
    SteinhartHart steinhartHart;
    BetaThermistor beta;
    ThermocoupleType thermocouple = ThermocoupleType::K;
    double coldJunctionCelsius = 0;
    bool limitsOn = false;
    std::optional<double> limitLow;
    std::optional<double> limitHigh;

    bool any() const { return nullOn || conversion != MathConversion::None || limitsOn; }
    bool operator==(const MathSettings&) const = default;
};

struct MathResult {
    enum class Status { Value, Overload, OutOfRange };
    Status status = Status::Value;
    double value = 0;
    std::string unit; // UTF-8: "°C", "dBm", "mA", or the reading's unit after a null alone
    std::optional<LimitVerdict> limit; // with limits on, for a value
};

// The derived value of `raw` (in `rawUnit`, as the recording writes it: "V DC",
// "OHM"). An overload stays an overload through every step; a conversion's
// input outside its range is "out of range", never a number.
MathResult ApplyMath(const MathSettings& settings, long double raw, const std::string& rawUnit);

// The result's number, when it is one (not an overload, not out of range).
std::optional<double> DerivedNumber(const std::optional<MathResult>& result);

// "null", "scale", "dB", "dBm", "Pt100", "thermistor", "type K" ... joined by
// " + ": what the status bar says is on.
std::string MathSummary(const MathSettings& settings);

} // namespace velmora
