// Alarms to and from the settings file.
#include "alarms/alarm_settings.h"

#include "settings/settings_store.h"
#include "text/convert_error.h"
#include "text/integer_conversion.h"
#include "text/real_conversion.h"

#include <cmath>
#include <stdexcept>

namespace velmora {

namespace {

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Key(int n, const char* name) {
    return std::to_string(n) + "." + name;
}

double Number(const SettingsStore& s, int n, const char* name, double fallback) {
    const std::string text = s.readValue(kAlarmSection, Key(n, name), "");
    if (text.empty()) {
        return fallback;
    }
    const std::optional<double> value = ParseSettingsNumber(text);
    if (!value) {
        throw Broken(std::string(name) + " \"" + text + "\" is not a number");
    }
    return *value;
}

bool Flag(const SettingsStore& s, int n, const char* name, bool fallback) {
    const std::string text = s.readValue(kAlarmSection, Key(n, name), "");
    if (text.empty()) {
        return fallback;
    }
    if (text != "0" && text != "1") {
        throw Broken(std::string(name) + " \"" + text + "\" is neither 0 nor 1");
    }
    return text == "1";
}

std::string NumberText(double value) {
    return FormatReal(value, '.');
}

} // namespace

AlarmSettings ReadAlarmSettings(const SettingsStore& settings) {
    AlarmSettings result;
    const std::string countText = settings.readValue(kAlarmSection, "Count", "");
    if (countText.empty()) {
        return result;
    }
    int64_t count = 0;
    try {
        count = ParseInteger(countText);
    } catch (const EConvertError&) {
        result.problem = "Count \"" + countText + "\" is not a number";
        return result;
    }
    if (count < 0 || count > kMostAlarms) {
        result.problem =
            "Count " + countText + " is not between 0 and " + std::to_string(kMostAlarms);
        return result;
    }
    for (int n = 1; n <= count; ++n) {
        try {
            AlarmDefinition a;
            a.name = settings.readValue(kAlarmSection, Key(n, "Name"), "");
            if (a.name.empty()) {
                a.name = "Alarm " + std::to_string(n);
            }
            a.function = settings.readValue(kAlarmSection, Key(n, "Function"), "");
            const std::string condition =
                settings.readValue(kAlarmSection, Key(n, "Condition"), "");
            if (!AlarmConditionFromName(condition, a.condition)) {
                throw Broken("unknown condition \"" + condition + "\"");
            }
            a.low = Number(settings, n, "Low", 0);
            a.high = Number(settings, n, "High", 0);
            a.hysteresis = Number(settings, n, "Hysteresis", 0);
            a.delaySeconds = Number(settings, n, "Delay", 0);
            a.silenceSeconds = Number(settings, n, "Silence", 10);
            a.enabled = Flag(settings, n, "Enabled", true);
            a.sound = Flag(settings, n, "Sound", false);
            a.notify = Flag(settings, n, "Notify", false);
            a.program = settings.readValue(kAlarmSection, Key(n, "Program"), "");
            const std::string source = settings.readValue(kAlarmSection, Key(n, "Source"), "");
            if (!source.empty() && source != "reading" && source != "math") {
                throw Broken("Source \"" + source + "\" is neither reading nor math");
            }
            a.onMath = source == "math";
            if (auto problem = AlarmProblem(a)) {
                throw Broken(*problem);
            }
            result.alarms.push_back(std::move(a));
        } catch (const Broken& broken) {
            result.alarms.clear();
            result.problem = "alarm " + std::to_string(n) + ": " + broken.what();
            return result;
        }
    }
    return result;
}

void WriteAlarmSettings(SettingsStore& settings, const std::vector<AlarmDefinition>& alarms) {
    for (size_t i = 0; i < alarms.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const AlarmDefinition& a = alarms[i];
        settings.writeValue(kAlarmSection, Key(n, "Name"), a.name);
        settings.writeValue(kAlarmSection, Key(n, "Function"), a.function);
        settings.writeValue(kAlarmSection, Key(n, "Condition"), AlarmConditionName(a.condition));
        settings.writeValue(kAlarmSection, Key(n, "Low"), NumberText(a.low));
        settings.writeValue(kAlarmSection, Key(n, "High"), NumberText(a.high));
        settings.writeValue(kAlarmSection, Key(n, "Hysteresis"), NumberText(a.hysteresis));
        settings.writeValue(kAlarmSection, Key(n, "Delay"), NumberText(a.delaySeconds));
        settings.writeValue(kAlarmSection, Key(n, "Silence"), NumberText(a.silenceSeconds));
        settings.writeValue(kAlarmSection, Key(n, "Enabled"), a.enabled ? "1" : "0");
        settings.writeValue(kAlarmSection, Key(n, "Sound"), a.sound ? "1" : "0");
        settings.writeValue(kAlarmSection, Key(n, "Notify"), a.notify ? "1" : "0");
        settings.writeValue(kAlarmSection, Key(n, "Program"), a.program);
        settings.writeValue(kAlarmSection, Key(n, "Source"), a.onMath ? "math" : "reading");
    }
    settings.writeValue(kAlarmSection, "Count", std::to_string(alarms.size()));
}

} // namespace velmora
