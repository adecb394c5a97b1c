// Where the settings file lives: beside the executable, named after it.
#include "settings/settings_path.h"

#include "text/exception.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace velmora {

std::string SettingsPathForExecutable(std::string_view executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    std::size_t stem = slash == std::string_view::npos ? 0 : slash + 1;
    while (stem < executablePath.size() && executablePath[stem] == '.') {
        ++stem;
    }
    const std::size_t dot = executablePath.rfind('.');
    const std::size_t end =
        (dot != std::string_view::npos && dot >= stem) ? dot : executablePath.size();
    std::string result(executablePath.substr(0, end));
    result += ".ini";
    return result;
}

std::string ExecutablePath() {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath("/proc/self/exe", nullptr), &std::free);
    if (resolved) {
        return resolved.get();
    }
    // realpath fails when the executable has been replaced on disk since it started;
    // the link's own text still names where it was.
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
        throw Exception("Unable to find the path of the running program");
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

std::string DefaultSettingsPath() {
    return SettingsPathForExecutable(ExecutablePath());
}

} // namespace velmora
