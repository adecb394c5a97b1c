// ChartStatisticsPanel: the chart window's live figures of the shown series.
#pragma once

#include "chart/trend_series.h"

#include <QGroupBox>
#include <QString>

#include <array>

class QLabel;
class QPushButton;

namespace velmora {

// Rows "Series", "Count", "Last", "Min", "Max", "Mean", "Std dev",
// "Peak-to-peak", "Rate", "Overloads", and a "Reset statistics" button
// (connected by the window). Figures carry an SI prefix before the unit:
// a mean of 1160.40708 OHM reads "1.16040708 kOHM".
class ChartStatisticsPanel : public QGroupBox {
public:
    static constexpr size_t kRows = 10;

    explicit ChartStatisticsPanel(QWidget* parent = nullptr);

    // Shows the figures of `series`, dashes where there are none (no
    // series, no reading since the reset), and the rate as at `now`.
    void showFigures(const TrendSeries* series, TrendClock::time_point now);
    // The figure shown in a row ("Count" -> "768"); empty for an unknown row.
    QString figure(const QString& row) const;

    QPushButton* ResetStatsBtn = nullptr;

private:
    std::array<QLabel*, kRows> values_{};
};

} // namespace velmora
