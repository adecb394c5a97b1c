// The control interface on an engine.
#include "control/engine_control.h"

#include "alarms/alarm_monitor.h"

#include <QTimer>

#include <cstdio>

namespace velmora {

namespace {

std::string Scientific(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.6E", value);
    return text;
}

} // namespace

EngineControl::EngineControl(AcquisitionEngine& engine, QObject* parent)
    : QObject(parent)
    , engine_(engine) {
    engine_.addListener(this);
}

EngineControl::~EngineControl() {
    engine_.removeListener(this);
}

std::string EngineControl::identity() const {
    // The program first, then what the meter says it is (its model when it
    // has not been asked).
    const std::string meter = meterIdentity_.empty() ? engine_.profile().model : meterIdentity_;
    return "Velmora,control interface,0," VELMORA_VERSION "," + meter;
}

int EngineControl::waitLimitMs() const {
    return engine_.replyTimeoutMs() + (readingIntervalMs ? readingIntervalMs() : 0);
}

std::optional<std::string> EngineControl::freshReading() const {
    if (!engine_.polling() || portLost_ || !lastReadingAge_.isValid() ||
        lastReadingAge_.elapsed() > waitLimitMs() + kFreshMarginMs) {
        return std::nullopt;
    }
    return lastReading_;
}

unsigned EngineControl::questionable() const {
    unsigned bits = 0;
    if (!freshReading()) {
        bits |= kQuestionableStale;
    }
    if (lastOverload_) {
        bits |= kQuestionableOverload;
    }
    if (!raisedAlarms().empty()) {
        bits |= kQuestionableAlarm;
    }
    if (portLost_) {
        bits |= kQuestionablePortLost;
    } else if (!engine_.polling()) {
        bits |= kQuestionableNotPolling;
    }
    return bits;
}

std::string EngineControl::unit() const {
    return engine_.unitLabel();
}

std::string EngineControl::configuration() const {
    // As the meter's own "CONF?": the function, its range and resolution.
    const std::optional<InForce> inForce = engine_.inForceOf(function_);
    const auto item = [](const std::optional<double>& value) {
        return value ? Scientific(*value) : std::string("DEF");
    };
    if (function_.empty()) {
        return {};
    }
    return function_ + " " + item(inForce ? inForce->range : std::nullopt) + "," +
           item(inForce ? inForce->resolution : std::nullopt);
}

void EngineControl::nextReading(Reply done) {
    if (!engine_.polling() || portLost_) {
        done(std::nullopt); // none is coming
        return;
    }
    const uint64_t id = nextWaiter_++;
    waiters_.push_back({id, std::move(done)});
    QTimer::singleShot(waitLimitMs(), this, [this, id] {
        for (auto it = waiters_.begin(); it != waiters_.end(); ++it) {
            if (it->id == id) {
                const Reply late = std::move(it->done);
                waiters_.erase(it);
                late(std::nullopt);
                return;
            }
        }
    });
}

std::optional<ControlError> EngineControl::passToMeter(const std::string& line, bool query,
                                                       Reply done) {
    if (!meterLinesAllowed_) {
        return ControlError{-221, "meter commands are off"};
    }
    return passFromConsole(line, query, std::move(done));
}

std::optional<ControlError> EngineControl::passFromConsole(const std::string& line, bool query,
                                                           Reply done) {
    if (portLost_) {
        return ControlError{-240, "the meter's port is lost"};
    }
    if (!engine_.polling()) {
        return ControlError{-240, "not connected to the meter"};
    }
    if (engine_.passagesWaiting() >= kMostMeterLines) {
        return ControlError{-350, "too many lines waiting for the meter"};
    }
    engine_.passToMeter(line, query, std::move(done));
    return std::nullopt;
}

std::optional<ControlError> EngineControl::startRecording(const std::string& name) {
    if (!onStartRecording) {
        return ControlError{-221, "no recording here"};
    }
    return onStartRecording(name);
}

void EngineControl::stopRecording() {
    if (onStopRecording) {
        onStopRecording();
    }
}

std::string EngineControl::recordingName() const {
    return recordingFile ? recordingFile() : std::string();
}

std::vector<std::string> EngineControl::raisedAlarms() const {
    return alarmsRaised ? alarmsRaised() : std::vector<std::string>();
}

std::optional<std::string> EngineControl::derivedReading() const {
    if (!lastDerived || !freshReading()) {
        return std::nullopt;
    }
    const std::optional<double> value = lastDerived();
    if (!value) {
        return std::nullopt;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%+.8E", *value); // as the meter writes its readings
    return text;
}

void EngineControl::endWaits() {
    std::vector<Waiter> waiting;
    waiting.swap(waiters_); // a reply may ask for the next reading again
    for (Waiter& waiter : waiting) {
        waiter.done(std::nullopt);
    }
}

void EngineControl::reading(const Reading& r) {
    lastReading_ = r.raw;
    lastOverload_ = IsOverloadReading(r.value);
    lastReadingAge_.start();
    std::vector<Waiter> waiting;
    waiting.swap(waiters_);
    for (Waiter& waiter : waiting) {
        waiter.done(r.raw);
    }
}

void EngineControl::functionNamed(const std::string& function, const std::string& /*unit*/,
                                  bool /*unitChanged*/) {
    function_ = function;
}

void EngineControl::identified(const std::string& identity) {
    meterIdentity_ = identity;
}

void EngineControl::stopped() {
    endWaits();
}

void EngineControl::portLost() {
    portLost_ = true;
    endWaits();
}

void EngineControl::reconnected() {
    portLost_ = false;
}

} // namespace velmora
