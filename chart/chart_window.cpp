// The chart window: plot, view selector, statistics panel, hover text and PNG export.
#include "chart/chart_window.h"

#include "chart/chart_graph_data.h"
#include "chart/chart_statistics_panel.h"
#include "chart/histogram_panel.h"
#include "chart/trend_format.h"
#include "text/time_of_day.h"
#include "ui/exception_report.h"
#include "ui/message_boxes.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

// How often the visible window catches up with the readings: often enough
// to look live, rarely enough that a redraw of a long run stays cheap.
constexpr int kRefreshMilliseconds = 100;

// Overload marks sit on the time axis: at this height of the hidden
// second value axis, whose range is 0 to 1.
constexpr double kOverloadMarkHeight = 0.025;

// A point counts as hovered within this many pixels along the time axis.
constexpr double kHoverPixels = 8.0;

const QColor kReadingColour(0, 110, 190);
const QColor kOverloadColour(210, 40, 30);
const QColor kChangeColour(120, 120, 120);
const QColor kAlarmColour(200, 0, 160);

double WindowSeconds(TForm2::View view) {
    switch (view) {
    case TForm2::View::LastMinute:
        return 60;
    case TForm2::View::LastTenMinutes:
        return 600;
    case TForm2::View::LastHour:
        return 3600;
    case TForm2::View::WholeRun:
        break;
    }
    return 0;
}

// Significant digits the value axis needs so that neighbouring tick labels
// differ: a 1 kOHM reading that wanders by 10 mOHM needs "1160.41".
int ValueAxisPrecision(const QCPRange& range) {
    const double magnitude = std::max(std::fabs(range.lower), std::fabs(range.upper));
    const double step = range.size() / 5.0;
    if (!(magnitude > 0) || !(step > 0) || !std::isfinite(magnitude / step)) {
        return 6;
    }
    // Never fewer than the integer digits, or 1000 would read "1e+03".
    const int integerDigits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    const int digits =
        static_cast<int>(std::floor(std::log10(magnitude)) - std::floor(std::log10(step))) + 2;
    return std::clamp(std::max(digits, integerDigits), 3, 15);
}

// "h:mm:ss" for the time axis, with milliseconds once ticks come closer
// than a second.
QString TimeAxisFormat(const QCPRange& range) {
    return range.size() < 5 ? QStringLiteral("%h:%m:%s.%z") : QStringLiteral("%h:%m:%s");
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent) {
    clock = [] { return TrendClock::now(); };
    chooseImageFile = [this] {
        QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save chart as PNG"),
                                                    QStringLiteral("chart.png"),
                                                    QStringLiteral("PNG image (*.png)"));
        if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty()) {
            file += QStringLiteral(".png");
        }
        return file;
    };
    chooseExportFile = [this](const QString& filter) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export the histogram"), QString(),
                                            filter);
    };
    chooseRunFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open a saved run"), QString(),
                                            QStringLiteral("CSV (*.csv);;All files (*)"));
    };
    createControls();
    connectHandlers();
    updateStatistics();
    updateNote();
}

TForm2::~TForm2() = default;

