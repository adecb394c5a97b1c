// Alarms on the main window against the emulated meter: what is raised and cleared, when, what
// reaches the recording, the chart, the banner and the actions; their settings file section.
#include "tests/app/app_test_support.h"

#include "alarms/alarm_settings.h"
#include "app/alarm_control.h"
#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "lcd/lcd_matrix.h"
#include "record/run_reader.h"
#include "settings/ini_file.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora::test {
namespace {

AlarmDefinition Alarm(const char* name, const char* function, AlarmCondition condition,
                      double high = 0, double hysteresis = 0, double delay = 0) {
    AlarmDefinition a;
    a.name = name;
    a.function = function;
    a.condition = condition;
    a.high = high;
    a.hysteresis = hysteresis;
    a.delaySeconds = delay;
    return a;
}

// A meter whose own readings (about 1.23 V) never reach any limit below.
MeterOptions QuietMeter(const char* script) {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.script = ParseScript(script);
    return options;
}

// Collects the alarm events the window hands on, on top of its own wiring.
std::vector<std::string>& WatchEvents(TForm1& form) {
    static std::vector<std::string> events;
    events.clear();
    auto own = form.alarms()->onEvent;
    form.alarms()->onEvent = [own](const std::string& event) {
        events.push_back(event);
        own(event);
    };
    return events;
}

struct Actions {
    int beeps = 0;
    std::vector<QString> notifications;
    std::vector<QStringList> programs;
};

void RecordActions(TForm1& form, Actions& actions) {
    form.alarms()->beep = [&actions] { ++actions.beeps; };
    form.alarms()->notify = [&actions](const QString& summary, const QString&) {
        actions.notifications.push_back(summary);
        return true;
    };
    form.alarms()->startProgram = [&actions](const QString& program, const QStringList& args,
                                             QString*) {
        actions.programs.push_back(QStringList{program} + args);
        return true;
    };
}

double SecondsOf(const SavedRun& run, const std::string& event) {
    for (const RunRow& row : run.rows) {
        if (row.event == event) {
            return row.seconds;
        }
    }
    ADD_FAILURE() << "no event " << event;
    return 0;
}

TEST(AlarmsOnMeter, LimitsHysteresisDelayOverloadAndSilenceAsTheMeterGoes) {
    WindowOnMeter window(QuietMeter(R"(
answer
reply +1.00000000E+00
reply +6.00000000E+00
reply +4.80000000E+00
reply +6.00000000E+00
reply +4.00000000E+00
reply +6.00000000E+00
pause 1300
reply +6.00000000E+00
reply +1.00000000E+00
overload
reply +1.00000000E+00
silence
pause 3000
send +1.00000000E+00\r\n
)"));
    TForm1& form = window.form();
    const QColor normal = form.iLCDMatrix1->CellsColorOn();
    TForm2 chart;
    chart.clock = [] { return TrendClock::now(); };
    form.setChartWindow(&chart);
    AlarmDefinition over = Alarm("Over 5", "VOLT", AlarmCondition::Above, 5, 0.5);
    over.sound = true;
    AlarmDefinition held = Alarm("Held over 5", "VOLT", AlarmCondition::Above, 5, 0, 1.0);
    held.program = "/opt/bench/on-alarm";
    AlarmDefinition overload = Alarm("Open input", "VOLT", AlarmCondition::Overload);
    overload.notify = true;
    AlarmDefinition quiet = Alarm("Quiet", "", AlarmCondition::Silence);
    quiet.silenceSeconds = 1.5;
    form.alarms()->apply({over, held, overload, quiet,
                          Alarm("Ohms high", "RES", AlarmCondition::Above, 0),
                          Alarm("Diode high", "DIOD", AlarmCondition::Above, 0)});
    Actions actions;
    RecordActions(form, actions);
    std::vector<std::string>& events = WatchEvents(form);
    const std::string path = window.folder() / "run.csv";
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)));

    window.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return events.size() >= 10; }, std::chrono::seconds(20)))
        << events.size() << " events";
    ProcessEventsFor(std::chrono::milliseconds(300));
    form.recording()->stop();

    const std::vector<std::string> expected = {
        "alarm raised Over 5",       // 6 V at once
        "alarm cleared Over 5",      // 4.8 is inside the hysteresis, 4.0 is back by it
        "alarm raised Over 5",       // 6 V again
        "alarm raised Held over 5",  // 6 V for 1.3 s, the earlier spells were shorter
        "alarm cleared Over 5",      // 1 V
        "alarm cleared Held over 5", //
        "alarm raised Open input",   // the overload
        "alarm cleared Open input",  // the next reading
        "alarm raised Quiet",        // no reading for 1.5 s
        "alarm cleared Quiet",       // the late answer
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(actions.beeps, 2);
    EXPECT_EQ(actions.notifications,
              std::vector<QString>{QStringLiteral("Velmora alarm: Open input")});
    ASSERT_EQ(actions.programs.size(), 1u);
    EXPECT_EQ(actions.programs[0],
              (QStringList{QStringLiteral("/opt/bench/on-alarm"), QStringLiteral("6"),
                           QStringLiteral("V DC"), QStringLiteral("Held over 5")}));

    const std::optional<SavedRun> run = ReadRun(ReadBytes(path).value_or(""));
    ASSERT_TRUE(run);
    std::vector<std::string> recorded;
    for (const RunRow& row : run->rows) {
        if (row.event.starts_with("alarm ")) {
            recorded.push_back(row.event);
        }
    }
    EXPECT_EQ(recorded, expected) << "every change is in the recording";
    // The delay and the silence in the recording's own clock.
    const auto& rows = run->rows;
    const auto lastBefore = [&](const std::string& event) {
        const auto at = std::find_if(rows.begin(), rows.end(),
                                     [&](const RunRow& r) { return r.event == event; });
        const auto reading = std::find_if(std::make_reverse_iterator(at), rows.rend(),
                                          [](const RunRow& r) { return r.value.has_value(); });
        return reading == rows.rend() ? 0.0 : reading->seconds;
    };
    EXPECT_GE(SecondsOf(*run, "alarm raised Quiet") - lastBefore("alarm raised Quiet"), 1.49);
    // The delayed alarm came with the second of two 6 V readings 1.3 s apart.
    std::vector<const RunRow*> readingsBeforeHeld;
    for (const RunRow& row : rows) {
        if (row.event == "alarm raised Held over 5") {
            break;
        }
        if (row.value) {
            readingsBeforeHeld.push_back(&row);
        }
    }
    ASSERT_GE(readingsBeforeHeld.size(), 2u);
    const RunRow& raising = *readingsBeforeHeld.back();
    const RunRow& spellStart = *readingsBeforeHeld[readingsBeforeHeld.size() - 2];
    EXPECT_EQ(raising.value, 6.0L);
    EXPECT_EQ(spellStart.value, 6.0L);
    EXPECT_GE(raising.seconds - spellStart.seconds, 1.0);

    // Marked on the chart's time axis, without breaking the line.
    size_t marks = 0;
    for (size_t s = 0; s < chart.recorder().seriesCount(); ++s) {
        for (const auto& change : chart.recorder().series(s).unitChanges()) {
            marks += change.text.starts_with("alarm ") ? 1 : 0;
        }
    }
    EXPECT_EQ(marks, expected.size());
    EXPECT_FALSE(form.statusAlarm->isVisible()) << "nothing is raised at the end";
    EXPECT_EQ(form.iLCDMatrix1->CellsColorOn(), normal) << "the displays' own colour is back";
}

