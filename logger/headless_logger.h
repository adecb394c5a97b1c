// The headless logger: polls the meter on a serial port and writes the recording format.
#pragma once

#include "logger/logger_alarms.h"
#include "logger/logger_options.h"
#include "record/recording_writer.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

#include <deque>
#include <optional>
#include <string>

namespace velmora {

// Remote mode, the function and its settings when asked for, the function's
// name for the unit, then "Read?" after "Read?": every reading a row of the
// recording format, to a file (synced as the desktop program syncs it) or to
// standard output; several readings a query (a burst) each get a row with
// their times spread back. A lost port is waited for and, once back, the
// cycle starts again from remote mode. A stop (count, duration, or a signal
// through requestStop) waits for an outstanding answer (at most 2 s), sends
// the meter back to local mode and closes the file. Main thread, QtCore only.
class HeadlessLogger : public QObject {
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
    void queueStartSteps();
    void sendNext();
    bool durationOver() const;
    void send(const std::string& command);
    void received(const char* buffer);
    void takeReadings(const std::string& reply);
    bool writeRow(std::optional<long double> value, const std::string& event,
                  std::optional<double> spreadBack = std::nullopt);
    void replyMissing();
    void portLost();
    void portSeenAgain();
    void stopNow();
    void fail(int status, const std::string& message);
    void showProgress();

    LoggerOptions options_;
    TComm comm_;
    RecordingWriter writer_;
    bool toStandardOutput_ = false;
    uint64_t sequence_ = 0;
    std::deque<std::string> steps_; // before the readings
    std::optional<std::string> awaiting_;
    QTimer tick_;         // the standard mode's 50 ms grid
    QTimer replyTimeout_; // no answer for this long: the meter is not there
    QTimer remotePause_;  // the meter's time to enter remote mode
    QTimer progress_;
    QElapsedTimer started_;
    QElapsedTimer lastQuery_;
    QElapsedTimer reading_;    // since the first "Read?"
    QElapsedTimer burstClock_; // since the last burst arrived
    PortReturnWatcher watcher_;
    LoggerAlarms alarms_;
    std::string unit_;
    std::string function_; // the meter's name, as the alarms know it
    uint64_t readings_ = 0;
    std::string lastValue_;
    bool remoteWait_ = false;
    bool lost_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    int status_ = 0;
};

} // namespace velmora
