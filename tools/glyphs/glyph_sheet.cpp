// velmora-glyph-sheet: renders the 256 default character patterns, or the main window's
// two reading displays, into a PNG with the display widget's own painting.
#include "lcd/lcd_matrix.h"
#include "lcd/main_window_display.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using velmora::TiLCDMatrix;

constexpr int kColumns = 16;
constexpr int kTileWidth = 52;
constexpr int kTileHeight = 62;
constexpr int kLabelHeight = 14;

// One character at a time, large enough to judge the shape: 4 px cells, the
// unlit cells shown dimly so the 5 x 7 block is visible.
void ConfigureGlyphDisplay(TiLCDMatrix& display) {
    display.SetBorderStyle(velmora::TiBevelStyle::ibsNone);
    display.SetBackGroundColor(Qt::black);
    display.SetCellsColorOn(QColor(0, 255, 0));
    display.SetCellsColorOff(QColor(0, 48, 0));
    display.SetCellsShowOff(true);
    display.SetCellsWidth(4);
    display.SetCellsSpacingHorz(1);
    display.SetCellsSpacingVert(1);
    display.SetCharacterSpacingHorz(0);
    display.SetCharacterSpacingVert(0);
    // Exactly one 5 x 7 character: 5 x 4 + 4 spacing and 7 x 4 + 6 spacing, plus margins 2.
    display.resize(24 + 4, 34 + 4);
}

QImage RenderSheet() {
    QImage sheet(kColumns * kTileWidth, (256 / kColumns) * kTileHeight, QImage::Format_RGB32);
    sheet.fill(QColor(24, 24, 24));
    TiLCDMatrix display;
    ConfigureGlyphDisplay(display);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    for (int code = 0; code < 256; ++code) {
        const int left = (code % kColumns) * kTileWidth;
        const int top = (code / kColumns) * kTileHeight;
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(QRect(left, top, kTileWidth, kLabelHeight), Qt::AlignCenter,
                         QString::number(code));
        display.SetText(std::string(1, static_cast<char>(code)));
        painter.save();
        painter.translate(left + (kTileWidth - display.width()) / 2, top + kLabelHeight + 4);
        display.PaintToCanvas(painter);
        painter.restore();
    }
    painter.end();
    return sheet;
}

// The panel of the main window: 417 x 113, black, the upper display at (0, 0)
// and the lower one at (0, 48) painted over it, both 425 x 89 and clipped.
QImage RenderDisplays(const std::string& upperText, const std::string& lowerText) {
    QWidget panel;
    panel.resize(417, 113);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, Qt::black);
    panel.setPalette(palette);
    panel.setAutoFillBackground(true);
    auto* upper = new TiLCDMatrix(&panel);
    auto* lower = new TiLCDMatrix(&panel); // created later, so it lies on top
    velmora::ConfigureAsMainWindowDisplay(*upper);
    velmora::ConfigureAsMainWindowDisplay(*lower);
    upper->move(0, 0);
    lower->move(0, 48);
    upper->SetText(upperText);
    lower->SetText(lowerText);
    QImage image(panel.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    panel.render(&image);
    return image;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: velmora-glyph-sheet <out.png>\n"
                 "       velmora-glyph-sheet --displays <out.png> [upper text] [lower text]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // A picture tool needs no screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    QImage image;
    const char* out = nullptr;
    if (argc >= 3 && std::strcmp(argv[1], "--displays") == 0) {
        out = argv[2];
        const std::string upper = argc > 3 ? argv[3] : "1.1604076";
        const std::string lower = argc > 4 ? argv[4] : "        KOHM";
        image = RenderDisplays(upper, lower);
    } else if (argc == 2 && argv[1][0] != '-') {
        out = argv[1];
        image = RenderSheet();
    } else {
        return Usage();
    }
    if (!image.save(QString::fromLocal8Bit(out), "PNG")) {
        std::fprintf(stderr, "velmora-glyph-sheet: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
