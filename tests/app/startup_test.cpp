// Start-up and shut-down of the main window: settings file, port, boxes, dialog, closing.
#include "tests/app/app_test_support.h"

#include "app/application.h"
#include "app/reading_log_box.h"
#include "help/clickable_picture.h"
#include "help/help_window.h"
#include "serial/comm.h"
#include "settings/ini_file.h"
#include "settings/serial_settings_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

const std::string kDefaultSettings = "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n";

// A main window started as the program starts it, on a settings file and a
// device folder of the test's own; the dialog is closed as soon as it shows.
class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        Boxes().errors.clear();
        Boxes().questions.clear();
        Boxes().whileShowingError = nullptr;
    }
    void TearDown() override {
        Boxes().whileShowingError = nullptr;
        if (form_) {
            form_->Comm1->ClosePort();
        }
    }

    // Creates the window (FormCreate runs), then shows it (FormShow runs).
    void start() {
        form_ = std::make_unique<TForm1>(nullptr, settingsPath());
        form_->pause = [](int) {};
        form_->Comm1->SetDeviceFolder(folder_.path());
        dialog_ = std::make_unique<TForm3>(*form_->Comm1, *form_->settingsFile(), form_.get());
        dialog_->SetEmulatorLink({});
        form_->setSettingsDialog(dialog_.get());
        QObject::connect(dialog_.get(), &QDialog::finished, [this] { ++dialogRuns_; });
        // Close the dialog as soon as it runs, as a user pressing its close box would.
        dialogCloser_ = std::make_unique<QTimer>();
        QObject::connect(dialogCloser_.get(), &QTimer::timeout, [this] {
            if (dialog_->isVisible()) {
                dialog_->reject();
            }
        });
        dialogCloser_->start(10);
        form_->show();
        // FormShow runs once the window is up; let it finish.
        ProcessEventsFor(100ms);
    }

    std::string settingsPath() const { return folder_ / "velmora.ini"; }
    TForm1& form() { return *form_; }

    TempFolder folder_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<TForm3> dialog_;
    std::unique_ptr<QTimer> dialogCloser_;
    int dialogRuns_ = 0;
};

TEST_F(StartUp, FirstStartWritesDefaultsThenReportsThePortAndOffersTheDialog) {
    QString statusWhileReporting;
    Boxes().whileShowingError = [&] { statusWhileReporting = form().statusPanel->text(); };
    start();
    EXPECT_EQ(ReadBytes(settingsPath()), std::optional<std::string>(kDefaultSettings));
    EXPECT_EQ(statusWhileReporting, QStringLiteral("com1,9600,,8,1"));
    // Closed without OK, the dialog changed nothing: the bar keeps its text and
    // the note says what to do.
    EXPECT_EQ(form().statusPanel->text(), QStringLiteral("com1,9600,,8,1"));
    EXPECT_TRUE(form().statusMessage->text().contains(QStringLiteral("is not open")));
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].title, QStringLiteral("Error"));
    EXPECT_EQ(Boxes().errors[0].text, QStringLiteral("com1  Port open error, Set com port pls "));
    EXPECT_TRUE(Boxes().errors[0].centred);
    EXPECT_FALSE(Boxes().errors[0].details.isEmpty()) << "the system's reason";
    EXPECT_EQ(dialogRuns_, 1);
    EXPECT_FALSE(form().Comm1->PortOpen());
    EXPECT_FALSE(form().Timer1->isActive());
}

TEST_F(StartUp, ExistingSectionIsLeftAlone) {
    WriteBytes(settingsPath(), "[com info]\r\nport=x\r\n");
    start();
    EXPECT_EQ(ReadBytes(settingsPath()), std::optional<std::string>("[com info]\r\nport=x\r\n"));
}

TEST_F(StartUp, PortWithBlanksAroundItOpensUnderTheTrimmedName) {
    MeterEmulator meter;
    meter.Start();
    WriteBytes(settingsPath(),
               "[COM Info]\r\nPort=  " + meter.SlavePath() + "  \r\nbaudrate=9600\r\n");
    start();
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_TRUE(form().Comm1->PortOpen());
    EXPECT_EQ(form().Comm1->CommName(), meter.SlavePath());
    EXPECT_EQ(form().statusPanel->text().toStdString(), meter.SlavePath() + ",9600,,8,1");
    EXPECT_EQ(dialogRuns_, 0);
}

TEST_F(StartUp, InvalidBaudRateIsReportedAndNothingOpens) {
    MeterEmulator meter;
    meter.Start();
    WriteBytes(settingsPath(), "[COM Info]\r\nPort=" + meter.SlavePath() + "\r\nbaudrate=96OO\r\n");
    start();
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].text, QStringLiteral("'96OO' is not a valid integer value."));
    // The test program's file name gives the title, first letter capitalised.
    EXPECT_EQ(Boxes().errors[0].title, QStringLiteral("Velmora_app_tests"));
    EXPECT_FALSE(form().Comm1->PortOpen());
    EXPECT_EQ(form().Comm1->CommName(), meter.SlavePath());
    EXPECT_EQ(form().Comm1->BaudRate(), 9600u);
    EXPECT_TRUE(form().statusPanel->text().isEmpty());
    EXPECT_EQ(dialogRuns_, 0);
}

