// SCPI interpretation and value generation of the simulated meter.
#include "tools/meter/meter_model.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace velmora {

namespace {

struct FunctionInfo {
    MeterFunction function;
    std::string_view name;
    double base; // a typical reading
    bool canBeOpen;
};

constexpr std::array<FunctionInfo, 10> kFunctions{{
    {MeterFunction::DcVolts, "VOLT", 1.2345678, false},
    {MeterFunction::AcVolts, "VOLT:AC", 0.2304127, false},
    {MeterFunction::DcCurrent, "CURR", 1.234e-3, false},
    {MeterFunction::AcCurrent, "CURR:AC", 2.3456e-4, false},
    {MeterFunction::Resistance, "RES", 1160.4076, true},
    {MeterFunction::FourWireResistance, "FRES", 100.03421, true},
    {MeterFunction::Diode, "DIOD", 0.61234, false},
    {MeterFunction::Continuity, "CONT", 0.43210, true},
    {MeterFunction::Frequency, "FREQ", 1000.0345, false},
    {MeterFunction::Period, "PER", 9.999655e-4, false},
}};

const FunctionInfo& Info(MeterFunction function) {
    for (const FunctionInfo& info : kFunctions) {
        if (info.function == function)
            return info;
    }
    return kFunctions[0];
}

std::string Upper(std::string_view text) {
    std::string upper;
    for (const char c : text)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// SCPI keywords may be written in full; the meter accepts both forms.
std::string ShortForm(const std::string& keyword) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kLong{{
        {"FUNCTION", "FUNC"},
        {"MEASURE", "MEAS"},
        {"VOLTAGE", "VOLT"},
        {"CURRENT", "CURR"},
        {"RESISTANCE", "RES"},
        {"FRESISTANCE", "FRES"},
        {"FREQUENCY", "FREQ"},
        {"PERIOD", "PER"},
        {"DIODE", "DIOD"},
        {"CONTINUITY", "CONT"},
        {"SYSTEM", "SYST"},
        {"REMOTE", "REM"},
        {"LOCAL", "LOC"},
        {"CONFIGURE", "CONF"},
        {"INPUT", "INP"},
    }};
    for (const auto& [full, brief] : kLong) {
        if (keyword == full)
            return std::string(brief);
    }
    return keyword;
}

// "Meas:Volt:Dc? 10" -> {"MEAS", "VOLT", "DC?"}; parameters are dropped.
std::vector<std::string> Nodes(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    const size_t space = line.find_first_of(" \t");
    std::string header = Upper(line.substr(0, space));
    const bool query = !header.empty() && header.back() == '?';
    if (query)
        header.pop_back();
    std::vector<std::string> nodes;
    size_t start = 0;
    while (start <= header.size()) {
        const size_t colon = header.find(':', start);
        const size_t end = colon == std::string::npos ? header.size() : colon;
        if (end > start)
            nodes.push_back(ShortForm(header.substr(start, end - start)));
        start = end + 1;
    }
    if (query)
        nodes.push_back("?");
    return nodes;
}

// The function a MEAS query names: {"VOLT"} and {"VOLT","DC"} -> DcVolts ...
std::optional<MeterFunction> MeasuredFunction(const std::vector<std::string>& nodes) {
    std::string name;
    for (size_t i = 1; i + 1 < nodes.size(); ++i) {
        if (!name.empty())
            name += ':';
        name += nodes[i];
    }
    if (name.size() > 3 && name.ends_with(":DC"))
        name.resize(name.size() - 3);
    return FunctionFromName(name);
}

} // namespace

std::string_view FunctionName(MeterFunction function) {
    return Info(function).name;
}

std::optional<MeterFunction> FunctionFromName(std::string_view name) {
    const std::string upper = Upper(name);
    for (const FunctionInfo& info : kFunctions) {
        if (upper == info.name)
            return info.function;
    }
    return std::nullopt;
}

std::string FormatReading(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.8E", value);
    return text;
}

bool IsQuery(std::string_view line) {
    return line.find('?') != std::string_view::npos;
}

MeterModel::MeterModel(const MeterModelOptions& options)
    : function_(options.startFunction)
    , options_(options)
    , random_(options.seed) {}

std::optional<std::string> MeterModel::Handle(std::string_view line) {
    const std::vector<std::string> nodes = Nodes(line);
    if (nodes.empty())
        return std::nullopt;
    const bool query = nodes.back() == "?";

    if (!query) {
        if (nodes.size() == 2 && nodes[0] == "SYST" && (nodes[1] == "REM" || nodes[1] == "LOC"))
            remote_ = nodes[1] == "REM";
        return std::nullopt; // settings are accepted silently
    }
    if (nodes.size() == 2 && nodes[0] == "FUNC") {
        std::string quoted(1, '"');
        quoted += FunctionName(function_);
        quoted += '"';
        return quoted;
    }
    if (nodes.size() == 2 && nodes[0] == "READ")
        return FormatReading(NextReading());
    if (nodes.size() >= 2 && nodes[0] == "MEAS") {
        const std::optional<MeterFunction> function = MeasuredFunction(nodes);
        if (!function)
            return std::nullopt;
        if (*function != function_)
            decade_ = 0;
        function_ = *function;
        return FormatReading(NextReading());
    }
    return std::nullopt;
}

double MeterModel::NextReading() {
    const FunctionInfo& info = Info(function_);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (info.canBeOpen && chance(random_) < options_.overloadChance)
        return kOverload;
    if (chance(random_) < options_.rangeChangeChance) {
        const int step = chance(random_) < 0.5 ? -1 : 1;
        decade_ = std::clamp(decade_ + step, -2, 2);
    }
    std::normal_distribution<double> noise(0.0, 2e-5);
    return info.base * std::pow(10.0, decade_) * (1.0 + noise(random_));
}

} // namespace velmora
