// Where the settings files live: beside the executable, named after it, and in the
// user's configuration folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// The text of /proc/self/exe without the mark the kernel adds once the file is
// gone (a package upgraded under the running program):
//   "/usr/bin/velmora (deleted)" -> "/usr/bin/velmora"
std::string ExecutablePathFromLink(std::string linkText);

// SettingsPathForExecutable(ExecutablePath()).
std::string DefaultSettingsPath();

// The variables that locate the user's configuration folder; empty means unset.
struct ConfigEnvironment {
    std::string xdgConfigHome; // $XDG_CONFIG_HOME
    std::string home;          // $HOME
    std::string xdgConfigDirs; // $XDG_CONFIG_DIRS ("/etc/xdg" when empty)
};

// Where the settings of the program at `executablePath` are kept (see LayeredSettings):
//   beside: SettingsPathForExecutable(executablePath);
//   user:   "<config>/velmora/<name>.ini", <name> the executable's file name by the
//           same ".ini" rule, <config> being xdgConfigHome when it is an absolute
//           path, else "<home>/.config"; empty when neither variable gives a folder.
//   "/opt/bench/velmora", {"", "/home/ann"} -> beside "/opt/bench/velmora.ini",
//                                              user "/home/ann/.config/velmora/velmora.ini"
//   "/usr/bin/meter2", {"/cfg", "/home/ann"} -> user "/cfg/velmora/meter2.ini"
// An installed program (its executable in `installedBinFolder`, where the
// package puts it) keeps nothing beside itself, as the system's conventions ask:
//   beside:   empty (the user's file takes every write);
//   defaults: "<dir>/velmora/<name>.ini" for each absolute folder of
//             xdgConfigDirs (":"-separated, "/etc/xdg" when empty), in order;
// unless no user file can be found, when it keeps its file beside itself after all.
//   "/usr/bin/velmora", {"", "/home/ann", ""}, "/usr/bin"
//       -> user "/home/ann/.config/velmora/velmora.ini",
//          defaults {"/etc/xdg/velmora/velmora.ini"}
// A portable copy (anywhere else) keeps its file beside itself, and reads no defaults.
// Nothing is created here: folders are made by the first write that needs them.
struct SettingsLocations {
    std::string beside;
    std::string user;
    std::vector<std::string> defaults;
};
SettingsLocations SettingsLocationsFor(const std::string& executablePath,
                                       const ConfigEnvironment& environment,
                                       std::string_view installedBinFolder = {});

// The same with this process's $XDG_CONFIG_HOME, $HOME (the password database's
// home folder when $HOME is unset) and $XDG_CONFIG_DIRS, and the folder this
// build installs its programs in.
SettingsLocations SettingsLocationsFor(const std::string& executablePath);

} // namespace velmora
