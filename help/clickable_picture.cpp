// Picture control with a click callback.
#include "help/clickable_picture.h"

#include <QMouseEvent>

namespace velmora {

ClickablePicture::ClickablePicture(QWidget* parent)
    : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
}

void ClickablePicture::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click && onClick) {
        onClick();
    }
}

} // namespace velmora
