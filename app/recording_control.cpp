// Recording from the main window.
#include "app/recording_control.h"

#include "settings/settings_store.h"
#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QStandardPaths>

#include <system_error>

namespace velmora {

namespace {

constexpr const char* kSection = "Recording";
constexpr const char* kLastFolder = "LastFolder";

} // namespace

RecordingControl::RecordingControl(QWidget* window, QLabel* indicator)
    : QObject(window)
    , window_(window)
    , indicator_(indicator) {
    chooseFile = [this](const QString& suggested) {
        // An existing file is added to, never replaced: no question about it.
        return QFileDialog::getSaveFileName(window_, QStringLiteral("Record readings to"),
                                            suggested, QStringLiteral("CSV (*.csv)"), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    // A deleted file or a full disk shows within a second even without readings.
    failureCheck_.setInterval(1000);
    connect(&failureCheck_, &QTimer::timeout, this, [this] { checkFailure(); });
    indicator_->setVisible(false);
}

RecordingControl::~RecordingControl() {
    writer_.Stop();
}

QString RecordingControl::suggestedFile() const {
    QString folder;
    if (settings_) {
        folder = QString::fromStdString(settings_->readValue(kSection, kLastFolder, ""));
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath(); // no documents folder on this system
    }
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HHmmss"));
    return QDir(folder).filePath(QStringLiteral("velmora-%1.csv").arg(stamp));
}

void RecordingControl::toggle() {
    if (recording()) {
        stop();
        return;
    }
    QString file = chooseFile(suggestedFile());
    if (file.isEmpty()) {
        return;
    }
    if (QFileInfo(file).suffix().isEmpty()) {
        file += QStringLiteral(".csv");
    }
    startInto(file);
}

bool RecordingControl::startInto(const QString& fileName) {
    if (const std::optional<std::string> why = startQuietly(fileName)) {
        CurrentMessageBoxes().showError(
            window_, QCoreApplication::applicationName(),
            QStringLiteral("Cannot record to \"%1\".").arg(QDir::toNativeSeparators(fileName)),
            QString::fromStdString(*why), false);
        return false;
    }
    return true;
}

std::optional<std::string> RecordingControl::startQuietly(const QString& fileName) {
    try {
        writer_.Start(fileName.toStdString(), mathOn && mathOn());
    } catch (const std::system_error& error) {
        return error.code().message();
    }
    noMathColumnsSaid_ = false;
    if (settings_) {
        try {
            settings_->writeValue(kSection, kLastFolder,
                                  QFileInfo(fileName).absolutePath().toStdString());
        } catch (...) {
            // Only a convenience: the recording itself goes on.
        }
    }
    fileLabel_ = QFileInfo(fileName).fileName();
    failureCheck_.start();
    showIndicator();
    if (onChanged) {
        onChanged(true, fileName);
    }
    return std::nullopt;
}

void RecordingControl::stop() {
    if (!recording()) {
        return;
    }
    const QString file = QString::fromStdString(writer_.Path());
    writer_.Stop();
    // The last sync can fail too (a full disk, a removed medium): said as loudly.
    ended(file, writer_.TakeFailure());
}

void RecordingControl::reading(long double value, const std::string& unit,
                               const RecordingMath* math, std::optional<timespec> arrivedAt) {
    if (!recording()) {
        return;
    }
    if (math && !writer_.MathColumns() && !noMathColumnsSaid_ && showNote) {
        noMathColumnsSaid_ = true;
        showNote(QStringLiteral("%1 has no math columns (begun without math): derived values "
                                "are not recorded in it")
                     .arg(fileLabel_));
    }
    if (!writer_.AddReading(value, unit, math, arrivedAt)) {
        checkFailure();
        return;
    }
    showIndicator();
}

void RecordingControl::burstReading(long double value, const std::string& unit,
                                    double secondsEarlier, const RecordingMath* math,
                                    std::optional<timespec> arrivedAt) {
    if (!recording()) {
        return;
    }
    if (!writer_.AddBurstReading(value, unit, secondsEarlier, math, arrivedAt)) {
        checkFailure();
        return;
    }
    showIndicator();
}

void RecordingControl::event(const std::string& text) {
    if (recording() && !writer_.AddEvent(text)) {
        checkFailure();
    }
}

void RecordingControl::showIndicator() {
    indicator_->setText(
        QStringLiteral("\u25CF REC %1: %2 readings").arg(fileLabel_).arg(writer_.Readings()));
    indicator_->setVisible(true);
}

void RecordingControl::checkFailure() {
    const QString file = QString::fromStdString(writer_.Path());
    if (std::optional<std::string> failure = writer_.TakeFailure()) {
        ended(file, failure);
    }
}

void RecordingControl::ended(const QString& file, const std::optional<std::string>& failure) {
    failureCheck_.stop();
    indicator_->setVisible(false);
    const QString why = QString::fromStdString(failure.value_or(std::string()));
    if (failure && showNote) {
        showNote(QStringLiteral("Recording stopped: %1; the log box keeps every reading").arg(why));
    }
    if (onChanged) {
        onChanged(false, file);
    }
    if (failure) {
        CurrentMessageBoxes().showError(
            window_, QCoreApplication::applicationName(),
            QStringLiteral("Recording to \"%1\" stopped.").arg(QDir::toNativeSeparators(file)), why,
            false);
    }
}

} // namespace velmora
