// The meter's command set for integration time, resolution, range, autozero and input impedance.
#include "measure/meter_settings.h"

#include "text/convert_error.h"
#include "text/real_conversion.h"
#include "text/trim.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

constexpr double kNplc[] = {0.02, 0.2, 1, 10, 100};
constexpr double kDcVoltRanges[] = {0.1, 1, 10, 100, 1000};
constexpr double kAcVoltRanges[] = {0.1, 1, 10, 100, 750};
constexpr double kDcCurrentRanges[] = {0.01, 0.1, 1, 3};
constexpr double kAcCurrentRanges[] = {1, 3};
constexpr double kOhmRanges[] = {100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

const std::array<FunctionCapabilities, 10> kFunctions{{
    {"VOLT", "DC volts", "CONF:VOLT:DC", "VOLT:DC", kNplc, kDcVoltRanges, true, true, true},
    {"VOLT:AC", "AC volts", "CONF:VOLT:AC", "VOLT:AC", {}, kAcVoltRanges, true, false, false},
    {"CURR", "DC current", "CONF:CURR:DC", "CURR:DC", kNplc, kDcCurrentRanges, true, true, false},
    {"CURR:AC", "AC current", "CONF:CURR:AC", "CURR:AC", {}, kAcCurrentRanges, true, false, false},
    {"RES", "2-wire resistance", "CONF:RES", "RES", kNplc, kOhmRanges, true, true, false},
    {"FRES", "4-wire resistance", "CONF:FRES", "FRES", kNplc, kOhmRanges, true, true, false},
    {"DIOD", "Diode test", "CONF:DIOD", "", {}, {}, false, false, false},
    {"CONT", "Continuity", "CONF:CONT", "", {}, {}, false, false, false},
    {"FREQ", "Frequency", "CONF:FREQ", "", {}, {}, false, false, false},
    {"PER", "Period", "CONF:PER", "", {}, {}, false, false, false},
}};

// "1", "0.02", "1E3": the meter takes any of these forms.
std::string Number(double value) {
    return FormatReal(static_cast<long double>(value), '.');
}

std::optional<double> ReadNumber(const std::string& reply) {
    try {
        const long double value = ParseReal(TrimBlanks(reply), '.');
        if (!std::isfinite(static_cast<double>(value))) {
            return std::nullopt;
        }
        return static_cast<double>(value);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

} // namespace

const FunctionCapabilities* CapabilitiesOf(const std::string& function) {
    for (const FunctionCapabilities& f : kFunctions) {
        if (function == f.name) {
            return &f;
        }
    }
    return nullptr;
}

bool FunctionSettings::isDefault() const {
    return !nplc && autozero.empty() && !range && resolution.empty() && !inputImpedanceAuto;
}

std::vector<std::string> SettingCommands(const std::string& function,
                                         const FunctionSettings& settings) {
    std::vector<std::string> commands;
    const FunctionCapabilities* f = CapabilitiesOf(function);
    if (!f || !*f->prefix) {
        return commands;
    }
    const std::string prefix = f->prefix;
    if (settings.nplc && !f->nplc.empty()) {
        commands.push_back(prefix + ":NPLC " + Number(*settings.nplc));
    }
    if (!settings.resolution.empty() && f->resolution) {
        commands.push_back(prefix + ":RES " + settings.resolution);
    }
    if (settings.range && !f->ranges.empty()) {
        commands.push_back(prefix + ":RANG " + Number(*settings.range));
    }
    if (!settings.autozero.empty() && f->autozero) {
        commands.push_back("ZERO:AUTO " + settings.autozero);
    }
    if (settings.inputImpedanceAuto && f->inputImpedance) {
        commands.push_back("INP:IMP:AUTO ON");
    }
    return commands;
}

std::vector<InForceQuery> InForceQueries(const std::string& function) {
    using Item = InForceQuery::Item;
    std::vector<InForceQuery> queries;
    const FunctionCapabilities* f = CapabilitiesOf(function);
    if (!f || !*f->prefix) {
        return queries;
    }
    const std::string prefix = f->prefix;
    if (!f->nplc.empty()) {
        queries.push_back({Item::Nplc, prefix + ":NPLC?"});
    }
    if (f->resolution) {
        queries.push_back({Item::Resolution, prefix + ":RES?"});
    }
    if (!f->ranges.empty()) {
        queries.push_back({Item::Range, prefix + ":RANG?"});
        queries.push_back({Item::AutoRange, prefix + ":RANG:AUTO?"});
    }
    if (f->autozero) {
        queries.push_back({Item::Autozero, "ZERO:AUTO?"});
    }
    if (f->inputImpedance) {
        queries.push_back({Item::InputImpedance, "INP:IMP:AUTO?"});
    }
    return queries;
}

bool TakeInForceReply(const InForceQuery& query, const std::string& reply, InForce& inForce) {
    const std::optional<double> value = ReadNumber(reply);
    if (!value) {
        return false;
    }
    using Item = InForceQuery::Item;
    switch (query.item) {
    case Item::Nplc:
        inForce.nplc = value;
        break;
    case Item::Resolution:
        inForce.resolution = value;
        break;
    case Item::Range:
        inForce.range = value;
        break;
    case Item::AutoRange:
        inForce.autoRange = *value != 0;
        break;
    case Item::Autozero:
        inForce.autozero = *value != 0;
        break;
    case Item::InputImpedance:
        inForce.inputImpedanceAuto = *value != 0;
        break;
    }
    return true;
}

std::optional<MeterError> ParseErrorReply(const std::string& reply) {
    const std::string text = TrimBlanks(reply);
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    MeterError error;
    const std::string code = text.substr(0, comma);
    if (code.empty() || code.size() > 6) {
        return std::nullopt;
    }
    size_t i = (code[0] == '+' || code[0] == '-') ? 1 : 0;
    if (i == code.size()) {
        return std::nullopt;
    }
    for (size_t j = i; j < code.size(); ++j) {
        if (code[j] < '0' || code[j] > '9') {
            return std::nullopt;
        }
        error.code = error.code * 10 + (code[j] - '0');
    }
    if (code[0] == '-') {
        error.code = -error.code;
    }
    std::string message = text.substr(comma + 1);
    if (message.size() >= 2 && message.front() == '"' && message.back() == '"') {
        message = message.substr(1, message.size() - 2);
    }
    error.text = message;
    return error;
}

std::string SampleCountCommand(int samples) {
    return "SAMP:COUN " + std::to_string(samples);
}

std::string NplcText(double nplc) {
    return Number(nplc) + " PLC";
}

std::string RangeText(const std::string& function, double range) {
    const char* unit = "V";
    if (function.starts_with("CURR")) {
        unit = "A";
    } else if (function == "RES" || function == "FRES") {
        unit = "ohm";
    }
    struct Prefix {
        double factor;
        const char* name;
    };
    static constexpr Prefix kPrefixes[] = {{1e6, "M"}, {1e3, "k"}, {1, ""}, {1e-3, "m"}};
    for (const Prefix& p : kPrefixes) {
        if (std::fabs(range) >= p.factor * 0.999) {
            return Number(range / p.factor) + " " + p.name + unit;
        }
    }
    return Number(range / 1e-6) + " u" + unit;
}

} // namespace velmora
