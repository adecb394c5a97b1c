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
    while (lockDepth_ > 0) {
        --lockDepth_;
        paintLock_.unlock();
    }
}

void TiVCLComponent::LockPaint() {
    if (destroying_) {
        return;
    }
    paintLock_.lock();
    ++lockDepth_;
}

void TiVCLComponent::UnlockPaint() {
    // Only what was locked is unlocked, so an unbalanced call cannot corrupt the lock.
    if (destroying_ || lockDepth_ == 0) {
        return;
    }
    --lockDepth_;
    paintLock_.unlock();
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
