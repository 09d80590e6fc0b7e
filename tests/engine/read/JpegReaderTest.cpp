// JPEG: the corpus against Qt, EXIF orientation, damaged files and limits.
#include "tests/engine/read/ReadTestSupport.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

using namespace tessaplex;
using namespace ReadTest;

namespace {

QString jpegCorpus(const QString& name) {
    return TestSupport::corpusPath("conformance/jpeg/" + name);
}

// Flat 16 x 16 squares survive JPEG almost unchanged, and no two corners look alike.
QImage blocks(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter painter(&img);
    for (int y = 0; y < h; y += 16) {
        for (int x = 0; x < w; x += 16) {
            painter.fillRect(x, y, 16, 16, QColor((x * 37) % 256, (y * 53) % 256, ((x + y) * 11) % 256));
        }
    }
    return img;
}

std::vector<uint8_t> progressiveJpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPG");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Qt's reading of JPEG bytes with the EXIF orientation applied.
QImage qtTransformed(const std::vector<uint8_t>& bytes) {
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "JPG");
    reader.setAutoTransform(true);
    return reader.read();
}

}  // namespace

TEST(JpegCorpus, DecodesAsQtShowsThem) {
    REQUIRE_CORPUS();
    QStringList files = filesIn(jpegCorpus(""), "*.jpg");
    ASSERT_EQ(files.size(), 22);
    files << jpegCorpus("unusual/ljt-testimgari.jpg");  // arithmetic coding
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << qPrintable(file) << ": " << d.status.message;
        const Difference diff = compare(toRgba64(d), toRgba64(qtRead(file, true)), d.info.width);
        // Only the rounding of CMYK to RGB may differ.
        EXPECT_LE(diff.maxChannel, 257u) << qPrintable(QFileInfo(file).fileName()) << ": " << diff.firstMismatch;
    }
}

TEST(JpegCorpus, EveryOrientationShowsTheSameLandscape) {
    REQUIRE_CORPUS();
    // The eight files were made separately, so they differ a little (about 5 of 255 on
    // average); a picture turned the wrong way differs by about 60.
    const Decoded upright = decodeFile(jpegCorpus("sharp-Landscape_2.jpg"));
    for (int n = 1; n <= 8; ++n) {
        const Decoded d = decodeFile(jpegCorpus(QString("sharp-Landscape_%1.jpg").arg(n)));
        ASSERT_EQ(d.info.width, 600u) << n;
        ASSERT_EQ(d.info.height, 450u) << n;
        EXPECT_LT(compare(toRgba64(d), toRgba64(upright), 600).meanChannel, 20 * 257.0) << n;
    }
}

TEST(JpegCorpus, DamagedUnusualAndColourManagedFiles) {
    REQUIRE_CORPUS();
    for (const QString& file : filesIn(jpegCorpus("bad"), "*.jpg")) {
        EXPECT_EQ(decodeFile(file).status.kind, 1) << qPrintable(file);
    }
    EXPECT_EQ(decodeFile(jpegCorpus("unusual/ljt-monkey12.jpg")).status.message, kUnsupportedOption);
    EXPECT_EQ(decodeFile(jpegCorpus("unusual/sharp-testimgl.jpg")).status.message, kUnsupportedOption);
    const Decoded gray = decodeFile(jpegCorpus("sharp-concert.jpg"));
    EXPECT_EQ(gray.info.format, PixelFormat::Gray8);
    ASSERT_GE(gray.info.iccProfile.size(), 20u);
    EXPECT_EQ(std::string(gray.info.iccProfile.begin() + 16, gray.info.iccProfile.begin() + 20), "GRAY");
    EXPECT_FALSE(decodeFile(jpegCorpus("pillow-flower2.jpg")).info.iccProfile.empty());
    const Decoded cmyk = decodeFile(jpegCorpus("jxltestdata-flower_small.cmyk.jpg"));
    EXPECT_EQ(cmyk.info.format, PixelFormat::Rgb8);
    EXPECT_TRUE(cmyk.info.iccProfile.empty());
}

TEST(JpegReader, ExifOrientationIsApplied) {
    const QImage upright = blocks(64, 48);
    // How a camera stores the upright picture for each orientation.
    const QTransform quarter = QTransform().rotate(90), back = QTransform().rotate(-90);
    const QImage stored[9] = {
        {},
        upright,
        upright.mirrored(true, false),
        upright.mirrored(true, true),
        upright.mirrored(false, true),
        upright.transformed(quarter).mirrored(true, false),
        upright.transformed(back),
        upright.transformed(back).mirrored(true, false),
        upright.transformed(quarter),
    };
    for (int n = 1; n <= 8; ++n) {
        const std::vector<uint8_t> bytes = makeJpeg(stored[n], 100, n);
        const Decoded d = decodeBytes(bytes, "o.jpg", {}, 7);
        ASSERT_TRUE(d.status.isOk()) << n << ": " << d.status.message;
        ASSERT_EQ(d.info.width, 64u) << n;
        EXPECT_EQ(d.info.wholeImageBuffered, n > 2) << n;
        // Exactly as Qt turns it, and close to the picture the camera saw.
        EXPECT_EQ(compare(toRgba64(d), toRgba64(qtTransformed(bytes)), 64).maxChannel, 0u) << n;
        EXPECT_LT(compare(toRgba64(d), toRgba64(upright), 64).meanChannel, 4 * 257.0) << n;
    }
}

TEST(JpegReader, DensityIsCarriedInPixelsPerMetre) {
    QImage image = blocks(16, 16);
    image.setDotsPerMeterX(3937);  // 100 dpi
    image.setDotsPerMeterY(7874);
    const Decoded d = decodeBytes(makeJpeg(image));
    EXPECT_NEAR(d.info.xPixelsPerMetre, 3937, 1);
    EXPECT_NEAR(d.info.yPixelsPerMetre, 7874, 1);
}

TEST(JpegReader, LimitsApplyBeforeDecoding) {
    // A baseline header claiming 65000 x 65000.
    std::vector<uint8_t> huge = makeJpeg(blocks(16, 16));
    const uint8_t marker[2] = {0xFF, 0xC0};
    const auto sof = std::search(huge.begin(), huge.end(), marker, marker + 2);
    ASSERT_NE(sof, huge.end());
    sof[5] = sof[7] = 0xFD, sof[6] = sof[8] = 0xE8;
    const Decoded big = decodeBytes(huge);
    EXPECT_EQ(big.status.message.rfind("Image too large: 65000 x 65000", 0), 0u) << big.status.message;

    const std::vector<uint8_t> progressive = progressiveJpeg(blocks(256, 256));
    ASSERT_TRUE(decodeBytes(progressive).status.isOk());
    Limits fewScans;
    fewScans.maxJpegScans = 2;
    EXPECT_EQ(decodeBytes(progressive, "p.jpg", fewScans).status.kind, 1);
    // All scans of a progressive image are held at once; a baseline image streams.
    Limits tight;
    tight.memoryBudget = 64 << 10;
    EXPECT_EQ(decodeBytes(progressive, "p.jpg", tight).status.message.rfind("Image too large", 0), 0u);
    EXPECT_TRUE(decodeBytes(makeJpeg(blocks(256, 256)), "b.jpg", tight).status.isOk());
}
