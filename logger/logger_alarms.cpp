// Alarms without a window.
#include "logger/logger_alarms.h"

#include "alarms/alarm_dispatch.h"
#include "alarms/alarm_program.h"
#include "alarms/desktop_notification.h"
#include "text/time_of_day.h"

#include <cstdio>
#include <unistd.h>

namespace velmora {

LoggerAlarms::LoggerAlarms(std::vector<AlarmDefinition> alarms) {
    monitor_.setDefinitions(std::move(alarms));
    started_.start();
    clock = [this] { return static_cast<double>(started_.nsecsElapsed()) / 1e9; };
    beep = [] {
        if (isatty(STDERR_FILENO)) {
            std::fputc('\a', stderr);
            std::fflush(stderr);
        }
    };
    notify = [](const QString& summary, const QString& body) {
        return SendDesktopNotification(summary, body);
    };
    startProgram = [](const QString& program, const QStringList& arguments, QString* whyNot) {
        return StartAlarmProgram(program, arguments, whyNot);
    };
    silenceCheck_.setInterval(100);
    connect(&silenceCheck_, &QTimer::timeout, this,
            [this] { handle(monitor_.tick(clock()), lastUnit_); });
}

void LoggerAlarms::start() {
    if (empty()) {
        return;
    }
    handle(monitor_.connected(true, clock()), lastUnit_);
    silenceCheck_.start();
}

void LoggerAlarms::reading(const std::string& function, long double value, const std::string& unit,
                           std::optional<double> derived) {
    if (empty()) {
        return;
    }
    lastUnit_ = unit;
    handle(monitor_.reading(function, value, clock(), derived), unit);
}

std::string LoggerAlarms::raisedNames() const {
    std::string names;
    for (const std::string& name : RaisedAlarmNames(monitor_)) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

void LoggerAlarms::handle(const std::vector<AlarmEvent>& events, const std::string& unit) {
    for (const AlarmEvent& e : events) {
        const AlarmDefinition& alarm = monitor_.definitions()[e.alarm];
        if (e.change == AlarmChange::Acknowledged) {
            continue; // nobody acknowledges here
        }
        if (onEvent) {
            onEvent(AlarmEventText(alarm, e.change));
        }
        const bool raised = e.change == AlarmChange::Raised;
        const std::string detail = AlarmDetail(alarm, e, unit, FormatTimeOfDay(CurrentTimeOfDay()));
        if (onMessage) {
            onMessage(std::string(raised ? "alarm " : "alarm cleared: ") + detail);
        }
        if (!raised) {
            continue;
        }
        const std::optional<std::string> problem =
            RunAlarmActions(alarm, e, unit, detail, {beep, notify, startProgram});
        if (problem && onMessage) {
            onMessage(*problem);
        }
    }
}

} // namespace velmora
