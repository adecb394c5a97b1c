// What an alarm's change says and does.
#include "alarms/alarm_dispatch.h"

#include "text/real_conversion.h"

namespace velmora {

namespace {

const char* ChangeWord(AlarmChange change) {
    switch (change) {
    case AlarmChange::Raised:
        return "raised";
    case AlarmChange::Cleared:
        return "cleared";
    case AlarmChange::Acknowledged:
        return "acknowledged";
    }
    return "";
}

} // namespace

std::string AlarmEventText(const AlarmDefinition& alarm, AlarmChange change) {
    return std::string("alarm ") + ChangeWord(change) + " " + alarm.name;
}

std::string AlarmDetail(const AlarmDefinition& alarm, const AlarmEvent& event,
                        const std::string& unit, const std::string& at) {
    std::string detail = alarm.name;
    if (alarm.condition == AlarmCondition::Silence && event.change == AlarmChange::Raised) {
        detail += ": no reading for " + FormatReal(alarm.silenceSeconds, '.') + " s";
    } else if (event.value) {
        detail += ": " + FormatReal(*event.value, '.') + " " + unit;
    }
    return detail + ", " + at;
}

std::optional<std::string> RunAlarmActions(const AlarmDefinition& alarm, const AlarmEvent& event,
                                           const std::string& unit, const std::string& detail,
                                           const AlarmActionHooks& hooks) {
    const QString name = QString::fromStdString(alarm.name);
    if (alarm.sound && hooks.beep) {
        hooks.beep();
    }
    if (alarm.notify && hooks.notify) {
        hooks.notify(QStringLiteral("Velmora alarm: %1").arg(name), QString::fromStdString(detail));
    }
    if (alarm.program.empty() || !hooks.startProgram) {
        return std::nullopt;
    }
    const QString value =
        event.value ? QString::fromStdString(FormatReal(*event.value, '.')) : QString();
    const QString shownUnit = event.value ? QString::fromStdString(unit) : QString();
    QString whyNot;
    if (hooks.startProgram(QString::fromStdString(alarm.program), {value, shownUnit, name},
                           &whyNot)) {
        return std::nullopt;
    }
    return "alarm " + alarm.name + ": " + alarm.program + " could not be started (" +
           whyNot.toStdString() + ")";
}

} // namespace velmora
