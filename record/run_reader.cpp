// Reading a saved run back: the recording's rows, or a saved log's lines.
#include "record/run_reader.h"

#include "record/recording_format.h"
#include "text/convert_error.h"
#include "text/real_conversion.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace velmora {

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(
            line.substr(start, comma == std::string_view::npos ? line.npos : comma - start));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

std::optional<long double> Number(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    try {
        return ParseReal(text, '.');
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

std::optional<int> Digits(std::string_view text, size_t count) {
    if (text.size() != count) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// "2026-12-09T10:15:00.123+01:00" -> the time of day, as a fraction.
std::optional<double> IsoTimeOfDay(std::string_view text) {
    if (text.size() < 23 || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != '.') {
        return std::nullopt;
    }
    const auto hour = Digits(text.substr(11, 2), 2);
    const auto minute = Digits(text.substr(14, 2), 2);
    const auto second = Digits(text.substr(17, 2), 2);
    const auto milli = Digits(text.substr(20, 3), 3);
    if (!hour || !minute || !second || !milli || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    return ((*hour * 60 + *minute) * 60 + *second + *milli / 1000.0) / 86400.0;
}

std::optional<RunRow> RecordingLine(std::string_view line, bool mathColumns) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.size() != (mathColumns ? 10u : 7u)) {
        return std::nullopt;
    }
    uint64_t sequence = 0;
    const auto [end, error] = std::from_chars(f[0].data(), f[0].data() + f[0].size(), sequence);
    if (error != std::errc() || end != f[0].data() + f[0].size() || sequence == 0) {
        return std::nullopt;
    }
    RunRow row;
    const std::optional<double> time = IsoTimeOfDay(f[1]);
    const std::optional<long double> seconds = Number(f[2]);
    if (!time || !seconds || !std::isfinite(static_cast<double>(*seconds))) {
        return std::nullopt;
    }
    row.timeOfDay = *time;
    row.seconds = static_cast<double>(*seconds);
    row.unit = std::string(f[4]);
    if (f[5] == "ok" || f[5] == "burst") {
        row.value = Number(f[3]);
        if (!row.value) {
            return std::nullopt;
        }
    } else if (f[5] == "overload") {
        row.value = kRecordingOverload;
    } else if (!f[5].empty() || f[6].empty()) {
        return std::nullopt;
    }
    row.event = std::string(f[6]);
    if (mathColumns) {
        if (!f[7].empty()) {
            const std::optional<long double> math = Number(f[7]);
            if (!math) {
                return std::nullopt;
            }
            row.math = static_cast<double>(*math);
        }
        row.mathUnit = std::string(f[8]);
        row.limit = std::string(f[9]);
    }
    return row;
}

// "14:05:09", "9:05:03.007", "1:05:09 PM", "PM 1:05:09" with the given
// time mark -> the time of day; hours, minutes and seconds required.
std::optional<int64_t> LogMillisecondOfDay(std::string_view text, char timeMark,
                                           std::string_view am, std::string_view pm) {
    bool afternoon = false;
    bool twelveHour = false;
    // The markers in any letter case: "AMPM" writes the regional text, "AM/PM" as written.
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) ==
                          std::tolower(static_cast<unsigned char>(y));
               });
    };
    const auto strip = [&](std::string_view marker, bool isPm) {
        if (marker.empty()) {
            return;
        }
        if (text.size() > marker.size() && same(text.substr(text.size() - marker.size()), marker)) {
            text.remove_suffix(marker.size());
        } else if (text.size() > marker.size() && same(text.substr(0, marker.size()), marker)) {
            text.remove_prefix(marker.size());
        } else {
            return;
        }
        twelveHour = true;
        afternoon = isPm;
    };
    strip(pm, true);
    if (!twelveHour) {
        strip(am, false);
    }
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    int parts[3] = {0, 0, 0};
    double milli = 0;
    for (int i = 0; i < 3; ++i) {
        size_t digits = 0;
        while (digits < text.size() && digits < 2 && text[digits] >= '0' && text[digits] <= '9') {
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        parts[i] = std::atoi(std::string(text.substr(0, digits)).c_str());
        text.remove_prefix(digits);
        if (i < 2) {
            if (timeMark != '\0') {
                if (text.empty() || text.front() != timeMark) {
                    return std::nullopt;
                }
                text.remove_prefix(1);
            }
        }
    }
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        const std::optional<int> z = Digits(text.substr(0, 3), std::min<size_t>(3, text.size()));
        if (!z || text.size() != 3) {
            return std::nullopt;
        }
        milli = *z;
        text = {};
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    int hour = parts[0];
    if (twelveHour) {
        if (hour < 1 || hour > 12) {
            return std::nullopt;
        }
        hour = hour % 12 + (afternoon ? 12 : 0);
    }
    if (hour > 23 || parts[1] > 59 || parts[2] > 59) {
        return std::nullopt;
    }
    return ((int64_t{hour} * 60 + parts[1]) * 60 + parts[2]) * 1000 + static_cast<int64_t>(milli);
}

