// Pixel tests of TiLCDMatrix painting in the main window's configuration and beyond.
#include "lcd/main_window_display.h"
#include "lcd_test_support.h"
#include "text/convert_error.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velmora {
namespace {

using test::ExpectedMainWindowPicture;
using test::kLime;
using test::RenderToImage;
using test::SamePicture;

class MainWindowDisplay : public ::testing::Test {
protected:
    MainWindowDisplay() { ConfigureAsMainWindowDisplay(display); }
    TiLCDMatrix display;
};

struct TextCase {
    const char* name;
    std::string text;
    friend void PrintTo(const TextCase& row, std::ostream* os) { *os << row.name; }
};

class MainWindowPicture : public MainWindowDisplay,
                          public ::testing::WithParamInterface<TextCase> {};

TEST_P(MainWindowPicture, EveryPixelIsWhereTheCellCoordinatesSay) {
    display.SetText(GetParam().text);
    EXPECT_TRUE(SamePicture(RenderToImage(display), ExpectedMainWindowPicture(GetParam().text)));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MainWindowPicture,
    ::testing::Values(TextCase{"reading", "1.1604076"}, TextCase{"negative", "-0.0001234E-3"},
                      TextCase{"unit", "        KOHM"}, TextCase{"all_places", "MHz.-9876543210"},
                      TextCase{"empty", ""}, TextCase{"blanks", "        "},
                      TextCase{"carriage_return", "1\r2"},
                      TextCase{"latin1_and_255", "\xb0\xb5\xc4\xd6\xdf\xe4\xfc\xff"},
                      TextCase{"too_long", "12345678901234567890"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(MainWindowDisplay, GeometryIsFifteenPlacesInOneRowFromThreeTen) {
    display.ComputeGeometry();
    EXPECT_EQ(display.Geometry().CharColumns, 15);
    EXPECT_EQ(display.Geometry().CharRows, 1);
    EXPECT_EQ(display.Geometry().GridLeft, 3);
    EXPECT_EQ(display.Geometry().GridTop, 10);
    // A full-block pattern marks the extreme cells of the first and last place.
    display.Pattern(1).SetRow(0, 127);
    display.Pattern(1).SetRow(23, 127);
    display.SetText(std::string(15, '\x01'));
    const QImage image = RenderToImage(display);
    EXPECT_EQ(image.pixelColor(3, 10), kLime);
    EXPECT_EQ(image.pixelColor(2, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(3, 9), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(3 + 28 * 14 + 4 * 6 + 1, 10 + 3 * 23 + 1), kLime); // (420, 80)
    EXPECT_EQ(image.pixelColor(421, 80), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(420, 81), QColor(Qt::black));
}

TEST_F(MainWindowDisplay, DigitOneHasItsCellsExactly) {
    display.SetText("1");
    const QImage image = RenderToImage(display);
    // "1" is 4 12 4 4 4 4 14: the stem in cell column 4 (x = 19), the foot in 3..5.
    const struct {
        int x, y;
        bool lit;
    } cells[] = {{19, 10, true}, {15, 13, true}, {19, 13, true},  {11, 10, false}, {15, 10, false},
                 {15, 28, true}, {23, 28, true}, {27, 28, false}, {19, 31, false}, {19, 28, true}};
    for (const auto& cell : cells) {
        SCOPED_TRACE(testing::Message() << cell.x << "," << cell.y);
        const QColor expected = cell.lit ? kLime : QColor(Qt::black);
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                EXPECT_EQ(image.pixelColor(cell.x + dx, cell.y + dy), expected);
            }
        }
    }
    // 2 px gap to the right, 1 px gap below.
    EXPECT_EQ(image.pixelColor(21, 13), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(19, 12), QColor(Qt::black));
    EXPECT_EQ(test::CountPixels(image, kLime), 4 * (1 + 2 + 1 + 1 + 1 + 1 + 3));
}

TEST_F(MainWindowDisplay, UnitTextLightsOnlyPlacesEightToEleven) {
    display.SetText("        KOHM");
    const QImage image = RenderToImage(display);
    int minX = image.width();
    int maxX = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == kLime) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    EXPECT_GE(minX, 3 + 28 * 8);
    EXPECT_LT(maxX, 3 + 28 * 12);
    // K and M both light their leftmost drawn column (c = 2) in row 0.
    EXPECT_EQ(image.pixelColor(3 + 28 * 8 + 8, 10), kLime);
    EXPECT_EQ(image.pixelColor(3 + 28 * 11 + 8, 10), kLime);
}

TEST_F(MainWindowDisplay, CodeZeroIsNeverDrawnWhateverItsPattern) {
    for (int row = 0; row < 24; ++row) {
        display.Pattern(0).SetRow(row, 127);
    }
    display.SetText(std::string("\0A\0", 3));
    display.WriteText(std::string(1, '\0'), 5, 0, Qt::red);
    EXPECT_TRUE(SamePicture(RenderToImage(display), ExpectedMainWindowPicture(" A")));
}

TEST_F(MainWindowDisplay, WideningShowsTheRestOfALongText) {
    const std::string text = "ABCDEFGHIJKLMNOPQRST";
    display.SetText(text);
    EXPECT_TRUE(SamePicture(RenderToImage(display), ExpectedMainWindowPicture(text)));
    display.resize(425 + 5 * 28, 89); // no new Text: the same positions re-flow
    EXPECT_TRUE(
        SamePicture(RenderToImage(display), ExpectedMainWindowPicture(text, 425 + 5 * 28, 20)));
    display.resize(425 - 28, 89);
    EXPECT_TRUE(SamePicture(RenderToImage(display), ExpectedMainWindowPicture(text, 425 - 28, 14)));
}

TEST_F(MainWindowDisplay, ATooSmallControlShowsOnlyBackgroundAndBorder) {
    display.SetBorderStyle(ibsRaised);
    display.SetCellsShowOff(true);
    display.SetText("8888");
    for (QSize size : {QSize(20, 89), QSize(425, 40), QSize(4, 4), QSize(1, 1)}) {
        SCOPED_TRACE(size.width() * 1000 + size.height());
        display.resize(size);
        const QImage image = RenderToImage(display);
        const QPalette& pal = display.palette();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const bool edge = x < 2 || y < 2 || x >= size.width() - 2 || y >= size.height() - 2;
                if (edge) {
                    // Palette colours may carry 16-bit channels: compare what was drawn.
                    const QRgb rgb = c.rgb();
                    ASSERT_TRUE(rgb == pal.color(QPalette::Light).rgb() ||
                                rgb == pal.color(QPalette::Dark).rgb() ||
                                rgb == pal.color(QPalette::Midlight).rgb() ||
                                rgb == pal.color(QPalette::Shadow).rgb())
                        << x << "," << y;
                } else {
                    ASSERT_EQ(c, QColor(Qt::black)) << x << "," << y;
                }
            }
        }
    }
}