void TForm2::createControls() {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Chart"));
    resize(1040, 580);
    setMinimumSize(560, 360);

    ViewBox = new QComboBox(this);
    ViewBox->setObjectName(QStringLiteral("ViewBox"));
    ViewBox->addItems({QStringLiteral("Last minute"), QStringLiteral("Last 10 minutes"),
                       QStringLiteral("Last hour"), QStringLiteral("Whole run")});
    ViewBox->setCurrentIndex(static_cast<int>(view_));
    // The bar is crowded: never squeeze the view's name below its longest.
    ViewBox->setMinimumWidth(ViewBox->sizeHint().width());
    PauseBtn = new QPushButton(QStringLiteral("Pause"), this);
    PauseBtn->setObjectName(QStringLiteral("PauseBtn"));
    PauseBtn->setCheckable(true);
    PauseBtn->setToolTip(QStringLiteral("Stop following the newest readings"));
    ResetViewBtn = new QPushButton(QStringLiteral("Reset view"), this);
    ResetViewBtn->setObjectName(QStringLiteral("ResetViewBtn"));
    SeriesBox = new QComboBox(this);
    SeriesBox->setObjectName(QStringLiteral("SeriesBox"));
    SeriesBox->setMinimumContentsLength(8);
    SeriesBox->setToolTip(QStringLiteral("One series per unit; a change of function starts "
                                         "or resumes the series of its unit"));
    StatsBtn = new QPushButton(QStringLiteral("Statistics"), this);
    StatsBtn->setObjectName(QStringLiteral("StatsBtn"));
    StatsBtn->setCheckable(true);
    StatsBtn->setChecked(statisticsVisible_);
    SavePngBtn = new QPushButton(QStringLiteral("Save chart as PNG"), this);
    SavePngBtn->setObjectName(QStringLiteral("SavePngBtn"));
    RecordBtn = new QPushButton(QStringLiteral("Record..."), this);
    RecordBtn->setObjectName(QStringLiteral("RecordBtn"));
    RecordBtn->setToolTip(QStringLiteral("Write every reading to a file as it arrives"));
    AlarmsBtn = new QPushButton(QStringLiteral("Alarms..."), this);
    AlarmsBtn->setObjectName(QStringLiteral("AlarmsBtn"));
    AlarmsBtn->setToolTip(QStringLiteral("Limits, silence and overload alarms on the readings"));
    OpenRunBtn = new QPushButton(QStringLiteral("Open run..."), this);
    OpenRunBtn->setObjectName(QStringLiteral("OpenRunBtn"));
    OpenRunBtn->setToolTip(QStringLiteral("Show a recording or a saved log in a chart"));

    HistBtn = new QPushButton(QStringLiteral("Histogram"), this);
    HistBtn->setObjectName(QStringLiteral("HistBtn"));
    HistBtn->setCheckable(true);
    HistBtn->setToolTip(QStringLiteral("A histogram of the readings in view"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("View:"), this));
    bar->addWidget(ViewBox);
    bar->addWidget(PauseBtn);
    bar->addWidget(ResetViewBtn);
    bar->addSpacing(12);
    bar->addWidget(new QLabel(QStringLiteral("Series:"), this));
    bar->addWidget(SeriesBox);
    bar->addStretch(1);
    bar->addWidget(RecordBtn);
    bar->addWidget(AlarmsBtn);
    bar->addWidget(OpenRunBtn);
    bar->addWidget(StatsBtn);
    bar->addWidget(HistBtn);
    bar->addWidget(SavePngBtn);

    createPlot();
    StatsPanel = new ChartStatisticsPanel(this);
    ResetStatsBtn = StatsPanel->ResetStatsBtn;

    HistPanel = new HistogramPanel(this);
    HistPanel->setVisible(false);
    auto* plots = new QVBoxLayout;
    plots->addWidget(Chart1, 3);
    plots->addWidget(HistPanel, 2);
    auto* middle = new QHBoxLayout;
    middle->addLayout(plots, 1);
    middle->addWidget(StatsPanel);

    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName(QStringLiteral("NoteLabel"));
    NoteLabel->setTextFormat(Qt::PlainText); // file names and the reader's notes
    // The key of the marks, beside the note rather than over the readings.
    auto* key =
        new QLabel(QStringLiteral("<span style=\"color:%1\">&#9650;</span> overload "
                                  "(9.9E37) &nbsp; <span style=\"color:%2\">&#8942;"
                                  "</span> change of function &nbsp; <span "
                                  "style=\"color:%3\">&#8942;</span> alarm")
                       .arg(kOverloadColour.name(), kChangeColour.name(), kAlarmColour.name()),
                   this);
    key->setObjectName(QStringLiteral("KeyLabel"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(NoteLabel, 1);
    bottom->addWidget(key);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName(QStringLiteral("RefreshTimer"));
    RefreshTimer->setInterval(kRefreshMilliseconds);
}

void TForm2::createPlot() {
    Chart1 = new QCustomPlot(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setMinimumSize(300, 200);
    Chart1->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    Chart1->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    Chart1->axisRect()->setRangeZoom(Qt::Horizontal);
    // Many points in a run: no smoothing of lines while the user drags.
    Chart1->setNoAntialiasingOnDrag(true);

    auto ticker = QSharedPointer<QCPAxisTickerTime>::create();
    ticker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    ticker->setFieldWidth(QCPAxisTickerTime::tuHours, 1);
    Chart1->xAxis->setTicker(ticker);
    Chart1->xAxis->setLabel(QStringLiteral("time since the series' first reading (h:mm:ss)"));
    Chart1->yAxis->setNumberFormat(QStringLiteral("g"));
    Chart1->yAxis->setNumberPrecision(6);
    // The overload marks and function-change lines stand on a value axis
    // of their own, so they keep their place whatever the readings do.
    Chart1->yAxis2->setRange(0, 1);
    Chart1->yAxis2->setVisible(false);

    readingsGraph_ = Chart1->addGraph(Chart1->xAxis, Chart1->yAxis);
    readingsGraph_->setPen(QPen(kReadingColour, 1));
    readingsGraph_->setLineStyle(QCPGraph::lsLine);
    overloadGraph_ = Chart1->addGraph(Chart1->xAxis, Chart1->yAxis2);
    overloadGraph_->setLineStyle(QCPGraph::lsNone);
    overloadGraph_->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssTriangle, kOverloadColour, kOverloadColour, 8));
}

void TForm2::connectHandlers() {
    connect(ViewBox, &QComboBox::currentIndexChanged, this,
            ReportingSlot(this, &TForm2::ViewBoxChange));
    connect(PauseBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::PauseBtnClick));
    connect(ResetViewBtn, &QPushButton::clicked, this,
            ReportingSlot(this, &TForm2::ResetViewBtnClick));
    connect(SeriesBox, &QComboBox::activated, this, ReportingSlot(this, &TForm2::SeriesBoxChange));
    connect(StatsBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::StatsBtnClick));
    connect(HistBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::HistBtnClick));
    connect(HistPanel->CsvBtn, &QPushButton::clicked, this,
            ReportingSlot(this, &TForm2::HistCsvBtnClick));
    connect(HistPanel->PngBtn, &QPushButton::clicked, this,
            ReportingSlot(this, &TForm2::HistPngBtnClick));
    connect(SavePngBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::SavePngBtnClick));
    connect(ResetStatsBtn, &QPushButton::clicked, this,
            ReportingSlot(this, &TForm2::ResetStatsBtnClick));
    connect(RecordBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::RecordBtnClick));
    connect(AlarmsBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::AlarmsBtnClick));
    connect(OpenRunBtn, &QPushButton::clicked, this, ReportingSlot(this, &TForm2::OpenRunBtnClick));
    connect(RefreshTimer, &QTimer::timeout, this, ReportingSlot(this, &TForm2::refresh));

    connect(Chart1, &QCustomPlot::mouseWheel, this, [this](QWheelEvent* event) {
        RunReportingExceptions([this, event] { plotWheel(event); });
    });
    connect(Chart1, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        RunReportingExceptions([this, event] { plotMouseMove(event); });
    });
    // Tick labels keep enough digits however the value axis was moved.
    connect(Chart1->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) {
                RunReportingExceptions([this, range] {
                    Chart1->yAxis->setNumberPrecision(ValueAxisPrecision(range));
                });
            });
    connect(Chart1->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) {
                RunReportingExceptions([this, range] {
                    Chart1->xAxis->ticker().dynamicCast<QCPAxisTickerTime>()->setTimeFormat(
                        TimeAxisFormat(range));
                });
            });
}

