// The chart window on the main window: readings reach it, the displays open it, views, statistics,
// export.
#include "tests/app/app_test_support.h"

#include "app/alarm_control.h"
#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "chart/chart_statistics_panel.h"
#include "chart/chart_window.h"
#include "chart/histogram_panel.h"
#include "lcd/lcd_matrix.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <qcustomplot.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <cmath>
#include <cstring>
#include <memory>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// A clock that moves only when told to.
struct FakeClock {
    TrendClock::time_point now{std::chrono::hours(1)};
    void advance(std::chrono::milliseconds step) { now += step; }
};

// A main window with the chart attached, fed by hand (no polling).
class ChartOnMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        chart_.clock = [this] { return clock_.now; };
        window_.form().setChartWindow(&chart_);
        chart_.resize(900, 520);
    }

    void deliver(const char* reply) {
        clock_.advance(250ms);
        window_.form().Comm1ReceiveData(nullptr, reply, static_cast<uint16_t>(std::strlen(reply)));
    }

    WindowOnMeter window_;
    TForm2 chart_;
    FakeClock clock_;
};

TEST_F(ChartOnMainWindow, EveryNumericReadingReachesTheChartWhateverTheLogInterval) {
    TForm1& form = window_.form();
    form.COMBOX_INTERVAL->setEditText(QStringLiteral("5"));
    const int64_t logLinesBefore = form.Memo2->lineCount();

    deliver("+1.00000000E+00\r\n"); // no unit known yet: not plotted
    deliver("\"RES\"\r\n");
    deliver("+1.16040760E+03\r\n");
    deliver("+1.16050000E+03\r\n");
    deliver("garbage\r\n");         // fails to convert: not plotted
    deliver("+9.90000000E+37\r\n"); // overload: marked
    deliver("+1.16030000E+03\r\n");

    EXPECT_EQ(form.Memo2->lineCount(), logLinesBefore); // the log is thinned
    ASSERT_EQ(chart_.recorder().seriesCount(), 1u);
    EXPECT_EQ(chart_.recorder().series(0).unitLabel(), "OHM");
    EXPECT_EQ(chart_.plottedPoints(0), 3);
    EXPECT_EQ(chart_.overloadMarks(0), 1);
    EXPECT_EQ(chart_.recorder().heldBack(), 1u);

    chart_.redraw();
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Series")), QStringLiteral("OHM"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Count")), QStringLiteral("3"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Last")), QStringLiteral("1.1603000 kOHM"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Max")), QStringLiteral("1.1605000 kOHM"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Peak-to-peak")), QStringLiteral("200.0 mOHM"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Overloads")), QStringLiteral("1"));
    // Readings every 250 ms, an overload and a rejected reply among them.
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Rate")), QStringLiteral("2.0 /s"));
    EXPECT_EQ(chart_.Chart1->yAxis->label(), QStringLiteral("OHM"));
}

