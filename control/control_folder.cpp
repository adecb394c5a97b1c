// The control interface's folder.
#include "control/control_folder.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

std::string ControlFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/velmora";
    }
    return "/tmp/velmora-" + std::to_string(geteuid());
}

std::optional<std::string> PreparePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot make " + folder + ": " + std::generic_category().message(errno);
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return "cannot look at " + folder + ": " + std::generic_category().message(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + " is not a folder";
    }
    if (info.st_uid != geteuid()) {
        return folder + " belongs to another user";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "others can write to " + folder;
    }
    return std::nullopt;
}

std::string SocketNameFor(std::string_view meter) {
    const size_t slash = meter.find_last_of('/');
    if (slash != std::string_view::npos && slash + 1 < meter.size()) {
        meter.remove_prefix(slash + 1);
    }
    std::string name;
    for (const char c : meter) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        name += plain ? c : '_';
    }
    while (name.starts_with('.')) {
        name.erase(0, 1);
    }
    if (name.size() > 64) {
        name.resize(64);
    }
    return name.empty() ? "meter" : name;
}

std::string WriteTokenFile(const std::string& path) {
    char token[33] = {};
    for (int i = 0; i < 4; ++i) {
        std::snprintf(token + 8 * i, 9, "%08x", QRandomGenerator::system()->generate());
    }
    // Replaced, not rewritten: a file another user may have put there is not followed.
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), path);
    }
    const std::string line = std::string(token) + "\n";
    const bool written = ::fchmod(fd, 0600) == 0 &&
                         ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const int why = errno;
    ::close(fd);
    if (!written) {
        throw std::system_error(why, std::generic_category(), path);
    }
    return token;
}

} // namespace velmora
