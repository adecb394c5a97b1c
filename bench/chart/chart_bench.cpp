// Bench program: the chart window's cost per reading, redraw of a million points, memory per point.
//
// Feeds TForm2 a noisy resistance reading every 50 ms (on a fake clock) and
// prints the median, 99th percentile and maximum time of addReading, the heap
// bytes per stored point, and the time of a full redraw (axes, statistics,
// adaptive sampling and painting) in the whole-run and ten-minute views. Where
// Qt Charts is installed it measures the same for a QLineSeries, the figures
// the choice of plotting library rests on.
// Run from a Release build:
//   QT_QPA_PLATFORM=offscreen build/release/bench/chart/velmora_chart_bench [points]
#include "app/application.h"
#include "bench/chart/bench_figures.h"
#include "chart/chart_graph_data.h"
#include "chart/chart_window.h"
#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QImage>

#include <qcustomplot.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace velmora::bench {

#ifdef VELMORA_BENCH_QT_CHARTS
void RunQtChartsComparison(long points); // qt_charts_comparison.cpp
#endif

namespace {

// Boxes are not shown during the bench; an error would be a bug.
class FailingBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString&, const QString& text, const QString&, bool) override {
        std::fprintf(stderr, "unexpected error: %s\n", qPrintable(text));
        std::exit(2);
    }
    SaveChoice askSave(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Discard;
    }
};

void Feed(TForm2& chart, long points) {
    TrendClock::time_point now{};
    chart.clock = [&now] { return now; };
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(points));

    chart.addReading(1160.4076L, "OHM", 0.5); // the series and its stores exist
    const size_t heapBefore = HeapBytes();
    for (long i = 1; i < points; ++i) {
        now += std::chrono::milliseconds(50);
        const long double reading = 1160.4076 + noise(random) + 0.5 * std::sin(i * 1e-4);
        const Clock::time_point start = Clock::now();
        chart.addReading(reading, "OHM", 0.5);
        times.push_back(Microseconds(Clock::now() - start));
    }
    const size_t heapAfter = HeapBytes();

    const Spread spread = SpreadOf(times);
    std::printf("feeding the chart (addReading), %ld readings:\n", points);
    std::printf("  median %.3f us, p99 %.3f us, max %.1f us   (target: median <= 20 us)\n",
                spread.median, spread.p99, spread.max);
    std::printf("  heap per stored point: %.1f bytes (%.1f MB for %d points)   (target: <= 24)\n",
                static_cast<double>(heapAfter - heapBefore) / static_cast<double>(points - 1),
                static_cast<double>(heapAfter - heapBefore) / 1e6, chart.plottedPoints(0));
}

void Redraw(TForm2& chart, TForm2::View view, const char* name, int repeats) {
    chart.setView(view);
    const Clock::time_point firstStart = Clock::now();
    chart.redraw();
    const double first = Milliseconds(Clock::now() - firstStart);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const Clock::time_point start = Clock::now();
        chart.redraw();
        times.push_back(Milliseconds(Clock::now() - start));
    }
    const Spread spread = SpreadOf(times);
    std::printf("  %-16s first %.1f ms, median %.1f ms, max %.1f ms\n", name, first, spread.median,
                spread.max);
}

void Draw(TForm2& chart) {
    std::printf("full redraw (ranges, statistics, replot and paint), %dx%d plot:\n",
                chart.Chart1->width(), chart.Chart1->height());
    Redraw(chart, TForm2::View::WholeRun, "whole run:", 20);
    Redraw(chart, TForm2::View::LastTenMinutes, "last 10 minutes:", 20);
    Redraw(chart, TForm2::View::LastMinute, "last minute:", 20);
    std::printf("  (target: whole run <= 30 ms)\n");

    // The same picture drawn afresh into an image, as "Save chart as PNG" does.
    chart.setView(TForm2::View::WholeRun);
    chart.redraw();
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        const Clock::time_point start = Clock::now();
        const QPixmap image = chart.Chart1->toPixmap();
        times.push_back(Milliseconds(Clock::now() - start));
    }
    std::printf("  whole run into a new image (toPixmap): median %.1f ms\n",
                SpreadOf(times).median);
}

// What the store would cost with the library's own doubling growth.
void PlainStore(long points) {
    const size_t before = HeapBytes();
    {
        QCPGraphDataContainer plain;
        for (long i = 0; i < points; ++i) {
            plain.add(QCPGraphData(i * 0.05, 1160.0));
        }
        std::printf("library store with its own growth: %.1f bytes per point\n",
                    static_cast<double>(HeapBytes() - before) / static_cast<double>(points));
    }
    {
        TrendGraphData grown;
        for (long i = 0; i < points; ++i) {
            grown.append(i * 0.05, 1160.0);
        }
        std::printf("the chart's store (grows by a quarter): %.1f bytes per point\n",
                    static_cast<double>(HeapBytes() - before) / static_cast<double>(points));
    }
}

} // namespace
} // namespace velmora::bench

int main(int argc, char** argv) {
    using namespace velmora;
    using namespace velmora::bench;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication application(argc, argv);
    FailingBoxes boxes;
    SetMessageBoxes(&boxes);
    const long points = argc > 1 ? std::atol(argv[1]) : 1000000;

    {
        TForm2 chart;
        chart.resize(1200, 700);
        Feed(chart, points);
        chart.show();
        QCoreApplication::processEvents();
        Draw(chart);
    }
    for (long count : {points, points + points / 10, points + points / 2}) {
        std::printf("%ld points: ", count);
        PlainStore(count);
    }
#ifdef VELMORA_BENCH_QT_CHARTS
    RunQtChartsComparison(points);
#endif
    return 0;
}
