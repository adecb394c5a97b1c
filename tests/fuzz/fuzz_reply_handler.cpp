// libFuzzer target: the reply handler's rules on arbitrary deliveries from the line.
//
// The input sets a log interval, a time of day and a log line count, then is cut
// into deliveries, each handed to one ReplyInterpreter in turn as the serial
// component would (a zero byte after the chunk). Checked for every delivery:
// - exactly one of: display texts (the reply up to its first zero byte, trimmed,
//   parses as a reading), a rejected reply (it does not, and is not quoted), or
//   nothing (a quoted reply, which selects the unit of a known function name
//   and leaves it otherwise);
// - the upper text reads back as the reading scaled by its prefix's power of
//   1000, within FormatReal's 15 digits, is no longer than FormatReal can make
//   it, and is 999999999 only for readings beyond the mega range;
// - the lower text is eight blanks, a known prefix and the unit label;
// - a log line comes exactly when the interval says, and has four fields: the
//   line count, the unit label, the trimmed reply and the time of day.
#include "acquisition/reply_interpreter.h"
#include "text/convert_error.h"
#include "text/integer_conversion.h"
#include "text/real_conversion.h"
#include "text/time_of_day.h"
#include "text/trim.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Sign, 15 digits, a decimal mark, "E", exponent sign and four exponent digits:
// the longest text FormatReal gives for an extended real.
constexpr std::size_t kLongestFormattedReal = 23;

constexpr std::array<std::string_view, 7> kUnitLabels{"",     "V DC",  "V AC", "A DC",
                                                      "A AC", "OHM4W", "OHM"};
constexpr std::array<std::string_view, 2> kMoreUnitLabels{"Hz", "S"};

bool KnownUnit(std::string_view label) {
    for (std::string_view known : kUnitLabels) {
        if (label == known) {
            return true;
        }
    }
    for (std::string_view known : kMoreUnitLabels) {
        if (label == known) {
            return true;
        }
    }
    return false;
}

// The meter's function names and the unit labels they select, written out
// here so that the check does not lean on the table under test.
struct FunctionUnit {
    std::string_view quotedName;
    std::string_view label;
};
constexpr std::array<FunctionUnit, 10> kFunctionUnits{{
    {"\"VOLT\"", "V DC"},
    {"\"VOLT:AC\"", "V AC"},
    {"\"CURR\"", "A DC"},
    {"\"CURR:AC\"", "A AC"},
    {"\"RES\"", "OHM"},
    {"\"FRES\"", "OHM4W"},
    {"\"DIOD\"", "V DC"},
    {"\"CONT\"", "OHM"},
    {"\"FREQ\"", "Hz"},
    {"\"PER\"", "S"},
}};

std::optional<std::string_view> ExpectedUnit(std::string_view reply) {
    for (const FunctionUnit& row : kFunctionUnits) {
        if (reply == row.quotedName) {
            return row.label;
        }
    }
    return std::nullopt;
}

[[noreturn]] void Fail() {
    std::abort();
}

void Require(bool condition) {
    if (!condition) {
        Fail();
    }
}

std::optional<long double> Parsed(std::string_view text) {
    try {
        return velmora::ParseReal(text, '.');
    } catch (const velmora::EConvertError&) {
        return std::nullopt;
    }
}

// The power of 1000 a prefix stands for.
long double PrefixFactor(std::string_view prefix) {
    if (prefix == "m") {
        return 1e-3L;
    }
    if (prefix == "u") {
        return 1e-6L;
    }
    if (prefix == "K") {
        return 1e3L;
    }
    if (prefix == "M") {
        return 1e6L;
    }
    Require(prefix.empty());
    return 1.0L;
}

