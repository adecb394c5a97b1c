// HistogramPanel: the chart window's histogram of the readings in view.
#pragma once

#include "math/histogram.h"

#include <QGroupBox>
#include <QString>

#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;

namespace velmora {

class HistogramBars;

// Bars of the readings in view (their bins chosen automatically, or as many
// as the user sets over the same span), an underflow and an overflow bar at
// the ends, and the count, mean and standard deviation; overloads are in no
// bar and counted apart. Exported as CSV (low,high,count) and PNG.
class HistogramPanel : public QGroupBox {
public:
    explicit HistogramPanel(QWidget* parent = nullptr);

    // The readings in view (overloads as non-numbers) and their unit.
    void showValues(const std::vector<double>& values, const QString& unit);
    const std::optional<Histogram>& histogram() const { return histogram_; }
    // Writes the export; false when the file cannot be written.
    bool saveCsv(const QString& fileName) const;
    bool savePng(const QString& fileName);

    QSpinBox* BinsBox = nullptr; // 0: automatic
    QPushButton* CsvBtn = nullptr;
    QPushButton* PngBtn = nullptr;
    QLabel* Figures = nullptr;

private:
    HistogramBars* bars_;
    std::optional<Histogram> histogram_;
    std::vector<double> values_;
    QString unit_;
};

} // namespace velmora