void TForm2::commandSent(const std::string& command) {
    recorder_.commandSent(command);
}

void TForm2::unitNamed() {
    recorder_.unitNamed();
}

void TForm2::addReading(long double reading, const std::string& unitLabel, double timeOfDay) {
    const std::optional<size_t> before = recorder_.current();
    const TrendRecord record = recorder_.record(reading, unitLabel, clock(), timeOfDay);
    dirty_ = true;
    if (record.action == TrendAction::Ignored) {
        return;
    }
    if (record.unitChanged && before) {
        // A gap where the meter measured something else: the line of the
        // series left must not run on to where it is taken up again.
        const TrendSeries& left = recorder_.series(*before);
        stores_[*before].points->append(left.unitChanges().back().x, qQNaN());
        ++stores_[*before].gaps;
    }
    plot(record, unitLabel);
    // A change of function brings its series up; so does the first one.
    if (record.unitChanged || !shown_) {
        showSeries(record.series);
    }
}

void TForm2::addDerived(long double value, const std::string& unitLabel, double timeOfDay) {
    const TrendRecord record = recorder_.recordDerived(value, unitLabel, clock(), timeOfDay);
    dirty_ = true;
    if (record.action != TrendAction::Ignored) {
        plot(record, unitLabel);
    }
}

void TForm2::plot(const TrendRecord& record, const std::string& unitLabel) {
    if (record.seriesCreated) {
        SeriesStore store;
        store.points = QSharedPointer<TrendGraphData>::create();
        store.overloads = QSharedPointer<TrendGraphData>::create();
        stores_.push_back(std::move(store));
        SeriesBox->addItem(Text(unitLabel));
    }
    SeriesStore& store = stores_[record.series];
    if (record.action == TrendAction::Plotted) {
        store.points->append(record.x, record.y);
    } else {
        store.overloads->append(record.x, kOverloadMarkHeight);
    }
}

