// The font substitutes: the designed faces stand in for the Windows ones, best first.
#include "ui/window_fonts.h"

#include <QFont>
#include <QStringList>

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WindowFonts, EachWindowsFaceHasItsStandInsInOrderOfPreference) {
    InstallFontSubstitutes();
    struct Row {
        QString face;
        QStringList standIns; // the first one installed is used
    };
    const Row rows[] = {
        {QStringLiteral("宋体"),
         {"SimSun", "AR PL UMing CN", "WenQuanYi Micro Hei", "DejaVu Sans"}},
        {QStringLiteral("SimSun"), {"AR PL UMing CN", "WenQuanYi Micro Hei", "DejaVu Sans"}},
        {QStringLiteral("Batang"), {"UnBatang", "DejaVu Serif"}},
        {QStringLiteral("MS Sans Serif"), {"Liberation Sans", "DejaVu Sans"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.face.toStdString());
        // Qt keeps family names in lower case.
        EXPECT_EQ(QFont::substitutes(row.face).join(", ").toStdString(),
                  row.standIns.join(", ").toLower().toStdString());
    }
}

} // namespace
} // namespace velmora
