// The meter's settings to and from the settings file.
#include "measure/meter_settings_store.h"

#include "settings/settings_store.h"
#include "text/convert_error.h"
#include "text/integer_conversion.h"
#include "text/real_conversion.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

const char* const kFunctionNames[] = {"VOLT", "VOLT:AC", "CURR", "CURR:AC", "RES", "FRES"};

// One of `choices`, compared as numbers ("10" and "1E1" are the same).
std::optional<double> Choice(const std::string& text, std::span<const double> choices) {
    try {
        const auto value = static_cast<double>(ParseReal(text, '.'));
        for (const double c : choices) {
            if (std::fabs(value - c) <= 1e-9 * std::fabs(c)) {
                return c;
            }
        }
    } catch (const EConvertError&) {
    }
    return std::nullopt;
}

bool OneOf(const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return text == w; });
}

} // namespace

const FunctionSettings& MeterSettings::of(const std::string& function) const {
    static const FunctionSettings kDefaults;
    const auto found = functions.find(function);
    return found == functions.end() ? kDefaults : found->second;
}

ReadMeterSettingsResult ReadMeterSettings(const SettingsStore& store) {
    ReadMeterSettingsResult result;
    std::string problems;
    const auto refuse = [&](const std::string& key, const std::string& value) {
        problems += (problems.empty() ? "" : ", ") + key + " \"" + value + "\"";
    };
    for (const char* name : kFunctionNames) {
        const FunctionCapabilities* f = CapabilitiesOf(name);
        FunctionSettings s;
        const auto read = [&](const char* key) {
            return store.readValue(kMeterSettingsSection, std::string(name) + "." + key, "");
        };
        if (const std::string v = read("NPLC"); !v.empty()) {
            s.nplc = Choice(v, f->nplc);
            if (!s.nplc) {
                refuse(std::string(name) + ".NPLC", v);
            }
        }
        if (const std::string v = read("Resolution"); !v.empty()) {
            if (f->resolution && OneOf(v, {"MIN", "MAX"})) {
                s.resolution = v;
            } else {
                refuse(std::string(name) + ".Resolution", v);
            }
        }
        if (const std::string v = read("Range"); !v.empty()) {
            s.range = Choice(v, f->ranges);
            if (!s.range) {
                refuse(std::string(name) + ".Range", v);
            }
        }
        if (const std::string v = read("Autozero"); !v.empty()) {
            if (f->autozero && OneOf(v, {"ON", "OFF", "ONCE"})) {
                s.autozero = v;
            } else {
                refuse(std::string(name) + ".Autozero", v);
            }
        }
        if (const std::string v = read("InputImpedance"); !v.empty()) {
            if (f->inputImpedance && v == "AUTO") {
                s.inputImpedanceAuto = true;
            } else {
                refuse(std::string(name) + ".InputImpedance", v);
            }
        }
        if (!s.isDefault()) {
            result.settings.functions[name] = s;
        }
    }
    if (const std::string v = store.readValue(kMeterSettingsSection, "Display", ""); !v.empty()) {
        if (OneOf(v, {"ON", "OFF"})) {
            result.settings.displayOn = v == "ON";
        } else {
            refuse("Display", v);
        }
    }
    if (const std::string v = store.readValue(kMeterSettingsSection, "Acquisition", "");
        !v.empty()) {
        if (OneOf(v, {"STANDARD", "FAST"})) {
            result.settings.fast = v == "FAST";
        } else {
            refuse("Acquisition", v);
        }
    }
    if (const std::string v = store.readValue(kMeterSettingsSection, "Samples", ""); !v.empty()) {
        try {
            const int64_t n = ParseInteger(v);
            if (n < 1 || n > kMostSamples) {
                throw EConvertError("");
            }
            result.settings.samples = static_cast<int>(n);
        } catch (const EConvertError&) {
            refuse("Samples", v);
        }
    }
    if (!problems.empty()) {
        result.problem = problems;
    }
    return result;
}

void WriteMeterSettings(SettingsStore& store, const std::string& function,
                        const MeterSettings& settings) {
    const FunctionSettings& s = settings.of(function);
    const auto write = [&](const char* key, const std::string& value) {
        store.writeValue(kMeterSettingsSection, function + "." + key, value);
    };
    if (CapabilitiesOf(function) && *CapabilitiesOf(function)->prefix) {
        write("NPLC", s.nplc ? FormatReal(*s.nplc, '.') : "");
        write("Resolution", s.resolution);
        write("Range", s.range ? FormatReal(*s.range, '.') : "");
        write("Autozero", s.autozero);
        write("InputImpedance", s.inputImpedanceAuto ? "AUTO" : "");
    }
    store.writeValue(kMeterSettingsSection, "Display", settings.displayOn ? "ON" : "OFF");
    store.writeValue(kMeterSettingsSection, "Acquisition", settings.fast ? "FAST" : "STANDARD");
    store.writeValue(kMeterSettingsSection, "Samples", std::to_string(settings.samples));
}

} // namespace velmora
