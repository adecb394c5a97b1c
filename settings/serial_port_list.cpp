// The serial ports actually present on this machine, for the port box's list.
#include "settings/serial_port_list.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

namespace velmora {

namespace {

namespace fs = std::filesystem;

// The number after `prefix` when `name` is the prefix followed by decimal digits only.
bool NumberAfter(std::string_view name, std::string_view prefix, std::uint64_t& number) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) {
        return false;
    }
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last;
}

// The device names of one kind ("ttyUSB7") in `folder`, ordered by their number.
std::vector<std::string> NumberedDevices(const std::string& folder, std::string_view prefix) {
    std::vector<std::pair<std::uint64_t, std::string>> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        std::uint64_t number = 0;
        if (NumberAfter(name, prefix, number)) {
            found.emplace_back(number, std::move(name));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry : found) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

// Full paths of the entries whose target exists (a stale link is no port).
std::vector<std::string> PresentEntries(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        if (fs::exists(it->path(), statError)) {
            paths.push_back(it->path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

std::vector<std::string> AvailableSerialPorts(const std::string& deviceFolder,
                                              const std::string& emulatorLink) {
    std::vector<std::string> ports = NumberedDevices(deviceFolder, "ttyUSB");
    for (std::string& name : NumberedDevices(deviceFolder, "ttyACM")) {
        ports.push_back(std::move(name));
    }
    for (std::string& path : PresentEntries(deviceFolder + "/serial/by-id")) {
        ports.push_back(std::move(path));
    }
    std::error_code error;
    if (!emulatorLink.empty() && fs::exists(emulatorLink, error)) {
        ports.push_back(emulatorLink);
    }
    return ports;
}

} // namespace velmora
