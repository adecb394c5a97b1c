// The settings file's line to the meter ([COM Info]: Port, baudrate) and the meter's name
// ([Meter]).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

class SettingsStore;

inline constexpr const char* kComInfoSection = "COM Info";
inline constexpr const char* kMeterSection = "Meter";

// The texts as stored; empty when absent.
struct ComInfo {
    std::string port;
    std::string baudText;
};
ComInfo ReadComInfo(const SettingsStore& settings);
void WriteComInfo(SettingsStore& settings, const ComInfo& info);
// A file without the section gets the first port at 9600 baud.
void WriteDefaultComInfo(SettingsStore& settings);

// The rate as every program reads it: decimal, or hexadecimal after "$"
// (stored files may hold either); throws EConvertError for anything else.
// A negative number comes back as the unsigned rate it wraps to, which no
// port runs at.
uint32_t ComBaudRate(std::string_view text);

// The meter's name for people and for other programs (the recording's
// events, the control interface, publishing); the port when none is set.
std::string ReadMeterName(const SettingsStore& settings, const std::string& port);

} // namespace velmora
