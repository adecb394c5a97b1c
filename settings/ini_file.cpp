// The settings file: an INI file read and written through, value by value.
#include "settings/ini_file.h"

#include "settings/file_replace.h"
#include "settings/ini_file_exception.h"
#include "settings/ini_text.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace velmora {

IniFile::IniFile(std::string path)
    : path_(std::move(path)) {}

IniFile::~IniFile() = default;

std::string IniFile::contentForReading() const {
    std::string content;
    try {
        ReadFileIfExists(path_, content, kIniMaxFileSize);
    } catch (const std::system_error&) {
        content.clear(); // reads never fail: an unreadable file is a missing one
    }
    return content;
}

std::optional<std::string> IniFile::readProblem() const {
    std::string content;
    try {
        ReadFileIfExists(path_, content, kIniMaxFileSize);
    } catch (const std::system_error& error) {
        switch (error.code().value()) {
        case EINVAL:
            return "not a regular file";
        case EFBIG:
            return "larger than 1 MiB";
        default:
            return error.code().message();
        }
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::findValue(std::string_view section,
                                              std::string_view key) const {
    return IniFindValue(contentForReading(), section, key);
}

bool IniFile::hasSection(std::string_view section) const {
    return IniHasSection(contentForReading(), section);
}

std::string IniFile::readValue(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    std::optional<std::string> value = IniFindValue(contentForReading(), section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

void IniFile::writeValue(std::string_view section, std::string_view key, std::string_view value) {
    if (!IniIsWritable(section, key, value)) {
        throwUnableToWrite();
    }
    try {
        const std::string target = ResolveWriteTarget(path_);
        std::string old;
        const bool exists = ReadFileIfExists(target, old, kIniMaxFileSize);
        std::string updated = IniWithValue(old, section, key, value);
        if (exists && updated == old) {
            return;
        }
        ReplaceFileContent(target, updated);
    } catch (const std::system_error&) {
        throwUnableToWrite();
    }
}

void IniFile::throwUnableToWrite() const {
    throw EIniFileException("Unable to write to " + path_);
}

} // namespace velmora
