// Unplug: the meter's side of the line goes away while a query waits; the user reopens with COM
// SET.
#include "app/reading_log_box.h"
#include "serial/comm.h"
#include "settings/ini_file.h"
#include "settings/serial_settings_dialog.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/fault_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

ScriptStep Step(ScriptStep::Kind kind, bool reopen = false) {
    ScriptStep step;
    step.kind = kind;
    step.reopen = reopen;
    return step;
}

// The user presses COM SET, types `port` and the baud rate, and presses OK.
void ComSet(TForm1& form, TForm3& dialog, const std::string& port, const std::string& baud) {
    QTimer::singleShot(0, &dialog, [&dialog, port, baud] {
        dialog.findChild<QComboBox*>(QStringLiteral("ComboBox1"))
            ->setEditText(QString::fromStdString(port));
        dialog.findChild<QComboBox*>(QStringLiteral("ComboBox2"))
            ->setEditText(QString::fromStdString(baud));
        dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    });
    // Only a guard against a dialog that does not close.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] {
        ADD_FAILURE() << "the dialog stayed open";
        dialog.reject();
    });
    guard.start(20000);
    form.CONFClick(); // modal: returns when the dialog has closed
    guard.stop();
}

struct UnplugRow {
    const char* name;
    int rounds; // unplug and reopen this many times in one run
};

void PrintTo(const UnplugRow& row, std::ostream* out) {
    *out << row.name;
}

class Unplug : public testing::TestWithParam<UnplugRow> {};

TEST_P(Unplug, LostPortIsNotedAndComSetResumesPolling) {
    TempFolder links;
    MeterOptions options;
    options.linkPath = links / "meter"; // follows the emulator across its reopen
    WindowOnMeter window(options);
    TForm1& form = window.form();
    TForm3 dialog(*form.Comm1, *form.settingsFile(), &form);
    form.setSettingsDialog(&dialog);
    Boxes().errors.clear();
    window.connectAndWaitForReading();

    for (int round = 1; round <= GetParam().rounds; ++round) {
        SCOPED_TRACE(round);
        // The next query stays unanswered; the plug is pulled while it waits.
        window.meter().Inject(Step(ScriptStep::Kind::Silence));
        ASSERT_TRUE(
            WaitUntil([&] { return window.meter().PendingSteps() == 0 && form.canSend() == 0; }));
        window.meter().Inject(Step(ScriptStep::Kind::Hangup, true));
        ASSERT_TRUE(WaitUntil([&] { return !form.Comm1->PortOpen(); })) << "loss not noticed";
        EXPECT_TRUE(form.statusMessage->text().contains(QStringLiteral("lost")))
            << form.statusMessage->text().toStdString();

        // The program goes on, disconnected, with nothing reported as an error.
        const int64_t linesWhileLost = form.Memo2->lineCount();
        ProcessEventsFor(200ms);
        EXPECT_FALSE(form.Timer1->isActive());
        EXPECT_FALSE(form.Check_Connection->isChecked());
        EXPECT_TRUE(form.CONF->isEnabled());
        EXPECT_TRUE(Boxes().errors.empty());
        EXPECT_EQ(form.Memo2->lineCount(), linesWhileLost);

        // The meter is back at the same link; the user chooses it with COM SET
        // and connects again.
        ASSERT_TRUE(WaitUntil([&] { return window.meter().Hangups() == round; }));
        ComSet(form, dialog, options.linkPath, "9600");
        ASSERT_TRUE(form.Comm1->PortOpen()) << "COM SET did not reopen the port";
        EXPECT_TRUE(Boxes().errors.empty());
        EXPECT_EQ(form.settingsFile()->readValue("COM Info", "Port", ""), options.linkPath);
        EXPECT_FALSE(form.statusMessage->text().contains(QStringLiteral("lost")))
            << "the lost-port note outlived the loss";

        window.meter().ClearReceived();
        form.Check_Connection->setChecked(true);
        ASSERT_TRUE(WaitUntil([&] { return form.Memo2->lineCount() >= linesWhileLost + 3; }))
            << "no readings after reconnecting";
        const std::vector<std::string> commands = window.commands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands[0], "syst:rem");
        EXPECT_EQ(commands[1], "Func?");
        EXPECT_EQ(commands[2], "Read?");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Unplug,
                         testing::Values(UnplugRow{"once", 1}, UnplugRow{"three_times", 3}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora::test
