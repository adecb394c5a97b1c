// The recording's rows as text.
#include "record/recording_format.h"

#include "text/control_escape.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora {

std::string FormatRecordingTime(const timespec& wallClock) {
    tm local{};
    const time_t seconds = wallClock.tv_sec;
    localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, wallClock.tv_nsec / 1000000, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string FormatRecordingValue(long double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(value));
    return std::string(text, result.ptr);
}

std::string RecordingField(std::string_view text) {
    std::string field(text);
    for (char& c : field) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    // A meter's text in an event must not act on a terminal the file is shown on.
    return EscapeControls(field);
}

std::string FormatRecordingRow(const RecordingRow& row) {
    std::string line = std::to_string(row.sequence);
    line += ',';
    line += FormatRecordingTime(row.wallClock);
    // Not printf: the program runs in the user's locale, and "0,250" would
    // split the column in two.
    char seconds[32];
    const auto written =
        std::to_chars(seconds, seconds + sizeof seconds, row.seconds, std::chars_format::fixed, 3);
    line += ',';
    line.append(seconds, written.ptr);
    line += ',';
    const bool overload = row.value && std::fabs(*row.value) >= kRecordingOverload;
    if (row.value && !overload) {
        line += FormatRecordingValue(*row.value);
    }
    line += ',';
    line += RecordingField(row.unit);
    line += ',';
    if (row.value) {
        line += ReadingStatus(*row.value, row.spreadBack.has_value());
    }
    line += ',';
    line += RecordingField(row.event);
    if (row.mathColumns) {
        line += ',';
        if (row.math && row.math->value) {
            line += FormatRecordingValue(*row.math->value);
        }
        line += ',';
        line += row.math ? RecordingField(row.math->unit) : std::string();
        line += ',';
        line += row.math ? RecordingField(row.math->limit) : std::string();
    }
    line += '\n';
    return line;
}

timespec WallClockBefore(const timespec& wall, double seconds) {
    const auto back = static_cast<int64_t>(seconds * 1e9);
    timespec before = wall;
    int64_t nanoseconds = wall.tv_nsec - back % 1'000'000'000;
    before.tv_sec -= static_cast<time_t>(back / 1'000'000'000);
    if (nanoseconds < 0) {
        nanoseconds += 1'000'000'000;
        before.tv_sec -= 1;
    }
    before.tv_nsec = static_cast<long>(nanoseconds);
    return before;
}

const char* ReadingStatus(long double value, bool burst) {
    return std::fabs(value) >= kRecordingOverload ? "overload" : burst ? "burst" : "ok";
}

void ApplySpreadBack(RecordingRow& row) {
    if (!row.spreadBack) {
        return;
    }
    row.wallClock = WallClockBefore(row.wallClock, *row.spreadBack);
    row.seconds = std::max(0.0, row.seconds - *row.spreadBack);
}

} // namespace velmora