TEST_F(ChartOnMainWindow, AFunctionChangeShowsTheNewSeriesWithItsMarker) {
    deliver("\"VOLT\"\r\n");
    deliver("+1.23456780E+00\r\n");
    chart_.commandSent("Meas:RES?");
    deliver("+1.16040760E+03\r\n"); // still labelled V DC: held back
    deliver("\"RES\"\r\n");
    deliver("+1.16040760E+03\r\n");

    ASSERT_EQ(chart_.recorder().seriesCount(), 2u);
    EXPECT_EQ(chart_.plottedPoints(0), 1);
    EXPECT_EQ(chart_.plottedPoints(1), 1);
    EXPECT_EQ(chart_.shownSeries(), std::optional<size_t>(1));
    EXPECT_EQ(chart_.SeriesBox->count(), 2);
    EXPECT_EQ(chart_.SeriesBox->currentText(), QStringLiteral("OHM"));
    EXPECT_EQ(chart_.Chart1->yAxis->label(), QStringLiteral("OHM"));
    // A dashed line and its label where the series began.
    EXPECT_EQ(chart_.Chart1->itemCount(), 2);

    // Picking the other series shows it with its own marker, its line
    // broken where it was left.
    chart_.SeriesBox->setCurrentIndex(0);
    chart_.SeriesBoxChange();
    EXPECT_EQ(chart_.shownSeries(), std::optional<size_t>(0));
    EXPECT_EQ(chart_.Chart1->yAxis->label(), QStringLiteral("V DC"));
    EXPECT_EQ(chart_.Chart1->itemCount(), 2);
    const QSharedPointer<QCPGraphDataContainer> volts = chart_.Chart1->graph(0)->data();
    ASSERT_EQ(volts->size(), 2);
    EXPECT_EQ(volts->at(0)->value, 1.2345678);
    EXPECT_TRUE(std::isnan(volts->at(1)->value));

    // Back to volts: the series goes on after its gap, and comes up again.
    chart_.commandSent("Meas:Volt:Dc?");
    deliver("+1.23456790E+00\r\n");
    deliver("\"VOLT\"\r\n");
    deliver("+1.23456800E+00\r\n");
    EXPECT_EQ(chart_.shownSeries(), std::optional<size_t>(0));
    EXPECT_EQ(chart_.plottedPoints(0), 2);
    EXPECT_EQ(volts->size(), 3);
    EXPECT_EQ(chart_.Chart1->itemCount(), 4); // "to OHM" and "from OHM"
    chart_.setView(TForm2::View::WholeRun);
    chart_.redraw();
    EXPECT_LT(chart_.Chart1->yAxis->range().lower, 1.2345678);
    EXPECT_GT(chart_.Chart1->yAxis->range().upper, 1.234568); // the gap spoils no range
    EXPECT_LT(chart_.Chart1->yAxis->range().upper, 1.3);
}

void DoubleClick(QWidget* widget) {
    const QPointF local(widget->width() / 2.0, 10.0);
    QMouseEvent event(QEvent::MouseButtonDblClick, local, widget->mapToGlobal(local),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

TEST_F(ChartOnMainWindow, DoubleClickOnEitherDisplayOpensTheChart) {
    TForm1& form = window_.form();
    for (TiLCDMatrix* display : {form.iLCDMatrix1, form.iLCDMatrix2}) {
        SCOPED_TRACE(display->objectName().toStdString());
        chart_.hide();
        ASSERT_FALSE(chart_.isVisible());
        DoubleClick(display);
        EXPECT_TRUE(chart_.isVisible());
        // A chart opens with its statistics beside the plot.
        EXPECT_TRUE(chart_.StatsPanel->isVisible());
        EXPECT_TRUE(chart_.StatsBtn->isChecked());
    }
}

TEST_F(ChartOnMainWindow, ContextMenuOffersTrendChartAndAStatisticsToggle) {
    TForm1& form = window_.form();
    auto* menu = form.findChild<QMenu*>(QStringLiteral("DisplayMenu"));
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    // Trend chart, Statistics, then the main window's own: recording, alarms, math, publishing,
    // the console.
    ASSERT_EQ(actions.size(), 12);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Trend chart"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Statistics"));
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), QStringLiteral("Start recording..."));
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[5]->text(), QStringLiteral("Alarms..."));
    EXPECT_EQ(actions[6]->text(), QStringLiteral("Acknowledge alarms"));
    EXPECT_FALSE(actions[6]->isEnabled()) << "nothing to acknowledge";
    ASSERT_NE(actions[7]->menu(), nullptr) << "the math has a menu of its own";
    EXPECT_EQ(actions[7]->text(), QStringLiteral("Math"));
    const QList<QAction*> math = actions[7]->menu()->actions();
    ASSERT_EQ(math.size(), 3);
    EXPECT_EQ(math[0]->text(), QStringLiteral("Null"));
    EXPECT_EQ(math[1]->text(), QStringLiteral("Math..."));
    EXPECT_EQ(math[2]->text(), QStringLiteral("Reset limit counts"));
    EXPECT_TRUE(actions[8]->isSeparator());
    EXPECT_EQ(actions[9]->text(), QStringLiteral("Publish..."));
    EXPECT_EQ(actions[10]->text(), QStringLiteral("Meter console..."));
    EXPECT_EQ(actions[11]->text(), QStringLiteral("Scripts may send meter commands"));
    EXPECT_TRUE(actions[11]->isCheckable());
    EXPECT_FALSE(actions[11]->isChecked()) << "off until the user turns them on";
    EXPECT_TRUE(actions[1]->isCheckable());

    // Right-click on the lower display: the menu comes up, showing the panel's state.
    const QPoint at(20, 60);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, form.iLCDMatrix2->mapToGlobal(at));
    QCoreApplication::sendEvent(form.iLCDMatrix2, &event);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(actions[1]->isChecked());
    menu->hide();

    actions[1]->trigger(); // off: the panel goes, the chart stays closed
    EXPECT_FALSE(chart_.statisticsVisible());
    EXPECT_FALSE(chart_.isVisible());
    actions[1]->trigger(); // on: the chart opens with its panel
    EXPECT_TRUE(chart_.statisticsVisible());
    EXPECT_TRUE(chart_.isVisible());
    EXPECT_TRUE(chart_.StatsPanel->isVisible());
    EXPECT_TRUE(chart_.StatsBtn->isChecked());

    chart_.hide();
    actions[0]->trigger();
    EXPECT_TRUE(chart_.isVisible());
}

