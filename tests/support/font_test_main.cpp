// Test entry for widget tests that check captions fit: a QApplication on the offscreen platform
// with the window fonts installed.
#include "ui/window_fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Test discovery runs the binary outside ctest's environment, so the
    // platform is chosen here as well; a developer's choice is kept.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // The program's stand-ins for the faces the windows were designed with; the
    // layout tests check that the captions fit with them.
    velmora::InstallFontSubstitutes();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
