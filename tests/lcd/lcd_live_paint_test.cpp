// A shown display repaints itself when its text changes: paint events counted, pixels read from the
// window's backing store (never render() or grab(), which paint on demand).
#include "lcd/lcd_matrix.h"
#include "lcd/main_window_display.h"
#include "tests/lcd/lcd_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>

namespace velmora {
namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Lets the event loop run until `done` holds; a bound against hanging only.
bool RunEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// What the window system holds for the display: its backing store.
QImage OnScreen(QWidget& widget) {
    return widget.screen()
        ->grabWindow(widget.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

TEST(LiveDisplay, TextChangesReachTheScreenWithoutBeingAsked) {
    TiLCDMatrix display;
    ConfigureAsMainWindowDisplay(display);
    PaintCounter counter;
    display.installEventFilter(&counter);
    display.show();
    ASSERT_TRUE(RunEventsUntil([&] { return counter.paints > 0; })) << "never painted when shown";

    for (const char* text : {"1.1604076", "        KOHM", "-0.25"}) {
        SCOPED_TRACE(text);
        const int before = counter.paints;
        display.SetText(text);
        ASSERT_TRUE(RunEventsUntil([&] { return counter.paints > before; }))
            << "a new text must lead to a paint event by itself";
        EXPECT_TRUE(test::SamePicture(OnScreen(display), test::ExpectedMainWindowPicture(text)));
    }
}

} // namespace
} // namespace velmora
