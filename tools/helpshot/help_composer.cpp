// Composes the help picture: the window scaled to leave a margin for notes, then outlines, leader
// lines and note boxes on top.
#include "tools/helpshot/help_composer.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmora {

namespace {

// Where the scaled window lies: room on the left for three notes, above for
// two and below for three.
constexpr double kWindowScale = 0.78;
const QPointF kWindowOrigin(138.0, 50.0);

const QColor kCanvas(0xfb, 0xfb, 0xfc);
const QColor kAccent(0xd9, 0x48, 0x0f);
const QColor kNoteFill(0xff, 0xf8, 0xef);
const QColor kNoteText(0x1f, 0x26, 0x33);

constexpr int kPadding = 5;

QRectF ToPicture(const QRect& windowRect) {
    return QRectF(kWindowOrigin.x() + windowRect.x() * kWindowScale,
                  kWindowOrigin.y() + windowRect.y() * kWindowScale,
                  windowRect.width() * kWindowScale, windowRect.height() * kWindowScale);
}

// The point of `side` of `r` at `x` (top, bottom) or `y` (left, right).
QPointF PointOnSide(const QRectF& r, Side side, double x, double y) {
    switch (side) {
    case Side::Left:
        return {r.left(), y};
    case Side::Right:
        return {r.right(), y};
    case Side::Top:
        return {x, r.top()};
    case Side::Bottom:
        return {x, r.bottom()};
    }
    return r.center();
}

// The point `along` the way down or across `side` of `r`.
QPointF SidePoint(const QRectF& r, Side side, double along) {
    return PointOnSide(r, side, r.left() + r.width() * along, r.top() + r.height() * along);
}

// The point of `side` of `r` nearest to `towards`, kept `inset` from the corners.
QPointF OnSide(const QRectF& r, Side side, QPointF towards, double inset) {
    return PointOnSide(r, side, std::clamp(towards.x(), r.left() + inset, r.right() - inset),
                       std::clamp(towards.y(), r.top() + inset, r.bottom() - inset));
}

QFont NoteFont(bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// The note's box, tall enough for its title line and wrapped text.
QRectF NoteBox(const Callout& note) {
    const int inner = note.width - 2 * kPadding;
    int height = QFontMetrics(NoteFont(true))
                     .boundingRect(QRect(0, 0, inner, 1000), kTextFlags, note.title)
                     .height();
    if (!note.text.isEmpty()) {
        height += QFontMetrics(NoteFont(false))
                      .boundingRect(QRect(0, 0, inner, 1000), kTextFlags, note.text)
                      .height();
    }
    return QRectF(note.topLeft.x() + 0.5, note.topLeft.y() + 0.5, note.width,
                  height + 2 * kPadding - 1);
}

void DrawArrow(QPainter& painter, QPointF from, QPointF to) {
    const QLineF line(from, to);
    if (line.length() < 1.0) {
        return;
    }
    const double length = 7.0;
    const QLineF unit = line.unitVector();
    const QPointF back(to.x() - unit.dx() * length, to.y() - unit.dy() * length);
    const QPointF across(-unit.dy() * length * 0.42, unit.dx() * length * 0.42);
    painter.setPen(QPen(kAccent, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, back);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawPolygon(QPolygonF({to, back + across, back - across}));
    painter.drawEllipse(from, 2.2, 2.2);
}

void DrawNote(QPainter& painter, const Callout& note) {
    const QRectF box = NoteBox(note);
    const QRectF target = ToPicture(note.target).adjusted(-2, -2, 2, 2);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kAccent, 1.5));
    painter.drawRoundedRect(target, 3, 3);

    // Straight where the two ends line up, otherwise a plain diagonal.
    QPointF end = SidePoint(target, note.to, note.along);
    const QPointF start = OnSide(box, note.from, end, 6.0);
    end = OnSide(target, note.to, start, 4.0);
    DrawArrow(painter, start, end);

    painter.setPen(QPen(kAccent, 1.2));
    painter.setBrush(kNoteFill);
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(kNoteText);
    const QRectF inner = box.adjusted(kPadding, kPadding - 1, -kPadding, -kPadding);
    painter.setFont(NoteFont(true));
    QRectF used;
    painter.drawText(inner, kTextFlags, note.title, &used);
    if (!note.text.isEmpty()) {
        painter.setFont(NoteFont(false));
        painter.drawText(inner.adjusted(0, used.height(), 0, 0), kTextFlags, note.text);
    }
}

std::vector<Callout> Notes(const MainWindowParts& parts) {
    // Lines run straight where they can: the log's line passes between
    // "Clear" and "Save", the interval's to the right of the logo.
    return {
        {QStringLiteral("Main display"), QStringLiteral("the reading above, its unit below"),
         QPoint(190, 6), 210, Side::Bottom, parts.display, Side::Top},
        {QStringLiteral("Trend chart"),
         QStringLiteral("double-click the display; right-click it for statistics"), QPoint(6, 6),
         120, Side::Right, parts.display, Side::Left, 0.35},
        {QStringLiteral("Sampling interval"), QStringLiteral("skip N readings per log line"),
         QPoint(418, 6), 205, Side::Bottom, parts.interval, Side::Top, 0.85},
        {QStringLiteral("Connect first!"),
         QStringLiteral("Tick it to start reading; untick it before you exit."), QPoint(6, 96), 120,
         Side::Right, parts.connect, Side::Left},
        {QStringLiteral("COM SET"), QStringLiteral("serial port settings"), QPoint(6, 174), 120,
         Side::Right, parts.comSet, Side::Bottom},
        {QStringLiteral("Function buttons"),
         QStringLiteral("choose what the meter measures: volts, ohms, amps, ..."), QPoint(6, 250),
         120, Side::Right, parts.functionButtons, Side::Left},
        {QStringLiteral("Status bar"), QStringLiteral("default port com1 at 9600 baud"),
         QPoint(6, 426), 200, Side::Top, parts.statusPanel, Side::Bottom},
        {QStringLiteral("Reading log"), QStringLiteral("No., function, value, time of day"),
         QPoint(246, 426), 224, Side::Top, parts.log, Side::Bottom},
        {QStringLiteral("Save"), QStringLiteral("the log as a .csv file for a spreadsheet"),
         QPoint(478, 426), 145, Side::Top, parts.save, Side::Bottom},
    };
}

} // namespace

QImage ComposeHelpPicture(const MainWindowShot& shot) {
    QImage picture(kHelpPictureWidth, kHelpPictureHeight, QImage::Format_RGB32);
    picture.fill(kCanvas);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);

    // The window, smoothly reduced from its high-resolution rendering, on a
    // soft shadow with a thin frame.
    const QRectF window(kWindowOrigin, QSizeF(shot.windowSize) * kWindowScale);
    for (int i = 4; i >= 1; --i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 14));
        painter.drawRoundedRect(window.adjusted(-i + 2, -i + 2, i + 2, i + 2), i + 1, i + 1);
    }
    const QImage scaled =
        shot.image.scaled(window.size().toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(window.topLeft(), scaled);
    painter.setPen(QPen(QColor(0x8a, 0x90, 0x99), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(window.adjusted(-0.5, -0.5, 0.5, 0.5));

    for (const Callout& note : Notes(shot.parts)) {
        DrawNote(painter, note);
    }
    painter.end();
    return picture;
}

} // namespace velmora
