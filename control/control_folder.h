// Where the control interface's socket and token live, and who may reach them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// $XDG_RUNTIME_DIR/velmora, or /tmp/velmora-UID when that is not set.
std::string ControlFolder();

// Makes `folder` with mode 0700 when it is not there. Why it cannot be
// used: not a folder (a link is not followed), another user owns it, or
// its group or others can write to it.
std::optional<std::string> PreparePrivateFolder(const std::string& folder);

// A file name for the meter's socket from its name or port: the last part
// of a path, anything but letters, digits, '.', '_' and '-' made '_', no
// leading '.', at most 64 bytes ("/dev/ttyUSB0" -> "ttyUSB0").
std::string SocketNameFor(std::string_view meter);

// A fresh random token (32 hex digits) in `path`, made or replaced with mode
// 0600; throws std::system_error when it cannot be written.
std::string WriteTokenFile(const std::string& path);

} // namespace velmora
