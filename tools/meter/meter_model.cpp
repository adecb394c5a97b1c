// SCPI interpretation and value generation of the simulated meter.
#include "tools/meter/meter_model.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 23> kLong{{
        {"FUNCTION", "FUNC"},   {"MEASURE", "MEAS"},   {"VOLTAGE", "VOLT"},
        {"CURRENT", "CURR"},    {"RESISTANCE", "RES"}, {"FRESISTANCE", "FRES"},
        {"FREQUENCY", "FREQ"},  {"PERIOD", "PER"},     {"DIODE", "DIOD"},
        {"CONTINUITY", "CONT"}, {"SYSTEM", "SYST"},    {"REMOTE", "REM"},
        {"LOCAL", "LOC"},       {"CONFIGURE", "CONF"}, {"INPUT", "INP"},
        {"NPLCYCLES", "NPLC"},  {"RANGE", "RANG"},     {"RESOLUTION", "RES"},
        {"IMPEDANCE", "IMP"},   {"DISPLAY", "DISP"},   {"ERROR", "ERR"},
        {"SAMPLE", "SAMP"},     {"COUNT", "COUN"},
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

// The parameter after the header, upper-cased: "Volt:DC:NPLC 1" -> "1".
std::string Parameter(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    const size_t space = line.find_first_of(" \t");
    if (space == std::string_view::npos)
        return {};
    std::string parameter = Upper(line.substr(space));
    const size_t first = parameter.find_first_not_of(" \t");
    const size_t last = parameter.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : parameter.substr(first, last - first + 1);
}

