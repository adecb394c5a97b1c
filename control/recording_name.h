// The file names a client may give a recording: bare names in the recording folder only.
#pragma once

#include "control/control_error.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr size_t kLongestRecordingName = 200;

// Why `name` is not a bare file name the interface may write (-151): empty,
// a '/', a leading '.' (hidden files, "." and ".."), a control character, or
// longer than 200 bytes.
std::optional<ControlError> RecordingNameProblem(std::string_view name);

// The name with ".csv" added when it has no suffix, as the window adds it.
std::string RecordingFileName(const std::string& name);

} // namespace velmora
