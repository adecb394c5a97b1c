// Reply rules: function names select the unit, numbers are scaled, shown and thinned into the log.
#include "acquisition/reply_interpreter.h"

#include "text/convert_error.h"
#include "text/integer_conversion.h"
#include "text/real_conversion.h"
#include "text/time_of_day.h"
#include "text/trim.h"

#include <array>
#include <cmath>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

// Tested in this order; the quotes are part of the match.
constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kFunctionUnits{{
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

// Eight blanks keep the unit on the right-hand part of the lower display.
constexpr std::string_view kLowerDisplayIndent = "        ";

// The meter always sends "." whatever the user's regional decimal mark is.
constexpr char kMeterDecimalMark = '.';

} // namespace

std::optional<std::string> UnitLabelForFunctionReply(const std::string& reply) {
    for (const auto& [name, label] : kFunctionUnits) {
        if (reply == name) {
            return std::string(label);
        }
    }
    return std::nullopt;
}

ScaledReading ScaleReading(long double reading) {
    long double x = reading;
    const char* prefix = "";
    if (std::fabs(x) < 0.1L) {
        prefix = "m";
        x *= 1000;
        if (std::fabs(x) < 0.1L) {
            prefix = "u";
            x *= 1000;
        }
    }
    if (std::fabs(x) > 100) {
        prefix = "K";
        x /= 1000;
        if (std::fabs(x) > 100) {
            prefix = "M";
            x /= 1000;
            // Overload (9.9E37) and anything else beyond the display's range.
            if (std::fabs(x) > 1000) {
                x = 999999999;
            }
        }
    }
    return {x, prefix};
}

ReplyOutcome ReplyInterpreter::interpret(const char* zeroTerminatedReply, double timeOfDay,
                                         const std::function<int32_t()>& logLineCount) {
    ReplyOutcome outcome;
    const std::string reply = TrimBlanks(zeroTerminatedReply);

    if (!reply.empty() && reply.front() == '"') {
        if (auto label = UnitLabelForFunctionReply(reply)) {
            unitLabel_ = std::move(*label);
            functionName_ = reply.substr(1, reply.size() - 2);
            outcome.unitNamed = true;
        }
        return outcome;
    }

    long double reading = 0;
    try {
        reading = ParseReal(reply, kMeterDecimalMark);
    } catch (const EConvertError&) {
        outcome.rejectedReply = reply;
        return outcome;
    }

    const ScaledReading scaled = ScaleReading(reading);
    outcome.reading = reading;
    outcome.upperText = FormatReal(scaled.value);
    outcome.lowerText = std::string(kLowerDisplayIndent) + scaled.prefix + unitLabel_;

    // Wraps like the 32-bit counter it is instead of overflowing: with the
    // largest interval the counter never exceeds it anyway.
    readingCounter_ = static_cast<int32_t>(static_cast<uint32_t>(readingCounter_) + 1u);
    if (readingCounter_ > logInterval_) {
        std::string line = FormatInteger(logLineCount());
        line += ',';
        line += unitLabel_;
        line += ',';
        line += reply;
        line += ',';
        line += FormatTimeOfDay(timeOfDay);
        outcome.logLine = std::move(line);
        readingCounter_ = 0;
    }
    return outcome;
}

} // namespace velmora
