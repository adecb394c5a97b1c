// Turns one delivery of meter bytes into display texts, a log line or a rejected reply.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmora {

// What one reply asks of the window. Function-name replies only change the unit
// label (and set unitNamed when the name is known); numeric replies set both
// displays and, when the log interval allows, a log line; replies that do not
// convert go to the hidden reject box.
struct ReplyOutcome {
    std::optional<std::string> upperText;     // iLCDMatrix1, e.g. "1.1604076"
    std::optional<std::string> lowerText;     // iLCDMatrix2, e.g. "        KOHM"
    std::optional<std::string> logLine;       // "1,OHM,+1.16040760E+03,14:05:09"
    std::optional<std::string> rejectedReply; // trimmed text that failed to convert
    std::optional<long double> reading;       // the unscaled value of a numeric reply
    bool unitNamed = false;                   // the reply named a known function
};

// The reply handler's state: unitLabel, readingCounter and logInterval live
// here so the rules can be exercised without a window.
class ReplyInterpreter {
public:
    // `logLineCount` is asked only when a line is about to be logged: it must
    // return the number of lines in the log box, header included.
    ReplyOutcome interpret(const char* zeroTerminatedReply, double timeOfDay,
                           const std::function<int32_t()>& logLineCount);

    const std::string& unitLabel() const { return unitLabel_; }
    // The meter's own name of the function last named ("VOLT", "DIOD"):
    // diode and continuity share their unit labels with other functions.
    const std::string& functionName() const { return functionName_; }
    int32_t readingCounter() const { return readingCounter_; }
    int32_t logInterval() const { return logInterval_; }
    void setLogInterval(int32_t interval) { logInterval_ = interval; }

private:
    std::string unitLabel_;
    std::string functionName_;
    int32_t readingCounter_ = 0;
    int32_t logInterval_ = 0;
};

// The unit label for a quoted function name ("\"RES\"" -> "OHM"), or nothing
// when the reply is not one of the meter's function names.
std::optional<std::string> UnitLabelForFunctionReply(const std::string& reply);

// Scales a reading into an engineering prefix: 1160.4076 -> (1.1604076, "K").
struct ScaledReading {
    long double value;
    const char* prefix;
};
ScaledReading ScaleReading(long double reading);

} // namespace velmora
