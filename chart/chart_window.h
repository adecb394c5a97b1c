// TForm2: the chart window: live trend of the readings, views, statistics and PNG export.
#pragma once

#include "chart/trend_recorder.h"

#include <QPoint>
#include <QSharedPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCPGraph;
class QCPAbstractItem;
class QComboBox;
class QCustomPlot;
class QLabel;
class QMouseEvent;
class QPushButton;
class QTimer;
class QWheelEvent;

namespace velmora {

class ChartStatisticsPanel;
class HistogramPanel;
class TrendGraphData;

// A normal, resizable window that follows the readings as a line chart:
// x is the time since the series' first reading, y the unscaled reading in
// its base unit, one series per unit label (the one shown is the current
// one, or the one picked in the series box). Every numeric reading is
// recorded from the start of the run, whether the window is open or not;
// the plot and the statistics are brought up to date ten times a second
// while it is visible. The window remembers nothing between runs.
// Main thread only.
class TForm2 : public QWidget {
    Q_OBJECT

public:
    // How much of the shown series the time axis spans while following.
    enum class View { LastMinute, LastTenMinutes, LastHour, WholeRun };

    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Fed by the main window: every command sent to the meter, every
    // recognised function name and every numeric reading.
    void commandSent(const std::string& command);
    void unitNamed();
    void addReading(long double reading, const std::string& unitLabel, double timeOfDay);
    // The math's derived value (an overload as the meter's 9.9E37), in a
    // series of its own beside the reading's; picked in the series box.
    void addDerived(long double value, const std::string& unitLabel, double timeOfDay);
    // Marks an event on the time axis of the current series ("port lost
    // 12:01:03", "back 12:01:09") and, unless told not to, breaks its line
    // there (an alarm is no gap in the readings).
    void markEvent(const std::string& text, bool breakLine = true);

    // Shows the window in front (double-click on a display, "Trend chart").
    void openChart();

    // Recording: the window's "Record" button asks the owner (the main
    // window), which says what is going on.
    std::function<void()> onRecordClicked;
    // The "Alarms..." button asks the owner to open its alarm editor.
    std::function<void()> onAlarmsClicked;
    void setRecording(bool on, const QString& fileName);

    // Opens a saved run (a recording, or a log saved with Save) in a window
    // of its own, with the same views, statistics and export; null when the
    // file holds neither (the reason is shown). The window deletes itself
    // when closed.
    TForm2* openRun(const QString& fileName);
    // True for a window that shows a saved run rather than the live readings.
    bool showsSavedRun() const { return savedRun_; }
    std::function<QString()> chooseRunFile;
    void setStatisticsVisible(bool visible);
    bool statisticsVisible() const { return statisticsVisible_; }

    void setView(View view);
    View view() const { return view_; }
    // Following moves the time axis along with the newest reading; zooming
    // or panning with the mouse stops it, "Reset view" starts it again.
    void setFollowing(bool following);
    bool following() const { return following_; }
    void resetView();
    void resetStatistics();
    void showSeries(size_t index);
    std::optional<size_t> shownSeries() const { return shown_; }
    // Writes the plot as it is shown to a PNG file; false when it cannot.
    bool saveImage(const QString& fileName);

    // Brings the plot, axes and statistics up to date and draws at once.
    void redraw();
    // The hover text for a point of the plot near `pixel` (plot
    // coordinates): its time of day, value and time since the series began;
    // empty when no point is near.
    QString hoverText(QPoint pixel) const;

    const TrendRecorder& recorder() const { return recorder_; }
    // Points (gaps left out) and overload marks of a series in the plot's store.
    int plottedPoints(size_t series) const;
    int overloadMarks(size_t series) const;
    // The statistics panel's figure of a row ("Count", "Mean", ...).
    QString statisticsText(const QString& row) const;

    // Seams for tests and benchmarks: the monotonic clock, and the save
    // dialog (returns the chosen file, empty when cancelled).
    std::function<TrendClock::time_point()> clock;
    std::function<QString()> chooseImageFile;

    // Handlers of the window's own controls.
    void ViewBoxChange();
    void PauseBtnClick();
    void ResetViewBtnClick();
    void SeriesBoxChange();
    void StatsBtnClick();
    void SavePngBtnClick();
    void ResetStatsBtnClick();
    void RecordBtnClick();
    void AlarmsBtnClick();
    void OpenRunBtnClick();
    void HistBtnClick();
    void HistCsvBtnClick();
    void HistPngBtnClick();
    // The histogram's panel of the readings in view, brought up to date
    // with the statistics while it is shown.
    void setHistogramVisible(bool visible);
    void updateHistogram();
    // Seam: where an export goes (empty: cancelled), for its file filter.
    std::function<QString(const QString& filter)> chooseExportFile;

    // Controls.
    QComboBox* ViewBox = nullptr;
    QPushButton* PauseBtn = nullptr;
    QPushButton* ResetViewBtn = nullptr;
    QComboBox* SeriesBox = nullptr;
    QPushButton* StatsBtn = nullptr;
    QPushButton* SavePngBtn = nullptr;
    QPushButton* RecordBtn = nullptr;
    QPushButton* AlarmsBtn = nullptr;
    QPushButton* OpenRunBtn = nullptr;
    QPushButton* HistBtn = nullptr;
    HistogramPanel* HistPanel = nullptr;
    QCustomPlot* Chart1 = nullptr;
    ChartStatisticsPanel* StatsPanel = nullptr;
    QPushButton* ResetStatsBtn = nullptr;
    QLabel* NoteLabel = nullptr;
    QTimer* RefreshTimer = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SeriesStore {
        QSharedPointer<TrendGraphData> points; // with a NaN where the series was left
        QSharedPointer<TrendGraphData> overloads;
        int gaps = 0;
    };

    void createControls();
    void createPlot();
    void plot(const TrendRecord& record, const std::string& unitLabel);
    void connectHandlers();
    void refresh();
    void updateRanges();
    void updateStatistics();
    void updateNote();
    void rebuildMarkers();
    void userMovedView();
    void plotMouseMove(QMouseEvent* event);
    void plotWheel(QWheelEvent* event);
    double latestKey(size_t series) const;
    void showRun(const struct SavedRun& run, const QString& fileName);

    TrendRecorder recorder_;
    std::vector<SeriesStore> stores_;
    std::optional<size_t> shown_;
    View view_ = View::LastTenMinutes;
    bool following_ = true;
    bool statisticsVisible_ = true;
    bool dirty_ = true;
    QCPGraph* readingsGraph_ = nullptr;
    QCPGraph* overloadGraph_ = nullptr;
    std::vector<QCPAbstractItem*> markers_;
    bool savedRun_ = false;
    QString runNote_; // what the saved run's file held, shown in the note
};

} // namespace velmora
