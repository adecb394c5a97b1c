// The alarms in the settings file, in a section of their own.
#pragma once

#include "alarms/alarm_definition.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {

class SettingsStore;

// Section "Alarms": "Count" and, for alarm n (1 .. Count), keys "n.Name",
// "n.Function", "n.Condition" (above, below, outside, inside, silence,
// overload), "n.Low", "n.High", "n.Hysteresis", "n.Delay", "n.Silence" (numbers
// with "." decimals), "n.Enabled", "n.Sound", "n.Notify" (0 or 1) and
// "n.Program", and "n.Source" (reading, the default, or math: the derived
// value). The [COM Info] section is never touched.
inline constexpr const char* kAlarmSection = "Alarms";
inline constexpr int kMostAlarms = 50;

struct AlarmSettings {
    std::vector<AlarmDefinition> alarms;
    // Why the section could not be used (then `alarms` is empty):
    //   "alarm 2: unknown condition \"over\""
    std::optional<std::string> problem;
};

// Reads the section; a missing section is no alarms and no problem. A
// hand-edited section that does not read as alarms (a bad number, an unknown
// condition, a low limit above the high one, a negative hysteresis, delay or
// silence) gives no alarms and says why; it never throws.
AlarmSettings ReadAlarmSettings(const SettingsStore& settings);

// Writes every alarm and the count; throws EIniFileException as a write does.
void WriteAlarmSettings(SettingsStore& settings, const std::vector<AlarmDefinition>& alarms);

} // namespace velmora
