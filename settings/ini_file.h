// The settings file: an INI file read and written through, value by value.
#pragma once

#include "settings/settings_store.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Keeps only the file's path: every call reads or writes the file itself, so a value
// written through one object is what the next read through any object sees, and
// hand edits between calls are seen too. Meant for one thread at a time; two
// processes writing the same file at once may lose one of the two values.
//
// The file is 8-bit text passed through unchanged; lines this class writes end in
// CR LF, other lines keep their own line ends (LF-only files read the same). See
// ini_text.h for how lines are understood and where new lines go.
//
// Only a regular file of at most kIniMaxFileSize bytes is read: anything else at
// the path (a FIFO, a device, a huge file) reads as missing, is never written
// over, and readProblem() says why.
class IniFile : public SettingsStore {
public:
    // Touches no file; a missing file reads as empty.
    explicit IniFile(std::string path);
    // Every write has already reached the disk when writeValue returned, so nothing
    // is left to flush here.
    ~IniFile() override;

    const std::string& path() const override { return path_; }

    // True when the section exists and holds at least one key. Never fails.
    bool hasSection(std::string_view section) const override;

    // The value (outer blanks and one pair of quotes removed, cut to 2,047 bytes), or
    // `defaultValue` when the file, section or key is missing or the file cannot be
    // read. Names match under ASCII case folding. Never fails.
    std::string readValue(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const override;
    // The same, or nothing when the key is missing.
    std::optional<std::string> findValue(std::string_view section, std::string_view key) const;

    // Why a file that exists cannot be read ("not a regular file", "larger than
    // 1 MiB", the system's reason), or nothing when it reads (or is missing).
    std::optional<std::string> readProblem() const;

    // Sets the key to `value` on disk at once, creating file, section or key as
    // needed. The file is replaced as a whole (see ReplaceFileContent), so a failure
    // leaves it as it was; a symbolic link is written through to its target. A write
    // that changes nothing does not touch the file. Throws EIniFileException
    // "Unable to write to <path>" when the file system refuses the write, the old
    // file cannot be read, or the names or value cannot be stored as one line that
    // reads back as written (CR, LF or NUL; see IniIsWritable).
    void writeValue(std::string_view section, std::string_view key,
                    std::string_view value) override;

private:
    std::string contentForReading() const;
    [[noreturn]] void throwUnableToWrite() const;

    std::string path_;
};

} // namespace velmora
