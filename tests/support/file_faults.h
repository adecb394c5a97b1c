// Ways to make file-system writes fail in tests, for root too: immutable files, a lowered size
// limit.
#pragma once

#include "tests/settings/temp_folder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora::test {

// Sets or clears the immutable attribute, which stops even root from changing a file
// or a folder's entries. False where the file system or the process cannot.
inline bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// A folder per case, with what must be undone before it can be removed.
struct FaultScene {
    TempFolder folder;
    std::vector<std::string> immutable;
    std::optional<rlim_t> fileSizeLimit;

    FaultScene() = default;
    FaultScene(const FaultScene&) = delete;
    FaultScene& operator=(const FaultScene&) = delete;
    ~FaultScene() {
        for (const std::string& path : immutable) {
            SetImmutable(path, false);
        }
    }

    // Makes `path` refuse changes: by its permission bits (`perms`) for ordinary
    // users, by the immutable attribute for root, who ignores permission bits.
    // False when neither can be had here.
    bool makeReadOnly(const std::string& path,
                      std::filesystem::perms perms = std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec) {
        if (!IsRoot()) {
            std::filesystem::permissions(path, perms);
            return true;
        }
        if (!SetImmutable(path, true)) {
            return false;
        }
        immutable.push_back(path);
        return true;
    }
};

// Lowers the process's file size limit for one scope: writes beyond it fail with
// EFBIG, for root too, as on a full disk. Nothing happens without a limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::optional<rlim_t> bytes) {
        if (!bytes) {
            return;
        }
        active_ = true;
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = *bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        if (active_) {
            ::setrlimit(RLIMIT_FSIZE, &old_);
            std::signal(SIGXFSZ, oldHandler_);
        }
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    bool active_ = false;
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Every path below `folder`, to tell whether a temporary file was left behind.
inline std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        names.insert(it->path().string());
    }
    return names;
}

} // namespace velmora::test
