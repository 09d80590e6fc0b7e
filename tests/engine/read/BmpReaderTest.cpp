// BMP: the bitmap suite (good, questionable, bad) and hand-made files for streaming,
// alpha, RLE holes and limits.
#include "tests/engine/read/ReadTestSupport.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>
#include <QFileInfo>

#include <cmath>

using namespace tessaplex;
using namespace ReadTest;

namespace {

QString suite(const QString& relative) {
    return TestSupport::corpusPath("conformance/bmp/" + relative);
}

// Bottom-up (or top-down) rows of packed indices or BGR pixels, padded to 4 bytes.
std::vector<uint8_t> packRows(const std::vector<std::vector<uint8_t>>& rows, bool topDown) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[topDown ? i : rows.size() - 1 - i];
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

std::vector<uint8_t> grayPalette(int entries) {
    std::vector<uint8_t> p;
    for (int i = 0; i < entries; ++i) {
        const uint8_t v = uint8_t(i * 255 / std::max(1, entries - 1));
        p.insert(p.end(), {v, v, v, 0});
    }
    return p;
}

// A 124-byte header with bit fields.
std::vector<uint8_t> v5Header(int32_t w, int32_t h, uint16_t bpp, const uint32_t masks[4]) {
    std::vector<uint8_t> v = bmpInfoHeader(w, h, bpp, 3);
    v[0] = 124;
    for (int i = 0; i < 4; ++i) {
        put32(v, masks[i]);
    }
    put32(v, 0x73524742);  // 'sRGB'
    v.resize(124, 0);
    return v;
}

}  // namespace

TEST(BmpCorpus, GoodFilesDecodeAsQtDoes) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(suite("g"), "*.bmp");
    ASSERT_EQ(files.size(), 27);
    for (const QString& file : files) {
        const QString name = QFileInfo(file).baseName();
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << qPrintable(name) << ": " << d.status.message;
        if (name.startsWith("pal")) {
            EXPECT_EQ(d.info.format, PixelFormat::Indexed8) << qPrintable(name);
            EXPECT_EQ(d.info.sourceBits, name.mid(3, 1).toInt()) << qPrintable(name);
        }
        if (name.startsWith("rgb16")) {
            continue;  // Qt widens 5-bit fields without rounding; see the bit-field test
        }
        const Difference diff = compare(toRgba64(d), toRgba64(qtRead(file)), d.info.width);
        EXPECT_EQ(diff.maxChannel, 0u) << qPrintable(name) << ": " << diff.firstMismatch;
    }
    const Decoded nonSquare = decodeFile(suite("g/pal8nonsquare.bmp"));
    EXPECT_EQ(nonSquare.info.xPixelsPerMetre, 2835u);
    EXPECT_EQ(nonSquare.info.yPixelsPerMetre, 1417u);
}