void CheckDisplays(const velmora::ReplyOutcome& outcome, long double reading,
                   const std::string& unitLabel) {
    const std::string& upper = *outcome.upperText;
    const std::string& lower = *outcome.lowerText;
    Require(upper.size() <= kLongestFormattedReal);
    for (char c : upper) {
        Require((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'E');
    }

    Require(lower.size() >= 8 && lower.compare(0, 8, "        ") == 0);
    std::string_view rest(lower);
    rest.remove_prefix(8);
    Require(rest.size() >= unitLabel.size() &&
            rest.substr(rest.size() - unitLabel.size()) == unitLabel);
    const std::string_view prefix = rest.substr(0, rest.size() - unitLabel.size());
    const long double factor = PrefixFactor(prefix);

    const std::optional<long double> shown = Parsed(upper);
    Require(shown.has_value());
    const long double magnitude = std::fabs(reading);
    if (upper == "999999999" && prefix == "M" && magnitude > 1e9L * 0.999L) {
        return; // beyond the display's range
    }
    // 15 significant digits, plus the rounding of the scaling itself.
    const long double expected = reading / factor;
    Require(std::fabs(*shown - expected) <= 1e-14L * std::fabs(expected) + 1e-4900L);
    // Prefixes follow the magnitude: nothing is shown above 1000 or, with a
    // prefix other than "u", below 0.1 (boundaries give way to the rounding).
    const long double scaled = std::fabs(expected);
    Require(scaled <= 1000.0L * (1 + 1e-15L));
    if (!prefix.empty() && prefix != "u") {
        Require(scaled >= 0.1L * (1 - 1e-15L));
    }
    if (prefix.empty()) {
        Require(magnitude >= 0.1L * (1 - 1e-15L) && magnitude <= 100.0L * (1 + 1e-15L));
    }
}

void CheckLogLine(const std::string& line, int32_t lineCount, const std::string& unitLabel,
                  const std::string& reply, double timeOfDay) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    Require(fields.size() == 4);
    Require(fields[0] == velmora::FormatInteger(lineCount));
    Require(fields[1] == unitLabel);
    Require(fields[2] == reply);
    Require(fields[3] == velmora::FormatTimeOfDay(timeOfDay));
    Require(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    velmora::ReplyInterpreter replies;
    const auto interval = input.ConsumeIntegralInRange<int32_t>(-3, 5);
    replies.setLogInterval(interval);
    const double timeOfDay = input.ConsumeFloatingPointInRange<double>(0.0, 1.0);
    int32_t lineCount = input.ConsumeIntegral<int32_t>();

    // The counter the interval rule keeps: numeric replies since the last log line.
    int32_t sinceLogged = 0;
    while (input.remaining_bytes() > 0) {
        // A chunk of at most 2048 bytes, zero-terminated as delivered.
        std::string chunk = input.ConsumeRandomLengthString(2048);
        const std::string unitBefore = replies.unitLabel();
        bool countAsked = false;
        const velmora::ReplyOutcome outcome = replies.interpret(chunk.c_str(), timeOfDay, [&] {
            countAsked = true;
            return lineCount;
        });

        const std::string reply = velmora::TrimBlanks(std::string_view(chunk.c_str()));
        const bool quoted = !reply.empty() && reply.front() == '"';
        const std::optional<long double> reading = quoted ? std::nullopt : Parsed(reply);

        Require(KnownUnit(replies.unitLabel()));
        if (quoted) {
            Require(!outcome.upperText && !outcome.lowerText && !outcome.logLine &&
                    !outcome.rejectedReply && !outcome.reading && !countAsked);
            const std::optional<std::string_view> expected = ExpectedUnit(reply);
            Require(replies.unitLabel() == (expected ? std::string(*expected) : unitBefore));
            Require(outcome.unitNamed == expected.has_value());
            continue;
        }
        Require(replies.unitLabel() == unitBefore);
        if (!reading) {
            Require(outcome.rejectedReply == reply && !outcome.upperText && !outcome.lowerText &&
                    !outcome.logLine && !outcome.reading && !countAsked);
            Require(replies.readingCounter() == sinceLogged);
            continue;
        }
        Require(!outcome.rejectedReply && outcome.upperText && outcome.lowerText &&
                outcome.reading == *reading);
        CheckDisplays(outcome, *reading, unitBefore);

        ++sinceLogged;
        const bool due = sinceLogged > interval;
        Require(outcome.logLine.has_value() == due && countAsked == due);
        if (due) {
            CheckLogLine(*outcome.logLine, lineCount, unitBefore, reply, timeOfDay);
            sinceLogged = 0;
            if (lineCount < INT32_MAX) {
                ++lineCount;
            }
        }
        Require(replies.readingCounter() == sinceLogged);
    }
    return 0;
}
