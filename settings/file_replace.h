// Whole-file reading and crash-safe replacement of a file's content (POSIX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora {

// Reads the whole file into `content`. Returns false when the file does not exist
// (nor a folder on its way); throws std::system_error on any other failure, so that
// a writer never mistakes an unreadable file for an empty one. Only a regular file
// is read (EINVAL otherwise; a FIFO or a device is opened without waiting and
// never read), and only up to `maxBytes` (EFBIG beyond).
bool ReadFileIfExists(const std::string& path, std::string& content,
                      std::size_t maxBytes = SIZE_MAX);

// The path a write to `path` has to replace: symbolic links, dangling ones too, are
// followed to their target so that the link itself stays a link.
// Throws std::system_error (ELOOP after 40 links, or a failing readlink).
std::string ResolveWriteTarget(const std::string& path);

// Why a replacement failed: the file could not be created or opened for
// writing (Create), or bytes could not be written or flushed (Write).
class FileWriteError : public std::system_error {
public:
    enum class Stage { Create, Write };
    FileWriteError(Stage stage, int error, const char* what)
        : std::system_error(error, std::generic_category(), what)
        , stage_(stage) {}
    Stage stage() const { return stage_; }

private:
    Stage stage_;
};

// Hands the new content over piece by piece; `write` throws FileWriteError
// when the bytes cannot be written. May be called twice (see below).
using ContentProducer = std::function<void(const std::function<void(std::string_view)>& write)>;

enum class HardLinks { Separate, KeepTogether };
enum class ReplaceMethod { Replaced, WrittenInPlace };

// Replaces the content of the file at `path` (not a link). Where the folder allows
// it, in one step: the new content goes to a fresh file beside it, is flushed to
// the disk, and is renamed over the old one; the folder is flushed too. An existing
// file keeps its permission bits (and its owner where the process may set it); a
// new one gets 0666 less the umask. On failure the old file is untouched and the
// temporary file removed.
//
// Where the folder refuses the new file or the rename (a folder the user may not
// write, a sticky folder holding another user's file) but the file itself may be
// written, the content is written into the existing file instead (truncated
// first), as a plain save would: `produce` then runs a second time. So does a
// file with other hard links under HardLinks::KeepTogether, so that every name
// keeps showing the same content. A file this process could not open for
// writing is refused either way. Throws FileWriteError.
ReplaceMethod ReplaceFileContent(const std::string& path, const ContentProducer& produce,
                                 HardLinks hardLinks = HardLinks::Separate);
// The same for content held in memory.
ReplaceMethod ReplaceFileContent(const std::string& path, std::string_view content);

// How the temporary file is created (::open by default); tests put in their
// own to meet a folder where every name tried is taken. Returns the one before.
using TemporaryFileOpen = int (*)(const char* path, int flags, mode_t mode);
TemporaryFileOpen SetTemporaryFileOpen(TemporaryFileOpen open);

} // namespace velmora