// The meter's ranges, smallest first; none for frequency, period, diode, continuity.
std::vector<double> RangesOf(MeterFunction function) {
    switch (function) {
    case MeterFunction::DcVolts:
        return {0.1, 1, 10, 100, 1000};
    case MeterFunction::AcVolts:
        return {0.1, 1, 10, 100, 750};
    case MeterFunction::DcCurrent:
        return {0.01, 0.1, 1, 3};
    case MeterFunction::AcCurrent:
        return {1, 3};
    case MeterFunction::Resistance:
    case MeterFunction::FourWireResistance:
        return {100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    default:
        return {};
    }
}

bool HasNplc(MeterFunction f) {
    return f == MeterFunction::DcVolts || f == MeterFunction::DcCurrent ||
           f == MeterFunction::Resistance || f == MeterFunction::FourWireResistance;
}

// Integration time and the resolution it gives, as a fraction of the range.
constexpr std::array<std::pair<double, double>, 5> kResolution{{
    {0.02, 1e-4},
    {0.2, 1e-5},
    {1, 3e-6},
    {10, 1e-6},
    {100, 3e-7},
}};

// The function whose settings a header names: "VOLT:DC:NPLC", "VOLT:NPLC",
// "RES:RANG", "CURR:AC:RANG:AUTO"; `rest` gets the nodes after it.
std::optional<MeterFunction> SettingFunction(const std::vector<std::string>& nodes,
                                             std::vector<std::string>& rest) {
    if (nodes.empty())
        return std::nullopt;
    size_t used = 1;
    std::string name = nodes[0];
    if ((name == "VOLT" || name == "CURR") && nodes.size() > 1 &&
        (nodes[1] == "AC" || nodes[1] == "DC")) {
        if (nodes[1] == "AC")
            name += ":AC";
        used = 2;
    }
    const std::optional<MeterFunction> function = FunctionFromName(name);
    if (!function)
        return std::nullopt;
    rest.assign(nodes.begin() + static_cast<std::ptrdiff_t>(used), nodes.end());
    return function;
}

std::optional<double> Number(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> Switch(const std::string& text) {
    if (text == "ON" || text == "1")
        return true;
    if (text == "OFF" || text == "0")
        return false;
    return std::nullopt;
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

const MeterModel::Settings& MeterModel::SettingsOf(MeterFunction function) const {
    static const Settings kPreset;
    const auto found = settings_.find(function);
    return found == settings_.end() ? kPreset : found->second;
}

void MeterModel::PushError(int code, const char* text) {
    if (code == -113) {
        ++undefinedHeaders_;
    }
    if (errors_.size() >= 20) {
        errors_.back() = "-350,\"Queue overflow\"";
        return;
    }
    char entry[96];
    std::snprintf(entry, sizeof entry, "%+d,\"%s\"", code, text);
    errors_.push_back(entry);
}

void MeterModel::Preset(MeterFunction function) {
    if (function != function_)
        decade_ = 0;
    function_ = function;
    settings_[function] = Settings{};
    sampleCount_ = 1;
}

std::optional<std::string> MeterModel::HandleSetting(const std::vector<std::string>& all,
                                                     const std::string& parameter, bool query) {
    std::vector<std::string> nodes(all.begin(), all.end() - (query ? 1 : 0));
    const auto undefined = [this] {
        PushError(-113, "Undefined header");
        return std::nullopt;
    };
    const auto outOfRange = [this] {
        PushError(-222, "Data out of range");
        return std::nullopt;
    };
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    if (nodes.size() == 1 && nodes[0] == "DISP") {
        if (query)
            return flag(displayOn_);
        const std::optional<bool> on = Switch(parameter);
        if (!on)
            return outOfRange();
        displayOn_ = *on;
        return std::nullopt;
    }
    if (nodes.size() == 2 && nodes[0] == "SAMP" && nodes[1] == "COUN") {
        if (query)
            return FormatReading(sampleCount_);
        const std::optional<double> n = Number(parameter);
        if (!n || *n < 1 || *n > 50000 || *n != std::floor(*n))
            return outOfRange();
        sampleCount_ = static_cast<int>(*n);
        return std::nullopt;
    }
    if (nodes.size() == 2 && nodes[0] == "ZERO" && nodes[1] == "AUTO") {
        Settings& s = Current();
        if (query)
            return flag(s.autozero);
        if (parameter == "ONCE") {
            s.autozero = false; // one zero now, then off
            return std::nullopt;
        }
        const std::optional<bool> on = Switch(parameter);
        if (!on)
            return outOfRange();
        s.autozero = *on;
        return std::nullopt;
    }
    if (nodes.size() == 3 && nodes[0] == "INP" && nodes[1] == "IMP" && nodes[2] == "AUTO") {
        Settings& s = settings_[MeterFunction::DcVolts];
        if (query)
            return flag(s.inputImpedanceAuto);
        const std::optional<bool> on = Switch(parameter);
        if (!on)
            return outOfRange();
        s.inputImpedanceAuto = *on;
        return std::nullopt;
    }
    if (!nodes.empty() && nodes[0] == "CONF") {
        std::vector<std::string> rest;
        const std::optional<MeterFunction> function =
            SettingFunction(std::vector<std::string>(nodes.begin() + 1, nodes.end()), rest);
        if (!function || !rest.empty() || query)
            return undefined();
        Preset(*function);
        return std::nullopt;
    }
    std::vector<std::string> rest;
    const std::optional<MeterFunction> function = SettingFunction(nodes, rest);
    if (!function || rest.empty())
        return undefined();
    Settings& s = settings_[*function];
    const std::vector<double> ranges = RangesOf(*function);
    if (s.range == 0 && !ranges.empty())
        s.range = ranges[ranges.size() / 2];
    if (rest == std::vector<std::string>{"NPLC"} && HasNplc(*function)) {
        if (query)
            return FormatReading(s.nplc);
        const std::optional<double> v = parameter == "MIN"   ? 0.02
                                        : parameter == "MAX" ? 100
                                                             : Number(parameter);
        if (!v || *v <= 0 || *v > 100)
            return outOfRange();
        for (const auto& [nplc, fraction] : kResolution) {
            if (nplc >= *v * (1 - 1e-9)) {
                s.nplc = nplc;
                break;
            }
        }
        return std::nullopt;
    }
    if (rest == std::vector<std::string>{"RES"} && !ranges.empty()) {
        if (query) {
            for (const auto& [nplc, fraction] : kResolution) {
                if (nplc == s.nplc)
                    return FormatReading(fraction * s.range);
            }
            return FormatReading(1e-6 * s.range);
        }
        // The finest resolution asked for that the range allows: the
        // shortest integration time that gives it.
        std::optional<double> wanted = Number(parameter);
        if (parameter == "MIN")
            wanted = 0;
        if (parameter == "MAX")
            wanted = 1e300;
        if (!wanted)
            return outOfRange();
        s.nplc = 100;
        for (const auto& [nplc, fraction] : kResolution) {
            if (fraction * s.range <= *wanted * (1 + 1e-9)) {
                s.nplc = nplc;
                break;
            }
        }
        return std::nullopt;
    }
    if (rest == std::vector<std::string>{"RANG"} && !ranges.empty()) {
        if (query)
            return FormatReading(s.range);
        std::optional<double> v = Number(parameter);
        if (parameter == "MIN")
            v = ranges.front();
        if (parameter == "MAX")
            v = ranges.back();
        if (!v || *v < 0 || *v > ranges.back() * 1.2)
            return outOfRange();
        s.range = ranges.back();
        for (const double r : ranges) {
            if (r >= *v * (1 - 1e-9)) {
                s.range = r;
                break;
            }
        }
        s.autoRange = false;
        return std::nullopt;
    }
    if (rest == std::vector<std::string>{"RANG", "AUTO"} && !ranges.empty()) {
        if (query)
            return flag(s.autoRange);
        const std::optional<bool> on = Switch(parameter);
        if (!on)
            return outOfRange();
        s.autoRange = *on;
        return std::nullopt;
    }
    return undefined();
}

std::optional<std::string> MeterModel::Handle(std::string_view line) {
    const std::vector<std::string> nodes = Nodes(line);
    if (nodes.empty())
        return std::nullopt;
    const bool query = nodes.back() == "?";

    if (nodes.size() == 3 && nodes[0] == "SYST" && nodes[1] == "ERR" && query) {
        if (errors_.empty())
            return "+0,\"No error\"";
        std::string oldest = errors_.front();
        errors_.pop_front();
        return oldest;
    }
    if (nodes.size() == 2 && nodes[0] == "*OPC" && query)
        return "1"; // every command before it is done: the meter is in step again
    if (nodes.size() == 2 && nodes[0] == "*IDN" && query) {
        switch (options_.persona) {
        case MeterPersona::Lan3446x:
            return "VELMORA-EMU,34461A,MY00000001,A.03.01-02.40";
        case MeterPersona::Lan34401A:
            return "VELMORA-EMU,34401A,MY00000001,A.03.01-02.40";
        default:
            return "VELMORA-EMU,34401A,0,11-5-2";
        }
    }
    if (!query) {
        if (nodes.size() == 1 && nodes[0] == "*CLS") {
            errors_.clear();
            return std::nullopt;
        }
        if (nodes.size() == 2 && nodes[0] == "SYST" && (nodes[1] == "REM" || nodes[1] == "LOC")) {
            if (options_.persona != MeterPersona::Rs232_34401A) {
                PushError(-113, "Undefined header"); // an RS-232 command only
                return std::nullopt;
            }
            remote_ = nodes[1] == "REM";
            return std::nullopt;
        }
        return HandleSetting(nodes, Parameter(line), false);
    }
    if (nodes.size() == 2 && nodes[0] == "FUNC") {
        std::string quoted(1, '"');
        quoted += FunctionName(function_);
        quoted += '"';
        return quoted;
    }
    if (nodes.size() == 2 && nodes[0] == "READ") {
        std::string readings = FormatReading(Reading());
        for (int i = 1; i < sampleCount_; ++i)
            readings += "," + FormatReading(Reading());
        return readings;
    }
    if (nodes.size() >= 2 && nodes[0] == "MEAS") {
        const std::optional<MeterFunction> function = MeasuredFunction(nodes);
        if (!function) {
            PushError(-113, "Undefined header");
            return std::nullopt;
        }
        Preset(*function);
        return FormatReading(Reading());
    }
    return HandleSetting(nodes, Parameter(line), true);
}

double MeterModel::Reading() {
    if (options_.counter) {
        return static_cast<double>(++counted_);
    }
    const double value = NextReading();
    const std::vector<double> ranges = RangesOf(function_);
    if (ranges.empty() || value == kOverload)
        return value;
    Settings& s = Current();
    if (s.autoRange) {
        // The smallest range that holds the value with the meter's 20 % over range.
        s.range = ranges.back();
        for (const double r : ranges) {
            if (std::fabs(value) <= 1.2 * r) {
                s.range = r;
                break;
            }
        }
    }
    if (s.range == 0)
        s.range = ranges[ranges.size() / 2];
    return std::fabs(value) > 1.2 * s.range ? kOverload : value;
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
