// The program's settings in layers: the file beside the program, and the user's own file.
#pragma once

#include "settings/ini_file.h"
#include "settings/settings_store.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The file beside the program (a portable copy's own, or an administrator's
// read-only defaults) gives the values; what cannot be written there goes to
// the user's file, which from then on comes first for every key it holds:
//   read:  the user's file, then the file beside the program, then each
//          further defaults file in turn, then the caller's default;
//   write: to the user's file when it already holds the key (else the new
//          value would hide behind it), otherwise beside the program, and to
//          the user's file when that is refused. Missing folders of the
//          user's file are made (mode 0700) on its first write.
// So nothing written is lost on the next read, and an administrator's file is
// read even when nobody may write it. A write that no layer takes throws
// EIniFileException "Unable to write to <beside path>".
class LayeredSettings : public SettingsStore {
public:
    // `userPath` empty: no user layer (writes beside the program only).
    // `besidePath` empty: nothing beside the program (an installed one): the
    // user's file, then the defaults files, and every write to the user's file.
    LayeredSettings(std::string besidePath, std::string userPath,
                    std::vector<std::string> defaultsPaths = {});

    bool hasSection(std::string_view section) const override;
    std::string readValue(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const override;
    void writeValue(std::string_view section, std::string_view key,
                    std::string_view value) override;
    // The path beside the program, as the error messages name it; the user's
    // file when there is none beside the program (an installed program).
    const std::string& path() const override {
        return beside_.path().empty() ? user_.path() : beside_.path();
    }

    // Called once, with the user's file, the first time a value went there
    // because the file beside the program refused it.
    std::function<void(const std::string& userPath)> onStoredInUserFile;

    // The layers that exist but cannot be read, with the reason, in read order.
    std::vector<std::pair<std::string, std::string>> unreadableLayers() const;

private:
    void writeToUserFile(std::string_view section, std::string_view key, std::string_view value);

    IniFile beside_;
    IniFile user_;
    std::vector<IniFile> defaults_;
    bool toldStoredInUserFile_ = false;
};

} // namespace velmora
