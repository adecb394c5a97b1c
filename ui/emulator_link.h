// Where the meter emulator offers its port: one well-known path per user.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// "<runtimeDir>/velmora-meter" when `runtimeDir` is an absolute path naming a
// folder (the user's private runtime folder), else "/tmp/velmora-meter-<uid>".
// An empty `runtimeDir` stands for an unset variable.
//   EmulatorLinkPath("/run/user/1000", 1000) -> "/run/user/1000/velmora-meter"
//   EmulatorLinkPath("", 1000)               -> "/tmp/velmora-meter-1000"
std::string EmulatorLinkPath(std::string_view runtimeDir, uid_t uid);

// The same for this process: $XDG_RUNTIME_DIR and the real user id.
std::string EmulatorLinkPath();

} // namespace velmora
