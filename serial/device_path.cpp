// Port name to device path mapping.
#include "serial/device_path.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace velmora {

namespace {

// The n of "COMn" in any letter case, or 0 when the name is not of that form.
uint64_t ComNumber(std::string_view name) {
    if (name.size() < 4)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    }
    const std::string_view digits = name.substr(3);
    if (digits.front() == '0')
        return 0;
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size())
        return 0;
    return number;
}

std::string InFolder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace

std::string DevicePathForPort(std::string_view name, std::string_view deviceFolder) {
    if (!name.empty() && name.front() == '/')
        return std::string(name);
    if (const uint64_t number = ComNumber(name); number >= 1)
        return InFolder(deviceFolder, "ttyS" + std::to_string(number - 1));
    return InFolder(deviceFolder, name);
}

} // namespace velmora
