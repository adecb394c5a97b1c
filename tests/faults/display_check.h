// Checks that the two displays show only what a delivery from the meter may put there.
#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

// The texts of both displays.
struct DisplayTexts {
    std::string upper;
    std::string lower;
    bool operator==(const DisplayTexts&) const = default;
};

// Empty when `after` is what handling the delivered `chunk` may leave on the
// displays that showed `before`, else a description of the fault:
// - a reply (the chunk up to its first zero byte, trimmed) that does not parse
//   as a reading, or is a quoted function name, leaves both displays alone;
// - a reading shows on the upper display as its value scaled by the prefix on
//   the lower one (within 15 significant digits), or 999999999 with "M" beyond
//   the mega range; the lower display is eight blanks, the prefix and a known
//   unit label.
std::string DisplayFault(std::string_view chunk, const DisplayTexts& before,
                         const DisplayTexts& after);

} // namespace velmora::test
