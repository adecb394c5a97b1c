// RegionalSettings: the user's decimal mark and time-of-day format.
#include "text/regional_settings.h"

#include "text/locale_items.h"

namespace velmora {

namespace {

RegionalSettings& StoredSettings() {
    static RegionalSettings settings;
    return settings;
}

} // namespace

const RegionalSettings& CurrentRegionalSettings() {
    return StoredSettings();
}

void ReadRegionalSettings() {
    StoredSettings() = RegionalSettingsForLocale("");
}

RegionalSettings RegionalSettingsForLocale(const char* localeName) {
    return RegionalSettingsFromItems(ReadLocaleItems(localeName));
}

void SetRegionalSettings(const RegionalSettings& settings) {
    StoredSettings() = settings;
}

} // namespace velmora
