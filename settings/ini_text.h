// Reading and editing INI text held in memory; IniFile does the file I/O around it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The longest value a read returns; longer values are cut to this many bytes.
inline constexpr std::size_t kIniMaxValueLength = 2047;
// The largest settings file read: a hand-made settings file is a few lines, and
// a path that leads somewhere endless (/dev/zero) must not exhaust memory.
inline constexpr std::size_t kIniMaxFileSize = std::size_t{1} << 20;

// How the text is understood (a line ends at LF, CR LF or a lone CR; a UTF-8
// byte-order mark at the very start is not part of the first line):
//   "[ COM Info ] x"  section header; the name is the text between "[" and the first
//                     "]" without outer blanks (spaces, tabs); the rest is ignored.
//                     A "[" line without "]" ends the section before it but cannot
//                     be matched by any name.
//   "  Port = com1 "  key line: name = text before the first "=", without outer blanks;
//                     raw value = the text after that "=".
//   "; note"          comment (first non-blank byte ";"): no key.
//   "junk", "=x", ""  no key (no "=", or an empty name); kept as they are.
// Names match under ASCII case folding; bytes 128..255 must match exactly. With
// duplicate sections or keys, the first one wins for reads and writes alike.

// The raw value as a read returns it: outer blanks removed, then one pair of matching
// single or double quotes around the whole, then cut to kIniMaxValueLength.
//   "  com1 " -> "com1"   "' com1 '" -> " com1 "   "\"x'" -> "\"x'"   "\"" -> "\""
std::string IniValueAsRead(std::string_view raw);

// True when `section` exists (first occurrence) and holds at least one key line.
bool IniHasSection(std::string_view text, std::string_view section);

// The value of `key` in `section` as read, or nothing when the section or key is
// missing. Empty names never match.
std::optional<std::string> IniFindValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// True when writing these names and value yields a line that reads back as
// `section`/`key` with IniValueAsRead(value): no CR, LF or NUL anywhere, names not
// empty and without outer blanks, no "]" in the section name, no "=" in the key name
// and no ";" or "[" at its start.
bool IniIsWritable(std::string_view section, std::string_view key, std::string_view value);

// `text` with `key` in `section` set to `value` (requires IniIsWritable):
// - key present: the value after "=" is replaced, the blanks before it kept unless the
//   new value starts with a blank itself ("k = 1" -> "k = 2", but "k =  2" for " 2");
//   the line end stays as it was. Writing the same value twice changes nothing.
// - section present, key missing: "key=value" CR LF is inserted after the section's
//   last key line (after the header when it has none), so trailing blank lines and
//   comments stay in front of the next section.
// - section missing: "[section]" CR LF "key=value" CR LF is appended at the end.
// An unterminated last line gets CR LF before anything is added after it; new
// lines always end in CR LF, whatever line ends the file has.
// Every other byte stays as it was.
std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);

} // namespace velmora
