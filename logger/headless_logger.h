// The headless logger: an acquisition engine on a meter's line, its readings as recording rows.
#pragma once

#include "acquisition/acquisition_engine.h"
#include "acquisition/serial_transport.h"
#include "control/control_server.h"
#include "control/engine_control.h"
#include "logger/logger_alarms.h"
#include "logger/logger_options.h"
#include "math/reading_math.h"
#include "publish/engine_publishing.h"
#include "record/recording_writer.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "transports/resource_line.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// The engine runs the cycle the window runs (remote mode, the function and
// its settings when asked for, the function's name, then readings); every
// reading becomes a row of the recording format, to a file (synced as the
// desktop program syncs it) or to standard output. A stop (count, duration,
// or a signal through requestStop) waits for an outstanding answer (at most
// 2 s), sends the meter back to local mode and closes the file. Main
// thread, QtCore only.
class HeadlessLogger : public QObject, private AcquisitionListener {
public:
    explicit HeadlessLogger(LoggerOptions options);
    ~HeadlessLogger() override;

    // Opens the port and the output and starts polling; an exit status when
    // either cannot be had (the reason is on standard error).
    std::optional<int> start();
    void requestStop();

    // Called with the exit status once the logger has stopped.
    std::function<void(int status)> onFinished;

private:
    bool mayRead();
    bool durationOver() const;
    bool writeRow(std::optional<long double> value, const std::string& event,
                  std::optional<double> spreadBack = std::nullopt,
                  const RecordingMath* math = nullptr,
                  std::optional<timespec> arrivedAt = std::nullopt);
    void say(const std::string& text);
    void stopNow();
    void fail(int status, const std::string& message);
    void showProgress();
    // The control interface, when asked for; false when it cannot be served.
    bool serveControl();
    // The publishers, when asked for; an exit status when they cannot start.
    std::optional<int> startPublishing();
    std::optional<ControlError> startClientRecording(const std::string& name);
    void writeClientRow(std::optional<long double> value, const std::string& event,
                        std::optional<double> spreadBack, const RecordingMath* math,
                        std::optional<timespec> arrivedAt);

    void reading(const Reading& reading) override;
    void functionNamed(const std::string& function, const std::string& unit,
                       bool unitChanged) override;
    void functionNotNamed(const std::string& reply, bool rejected) override;
    void notAReading(const std::string& reply) override;
    void replyHandled() override;
    void replyDropped(size_t bytes) override;
    void meterErrors(const std::vector<MeterError>& errors) override;
    void errorQueueAnswered(const std::string& reply) override;
    void inForce(const std::string& function, const InForce& inForce, bool complete) override;
    void inForceUnreadable(const std::string& query, const std::string& reply) override;
    void replyTimedOut(const std::string& query) override;
    void lateReplyDropped(const std::string& reply) override;
    void meterSilent(const std::string& query) override;
    void portLost() override;
    void reconnected() override;
    void reopenFailed(const std::exception& error) override;
    void identified(const std::string& identity) override;

    LoggerOptions options_;
    ProfileCatalog profiles_; // built in, the package's and the user's
    TComm comm_;
    PortReturnWatcher watcher_;
    // The serial port, or a socket or an adapter when --port names one.
    ResourceLine line_;
    AcquisitionEngine engine_;
    RecordingWriter writer_;
    bool toStandardOutput_ = false;
    uint64_t sequence_ = 0;
    QTimer tick_;     // the cycle's 50 ms grid
    QTimer stopWait_; // for an answer outstanding at a stop
    QTimer progress_;
    QElapsedTimer started_;
    QElapsedTimer reading_;  // since the first reading asked for
    QElapsedTimer lastRead_; // since the last reading asked for
    LoggerAlarms alarms_;
    // Made after the logger follows the engine: a reading is in the file
    // before a client hears of it.
    std::unique_ptr<EngineControl> control_;
    std::unique_ptr<ControlServer> server_;
    RecordingWriter clientRecording_; // started and stopped by a client (REC:STAT)
    // Made last: it hears a reading after the file has it and the math is done.
    std::unique_ptr<EnginePublishing> publishing_;
    std::optional<RecordingMath> lastMath_; // the reading's, for the publishers
    ReadingMath math_;
    bool mathOn_ = false; // some function has math: new files get its columns
    bool noMathColumnsSaid_ = false;
    std::string unit_;
    uint64_t readings_ = 0;
    std::string lastValue_;
    bool lost_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    int status_ = 0;
};

} // namespace velmora
