// TimeFormatItems: the clock items a POSIX time format implies.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// What the long time pattern is built from. The defaults stand for items
// that cannot be read: 12-hour clock, no leading zero, marker after the time.
struct TimeFormatItems {
    bool twelveHour = true;   // %I or %l in the time format
    bool leadingZero = false; // the hour is %H or %I (zero-padded)
    bool markerFirst = false; // %p/%P before the hour in the AM/PM format
    char timeMark = '\0';     // the one byte between hour, minute and second; 0 when none
};

// Reads the items from T_FMT and T_FMT_AMPM after expanding %T, %R and %r.
// glibc's flags are honoured for the padding: "%-H" and "%_H" have no
// leading zero, "%0k" has one.
//   ("%H:%M:%S", "%I:%M:%S %p")  -> 24 h, leading zero, marker after, ':'
//   ("%r",       "%I:%M:%S %p")  -> 12 h, leading zero, marker after, ':'
//   ("%H時%M分%S秒", "%p%I時%M分%S秒") -> 24 h, leading zero, marker first, none
//   ("", "")                      -> the defaults
TimeFormatItems AnalyseTimeFormats(std::string_view timeFormat, std::string_view ampmTimeFormat);

// The long time pattern: an optional "AMPM " or " AMPM" for a 12-hour clock
// around "h" or "hh" and ":mm:ss".
//   {24 h, leading zero}            -> "hh:mm:ss"
//   {12 h, no leading zero}         -> "h:mm:ss AMPM"
//   {12 h, leading zero, first}     -> "AMPM hh:mm:ss"
std::string BuildLongTimePattern(const TimeFormatItems& items);

} // namespace velmora
