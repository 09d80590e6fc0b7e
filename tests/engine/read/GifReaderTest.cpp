// GIF: the first frame on its logical screen, as browsers show it.
#include "tests/engine/read/ReadTestSupport.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>
#include <QFileInfo>

using namespace tessaplex;
using namespace ReadTest;

namespace {

QString gifCorpus(const QString& name) {
    return TestSupport::corpusPath("conformance/gif/" + name);
}

std::vector<uint8_t> colours(int n) {
    std::vector<uint8_t> t;
    for (int i = 0; i < n; ++i) {
        t.insert(t.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    }
    return t;
}

// A 3 x 2 frame at (1, 1) on a 5 x 4 screen.
GifSpec partialFrame(int tableSize) {
    GifSpec s;
    s.screenWidth = 5, s.screenHeight = 4;
    s.globalTable = colours(tableSize);
    s.left = 1, s.top = 1, s.width = 3, s.height = 2;
    s.indices = {0, 1, 2, 3, 2, 1};
    return s;
}

}  // namespace

TEST(GifCorpus, FirstFramesDecodeAsQtShowsThem) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(gifCorpus(""), "*.gif");
    ASSERT_EQ(files.size(), 23);
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << qPrintable(file) << ": " << d.status.message;
        const Difference diff = compare(toRgba64(d), toRgba64(qtRead(file)), d.info.width);
        EXPECT_EQ(diff.maxChannel, 0u) << qPrintable(QFileInfo(file).fileName()) << ": " << diff.firstMismatch;
    }
    // A partial first frame: the rest of the screen is transparent through the frame's key.
    const Decoded partial = decodeFile(gifCorpus("pillow-first_frame_transparency.gif"));
    EXPECT_EQ(partial.info.palette[partial.pixels[0]].a, 0);
}

TEST(GifCorpus, BadFilesAreRefusedOrClipped) {
    REQUIRE_CORPUS();
    for (const char* f : {"imagers-zero-loop-count.gif", "pillow-decompression_bomb.gif", "pillow-zero_width.gif"}) {
        const Decoded d = decodeFile(gifCorpus(QString("bad/") + f));
        EXPECT_EQ(d.status.kind, 1) << f;
    }
    // A frame that overhangs its screen is cut to it.
    const Decoded oob = decodeFile(gifCorpus("bad/imagers-oob.gif"));
    ASSERT_TRUE(oob.status.isOk()) << oob.status.message;
    EXPECT_EQ(oob.info.width, 32u);
}

TEST(GifReader, OutsideTheFrameIsTransparent) {
    // A free palette slot takes the transparent colour.
    const Decoded free = decodeBytes(makeGif(partialFrame(4)));
    ASSERT_TRUE(free.status.isOk()) << free.status.message;
    ASSERT_EQ(free.info.palette.size(), 5u);
    EXPECT_EQ(free.info.palette[4].a, 0);
    EXPECT_TRUE(free.info.hasTransparency);
    const std::vector<uint8_t> expected{4, 4, 4, 4, 4, 4, 0, 1, 2, 4, 4, 3, 2, 1, 4, 4, 4, 4, 4, 4};
    EXPECT_EQ(free.pixels, expected);
    // The frame's own transparent index serves when there is one.
    GifSpec keyed = partialFrame(4);
    keyed.transparent = 3;
    const Decoded key = decodeBytes(makeGif(keyed));
    EXPECT_EQ(key.info.palette.size(), 4u);
    EXPECT_EQ(key.pixels[0], 3);
    // With all 256 entries taken, rows become RGBA.
    const Decoded full = decodeBytes(makeGif(partialFrame(256)));
    ASSERT_EQ(full.info.format, PixelFormat::Rgba8);
    EXPECT_EQ(full.pixels[3], 0);
    EXPECT_EQ(full.pixels[(5 + 1) * 4 + 3], 255);
    EXPECT_EQ(full.pixels[(5 + 1) * 4 + 1], 255);  // colour 0's green
}

TEST(GifReader, FramesAreClippedAndOutOfRangeIndicesAreClear) {
    GifSpec s = partialFrame(4);
    s.screenWidth = 3, s.screenHeight = 2;  // only the frame's top-left 2 x 1 is on screen
    s.indices = {9, 1, 2, 3, 2, 1};         // 9: past the 4-entry table
    const Decoded d = decodeBytes(makeGif(s));
    ASSERT_TRUE(d.status.isOk()) << d.status.message;
    ASSERT_EQ(d.info.palette.size(), 5u);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{4, 4, 4, 4, 4, 1}));
    // Without an out-of-range index no transparent entry is added.
    s.indices[0] = 0;
    s.screenWidth = 4, s.screenHeight = 3, s.left = 0, s.top = 0;
    s.width = 4, s.height = 3, s.indices = std::vector<uint8_t>(12, 2);
    const Decoded plain = decodeBytes(makeGif(s));
    EXPECT_EQ(plain.info.palette.size(), 4u);
    EXPECT_FALSE(plain.info.hasTransparency);
}

TEST(GifReader, InterlacedFramesMatchProgressiveOnes) {
    GifSpec s;
    s.screenWidth = 7, s.screenHeight = 19, s.width = 7, s.height = 19;
    s.globalTable = colours(16);
    for (int i = 0; i < 7 * 19; ++i) {
        s.indices.push_back(uint8_t((i * 5) % 16));
    }
    const Decoded straight = decodeBytes(makeGif(s));
    s.interlaced = true;
    const Decoded interlaced = decodeBytes(makeGif(s));
    ASSERT_TRUE(interlaced.status.isOk()) << interlaced.status.message;
    EXPECT_TRUE(interlaced.info.wholeImageBuffered);
    EXPECT_EQ(interlaced.pixels, s.indices);
    EXPECT_EQ(straight.pixels, s.indices);
}

TEST(GifReader, HugeScreensAndFramesAreRefused) {
    GifSpec s = partialFrame(4);
    s.screenWidth = 65535, s.screenHeight = 65535;
    EXPECT_EQ(decodeBytes(makeGif(s)).status.message.rfind("Image too large", 0), 0u);
    // A one-pixel frame whose descriptor (after the 13-byte header and 4-entry table)
    // is patched to claim 65535 x 65535.
    std::vector<uint8_t> bytes = makeGif(GifSpec{5, 4, colours(4), 0, 0, 1, 1, {}, false, -1, 2, {0}});
    const size_t desc = 13 + 12;
    ASSERT_EQ(bytes[desc], 0x2C);
    std::fill(bytes.begin() + desc + 5, bytes.begin() + desc + 9, 0xFF);
    EXPECT_EQ(decodeBytes(bytes).status.message.rfind("Image too large", 0), 0u);
}
