// What the control interface asks of the program that holds the meter.
#pragma once

#include "control/control_error.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The bits of "STAT:QUES?" (README: Control interface).
enum QuestionableBit : unsigned {
    kQuestionableStale = 1,       // no reading newer than the limit, or none yet
    kQuestionableOverload = 2,    // the last reading was the meter's overload
    kQuestionableAlarm = 4,       // an alarm is raised
    kQuestionablePortLost = 8,    // the meter's line is away
    kQuestionableNotPolling = 16, // Connect is not ticked (or the logger is stopping)
};

// The value a reply gives when there is no reading to give, as SCPI
// instruments give "not a number".
inline constexpr const char* kNoReading = "9.91E37";

// Implemented by the host (the window's or the logger's engine). Every call
// is on the main thread; a `Reply` may be called later, or at once, and at
// most once.
class ControlContext {
public:
    using Reply = std::function<void(std::optional<std::string>)>;
    virtual ~ControlContext() = default;

    virtual std::string identity() const = 0;
    // The last reading's text while it is fresh; nothing when it is older
    // than the host's limit, none has come, or no reading is coming.
    virtual std::optional<std::string> freshReading() const = 0;
    virtual unsigned questionable() const = 0;
    virtual std::string unit() const = 0;
    virtual std::string function() const = 0;
    virtual std::string configuration() const = 0;
    // The next reading's text, or nothing when none came within the reply
    // time-out (or none can come).
    virtual void nextReading(Reply done) = 0;

    virtual bool meterLinesAllowed() const = 0;
    // A line for the meter, already checked; a query's reply comes to
    // `done` (nothing: no answer). An error when it cannot go at all.
    virtual std::optional<ControlError> passToMeter(const std::string& line, bool query,
                                                    Reply done) = 0;

    // `name` is a bare file name (checked), or empty for the host's own
    // choice; the recording goes into the host's recording folder.
    virtual std::optional<ControlError> startRecording(const std::string& name) = 0;
    virtual void stopRecording() = 0;
    virtual bool recording() const = 0;
    virtual std::string recordingName() const = 0; // the file's name, while recording
    virtual std::vector<std::string> raisedAlarms() const = 0;
    // The last reading's derived value ("+1.00000000E+02"), while it is
    // fresh and its function has math; nothing otherwise.
    virtual std::optional<std::string> derivedReading() const { return std::nullopt; }
};

} // namespace velmora
