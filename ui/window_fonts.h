// Close substitutes for the window faces that Linux desktops lack.
#pragma once

namespace velmora {

// The windows ask for the faces they were drawn with ("宋体", "Batang",
// "MS Sans Serif"); where a face is missing, Qt takes the first installed
// substitute listed here. scripts/setup installs them.
void InstallFontSubstitutes();

} // namespace velmora
