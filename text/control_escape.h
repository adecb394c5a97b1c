// Control characters made visible: "a\x1b[2Jb" -> "a\\x1b[2Jb", so a text can never act on a
// terminal.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Every C0 control (0x00-0x1F), DEL and C1 control (U+0080-U+009F) becomes
// "\xHH" ("\u0085" for a C1 control written in UTF-8), and so does every
// byte that is not part of valid UTF-8 (a raw 0x9B from a line fault).
// Printable text, non-ASCII included ("é", "ą"), stays as it is.
std::string EscapeControls(std::string_view text);

} // namespace velmora
