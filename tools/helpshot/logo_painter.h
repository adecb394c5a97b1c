// The Velmora mark and wordmark, drawn with QPainter: the logo and the window icons.
#pragma once

#include <QImage>

namespace velmora {

inline constexpr int kLogoWidth = 114;
inline constexpr int kLogoHeight = 51;

// The logo: the dial mark beside the "VELMORA" lettering on a transparent
// background, anti-aliased, 114 x 51, premultiplication undone (ARGB32).
QImage PaintLogo();

// The dial mark alone, filling a square of `size` pixels (the window and
// desktop icons: 32, 128).
QImage PaintIcon(int size);

} // namespace velmora