TEST_F(StartUp, UnwritableSettingsAreReportedAndTheWindowIsCreated) {
    const std::string path = folder_ / "missing/velmora.ini";
    TForm1 window(nullptr, path);
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].text, QString::fromStdString("Unable to write to " + path + "."));
    EXPECT_EQ(window.canSend(), 1);
    EXPECT_FALSE(window.PageControl1->isEnabled());
}

TEST_F(StartUp, ComSetClosedWithoutOkKeepsTheStatusBar) {
    start();
    Boxes().errors.clear();
    form().CONF->click();
    EXPECT_EQ(dialogRuns_, 2);
    EXPECT_EQ(form().statusPanel->text(), QStringLiteral("com1,9600,,8,1"));
}

TEST(ApplicationTitle, IsTheFileNameUpToItsFirstDot) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"/usr/bin/velmora", "Velmora"},
        {"/opt/bench.2/METER.v2.bin", "Meter"},
        {"velmora", "Velmora"},
        {"/x/.hidden", ""},
    };
    for (const auto& [path, title] : rows) {
        EXPECT_EQ(ApplicationTitle(QString::fromLatin1(path)), QString::fromLatin1(title)) << path;
    }
}

class ShutDown : public ::testing::Test {
protected:
    void SetUp() override {
        Boxes().errors.clear();
        Boxes().questions.clear();
    }
    void TearDown() override { Boxes().answer = MessageBoxes::SaveChoice::Discard; }
};

TEST_F(ShutDown, ExitWhilePollingClosesThePortWithoutLocalMode) {
    WindowOnMeter window;
    window.connectAndWaitForReading();
    Boxes().answer = MessageBoxes::SaveChoice::Discard;
    window.form().Button4->click();
    EXPECT_FALSE(window.form().Comm1->PortOpen());
    ProcessEventsFor(100ms);
    EXPECT_EQ(window.meter().Received().find("syst:loc"), std::string::npos);
    EXPECT_EQ(Boxes().questions.size(), 1u) << "readings were logged and never saved";
}

TEST_F(ShutDown, NothingToSaveClosesWithoutAQuestion) {
    WindowOnMeter window;
    EXPECT_TRUE(window.form().close());
    EXPECT_TRUE(Boxes().questions.empty());
    EXPECT_FALSE(window.form().Comm1->PortOpen());
}

TEST_F(ShutDown, CancelKeepsTheProgramOpenAndSaveWritesTheLog) {
    WindowOnMeter window;
    TForm1& form = window.form();
    form.Memo2->appendLine("1,OHM,+1.0E+00,12:00:00");
    form.Comm1ReceiveData(form.Comm1, "+1.0E+00\r\n", 10); // logs a reading

    Boxes().answer = MessageBoxes::SaveChoice::Cancel;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.Comm1->PortOpen());

    Boxes().answer = MessageBoxes::SaveChoice::Save;
    const std::string path = window.folder() / "kept.csv";
    form.chooseSaveFile = [path] { return QString::fromStdString(path); };
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.Comm1->PortOpen());
    const std::string saved = ReadBytes(path).value_or("");
    EXPECT_EQ(saved.rfind("No.,Function,Value,Time\r\n1,OHM,+1.0E+00,12:00:00\r\n2,,+1.0E+00,", 0),
              0u)
        << saved;
}

TEST_F(ShutDown, CancelledSaveDialogKeepsTheProgramOpen) {
    WindowOnMeter window;
    TForm1& form = window.form();
    form.Comm1ReceiveData(form.Comm1, "+1.0E+00\r\n", 10);
    Boxes().answer = MessageBoxes::SaveChoice::Save;
    form.chooseSaveFile = [] { return QString(); };
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.hasUnsavedReadings());
}

TEST_F(ShutDown, FailedSaveIsReportedAndKeepsTheProgramOpen) {
    WindowOnMeter window;
    TForm1& form = window.form();
    form.Comm1ReceiveData(form.Comm1, "+1.0E+00\r\n", 10);
    Boxes().answer = MessageBoxes::SaveChoice::Save;
    const std::string path = window.folder() / "missing/kept.csv";
    form.chooseSaveFile = [path] { return QString::fromStdString(path); };
    EXPECT_FALSE(form.close());
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_TRUE(Boxes().errors[0].text.startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(form.Comm1->PortOpen());
    EXPECT_TRUE(form.hasUnsavedReadings());
}

// A real left click on a widget: press and release at its centre.
void ClickCentre(QWidget* widget) {
    const QPointF local(widget->rect().center());
    const QPointF global(widget->mapToGlobal(local.toPoint()));
    QMouseEvent press(QEvent::MouseButtonPress, local, local, global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, local, global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

int VisibleHelpWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += dynamic_cast<TForm4*>(widget) != nullptr && widget->isVisible();
    }
    return count;
}

TEST_F(ShutDown, LogoShowsTheOneHelpWindow) {
    WindowOnMeter window;
    TForm4 help;
    window.form().setHelpWindow(&help);
    window.form().show();
    ASSERT_EQ(VisibleHelpWindows(), 0);
    ClickCentre(window.form().Image1);
    ClickCentre(window.form().Image1);
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(VisibleHelpWindows(), 1) << "the one help window, not a second";
    EXPECT_TRUE(window.form().isVisible()) << "not modal: the main window stays";
    // A click on the picture hides it; the logo brings the same window back.
    help.move(300, 200);
    ClickCentre(help.Image1);
    EXPECT_FALSE(help.isVisible());
    ClickCentre(window.form().Image1);
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.pos(), QPoint(300, 200));
    help.close();
}

} // namespace
} // namespace velmora::test
