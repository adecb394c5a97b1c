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