// Every bit-field layout shows the suite's one picture: each channel within one step
// of its field width of the 8-bit original.
TEST(BmpCorpus, BitFieldsOfAnyWidthScaleToTheOriginal) {
    REQUIRE_CORPUS();
    const std::vector<uint16_t> rgb = toRgba64(decodeFile(suite("g/rgb24.bmp")));
    const std::vector<uint16_t> rgba = toRgba64(decodeFile(suite("q/rgba32-1.bmp")));
    const struct {
        const char* file;
        int bits[4];  // red, green, blue, alpha (0: none)
    } cases[] = {
        {"g/rgb16.bmp", {5, 5, 5, 0}},         {"g/rgb16-565.bmp", {5, 6, 5, 0}},
        {"g/rgb16bfdef.bmp", {5, 5, 5, 0}},    {"g/rgb32bf.bmp", {8, 8, 8, 0}},
        {"q/rgb16-231.bmp", {2, 3, 1, 0}},     {"q/rgb16-3103.bmp", {3, 10, 3, 0}},
        {"q/rgb16faketrns.bmp", {5, 5, 5, 0}}, {"q/rgb32-111110.bmp", {11, 11, 10, 0}},
        {"q/rgb32-7187.bmp", {7, 18, 7, 0}},   {"q/rgb32-xbgr.bmp", {8, 8, 8, 0}},
        {"q/rgb32h52.bmp", {8, 8, 8, 0}},      {"q/rgb32fakealpha.bmp", {8, 8, 8, 0}},
        {"q/rgba16-1924.bmp", {1, 9, 2, 4}},   {"q/rgba16-4444.bmp", {4, 4, 4, 4}},
        {"q/rgba16-5551.bmp", {5, 5, 5, 1}},   {"q/rgba32-1010102.bmp", {10, 10, 10, 2}},
        {"q/rgba32-61754.bmp", {6, 17, 5, 4}}, {"q/rgba32-81284.bmp", {8, 12, 8, 4}},
        {"q/rgba32-2.bmp", {8, 8, 8, 8}},      {"q/rgba32abf.bmp", {8, 8, 8, 8}},
        {"q/rgba32h56.bmp", {8, 8, 8, 8}},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeFile(suite(c.file));
        ASSERT_TRUE(d.status.isOk()) << c.file << ": " << d.status.message;
        const bool alpha = c.bits[3] > 0;
        EXPECT_EQ(d.info.format, alpha ? PixelFormat::Rgba8 : PixelFormat::Rgb8) << c.file;
        EXPECT_EQ(d.info.hasTransparency, alpha) << c.file;
        const std::vector<uint16_t> got = toRgba64(d), &want = alpha ? rgba : rgb;
        ASSERT_EQ(got.size(), want.size()) << c.file;
        for (int ch = 0; ch < 4; ++ch) {
            const int bits = ch == 3 && !alpha ? 16 : c.bits[ch];
            const int tolerance = bits >= 8 ? 1 : int(std::ceil(255.0 / ((1 << bits) - 1)));
            int worst = 0;
            for (size_t i = ch; i < got.size(); i += 4) {
                if (ch < 3 && got[i - ch + 3] == 0) {
                    continue;  // no colour where the file made the pixel transparent
                }
                worst = std::max(worst, std::abs(got[i] / 257 - want[i] / 257));
            }
            EXPECT_LE(worst, tolerance) << c.file << " channel " << ch;
        }
    }
}

TEST(BmpCorpus, QuestionableFilesDecodeSensiblyOrAreUnsupported) {
    REQUIRE_CORPUS();
    for (const char* f : {"pal1huffmsb", "rgb24jpeg", "rgb24png", "rgb24rle24", "rgba64"}) {
        EXPECT_EQ(decodeFile(suite(QString("q/%1.bmp").arg(f))).status.message, kUnsupportedOption) << f;
    }
    // OS/2 headers, odd offsets and oversized palettes all hold the 8-bit picture.
    const std::vector<uint16_t> pal8 = toRgba64(decodeFile(suite("g/pal8.bmp")));
    for (const char* f : {"g/pal8os2", "q/pal8offs", "q/pal8os2-hs", "q/pal8os2-sz", "q/pal8os2sp", "q/pal8os2v2",
                          "q/pal8os2v2-16", "q/pal8os2v2-40sz", "q/pal8os2v2-sz", "q/pal8oversizepal"}) {
        const Decoded d = decodeFile(suite(QString(f) + ".bmp"));
        ASSERT_TRUE(d.status.isOk()) << f << ": " << d.status.message;
        EXPECT_EQ(compare(toRgba64(d), pal8, d.info.width).maxChannel, 0u) << f;
    }
    // Pixels an RLE stream skips are transparent; the others are the full picture's.
    for (const auto& [file, full] :
         {std::pair{"pal4rlecut", "pal4"}, {"pal4rletrns", "pal4"}, {"pal8rlecut", "pal8"}, {"pal8rletrns", "pal8"}}) {
        const Decoded d = decodeFile(suite(QString("q/%1.bmp").arg(file)));
        ASSERT_TRUE(d.status.isOk()) << file << ": " << d.status.message;
        EXPECT_TRUE(d.info.hasTransparency) << file;
        std::vector<uint16_t> got = toRgba64(d), want = toRgba64(decodeFile(suite(QString("g/%1.bmp").arg(full))));
        size_t clear = 0;
        for (size_t i = 3; i < got.size(); i += 4) {
            clear += got[i] == 0;
            if (got[i] == 0) {
                want[i] = 0;
            }
        }
        EXPECT_GT(clear, 0u) << file;
        EXPECT_EQ(compare(got, want, d.info.width).maxChannel, 0u) << file;
    }
    for (const auto& [file, bits] : {std::pair{"pal1p1", 1}, {"pal2", 2}, {"pal2color", 2}}) {
        const Decoded d = decodeFile(suite(QString("q/%1.bmp").arg(file)));
        EXPECT_TRUE(d.status.isOk()) << file << ": " << d.status.message;
        EXPECT_EQ(d.info.sourceBits, bits) << file;
    }
    const Decoded embedded = decodeFile(suite("q/rgb24prof.bmp"));
    ASSERT_GE(embedded.info.iccProfile.size(), 132u);
    const uint8_t* p = embedded.info.iccProfile.data();
    EXPECT_EQ(size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3], embedded.info.iccProfile.size());
    EXPECT_TRUE(decodeFile(suite("q/rgb24lprof.bmp")).info.iccProfile.empty());  // names a file elsewhere
}