TEST(ChartStatisticsPanel, TenNamedRowsWithTheirFiguresLinedUpAtTheRight) {
    ChartStatisticsPanel panel;
    const QStringList rows = {"Series", "Count",   "Last",         "Min",  "Max",
                              "Mean",   "Std dev", "Peak-to-peak", "Rate", "Overloads"};
    const auto* form = panel.findChild<QFormLayout*>();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->rowCount(), rows.size());
    for (int row = 0; row < form->rowCount(); ++row) {
        SCOPED_TRACE(rows[row].toStdString());
        const auto* name =
            qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        const auto* figure =
            qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget());
        ASSERT_TRUE(name && figure);
        EXPECT_EQ(name->text(), rows[row] + QStringLiteral(":"));
        EXPECT_TRUE(figure->alignment() & Qt::AlignRight) << "figures line up at the right";
    }
}

TEST_F(ChartOnMainWindow, ResetStatisticsStartsTheFiguresAgainButKeepsThePoints) {
    deliver("\"FREQ\"\r\n");
    for (const char* reply :
         {"+1.00003450E+03\r\n", "+1.00004450E+03\r\n", "+1.00001450E+03\r\n"}) {
        deliver(reply);
    }
    chart_.redraw();
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Count")), QStringLiteral("3"));
    chart_.ResetStatsBtn->click();
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Count")), QStringLiteral("0"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Mean")), QStringLiteral("-"));
    EXPECT_EQ(chart_.plottedPoints(0), 3);
    deliver("+2.00000000E+03\r\n");
    chart_.redraw();
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Count")), QStringLiteral("1"));
    EXPECT_EQ(chart_.statisticsText(QStringLiteral("Mean")), QStringLiteral("2.00000000 kHz"));
}

// Two hours of readings, one a second.
class ChartViews : public ChartOnMainWindow {
protected:
    void SetUp() override {
        ChartOnMainWindow::SetUp();
        chart_.show();
        deliver("\"VOLT\"\r\n");
        for (int i = 0; i <= 7200; ++i) {
            clock_.advance(750ms); // with deliver's 250 ms: one a second
            deliver(i % 2 ? "+1.00000000E+00\r\n" : "+2.00000000E+00\r\n");
        }
        deliver("+5.00000000E+00\r\n"); // the newest is the highest
    }
    QCPRange time() const { return chart_.Chart1->xAxis->range(); }
    QCPRange values() const { return chart_.Chart1->yAxis->range(); }
};

