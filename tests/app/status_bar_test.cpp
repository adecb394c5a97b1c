// The status bar tells the truth: the port in use after COM SET, a Connect that cannot work, a lost
// port, and texts shown as typed.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "settings/ini_file.h"
#include "settings/serial_settings_dialog.h"
#include "tests/support/file_faults.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

ScriptStep Step(ScriptStep::Kind kind, bool reopen = false) {
    ScriptStep step;
    step.kind = kind;
    step.reopen = reopen;
    return step;
}

// What the user does in the dialog, one step each time it is seen open.
using DialogStep = std::function<void(TForm3&)>;

DialogStep Type(const QString& port, const QString& baud) {
    return [port, baud](TForm3& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setEditText(port);
        dialog.findChild<QComboBox*>(QStringLiteral("ComboBox2"))->setEditText(baud);
    };
}

DialogStep PressOk() {
    return
        [](TForm3& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click(); };
}

DialogStep PressEscape() {
    return [](TForm3& dialog) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &press);
    };
}

// A main window started as the program starts it, on the emulator's port
// stored in its settings file, with a real settings dialog.
class StatusBar : public ::testing::Test {
protected:
    void SetUp() override {
        Boxes().errors.clear();
        MeterOptions options;
        options.linkPath = links_ / "meter"; // follows the emulator across a reopen
        meter_ = std::make_unique<MeterEmulator>(options);
        meter_->Start();
    }
    void TearDown() override {
        if (form_) {
            form_->Comm1->ClosePort();
        }
        meter_->Stop();
    }

    std::string meterLink() const { return links_ / "meter"; }
    bool silenceNoted() {
        return form().statusMessage->text().contains(QStringLiteral("does not answer"));
    }
    // Connects, waits for a reading, then the meter stops answering until its note shows.
    void connectAndSilenceTheMeter() {
        form().Check_Connection->click();
        ASSERT_TRUE(WaitUntil([&] { return form().Memo2->lineCount() >= 2; }));
        for (int i = 0; i < 1000; ++i) {
            meter_->Inject(Step(ScriptStep::Kind::Silence));
        }
        ASSERT_TRUE(WaitUntil([&] { return silenceNoted(); }));
    }

    // Starts with `port` stored; `startUpDialog` is played if the start-up
    // open fails and the dialog comes up.
    // With `userFile`, the settings file beside the program is an
    // administrator's that nobody may write, and the user's file is there.
    void start(const std::string& port, std::deque<DialogStep> startUpDialog = {},
               const std::string& userFile = {}, const std::string& baud = "9600") {
        WriteBytes(folder_ / "velmora.ini",
                   "[COM Info]\r\nPort=" + port + "\r\nbaudrate=" + baud + "\r\n");
        if (!userFile.empty() &&
            (!scene_.makeReadOnly(folder_ / "velmora.ini", std::filesystem::perms::owner_read) ||
             !scene_.makeReadOnly(folder_.path()))) {
            GTEST_SKIP() << "root without a file system that has the immutable attribute";
        }
        form_ = std::make_unique<TForm1>(nullptr, folder_ / "velmora.ini", userFile);
        form_->pause = [this](int milliseconds) { pauses_.push_back(milliseconds); };
        form_->Comm1->SetDeviceFolder(folder_.path());
        dialog_ = std::make_unique<TForm3>(*form_->Comm1, *form_->settingsFile(), form_.get());
        dialog_->SetEmulatorLink({});
        form_->setSettingsDialog(dialog_.get());
        stepper_.setInterval(10);
        QObject::connect(&stepper_, &QTimer::timeout, [this] {
            if (dialog_->isVisible() && !steps_.empty()) {
                const DialogStep step = steps_.front();
                steps_.pop_front();
                step(*dialog_);
            } else if (dialog_->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open"
                              << (Boxes().errors.empty()
                                      ? std::string()
                                      : Boxes().errors.back().text.toStdString() + " / " +
                                            Boxes().errors.back().details.toStdString());
                dialog_->reject();
            }
        });
        stepper_.start();
        steps_ = std::move(startUpDialog);
        form_->show();
        ASSERT_TRUE(WaitUntil([this] { return !form_->statusPanel->text().isEmpty(); }));
        ASSERT_TRUE(WaitUntil([this] { return !dialog_->isVisible(); }));
    }