TEST(BmpCorpus, BadFilesAreReadErrors) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(suite("b"), "*.bmp");
    ASSERT_EQ(files.size(), 20);
    for (const QString& file : files) {
        const QString name = QFileInfo(file).baseName();
        const Decoded d = decodeFile(file);
        if (name.startsWith("baddens")) {
            // Absurd densities: the pixels are sound, the density is dropped.
            EXPECT_TRUE(d.status.isOk()) << d.status.message;
            EXPECT_EQ(d.info.xPixelsPerMetre, 0u);
            continue;
        }
        EXPECT_EQ(d.status.kind, 1) << qPrintable(name);
        EXPECT_FALSE(d.status.message.empty()) << qPrintable(name);
    }
    EXPECT_EQ(decodeFile(suite("b/badbitcount.bmp")).status.message, kInvalidBitsPerPixel);
}

TEST(BmpReader, BottomUpStreamsInBlocksAndMatchesTopDown) {
    // 700 x 600 x 3 bytes spans more than one read block.
    const QImage picture = testPicture(700, 600);
    std::vector<std::vector<uint8_t>> bgr(600), nibbles(600);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 700; ++x) {
            const QRgb c = picture.pixel(x, y);
            bgr[y].insert(bgr[y].end(), {uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))});
            if (x % 2 == 0) {
                nibbles[y].push_back(uint8_t(((x + y) % 16) << 4 | ((x + 1 + y) % 16)));
            }
        }
    }
    for (const bool topDown : {false, true}) {
        const int32_t h = topDown ? -600 : 600;
        const Decoded rgb =
            decodeBytes(makeBmp(bmpInfoHeader(700, h, 24), {}, packRows(bgr, topDown)), "a.bmp", {}, 37);
        ASSERT_TRUE(rgb.status.isOk()) << rgb.status.message;
        EXPECT_EQ(compare(toRgba64(rgb), toRgba64(picture), 700).maxChannel, 0u);
        const Decoded idx =
            decodeBytes(makeBmp(bmpInfoHeader(700, h, 4, 0, 16), grayPalette(16), packRows(nibbles, topDown)));
        ASSERT_TRUE(idx.status.isOk()) << idx.status.message;
        EXPECT_EQ(idx.info.sourceBits, 4);
        for (int y : {0, 1, 599}) {
            for (int x : {0, 1, 2, 699}) {
                EXPECT_EQ(idx.pixels[size_t(y) * 700 + x], (x + y) % 16) << x << "," << y;
            }
        }
    }
}

TEST(BmpReader, TwoBitPixelsAndMissingPaletteEntries) {
    // Four 2-bit pixels 0 1 2 3 per byte, most significant first.
    const Decoded d = decodeBytes(makeBmp(bmpInfoHeader(5, 1, 2, 0, 4), grayPalette(4), {0x1B, 0x40, 0, 0}));
    ASSERT_TRUE(d.status.isOk()) << d.status.message;
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0, 1, 2, 3, 1}));
    // Index 3 of a two-entry palette has no colour.
    const Decoded bad = decodeBytes(makeBmp(bmpInfoHeader(5, 1, 2, 0, 2), grayPalette(2), {0x1B, 0x40, 0, 0}));
    EXPECT_EQ(bad.status.kind, 1);
    EXPECT_TRUE(bad.opened);
}