TEST(LcdMatrixPaint, UnlitCellsCoverTheWholeGridIncludingSpacing) {
    TiLCDMatrix d; // 16 x 3 places of 5 x 7 with one spacing cell each way
    d.SetBackGroundColor(Qt::black);
    d.SetCellsColorOn(Qt::white);
    d.SetText("W");
    const QImage image = RenderToImage(d);
    d.ComputeGeometry();
    const TiLCDGeometry& g = d.Geometry();
    ASSERT_EQ(g.CellColumns, 96);
    ASSERT_EQ(g.CellRows, 24);
    const QColor off = d.CellsColorOff();
    int offCells = 0;
    int litCells = 0;
    for (int i = 0; i < g.CellColumns; ++i) {
        for (int j = 0; j < g.CellRows; ++j) {
            const QColor c = image.pixelColor(g.GridLeft + 3 * i, g.GridTop + 3 * j);
            ASSERT_TRUE(c == off || c == QColor(Qt::white)) << i << "," << j;
            offCells += c == off ? 1 : 0;
            litCells += c == off ? 0 : 1;
        }
    }
    EXPECT_EQ(litCells, 2 + 2 + 2 + 2 + 3 + 4 + 2); // W: 17 17 17 17 21 27 17
    EXPECT_EQ(offCells + litCells, 96 * 24);
    // Nothing in the gaps between cells or outside the grid.
    EXPECT_EQ(test::CountPixels(image, off), offCells * 4);
    EXPECT_EQ(image.pixelColor(g.GridLeft + 2, g.GridTop), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(g.GridLeft, g.GridTop + 2), QColor(Qt::black));
}

