// Test entry for the serial tests: a core application whose notify() records handler exceptions.
#include "tests/serial/serial_test_support.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace velmora::test {

namespace {

// Plays the role of the application's general error report.
class RecordingApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            CaughtExceptions().push_back(error.what());
            return false;
        }
    }
};

} // namespace

std::vector<std::string>& CaughtExceptions() {
    static std::vector<std::string> caught;
    return caught;
}

} // namespace velmora::test

int main(int argc, char** argv) {
    velmora::test::RecordingApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
