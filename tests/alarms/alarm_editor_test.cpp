// The alarm editor: what is typed becomes the alarms on OK, and what cannot be an alarm keeps
// the editor open with the reason.
#include "alarms/alarm_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace velmora {
namespace {

void Choose(QComboBox* box, const char* data) {
    const int index = box->findData(QString::fromLatin1(data));
    ASSERT_GE(index, 0) << data;
    box->setCurrentIndex(index);
}

TEST(AlarmEditor, OffersEveryFunctionByTheMeterName) {
    AlarmEditor editor;
    const QStringList expected = {
        "Any function",
        "DC volts (VOLT)",
        "AC volts (VOLT:AC)",
        "DC current (CURR)",
        "AC current (CURR:AC)",
        "Resistance, 2-wire (RES)",
        "Resistance, 4-wire (FRES)",
        "Diode test (DIOD)",
        "Continuity (CONT)",
        "Frequency (FREQ)",
        "Period (PER)",
    };
    QStringList items;
    QStringList names;
    for (int i = 0; i < editor.FunctionBox->count(); ++i) {
        items << editor.FunctionBox->itemText(i);
        names << editor.FunctionBox->itemData(i).toString();
    }
    EXPECT_EQ(items, expected);
    EXPECT_EQ(names, (QStringList{"", "VOLT", "VOLT:AC", "CURR", "CURR:AC", "RES", "FRES", "DIOD",
                                  "CONT", "FREQ", "PER"}));
}

TEST(AlarmEditor, OnlyWhatTheConditionUsesCanBeTyped) {
    const struct {
        const char* condition;
        bool low, high, hysteresis, delay, silence, function;
    } rows[] = {
        {"above", false, true, true, true, false, true},
        {"below", true, false, true, true, false, true},
        {"outside", true, true, true, true, false, true},
        {"inside", true, true, true, true, false, true},
        {"silence", false, false, false, false, true, false},
        {"overload", false, false, false, false, false, true},
    };
    AlarmDefinition stored;
    stored.low = 1.5;
    stored.high = -2E-3;
    AlarmEditor editor;
    editor.setAlarms({stored});
    EXPECT_EQ(editor.LowEdit->text().toStdString(), "1.5") << "numbers with '.' decimals";
    EXPECT_EQ(editor.HighEdit->text().toStdString(), "-0.002");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.condition);
        Choose(editor.ConditionBox, row.condition);
        EXPECT_EQ(editor.LowEdit->isEnabled(), row.low);
        EXPECT_EQ(editor.HighEdit->isEnabled(), row.high);
        EXPECT_EQ(editor.HysteresisEdit->isEnabled(), row.hysteresis);
        EXPECT_EQ(editor.DelayBox->isEnabled(), row.delay);
        EXPECT_EQ(editor.SilenceBox->isEnabled(), row.silence);
        EXPECT_EQ(editor.FunctionBox->isEnabled(), row.function);
    }
}

TEST(AlarmEditor, WhatIsTypedBecomesTheAlarmsOnOk) {
    AlarmEditor editor;
    editor.setAlarms({});
    EXPECT_FALSE(editor.NameEdit->isEnabled()) << "nothing to edit yet";
    editor.AddBtn->click();
    editor.NameEdit->setText(QStringLiteral("Supply high"));
    Choose(editor.FunctionBox, "DIOD");
    Choose(editor.ConditionBox, "outside");
    editor.LowEdit->setText(QStringLiteral("-2E-3"));
    editor.HighEdit->setText(QStringLiteral(" 5.25 "));
    editor.HysteresisEdit->setText(QStringLiteral("0.05"));
    editor.DelayBox->setValue(3);
    editor.NotifyBox->setChecked(true);
    editor.ProgramEdit->setText(QStringLiteral("/usr/local/bin/page-me"));
    editor.AddBtn->click(); // the first is kept while the second is edited
    Choose(editor.ConditionBox, "silence");
    EXPECT_FALSE(editor.LowEdit->isEnabled());
    EXPECT_TRUE(editor.SilenceBox->isEnabled());
    editor.SilenceBox->setValue(30);
    editor.accept();
    ASSERT_EQ(editor.result(), QDialog::Accepted) << editor.ProblemLabel->text().toStdString();

    AlarmDefinition first;
    first.name = "Supply high";
    first.function = "DIOD";
    first.condition = AlarmCondition::Outside;
    first.low = -2E-3;
    first.high = 5.25;
    first.hysteresis = 0.05;
    first.delaySeconds = 3;
    first.notify = true;
    first.program = "/usr/local/bin/page-me";
    AlarmDefinition second;
    second.name = "Alarm 2";
    second.condition = AlarmCondition::Silence;
    second.silenceSeconds = 30;
    EXPECT_EQ(editor.alarms(), (std::vector<AlarmDefinition>{first, second}));
}

TEST(AlarmEditor, WhatCannotBeAnAlarmKeepsTheEditorOpenWithTheReason) {
    AlarmDefinition good;
    good.name = "Good";
    good.high = 1;
    const struct {
        const char* name;
        const char* condition;
        const char* low;
        const char* high;
        const char* problem;
    } rows[] = {
        {"comma_decimal", "above", "0", "1,5", "Bad: the high limit \"1,5\" is not a number"},
        {"band_upside_down", "inside", "3", "2", "Bad: the low limit is above the high one"},
        {"words", "below", "low", "0", "Bad: the low limit \"low\" is not a number"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AlarmEditor editor;
        editor.setAlarms({good});
        editor.AddBtn->click();
        editor.NameEdit->setText(QStringLiteral("Bad"));
        Choose(editor.ConditionBox, row.condition);
        editor.LowEdit->setText(QString::fromLatin1(row.low));
        editor.HighEdit->setText(QString::fromLatin1(row.high));
        editor.show();
        editor.AlarmList->setCurrentRow(0); // the problem is found wherever the user is
        editor.accept();
        EXPECT_TRUE(editor.isVisible());
        EXPECT_EQ(editor.ProblemLabel->text().toStdString(), row.problem);
        EXPECT_EQ(editor.AlarmList->currentRow(), 1) << "the alarm at fault is shown";
        EXPECT_EQ(editor.alarms(), std::vector<AlarmDefinition>{good}) << "nothing taken yet";
    }
}

TEST(AlarmEditor, RemoveTakesTheSelectedAlarmOnly) {
    AlarmDefinition a, b, c;
    a.name = "A";
    b.name = "B";
    c.name = "C";
    AlarmEditor editor;
    editor.setAlarms({a, b, c});
    editor.AlarmList->setCurrentRow(1);
    editor.RemoveBtn->click();
    EXPECT_EQ(editor.NameEdit->text().toStdString(), "C");
    editor.accept();
    EXPECT_EQ(editor.alarms(), (std::vector<AlarmDefinition>{a, c}));
}

} // namespace
} // namespace velmora
