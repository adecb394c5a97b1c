// The display settings that both reading displays of the main window share.
#pragma once

namespace velmora {

class TiLCDMatrix;

// 425 x 89 pixels, no border, black background, lime cells 2 px square spaced
// 2 px across and 1 px down, characters 7 x 24 cells without spacing, margins
// 2/2/2/0, unlit cells not drawn: 15 characters in one row, the grid's top-left
// cell at (3, 10), character k's cell column c at x = 3 + 28k + 4c, row r at y = 10 + 3r.
// The default 5-cell patterns thus stand in the right five of the seven columns.
void ConfigureAsMainWindowDisplay(TiLCDMatrix& display);

} // namespace velmora