void TForm2::markEvent(const std::string& text, bool breakLine) {
    const std::optional<size_t> series = recorder_.markEvent(text, clock());
    if (!series) {
        return;
    }
    if (breakLine) {
        // The readings before and after the event are not joined by a line.
        stores_[*series].points->append(recorder_.series(*series).unitChanges().back().x, qQNaN());
        ++stores_[*series].gaps;
    }
    if (shown_ == series) {
        rebuildMarkers();
    }
    dirty_ = true;
}

void TForm2::openChart() {
    show();
    raise();
    activateWindow();
}

void TForm2::setStatisticsVisible(bool visible) {
    statisticsVisible_ = visible;
    StatsPanel->setVisible(visible);
    StatsBtn->setChecked(visible);
}

void TForm2::setView(View view) {
    view_ = view;
    {
        const QSignalBlocker blocker(ViewBox);
        ViewBox->setCurrentIndex(static_cast<int>(view));
    }
    // Choosing a view means wanting to see it now.
    setFollowing(true);
}

void TForm2::setFollowing(bool following) {
    following_ = following;
    PauseBtn->setChecked(!following);
    PauseBtn->setText(following ? QStringLiteral("Pause") : QStringLiteral("Resume"));
    dirty_ = true;
}

void TForm2::resetView() {
    setFollowing(true);
    redraw();
}

void TForm2::resetStatistics() {
    if (shown_) {
        recorder_.series(*shown_).statistics().reset();
    }
    updateStatistics();
}

void TForm2::showSeries(size_t index) {
    if (index >= stores_.size()) {
        return;
    }
    shown_ = index;
    readingsGraph_->setData(stores_[index].points);
    overloadGraph_->setData(stores_[index].overloads);
    const QString unit = Text(recorder_.series(index).unitLabel());
    Chart1->yAxis->setLabel(unit);
    SeriesBox->setCurrentIndex(static_cast<int>(index));
    rebuildMarkers();
    dirty_ = true;
}

void TForm2::rebuildMarkers() {
    for (QCPAbstractItem* item : markers_) {
        Chart1->removeItem(item);
    }
    markers_.clear();
    if (!shown_) {
        return;
    }
    int alarmRow = 0;
    for (const TrendUnitChange& change : recorder_.series(*shown_).unitChanges()) {
        // Alarms are marked in a colour of their own, labelled at the foot
        // of the plot so they stay clear of the changes of function, on
        // three rows in turn so that a raise and its clear soon after can
        // both be read.
        const bool alarm = change.text.starts_with("alarm ");
        const double labelHeight = alarm ? 0.02 + 0.06 * (alarmRow++ % 3) : 0.98;
        const QColor colour = alarm ? kAlarmColour : kChangeColour;
        auto* line = new QCPItemStraightLine(Chart1);
        line->setClipToAxisRect(true);
        line->point1->setAxes(Chart1->xAxis, Chart1->yAxis2);
        line->point2->setAxes(Chart1->xAxis, Chart1->yAxis2);
        line->point1->setCoords(change.x, 0);
        line->point2->setCoords(change.x, 1);
        line->setPen(QPen(colour, 1, alarm ? Qt::DotLine : Qt::DashLine));
        auto* label = new QCPItemText(Chart1);
        label->setClipToAxisRect(true);
        label->position->setAxes(Chart1->xAxis, Chart1->yAxis2);
        label->position->setCoords(change.x, labelHeight);
        // "to ..." stands before the line, over the end of the readings;
        // "from ..." after it, over where they begin again.
        label->setPositionAlignment((change.leaving ? Qt::AlignRight : Qt::AlignLeft) |
                                    (alarm ? Qt::AlignBottom : Qt::AlignTop));
        label->setPadding(QMargins(4, 1, 4, 1));
        label->setColor(colour.darker(150));
        label->setText(Text(alarm ? change.text.substr(6) : change.text));
        markers_.push_back(line);
        markers_.push_back(label);
    }
}

