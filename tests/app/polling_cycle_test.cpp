// The polling cycle against an emulated meter on a pseudo-terminal: commands, order, waits.
#include "tests/app/app_test_support.h"

#include "serial/comm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// Index of the first `command` at or after `from`, or -1.
int IndexOf(const std::vector<std::string>& commands, const std::string& command, size_t from = 0) {
    const auto it = std::find(commands.begin() + static_cast<long>(from), commands.end(), command);
    return it == commands.end() ? -1 : static_cast<int>(it - commands.begin());
}

ScriptStep Step(ScriptStep::Kind kind, std::string text = {}) {
    ScriptStep step;
    step.kind = kind;
    step.text = std::move(text);
    return step;
}

// Leaves the next query unanswered and waits until it has gone out.
void SilenceNextQuery(WindowOnMeter& window) {
    window.meter().Inject(Step(ScriptStep::Kind::Silence));
    ASSERT_TRUE(WaitUntil([&] {
        return window.meter().PendingSteps() == 0 && window.form().canSend() == 0;
    })) << "the silenced query never went out";
}

// Answers the outstanding query late, as a meter that was slow would.
void AnswerLate(WindowOnMeter& window) {
    window.meter().Inject(Step(ScriptStep::Kind::Send, "+1.00000000E+00\r\n"));
}

TEST(PollingCycle, ConnectingPutsTheMeterInRemoteModeThenPolls) {
    WindowOnMeter window;
    TForm1& form = window.form();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.PageControl1->isEnabled());

    window.connectAndWaitForReading();
    ASSERT_TRUE(window.waitForCommands(5));

    const std::vector<std::string> commands = window.commands();
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 5),
              (std::vector<std::string>{"syst:rem", "Func?", "Read?", "Read?", "Read?"}));
    EXPECT_EQ(window.meter().Received().substr(0, 24), "syst:rem\r\nFunc?\r\nRead?\r\n");
    EXPECT_EQ(window.pauses(), (std::vector<int>{500, 1000}));
    EXPECT_EQ(form.unitLabel(), "V DC");
    EXPECT_TRUE(form.PageControl1->isEnabled());
    EXPECT_FALSE(form.CONF->isEnabled());
}

TEST(PollingCycle, FunctionButtonMeasuresThenAsksForTheFunction) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();

    form.DCI_Btn->click();
    EXPECT_FALSE(form.DCI_Btn->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "A DC"; }));
    ASSERT_TRUE(WaitUntil([&] { return form.DCI_Btn->isEnabled(); }));
    ASSERT_TRUE(window.waitForCommands(window.commands().size() + 1));

    const std::vector<std::string> commands = window.commands();
    const int measure = IndexOf(commands, "Meas:Curr:DC?");
    ASSERT_GE(measure, 0);
    ASSERT_GT(commands.size(), static_cast<size_t>(measure + 2));
    EXPECT_EQ(commands[measure + 1], "Func?");
    EXPECT_EQ(commands[measure + 2], "Read?");
    // 13 characters and CR LF: 15 bytes on the line, nothing else.
    EXPECT_NE(window.meter().Received().find("Read?\r\nMeas:Curr:DC?\r\nFunc?\r\n"),
              std::string::npos);
}

TEST(PollingCycle, SettingCommandIsFollowedByReadWithoutWaiting) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();

    form.Button2Click();
    ASSERT_TRUE(WaitUntil([&] { return IndexOf(window.commands(), "Volt:DC:RES Max") >= 0; }));
    const size_t setting = static_cast<size_t>(IndexOf(window.commands(), "Volt:DC:RES Max"));
    ASSERT_TRUE(window.waitForCommands(setting + 2));
    EXPECT_EQ(window.commands()[setting + 1], "Read?");
}

TEST(PollingCycle, HiddenSettingButtonsStoreTheirCommands) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const std::vector<std::pair<void (TForm1::*)(), const char*>> rows = {
        {&TForm1::Button2Click, "Volt:DC:RES Max"},
        {&TForm1::Button5Click, "RES:RES MAX"},
        {&TForm1::Button3Click, "INP:IMP:AUTO ON"},
    };
    for (const auto& [handler, command] : rows) {
        SCOPED_TRACE(command);
        (form.*handler)();
        EXPECT_EQ(form.nextCommand(), command);
        EXPECT_FALSE(form.Button2->isVisible() || form.Button5->isVisible() ||
                     form.Button3->isVisible());
    }
}

