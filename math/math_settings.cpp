// The [Math] section.
#include "math/math_settings.h"

#include "settings/settings_store.h"
#include "text/real_conversion.h"
#include "text/trim.h"

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace velmora {

namespace {

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const std::pair<MathConversion, const char*> kConversions[] = {
    {MathConversion::None, "none"}, {MathConversion::Scale, "scale"},
    {MathConversion::Db, "db"},     {MathConversion::Dbm, "dbm"},
    {MathConversion::Rtd, "rtd"},   {MathConversion::SteinhartHart, "steinhart-hart"},
    {MathConversion::Beta, "beta"}, {MathConversion::Thermocouple, "thermocouple"},
};

class Reader {
public:
    Reader(const SettingsStore& settings, std::string function)
        : settings_(settings)
        , function_(std::move(function)) {}

    std::string text(const char* key) const {
        return TrimBlanks(settings_.readValue(kMathSection, function_ + "." + key, ""));
    }
    std::optional<double> number(const char* key) const {
        const std::string t = text(key);
        if (t.empty()) {
            return std::nullopt;
        }
        const std::optional<double> value = ParseSettingsNumber(t);
        if (!value) {
            throw Broken(std::string(key) + " \"" + t + "\" is not a number");
        }
        return value;
    }
    void number(const char* key, double& into) const {
        if (const std::optional<double> value = number(key)) {
            into = *value;
        }
    }

private:
    const SettingsStore& settings_;
    std::string function_;
};

MathSettings ReadFunction(const SettingsStore& settings, const std::string& function) {
    const Reader r(settings, function);
    MathSettings m;
    if (const std::optional<double> offset = r.number("Null")) {
        m.nullOn = true;
        m.nullOffset = *offset;
    }
    const std::string conversion = r.text("Conversion");
    bool known = conversion.empty();
    for (const auto& [kind, name] : kConversions) {
        if (conversion == name) {
            m.conversion = kind;
            known = true;
        }
    }
    if (!known) {
        throw Broken("Conversion \"" + conversion +
                     "\" is none of none, scale, db, dbm, rtd, "
                     "steinhart-hart, beta, thermocouple");
    }
    r.number("Scale", m.scale);
    r.number("Offset", m.offset);
    m.scaleUnit = r.text("Unit");
    r.number("Reference", m.dbReference);
    r.number("Impedance", m.dbmImpedance);
    if (m.conversion == MathConversion::Rtd) {
        r.number("R0", m.rtd.r0);
        r.number("A", m.rtd.a);
        r.number("B", m.rtd.b);
        r.number("C", m.rtd.c);
    } else if (m.conversion == MathConversion::SteinhartHart) {
        r.number("A", m.steinhartHart.a);
        r.number("B", m.steinhartHart.b);
        r.number("C", m.steinhartHart.c);
    } else if (m.conversion == MathConversion::Beta) {
        r.number("R0", m.beta.r0);
        r.number("T0", m.beta.t0Celsius);
        r.number("Beta", m.beta.beta);
    }
    const std::string type = r.text("Type");
    if (!type.empty()) {
        const std::optional<ThermocoupleType> t = ThermocoupleNamed(type);
        if (!t) {
            throw Broken("Type \"" + type + "\" is none of K, J, T");
        }
        m.thermocouple = *t;
    }
    r.number("ColdJunction", m.coldJunctionCelsius);
    m.limitLow = r.number("Low");
    m.limitHigh = r.number("High");
    m.limitsOn = m.limitLow || m.limitHigh;
    if (m.limitLow && m.limitHigh && *m.limitLow > *m.limitHigh) {
        throw Broken("Low is above High");
    }
    return m;
}

std::string NumberText(double value) {
    return FormatReal(value, '.');
}

} // namespace

MathSettingsRead ReadMathSettings(const SettingsStore& settings) {
    MathSettingsRead result;
    const std::string list = settings.readValue(kMathSection, "Functions", "");
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string function = TrimBlanks(list.substr(start, end - start));
        start = end + 1;
        if (function.empty()) {
            continue;
        }
        try {
            result.functions[function] = ReadFunction(settings, function);
        } catch (const Broken& broken) {
            result.functions.clear();
            result.problem = function + ": " + broken.what();
            return result;
        }
    }
    return result;
}

void WriteMathSettings(SettingsStore& settings, const std::map<std::string, MathSettings>& math) {
    std::string list;
    for (const auto& [function, m] : math) {
        if (!m.any()) {
            continue;
        }
        list += (list.empty() ? "" : ",") + function;
        const auto put = [&](const char* key, const std::string& value) {
            settings.writeValue(kMathSection, function + "." + key, value);
        };
        put("Null", m.nullOn ? NumberText(m.nullOffset) : "");
        std::string conversion = "none";
        for (const auto& [kind, name] : kConversions) {
            if (kind == m.conversion) {
                conversion = name;
            }
        }
        put("Conversion", conversion);
        put("Scale", NumberText(m.scale));
        put("Offset", NumberText(m.offset));
        put("Unit", m.scaleUnit);
        put("Reference", NumberText(m.dbReference));
        put("Impedance", NumberText(m.dbmImpedance));
        if (m.conversion == MathConversion::SteinhartHart) {
            put("A", NumberText(m.steinhartHart.a));
            put("B", NumberText(m.steinhartHart.b));
            put("C", NumberText(m.steinhartHart.c));
        } else if (m.conversion == MathConversion::Beta) {
            put("R0", NumberText(m.beta.r0));
            put("T0", NumberText(m.beta.t0Celsius));
            put("Beta", NumberText(m.beta.beta));
        } else {
            put("R0", NumberText(m.rtd.r0));
            put("A", NumberText(m.rtd.a));
            put("B", NumberText(m.rtd.b));
            put("C", NumberText(m.rtd.c));
        }
        put("Type", m.thermocouple == ThermocoupleType::K   ? "K"
                    : m.thermocouple == ThermocoupleType::J ? "J"
                                                            : "T");
        put("ColdJunction", NumberText(m.coldJunctionCelsius));
        put("Low", m.limitsOn && m.limitLow ? NumberText(*m.limitLow) : "");
        put("High", m.limitsOn && m.limitHigh ? NumberText(*m.limitHigh) : "");
    }
    settings.writeValue(kMathSection, "Functions", list);
}

} // namespace velmora
