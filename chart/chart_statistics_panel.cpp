// The statistics panel: count, extremes, mean, spread, rate and overloads of one series.
#include "chart/chart_statistics_panel.h"

#include "chart/trend_format.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

const std::array<const char*, ChartStatisticsPanel::kRows> kRowNames = {
    "Series", "Count",   "Last",         "Min",  "Max",
    "Mean",   "Std dev", "Peak-to-peak", "Rate", "Overloads"};

constexpr int kPanelWidth = 240;

} // namespace

ChartStatisticsPanel::ChartStatisticsPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Statistics"), parent) {
    setObjectName(QStringLiteral("StatsPanel"));
    setFixedWidth(kPanelWidth);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft);
    for (size_t i = 0; i < kRows; ++i) {
        const QString name = QString::fromLatin1(kRowNames[i]);
        values_[i] = new QLabel(this);
        values_[i]->setObjectName(QStringLiteral("Stat ") + name);
        values_[i]->setTextFormat(Qt::PlainText);
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        form->addRow(name + QStringLiteral(":"), values_[i]);
    }
    ResetStatsBtn = new QPushButton(QStringLiteral("Reset statistics"), this);
    ResetStatsBtn->setObjectName(QStringLiteral("ResetStatsBtn"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ResetStatsBtn);
    layout->addStretch(1);
    showFigures(nullptr, TrendClock::time_point());
}

void ChartStatisticsPanel::showFigures(const TrendSeries* series, TrendClock::time_point now) {
    const QString none = QStringLiteral("-");
    std::array<QString, kRows> texts;
    texts.fill(none);
    texts[1] = QStringLiteral("0");
    texts[9] = QStringLiteral("0");
    if (series) {
        const TrendStatistics& statistics = series->statistics();
        const std::string& unit = series->unitLabel();
        const auto text = [&unit](double value, int digits) {
            return QString::fromStdString(FormatWithPrefix(value, unit, digits));
        };
        texts[0] = QString::fromStdString(unit);
        texts[1] = QString::number(statistics.count());
        texts[9] = QString::number(statistics.overloads());
        if (statistics.count() > 0) {
            texts[2] = text(statistics.last(), 8);
            texts[3] = text(statistics.min(), 8);
            texts[4] = text(statistics.max(), 8);
            texts[5] = text(statistics.mean(), 9);
            texts[7] = text(statistics.peakToPeak(), 4);
        }
        if (const std::optional<double> deviation = statistics.standardDeviation()) {
            texts[6] = text(*deviation, 4);
        }
        if (const std::optional<double> rate = statistics.rate(now)) {
            texts[8] = QStringLiteral("%1 /s").arg(*rate, 0, 'f', 1);
        }
    }
    for (size_t i = 0; i < kRows; ++i) {
        // Unchanged figures cost no relayout at ten updates a second.
        if (values_[i]->text() != texts[i]) {
            values_[i]->setText(texts[i]);
        }
    }
}

QString ChartStatisticsPanel::figure(const QString& row) const {
    for (size_t i = 0; i < kRows; ++i) {
        if (row == QLatin1String(kRowNames[i])) {
            return values_[i]->text();
        }
    }
    return {};
}

} // namespace velmora
