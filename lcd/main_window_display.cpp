// ConfigureAsMainWindowDisplay: the main window's display settings.
#include "lcd/main_window_display.h"

#include "lcd/lcd_matrix.h"

#include <QColor>

namespace velmora {

void ConfigureAsMainWindowDisplay(TiLCDMatrix& display) {
    display.resize(425, 89);
    display.SetCharactersetWidth(7);
    // The height comes before any stored pattern text would, so the default
    // patterns are simply extended by zero rows.
    display.SetCharactersetHeight(24);
    display.SetCharacterSpacingHorz(0);
    display.SetCharacterSpacingVert(0);
    display.SetCellsColorOn(QColor(0, 255, 0));
    display.SetCellsSpacingHorz(2);
    display.SetCellsSpacingVert(1);
    display.SetCellsWidth(2);
    display.SetCellsShowOff(false);
    display.SetOuterMarginLeft(2);
    display.SetOuterMarginTop(2);
    display.SetOuterMarginRight(2);
    display.SetOuterMarginBottom(0);
    display.SetBackGroundColor(Qt::black);
    display.SetBorderStyle(TiBevelStyle::ibsNone);
}

} // namespace velmora
