// The meter's settings in the settings file, in a section of their own.
#pragma once

#include "measure/meter_settings.h"

#include <map>
#include <optional>
#include <string>

namespace velmora {

class SettingsStore;

// Section "Meter Settings": for each function with settings, keys
// "<function>.NPLC" (0.02, 0.2, 1, 10, 100), "<function>.Resolution" (MIN,
// MAX), "<function>.Range" (a range of the function), "<function>.Autozero"
// (ON, OFF, ONCE), "<function>.InputImpedance" (AUTO), empty or absent for
// the meter's default; "Display" (ON, OFF), "Acquisition" (STANDARD, FAST) and
// "Samples" (readings a query, 1 to kMostSamples).
// [COM Info] is not touched.
inline constexpr const char* kMeterSettingsSection = "Meter Settings";
inline constexpr int kMostSamples = 50;

struct MeterSettings {
    std::map<std::string, FunctionSettings> functions; // by the meter's function name
    bool displayOn = true;
    // Fast acquisition: a reply ends at its line feed and the next query
    // leaves at once, instead of after 26 ms of silence and at the next tick.
    bool fast = false;
    // Readings a "Read?" asks for (the meter's sample count); above 1 they
    // come back together, comma-separated (a burst).
    int samples = 1;

    const FunctionSettings& of(const std::string& function) const;
    bool operator==(const MeterSettings&) const = default;
};

struct ReadMeterSettingsResult {
    MeterSettings settings;
    // The keys whose values were not understood (they keep the default):
    // "VOLT.NPLC \"7\"".
    std::optional<std::string> problem;
};

ReadMeterSettingsResult ReadMeterSettings(const SettingsStore& store);
// Writes the settings of `function` (and the display); throws as a write does.
void WriteMeterSettings(SettingsStore& store, const std::string& function,
                        const MeterSettings& settings);

} // namespace velmora
