// The simulated meter's command interpreter and reading generator, free of any I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace velmora {

enum class MeterFunction {
    DcVolts,
    AcVolts,
    DcCurrent,
    AcCurrent,
    Resistance,
    FourWireResistance,
    Diode,
    Continuity,
    Frequency,
    Period,
};

// The name the meter answers to "Func?" (without the quotes):
// DcVolts -> "VOLT", AcVolts -> "VOLT:AC", FourWireResistance -> "FRES", Period -> "PER".
std::string_view FunctionName(MeterFunction function);
// The inverse, case-insensitive ("volt:ac" -> AcVolts); none for unknown names.
std::optional<MeterFunction> FunctionFromName(std::string_view name);

// A reading as the meter sends it: sign, one digit, point, eight digits,
// "E", sign, two digits.
// FormatReading(1160.4076) -> "+1.16040760E+03"
// FormatReading(-0.0012)   -> "-1.20000000E-03"
// FormatReading(0)         -> "+0.00000000E+00"
std::string FormatReading(double value);

inline constexpr double kOverload = 9.9e37; // what the meter sends for an open input

struct MeterModelOptions {
    MeterFunction startFunction = MeterFunction::DcVolts;
    uint32_t seed = 1;
    double overloadChance = 0.02;    // resistance and continuity readings of an open input
    double rangeChangeChance = 0.03; // the value jumps by a decade now and then
};

// Interprets one command line (without its CR LF) the way the meter does:
// keywords in short or long form, any letter case, several nodes joined by
// ":". "Func?" names the function, "Read?" takes a reading, "Meas:...?"
// switches the function and takes a reading, "syst:rem" / "syst:loc" and
// setting commands change state or nothing and are not answered; unknown
// queries get no answer either (the meter would only beep).
class MeterModel {
public:
    explicit MeterModel(const MeterModelOptions& options = {});

    // The reply text without line end, or none when the meter stays silent.
    std::optional<std::string> Handle(std::string_view line);

    MeterFunction Function() const { return function_; }
    bool Remote() const { return remote_; }

    // A plausible reading of the present function: a base value with
    // noise, now and then a decade away, and an occasional overload where
    // an open input is plausible.
    double NextReading();

private:
    MeterFunction function_;
    bool remote_ = false;
    int decade_ = 0; // offset from the function's base value, -2..+2
    MeterModelOptions options_;
    std::mt19937 random_;
};

// True for a line that asks for an answer (it holds a "?").
bool IsQuery(std::string_view line);

} // namespace velmora
