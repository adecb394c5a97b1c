// What the meter can be set to, per function, and the commands that set and query it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// What one function of the meter offers, keyed by its own name ("VOLT").
struct FunctionCapabilities {
    const char* name;             // as the meter answers "Func?": "VOLT", "RES" ...
    const char* label;            // for people: "DC volts"
    const char* configure;        // the configure command: "CONF:VOLT:DC"
    const char* prefix;           // the node its settings live under: "VOLT:DC"; "" for none
    std::span<const double> nplc; // integration times in power-line cycles; empty: none
    std::span<const double> ranges;
    bool resolution = false;
    bool autozero = false;
    bool inputImpedance = false; // the automatic input impedance (DC volts only)
};

// The ten functions; nothing for a name the meter does not use.
const FunctionCapabilities* CapabilitiesOf(const std::string& function);

// The user's settings of one function; empty fields leave the meter's own
// (what a measure query presets: 10 PLC, autorange, autozero on).
struct FunctionSettings {
    std::optional<double> nplc;
    std::string autozero;            // "", "ON", "OFF", "ONCE"
    std::optional<double> range;     // none: autorange
    std::string resolution;          // "", "MIN", "MAX"
    bool inputImpedanceAuto = false; // "INP:IMP:AUTO ON"

    bool isDefault() const;
    bool operator==(const FunctionSettings&) const = default;
};

// The setting commands for `settings` of `function`, in the order they are
// sent: integration time before resolution (they are coupled, the later one
// wins), range, autozero, input impedance. Nothing for the defaults.
//   VOLT, {nplc 1, range 10} -> {"VOLT:DC:NPLC 1", "VOLT:DC:RANG 10"}
std::vector<std::string> SettingCommands(const std::string& function,
                                         const FunctionSettings& settings);

// The queries that tell what is in force for `function`, in this order:
// integration time, resolution, range, autorange, autozero, input impedance
// (each only where the function has it).
struct InForceQuery {
    enum class Item { Nplc, Resolution, Range, AutoRange, Autozero, InputImpedance };
    Item item;
    std::string command; // "VOLT:DC:NPLC?"
};
std::vector<InForceQuery> InForceQueries(const std::string& function);

// What the meter reports as in force (filled by the replies to the queries).
struct InForce {
    std::optional<double> nplc;
    std::optional<double> resolution;
    std::optional<double> range;
    std::optional<bool> autoRange;
    std::optional<bool> autozero;
    std::optional<bool> inputImpedanceAuto;
};
// Takes the reply to `query` into `inForce`; false when the reply is no
// number (the query is then left unanswered in `inForce`).
bool TakeInForceReply(const InForceQuery& query, const std::string& reply, InForce& inForce);

// One entry of the meter's error queue: "-113,\"Undefined header\"" ->
// {-113, "Undefined header"}; "+0,\"No error\"" -> {0, "No error"}.
struct MeterError {
    int code = 0;
    std::string text;
};
std::optional<MeterError> ParseErrorReply(const std::string& reply);

// "SAMP:COUN 5": the readings one "Read?" takes and answers together.
std::string SampleCountCommand(int samples);
// Asks the meter how many readings a trigger takes.
inline constexpr const char* kSampleCountQuery = "SAMP:COUN?";

// "10 PLC", "0.02 PLC"; "100 mV", "10 kohm" for ranges of a function.
std::string NplcText(double nplc);
std::string RangeText(const std::string& function, double range);

} // namespace velmora
