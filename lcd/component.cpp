// TiComponent: repaint requests, the guarded paint, background and border.
#include "lcd/component.h"

#include "lcd/update_object.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <QString>

#include <chrono>
#include <cstdint>
#include <exception>
#include <utility>

namespace velmora {

namespace {

std::function<double()>& NowOverride() {
    static std::function<double()> now;
    return now;
}

double MonotonicDays() {
    using Days = std::chrono::duration<double, std::ratio<86400>>;
    return std::chrono::duration_cast<Days>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One pixel wide lines of a bevel: top and left in one colour, bottom and
// right (which own the bottom-left and top-right corners) in the other.
void DrawBevelLines(QPainter& canvas, const QRect& r, const QColor& topLeft,
                    const QColor& bottomRight) {
    if (r.width() <= 0 || r.height() <= 0) {
        return;
    }
    canvas.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    canvas.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    canvas.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    canvas.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

} // namespace

TiComponent::TiComponent(QWidget* parent)
    : QWidget(parent) {
    lastRepaintTime_ = Now();
    backGroundColor_ = palette().color(QPalette::Button);
    TiUpdateObject::Instance().Add(this);
}

TiComponent::~TiComponent() {
    TiUpdateObject::Instance().Remove(this);
}

double TiComponent::Now() {
    const auto& now = NowOverride();
    return now ? now() : MonotonicDays();
}

void TiComponent::SetNowFunction(std::function<double()> now) {
    NowOverride() = std::move(now);
}

bool TiComponent::FrameIntervalPassed(double last, int rate, double now) {
    if (rate <= 0) {
        return true;
    }
    // The product is taken in 64 bits: a high rate must not wrap around.
    const double interval = 1.0 / static_cast<double>(static_cast<std::int64_t>(rate) * 86400);
    return last + interval < now;
}

void TiComponent::SetAutoFrameRate(bool value) {
    if (value == autoFrameRate_) {
        return;
    }
    autoFrameRate_ = value;
    if (value) {
        RequestBackGroundRepaint();
    } else {
        ResumeRepaint();
    }
}

void TiComponent::SetUpdateFrameRate(int value) {
    if (value == updateFrameRate_) {
        return;
    }
    updateFrameRate_ = value;
    RequestBackGroundRepaint();
}

void TiComponent::SetBackGroundColor(const QColor& value) {
    if (value == backGroundColor_) {
        return;
    }
    backGroundColor_ = value;
    RequestBackGroundRepaint();
}

void TiComponent::SetBorderStyle(TiBevelStyle value) {
    const int raw = static_cast<int>(value);
    if (value == borderStyle_ || raw < 0 || raw > 2) {
        return;
    }
    borderStyle_ = value;
    RequestBackGroundRepaint();
}

void TiComponent::RequestRepaint() {
    ++repaintRequestCount_;
    if (repaintSuspended_) {
        repaintPending_ = true;
    } else if (autoFrameRate_) {
        repaintPending_ = true;
        TryFlushRepaint();
    } else {
        FlushRepaint();
    }
}

void TiComponent::RequestBackGroundRepaint() {
    backGroundChanged_ = true;
    RequestRepaint();
}

void TiComponent::FlushRepaint() {
    repaintPending_ = false;
    lastRepaintTime_ = Now();
    ++flushCount_;
    update(); // Qt merges invalidations that arrive before the paint
}

void TiComponent::TryFlushRepaint() {
    if (!autoFrameRate_ || updateFrameRate_ == 0 ||
        FrameIntervalPassed(lastRepaintTime_, updateFrameRate_, Now())) {
        FlushRepaint();
    }
}

void TiComponent::RepaintAll() {
    RequestBackGroundRepaint();
}

void TiComponent::SuspendRepaint() {
    repaintSuspended_ = true;
}

void TiComponent::ResumeRepaint() {
    repaintSuspended_ = false;
    if (repaintPending_) {
        TryFlushRepaint();
    }
}

void TiComponent::DrawBackGround(QPainter& canvas, const QColor& color) {
    canvas.fillRect(QRect(0, 0, width(), height()), color);
    DrawBorder(canvas);
    backGroundChanged_ = false;
}

// The bevels follow the platform's standard 3-D edges. Their four colours map
// onto the palette as Qt itself maps them: highlight -> Light, light ->
// Midlight, shadow -> Dark, dark shadow -> Shadow.
//   raised:  outer Midlight / Shadow, inner Light / Dark      (top-left / bottom-right)
//   lowered: outer Dark / Light,      inner Shadow / Midlight
void TiComponent::DrawBorder(QPainter& canvas) {
    if (borderStyle_ == TiBevelStyle::ibsNone) {
        return;
    }
    const QPalette& pal = palette();
    const QRect outer(0, 0, width(), height());
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    if (borderStyle_ == TiBevelStyle::ibsRaised) {
        DrawBevelLines(canvas, outer, pal.color(QPalette::Midlight), pal.color(QPalette::Shadow));
        DrawBevelLines(canvas, inner, pal.color(QPalette::Light), pal.color(QPalette::Dark));
    } else {
        DrawBevelLines(canvas, outer, pal.color(QPalette::Dark), pal.color(QPalette::Light));
        DrawBevelLines(canvas, inner, pal.color(QPalette::Shadow), pal.color(QPalette::Midlight));
    }
}

void TiComponent::PaintGuarded(QPainter& canvas) {
    LockPaint();
    struct Unlock {
        TiComponent* self;
        ~Unlock() { self->UnlockPaint(); }
    } unlock{this};
    try {
        PaintToCanvas(canvas);
    } catch (const std::exception& error) {
        DrawErrorPicture(canvas, error.what());
    }
}

void TiComponent::DrawErrorPicture(QPainter& canvas, const char* message) {
    // The failed drawing may have left any painter state behind.
    canvas.resetTransform();
    canvas.setClipping(false);
    canvas.setOpacity(1.0);
    canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRect client(0, 0, width(), height());
    canvas.fillRect(client, Qt::black);
    canvas.setPen(Qt::white);
    canvas.setFont(font());
    canvas.drawText(client, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                    QString::fromLatin1(message));
}

void TiComponent::paintEvent(QPaintEvent* /*event*/) {
    // An exception must never leave the event loop's paint.
    try {
        QPainter painter(this);
        PaintGuarded(painter);
    } catch (...) {
    }
}

void TiComponent::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        RequestBackGroundRepaint();
        break;
    default:
        break;
    }
}

} // namespace velmora
