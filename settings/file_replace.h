// Whole-file reading and crash-safe replacement of a file's content (POSIX).
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Reads the whole file into `content`. Returns false when the file does not exist
// (nor a folder on its way); throws std::system_error on any other failure, so that
// a writer never mistakes an unreadable file for an empty one.
bool ReadFileIfExists(const std::string& path, std::string& content);

// The path a write to `path` has to replace: symbolic links, dangling ones too, are
// followed to their target so that the link itself stays a link.
// Throws std::system_error (ELOOP after 40 links, or a failing readlink).
std::string ResolveWriteTarget(const std::string& path);

// Replaces the content of the file at `path` (not a link) in one step: the new content
// goes to a fresh file beside it, is flushed to the disk, and is renamed over the old
// one; the folder is flushed too. An existing file keeps its permission bits (and its
// owner where the process may set it); a new one gets 0666 less the umask. A file
// that this process could not open for writing is refused, as a plain write would be.
// On failure the old file is untouched, the temporary file is removed and
// std::system_error is thrown. Hard links to the old file keep the old content.
void ReplaceFileContent(const std::string& path, std::string_view content);

} // namespace velmora
