// The window's side of the control interface: scripts reach the meter the window holds, and the
// console passes one line at a time with the meter's errors shown.
#include "app/meter_console.h"
#include "app/recording_control.h"
#include "control/control_server.h"
#include "settings/settings_store.h"
#include "tests/app/app_test_support.h"
#include "tests/support/control_client.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace velmora {
namespace {

using test::WaitUntil;

bool TranscriptHas(MeterConsole& console, const QString& text) {
    return console.transcript()->toPlainText().contains(text);
}

void Press(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

void Type(MeterConsole& console, const QString& line) {
    console.field()->setText(line);
    console.send();
}

TEST(MeterConsole, ShowsTheRepliesAndTheMetersErrorsAndRefusesWhatWouldTakeTheMeter) {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    test::WindowOnMeter window(options);
    window.connectAndWaitForReading();
    MeterConsole& console = *window.form().console();

    Type(console, QStringLiteral("VOLT:DC:NPLC?"));
    EXPECT_TRUE(WaitUntil([&] {
        return TranscriptHas(console, QStringLiteral("< +1.00000000E+01"));
    })) << console.transcript()->toPlainText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return console.field()->isEnabled(); }));

    Type(console, QStringLiteral("VOLT:BOGUS 3"));
    EXPECT_TRUE(WaitUntil([&] { return TranscriptHas(console, QStringLiteral("! -113")); }))
        << "the meter's own error, read from its queue: "
        << console.transcript()->toPlainText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return console.field()->isEnabled(); }));

    Type(console, QStringLiteral("SYST:LOC"));
    EXPECT_TRUE(TranscriptHas(console, QStringLiteral("! -221,\"Settings conflict;refused")));
    test::ProcessEventsFor(std::chrono::milliseconds(200));
    for (const std::string& command : window.commands()) {
        EXPECT_NE(command, "SYST:LOC") << "never sent";
    }

    // Up walks back through what was typed.
    Press(console.field(), Qt::Key_Up);
    EXPECT_EQ(console.field()->text(), QStringLiteral("SYST:LOC"));
    Press(console.field(), Qt::Key_Up);
    EXPECT_EQ(console.field()->text(), QStringLiteral("VOLT:BOGUS 3"));
    Press(console.field(), Qt::Key_Down);
    Press(console.field(), Qt::Key_Down);
    EXPECT_EQ(console.field()->text(), QString());
}

TEST(WindowControl, AScriptReadsTheWindowsMeterAndRecordsIntoItsFolder) {
    test::WindowOnMeter window;
    window.form().settingsFile()->writeValue("Recording", "LastFolder", window.folder().path());
    window.form().serveControl();
    const std::string socket = window.form().controlServer()->socketPath();
    ASSERT_FALSE(socket.empty());
    window.connectAndWaitForReading();

    std::atomic<bool> done = false;
    std::vector<std::optional<std::string>> replies;
    std::thread script([&] {
        test::ControlClient client(socket);
        for (const char* line : {"READ?", "UNIT?", "REC:FILE \"from-script\";REC:STAT ON;REC:STAT?",
                                 "READ?", "REC:STAT OFF;REC:STAT?;SYST:ERR?"}) {
            replies.push_back(client.ask(line));
        }
        done = true;
    });
    const bool finished = WaitUntil([&] { return done.load(); });
    script.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_TRUE(replies[0] && replies[0]->starts_with("+")) << replies[0].value_or("(none)");
    EXPECT_EQ(replies[1], "V DC");
    EXPECT_EQ(replies[2], "1");
    EXPECT_EQ(replies[4], "0;+0,\"No error\"");
    EXPECT_FALSE(window.form().recording()->recording());
    EXPECT_TRUE(std::filesystem::exists(window.folder() / "from-script.csv"));
}

} // namespace
} // namespace velmora
