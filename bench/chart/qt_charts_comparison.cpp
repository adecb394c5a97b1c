// The chart bench's comparison: the same figures for a Qt Charts line series.
#include "bench/chart/bench_figures.h"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <cmath>
#include <cstdio>

namespace velmora::bench {

namespace {

QList<QPointF> Points(long count) {
    QList<QPointF> points;
    points.reserve(count);
    for (long i = 0; i < count; ++i) {
        points.append(QPointF(i * 0.05, 1160.4076 + 0.5 * std::sin(i * 1e-4)));
    }
    return points;
}

double RenderMilliseconds(QChartView& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    const Clock::time_point start = Clock::now();
    view.chart()->update(); // no cached picture: a fresh drawing, as after new data
    QPainter painter(&image);
    view.render(&painter);
    return Milliseconds(Clock::now() - start);
}

} // namespace

void RunQtChartsComparison(long points) {
    std::printf("\nQt Charts (QLineSeries in a QChartView, %d x %d):\n", 1200, 700);
    auto* series = new QLineSeries;
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->addSeries(series);
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    y->setRange(1159, 1162);
    QChartView view(chart);
    view.resize(1200, 700);
    view.show();
    QCoreApplication::processEvents();

    // A reading added to a series of `size` points.
    for (long size : {10000L, 100000L, points}) {
        series->replace(Points(size));
        x->setRange(0, size * 0.05);
        QCoreApplication::processEvents();
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            const Clock::time_point start = Clock::now();
            series->append((size + i) * 0.05, 1160.4);
            times.push_back(Microseconds(Clock::now() - start));
        }
        std::printf("  append to %ld points: median %.0f us\n", size, SpreadOf(times).median);
    }

    series->clear();
    QCoreApplication::processEvents();
    const size_t before = HeapBytes();
    series->replace(Points(points));
    x->setRange(0, points * 0.05);
    RenderMilliseconds(view); // the item's geometry cache fills on the first drawing
    QCoreApplication::processEvents();
    std::printf("  heap per point: %.1f bytes\n",
                static_cast<double>(HeapBytes() - before) / static_cast<double>(points));
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        times.push_back(RenderMilliseconds(view));
    }
    std::printf("  full redraw of %ld points: median %.0f ms\n", points, SpreadOf(times).median);
}

} // namespace velmora::bench
