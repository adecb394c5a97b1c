// TiVCLComponent: paint lock, opaque painting, size and position changes.
#include "lcd/vcl_component.h"

namespace velmora {

TiVCLComponent::TiVCLComponent(QWidget* parent)
    : TiComponent(parent) {
    // Every pixel is painted by the control, so nothing is erased before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

TiVCLComponent::~TiVCLComponent() {
    destroying_ = true;
}

// Only PaintGuarded takes the lock, always in pairs on the main thread, so a
// component is never destroyed while it is held.
void TiVCLComponent::LockPaint() {
    if (!destroying_) {
        paintLock_.lock();
    }
}

void TiVCLComponent::UnlockPaint() {
    if (!destroying_) {
        paintLock_.unlock();
    }
}

void TiVCLComponent::resizeEvent(QResizeEvent* event) {
    TiComponent::resizeEvent(event);
    RequestBackGroundRepaint();
}

void TiVCLComponent::moveEvent(QMoveEvent* event) {
    TiComponent::moveEvent(event);
    RequestBackGroundRepaint();
}

} // namespace velmora
