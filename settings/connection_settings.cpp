// The settings file's line to the meter and the meter's name.
#include "settings/connection_settings.h"

#include "settings/settings_store.h"
#include "text/integer_conversion.h"
#include "text/trim.h"

namespace velmora {

ComInfo ReadComInfo(const SettingsStore& settings) {
    return {settings.readValue(kComInfoSection, "Port", ""),
            settings.readValue(kComInfoSection, "baudrate", "")};
}

void WriteComInfo(SettingsStore& settings, const ComInfo& info) {
    settings.writeValue(kComInfoSection, "Port", info.port);
    settings.writeValue(kComInfoSection, "baudrate", info.baudText);
}

void WriteDefaultComInfo(SettingsStore& settings) {
    if (!settings.hasSection(kComInfoSection)) {
        WriteComInfo(settings, {"com1", "9600"});
    }
}

uint32_t ComBaudRate(std::string_view text) {
    return static_cast<uint32_t>(ParseInteger(text));
}

std::string ReadMeterName(const SettingsStore& settings, const std::string& port) {
    std::string name = TrimBlanks(settings.readValue(kMeterSection, "Name", ""));
    return name.empty() ? port : name;
}

} // namespace velmora