    // Presses COM SET and plays `steps` in the dialog; returns when it closed.
    void comSet(std::deque<DialogStep> steps) {
        steps_ = std::move(steps);
        form_->CONF->click();
        EXPECT_TRUE(steps_.empty()) << "the dialog closed early";
    }

    TForm1& form() { return *form_; }
    std::string ini() { return ReadBytes(folder_ / "velmora.ini").value_or("<missing>"); }

    FaultScene scene_;
    TempFolder& folder_ = scene_.folder;
    TempFolder links_;
    std::unique_ptr<MeterEmulator> meter_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<TForm3> dialog_;
    QTimer stepper_;
    std::deque<DialogStep> steps_;
    std::vector<int> pauses_;
};

TEST_F(StatusBar, EscapeAfterTypingLeavesPortAndBarAsTheyWere) {
    start(meterLink());
    const QString before = QString::fromStdString(meterLink()) + ",9600,,8,1";
    ASSERT_EQ(form().statusPanel->text(), before);
    const std::string settings = ini();

    comSet({Type(QStringLiteral("Com2"), QStringLiteral("4800")), PressEscape()});
    EXPECT_EQ(form().statusPanel->text(), before);
    EXPECT_TRUE(form().Comm1->PortOpen());
    EXPECT_EQ(form().Comm1->BaudRate(), 9600u);
    EXPECT_EQ(ini(), settings);
}

TEST_F(StatusBar, RejectedBaudThenEscapeKeepsTheBarAndSaysThePortIsClosed) {
    start(meterLink());
    const QString before = form().statusPanel->text();
    comSet({Type(QString::fromStdString(meterLink()), QStringLiteral("96OO")), PressOk(),
            PressEscape()});
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].text, QStringLiteral("'96OO' is not a valid integer value."));
    EXPECT_EQ(form().statusPanel->text(), before) << "no junk text in the bar";
    EXPECT_FALSE(form().Comm1->PortOpen());
    EXPECT_TRUE(form().statusMessage->text().contains(QStringLiteral("is not open")))
        << form().statusMessage->text().toStdString();
}

TEST_F(StatusBar, OkShowsTheComponentsNameAndRateInTheStartUpForm) {
    start(meterLink());
    // Blanks around the name are typed; the component opens the trimmed name.
    comSet({Type(QStringLiteral("  ") + QString::fromStdString(meterLink()) + QStringLiteral(" "),
                 QStringLiteral(" 4800")),
            PressOk()});
    EXPECT_TRUE(form().Comm1->PortOpen());
    EXPECT_EQ(form().statusPanel->text(),
              QString::fromStdString(meterLink()) + QStringLiteral(",4800,,8,1"));
    EXPECT_TRUE(form().statusMessage->text().isEmpty());
}

TEST_F(StatusBar, ConnectWithoutAnOpenPortIsUndoneAndExplained) {
    Boxes().errors.clear();
    start("com1", {PressEscape()}); // nothing at <folder>/ttyS0: the start-up open fails
    ASSERT_FALSE(form().Comm1->PortOpen());
    pauses_.clear();
    form().Check_Connection->click();
    EXPECT_FALSE(form().Check_Connection->isChecked()) << "the tick is undone at once";
    EXPECT_TRUE(pauses_.empty()) << "nothing paused";
    EXPECT_FALSE(form().Timer1->isActive());
    EXPECT_TRUE(form().CONF->isEnabled());
    EXPECT_FALSE(form().PageControl1->isEnabled());
    const QString note = form().statusMessage->text();
    EXPECT_TRUE(note.contains(QStringLiteral("com1 (") + QString::fromStdString(folder_.path()) +
                              QStringLiteral("/ttyS0)")))
        << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("COM SET"))) << note.toStdString();
    ProcessEventsFor(100ms);
    EXPECT_TRUE(meter_->Received().empty());
}

