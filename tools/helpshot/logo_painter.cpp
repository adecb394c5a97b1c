// The Velmora mark: a navy dial badge with a scale arc, an amber needle and a
// trace, beside spaced capitals with a thin amber rule.
#include "tools/helpshot/logo_painter.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cmath>
#include <numbers>

namespace velmora {

namespace {

const QColor kNavy(0x1b, 0x2f, 0x4e);
const QColor kNavyLight(0x2c, 0x4c, 0x7a);
const QColor kAmber(0xf2, 0xa0, 0x1f);
const QColor kScale(0xf4, 0xf6, 0xf8);

// A point on the dial at `degrees` (0 = right, counter-clockwise) and
// `radius` from `centre`, in screen coordinates (y downwards).
QPointF OnDial(QPointF centre, double radius, double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

// The badge inside `box` (a square): a rounded navy plate, a scale arc with
// ticks over the upper part, a needle leaning right and a small trace below.
void PaintMark(QPainter& painter, const QRectF& box) {
    const double s = box.width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);

    QLinearGradient plate(box.topLeft(), box.bottomLeft());
    plate.setColorAt(0.0, kNavyLight);
    plate.setColorAt(1.0, kNavy);
    painter.setPen(Qt::NoPen);
    painter.setBrush(plate);
    painter.drawRoundedRect(box, s * 0.2, s * 0.2);

    const QPointF pivot(box.center().x(), box.top() + s * 0.66);
    const double radius = s * 0.40;
    const double startDeg = 150.0;
    const double spanDeg = -120.0;

    // Scale arc and ticks; the bigger ticks mark both ends and the middle.
    QPen arcPen(kScale, std::max(1.0, s * 0.045), Qt::SolidLine, Qt::FlatCap);
    painter.setPen(arcPen);
    painter.setBrush(Qt::NoBrush);
    const QRectF arcBox(pivot.x() - radius, pivot.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(arcBox, static_cast<int>(startDeg * 16), static_cast<int>(spanDeg * 16));
    const int ticks = s >= 64 ? 9 : 5;
    for (int i = 0; i < ticks; ++i) {
        const double deg = startDeg + spanDeg * i / (ticks - 1);
        const bool major = i == 0 || i == ticks - 1 || i == ticks / 2;
        const double inner = radius - s * (major ? 0.11 : 0.07);
        QPen tickPen(kScale, std::max(1.0, s * (major ? 0.045 : 0.03)), Qt::SolidLine, Qt::FlatCap);
        painter.setPen(tickPen);
        painter.drawLine(OnDial(pivot, inner, deg), OnDial(pivot, radius, deg));
    }

    // The needle and its pivot.
    QPen needlePen(kAmber, std::max(1.4, s * 0.06), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(needlePen);
    painter.drawLine(pivot, OnDial(pivot, radius * 0.92, 62.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAmber);
    painter.drawEllipse(pivot, s * 0.075, s * 0.075);

    // A short trace under the dial: one period of a wave.
    if (s >= 24) {
        QPainterPath wave;
        const double y0 = box.top() + s * 0.84;
        const double x0 = box.left() + s * 0.24;
        const double w = s * 0.52;
        const double amp = s * 0.055;
        wave.moveTo(x0, y0);
        for (int i = 1; i <= 24; ++i) {
            const double t = static_cast<double>(i) / 24.0;
            wave.lineTo(x0 + w * t, y0 - amp * std::sin(2 * std::numbers::pi * t));
        }
        painter.setPen(
            QPen(kScale, std::max(1.0, s * 0.035), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(wave);
    }
    painter.restore();
}

// Draws `text` with its left edge at `x` and baseline at `baseline`, each
// letter placed by hand so the tracking is exact at small sizes.
double DrawSpaced(QPainter& painter, const QString& text, const QFont& font, double x,
                  double baseline, double tracking) {
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    for (const QChar c : text) {
        painter.drawText(QPointF(x, baseline), QString(c));
        x += metrics.horizontalAdvance(c) + tracking;
    }
    return x - tracking;
}

double SpacedWidth(const QString& text, const QFont& font, double tracking) {
    const QFontMetricsF metrics(font);
    double width = 0;
    for (const QChar c : text) {
        width += metrics.horizontalAdvance(c) + tracking;
    }
    return width - tracking;
}

} // namespace

QImage PaintLogo() {
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    PaintMark(painter, QRectF(1.5, 5.5, 40, 40));

    // Lettering to the right of the mark, centred in the space left.
    QFont word(QStringLiteral("DejaVu Sans"));
    word.setPixelSize(16);
    word.setWeight(QFont::Bold);
    word.setStretch(QFont::SemiCondensed);
    word.setHintingPreference(QFont::PreferNoHinting);
    QFont tag(QStringLiteral("DejaVu Sans"));
    tag.setPixelSize(7);
    tag.setWeight(QFont::DemiBold);
    tag.setHintingPreference(QFont::PreferNoHinting);
    const QString name = QStringLiteral("VELMORA");
    const QString line = QStringLiteral("INSTRUMENTS");
    const double left = 46.0;
    const double room = kLogoWidth - 1.0 - left;
    double tracking = 0.6;
    while (SpacedWidth(name, word, tracking) > room && word.pixelSize() > 9) {
        word.setPixelSize(word.pixelSize() - 1);
    }
    const double nameWidth = SpacedWidth(name, word, tracking);
    const double tagTracking = std::max(0.0, (nameWidth - SpacedWidth(line, tag, 0.0)) /
                                                 static_cast<double>(line.size() - 1));
    painter.setPen(kNavy);
    DrawSpaced(painter, name, word, left, 28.0, tracking);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAmber);
    painter.drawRect(QRectF(left, 31.5, nameWidth, 1.6));
    painter.setPen(kNavyLight);
    DrawSpaced(painter, line, tag, left, 41.5, tagTracking);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage PaintIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const double margin = size >= 64 ? size / 32.0 : 0.5;
    PaintMark(painter, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace velmora
