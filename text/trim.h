// TrimBlanks: strips control characters and blanks from both ends of a text.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Removes the bytes 0..32 at the start and the end; bytes 128..255 are text
// and stay. TrimBlanks("+1.0E+00\r\n") -> "+1.0E+00", TrimBlanks("\t \r") -> "".
std::string TrimBlanks(std::string_view text);

} // namespace velmora
