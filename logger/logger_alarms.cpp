// Alarms without a window.
#include "logger/logger_alarms.h"

#include "alarms/alarm_program.h"
#include "alarms/desktop_notification.h"
#include "text/real_conversion.h"
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

void LoggerAlarms::reading(const std::string& function, long double value,
                           const std::string& unit) {
    if (empty()) {
        return;
    }
    lastUnit_ = unit;
    handle(monitor_.reading(function, value, clock()), unit);
}

std::string LoggerAlarms::raisedNames() const {
    std::string names;
    for (size_t i = 0; i < monitor_.definitions().size(); ++i) {
        if (monitor_.raised(i)) {
            names += (names.empty() ? "" : ", ") + monitor_.definitions()[i].name;
        }
    }
    return names;
}

void LoggerAlarms::handle(const std::vector<AlarmEvent>& events, const std::string& unit) {
    for (const AlarmEvent& e : events) {
        const AlarmDefinition& alarm = monitor_.definitions()[e.alarm];
        if (e.change == AlarmChange::Acknowledged) {
            continue; // nobody acknowledges here
        }
        const bool raised = e.change == AlarmChange::Raised;
        if (onEvent) {
            onEvent(std::string(raised ? "alarm raised " : "alarm cleared ") + alarm.name);
        }
        const std::string value = e.value ? FormatReal(*e.value, '.') : std::string();
        std::string detail = alarm.name;
        if (alarm.condition == AlarmCondition::Silence && raised) {
            detail += ": no reading for " + FormatReal(alarm.silenceSeconds, '.') + " s";
        } else if (e.value) {
            detail += ": " + value + " " + unit;
        }
        const std::string at = FormatTimeOfDay(CurrentTimeOfDay());
        if (onMessage) {
            onMessage(std::string(raised ? "alarm " : "alarm cleared: ") + detail + ", " + at);
        }
        if (!raised) {
            continue;
        }
        if (alarm.sound && beep) {
            beep();
        }
        if (alarm.notify && notify) {
            notify(QStringLiteral("Velmora alarm: %1").arg(QString::fromStdString(alarm.name)),
                   QString::fromStdString(detail + ", " + at));
        }
        if (!alarm.program.empty() && startProgram) {
            QString whyNot;
            const QStringList arguments = {QString::fromStdString(value),
                                           QString::fromStdString(e.value ? unit : ""),
                                           QString::fromStdString(alarm.name)};
            if (!startProgram(QString::fromStdString(alarm.program), arguments, &whyNot) &&
                onMessage) {
                onMessage("alarm " + alarm.name + ": " + alarm.program + " could not be started (" +
                          whyNot.toStdString() + ")");
            }
        }
    }
}

} // namespace velmora
