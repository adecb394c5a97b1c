// Test entry for widget tests: a QApplication on the offscreen platform.
#include "tests/support/private_runtime_folder.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Test discovery runs the binary outside ctest's environment, so the
    // platform is chosen here as well; a developer's choice is kept.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const velmora::test::PrivateRuntimeFolder runtime;
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
