// The simulated meter's command interpreter and reading generator, free of any I/O.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

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

// Which meter the emulator plays, and on which line: each accepts only its
// own command set ("SYST:REM" is for RS-232 alone) and answers "*IDN?" as
// that meter would.
enum class MeterPersona {
    Rs232_34401A, // the 34401A class on RS-232
    Gpib34401A,   // the same meter on GPIB: remote by the bus
    Lan3446x,     // a 3446x/3447x-class meter on a raw socket
    Lan34401A,    // the same in its 34401A personality: says "34401A", still on the network
};

struct MeterModelOptions {
    MeterFunction startFunction = MeterFunction::DcVolts;
    uint32_t seed = 1;
    double overloadChance = 0.02;    // resistance and continuity readings of an open input
    double rangeChangeChance = 0.03; // the value jumps by a decade now and then
    // Every reading one more than the last (1, 2, 3 ...): a reading lost,
    // repeated or shifted shows at once. No noise, no overloads, no ranging.
    bool counter = false;
    MeterPersona persona = MeterPersona::Rs232_34401A;
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

    // The settings of a function as the meter holds them: what "CONF" and
    // "MEAS" preset (10 PLC, autorange, autozero on) until set otherwise.
    // Integration time and resolution are one setting seen two ways.
    struct Settings {
        double nplc = 10;
        bool autoRange = true;
        double range = 0; // the fixed range, or the one autoranging chose
        bool autozero = true;
        bool inputImpedanceAuto = false;
    };
    const Settings& SettingsOf(MeterFunction function) const;
    bool DisplayOn() const { return displayOn_; }
    // Readings one "Read?" takes and answers, comma-separated ("SAMP:COUN").
    int SampleCount() const { return sampleCount_; }
    // The error queue, oldest first, as "SYST:ERR?" reads it: "-113,\"Undefined header\"".
    const std::deque<std::string>& Errors() const { return errors_; }
    void PushError(int code, const char* text);
    // Commands refused with -113 since the start, read from the queue or not.
    int UndefinedHeaders() const { return undefinedHeaders_; }

    // A plausible reading of the present function: a base value with
    // noise, now and then a decade away, and an occasional overload where
    // an open input is plausible.
    double NextReading();

private:
    std::optional<std::string> HandleSetting(const std::vector<std::string>& nodes,
                                             const std::string& parameter, bool query);
    Settings& Current() { return settings_[function_]; }
    void Preset(MeterFunction function);
    double Reading();

    std::map<MeterFunction, Settings> settings_;
    std::deque<std::string> errors_;
    bool displayOn_ = true;
    int sampleCount_ = 1;
    MeterFunction function_;
    bool remote_ = false;
    int decade_ = 0;       // offset from the function's base value, -2..+2
    uint64_t counted_ = 0; // the counter's last reading
    int undefinedHeaders_ = 0;
    MeterModelOptions options_;
    std::mt19937 random_;
};

// True for a line that asks for an answer (it holds a "?").
bool IsQuery(std::string_view line);

} // namespace velmora
