// Recording from the main window: start and stop, the indicator, and what goes into the file.
#pragma once

#include "record/recording_writer.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QWidget;

namespace velmora {

class SettingsStore;

// Records every reading that parses (not thinned by the log interval) and
// the run's events into a file of the user's choosing, beside the log box
// that stays as it is. The file goes on across function changes, port loss
// and reconnects; it is started and stopped from the displays' menu and the
// chart window. The default name carries the date and time
// ("velmora-2026-12-09T101500.csv") in the last folder used, kept in the
// settings file's [Recording] section (first: the documents folder). A red
// indicator in the status bar names the file and counts the readings.
// Should the file fail (disk full, deleted), the recording stops with one
// box and a note; polling and the log box go on. Main thread only.
class RecordingControl : public QObject {
public:
    RecordingControl(QWidget* window, QLabel* indicator);
    ~RecordingControl() override;

    void setSettings(SettingsStore* settings) { settings_ = settings; }

    // Start (asking for the file) or stop.
    void toggle();
    // Starts recording into `fileName`; reports a file that cannot be made.
    bool startInto(const QString& fileName);
    // The same for a script: why not instead of a box.
    std::optional<std::string> startQuietly(const QString& fileName);
    void stop();
    bool recording() const { return writer_.Recording(); }
    RecordingWriter& writer() { return writer_; }

    // What the window hands over; `math` the reading's derived fields.
    // `arrivedAt`: the reading's time, the one its publishers give it too.
    void reading(long double value, const std::string& unit, const RecordingMath* math = nullptr,
                 std::optional<timespec> arrivedAt = std::nullopt);
    void burstReading(long double value, const std::string& unit, double secondsEarlier,
                      const RecordingMath* math = nullptr,
                      std::optional<timespec> arrivedAt = std::nullopt);
    // New files get the math columns while this says math is on.
    std::function<bool()> mathOn;
    void event(const std::string& text);

    // The name offered for a new recording (folder and file).
    QString suggestedFile() const;

    // Seams: the file dialog (empty: cancelled), and a note for the status bar.
    std::function<QString(const QString& suggested)> chooseFile;
    std::function<void(const QString&)> showNote;
    // Called when recording starts or stops, with the file.
    std::function<void(bool on, const QString& fileName)> onChanged;

private:
    void checkFailure();
    // The recording is over: the indicator goes; a failure is noted and shown once.
    void ended(const QString& file, const std::optional<std::string>& failure);
    void showIndicator();

    QWidget* window_;
    QLabel* indicator_;
    SettingsStore* settings_ = nullptr;
    RecordingWriter writer_;
    QString fileLabel_;
    bool noMathColumnsSaid_ = false; // for this file
    QTimer failureCheck_;
};

} // namespace velmora
