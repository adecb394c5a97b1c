// Helpers shared by the display tests: rendering, an expected-picture oracle, a fake clock.
#pragma once

#include "lcd/component.h"
#include "lcd/custom_component.h"
#include "lcd/default_patterns.h"
#include "lcd/lcd_matrix.h"
#include "tests/lcd/documented_patterns.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace velmora::test {

inline const QColor kLime(0, 255, 0);
// Never drawn by anything under test, so unpainted pixels stand out.
inline const QColor kUnpainted(255, 0, 255);

// PaintToCanvas into a fresh image the size of the display, without a window.
inline QImage RenderToImage(TiComponent& component) {
    QImage image(component.size(), QImage::Format_RGB32);
    image.fill(kUnpainted);
    QPainter painter(&image);
    component.PaintToCanvas(painter);
    painter.end();
    return image;
}

// The whole widget through its paint event (QWidget::render, not grab()).
inline QImage RenderWidget(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(kUnpainted);
    widget.render(&image);
    return image;
}

// The picture the main window's display must show for a text, built only
// from the documented cell coordinates: character k, cell column c (0..6),
// cell row r at (3 + 28k + 4c, 10 + 3r), 2 x 2 pixels, lime on black, the
// 5-bit default patterns in columns 2 to 6 of rows 0 to 6.
inline QImage ExpectedMainWindowPicture(const std::string& text, int width = 425,
                                        int visibleColumns = 15) {
    QImage image(width, 89, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int k = 0; k < static_cast<int>(text.size()) && k < visibleColumns; ++k) {
        const int code = static_cast<unsigned char>(text[static_cast<std::size_t>(k)]);
        if (code == 0) {
            continue;
        }
        const std::optional<PatternRows> rows = DocumentedRows(code);
        if (!rows) {
            ADD_FAILURE() << "no written pattern for code " << code;
            continue;
        }
        for (int r = 0; r < 7; ++r) {
            for (int c = 2; c < 7; ++c) {
                if (((*rows)[static_cast<std::size_t>(r)] >> (6 - c)) & 1) {
                    for (int dy = 0; dy < 2; ++dy) {
                        for (int dx = 0; dx < 2; ++dx) {
                            image.setPixelColor(3 + 28 * k + 4 * c + dx, 10 + 3 * r + dy, kLime);
                        }
                    }
                }
            }
        }
    }
    return image;
}

// Names the first differing pixel, so a failure says where the picture is wrong.
inline ::testing::AssertionResult SamePicture(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "size differs";
    }
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is "
                       << actual.pixelColor(x, y).name().toStdString() << ", expected "
                       << expected.pixelColor(x, y).name().toStdString();
            }
        }
    }
    return ::testing::AssertionSuccess();
}

inline int CountPixels(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == color ? 1 : 0;
        }
    }
    return count;
}

// Installs a settable repaint clock for one test and removes it afterwards.
class FakeClock {
public:
    explicit FakeClock(double startDays = 45000.0)
        : now_(startDays) {
        TiComponent::SetNowFunction([this] { return now_; });
    }
    ~FakeClock() { TiComponent::SetNowFunction({}); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    double Now() const { return now_; }
    void AdvanceMs(double ms) { now_ += ms / 86400000.0; }

private:
    double now_;
};

// A minimal control: fills its background, or fails when asked to.
class ProbeComponent : public TiCustomComponent {
public:
    ProbeComponent() { resize(40, 20); }
    void PaintToCanvas(QPainter& canvas) override {
        DrawBackGround(canvas, BackGroundColor());
        if (whilePainting) {
            whilePainting();
        }
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
    }
    std::string failure;
    std::function<void()> whilePainting;
};

} // namespace velmora::test