bool TForm2::saveImage(const QString& fileName) {
    redraw();
    return Chart1->savePng(fileName);
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RunReportingExceptions([this] {
        RefreshTimer->start();
        redraw();
    });
}

void TForm2::refresh() {
    if (!isVisible()) {
        RefreshTimer->stop(); // started again when the window is shown
        return;
    }
    updateStatistics();
    updateNote();
    if (dirty_) {
        dirty_ = false;
        updateRanges();
        Chart1->replot(QCustomPlot::rpQueuedRefresh);
    }
    if (HistPanel->isVisible()) {
        updateHistogram(); // of what is in view now
    }
}

void TForm2::redraw() {
    dirty_ = false;
    updateStatistics();
    updateNote();
    updateRanges();
    Chart1->replot(QCustomPlot::rpImmediateRefresh);
    if (HistPanel->isVisible()) {
        updateHistogram();
    }
}

double TForm2::latestKey(size_t series) const {
    double latest = 0;
    for (const QSharedPointer<TrendGraphData>& store :
         {stores_[series].points, stores_[series].overloads}) {
        if (!store->isEmpty()) {
            latest = std::max(latest, (store->constEnd() - 1)->key);
        }
    }
    return latest;
}

void TForm2::updateRanges() {
    if (!following_ || !shown_) {
        return;
    }
    const size_t index = *shown_;
    const double latest = latestKey(index);
    const double window = WindowSeconds(view_);
    // Until the run is as long as the window, the readings fill the width.
    const double lower = window > 0 ? std::max(0.0, latest - window) : 0.0;
    const double span = std::max(latest - lower, 1.0);
    Chart1->xAxis->setRange(lower, lower + span * 1.02);

    const TrendSeries& series = recorder_.series(index);
    if (series.points() == 0) {
        return;
    }
    QCPRange values(series.lowest(), series.highest());
    if (window > 0 && lower > 0) {
        // Only the readings in view count; the whole-run range is at hand
        // without looking at a million points.
        bool found = false;
        const QCPRange inView =
            stores_[index].points->valueRange(found, QCP::sdBoth, QCPRange(lower, latest));
        if (found) {
            values = inView;
        }
    }
    double height = values.size();
    if (height <= 0) {
        height = std::max(std::fabs(values.lower) * 1e-6, 1e-12);
    }
    // Room below for the overload marks, above for the function-change labels.
    Chart1->yAxis->setRange(values.lower - height * 0.1, values.upper + height * 0.12);
}

void TForm2::updateStatistics() {
    StatsPanel->showFigures(shown_ ? &recorder_.series(*shown_) : nullptr, clock());
}

void TForm2::updateHistogram() {
    // The shown series' readings on the time axis as it is; its gaps are
    // no readings, its overload marks are overloads.
    std::vector<double> values;
    QString unit;
    if (shown_) {
        const QCPRange range = Chart1->xAxis->range();
        for (auto it = stores_[*shown_].points->findBegin(range.lower, false);
             it != stores_[*shown_].points->constEnd() && it->key <= range.upper; ++it) {
            if (std::isfinite(it->value)) {
                values.push_back(it->value);
            }
        }
        for (auto it = stores_[*shown_].overloads->findBegin(range.lower, false);
             it != stores_[*shown_].overloads->constEnd() && it->key <= range.upper; ++it) {
            values.push_back(std::numeric_limits<double>::infinity());
        }
        unit = Text(recorder_.series(*shown_).unitLabel());
    }
    HistPanel->showValues(values, unit);
}

void TForm2::setHistogramVisible(bool visible) {
    HistBtn->setChecked(visible);
    HistPanel->setVisible(visible);
    if (visible) {
        updateHistogram();
    }
}

void TForm2::HistBtnClick() {
    setHistogramVisible(HistBtn->isChecked());
}

void TForm2::HistCsvBtnClick() {
    const QString file =
        chooseExportFile ? chooseExportFile(QStringLiteral("CSV (*.csv)")) : QString();
    if (!file.isEmpty() && !HistPanel->saveCsv(file)) {
        NoteLabel->setText(QStringLiteral("Cannot write %1").arg(file));
    }
}

