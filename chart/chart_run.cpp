// The chart window's recording button and saved runs opened for review.
#include "chart/chart_window.h"

#include "record/run_reader.h"
#include "text/regional_settings.h"
#include "ui/message_boxes.h"
#include "ui/plain_tooltip.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <fstream>
#include <iterator>
#include <sstream>

namespace velmora {

void TForm2::setRecording(bool on, const QString& fileName) {
    RecordBtn->setText(on ? QStringLiteral("Stop recording") : QStringLiteral("Record..."));
    RecordBtn->setToolTip(on ? PlainToolTip(QStringLiteral("Recording to %1").arg(fileName))
                             : QStringLiteral("Write every reading to a file as it arrives"));
}

void TForm2::RecordBtnClick() {
    if (onRecordClicked) {
        onRecordClicked();
    }
}

void TForm2::AlarmsBtnClick() {
    if (onAlarmsClicked) {
        onAlarmsClicked();
    }
}

void TForm2::OpenRunBtnClick() {
    const QString fileName = chooseRunFile();
    if (!fileName.isEmpty()) {
        openRun(fileName);
    }
}

TForm2* TForm2::openRun(const QString& fileName) {
    std::ifstream file(fileName.toStdString(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const RegionalSettings& regional = CurrentRegionalSettings();
    const std::optional<SavedRun> run =
        file ? ReadRun(bytes.str(), regional.timeMark, regional.amText, regional.pmText)
             : std::nullopt;
    if (!run) {
        CurrentMessageBoxes().showError(
            this, QStringLiteral("Error"),
            QStringLiteral("%1 is neither a recording nor a saved reading log")
                .arg(QDir::toNativeSeparators(fileName)),
            QString(), false);
        return nullptr;
    }
    auto* window = new TForm2;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->showRun(*run, fileName);
    window->openChart();
    return window;
}

void TForm2::showRun(const SavedRun& run, const QString& fileName) {
    savedRun_ = true;
    setWindowTitle(QStringLiteral("Chart - %1").arg(QFileInfo(fileName).fileName()));
    RecordBtn->hide();
    AlarmsBtn->hide();
    PauseBtn->hide();
    setView(View::WholeRun);
    // The run's own time line stands in for the clock.
    const TrendClock::time_point base = TrendClock::now();
    TrendClock::time_point at = base;
    clock = [&at] { return at; };
    for (const RunRow& row : run.rows) {
        at = base + std::chrono::duration_cast<TrendClock::duration>(
                        std::chrono::duration<double>(row.seconds));
        if (row.value) {
            addReading(*row.value, row.unit, row.timeOfDay);
        } else if (!row.event.empty()) {
            markEvent(row.event);
        }
    }
    const TrendClock::time_point end = at;
    clock = [end] { return end; };
    runNote_ =
        QStringLiteral("%1: %2 readings").arg(QFileInfo(fileName).fileName()).arg(run.readings);
    if (run.kind == SavedRun::Kind::SavedLog) {
        runNote_ += QStringLiteral(" (a saved log: times of day only, laid out in order)");
    }
    if (run.stoppedAt) {
        runNote_ +=
            QStringLiteral("; reading stopped at %1").arg(QString::fromStdString(*run.stoppedAt));
    }
    updateNote();
    redraw();
}

} // namespace velmora
