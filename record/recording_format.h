// The recording's file format: one CSV row per reading or event, as it is written.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The first line of every recording. Columns:
//   sequence  1, 2, 3 ... for every row of the recording, events included
//   time      local time of the row, ISO 8601 with milliseconds and UTC offset
//   seconds   since the recording started (monotonic clock), three decimals
//   value     the reading as a number ("." decimals, any locale); empty for
//             events and overloads
//   unit      the unit label of the meter's function ("V DC", "OHM"); empty
//             while the meter has not named its function
//   status    "ok" for a reading, "overload" for an overload reading (the
//             meter's +/-9.9E37), "burst" for a reading of a burst (several
//             readings answered at once) whose time is its place in the burst,
//             spread back from the burst's arrival by the sample interval;
//             empty for events
//   event     what happened ("recording started", "function V DC", "port
//             lost", ...); empty for readings
// Nothing is quoted: no field ever holds a comma, a quote or a line end.
//   1,2026-12-09T10:15:00.123+01:00,0.000,,,,recording started
//   2,2026-12-09T10:15:00.178+01:00,0.055,1160.4076,OHM,ok,
//   3,2026-12-09T10:15:00.279+01:00,0.156,,OHM,overload,
inline constexpr std::string_view kRecordingHeader =
    "sequence,time,seconds,value,unit,status,event";
// A recording started with math on has three columns more:
//   math       the derived value ("." decimals); empty for events, overloads
//              and inputs outside a conversion's range
//   math_unit  its unit, UTF-8 ("°C", "dBm", "mA")
//   limit      "pass", "low" or "high" with a limit test on; else empty
// A file is written on in the columns its header has.
inline constexpr std::string_view kRecordingMathHeader =
    "sequence,time,seconds,value,unit,status,event,math,math_unit,limit";

// The derived fields of a reading.
struct RecordingMath {
    std::optional<double> value; // nothing: an overload or out of range
    std::string unit;
    std::string limit;
};

// One row, before it is written.
struct RecordingRow {
    uint64_t sequence = 0;
    timespec wallClock{};             // CLOCK_REALTIME
    double seconds = 0;               // since the start
    std::optional<long double> value; // a reading (overloads included)
    std::string unit;
    std::string event; // empty for readings
    // A burst's reading: its time lies this long before the row is written.
    std::optional<double> spreadBack;
    bool mathColumns = false; // the file has the three math columns
    std::optional<RecordingMath> math;
};

// A burst's reading: its wall-clock time and seconds moved back by
// spreadBack (the seconds never below 0); other rows are left alone.
void ApplySpreadBack(RecordingRow& row);
// `wall` moved back by `seconds` (to the nanosecond, truncated): the time
// a burst's reading is given, by the recording and by its publishers alike.
timespec WallClockBefore(const timespec& wall, double seconds);

// What the meter sends for an open input or a value beyond its range, as
// the chart counts it (its conversion may land a hair below 9.9E37).
inline constexpr long double kRecordingOverload = 9.899999995E37L;

// A reading's status column: "overload" for the meter's overload value,
// "burst" for a reading of a burst, else "ok".
const char* ReadingStatus(long double value, bool burst);

// "2026-12-09T10:15:00.123+01:00" in the process's time zone.
std::string FormatRecordingTime(const timespec& wallClock);

// The shortest text that reads back as the same double: 1160.4076 ->
// "1160.4076", 1.23e-5 -> "1.23e-05", never a comma.
std::string FormatRecordingValue(long double value);

// A field as it can stand in the file: commas, quotes and line ends are
// replaced by blanks ("a,b" -> "a b"), other control characters escaped
// ("a\x1bb" -> "a\\x1bb").
std::string RecordingField(std::string_view text);

// The row's line, ending in LF.
std::string FormatRecordingRow(const RecordingRow& row);

} // namespace velmora
