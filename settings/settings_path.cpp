// Where the settings files live: beside the executable and in the user's configuration folder.
#include "settings/settings_path.h"

#include "text/exception.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <pwd.h>
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

SettingsLocations SettingsLocationsFor(const std::string& executablePath,
                                       const ConfigEnvironment& environment) {
    SettingsLocations locations;
    locations.beside = SettingsPathForExecutable(executablePath);

    std::string configHome;
    if (environment.xdgConfigHome.starts_with('/')) {
        configHome = environment.xdgConfigHome;
    } else if (environment.home.starts_with('/')) {
        configHome = environment.home + "/.config";
    } else {
        return locations;
    }
    while (configHome.size() > 1 && configHome.back() == '/') {
        configHome.pop_back();
    }
    const std::size_t slash = executablePath.rfind('/');
    const std::string name =
        slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    locations.user = (configHome == "/" ? "" : configHome) + "/velmora/" +
                     SettingsPathForExecutable(name.empty() ? "velmora" : name);
    return locations;
}

SettingsLocations SettingsLocationsFor(const std::string& executablePath) {
    ConfigEnvironment environment;
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) {
        environment.xdgConfigHome = value;
    }
    if (const char* value = std::getenv("HOME"); value && *value) {
        environment.home = value;
    } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
        environment.home = user->pw_dir;
    }
    return SettingsLocationsFor(executablePath, environment);
}

} // namespace velmora
