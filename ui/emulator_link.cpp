// Where the meter emulator offers its port: one well-known path per user.
#include "ui/emulator_link.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

std::string EmulatorLinkPath(std::string_view runtimeDir, uid_t uid) {
    if (runtimeDir.starts_with('/')) {
        std::string folder(runtimeDir);
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            return (folder == "/" ? "" : folder) + "/velmora-meter";
        }
    }
    return "/tmp/velmora-meter-" + std::to_string(uid);
}

std::string EmulatorLinkPath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    return EmulatorLinkPath(runtimeDir ? runtimeDir : "", ::getuid());
}

} // namespace velmora
