// Whole-file reading and crash-safe replacement of a file's content (POSIX).
#include "settings/file_replace.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velmora {
namespace {

[[noreturn]] void ThrowErrno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Owns a descriptor and, while `path` is set, the temporary file it was created as:
// both go away on destruction unless the file has been kept.
class OwnedFile {
public:
    OwnedFile(int fd, std::string path)
        : fd_(fd)
        , path_(std::move(path)) {}
    OwnedFile(OwnedFile&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
        , path_(std::move(other.path_)) {
        other.path_.clear();
    }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
    ~OwnedFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Closes the descriptor, reporting the errors a delayed write may surface here.
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) {
            ThrowErrno(errno, "close");
        }
    }
    void keep() { path_.clear(); }

private:
    int fd_;
    std::string path_;
};

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int OpenFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

TemporaryFileOpen temporaryFileOpen = OpenFile;

// Our own O_EXCL create rather than mkstemp: mkstemp makes the file 0600 whatever the
// umask, and widening it afterwards would need the umask (which cannot be read without
// changing it) and would lose the folder's default ACL; a plain create gets both right.
OwnedFile CreateTemporaryBeside(const std::string& path, mode_t mode) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    // Leave room under the 255-byte name limit for the prefix and suffix.
    const std::string stem = FolderOf(path) + "/." + NameOf(path).substr(0, 200) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem;
        for (int i = 0; i < 8; ++i) {
            candidate += "0123456789abcdefghijklmnopqrstuv"[random() % 32];
        }
        const int fd =
            temporaryFileOpen(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            return OwnedFile(fd, std::move(candidate));
        }
        if (errno != EEXIST && errno != EINTR) {
            ThrowErrno(errno, "create temporary file");
        }
    }
    ThrowErrno(EEXIST, "create temporary file");
}

// Makes the rename itself durable. Best effort: the new content is already in place
// and complete, so a folder that cannot be flushed is no reason to report a failure.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReadFileIfExists(const std::string& path, std::string& content, std::size_t maxBytes) {
    content.clear();
    int fd;
    do {
        // Without waiting: a FIFO would block until a writer came.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return false;
        }
        ThrowErrno(errno, "open");
    }
    OwnedFile closer(fd, {}); // only closes
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ThrowErrno(errno, "fstat");
    }
    if (!S_ISREG(info.st_mode)) {
        ThrowErrno(EINVAL, "not a regular file");
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        ThrowErrno(EFBIG, "file too large");
    }
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowErrno(errno, "read");
        }
        if (got == 0) {
            return true;
        }
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > maxBytes) {
            ThrowErrno(EFBIG, "file too large"); // it grew while being read
        }
    }
}

std::string ResolveWriteTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        std::vector<char> target(static_cast<std::size_t>(info.st_size) + 1);
        for (;;) {
            const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
            if (length < 0) {
                ThrowErrno(errno, "readlink");
            }
            if (static_cast<std::size_t>(length) < target.size()) {
                target.resize(static_cast<std::size_t>(length));
                break;
            }
            target.resize(target.size() * 2); // the link changed under us: grow and retry
        }
        std::string next(target.begin(), target.end());
        if (next.empty()) {
            ThrowErrno(ENOENT, "readlink");
        }
        if (next.front() != '/' && current.find('/') != std::string::npos) {
            next = FolderOf(current) + "/" + next;
        }
        current = std::move(next);
    }
    ThrowErrno(ELOOP, "resolve links");
}

namespace {

[[noreturn]] void ThrowStage(FileWriteError::Stage stage, int error, const char* what) {
    throw FileWriteError(stage, error, what);
}

// Errors with which a folder refuses a new entry or a rename while the file
// in it may still be written.
bool FolderRefuses(int error) {
    return error == EACCES || error == EPERM || error == EBUSY;
}

void WriteAllOrThrow(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowStage(FileWriteError::Stage::Write, errno, "write");
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
}

ReplaceMethod WriteInPlace(const std::string& path, const ContentProducer& produce) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        ThrowStage(FileWriteError::Stage::Create, errno, "open");
    }
    OwnedFile file(fd, {});
    produce([&](std::string_view bytes) { WriteAllOrThrow(file.fd(), bytes); });
    if (::fsync(file.fd()) != 0) {
        ThrowStage(FileWriteError::Stage::Write, errno, "fsync");
    }
    try {
        file.close();
    } catch (const std::system_error& error) {
        ThrowStage(FileWriteError::Stage::Write, error.code().value(), "close");
    }
    return ReplaceMethod::WrittenInPlace;
}

} // namespace

ReplaceMethod ReplaceFileContent(const std::string& path, const ContentProducer& produce,
                                 HardLinks hardLinks) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            ThrowStage(FileWriteError::Stage::Create, S_ISDIR(old.st_mode) ? EISDIR : EINVAL,
                       "replace non-regular file");
        }
        // A rename would succeed over a read-only file; a plain write would not.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
            ThrowStage(FileWriteError::Stage::Create, errno, "access");
        }
        if (hardLinks == HardLinks::KeepTogether && old.st_nlink > 1) {
            return WriteInPlace(path, produce);
        }
    } else if (errno != ENOENT) {
        ThrowStage(FileWriteError::Stage::Create, errno, "stat");
    }

    // An existing file's content must never be visible with wider permissions, so its
    // replacement starts private and gets the old bits before it has any content.
    std::optional<OwnedFile> temporary;
    try {
        temporary.emplace(CreateTemporaryBeside(path, exists ? 0600 : 0666));
    } catch (const std::system_error& error) {
        if (exists && FolderRefuses(error.code().value())) {
            return WriteInPlace(path, produce);
        }
        ThrowStage(FileWriteError::Stage::Create, error.code().value(), "create temporary file");
    }
    if (exists) {
        struct stat mine {};
        if (::fstat(temporary->fd(), &mine) == 0 &&
            (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)) {
            // Only privileged processes may give a file away; others keep their own.
            [[maybe_unused]] const int ignored = ::fchown(temporary->fd(), old.st_uid, old.st_gid);
        }
        if (::fchmod(temporary->fd(), old.st_mode & 07777) != 0) {
            ThrowStage(FileWriteError::Stage::Create, errno, "fchmod");
        }
    }
    produce([&](std::string_view bytes) { WriteAllOrThrow(temporary->fd(), bytes); });
    if (::fsync(temporary->fd()) != 0) {
        ThrowStage(FileWriteError::Stage::Write, errno, "fsync");
    }
    try {
        temporary->close();
    } catch (const std::system_error& error) {
        ThrowStage(FileWriteError::Stage::Write, error.code().value(), "close");
    }
    if (::rename(temporary->path().c_str(), path.c_str()) != 0) {
        const int error = errno;
        if (exists && FolderRefuses(error)) {
            temporary.reset(); // removes it where the folder allows
            return WriteInPlace(path, produce);
        }
        ThrowStage(FileWriteError::Stage::Write, error, "rename");
    }
    temporary->keep();
    SyncFolder(FolderOf(path));
    return ReplaceMethod::Replaced;
}

ReplaceMethod ReplaceFileContent(const std::string& path, std::string_view content) {
    return ReplaceFileContent(
        path, [content](const std::function<void(std::string_view)>& write) { write(content); });
}

TemporaryFileOpen SetTemporaryFileOpen(TemporaryFileOpen open) {
    const TemporaryFileOpen before = temporaryFileOpen;
    temporaryFileOpen = open ? open : OpenFile;
    return before;
}

} // namespace velmora