std::optional<RunRow> SavedLogLine(std::string_view line, char timeMark, std::string_view am,
                                   std::string_view pm) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.size() != 4) {
        return std::nullopt;
    }
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(f[0].data(), f[0].data() + f[0].size(), number);
    if (error != std::errc() || end != f[0].data() + f[0].size()) {
        return std::nullopt;
    }
    const std::optional<long double> value = Number(f[2]);
    const std::optional<int64_t> ms = LogMillisecondOfDay(f[3], timeMark, am, pm);
    if (!value || !ms) {
        return std::nullopt;
    }
    RunRow row;
    row.value = std::fabs(*value) >= kRecordingOverload ? kRecordingOverload : *value;
    row.unit = std::string(f[1]);
    row.timeOfDay = static_cast<double>(*ms) / 86400000.0;
    // Kept in whole milliseconds until the run's time line is laid out.
    row.seconds = static_cast<double>(*ms);
    return row;
}

} // namespace

std::optional<SavedRun> ReadRun(std::string_view text, char timeMark, std::string_view amText,
                                std::string_view pmText) {
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t lf = text.find('\n', start);
        std::string_view line =
            text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (lf == std::string_view::npos) {
            break;
        }
        start = lf + 1;
    }
    if (lines.empty()) {
        return std::nullopt;
    }
    SavedRun run;
    const bool mathColumns = lines[0] == kRecordingMathHeader;
    if (lines[0] == kRecordingHeader || mathColumns) {
        run.kind = SavedRun::Kind::Recording;
    } else if (lines[0] == "No.,Function,Value,Time" || lines[0] == "No,Function,Value,Time") {
        run.kind = SavedRun::Kind::SavedLog;
    } else {
        return std::nullopt;
    }
    int64_t days = 0;
    int64_t previous = -1;
    int64_t first = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::optional<RunRow> row = run.kind == SavedRun::Kind::Recording
                                              ? RecordingLine(lines[i], mathColumns)
                                              : SavedLogLine(lines[i], timeMark, amText, pmText);
        if (!row) {
            // A row torn by a power cut, after which the file was recorded on:
            // dropped, so the later recording is not hidden behind it.
            if (run.kind == SavedRun::Kind::Recording && i + 1 < lines.size()) {
                const std::optional<RunRow> next = RecordingLine(lines[i + 1], mathColumns);
                if (next && next->event == "recording started") {
                    continue;
                }
            }
            // A line after which nothing follows and that is empty is the file's end.
            if (!(lines[i].empty() && i + 1 == lines.size())) {
                run.stoppedAt =
                    "line " + std::to_string(i + 1) + ": " +
                    (run.kind == SavedRun::Kind::Recording ? "not a row of a recording"
                                                           : "not a line of a saved log");
            }
            break;
        }
        RunRow kept = *row;
        if (run.kind == SavedRun::Kind::SavedLog) {
            // Times of day only: laid out in order, across midnight.
            const auto ms = static_cast<int64_t>(kept.seconds);
            if (previous >= 0 && ms < previous) {
                days += 1;
            }
            previous = ms;
            const int64_t at = days * 86400000 + ms;
            if (run.rows.empty()) {
                first = at;
            }
            kept.seconds = static_cast<double>(at - first) / 1000.0;
        }
        run.readings += kept.value.has_value();
        run.rows.push_back(std::move(kept));
    }
    return run;
}

} // namespace velmora
