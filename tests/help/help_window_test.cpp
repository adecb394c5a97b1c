// The help window: layout, the picture drawn over the face colour, hiding on a click or the close
// box.
#include "help/help_window.h"

#include "help/clickable_picture.h"
#include "help/pictures.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace velmora {
namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button) {
    const QPointF local(at);
    const QPointF global(target->mapToGlobal(at));
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? button : Qt::NoButton;
    QMouseEvent event(type, local, local, global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(HelpWindow, LayoutMatchesItsPicture) {
    TForm4 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Help"));
    EXPECT_TRUE(form.isWindow());
    EXPECT_FALSE(form.isVisible()) << "hidden until first shown";
    EXPECT_EQ(form.pos(), QPoint(210, 109));
    EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(form.font().pointSize(), 8);
    form.show();
    EXPECT_EQ(form.size(), QSize(633, 505)) << "client area is exactly the picture control";
    // Found by name, as UI automation and style sheets find them.
    EXPECT_EQ(form.objectName(), QStringLiteral("Form4"));
    ASSERT_EQ(form.findChild<ClickablePicture*>(QStringLiteral("Image1")), form.Image1);
    ASSERT_NE(form.Image1, nullptr);
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 633, 505));
    EXPECT_FALSE(form.testAttribute(Qt::WA_DeleteOnClose));
}

// The picture sits unscaled at the top-left; the uncovered strip right and
// below shows the button face colour.
// So it does in a right-to-left layout: the picture shows a left-to-right window.
TEST(HelpWindow, RendersPictureUnscaledOverTheFaceColour) {
    for (const Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
        SCOPED_TRACE(direction == Qt::LeftToRight ? "left to right" : "right to left");
        TForm4 form;
        form.setLayoutDirection(direction);
        // Window and button colours told apart, so the strip shows which one fills it.
        QPalette colours = form.palette();
        colours.setColor(QPalette::Window, QColor(200, 30, 30));
        colours.setColor(QPalette::Button, QColor(30, 160, 60));
        form.setPalette(colours);
        QImage shot(form.size(), QImage::Format_RGB32);
        shot.fill(Qt::magenta);
        form.render(&shot);
        const QImage picture = HelpPicture().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(picture.size(), QSize(629, 495));
        for (const QPoint p :
             {QPoint(0, 0), QPoint(628, 0), QPoint(0, 494), QPoint(628, 494), QPoint(314, 247)}) {
            SCOPED_TRACE(testing::Message() << "picture pixel " << p.x() << "," << p.y());
            EXPECT_EQ(shot.pixel(p), picture.pixel(p));
        }
        const QRgb face = QColor(30, 160, 60).rgb();
        for (const QPoint p : {QPoint(629, 0), QPoint(632, 300), QPoint(0, 495), QPoint(632, 504),
                               QPoint(300, 504)}) {
            SCOPED_TRACE(testing::Message() << "strip pixel " << p.x() << "," << p.y());
            EXPECT_EQ(shot.pixel(p), face);
        }
    }
}

struct ClickRow {
    const char* name;
    QPoint press;
    QPoint release;
    Qt::MouseButton button;
    bool hides;
};

void PrintTo(const ClickRow& row, std::ostream* out) {
    *out << row.name;
}

class HelpWindowClick : public testing::TestWithParam<ClickRow> {};

TEST_P(HelpWindowClick, HidesOnlyOnALeftClickOverThePicture) {
    const ClickRow& row = GetParam();
    TForm4 form;
    form.show();
    SendMouse(form.Image1, QEvent::MouseButtonPress, row.press, row.button);
    SendMouse(form.Image1, QEvent::MouseButtonRelease, row.release, row.button);
    EXPECT_EQ(form.isVisible(), !row.hides);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, HelpWindowClick,
    testing::Values(ClickRow{"on_picture", {100, 100}, {100, 100}, Qt::LeftButton, true},
                    ClickRow{"on_right_strip", {630, 200}, {630, 200}, Qt::LeftButton, true},
                    ClickRow{"on_bottom_corner", {630, 500}, {630, 500}, Qt::LeftButton, true},
                    ClickRow{"right_button", {100, 100}, {100, 100}, Qt::RightButton, false},
                    ClickRow{"released_outside", {100, 100}, {700, 100}, Qt::LeftButton, false}),
    [](const testing::TestParamInfo<ClickRow>& row) { return std::string(row.param.name); });

TEST(ClickablePicture, ALeftPressAndReleaseOverItIsOneClick) {
    struct Step {
        QEvent::Type type;
        Qt::MouseButton button;
        QPoint at;
    };
    const QPoint in(10, 10), out(80, 10);
    const Step leftDown{QEvent::MouseButtonPress, Qt::LeftButton, in};
    const Step leftUp{QEvent::MouseButtonRelease, Qt::LeftButton, in};
    const Step leftUpOutside{QEvent::MouseButtonRelease, Qt::LeftButton, out};
    const Step rightDown{QEvent::MouseButtonPress, Qt::RightButton, in};
    const Step rightUp{QEvent::MouseButtonRelease, Qt::RightButton, in};
    struct Row {
        const char* name;
        std::vector<Step> steps;
        int clicks;
    };
    const Row rows[] = {
        {"left_click", {leftDown, leftUp}, 1},
        {"two_left_clicks", {leftDown, leftUp, leftDown, leftUp}, 2},
        {"a_release_alone_after_a_click", {leftDown, leftUp, leftUp}, 1},
        {"right_button_during_a_left_click", {rightDown, leftDown, rightUp, leftUp}, 1},
        {"right_click", {rightDown, rightUp}, 0},
        {"right_press_then_a_left_release_alone", {rightDown, leftUp}, 0},
        {"right_click_while_left_is_held_then_left_released_outside",
         {leftDown, rightDown, rightUp, leftUpOutside},
         0},
        {"released_outside_then_a_release_alone", {leftDown, leftUpOutside, leftUp}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClickablePicture picture;
        picture.resize(40, 40);
        int clicks = 0;
        picture.onClick = [&clicks] { ++clicks; };
        for (const Step& step : row.steps) {
            SendMouse(&picture, step.type, step.at, step.button);
        }
        EXPECT_EQ(clicks, row.clicks);
    }
}

TEST(HelpWindow, CloseBoxHidesWithoutDestroying) {
    auto form = std::make_unique<TForm4>();
    QPointer<TForm4> watch(form.get());
    form->show();
    form->move(300, 200); // the user moved it
    EXPECT_TRUE(form->close());
    QApplication::processEvents();
    ASSERT_FALSE(watch.isNull());
    EXPECT_FALSE(form->isVisible());
    form->show();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->pos(), QPoint(300, 200)) << "shown again at its last position";
}

} // namespace
} // namespace velmora