TEST(BmpReader, AlphaIsKeptOnlyWhenItVaries) {
    const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const auto decodeAlpha = [&](uint8_t a0, uint8_t a1) {
        return decodeBytes(makeBmp(v5Header(2, 1, 32, masks), {}, {10, 20, 30, a0, 40, 50, 60, a1}));
    };
    for (const auto& [a0, a1] : {std::pair<uint8_t, uint8_t>{0, 0}, {255, 255}}) {
        const Decoded d = decodeAlpha(a0, a1);
        EXPECT_EQ(d.info.format, PixelFormat::Rgb8);
        EXPECT_FALSE(d.info.hasTransparency);
        EXPECT_EQ(d.pixels, (std::vector<uint8_t>{30, 20, 10, 60, 50, 40}));
    }
    const Decoded mixed = decodeAlpha(0, 128);
    EXPECT_EQ(mixed.info.format, PixelFormat::Rgba8);
    EXPECT_EQ(mixed.pixels, (std::vector<uint8_t>{30, 20, 10, 0, 60, 50, 40, 128}));
}

TEST(BmpReader, RleHolesBecomeTransparent) {
    // Row 0 (bottom): 2 x index 1, delta (1, 1); row 1: literal 3 2 1 at x 3.., end of bitmap.
    const std::vector<uint8_t> rle{2, 1, 0, 2, 1, 1, 0, 3, 3, 2, 1, 0, 0, 1};
    const auto header = [](uint32_t colours) { return bmpInfoHeader(6, 2, 8, 1, colours); };
    const Decoded small = decodeBytes(makeBmp(header(4), grayPalette(4), rle));
    ASSERT_TRUE(small.status.isOk()) << small.status.message;
    ASSERT_EQ(small.info.palette.size(), 5u);
    EXPECT_EQ(small.info.palette[4].a, 0);
    EXPECT_EQ(small.pixels, (std::vector<uint8_t>{4, 4, 4, 3, 2, 1, 1, 1, 4, 4, 4, 4}));
    // With every palette entry taken, the holes need an alpha channel.
    const Decoded full = decodeBytes(makeBmp(header(256), grayPalette(256), rle));
    ASSERT_TRUE(full.status.isOk()) << full.status.message;
    EXPECT_EQ(full.info.format, PixelFormat::Rgba8);
    EXPECT_EQ(full.pixels[3], 0);
    EXPECT_EQ(full.pixels[4 * 6 + 3], 255);
    // Data that stops before the image is complete is an error; a missing final
    // end-of-bitmap after the last pixel is not.
    EXPECT_EQ(decodeBytes(makeBmp(header(4), grayPalette(4), {6, 1, 0, 0, 3, 2})).status.kind, 1);
    EXPECT_TRUE(decodeBytes(makeBmp(header(4), grayPalette(4), {6, 1, 0, 0, 6, 2})).status.isOk());
}

TEST(BmpReader, HugeHeadersAreRefusedBeforeAllocating) {
    const Decoded huge = decodeBytes(makeBmp(bmpInfoHeader(100000, 100000, 24), {}, {1, 2, 3, 0}));
    EXPECT_EQ(huge.status.kind, 1);
    EXPECT_EQ(huge.status.message.rfind("Image too large: 100000 x 100000 pixels", 0), 0u) << huge.status.message;
    EXPECT_FALSE(huge.opened);
    // An RLE image is decoded whole, so the memory budget applies to it.
    Limits tight;
    tight.memoryBudget = 1 << 20;
    const Decoded rle = decodeBytes(makeBmp(bmpInfoHeader(4000, 4000, 8, 1, 2), grayPalette(2), {0, 1}), "x", tight);
    EXPECT_EQ(rle.status.message.rfind("Image too large", 0), 0u) << rle.status.message;
}
