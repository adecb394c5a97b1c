// Shared pieces of the main-window tests.
#include "tests/app/app_test_support.h"
#include "tests/support/private_runtime_folder.h"

#include "app/application.h"
#include "serial/comm.h"
#include "ui/window_fonts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace velmora::test {

void RecordingMessageBoxes::showError(QWidget*, const QString& title, const QString& text,
                                      const QString& details, bool centreOnScreen) {
    errors.push_back({title, text, details, centreOnScreen});
    if (whileShowingError) {
        whileShowingError();
    }
}

MessageBoxes::SaveChoice RecordingMessageBoxes::askSave(QWidget*, const QString&,
                                                        const QString& text) {
    questions.push_back(text);
    return answer;
}

RecordingMessageBoxes& Boxes() {
    static RecordingMessageBoxes boxes;
    return boxes;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    // Sleeps until an event comes rather than spinning: the emulator and the
    // serial threads share the machine's cores with the test. The timer
    // bounds each sleep so that `done` and the deadline are looked at.
    QTimer wake;
    wake.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void ProcessEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

WindowOnMeter::WindowOnMeter(MeterOptions options)
    : meter_(std::make_unique<MeterEmulator>(std::move(options))) {
    meter_->Start();
    form_ = std::make_unique<TForm1>(nullptr, folder_ / "velmora.ini");
    form_->pause = [this](int milliseconds) { pauses_.push_back(milliseconds); };
    form_->Comm1->SetDeviceFolder(folder_.path());
    form_->Comm1->SetCommName(meter_->SlavePath());
    form_->Comm1->OpenPort();
}

WindowOnMeter::~WindowOnMeter() {
    form_->Comm1->ClosePort();
    form_.reset();
    meter_->Stop();
}

void WindowOnMeter::connectAndWaitForReading() {
    form_->Check_Connection->setChecked(true);
    ASSERT_TRUE(WaitUntil([this] {
        for (const std::string& command : meter_->Commands()) {
            if (command == "Read?") {
                return form_->canSend() == 1;
            }
        }
        return false;
    })) << "no reading after connecting";
}

bool WindowOnMeter::waitForCommands(size_t count) {
    return WaitUntil([this, count] { return meter_->Commands().size() >= count; });
}

} // namespace velmora::test

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const velmora::test::PrivateRuntimeFolder runtime; // the windows' control sockets
    velmora::TApplication application(argc, argv);
    // The program's stand-ins for the designed faces, so sizes are the program's.
    velmora::InstallFontSubstitutes();
    velmora::SetMessageBoxes(&velmora::test::Boxes());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
