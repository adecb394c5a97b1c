// Time of day as a fraction of a day, and its text by a time pattern.
#include "text/time_of_day.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <string_view>

namespace velmora {

namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetter(char c) {
    return Upper(c) >= 'A' && Upper(c) <= 'Z';
}

// Case-insensitive match of an upper-case element at position i.
bool ElementAt(std::string_view pattern, size_t i, std::string_view element) {
    if (pattern.size() - i < element.size()) {
        return false;
    }
    for (size_t k = 0; k < element.size(); ++k) {
        if (Upper(pattern[i + k]) != element[k]) {
            return false;
        }
    }
    return true;
}

// Length of the AM/PM element at i ("AM/PM" 5, "A/P" 3, "AMPM" 4), or 0.
size_t AmPmElementLength(std::string_view pattern, size_t i) {
    if (ElementAt(pattern, i, "AM/PM")) {
        return 5;
    }
    if (ElementAt(pattern, i, "A/P")) {
        return 3;
    }
    if (ElementAt(pattern, i, "AMPM")) {
        return 4;
    }
    return 0;
}

// Index just past the quoted text that opens at i (or the end of the pattern).
size_t SkipQuoted(std::string_view pattern, size_t i) {
    const size_t close = pattern.find(pattern[i], i + 1);
    return close == std::string_view::npos ? pattern.size() : close + 1;
}

// Whether an AM/PM element, outside quotes, follows before the next hour.
bool AmPmFollows(std::string_view pattern, size_t i) {
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            i = SkipQuoted(pattern, i);
        } else if (Upper(c) == 'H') {
            return false;
        } else if (AmPmElementLength(pattern, i) != 0) {
            return true;
        } else {
            ++i;
        }
    }
    return false;
}

// The number of letters like pattern[i] (any case) from i on.
size_t RunLength(std::string_view pattern, size_t i) {
    size_t end = i + 1;
    while (end < pattern.size() && Upper(pattern[end]) == Upper(pattern[i])) {
        ++end;
    }
    return end - i;
}

void AppendNumber(std::string& out, int value, int minDigits) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    const int digits = static_cast<int>(result.ptr - buffer);
    out.append(static_cast<size_t>(std::max(0, minDigits - digits)), '0');
    out.append(buffer, result.ptr);
}

int TwelveHourClock(int hour) {
    const int h = hour % 12;
    return h == 0 ? 12 : h;
}

} // namespace

double CurrentTimeOfDay() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const int second = std::min(local.tm_sec, 59);
    return MakeTimeOfDay(local.tm_hour, local.tm_min, second,
                         static_cast<int>(now.tv_nsec / 1000000));
}

double MakeTimeOfDay(int hour, int minute, int second, int millisecond) {
    const int64_t ms = ((int64_t{hour} * 60 + minute) * 60 + second) * 1000 + millisecond;
    return static_cast<double>(ms) / static_cast<double>(kMillisecondsPerDay);
}

TimeOfDayParts SplitTimeOfDay(double time) {
    const double scaled = std::round(std::fabs(time) * static_cast<double>(kMillisecondsPerDay));
    if (!std::isfinite(scaled)) {
        return {};
    }
    // fmod keeps huge day counts from overflowing the integer conversion.
    const auto ms =
        static_cast<int64_t>(std::fmod(scaled, static_cast<double>(kMillisecondsPerDay)));
    TimeOfDayParts parts;
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    return parts;
}

std::string FormatTimeOfDay(double time, const RegionalSettings& settings) {
    const TimeOfDayParts parts = SplitTimeOfDay(time);
    const bool beforeNoon = parts.hour < 12;
    const std::string_view pattern = settings.longTimePattern;
    std::string out;
    bool lastLetterWasHour = false;
    bool amPmWritten = false;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const char upper = Upper(c);
        if (c == '\'' || c == '"') {
            // An unclosed quote runs to the end of the pattern.
            const size_t close = pattern.find(c, i + 1);
            const size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == ':') {
            if (settings.timeMark != '\0') {
                out += settings.timeMark;
            }
            ++i;
            continue;
        }
        if (!IsLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        if (const size_t length = AmPmElementLength(pattern, i); length != 0) {
            if (length == 4) {
                out += beforeNoon ? settings.amText : settings.pmText;
            } else {
                const size_t slash = pattern.find('/', i);
                out.append(beforeNoon ? pattern.substr(i, slash - i)
                                      : pattern.substr(slash + 1, i + length - slash - 1));
            }
            amPmWritten = true;
            lastLetterWasHour = false;
            i += length;
            continue;
        }
        const size_t run = RunLength(pattern, i);
        const bool minuteAfterHour = upper == 'M' && lastLetterWasHour;
        switch (upper) {
        case 'H': {
            const bool twelveHour = amPmWritten || AmPmFollows(pattern, i + run);
            AppendNumber(out, twelveHour ? TwelveHourClock(parts.hour) : parts.hour,
                         run >= 2 ? 2 : 1);
            break;
        }
        case 'N':
            AppendNumber(out, parts.minute, run >= 2 ? 2 : 1);
            break;
        case 'S':
            AppendNumber(out, parts.second, run >= 2 ? 2 : 1);
            break;
        case 'Z':
            AppendNumber(out, parts.millisecond, run >= 3 ? 3 : 1);
            break;
        default:
            if (minuteAfterHour) {
                AppendNumber(out, parts.minute, run >= 2 ? 2 : 1);
            } else {
                out.append(pattern.substr(i, run)); // no value for date letters
            }
            break;
        }
        lastLetterWasHour = upper == 'H';
        i += run;
    }
    return out;
}

std::string FormatTimeOfDay(double time) {
    return FormatTimeOfDay(time, CurrentRegionalSettings());
}

} // namespace velmora
