// The stored pictures, decoded from the program's resources.
#include "help/pictures.h"

#include <QString>
#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope, so it is called from here.
// Inline, so that only a real call keeps the pictures linked into a program, in
// every kind of build alike.
static inline void InitPictureResources() {
    Q_INIT_RESOURCE(pictures);
}

namespace velmora {

void RegisterPictures() {
    static const bool registered = [] {
        InitPictureResources();
        return true;
    }();
    (void)registered;
}

QPixmap VelmoraLogo() {
    RegisterPictures();
    return QPixmap(QString::fromLatin1(kLogoResource));
}

QPixmap HelpPicture() {
    RegisterPictures();
    return QPixmap(QString::fromLatin1(kHelpPictureResource));
}

QIcon VelmoraIcon() {
    RegisterPictures();
    QIcon icon;
    icon.addFile(QString::fromLatin1(kIconResource), QSize(32, 32));
    icon.addFile(QString::fromLatin1(kLargeIconResource), QSize(128, 128));
    return icon;
}

} // namespace velmora
