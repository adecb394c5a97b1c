// Font substitutes: crisp faces that hold the ohm sign and fit every caption.
#include "ui/window_fonts.h"

#include <QFont>
#include <QString>
#include <QStringList>

namespace velmora {

void InstallFontSubstitutes() {
    // A Song (Ming) face with Latin letters of the same narrow build.
    const QStringList song = {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                              QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), song);
    QFont::insertSubstitutions(QStringLiteral("SimSun"), song.mid(1));
    // The Korean serif face of the function buttons.
    QFont::insertSubstitutions(QStringLiteral("Batang"),
                               {QStringLiteral("UnBatang"), QStringLiteral("DejaVu Serif")});
    // The dialogs' classic sans serif.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

} // namespace velmora