TEST(AlarmsOnMeter, ARaisedAlarmTurnsTheDisplaysRedAndAClickOnTheBannerAcknowledgesIt) {
    WindowOnMeter window(QuietMeter("answer\nreply +6.00000000E+00\n"));
    TForm1& form = window.form();
    form.show();
    const QColor normal = form.iLCDMatrix1->CellsColorOn();
    form.alarms()->apply({Alarm("Over 5", "VOLT", AlarmCondition::Above, 5, 0.5)});
    std::vector<std::string>& events = WatchEvents(form);
    window.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return !events.empty(); }));
    EXPECT_TRUE(form.statusAlarm->isVisible());
    EXPECT_TRUE(form.statusAlarm->text().startsWith(QStringLiteral("ALARM Over 5: 6 V DC, ")))
        << form.statusAlarm->text().toStdString();
    EXPECT_NE(form.iLCDMatrix1->CellsColorOn(), normal);
    EXPECT_EQ(form.iLCDMatrix2->CellsColorOn(), form.iLCDMatrix1->CellsColorOn());
    EXPECT_TRUE(form.acknowledgeAction()->isEnabled());
    EXPECT_EQ(form.iLCDMatrix1->Text().substr(0, 1), "6") << "the texts stay as they are";

    QMouseEvent press(QEvent::MouseButtonRelease, QPointF(5, 5),
                      form.statusAlarm->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(form.statusAlarm, &press);
    EXPECT_EQ(events,
              (std::vector<std::string>{"alarm raised Over 5", "alarm acknowledged Over 5"}));
    EXPECT_TRUE(form.statusAlarm->isVisible()) << "acknowledged, it is still raised";
    EXPECT_TRUE(form.alarms()->monitor().acknowledged(0));
    form.acknowledgeAction()->trigger();
    EXPECT_EQ(events.size(), 2u) << "acknowledged once";
}

