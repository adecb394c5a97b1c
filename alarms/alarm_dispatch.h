// What an alarm's change says and does, the same in the window and the logger.
#pragma once

#include "alarms/alarm_monitor.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

namespace velmora {

// "alarm raised Over 5 V", "alarm cleared …", "alarm acknowledged …": the
// recording's event.
std::string AlarmEventText(const AlarmDefinition& alarm, AlarmChange change);

// "Over 5 V: 5.2 V DC, 12:01:03"; "Quiet: no reading for 0.3 s, 12:01:03" for
// a silence raised; the name and the time alone without a value. `at` is the
// time of day as the log shows it.
std::string AlarmDetail(const AlarmDefinition& alarm, const AlarmEvent& event,
                        const std::string& unit, const std::string& at);

// The host's ways of reaching the user; an empty one does nothing.
struct AlarmActionHooks {
    const std::function<void()>& beep;
    const std::function<bool(const QString& summary, const QString& body)>& notify;
    const std::function<bool(const QString& program, const QStringList& arguments,
                             QString* whyNot)>& startProgram;
};

// Does what a raised alarm asks: the sound, a desktop notification with
// `detail`, its program with the value, the unit and the name. The problem,
// "alarm NAME: PROGRAM could not be started (why)", when the program would
// not start.
std::optional<std::string> RunAlarmActions(const AlarmDefinition& alarm, const AlarmEvent& event,
                                           const std::string& unit, const std::string& detail,
                                           const AlarmActionHooks& hooks);

} // namespace velmora
