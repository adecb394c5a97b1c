// The pictures stored in the program: the Velmora logo, the window icon and the help picture.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace velmora {

// Resource paths of the stored pictures, for readers that want the encoded
// data itself. They resolve once RegisterPictures() has run (every accessor
// below calls it).
inline constexpr const char* kLogoResource = ":/help/pictures/logo.png";
inline constexpr const char* kHelpPictureResource = ":/help/pictures/help.jpg";
inline constexpr const char* kIconResource = ":/help/pictures/icon.png";
inline constexpr const char* kLargeIconResource = ":/help/pictures/icon128.png";

// Registers the pictures with Qt's resource system; later calls do nothing.
// A static library's resources are not registered by merely being linked.
void RegisterPictures();

// The logo: 114 x 51 with an alpha channel, blended over the face colour of
// whatever shows it. Needs a QGuiApplication, as every QPixmap does.
QPixmap VelmoraLogo();

// The help picture: an annotated screenshot of the main window, 629 x 495.
QPixmap HelpPicture();

// The window icon: the logo's mark at 32 x 32 and 128 x 128.
QIcon VelmoraIcon();

} // namespace velmora