TEST_F(StatusBar, LostPortLeavesTheCycleSoComSetWorksAndStaysQuiet) {
    start(meterLink());
    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return form().Memo2->lineCount() >= 3; }));

    meter_->Inject(Step(ScriptStep::Kind::Hangup)); // gone for good
    ASSERT_TRUE(WaitUntil([&] { return !form().Comm1->PortOpen(); })) << "loss not noticed";
    EXPECT_FALSE(form().Check_Connection->isChecked());
    EXPECT_FALSE(form().PageControl1->isEnabled());
    EXPECT_TRUE(form().CONF->isEnabled()) << "COM SET must be usable";
    EXPECT_FALSE(form().Timer1->isActive());
    const QString note = form().statusMessage->text();
    EXPECT_TRUE(note.contains(QStringLiteral(" lost at ")) &&
                note.contains(QStringLiteral("waiting for it to return")))
        << note.toStdString();
    EXPECT_TRUE(form().portReturnWatcher()->Watching());

    // Another meter chosen with COM SET ends the wait; not connected, that
    // meter is not expected to answer, so no silence note comes however long
    // it is quiet, and nothing is sent to it.
    MeterOptions options;
    options.linkPath = links_ / "other";
    MeterEmulator other(options);
    other.Start();
    comSet({Type(QString::fromStdString(options.linkPath), QStringLiteral("9600")), PressOk()});
    ASSERT_TRUE(form().Comm1->PortOpen());
    EXPECT_FALSE(form().portReturnWatcher()->Watching()) << "the wait outlived COM SET";
    EXPECT_FALSE(form().Check_Connection->isChecked()) << "COM SET does not connect";
    ProcessEventsFor(2500ms);
    EXPECT_FALSE(form().statusMessage->text().contains(QStringLiteral("does not answer")))
        << form().statusMessage->text().toStdString();
    EXPECT_TRUE(other.Received().empty()) << "nothing sent while not connected";

    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return other.Commands().size() >= 3; }));
    EXPECT_EQ(other.Commands()[0], "syst:rem");
}

TEST_F(StatusBar, SilenceNoteOnlyWhileConnectedAndTimedFromEachConnect) {
    start(meterLink());
    ASSERT_NO_FATAL_FAILURE(connectAndSilenceTheMeter());
    // Unticked: the note goes, and does not come back while unticked.
    form().Check_Connection->click();
    EXPECT_FALSE(silenceNoted());
    ProcessEventsFor(300ms);
    EXPECT_FALSE(silenceNoted());
    // Ticked again: a fresh wait, so no note at once.
    form().Check_Connection->click();
    ProcessEventsFor(300ms);
    EXPECT_FALSE(silenceNoted()) << "the silence clock must restart with each connect";
    ASSERT_TRUE(WaitUntil([&] { return silenceNoted(); }));
}

TEST_F(StatusBar, ANoteThatComesDuringTheSilenceIsNotHiddenByIt) {
    start(meterLink());
    TempFolder files;
    const std::string recording = files / "run.csv";
    ASSERT_TRUE(form().recording()->startInto(QString::fromStdString(recording)));
    ASSERT_NO_FATAL_FAILURE(connectAndSilenceTheMeter());
    std::filesystem::remove(recording);
    ASSERT_TRUE(WaitUntil([&] {
        return form().statusMessage->text().startsWith(QStringLiteral("Recording stopped"));
    }));
    ProcessEventsFor(300ms);
    EXPECT_TRUE(form().statusMessage->text().startsWith(QStringLiteral("Recording stopped")))
        << "the silence note came back over it";
}

