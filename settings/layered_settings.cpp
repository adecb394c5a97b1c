// The program's settings in layers: the file beside the program, and the user's own file.
#include "settings/layered_settings.h"

#include "settings/ini_file_exception.h"

#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace velmora {

namespace {

// Makes every missing folder above `file` private to the user.
void MakeFoldersFor(const std::string& file) {
    const std::size_t last = file.rfind('/');
    if (last == std::string::npos || last == 0) {
        return;
    }
    const std::string folder = file.substr(0, last);
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return; // the write reports it
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

} // namespace

LayeredSettings::LayeredSettings(std::string besidePath, std::string userPath,
                                 std::vector<std::string> defaultsPaths)
    : beside_(std::move(besidePath))
    , user_(std::move(userPath)) {
    for (std::string& path : defaultsPaths) {
        defaults_.emplace_back(std::move(path));
    }
}

bool LayeredSettings::hasSection(std::string_view section) const {
    if (!user_.path().empty() && user_.hasSection(section)) {
        return true;
    }
    if (!beside_.path().empty() && beside_.hasSection(section)) {
        return true;
    }
    for (const IniFile& layer : defaults_) {
        if (layer.hasSection(section)) {
            return true;
        }
    }
    return false;
}

std::string LayeredSettings::readValue(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const {
    if (!user_.path().empty()) {
        if (std::optional<std::string> value = user_.findValue(section, key)) {
            return std::move(*value);
        }
    }
    if (!beside_.path().empty()) {
        if (std::optional<std::string> value = beside_.findValue(section, key)) {
            return std::move(*value);
        }
    }
    for (const IniFile& layer : defaults_) {
        if (std::optional<std::string> value = layer.findValue(section, key)) {
            return std::move(*value);
        }
    }
    return std::string(defaultValue);
}

void LayeredSettings::writeValue(std::string_view section, std::string_view key,
                                 std::string_view value) {
    if (!user_.path().empty() && (beside_.path().empty() || user_.findValue(section, key))) {
        writeToUserFile(section, key, value);
        return;
    }
    try {
        beside_.writeValue(section, key, value);
        return;
    } catch (const EIniFileException&) {
        if (user_.path().empty()) {
            throw;
        }
    }
    writeToUserFile(section, key, value);
    if (!toldStoredInUserFile_) {
        toldStoredInUserFile_ = true;
        if (onStoredInUserFile) {
            onStoredInUserFile(user_.path());
        }
    }
}

void LayeredSettings::writeToUserFile(std::string_view section, std::string_view key,
                                      std::string_view value) {
    MakeFoldersFor(user_.path());
    try {
        user_.writeValue(section, key, value);
    } catch (const EIniFileException&) {
        throw EIniFileException("Unable to write to " + path());
    }
}

std::vector<std::pair<std::string, std::string>> LayeredSettings::unreadableLayers() const {
    std::vector<std::pair<std::string, std::string>> unreadable;
    const auto check = [&](const IniFile& layer) {
        if (layer.path().empty()) {
            return;
        }
        if (std::optional<std::string> problem = layer.readProblem()) {
            unreadable.emplace_back(layer.path(), std::move(*problem));
        }
    };
    check(user_);
    check(beside_);
    for (const IniFile& layer : defaults_) {
        check(layer);
    }
    return unreadable;
}

} // namespace velmora
