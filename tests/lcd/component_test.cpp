// Tests of the display component base: repaint requests, frame limit, sweep, border, guarded paint.
#include "lcd/update_object.h"
#include "lcd_test_support.h"
#include "tests/support/watchdog.h"

#include <QPalette>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace velmora {
namespace {

using test::FakeClock;
using test::ProbeComponent;

TEST(ComponentRepaint, WithoutFrameLimitEveryRequestIsPassedOnAtOnce) {
    FakeClock clock;
    ProbeComponent probe;
    const long flushes = probe.FlushCount();
    clock.AdvanceMs(3);
    probe.RequestRepaint();
    probe.RequestBackGroundRepaint();
    EXPECT_EQ(probe.FlushCount(), flushes + 2);
    EXPECT_FALSE(probe.RepaintPending());
    EXPECT_DOUBLE_EQ(probe.LastRepaintTime(), clock.Now());
}

TEST(ComponentRepaint, SuspensionHoldsRequestsAndOneResumeEndsIt) {
    FakeClock clock;
    ProbeComponent probe;
    const long flushes = probe.FlushCount();
    probe.SuspendRepaint();
    probe.SuspendRepaint();
    probe.RequestRepaint();
    probe.RequestRepaint();
    EXPECT_EQ(probe.FlushCount(), flushes);
    EXPECT_TRUE(probe.RepaintPending());
    probe.ResumeRepaint();
    EXPECT_FALSE(probe.RepaintSuspended());
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
    probe.ResumeRepaint(); // nothing pending any more
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
}

TEST(ComponentRepaint, FrameLimitPassesTheFirstChangeAndHoldsOneTooSoon) {
    FakeClock clock;
    ProbeComponent probe;
    probe.SetAutoFrameRate(true); // a request right at construction time: held
    ASSERT_EQ(probe.UpdateFrameRate(), 60);
    clock.AdvanceMs(1000);
    const long flushes = probe.FlushCount();

    probe.RequestRepaint(); // last repaint long ago: at once
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
    clock.AdvanceMs(5);
    probe.RequestRepaint(); // 5 ms later: within the frame, held
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
    EXPECT_TRUE(probe.RepaintPending());

    TiUpdateObject::Instance().Sweep(); // still within the frame
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
    clock.AdvanceMs(12); // 17 ms after the last repaint: one frame (16.7 ms) is over
    TiUpdateObject::Instance().Sweep();
    EXPECT_EQ(probe.FlushCount(), flushes + 2);
    EXPECT_FALSE(probe.RepaintPending());
}

TEST(ComponentRepaint, HeldRequestGoesOutWithTheNextRequestAfterTheFrame) {
    FakeClock clock;
    ProbeComponent probe;
    probe.SetAutoFrameRate(true);
    clock.AdvanceMs(1000);
    probe.RequestRepaint();
    clock.AdvanceMs(5);
    probe.RequestRepaint();
    const long flushes = probe.FlushCount();
    clock.AdvanceMs(16); // 21 ms after the last repaint
    probe.RequestRepaint();
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
    EXPECT_FALSE(probe.RepaintPending());
}

TEST(ComponentRepaint, FrameRateZeroMeansNoLimit) {
    FakeClock clock;
    ProbeComponent probe;
    probe.SetAutoFrameRate(true);
    probe.SetUpdateFrameRate(0);
    const long flushes = probe.FlushCount();
    probe.RequestRepaint();
    probe.RequestRepaint();
    EXPECT_EQ(probe.FlushCount(), flushes + 2);
}

TEST(ComponentRepaint, ResumeUnderFrameLimitWaitsForTheFrame) {
    FakeClock clock;
    ProbeComponent probe;
    probe.SetAutoFrameRate(true);
    clock.AdvanceMs(1000);
    probe.RequestRepaint();
    probe.SuspendRepaint();
    probe.RequestRepaint();
    const long flushes = probe.FlushCount();
    probe.ResumeRepaint(); // the frame is not over
    EXPECT_EQ(probe.FlushCount(), flushes);
    EXPECT_TRUE(probe.RepaintPending());
    probe.SuspendRepaint();
    clock.AdvanceMs(100);
    TiUpdateObject::Instance().Sweep(); // suspended: the sweep leaves it
    EXPECT_EQ(probe.FlushCount(), flushes);
    probe.ResumeRepaint();
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
}

TEST(ComponentRepaint, SwitchingTheFrameLimitOffFlushesAndEndsSuspension) {
    FakeClock clock;
    ProbeComponent probe;
    probe.SetAutoFrameRate(true); // held: same instant as construction
    probe.SuspendRepaint();
    ASSERT_TRUE(probe.RepaintPending());
    const long flushes = probe.FlushCount();
    probe.SetAutoFrameRate(false);
    EXPECT_FALSE(probe.RepaintSuspended());
    EXPECT_FALSE(probe.RepaintPending());
    EXPECT_EQ(probe.FlushCount(), flushes + 1);
}

TEST(ComponentRepaint, HighFrameRatesDoNotOverflowTheInterval) {
    // 30000 x 86400 does not fit 32 bits; the interval must still be tiny and positive.
    EXPECT_FALSE(TiComponent::FrameIntervalPassed(1.0, 30000, 1.0));
    EXPECT_TRUE(TiComponent::FrameIntervalPassed(1.0, 30000, 1.0 + 1.0 / 86400.0 / 1000.0));
    EXPECT_FALSE(TiComponent::FrameIntervalPassed(1.0, 60, 1.0 + 0.016 / 86400.0));
    EXPECT_TRUE(TiComponent::FrameIntervalPassed(1.0, 60, 1.0 + 0.017 / 86400.0));
}

TEST(ComponentProperties, EqualOrInvalidValuesRequestNothing) {
    ProbeComponent probe;
    probe.SetBorderStyle(ibsLowered);
    probe.SetBackGroundColor(QColor(1, 2, 3));
    const long requests = probe.RepaintRequestCount();
    probe.SetBorderStyle(ibsLowered);
    probe.SetBorderStyle(static_cast<TiBevelStyle>(3));
    probe.SetBorderStyle(static_cast<TiBevelStyle>(-1));
    probe.SetBackGroundColor(QColor(1, 2, 3));
    probe.SetUpdateFrameRate(60);
    probe.SetAutoFrameRate(false);
    EXPECT_EQ(probe.RepaintRequestCount(), requests);
    EXPECT_EQ(probe.BorderStyle(), ibsLowered);

    probe.SetBorderStyle(ibsNone);
    probe.SetBackGroundColor(Qt::black);
    probe.SetUpdateFrameRate(30);
    EXPECT_EQ(probe.RepaintRequestCount(), requests + 3);
    EXPECT_TRUE(probe.BackGroundChanged());
}

TEST(ComponentProperties, BorderMarginFollowsTheStyle) {
    ProbeComponent probe;
    for (auto [style, margin] : {std::pair{ibsNone, 0}, {ibsRaised, 2}, {ibsLowered, 2}}) {
        probe.SetBorderStyle(style);
        EXPECT_EQ(probe.BorderMargin(), margin) << static_cast<int>(style);
    }
}

TEST(ComponentProperties, PlatformChangesAskForABackgroundRepaint) {
    ProbeComponent probe;
    QImage image = test::RenderToImage(probe); // draws the background: flag cleared
    ASSERT_FALSE(probe.BackGroundChanged());
    const long requests = probe.RepaintRequestCount();
    probe.setEnabled(false);
    EXPECT_TRUE(probe.BackGroundChanged());
    QPalette palette = probe.palette();
    palette.setColor(QPalette::Light, Qt::yellow);
    probe.setPalette(palette);
    EXPECT_EQ(probe.RepaintRequestCount(), requests + 2);
}

TEST(UpdateObject, TimerRunsOnlyWhileComponentsExist) {
    TiUpdateObject& sweeper = TiUpdateObject::Instance();
    ASSERT_EQ(sweeper.ComponentCount(), 0);
    EXPECT_FALSE(sweeper.TimerActive());
    {
        auto first = std::make_unique<ProbeComponent>();
        EXPECT_TRUE(sweeper.TimerActive());
        EXPECT_EQ(sweeper.TimerInterval(), 1000);
        auto second = std::make_unique<TiLCDMatrix>();
        EXPECT_EQ(sweeper.ComponentCount(), 2);
        first.reset();
        EXPECT_TRUE(sweeper.TimerActive());
    }
    EXPECT_EQ(sweeper.ComponentCount(), 0);
    EXPECT_FALSE(sweeper.TimerActive());
    ProbeComponent again;
    EXPECT_TRUE(sweeper.TimerActive());
}

// Distinct colours per role, so each bevel line shows which role it used.
QPalette BevelPalette() {
    QPalette palette;
    palette.setColor(QPalette::Light, QColor(250, 0, 0));
    palette.setColor(QPalette::Midlight, QColor(0, 250, 0));
    palette.setColor(QPalette::Dark, QColor(0, 0, 250));
    palette.setColor(QPalette::Shadow, QColor(250, 250, 0));
    return palette;
}

TEST(ComponentBorder, BevelsUseTheStandardEdgeColours) {
    struct Row {
        TiBevelStyle style;
        QPalette::ColorRole outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
    };
    const Row table[] = {
        {ibsRaised, QPalette::Midlight, QPalette::Shadow, QPalette::Light, QPalette::Dark},
        {ibsLowered, QPalette::Dark, QPalette::Light, QPalette::Shadow, QPalette::Midlight},
    };
    const QColor fill(10, 20, 30);
    for (const Row& row : table) {
        SCOPED_TRACE(static_cast<int>(row.style));
        ProbeComponent probe;
        probe.setPalette(BevelPalette());
        probe.SetBorderStyle(row.style);
        probe.SetBackGroundColor(fill);
        const QImage image = test::RenderToImage(probe);
        const QPalette& pal = probe.palette();
        const int w = probe.width();
        const int h = probe.height();
        auto at = [&](int x, int y) { return image.pixelColor(x, y).rgb(); };
        EXPECT_EQ(at(0, 0), pal.color(row.outerTopLeft).rgb());
        EXPECT_EQ(at(w / 2, 0), pal.color(row.outerTopLeft).rgb());
        EXPECT_EQ(at(0, h / 2), pal.color(row.outerTopLeft).rgb());
        EXPECT_EQ(at(w - 1, h / 2), pal.color(row.outerBottomRight).rgb());
        EXPECT_EQ(at(w / 2, h - 1), pal.color(row.outerBottomRight).rgb());
        EXPECT_EQ(at(w - 1, 0), pal.color(row.outerBottomRight).rgb()); // corners belong
        EXPECT_EQ(at(0, h - 1), pal.color(row.outerBottomRight).rgb()); // to bottom-right
        EXPECT_EQ(at(1, 1), pal.color(row.innerTopLeft).rgb());
        EXPECT_EQ(at(w / 2, 1), pal.color(row.innerTopLeft).rgb());
        EXPECT_EQ(at(w - 2, h / 2), pal.color(row.innerBottomRight).rgb());
        EXPECT_EQ(at(w - 2, 1), pal.color(row.innerBottomRight).rgb());
        for (int y = 2; y < h - 2; ++y) {
            for (int x = 2; x < w - 2; ++x) {
                ASSERT_EQ(at(x, y), fill.rgb()) << x << "," << y;
            }
        }
    }
}

TEST(ComponentPaint, AFailingPaintShowsTheMessageWhiteOnBlackThenRecovers) {
    ProbeComponent probe;
    probe.resize(200, 60);
    probe.SetBackGroundColor(QColor(95, 148, 147));
    probe.failure = "Pattern table damaged";
    const QImage failed = test::RenderWidget(probe);
    int white = 0;
    for (int y = 0; y < failed.height(); ++y) {
        for (int x = 0; x < failed.width(); ++x) {
            const QColor c = failed.pixelColor(x, y);
            ASSERT_TRUE(c.red() == c.green() && c.green() == c.blue())
                << "not black or white text at " << x << "," << y;
            white += c.red() > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20) << "no message text drawn";
    // Left and top aligned: the text starts in the top-left part.
    EXPECT_EQ(failed.pixelColor(failed.width() - 1, failed.height() - 1), QColor(Qt::black));

    probe.failure.clear();
    const QImage good = test::RenderWidget(probe);
    EXPECT_EQ(test::CountPixels(good, QColor(95, 148, 147)), 200 * 60);
}

TEST(ComponentPaint, APaintHoldsThePaintLockUntilItEnds) {
    // A lock the paint kept would leave the other thread waiting for ever.
    const test::Watchdog watchdog("ComponentPaint: the paint lock", std::chrono::seconds(20));
    ProbeComponent probe;
    std::atomic<bool> otherHasIt{false};
    bool heldOut = false;
    std::thread other;
    probe.whilePainting = [&] {
        probe.LockPaint(); // re-entrant: the painting thread may take it again
        probe.UnlockPaint();
        other = std::thread([&] {
            probe.LockPaint();
            otherHasIt = true;
            probe.UnlockPaint();
        });
        // A busy machine can only make this look pass, never fail.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        heldOut = !otherHasIt;
    };
    (void)test::RenderWidget(probe);
    other.join();
    EXPECT_TRUE(heldOut) << "another thread took the lock in the middle of a paint";
    EXPECT_TRUE(otherHasIt);
}

TEST(ComponentPaint, LongMessagesAreWrappedInsideTheControl) {
    ProbeComponent probe;
    probe.resize(120, 80);
    probe.failure = "one two three four five six seven eight nine ten eleven twelve";
    const QImage failed = test::RenderWidget(probe);
    int lastTextRow = -1;
    for (int y = 0; y < failed.height(); ++y) {
        for (int x = 0; x < failed.width(); ++x) {
            if (failed.pixelColor(x, y).red() > 128) {
                lastTextRow = y;
            }
        }
    }
    // One line of text would end within the first ~20 rows.
    EXPECT_GT(lastTextRow, 25);
}

} // namespace
} // namespace velmora