TEST_F(ChartViews, FollowingShowsTheChosenSpanEndingAtTheNewestReading) {
    struct Row {
        TForm2::View view;
        double lower;
    };
    const double newest = 7200.25;
    for (const Row& row :
         {Row{TForm2::View::LastMinute, newest - 60},
          Row{TForm2::View::LastTenMinutes, newest - 600},
          Row{TForm2::View::LastHour, newest - 3600}, Row{TForm2::View::WholeRun, 0.0}}) {
        SCOPED_TRACE(static_cast<int>(row.view));
        chart_.setView(row.view);
        chart_.redraw();
        EXPECT_NEAR(time().lower, row.lower, 1e-6);
        EXPECT_GT(time().upper, newest);
        EXPECT_LT(time().upper, newest + (newest - row.lower) * 0.05);
        EXPECT_LT(values().lower, 1.0);
        EXPECT_GT(values().upper, 5.0);
        EXPECT_EQ(chart_.ViewBox->currentIndex(), static_cast<int>(row.view));
        // The time axis reads as times of day, whole seconds at these spans.
        chart_.Chart1->replot();
        const QVector<QString> labels = chart_.Chart1->xAxis->tickVectorLabels();
        ASSERT_FALSE(labels.isEmpty());
        for (const QString& label : labels) {
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d$"))
                            .match(label)
                            .hasMatch())
                << label.toStdString();
        }
    }
}

