// PNG: PngSuite against Qt, the formats rows arrive in, and what a reader must refuse.
#include "tests/engine/read/ReadTestSupport.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QProcess>

#include <zlib.h>

using namespace tessaplex;
using namespace ReadTest;

namespace {

QString pngSuite(const QString& name) {
    return TestSupport::corpusPath("conformance/png/" + name);
}

// Inserts a chunk after IHDR, with a correct CRC unless told otherwise.
std::vector<uint8_t> withChunk(std::vector<uint8_t> png, const char* type, const std::vector<uint8_t>& data,
                               bool goodCrc = true) {
    std::vector<uint8_t> chunk;
    for (int s = 24; s >= 0; s -= 8) {
        chunk.push_back(uint8_t(data.size() >> s));
    }
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, chunk.data() + 4, uInt(chunk.size() - 4));
    crc ^= goodCrc ? 0 : 1;
    for (int s = 24; s >= 0; s -= 8) {
        chunk.push_back(uint8_t(crc >> s));
    }
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return png;
}

}  // namespace

TEST(PngCorpus, EveryValidFileDecodesAsQtDoes) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(pngSuite(""), "*.png");
    ASSERT_EQ(files.size(), 175);
    int checked = 0;
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        if (name.startsWith('x')) {
            continue;
        }
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << qPrintable(name) << ": " << d.status.message;
        std::vector<uint16_t> want = toRgba64(qtRead(file));
        if (name == "tbbn2c16.png" || name == "tbgn2c16.png") {
            // Qt misreads tRNS on 16-bit RGB; ImageMagick's listing of raw samples is the referee.
            QProcess convert;
            convert.start("convert", {file, "-depth", "16", "txt:-"});
            if (!convert.waitForFinished(20000) || convert.exitCode() != 0) {
                continue;
            }
            for (const QByteArray& line : convert.readAllStandardOutput().split('\n')) {
                unsigned x = 0, y = 0, r = 0, g = 0, b = 0, a = 0;
                if (std::sscanf(line.constData(), "%u,%u: (%u,%u,%u,%u)", &x, &y, &r, &g, &b, &a) == 6 && x < 32 &&
                    y < 32) {
                    std::copy_n(std::begin({r, g, b, a}), 4, want.begin() + long(y * 32 + x) * 4);
                }
            }
        }
        const Difference diff = compare(toRgba64(d), want, d.info.width);
        EXPECT_EQ(diff.maxChannel, 0u) << qPrintable(name) << ": " << diff.firstMismatch;
        ++checked;
    }
    EXPECT_GE(checked, 159);
}

TEST(PngCorpus, CorruptFilesAreReadErrors) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(pngSuite(""), "x*.png");
    ASSERT_EQ(files.size(), 14);
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        EXPECT_EQ(d.status.kind, 1) << qPrintable(file);
        EXPECT_NE(d.status.message.find("PNG"), std::string::npos) << d.status.message;
    }
}

TEST(PngCorpus, RowFormatsFollowTheFile) {
    REQUIRE_CORPUS();
    const struct {
        const char* file;
        PixelFormat format;
        int sourceBits;
        bool buffered;
    } cases[] = {
        {"basn0g01.png", PixelFormat::Gray8, 1, false},    {"basn0g04.png", PixelFormat::Gray8, 4, false},
        {"basn0g16.png", PixelFormat::Gray16, 16, false},  {"basn2c16.png", PixelFormat::Rgb16, 16, false},
        {"basn3p02.png", PixelFormat::Indexed8, 2, false}, {"basn4a16.png", PixelFormat::GrayAlpha16, 16, false},
        {"basn6a08.png", PixelFormat::Rgba8, 8, false},    {"tbbn0g04.png", PixelFormat::GrayAlpha8, 4, false},
        {"tbrn2c08.png", PixelFormat::Rgba8, 8, false},    {"basi3p08.png", PixelFormat::Indexed8, 8, true},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeFile(pngSuite(c.file));
        EXPECT_EQ(d.info.format, c.format) << c.file;
        EXPECT_EQ(d.info.sourceBits, c.sourceBits) << c.file;
        EXPECT_EQ(d.info.wholeImageBuffered, c.buffered) << c.file;
    }
    // 1-bit gray is scaled to full range; a palette's tRNS lands in the entries.
    const Decoded gray1 = decodeFile(pngSuite("basn0g01.png"));
    EXPECT_EQ(*std::max_element(gray1.pixels.begin(), gray1.pixels.end()), 255);
    const Decoded trns = decodeFile(pngSuite("tp1n3p08.png"));
    EXPECT_TRUE(trns.info.hasTransparency);
    EXPECT_TRUE(std::any_of(trns.info.palette.begin(), trns.info.palette.end(),
                            [](const PaletteEntry& e) { return e.a == 0; }));
    const Decoded metres = decodeFile(pngSuite("cdun2c08.png"));
    EXPECT_EQ(metres.info.xPixelsPerMetre, 1000u);
    EXPECT_EQ(decodeFile(pngSuite("cdfn2c08.png")).info.xPixelsPerMetre, 0u);  // aspect ratio only
}

TEST(PngReader, MemoryBudgetBindsOnlyInterlacedImages) {
    QImage picture = testPicture(64, 64);
    Limits tight;
    tight.memoryBudget = 2048;
    EXPECT_TRUE(decodeBytes(makePng(picture), "a.png", tight).status.isOk());
    REQUIRE_CORPUS();
    const Decoded d = decodeFile(pngSuite("basi2c08.png"), tight);
    EXPECT_EQ(d.status.kind, 1);
    EXPECT_EQ(d.status.message.rfind("Image too large", 0), 0u) << d.status.message;
}

TEST(PngReader, ProfilesAndDamagedChunks) {
    const std::vector<uint8_t> png = makePng(testPicture(16, 16));
    // A minimal RGB display profile (header only), stored in iCCP without compression
    // so that the chunk is as long as libpng expects of a real one.
    std::vector<uint8_t> profile(132, 0);
    profile[3] = 132;
    std::memcpy(&profile[12], "mntrRGB XYZ ", 12);
    std::memcpy(&profile[36], "acsp", 4);
    profile[8] = 2, profile[9] = 0x10;
    const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::memcpy(&profile[68], d50, 12);
    std::vector<uint8_t> packed(compressBound(132));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, profile.data(), 132, 0);
    std::vector<uint8_t> iccp{'t', 'e', 's', 't', 0, 0};
    iccp.insert(iccp.end(), packed.begin(), packed.begin() + long(packedSize));
    const Decoded withProfile = decodeBytes(withChunk(png, "iCCP", iccp));
    ASSERT_TRUE(withProfile.status.isOk()) << withProfile.status.message;
    EXPECT_EQ(withProfile.info.iccProfile, profile);
    // A bad CRC is an error even in a chunk we would skip.
    const std::vector<uint8_t> text{'a', 0, 'b'};
    EXPECT_TRUE(decodeBytes(withChunk(png, "tEXt", text)).status.isOk());
    const Decoded damaged = decodeBytes(withChunk(png, "tEXt", text, false));
    EXPECT_EQ(damaged.status.kind, 1);
}