TEST(AlarmsOnMeter, TheReplyToAFunctionButtonIsNotJudgedByTheOldFunction) {
    // Diode test reads 6 V DC too: only the diode alarm may see it.
    WindowOnMeter window(QuietMeter("answer\nreply +1.00000000E+00\n"));
    TForm1& form = window.form();
    form.alarms()->apply({Alarm("Over 5", "VOLT", AlarmCondition::Above, 5),
                          Alarm("Diode high", "DIOD", AlarmCondition::Above, 5)});
    std::vector<std::string>& events = WatchEvents(form);
    window.connectAndWaitForReading();
    const size_t before = window.commands().size();
    window.meter().Inject(ParseScript("reply +6.00000000E+00\nanswer\nreply +6.00000000E+00\n"));
    form.Diod_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"alarm raised Diode high"});
    const std::vector<std::string> commands = window.commands();
    EXPECT_NE(std::find(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(),
                        "Meas:Diod?"),
              commands.end());
}

TEST(AlarmSettingsOnWindow, KeptInTheirOwnSectionAndReadAtStart) {
    TempFolder folder;
    const std::string path = folder / "velmora.ini";
    {
        TForm1 form(nullptr, path);
        form.alarms()->apply({Alarm("Over 5", "VOLT", AlarmCondition::Above, 5, 0.5, 2)});
    }
    IniFile file(path);
    EXPECT_EQ(file.readValue("COM Info", "Port", ""), "com1") << "[COM Info] as it was";
    EXPECT_EQ(file.readValue("Alarms", "1.High", ""), "5");
    TForm1 again(nullptr, path);
    ASSERT_EQ(again.alarms()->alarms().size(), 1u);
    EXPECT_EQ(again.alarms()->alarms()[0],
              Alarm("Over 5", "VOLT", AlarmCondition::Above, 5, 0.5, 2));
}

TEST(AlarmSettingsOnWindow, ABrokenSectionIsReportedOnceAndIgnored) {
    TempFolder folder;
    const std::string path = folder / "velmora.ini";
    WriteBytes(path, "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n[Alarms]\r\nCount=2\r\n"
                     "1.Condition=above\r\n2.Condition=sideways\r\n");
    const size_t before = Boxes().errors.size();
    TForm1 form(nullptr, path);
    ASSERT_EQ(Boxes().errors.size(), before + 1);
    EXPECT_TRUE(Boxes().errors.back().text.contains(QStringLiteral("sideways")))
        << Boxes().errors.back().text.toStdString();
    EXPECT_TRUE(form.alarms()->alarms().empty());
    EXPECT_EQ(ReadBytes(path).value_or("").find("sideways") != std::string::npos, true)
        << "the file is left for the user to mend";
}

} // namespace
} // namespace velmora::test
