// The help picture: the main window's screenshot, scaled down, with short notes and arrows to its
// parts.
#pragma once

#include "tools/helpshot/main_window_shot.h"

#include <QImage>
#include <QString>

namespace velmora {

inline constexpr int kHelpPictureWidth = 629;
inline constexpr int kHelpPictureHeight = 495;

// Which side of a rectangle a leader line meets.
enum class Side { Left, Right, Top, Bottom };

// One note: bold title and plain text in a box whose top-left and width are
// given (the height follows the text), with a leader line from `from` side
// of the box to `to` side of the target part (window pixels).
struct Callout {
    QString title;
    QString text;
    QPoint topLeft;
    int width = 0;
    Side from = Side::Left;
    QRect target;
    Side to = Side::Right;
    double along = 0.5; // where on the target's side the line aims, 0..1
};

// The picture: `shot` scaled to fit beside the notes, every part it
// explains outlined and joined to its note. Opaque RGB, 629 x 495.
QImage ComposeHelpPicture(const MainWindowShot& shot);

} // namespace velmora
