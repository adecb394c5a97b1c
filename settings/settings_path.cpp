// Where the settings file lives: beside the executable or in the user's configuration folder.
#include "settings/settings_path.h"

#include "text/exception.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
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

namespace {

// A write replaces the file through a new file in the same folder, so the folder
// must take new entries, and an existing file must be writable to be replaced.
bool CanWriteBeside(const std::string& folder, const std::string& file) {
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return false;
    }
    return ::access(file.c_str(), W_OK) == 0 || errno == ENOENT;
}

// Creates every missing folder of `path` with mode 0700 (private, as configuration
// folders should be). Failures are left for the first write to report.
void MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return;
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

} // namespace

std::string ChooseSettingsPath(const std::string& executablePath,
                               const ConfigEnvironment& environment) {
    std::string beside = SettingsPathForExecutable(executablePath);
    const std::size_t slash = executablePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : executablePath.substr(0, slash);
    if (CanWriteBeside(folder, beside)) {
        return beside;
    }

    std::string configHome;
    if (environment.xdgConfigHome.starts_with('/')) {
        configHome = environment.xdgConfigHome;
    } else if (environment.home.starts_with('/')) {
        configHome = environment.home + "/.config";
    } else {
        return beside;
    }
    while (configHome.size() > 1 && configHome.back() == '/') {
        configHome.pop_back();
    }
    const std::string ownFolder = (configHome == "/" ? "" : configHome) + "/velmora";
    MakeFolders(ownFolder);
    return ownFolder + "/velmora.ini";
}

std::string ChooseSettingsPath(const std::string& executablePath) {
    ConfigEnvironment environment;
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) {
        environment.xdgConfigHome = value;
    }
    if (const char* value = std::getenv("HOME"); value && *value) {
        environment.home = value;
    } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
        environment.home = user->pw_dir;
    }
    return ChooseSettingsPath(executablePath, environment);
}

} // namespace velmora
