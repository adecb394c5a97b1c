// Tests of TiLCDMatrix properties, text positions and geometry.
#include "lcd/lcd_matrix.h"
#include "lcd/list_error.h"
#include "lcd/main_window_display.h"
#include "lcd_test_support.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velmora {
namespace {

TEST(LcdMatrixDefaults, ConstructorValues) {
    TiLCDMatrix d;
    EXPECT_EQ(d.width(), 300);
    EXPECT_EQ(d.height(), 100);
    EXPECT_EQ(d.BorderStyle(), ibsRaised);
    EXPECT_EQ(d.BackGroundColor(), QColor(95, 148, 147));
    EXPECT_EQ(d.CharactersetWidth(), 5);
    EXPECT_EQ(d.CharactersetHeight(), 7);
    EXPECT_EQ(d.CharacterSpacingHorz(), 1);
    EXPECT_EQ(d.CharacterSpacingVert(), 1);
    EXPECT_EQ(d.CellsColorOn(), QColor(0, 255, 255));
    EXPECT_EQ(d.CellsColorOff(), QColor(0, 128, 128));
    EXPECT_EQ(d.CellsSpacingHorz(), 1);
    EXPECT_EQ(d.CellsSpacingVert(), 1);
    EXPECT_EQ(d.CellsWidth(), 2);
    EXPECT_TRUE(d.CellsShowOff());
    EXPECT_EQ(
        d.OuterMarginLeft() + d.OuterMarginTop() + d.OuterMarginRight() + d.OuterMarginBottom(), 8);
    EXPECT_EQ(d.CharactersetName(), "(Default)");
    EXPECT_EQ(d.Text(), "");
    EXPECT_EQ(d.PositionCount(), 0);
    EXPECT_EQ(d.Geometry().CharColumns, 10);
    for (int code = 0; code < 256; ++code) {
        TiLCDCharacter expected;
        expected.LoadDefaultPattern(code);
        ASSERT_EQ(d.Pattern(code), expected) << code;
    }
}

struct IntProperty {
    const char* name;
    int (TiLCDMatrix::*get)() const;
    void (TiLCDMatrix::*set)(int);
    int minimum;
    friend void PrintTo(const IntProperty& row, std::ostream* os) { *os << row.name; }
};

class LcdMatrixIntProperty : public ::testing::TestWithParam<IntProperty> {};

TEST_P(LcdMatrixIntProperty, IgnoresEqualAndOutOfRangeValues) {
    const IntProperty& p = GetParam();
    TiLCDMatrix d;
    const int original = (d.*p.get)();
    const long requests = d.RepaintRequestCount();
    (d.*p.set)(original);
    (d.*p.set)(p.minimum - 1);
    (d.*p.set)(-1000000);
    EXPECT_EQ((d.*p.get)(), original);
    EXPECT_EQ(d.RepaintRequestCount(), requests);

    const int changed = original == p.minimum ? p.minimum + 3 : p.minimum;
    (d.*p.set)(changed);
    EXPECT_EQ((d.*p.get)(), changed);
    EXPECT_EQ(d.RepaintRequestCount(), requests + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LcdMatrixIntProperty,
    ::testing::Values(IntProperty{"CharactersetWidth", &TiLCDMatrix::CharactersetWidth,
                                  &TiLCDMatrix::SetCharactersetWidth, 1},
                      IntProperty{"CharactersetHeight", &TiLCDMatrix::CharactersetHeight,
                                  &TiLCDMatrix::SetCharactersetHeight, 1},
                      IntProperty{"CharacterSpacingHorz", &TiLCDMatrix::CharacterSpacingHorz,
                                  &TiLCDMatrix::SetCharacterSpacingHorz, 0},
                      IntProperty{"CharacterSpacingVert", &TiLCDMatrix::CharacterSpacingVert,
                                  &TiLCDMatrix::SetCharacterSpacingVert, 0},
                      IntProperty{"CellsSpacingHorz", &TiLCDMatrix::CellsSpacingHorz,
                                  &TiLCDMatrix::SetCellsSpacingHorz, 0},
                      IntProperty{"CellsSpacingVert", &TiLCDMatrix::CellsSpacingVert,
                                  &TiLCDMatrix::SetCellsSpacingVert, 0},
                      IntProperty{"CellsWidth", &TiLCDMatrix::CellsWidth,
                                  &TiLCDMatrix::SetCellsWidth, 1},
                      IntProperty{"OuterMarginLeft", &TiLCDMatrix::OuterMarginLeft,
                                  &TiLCDMatrix::SetOuterMarginLeft, 0},
                      IntProperty{"OuterMarginTop", &TiLCDMatrix::OuterMarginTop,
                                  &TiLCDMatrix::SetOuterMarginTop, 0},
                      IntProperty{"OuterMarginRight", &TiLCDMatrix::OuterMarginRight,
                                  &TiLCDMatrix::SetOuterMarginRight, 0},
                      IntProperty{"OuterMarginBottom", &TiLCDMatrix::OuterMarginBottom,
                                  &TiLCDMatrix::SetOuterMarginBottom, 0}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(LcdMatrixProperties, ColoursAndSwitchRequestOnlyOnChange) {
    TiLCDMatrix d;
    const long requests = d.RepaintRequestCount();
    d.SetCellsColorOn(QColor(0, 255, 255));
    d.SetCellsColorOff(QColor(0, 128, 128));
    d.SetCellsShowOff(true);
    EXPECT_EQ(d.RepaintRequestCount(), requests);
    d.SetCellsColorOn(Qt::red);
    d.SetCellsColorOff(Qt::blue);
    d.SetCellsShowOff(false);
    EXPECT_EQ(d.RepaintRequestCount(), requests + 3);
}

TEST(LcdMatrixProperties, CharactersetHeightResizesEveryPattern) {
    TiLCDMatrix d;
    d.SetCharactersetHeight(24);
    for (int code = 0; code < 256; ++code) {
        TiLCDCharacter expected;
        expected.LoadDefaultPattern(code);
        expected.SetRowCount(24);
        ASSERT_EQ(d.Pattern(code), expected) << code;
    }
    d.SetCharactersetHeight(7);
    for (int code = 0; code < 256; ++code) {
        TiLCDCharacter expected;
        expected.LoadDefaultPattern(code);
        ASSERT_EQ(d.Pattern(code), expected) << code;
    }
}

TEST(LcdMatrixProperties, LoadDefaultCharacterSetRestoresPatternsAndSize) {
    TiLCDMatrix d;
    d.SetCharactersetHeight(24);
    d.SetCharactersetWidth(7);
    d.Pattern('A').SetRow(3, 99);
    d.LoadDefaultCharacterSet();
    EXPECT_EQ(d.CharactersetWidth(), 5);
    EXPECT_EQ(d.CharactersetHeight(), 7);
    TiLCDCharacter expected;
    expected.LoadDefaultPattern('A');
    EXPECT_EQ(d.Pattern('A'), expected);
    EXPECT_EQ(d.Pattern(255).RowCount(), 7);
}

TEST(LcdMatrixProperties, CellsColorOnRecoloursEveryPosition) {
    TiLCDMatrix d;
    ConfigureAsMainWindowDisplay(d);
    d.SetText("12");
    d.WriteText("3", 5, 0, Qt::blue);
    d.SetCellsColorOn(Qt::red);
    for (int i = 0; i < d.PositionCount(); ++i) {
        EXPECT_EQ(d.Position(i).Color, QColor(Qt::red)) << i;
    }
    const QImage image = test::RenderToImage(d);
    EXPECT_EQ(test::CountPixels(image, test::kLime), 0);
    EXPECT_GT(test::CountPixels(image, Qt::red), 0);
}

TEST(LcdMatrixText, PositionsHoldEveryByteAndOnlyGrow) {
    TiLCDMatrix d;
    ConfigureAsMainWindowDisplay(d);
    const std::string text("A\rB\0\xff", 5);
    d.SetText(text);
    EXPECT_EQ(d.Text(), text);
    ASSERT_EQ(d.PositionCount(), 15);
    const int codes[] = {'A', '\r', 'B', 0, 255, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d.Position(i).Code, codes[i]) << i;
        EXPECT_EQ(d.Position(i).Color, test::kLime) << i;
    }
    d.SetText(std::string(20, '7'));
    EXPECT_EQ(d.PositionCount(), 20);
    d.SetText("1");
    EXPECT_EQ(d.PositionCount(), 20);
    EXPECT_EQ(d.Position(1).Code, 0);
    EXPECT_THROW(d.Position(20), EListError);
    EXPECT_THROW(d.Pattern(256), EListError);
}

TEST(LcdMatrixText, SameTextStillRewritesAndRequestsARepaint) {
    TiLCDMatrix d;
    d.SetText("5");
    d.Position(0).Code = 'X';
    const long requests = d.RepaintRequestCount();
    d.SetText("5");
    EXPECT_EQ(d.Position(0).Code, '5');
    EXPECT_GT(d.RepaintRequestCount(), requests);
}

TEST(LcdMatrixText, WriteTextPlacesFromColumnAndRow) {
    TiLCDMatrix d; // 16 x 3 places at the default size
    d.WriteText("xy", 15, 1, Qt::yellow);
    EXPECT_EQ(d.Position(31).Code, 'x');
    EXPECT_EQ(d.Position(32).Code, 'y'); // no wrapping logic: the next index
    EXPECT_EQ(d.Position(31).Color, QColor(Qt::yellow));
    // A place before position 0 has no position; the rest of the text still lands.
    d.WriteText("abc", -2, 0, Qt::yellow);
    EXPECT_EQ(d.Position(0).Code, 'c');
}

struct GeometryCase {
    const char* name;
    int width, height;
    bool mainWindow;
    TiLCDGeometry expected;
    friend void PrintTo(const GeometryCase& row, std::ostream* os) { *os << row.name; }
};

class LcdMatrixGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(LcdMatrixGeometry, ComputesTheGrid) {
    const GeometryCase& row = GetParam();
    TiLCDMatrix d;
    if (row.mainWindow) {
        // Other values first: the configuration must set each one, not rely
        // on the defaults of a new display.
        d.SetCharactersetWidth(9);
        d.SetCharacterSpacingHorz(3);
        d.SetCharacterSpacingVert(3);
        d.SetCellsSpacingHorz(5);
        d.SetCellsSpacingVert(5);
        d.SetCellsWidth(5);
        for (auto setMargin :
             {&TiLCDMatrix::SetOuterMarginLeft, &TiLCDMatrix::SetOuterMarginTop,
              &TiLCDMatrix::SetOuterMarginRight, &TiLCDMatrix::SetOuterMarginBottom}) {
            (d.*setMargin)(7);
        }
        ConfigureAsMainWindowDisplay(d);
    }
    d.resize(row.width, row.height);
    d.ComputeGeometry();
    const TiLCDGeometry& g = d.Geometry();
    const TiLCDGeometry& e = row.expected;
    EXPECT_EQ(g.AreaLeft, e.AreaLeft);
    EXPECT_EQ(g.AreaTop, e.AreaTop);
    EXPECT_EQ(g.AreaRight, e.AreaRight);
    EXPECT_EQ(g.AreaBottom, e.AreaBottom);
    EXPECT_EQ(g.CellColumns, e.CellColumns);
    EXPECT_EQ(g.CellRows, e.CellRows);
    EXPECT_EQ(g.CharColumns, e.CharColumns);
    EXPECT_EQ(g.CharRows, e.CharRows);
    EXPECT_EQ(g.SlackHorz, e.SlackHorz);
    EXPECT_EQ(g.SlackVert, e.SlackVert);
    EXPECT_EQ(g.GridLeft, e.GridLeft);
    EXPECT_EQ(g.GridTop, e.GridTop);
    EXPECT_EQ(d.PositionCount(), std::max(0, e.CharColumns * e.CharRows));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LcdMatrixGeometry,
    ::testing::Values(
        // The worked example: 15 x 1 places, odd slack of 3 leaves 1 px left, 2 px right.
        GeometryCase{"main_window", 425, 89, true, {2, 2, 422, 88, 105, 24, 15, 1, 3, 16, 3, 10}},
        GeometryCase{
            "default_display", 300, 100, false, {4, 4, 295, 95, 96, 24, 16, 3, 5, 21, 6, 14}},
        GeometryCase{
            "narrower_than_a_character", 20, 89, true, {2, 2, 17, 88, 0, 24, 0, 1, 18, 16, 11, 10}},
        GeometryCase{"no_size_at_all", 0, 0, false, {4, 4, -5, -5, 0, 0, 0, 0, -7, -7, 1, 1}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(LcdMatrixGeometry, HugeSettingsNeitherDivideByZeroNorOverflow) {
    TiLCDMatrix d;
    d.SetCellsSpacingHorz(2147483647);
    d.SetCellsSpacingVert(2147483647);
    d.SetCharacterSpacingHorz(2147483647);
    d.SetCellsWidth(2147483647);
    d.SetCharactersetWidth(2147483647);
    d.SetText("ABC");
    d.ComputeGeometry();
    EXPECT_EQ(d.Geometry().CharColumns, 0);
    const QImage image = test::RenderToImage(d);
    EXPECT_EQ(test::CountPixels(image, test::kUnpainted), 0);
}

} // namespace
} // namespace velmora
