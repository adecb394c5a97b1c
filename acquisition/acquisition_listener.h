// What the acquisition engine hands out: readings and the events of the cycle.
#pragma once

#include "measure/meter_settings.h"

#include <ctime>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// One reading as it arrived. A burst's readings each come as one, their
// times spread back from the burst's arrival.
struct Reading {
    std::string raw; // the reply's text, trimmed: "+1.16040760E+03"
    long double value = 0;
    std::string unit; // the unit label in force: "OHM"
    // The meter's name of the function ("RES"); empty while the function of
    // a measure query's reply has not been named yet (then `unit` is the
    // old function's and not this reading's).
    std::string function;
    bool functionPending = false;
    double receivedAt = 0; // time of day, as the clock of the log has it
    // The wall clock (CLOCK_REALTIME) when the reply came: the one time the
    // recording and the publishers give the reading (a burst's spread back).
    timespec arrivedAt{};
    std::optional<double> spreadBack; // seconds before the burst's arrival
    // The displays' texts and the log line, when the log interval allows one.
    std::string upperText;
    std::string lowerText;
    std::optional<std::string> logLine;
};

// Whoever follows an engine overrides what it needs; every call is on the
// engine's thread, in the order things happened.
class AcquisitionListener {
public:
    virtual ~AcquisitionListener() = default;

    virtual void commandSent(const std::string& /*command*/) {}
    virtual void reading(const Reading& /*reading*/) {}
    // The meter named its function; `unitChanged`: another unit than before.
    virtual void functionNamed(const std::string& /*function*/, const std::string& /*unit*/,
                               bool /*unitChanged*/) {}
    // A function query answered with no name the meter has; `rejected`: not
    // even a number (such a reply comes here instead of to notAReading).
    virtual void functionNotNamed(const std::string& /*reply*/, bool /*rejected*/) {}
    virtual void notAReading(const std::string& /*reply*/) {}
    // Every reply ends with this: the cycle may send again.
    virtual void replyHandled() {}
    // A reply longer than one delivery without a line end, put aside.
    virtual void replyDropped(size_t /*bytes*/) {}
    // The errors read from the meter's queue after a change, oldest first.
    virtual void meterErrors(const std::vector<MeterError>& /*errors*/) {}
    // The error query got an answer that is no error entry.
    virtual void errorQueueAnswered(const std::string& /*reply*/) {}
    // A function's settings were queued; what was shown of the last is old.
    virtual void settingsQueued(const std::string& /*function*/) {}
    // What the meter says is in force, after each answer; `complete` once
    // the last in-force query is answered.
    virtual void inForce(const std::string& /*function*/, const InForce& /*inForce*/,
                         bool /*complete*/) {}
    // An in-force query answered with no number.
    virtual void inForceUnreadable(const std::string& /*query*/, const std::string& /*reply*/) {}
    // The meter's answer to "*IDN?" (maker, model, serial number, firmware).
    virtual void identified(const std::string& /*identity*/) {}
    // A query unanswered for the profile's silence note (since the time of day given).
    virtual void noAnswer(double /*sinceTimeOfDay*/) {}
    virtual void silenceEnded() {}
    // A query unanswered for longer than it can take: the meter is not there.
    virtual void replyTimedOut(const std::string& /*query*/) {}
    // A reply that came after its time-out, dropped so that no later query
    // takes it for its own answer.
    virtual void lateReplyDropped(const std::string& /*reply*/) {}
    // The meter did not come back in step after a time-out either: it is
    // silent (`query` is the one that timed out first).
    virtual void meterSilent(const std::string& /*query*/) {}
    // Local mode went out: the cycle has stopped.
    virtual void stopped() {}
    // The line went away; the engine waits for it to return.
    virtual void portLost() {}
    virtual void reconnected() {}
    // The line is back but could not be opened; the wait has ended.
    virtual void reopenFailed(const std::exception& /*error*/) {}
};

} // namespace velmora