TEST_F(ChartViews, TheHistogramCountsTheReadingsInViewAndExportsThem) {
    clock_.advance(750ms);
    deliver("+9.90000000E+37\r\n"); // an overload: in no bar, counted apart
    chart_.setView(TForm2::View::LastMinute);
    chart_.setHistogramVisible(true);
    chart_.redraw();
    ASSERT_TRUE(chart_.HistPanel->histogram());
    const Histogram& h = *chart_.HistPanel->histogram();
    // A minute of readings, one a second: 1s and 2s by turns, and the 5 at the end.
    EXPECT_GE(h.count(), 59u);
    EXPECT_LE(h.count(), 63u);
    EXPECT_EQ(h.overloads(), 1u);
    const double ones = std::floor((static_cast<double>(h.count()) - 1) / 2);
    EXPECT_NEAR(h.mean(),
                (ones + 2 * (static_cast<double>(h.count()) - 1 - ones) + 5) /
                    static_cast<double>(h.count()),
                0.02);
    EXPECT_EQ(h.underflow() + h.overflow(), 0u);
    EXPECT_TRUE(chart_.HistPanel->Figures->text().contains(QStringLiteral("Overloads 1")));
    chart_.HistPanel->BinsBox->setValue(4);
    EXPECT_EQ(chart_.HistPanel->histogram()->counts().size(), 4u);

    test::TempFolder folder;
    chart_.chooseExportFile = [&](const QString&) {
        return QString::fromStdString(folder / "histogram.csv");
    };
    chart_.HistCsvBtnClick();
    const std::string csv = test::ReadBytes(folder / "histogram.csv").value_or("");
    EXPECT_EQ(csv.rfind("low,high,count\n", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7) << "header, underflow, 4 bins, overflow";
    chart_.chooseExportFile = [&](const QString&) {
        return QString::fromStdString(folder / "histogram.png");
    };
    chart_.HistPngBtnClick();
    EXPECT_FALSE(QImage(QString::fromStdString(folder / "histogram.png")).isNull());
    chart_.setHistogramVisible(false);
    EXPECT_FALSE(chart_.HistPanel->isVisible());
}

TEST_F(ChartViews, TheWheelStopsFollowingAndResetViewResumesIt) {
    chart_.setView(TForm2::View::LastMinute);
    chart_.redraw();
    const QPointF centre = chart_.Chart1->axisRect()->rect().center();
    QWheelEvent wheel(centre, chart_.Chart1->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(chart_.Chart1, &wheel);
    EXPECT_FALSE(chart_.following());
    EXPECT_TRUE(chart_.PauseBtn->isChecked());
    const QCPRange zoomed = time();
    EXPECT_LT(zoomed.size(), 60.0); // zoomed in on time only

    deliver("+3.00000000E+00\r\n");
    chart_.redraw();
    EXPECT_EQ(time().lower, zoomed.lower); // the view stays where the user put it
    EXPECT_EQ(time().upper, zoomed.upper);

    chart_.ResetViewBtn->click();
    EXPECT_TRUE(chart_.following());
    EXPECT_FALSE(chart_.PauseBtn->isChecked());
    EXPECT_GT(time().upper, 7201.25);
}

TEST_F(ChartViews, HoverNamesTheTimeOfDayAndValueOfTheNearestPoint) {
    chart_.setView(TForm2::View::LastMinute);
    chart_.redraw();
    const double key = 7200.25;
    const QPoint pixel(static_cast<int>(chart_.Chart1->xAxis->coordToPixel(key)),
                       static_cast<int>(chart_.Chart1->yAxis->coordToPixel(5.0)));
    const QString text = chart_.hoverText(pixel);
    EXPECT_TRUE(text.contains(QStringLiteral("5.00000000 V DC"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("7200.25 s"))) << text.toStdString();
    // Far from any point along the time axis, inside the plot: nothing.
    chart_.Chart1->xAxis->setRange(7300, 7400);
    chart_.Chart1->replot();
    EXPECT_TRUE(chart_.hoverText(chart_.Chart1->axisRect()->rect().center()).isEmpty());
}

TEST_F(ChartOnMainWindow, SaveChartAsPng) {
    deliver("\"VOLT\"\r\n");
    deliver("+1.23456780E+00\r\n");
    deliver("+1.23456790E+00\r\n");
    chart_.show();
    const QString file = QString::fromStdString(window_.folder() / "chart.png");
    chart_.chooseImageFile = [file] { return file; };
    chart_.SavePngBtn->click();
    const QImage image(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart_.Chart1->size());

    const size_t errorsBefore = Boxes().errors.size();
    chart_.chooseImageFile = [this] {
        return QString::fromStdString(window_.folder() / "missing/chart.png");
    };
    chart_.SavePngBtn->click();
    ASSERT_EQ(Boxes().errors.size(), errorsBefore + 1);
    EXPECT_TRUE(Boxes().errors.back().text.contains(QStringLiteral("could not be saved")));

    chart_.chooseImageFile = [] { return QString(); }; // cancelled: nothing happens
    chart_.SavePngBtn->click();
    EXPECT_EQ(Boxes().errors.size(), errorsBefore + 1);
}

TEST(ChartPngChooser, CancelGivesNothingAndANameWithoutSuffixGetsPng) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    struct Row {
        const char* name;
        QString typed; // empty: the dialog is cancelled
        QString chosen;
    };
    const Row rows[] = {
        {"cancelled", QString(), QString()},
        {"no_suffix", folder.filePath(QStringLiteral("bench")), folder.filePath("bench.png")},
        {"own_suffix", folder.filePath(QStringLiteral("bench.jpeg")),
         folder.filePath("bench.jpeg")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TForm2 chart;
        QTimer::singleShot(0, [&row] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (row.typed.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(row.typed);
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_EQ(chart.chooseImageFile(), row.chosen);
    }
}

TEST(ChartAlarmMarks, LabelledAtTheFootOnThreeRowsInTurn) {
    TForm2 chart;
    TrendClock::time_point now = TrendClock::now();
    chart.clock = [&now] { return now; };
    for (int i = 0; i < 8; ++i) {
        now += std::chrono::seconds(1);
        chart.addReading(1.0L + i, "V DC", 36000.0 + i);
        if (i % 2 == 1) {
            chart.markEvent("alarm High " + std::to_string(i), false);
        }
    }
    chart.showSeries(0);
    chart.redraw();
    std::vector<double> heights; // in the plot's 0..1 height, in the order raised
    for (int i = 0; i < chart.Chart1->itemCount(); ++i) {
        if (auto* text = qobject_cast<QCPItemText*>(chart.Chart1->item(i));
            text && text->text().startsWith(QStringLiteral("High"))) {
            heights.push_back(text->position->coords().y());
        }
    }
    ASSERT_EQ(heights.size(), 4u);
    for (const double height : heights) {
        EXPECT_GT(height, 0.0) << "inside the plot";
        EXPECT_LT(height, 0.25) << "at its foot";
    }
    EXPECT_NE(heights[0], heights[1]);
    EXPECT_NE(heights[1], heights[2]);
    EXPECT_NE(heights[0], heights[2]);
    EXPECT_EQ(heights[3], heights[0]) << "the fourth on the first row again";
}

TEST(ChartGoneFirst, TheMainWindowGoesOnWithoutIt) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const size_t errorsBefore = Boxes().errors.size();
    auto chart = std::make_unique<TForm2>();
    form.setChartWindow(chart.get());
    chart.reset();

    static const char kName[] = "\"RES\"\r\n";
    static const char kReading[] = "+1.16040760E+03\r\n";
    form.Comm1ReceiveData(nullptr, kName, sizeof kName - 1);
    form.Comm1ReceiveData(nullptr, kReading, sizeof kReading - 1);
    EXPECT_EQ(form.canSend(), 1);
    DoubleClick(form.iLCDMatrix1);
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, form.iLCDMatrix1->mapToGlobal(at));
    QCoreApplication::sendEvent(form.iLCDMatrix1, &event);
    auto* menu = form.findChild<QMenu*>(QStringLiteral("DisplayMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->isVisible());
    form.recording()->chooseFile = [](const QString&) { return QString(); }; // cancelled
    form.alarms()->editAlarms = [](const std::vector<AlarmDefinition>&) {
        return std::optional<std::vector<AlarmDefinition>>(); // cancelled
    };
    for (QAction* action : menu->actions()) {
        action->trigger();
    }
    EXPECT_EQ(Boxes().errors.size(), errorsBefore);
}

ScriptStep Overload() {
    ScriptStep step;
    step.kind = ScriptStep::Kind::Overload;
    return step;
}

MeterOptions SteadyMeter() {
    MeterOptions options;
    options.model.startFunction = MeterFunction::DcVolts;
    options.model.overloadChance = 0;
    options.model.rangeChangeChance = 0;
    return options;
}

// The whole road on the emulated meter: polling, a function button, an overload.
TEST(ChartOnEmulatedMeter, AFunctionChangeSplitsTheSeriesWithoutAStrayPoint) {
    WindowOnMeter window(SteadyMeter());
    TForm2 chart;
    window.form().setChartWindow(&chart);
    window.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return chart.plottedPoints(0) >= 3; }));

    window.form().OHM2_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return chart.plottedPoints(1) >= 3; }));
    window.meter().Inject(Overload());
    ASSERT_TRUE(WaitUntil([&] { return chart.overloadMarks(1) == 1; }));
    window.form().Check_Connection->setChecked(false);

    const TrendRecorder& recorder = chart.recorder();
    ASSERT_EQ(recorder.seriesCount(), 2u);
    EXPECT_EQ(recorder.series(0).unitLabel(), "V DC");
    EXPECT_EQ(recorder.series(1).unitLabel(), "OHM");
    // No resistance reading in the volts series: the reply to the measure
    // query was held back until the meter named its function.
    EXPECT_LT(recorder.series(0).highest(), 2.0);
    EXPECT_GT(recorder.series(1).lowest(), 1000.0);
    EXPECT_LT(recorder.series(1).highest(), 1200.0);
    EXPECT_GE(recorder.heldBack(), 1u);
    EXPECT_EQ(chart.shownSeries(), std::optional<size_t>(1));
}

} // namespace
} // namespace velmora::test
