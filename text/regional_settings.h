// RegionalSettings: the user's decimal mark and time-of-day format.
#pragma once

#include <string>

namespace velmora {

// The process-wide record read by ReadRegionalSettings. The defaults are
// those a system without locale information gets.
struct RegionalSettings {
    char decimalMark = '.';
    char timeMark = ':';
    std::string amText = "am";
    std::string pmText = "pm";
    std::string longTimePattern = "h:mm:ss AMPM";

    bool operator==(const RegionalSettings&) const = default;
};

// The record in force: the defaults until ReadRegionalSettings has run. Read
// and written on the main thread only.
const RegionalSettings& CurrentRegionalSettings();

// Reads the settings of the user's environment locale (LANG, LC_ALL,
// LC_NUMERIC, LC_TIME) and stores them as the record in force. Never touches
// the C library's global locale. Called once at start-up: Linux does not
// announce a change of these settings to a running program.
void ReadRegionalSettings();

// The settings a given locale name yields ("" is the environment's), without
// storing them; the defaults where the locale is not installed.
//   RegionalSettingsForLocale("de_DE.UTF-8") -> {',', ':', "", "", "hh:mm:ss"}
RegionalSettings RegionalSettingsForLocale(const char* localeName);

// Replaces the record in force. The program itself only stores what
// ReadRegionalSettings read; tests of callers use this to act as a user with
// other settings.
void SetRegionalSettings(const RegionalSettings& settings);

} // namespace velmora