TEST(LcdMatrixPaint, BitOrderAndPatternShapeLimits) {
    struct Row {
        const char* name;
        int width;
        std::vector<std::int32_t> rows;
        std::vector<int> litColumns; // cell columns lit in row 0
        int litRows;                 // rows with anything lit
    };
    const Row table[] = {
        {"top_bit_is_leftmost", 7, {64}, {0}, 1},
        {"bit_zero_is_rightmost", 7, {1}, {6}, 1},
        {"seven_bits", 7, {127}, {0, 1, 2, 3, 4, 5, 6}, 1},
        {"width_beyond_32_bits", 34, {-1}, {2, 3, 33}, 1},
        {"fewer_rows_than_height", 5, {31, 31}, {0, 4}, 2},
        {"more_rows_than_height", 5, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {4}, 7},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        TiLCDMatrix d;
        d.SetBorderStyle(ibsNone);
        d.SetBackGroundColor(Qt::black);
        d.SetCellsShowOff(false);
        d.SetCellsColorOn(Qt::white);
        d.SetCellsSpacingHorz(0);
        d.SetCellsSpacingVert(0);
        d.SetCellsWidth(1);
        d.SetCharactersetWidth(row.width);
        d.Pattern('#').ClearRows();
        d.Pattern('#').SetRows(row.rows);
        d.SetText("#");
        const QImage image = RenderToImage(d);
        const TiLCDGeometry& g = d.Geometry();
        for (int c : row.litColumns) {
            EXPECT_EQ(image.pixelColor(g.GridLeft + c, g.GridTop), QColor(Qt::white)) << c;
        }
        int rowsLit = 0;
        for (int r = 0; r < 10; ++r) {
            bool any = false;
            for (int c = 0; c < row.width; ++c) {
                any = any || image.pixelColor(g.GridLeft + c, g.GridTop + r) == Qt::white;
            }
            rowsLit += any ? 1 : 0;
        }
        EXPECT_EQ(rowsLit, row.litRows);
        if (row.width == 34) {
            EXPECT_EQ(image.pixelColor(g.GridLeft, g.GridTop), QColor(Qt::black));
            EXPECT_EQ(image.pixelColor(g.GridLeft + 1, g.GridTop), QColor(Qt::black));
        }
    }
}

// A display whose drawing fails halfway, after lighting cells.
class FailingDisplay : public TiLCDMatrix {
public:
    void PaintToCanvas(QPainter& canvas) override {
        TiLCDMatrix::PaintToCanvas(canvas);
        if (fail) {
            throw EConvertError("'x' is not a valid integer value");
        }
    }
    bool fail = true;
};

TEST(LcdMatrixPaint, AnErrorPictureReplacesAHalfDrawnDisplayAndGoesAway) {
    FailingDisplay d;
    ConfigureAsMainWindowDisplay(d);
    d.SetText("8.8888888");
    const QImage failed = test::RenderWidget(d);
    EXPECT_EQ(test::CountPixels(failed, kLime), 0);
    int white = 0;
    for (int y = 0; y < failed.height(); ++y) {
        for (int x = 0; x < failed.width(); ++x) {
            const QColor c = failed.pixelColor(x, y);
            ASSERT_TRUE(c.red() == c.green() && c.green() == c.blue()) << x << "," << y;
            white += c.red() > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20);
    d.fail = false;
    EXPECT_TRUE(SamePicture(test::RenderWidget(d), ExpectedMainWindowPicture("8.8888888")));
}

} // namespace
} // namespace velmora
