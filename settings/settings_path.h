// Where the settings files live: beside the executable, named after it, and in the
// user's configuration folder.
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

// Where the settings of the program at `executablePath` are kept (see LayeredSettings):
//   beside: SettingsPathForExecutable(executablePath);
//   user:   "<config>/velmora/<name>.ini", <name> the executable's file name by the
//           same ".ini" rule, <config> being xdgConfigHome when it is an absolute
//           path, else "<home>/.config"; empty when neither variable gives a folder.
//   "/opt/bench/velmora", {"", "/home/ann"} -> beside "/opt/bench/velmora.ini",
//                                              user "/home/ann/.config/velmora/velmora.ini"
//   "/usr/bin/meter2", {"/cfg", "/home/ann"} -> user "/cfg/velmora/meter2.ini"
// Nothing is created here: folders are made by the first write that needs them.
struct SettingsLocations {
    std::string beside;
    std::string user;
};
SettingsLocations SettingsLocationsFor(const std::string& executablePath,
                                       const ConfigEnvironment& environment);

// The same with this process's $XDG_CONFIG_HOME and $HOME (the password database's
// home folder when $HOME is unset).
SettingsLocations SettingsLocationsFor(const std::string& executablePath);

} // namespace velmora
