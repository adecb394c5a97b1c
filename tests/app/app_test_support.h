// Shared pieces of the main-window tests: recorded boxes, waiting, a window on an emulated meter.
#pragma once

#include "app/main_window.h"
#include "tests/settings/temp_folder.h"
#include "tools/meter/meter_emulator.h"
#include "ui/message_boxes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Lets test failures show a QString as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace velmora::test {

// Records every box instead of showing it; answers questions as told.
class RecordingMessageBoxes : public MessageBoxes {
public:
    struct Box {
        QString title;
        QString text;
        QString details;
        bool centred = false;
    };

    void showError(QWidget*, const QString& title, const QString& text, const QString& details,
                   bool centreOnScreen) override;
    SaveChoice askSave(QWidget*, const QString& title, const QString& text) override;

    std::vector<Box> errors;
    std::vector<QString> questions;
    SaveChoice answer = SaveChoice::Discard;
    // Runs while an error box would be open (e.g. to check the window's state).
    std::function<void()> whileShowingError;
};

// The boxes of the running test program (installed by the test main).
RecordingMessageBoxes& Boxes();

// Processes events until `done` holds; false after `timeout`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Processes events for a while (for "nothing else happens" checks).
void ProcessEventsFor(std::chrono::milliseconds duration);

// A main window whose settings file lives in a temporary folder and whose
// serial component opens an emulated meter; pauses are recorded, not slept.
class WindowOnMeter {
public:
    explicit WindowOnMeter(MeterOptions options = {});
    ~WindowOnMeter();

    TForm1& form() { return *form_; }
    MeterEmulator& meter() { return *meter_; }
    TempFolder& folder() { return folder_; }
    const std::vector<int>& pauses() const { return pauses_; }

    // Ticks "Connect" and waits until the first reading has been shown.
    void connectAndWaitForReading();
    // The command lines the meter has received so far.
    std::vector<std::string> commands() const { return meter_->Commands(); }
    // Waits until the meter has received `count` command lines.
    bool waitForCommands(size_t count);

private:
    TempFolder folder_;
    std::unique_ptr<MeterEmulator> meter_;
    std::unique_ptr<TForm1> form_;
    std::vector<int> pauses_;
};

} // namespace velmora::test
