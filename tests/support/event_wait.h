// Waiting on the event loop in tests that need QtCore only.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>

namespace velmora::test {

// Processes events until `done` holds; false after `timeout` (a guard
// against hanging only: nothing asserts on the time taken).
inline bool WaitForEvents(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace velmora::test
