// Where the settings files live: beside the executable and in the user's configuration folder.
#include "settings/settings_path.h"

#include "text/exception.h"

#include <algorithm>
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
    return ExecutablePathFromLink(std::string(buffer, static_cast<std::size_t>(length)));
}

std::string ExecutablePathFromLink(std::string linkText) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (linkText.ends_with(kDeleted)) {
        linkText.resize(linkText.size() - kDeleted.size());
    }
    return linkText;
}

std::string DefaultSettingsPath() {
    return SettingsPathForExecutable(ExecutablePath());
}

namespace {

std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder == "/" ? std::string() : folder;
}

// The executable's file name by the ".ini" rule: "meter2.bin" -> "meter2.ini".
std::string SettingsFileName(const std::string& executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    const std::string name =
        slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    return SettingsPathForExecutable(name.empty() ? "velmora" : name);
}

bool InFolder(const std::string& path, std::string_view folder) {
    const std::size_t slash = path.rfind('/');
    if (folder.empty() || slash == std::string::npos) {
        return false;
    }
    std::string_view own(path.data(), slash == 0 ? 1 : slash);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    return own == folder;
}

} // namespace

SettingsLocations SettingsLocationsFor(const std::string& executablePath,
                                       const ConfigEnvironment& environment,
                                       std::string_view installedBinFolder) {
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
    const std::string fileName = SettingsFileName(executablePath);
    locations.user = WithoutTrailingSlashes(configHome) + "/velmora/" + fileName;
    if (!InFolder(executablePath, installedBinFolder)) {
        return locations;
    }
    locations.beside.clear();
    const std::string dirs =
        environment.xdgConfigDirs.empty() ? std::string("/etc/xdg") : environment.xdgConfigDirs;
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, colon - start);
        if (dir.starts_with('/')) {
            locations.defaults.push_back(WithoutTrailingSlashes(dir) + "/velmora/" + fileName);
        }
        start = colon + 1;
    }
    return locations;
}

SettingsLocations SettingsLocationsFor(const std::string& executablePath) {
    ConfigEnvironment environment;
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) {
        environment.xdgConfigHome = value;
    }
    if (const char* value = std::getenv("XDG_CONFIG_DIRS")) {
        environment.xdgConfigDirs = value;
    }
    if (const char* value = std::getenv("HOME"); value && *value) {
        environment.home = value;
    } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
        environment.home = user->pw_dir;
    }
    return SettingsLocationsFor(executablePath, environment, VELMORA_INSTALLED_BINDIR);
}

} // namespace velmora
