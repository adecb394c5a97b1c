// The chart window's histogram.
#include "chart/histogram_panel.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velmora {

// Draws the bars; the ends (under- and overflow) in a colour of their own.
class HistogramBars : public QWidget {
public:
    explicit HistogramBars(QWidget* parent)
        : QWidget(parent) {
        setMinimumSize(240, 140);
    }
    void show(const std::optional<Histogram>& histogram) {
        histogram_ = histogram;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(255, 255, 255));
        if (!histogram_ || histogram_->count() == 0) {
            p.setPen(QColor(120, 120, 120));
            p.drawText(rect(), Qt::AlignCenter, QStringLiteral("no readings in view"));
            return;
        }
        std::vector<uint64_t> bars;
        bars.push_back(histogram_->underflow());
        bars.insert(bars.end(), histogram_->counts().begin(), histogram_->counts().end());
        bars.push_back(histogram_->overflow());
        const uint64_t highest = std::max<uint64_t>(1, *std::max_element(bars.begin(), bars.end()));
        const int labels = fontMetrics().height() + 4;
        const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -labels);
        const double width = area.width() / static_cast<double>(bars.size());
        for (size_t i = 0; i < bars.size(); ++i) {
            const double h =
                area.height() * static_cast<double>(bars[i]) / static_cast<double>(highest);
            const bool end = i == 0 || i + 1 == bars.size();
            p.fillRect(QRectF(area.left() + width * static_cast<double>(i) + 1, area.bottom() - h,
                              std::max(1.0, width - 2), h),
                       end ? QColor(200, 120, 40) : QColor(40, 110, 180));
        }
        p.setPen(QColor(60, 60, 60));
        const QRectF text(area.left(), area.bottom() + 2, area.width(), labels);
        p.drawText(text, Qt::AlignLeft, QString::number(histogram_->low(), 'g', 6));
        p.drawText(text, Qt::AlignRight, QString::number(histogram_->high(), 'g', 6));
    }

private:
    std::optional<Histogram> histogram_;
};

HistogramPanel::HistogramPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Histogram"), parent)
    , bars_(new HistogramBars(this)) {
    setObjectName(QStringLiteral("HistogramPanel"));
    BinsBox = new QSpinBox(this);
    BinsBox->setObjectName(QStringLiteral("BinsBox"));
    BinsBox->setRange(0, 200);
    BinsBox->setSpecialValueText(QStringLiteral("auto"));
    BinsBox->setPrefix(QString());
    BinsBox->setToolTip(QStringLiteral("Bins between the lowest and highest reading (auto: about "
                                       "the square root of the count, round widths)"));
    CsvBtn = new QPushButton(QStringLiteral("Export CSV"), this);
    CsvBtn->setObjectName(QStringLiteral("HistogramCsvBtn"));
    PngBtn = new QPushButton(QStringLiteral("Export PNG"), this);
    PngBtn->setObjectName(QStringLiteral("HistogramPngBtn"));
    Figures = new QLabel(this);
    Figures->setObjectName(QStringLiteral("HistogramFigures"));
    Figures->setTextFormat(Qt::PlainText);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Bins:"), this));
    controls->addWidget(BinsBox);
    controls->addStretch(1);
    controls->addWidget(CsvBtn);
    controls->addWidget(PngBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bars_, 1);
    layout->addWidget(Figures);
    layout->addLayout(controls);
    connect(BinsBox, &QSpinBox::valueChanged, this, [this] { showValues(values_, unit_); });
}

void HistogramPanel::showValues(const std::vector<double>& values, const QString& unit) {
    values_ = values;
    unit_ = unit;
    Histogram automatic = HistogramFor(values);
    if (BinsBox->value() > 0) {
        Histogram chosen(automatic.low(), automatic.high(), static_cast<size_t>(BinsBox->value()));
        for (const double v : values) {
            chosen.add(v);
        }
        histogram_ = chosen;
    } else {
        histogram_ = automatic;
    }
    bars_->show(histogram_);
    Figures->setText(QStringLiteral("Count %1   Mean %2 %4   Std dev %3 %4   Overloads %5")
                         .arg(histogram_->count())
                         .arg(histogram_->mean(), 0, 'g', 9)
                         .arg(histogram_->standardDeviation(), 0, 'g', 6)
                         .arg(unit)
                         .arg(histogram_->overloads()));
}

bool HistogramPanel::saveCsv(const QString& fileName) const {
    if (!histogram_) {
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const std::string text = histogram_->csv();
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

bool HistogramPanel::savePng(const QString& fileName) {
    return grab().save(fileName, "PNG");
}

} // namespace velmora
