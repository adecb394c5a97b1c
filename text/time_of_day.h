// Time of day as a fraction of a day, and its text by a time pattern.
#pragma once

#include "text/regional_settings.h"

#include <string>

namespace velmora {

// A time of day split into its fields, hour 0..23.
struct TimeOfDayParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local wall-clock time of day as a fraction of a day (0.5 is noon), in
// whole milliseconds. A leap second shows as second 59.
double CurrentTimeOfDay();

// hour:minute:second.millisecond as a fraction of a day.
//   MakeTimeOfDay(12, 0, 0, 0) -> 0.5
double MakeTimeOfDay(int hour, int minute, int second, int millisecond);

// Rounds time x 86400000 to whole milliseconds and splits it. Only the time
// of day counts: a day part is dropped, a negative value counts by its
// magnitude (as date-times before day 0 do), and a value that is not finite
// counts as midnight. Seconds are never rounded up from milliseconds.
TimeOfDayParts SplitTimeOfDay(double time);

// Walks settings.longTimePattern from left to right (letters in any case):
//   h, hh        hour; hh with two digits; 12-hour clock when an AM/PM
//                element follows before the next hour or came earlier
//   n, nn        minute; m, mm also when the last letter element was an hour
//   s, ss        second
//   z, zzz       millisecond; zzz with three digits (zz as z)
//   AMPM         settings.amText before noon, settings.pmText from noon
//   AM/PM, A/P   the part before or after the slash, as written
//   :            settings.timeMark (nothing when it is '\0')
//   '...' "..."  the quoted text
// Longer runs count as two letters (three for z). Date letters have no
// value here; they and every other character pass through unchanged.
//   "h:mm:ss AMPM", 13:05:09 -> "1:05:09 PM" (amText "AM", pmText "PM")
//   "hh:mm:ss", 09:05:03, timeMark '.' -> "09.05.03"
std::string FormatTimeOfDay(double time, const RegionalSettings& settings);
// Same with the regional settings in force.
std::string FormatTimeOfDay(double time);

} // namespace velmora
