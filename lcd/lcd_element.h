// TiLCDElement: one text position of a dot-matrix display.
#pragma once

#include <QColor>

#include <cstdint>

namespace velmora {

// Plain data: the colour of the position's lit cells and its character code;
// code 0 means the position is empty and is never drawn.
struct TiLCDElement {
    QColor Color;
    std::uint8_t Code = 0;
};

} // namespace velmora
