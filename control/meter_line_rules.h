// What another program may send to the meter through Velmora, and what it may not.
#pragma once

#include "control/control_error.h"

#include <optional>
#include <string_view>

namespace velmora {

// The longest line passed to the meter (its input buffer is small).
inline constexpr size_t kLongestMeterLine = 256;

// Why `line` cannot go to the meter as a command (`query` false) or a query
// (`query` true); nothing when it can. Refused (-221): remote and local mode
// and the lock-out (Velmora holds the meter in remote mode), "*RST" (it would
// throw away the settings Velmora gave), calibration, several commands in one
// line (their replies could not be told apart), a query sent as a command
// and a command sent as a query. Control characters and an empty or
// overlong line: -151.
std::optional<ControlError> MeterLineProblem(std::string_view line, bool query);

} // namespace velmora
