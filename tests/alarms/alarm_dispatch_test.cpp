// What an alarm's change says and does, as both programs show it.
#include "alarms/alarm_dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

AlarmDefinition Alarm(AlarmCondition condition) {
    AlarmDefinition alarm;
    alarm.name = "Over 5 V";
    alarm.condition = condition;
    alarm.silenceSeconds = 0.3;
    return alarm;
}

TEST(AlarmDispatch, TextsOfEachChange) {
    const struct {
        const char* name;
        AlarmCondition condition;
        AlarmChange change;
        std::optional<long double> value;
        std::string event;
        std::string detail;
    } rows[] = {
        {"raised by a reading", AlarmCondition::Above, AlarmChange::Raised, 5.25L,
         "alarm raised Over 5 V", "Over 5 V: 5.25 V DC, 12:01:03"},
        {"cleared by a reading", AlarmCondition::Above, AlarmChange::Cleared, 4.5L,
         "alarm cleared Over 5 V", "Over 5 V: 4.5 V DC, 12:01:03"},
        {"silence raised", AlarmCondition::Silence, AlarmChange::Raised, std::nullopt,
         "alarm raised Over 5 V", "Over 5 V: no reading for 0.3 s, 12:01:03"},
        {"silence ended by a reading", AlarmCondition::Silence, AlarmChange::Cleared, 1.0L,
         "alarm cleared Over 5 V", "Over 5 V: 1 V DC, 12:01:03"},
        {"acknowledged, no value", AlarmCondition::Above, AlarmChange::Acknowledged, std::nullopt,
         "alarm acknowledged Over 5 V", "Over 5 V, 12:01:03"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const AlarmDefinition alarm = Alarm(row.condition);
        AlarmEvent event;
        event.change = row.change;
        event.value = row.value;
        EXPECT_EQ(AlarmEventText(alarm, row.change), row.event);
        EXPECT_EQ(AlarmDetail(alarm, event, "V DC", "12:01:03"), row.detail);
    }
}

TEST(AlarmDispatch, ARaisedAlarmDoesWhatItAsks) {
    AlarmDefinition alarm = Alarm(AlarmCondition::Above);
    alarm.sound = true;
    alarm.notify = true;
    alarm.program = "/usr/local/bin/page-me";
    AlarmEvent event;
    event.value = 5.25L;
    int beeps = 0;
    std::vector<QString> notices;
    QStringList started;
    bool starts = true;
    const std::function<void()> beep = [&] { ++beeps; };
    const std::function<bool(const QString&, const QString&)> notify = [&](const QString& summary,
                                                                           const QString& body) {
        notices = {summary, body};
        return true;
    };
    const std::function<bool(const QString&, const QStringList&, QString*)> startProgram =
        [&](const QString& program, const QStringList& arguments, QString* whyNot) {
            started = QStringList{program} + arguments;
            *whyNot = QStringLiteral("No such file or directory");
            return starts;
        };
    EXPECT_EQ(RunAlarmActions(alarm, event, "V DC", "the detail", {beep, notify, startProgram}),
              std::nullopt);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(notices, (std::vector<QString>{QStringLiteral("Velmora alarm: Over 5 V"),
                                             QStringLiteral("the detail")}));
    EXPECT_EQ(started,
              (QStringList{QStringLiteral("/usr/local/bin/page-me"), QStringLiteral("5.25"),
                           QStringLiteral("V DC"), QStringLiteral("Over 5 V")}));
    starts = false;
    EXPECT_EQ(RunAlarmActions(alarm, event, "V DC", "the detail", {beep, notify, startProgram}),
              std::optional<std::string>("alarm Over 5 V: /usr/local/bin/page-me could not be "
                                         "started (No such file or directory)"));
    // Without a value (a silence), the program gets empty value and unit.
    alarm.sound = alarm.notify = false;
    RunAlarmActions(alarm, AlarmEvent{}, "V DC", "the detail", {beep, notify, startProgram});
    EXPECT_EQ(started, (QStringList{QStringLiteral("/usr/local/bin/page-me"), QString(), QString(),
                                    QStringLiteral("Over 5 V")}));
    EXPECT_EQ(beeps, 2) << "the third run asked for no sound";
}

} // namespace
} // namespace velmora
