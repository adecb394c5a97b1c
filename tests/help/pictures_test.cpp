// The stored pictures: they are linked in, decode, and have the sizes and formats the windows
// expect.
#include "help/pictures.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <optional>
#include <ostream>

namespace velmora {
namespace {

QByteArray ReadResource(const char* path) {
    RegisterPictures();
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

struct FrameHeader {
    uint8_t marker; // 0xC0 baseline, 0xC2 progressive, ...
    int width;
    int height;
    int components;
};

// Walks the JPEG marker segments up to the first start-of-frame.
std::optional<FrameHeader> FirstFrameHeader(const QByteArray& data) {
    const auto byte = [&](qsizetype i) { return static_cast<uint8_t>(data.at(i)); };
    if (data.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) {
        return std::nullopt;
    }
    qsizetype i = 2;
    while (i + 4 <= data.size()) {
        if (byte(i) != 0xFF) {
            return std::nullopt;
        }
        const uint8_t marker = byte(i + 1);
        const int length = byte(i + 2) << 8 | byte(i + 3);
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (i + 10 > data.size()) {
                return std::nullopt;
            }
            return FrameHeader{marker, byte(i + 7) << 8 | byte(i + 8),
                               byte(i + 5) << 8 | byte(i + 6), byte(i + 9)};
        }
        i += 2 + length;
    }
    return std::nullopt;
}

struct PictureRow {
    const char* name;
    const char* path;
    const char* format;
    int width;
    int height;
    bool alpha;
};

void PrintTo(const PictureRow& row, std::ostream* out) {
    *out << row.name;
}

class StoredPicture : public testing::TestWithParam<PictureRow> {};

TEST_P(StoredPicture, DecodesWithItsSizeAndFormat) {
    const PictureRow& row = GetParam();
    RegisterPictures();
    QImageReader reader(QString::fromLatin1(row.path));
    EXPECT_EQ(reader.format(), QByteArray(row.format));
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.width(), row.width);
    EXPECT_EQ(image.height(), row.height);
    EXPECT_EQ(image.hasAlphaChannel(), row.alpha);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, StoredPicture,
    testing::Values(PictureRow{"logo", kLogoResource, "png", 114, 51, true},
                    PictureRow{"help", kHelpPictureResource, "jpeg", 629, 495, false},
                    PictureRow{"icon", kIconResource, "png", 32, 32, true},
                    PictureRow{"large_icon", kLargeIconResource, "png", 128, 128, true}),
    [](const testing::TestParamInfo<PictureRow>& row) { return std::string(row.param.name); });

TEST(StoredPictures, LogoIsEightBitRgbaWithTransparentBackgroundAndSoftEdges) {
    const QByteArray png = ReadResource(kLogoResource);
    ASSERT_GT(png.size(), 26);
    // IHDR: bit depth 8, colour type 6 (truecolour with alpha).
    EXPECT_EQ(png.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(static_cast<uint8_t>(png.at(24)), 8);
    EXPECT_EQ(static_cast<uint8_t>(png.at(25)), 6);

    const QImage logo = QImage::fromData(png).convertToFormat(QImage::Format_ARGB32);
    int clear = 0, partial = 0, solid = 0;
    for (int y = 0; y < logo.height(); ++y) {
        for (int x = 0; x < logo.width(); ++x) {
            const int alpha = qAlpha(logo.pixel(x, y));
            (alpha == 0 ? clear : alpha == 255 ? solid : partial)++;
        }
    }
    EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0) << "corner must show the face colour";
    EXPECT_GT(clear, logo.width() * logo.height() / 4);
    EXPECT_GT(solid, 0);
    EXPECT_GT(partial, 0) << "anti-aliased edges blend through the alpha channel";
}

TEST(StoredPictures, HelpPictureIsBaselineJpegWithThreeComponents) {
    const auto frame = FirstFrameHeader(ReadResource(kHelpPictureResource));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->marker, 0xC0) << "baseline sequential, not progressive";
    EXPECT_EQ(frame->width, 629);
    EXPECT_EQ(frame->height, 495);
    EXPECT_EQ(frame->components, 3);
}

TEST(StoredPictures, AccessorsGiveDecodedPictures) {
    EXPECT_EQ(VelmoraLogo().size(), QSize(114, 51));
    EXPECT_EQ(HelpPicture().size(), QSize(629, 495));
    const QIcon icon = VelmoraIcon();
    EXPECT_FALSE(icon.isNull());
    // Each file under the size it is drawn at, so the desktop picks the right one
    // (asked before any drawing, which would correct a wrong size it comes across).
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, (QList<QSize>{QSize(32, 32), QSize(128, 128)}));
    EXPECT_EQ(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
}

} // namespace
} // namespace velmora
