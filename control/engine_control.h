// The control interface's view of one acquisition engine, for the window and the logger alike.
#pragma once

#include "acquisition/acquisition_engine.h"
#include "control/control_context.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Follows the engine's readings and events and answers for them; the host
// adds what only it has (the recording, the alarms). A reading is fresh for
// the reply time-out, the host's own wait between readings and a second
// more, and only while the cycle runs. Main thread only.
class EngineControl : public QObject, public ControlContext, private AcquisitionListener {
public:
    static constexpr size_t kMostMeterLines = 64; // waiting for the meter at once
    static constexpr int kFreshMarginMs = 1000;

    explicit EngineControl(AcquisitionEngine& engine, QObject* parent = nullptr);
    ~EngineControl() override;

    // "METER" and "METER?" go to the meter only when the user allowed them.
    void setMeterLinesAllowed(bool allowed) { meterLinesAllowed_ = allowed; }
    // The same passage for the window's console, whatever that switch says.
    std::optional<ControlError> passFromConsole(const std::string& line, bool query, Reply done);

    // From the host.
    std::function<std::optional<ControlError>(const std::string& name)> onStartRecording;
    std::function<void()> onStopRecording;
    std::function<bool()> isRecording;
    std::function<std::string()> recordingFile;
    std::function<std::vector<std::string>()> alarmsRaised;
    std::function<int()> readingIntervalMs; // the host's own wait between readings
    // The last reading's derived value, when its function has math (and it is a number).
    std::function<std::optional<double>()> lastDerived;

    std::string identity() const override;
    std::optional<std::string> freshReading() const override;
    unsigned questionable() const override;
    std::string unit() const override;
    std::string function() const override { return function_; }
    std::string configuration() const override;
    void nextReading(Reply done) override;
    bool meterLinesAllowed() const override { return meterLinesAllowed_; }
    std::optional<ControlError> passToMeter(const std::string& line, bool query,
                                            Reply done) override;
    std::optional<ControlError> startRecording(const std::string& name) override;
    void stopRecording() override;
    bool recording() const override { return isRecording && isRecording(); }
    std::string recordingName() const override;
    std::vector<std::string> raisedAlarms() const override;
    std::optional<std::string> derivedReading() const override;

private:
    int waitLimitMs() const;
    void endWaits();
    void reading(const Reading& reading) override;
    void functionNamed(const std::string& function, const std::string& unit,
                       bool unitChanged) override;
    void identified(const std::string& identity) override;
    void stopped() override;
    void portLost() override;
    void reconnected() override;

    struct Waiter {
        uint64_t id = 0;
        Reply done;
    };
    AcquisitionEngine& engine_;
    bool meterLinesAllowed_ = false;
    std::string lastReading_;
    bool lastOverload_ = false;
    QElapsedTimer lastReadingAge_;
    std::string function_;
    std::string meterIdentity_;
    bool portLost_ = false;
    std::vector<Waiter> waiters_;
    uint64_t nextWaiter_ = 1;
};

} // namespace velmora