TEST(PollingCycle, FunctionButtonsStoreTheirQueries) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const std::vector<std::pair<QPushButton*, const char*>> rows = {
        {form.DCV_Btn, "Meas:Volt:Dc?"}, {form.ACV_Btn, "Meas:Volt:AC?"},
        {form.OHM2_Btn, "Meas:RES?"},    {form.OHM4_Btn, "Meas:FRES?"},
        {form.DCI_Btn, "Meas:Curr:DC?"}, {form.ACI_Btn, "Meas:Curr:AC?"},
        {form.Freq_Btn, "Meas:FREQ?"},   {form.period_Btn, "Meas:PER?"},
        {form.Diod_Btn, "Meas:Diod?"},   {form.Cont_Btn, "Meas:Cont?"},
    };
    form.PageControl1->setEnabled(true);
    for (const auto& [button, command] : rows) {
        SCOPED_TRACE(command);
        button->click();
        EXPECT_EQ(form.nextCommand(), command);
        EXPECT_FALSE(button->isEnabled());
    }
    form.keyenable();
    for (const auto& [button, command] : rows) {
        EXPECT_TRUE(button->isEnabled()) << command;
    }
}

TEST(PollingCycle, DisconnectingSendsLocalAndStopsTheTimer) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();

    form.Check_Connection->setChecked(false);
    EXPECT_FALSE(form.PageControl1->isEnabled());
    EXPECT_TRUE(form.CONF->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return window.commands().back() == "syst:loc"; }));
    EXPECT_FALSE(form.Timer1->isActive());
    const size_t sent = window.commands().size();
    ProcessEventsFor(200ms);
    EXPECT_EQ(window.commands().size(), sent);
}

TEST(PollingCycle, LocalModeWaitsForTheOutstandingReply) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    SilenceNextQuery(window);

    form.Check_Connection->setChecked(false);
    ProcessEventsFor(200ms);
    EXPECT_EQ(IndexOf(window.commands(), "syst:loc"), -1);
    EXPECT_TRUE(form.Timer1->isActive());

    AnswerLate(window);
    ASSERT_TRUE(WaitUntil([&] { return window.commands().back() == "syst:loc"; }));
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST(PollingCycle, RetickingBeforeLocalModeWentOutResumesRemoteMode) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    SilenceNextQuery(window);

    form.Check_Connection->setChecked(false);
    form.Check_Connection->setChecked(true);
    EXPECT_EQ(form.canSend(), 1);
    const size_t before = window.commands().size();
    ASSERT_TRUE(window.waitForCommands(before + 2));
    EXPECT_EQ(window.commands()[before], "syst:rem");
    EXPECT_EQ(window.commands()[before + 1], "Func?");
    EXPECT_EQ(IndexOf(window.commands(), "syst:loc"), -1);
}

TEST(PollingCycle, OnlyTheLaterOfTwoButtonsGoesOutAndTheReplyEnablesBoth) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    SilenceNextQuery(window);

    form.DCV_Btn->click();
    form.ACV_Btn->click();
    EXPECT_FALSE(form.DCV_Btn->isEnabled());
    EXPECT_FALSE(form.ACV_Btn->isEnabled());
    ProcessEventsFor(150ms);
    EXPECT_EQ(IndexOf(window.commands(), "Meas:Volt:AC?"), -1) << "sent while a query was open";

    const size_t before = window.commands().size();
    AnswerLate(window);
    // The reply to the old query enables both before their command leaves.
    ASSERT_TRUE(
        WaitUntil([&] { return form.canSend() == 1 || window.commands().size() > before; }));
    EXPECT_TRUE(form.DCV_Btn->isEnabled());
    EXPECT_TRUE(form.ACV_Btn->isEnabled());
    ASSERT_TRUE(window.waitForCommands(before + 1));
    EXPECT_EQ(window.commands()[before], "Meas:Volt:AC?");
    EXPECT_EQ(IndexOf(window.commands(), "Meas:Volt:Dc?"), -1);
}

TEST(PollingCycle, SilentMeterIsNotedInTheStatusBarUntilItAnswers) {
    WindowOnMeter window;
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    SilenceNextQuery(window);

    ASSERT_TRUE(WaitUntil([&] { return form.statusMessage->text().contains("does not answer"); }));
    AnswerLate(window);
    ASSERT_TRUE(WaitUntil([&] { return form.statusMessage->text().isEmpty(); }));
}

} // namespace
} // namespace velmora::test