void TForm2::HistPngBtnClick() {
    const QString file =
        chooseExportFile ? chooseExportFile(QStringLiteral("PNG (*.png)")) : QString();
    if (!file.isEmpty() && !HistPanel->savePng(file)) {
        NoteLabel->setText(QStringLiteral("Cannot write %1").arg(file));
    }
}

void TForm2::updateNote() {
    QString note;
    if (savedRun_) {
        note = runNote_;
    } else if (recorder_.unitPending()) {
        note = QStringLiteral("Waiting for the meter to name its function: "
                              "readings are not plotted meanwhile.");
    } else if (!shown_) {
        note = QStringLiteral("No readings yet: tick Connect in the main window.");
    } else {
        note = QStringLiteral("Hover a point for its time of day. Wheel: zoom time "
                              "(Shift: values); drag: pan; Reset view follows again.");
    }
    if (NoteLabel->text() != note) {
        NoteLabel->setText(note);
    }
}

void TForm2::userMovedView() {
    if (following_) {
        setFollowing(false);
    }
}

void TForm2::plotWheel(QWheelEvent* event) {
    // Called before the plot zooms: choose the axis the wheel acts on.
    Chart1->axisRect()->setRangeZoom((event->modifiers() & Qt::ShiftModifier) ? Qt::Vertical
                                                                              : Qt::Horizontal);
    userMovedView();
}

void TForm2::plotMouseMove(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        userMovedView(); // a drag pans the view
        return;
    }
    const QString text = hoverText(event->position().toPoint());
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), text, Chart1);
    }
}

QString TForm2::hoverText(QPoint pixel) const {
    if (!shown_) {
        return {};
    }
    const TrendGraphData& points = *stores_[*shown_].points;
    if (points.isEmpty() || !Chart1->axisRect()->rect().contains(pixel)) {
        return {};
    }
    const double key = Chart1->xAxis->pixelToCoord(pixel.x());
    // The nearest point along the time axis: the one found or the one before.
    auto nearest = points.findBegin(key, false);
    if (nearest == points.constEnd()) {
        --nearest;
    } else if (nearest != points.constBegin()) {
        const auto before = nearest - 1;
        if (std::fabs(before->key - key) < std::fabs(nearest->key - key)) {
            nearest = before;
        }
    }
    if (std::isnan(nearest->value) ||
        std::fabs(Chart1->xAxis->coordToPixel(nearest->key) - pixel.x()) > kHoverPixels) {
        return {}; // nothing near, or the gap of a function change
    }
    const TrendSeries& series = recorder_.series(*shown_);
    return QStringLiteral("%1\n%2\n%3 s since the series began")
        .arg(Text(FormatTimeOfDay(series.timeOfDayAt(nearest->key))),
             Text(FormatWithPrefix(nearest->value, series.unitLabel(), 9)),
             QString::number(nearest->key, 'f', 2));
}

int TForm2::plottedPoints(size_t series) const {
    return series < stores_.size() ? stores_[series].points->size() - stores_[series].gaps : 0;
}

int TForm2::overloadMarks(size_t series) const {
    return series < stores_.size() ? stores_[series].overloads->size() : 0;
}

QString TForm2::statisticsText(const QString& row) const {
    return StatsPanel->figure(row);
}

void TForm2::ViewBoxChange() {
    setView(static_cast<View>(ViewBox->currentIndex()));
}

void TForm2::PauseBtnClick() {
    setFollowing(!PauseBtn->isChecked());
}

void TForm2::ResetViewBtnClick() {
    resetView();
}

void TForm2::SeriesBoxChange() {
    const int index = SeriesBox->currentIndex();
    if (index >= 0) {
        showSeries(static_cast<size_t>(index));
        setFollowing(true);
    }
}

void TForm2::StatsBtnClick() {
    setStatisticsVisible(StatsBtn->isChecked());
}

void TForm2::SavePngBtnClick() {
    const QString fileName = chooseImageFile();
    if (fileName.isEmpty()) {
        return;
    }
    if (!saveImage(fileName)) {
        CurrentMessageBoxes().showError(this, QStringLiteral("Error"),
                                        QStringLiteral("The chart could not be saved as %1")
                                            .arg(QDir::toNativeSeparators(fileName)),
                                        QString(), false);
    }
}

void TForm2::ResetStatsBtnClick() {
    resetStatistics();
}

} // namespace velmora