TEST_F(StatusBar, AdministratorsSettingsAreReadAndTheUsersChoicesKeptInTheirOwnFile) {
    TempFolder home;
    const std::string userFile = home / ".config/velmora/velmora.ini";
    start(meterLink(), {}, userFile);
    if (IsSkipped()) {
        return;
    }
    EXPECT_TRUE(form().Comm1->PortOpen()) << "the administrator's port was not used";
    EXPECT_TRUE(Boxes().errors.empty());
    comSet({Type(QString::fromStdString(meterLink()), QStringLiteral("4800")), PressOk()});
    ASSERT_TRUE(Boxes().errors.empty()) << Boxes().errors[0].text.toStdString();
    EXPECT_EQ(form().statusPanel->text(), QString::fromStdString(meterLink()) + ",4800,,8,1");
    EXPECT_TRUE(form().statusMessage->text().contains(QString::fromStdString(userFile)))
        << form().statusMessage->text().toStdString();
    // Only the changed value: the port stored beside the program was the same.
    EXPECT_EQ(ReadBytes(userFile), std::optional<std::string>("[COM Info]\r\nbaudrate=4800\r\n"));
    // The next start reads the user's choice over the administrator's value.
    form_->Comm1->ClosePort();
    TForm1 next(nullptr, folder_ / "velmora.ini", userFile);
    EXPECT_EQ(next.settingsFile()->readValue("COM Info", "baudrate", ""), "4800");
}

TEST_F(StatusBar, RateThePortDidNotTakeIsNoted) {
    // A negative rate from a hand-edited file is no rate a line can run.
    start(meterLink(), {}, {}, "-9600");
    ASSERT_TRUE(form().Comm1->PortOpen());
    const QString note = form().statusMessage->text();
    EXPECT_TRUE(note.startsWith(QStringLiteral("The port runs at ")) &&
                note.endsWith(QStringLiteral(" baud: the rate -9600 was not taken")))
        << note.toStdString();
    // A rate the port takes says nothing.
    comSet({Type(QString::fromStdString(meterLink()), QStringLiteral("4800")), PressOk()});
    EXPECT_TRUE(form().statusMessage->text().isEmpty())
        << form().statusMessage->text().toStdString();
}

TEST_F(StatusBar, TextsFromTheUserAreShownAsTyped) {
    start("<b>96</b>", {PressEscape()});
    EXPECT_EQ(form().statusPanel->text(), QStringLiteral("<b>96</b>,9600,,8,1"));
    for (QLabel* label : {form().statusPanel, form().statusMessage, form().statusLineCount}) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
    ASSERT_FALSE(Boxes().errors.empty());
    EXPECT_TRUE(Boxes().errors[0].text.startsWith(QStringLiteral("<b>96</b>  Port open error")));
}

// A meter on the network, named in the settings file as users write it: the window reads
// the readings, says the resource alone in panel 0 and the instrument beside it, and COM SET
// goes back to a serial port as always.
TEST_F(StatusBar, ANetworkMeterIsReadAndShownByItsResource) {
    MeterOptions options;
    options.tcpPort = 0;
    options.model.persona = MeterPersona::Lan3446x;
    MeterEmulator network(options);
    network.Start();
    const std::string resource =
        "TCPIP::127.0.0.1::" + std::to_string(network.TcpPort()) + "::SOCKET";
    start(resource);
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_EQ(form().statusPanel->text(), QString::fromStdString(resource))
        << "no rate, no framing";
    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return form().Memo2->lineCount() >= 3; }));
    const QString instrument = form().statusInstrument->text();
    EXPECT_TRUE(form().statusInstrument->isVisibleTo(&form()));
    EXPECT_TRUE(instrument.startsWith(QStringLiteral("3446x/3447x class \u00b7 127.0.0.1 port ")))
        << instrument.toStdString();
    EXPECT_TRUE(instrument.endsWith(QStringLiteral("VELMORA-EMU,34461A,MY00000001,A.03.01-02.40")))
        << instrument.toStdString();
    const std::vector<std::string> commands = network.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 3),
              (std::vector<std::string>{"*IDN?", "Func?", "Read?"}))
        << "no remote mode on the network";
    EXPECT_EQ(network.UndefinedHeaders(), 0);
    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return !form().Timer1->isActive(); }));

    // Back to the serial port: panel 0 as always, the instrument panel gone.
    comSet({Type(QString::fromStdString(meterLink()), QStringLiteral("9600")), PressOk()});
    EXPECT_TRUE(form().Comm1->PortOpen());
    EXPECT_EQ(form().statusPanel->text(), QString::fromStdString(meterLink()) + ",9600,,8,1");
    EXPECT_FALSE(form().statusInstrument->isVisibleTo(&form()));
    EXPECT_EQ(network.AcceptedConnections(), 1);
}

