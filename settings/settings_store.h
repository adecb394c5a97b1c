// What the windows need of the settings: three operations on named sections and keys.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// A place that holds INI sections and keys. Reads never fail; writes throw
// EIniFileException "Unable to write to <path>" when the value cannot be kept.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // True when the section exists and holds at least one key.
    virtual bool hasSection(std::string_view section) const = 0;
    // The key's value, or `defaultValue` when it is missing.
    virtual std::string readValue(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) const = 0;
    // Sets the key to `value` at once.
    virtual void writeValue(std::string_view section, std::string_view key,
                            std::string_view value) = 0;
    // The settings path the program reports in its messages.
    virtual const std::string& path() const = 0;
};

} // namespace velmora
