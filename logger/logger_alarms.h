// Alarms without a window: the same rules, told on standard error and in the recording.
#pragma once

#include "alarms/alarm_monitor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Feeds the alarm rules with each reading (the meter's own function name)
// and looks at the silence every 100 ms once started. Each raise and clear
// becomes an event for the recording ("alarm raised NAME") and a line for
// the user; the alarm's own actions run as in the desktop program (the
// sound is the terminal's bell). Nobody is there to acknowledge: an alarm
// stays raised until its condition clears. Main thread only.
class LoggerAlarms : public QObject {
public:
    explicit LoggerAlarms(std::vector<AlarmDefinition> alarms);

    bool empty() const { return monitor_.definitions().empty(); }
    // From now on a reading is due (the silence counts from here).
    void start();
    void reading(const std::string& function, long double value, const std::string& unit,
                 std::optional<double> derived = std::nullopt);
    // "Over 5 V, Silent" for the progress line; empty when none is raised.
    std::string raisedNames() const;
    std::vector<std::string> raised() const { return RaisedAlarmNames(monitor_); }

    std::function<void(const std::string& event)> onEvent;
    std::function<void(const std::string& message)> onMessage;
    // Seams: the clock (seconds, monotonic) and the actions.
    std::function<double()> clock;
    std::function<void()> beep;
    std::function<bool(const QString& summary, const QString& body)> notify;
    std::function<bool(const QString& program, const QStringList& arguments, QString* whyNot)>
        startProgram;

private:
    void handle(const std::vector<AlarmEvent>& events, const std::string& unit);

    AlarmMonitor monitor_;
    QTimer silenceCheck_;
    QElapsedTimer started_;
    std::string lastUnit_;
};

} // namespace velmora