// A 34401A through a "++" GPIB adapter on the network: the adapter's version and the meter's
// identity beside the resource, the GPIB profile chosen, no command the meter refuses.
TEST_F(StatusBar, AMeterBehindAGpibAdapterIsReadAndShownWithTheAdapter) {
    MeterOptions options;
    options.tcpPort = 0;
    options.model.persona = MeterPersona::Gpib34401A;
    options.gpibAdapterAddress = 7;
    MeterEmulator adapter(options);
    adapter.Start();
    const std::string resource = "GPIB::7@127.0.0.1:" + std::to_string(adapter.TcpPort());
    start(resource);
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_EQ(form().statusPanel->text(), QString::fromStdString(resource));
    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return form().Memo2->lineCount() >= 3; }));
    const QString instrument = form().statusInstrument->text();
    EXPECT_TRUE(instrument.startsWith(
        QStringLiteral("34401A class (GPIB) \u00b7 GPIB 7 on 127.0.0.1 port ")))
        << instrument.toStdString();
    EXPECT_TRUE(instrument.endsWith(QStringLiteral(
        "VELMORA-EMU,34401A,0,11-5-2 \u00b7 adapter VELMORA-EMU GPIB adapter version 1.0")))
        << instrument.toStdString();
    const std::vector<std::string> commands = adapter.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 3),
              (std::vector<std::string>{"*IDN?", "Func?", "Read?"}))
        << "the bus gives remote mode";
    EXPECT_EQ(adapter.UndefinedHeaders(), 0);
    EXPECT_EQ(adapter.AdapterVersionQueries(), 1);
    // Beside a note ("The meter is …") the panel still has room to be read.
    EXPECT_FALSE(form().statusMessage->text().isEmpty());
    EXPECT_GE(form().statusInstrument->width(), 150);
    form().Check_Connection->click();
    ASSERT_TRUE(WaitUntil([&] { return !form().Timer1->isActive(); }));
}

TEST_F(StatusBar, ANetworkMeterThatCannotBeReachedIsExplained) {
    TcpListener closed(0);
    const std::string nobody = "127.0.0.1:" + std::to_string(closed.Port());
    closed.StopListening();
    start(nobody, {PressEscape()});
    ASSERT_FALSE(Boxes().errors.empty());
    EXPECT_EQ(Boxes().errors.front().text,
              QString::fromStdString("Cannot connect to " + nobody + "."));
    EXPECT_TRUE(Boxes().errors.front().details.contains(QStringLiteral("connection refused")))
        << Boxes().errors.front().details.toStdString();
    Boxes().errors.clear();
    comSet(
        {Type(QStringLiteral("TCPIP::127.0.0.1::0::SOCKET"), QStringLiteral("9600")), PressOk()});
    ASSERT_FALSE(Boxes().errors.empty());
    EXPECT_TRUE(Boxes().errors.front().details.contains(QStringLiteral("port 0 is no TCP port")));
    form().Check_Connection->click();
    EXPECT_FALSE(form().Check_Connection->isChecked()) << "nothing to connect to";
}

} // namespace
} // namespace velmora::test
