// Where the settings file lives: beside the executable, named after it.
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

} // namespace velmora
