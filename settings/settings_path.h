// Where the settings file lives: beside the executable, named after it, or in the user's
// configuration folder when the executable's folder cannot be written.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The executable's path with its extension changed to ".ini". The extension starts at
// the last "." of the file name (a "." in a folder name does not count); a name
// without one gets ".ini" appended. Leading dots belong to the name, so a hidden file
// keeps its whole name:
//   "/opt/bench.2/velmora" -> "/opt/bench.2/velmora.ini"
//   "/x/meter.bin"         -> "/x/meter.ini"
//   "/x/.hidden"           -> "/x/.hidden.ini"
//   "/x/.hidden.bin"       -> "/x/.hidden.ini"
//   "/x/meter."            -> "/x/meter.ini"
std::string SettingsPathForExecutable(std::string_view executablePath);

// The real path of the running executable (/proc/self/exe with every link resolved).
// Throws Exception when the system cannot tell it.
std::string ExecutablePath();

// SettingsPathForExecutable(ExecutablePath()).
std::string DefaultSettingsPath();

// The variables that locate the user's configuration folder; empty means unset.
struct ConfigEnvironment {
    std::string xdgConfigHome; // $XDG_CONFIG_HOME
    std::string home;          // $HOME
};

// The settings file for the program at `executablePath`:
//   - SettingsPathForExecutable(executablePath) while this process may create and
//     replace files in the executable's folder and may write the file if it exists
//     (a build tree, a portable copy);
//   - else "<config>/velmora/velmora.ini", where <config> is xdgConfigHome when it is
//     an absolute path, else "<home>/.config" (an installed program). Missing folders
//     on the way are created with mode 0700; if that fails the path is returned all
//     the same, so the first write reports it.
//   - the path beside the executable when neither variable gives a folder.
std::string ChooseSettingsPath(const std::string& executablePath,
                               const ConfigEnvironment& environment);

// The same with this process's $XDG_CONFIG_HOME and $HOME (the password database's
// home folder when $HOME is unset).
std::string ChooseSettingsPath(const std::string& executablePath);

} // namespace velmora
