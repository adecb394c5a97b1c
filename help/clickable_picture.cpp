// Picture control with a click callback.
#include "help/clickable_picture.h"

#include <QMouseEvent>

namespace velmora {

ClickablePicture::ClickablePicture(QWidget* parent)
    : QLabel(parent) {
    // Absolute: the picture is of a left-to-right window and stays at the left
    // whatever the layout direction (Qt's -reverse, a right-to-left language).
    setAlignment(Qt::AlignLeft | Qt::AlignTop | Qt::AlignAbsolute);
    setScaledContents(false);
}

// The picture has no text to select, so it keeps the button events it turns
// into clicks instead of passing them on to the window below.
void ClickablePicture::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
    }
}

// Other buttons pressed and released meanwhile leave a left click a click.
void ClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const bool click = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click && onClick) {
        onClick();
    }
}

} // namespace velmora
