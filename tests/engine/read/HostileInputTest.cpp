// Damaged copies of small valid files of every format: cut short at every offset and
// with bytes overwritten. A reader may refuse them, but never crash, and never claim
// success with pixels it did not find in the file.
#include "tests/engine/EngineTest.h"
#include "tests/support/Corpus.h"

#include <random>

using namespace tessaplex;
using namespace EngineTest;

namespace {

std::vector<std::pair<std::string, Bytes>> samples() {
    const QImage picture = testPicture(37, 29);
    Bytes rle;
    for (int y = 0; y < 29; ++y) {
        append(rle, {20, uint8_t(y % 3), 0, 5, 1, 2, 3, 1, 2, 0, 12, uint8_t((y + 1) % 3), 0, 0});
    }
    append(rle, {0, 1});
    GifFields gif{40, 30, {}, 2, 1, 37, 29, false, -1, {}};
    for (int i = 0; i < 37 * 29; ++i) {
        gif.indices.push_back(uint8_t(i / 3 % 16));
        gif.globalTable.push_back(uint8_t(i * 5));
    }
    gif.globalTable.resize(16 * 3);
    MemoryReader rgb = makeImage(PixelFormat::Rgb8, 37, 29), indexed = makeIndexedImage(37, 29, 16, false);
    MemoryReader alpha = makeImage(PixelFormat::Rgba8, 37, 29);
    std::vector<std::pair<std::string, Bytes>> out{
        {"rgb.bmp", encode(OutputFormat::Bmp, rgb)},
        {"indexed.bmp", encode(OutputFormat::Bmp, indexed)},
        {"rle.bmp", makeBmp({37, 29, 8, 1, grayPalette(4), {}, rle})},
        {"picture.png", qtEncode(picture, "PNG")},
        {"alpha.png", encode(OutputFormat::Png, alpha)},
        {"baseline.jpg", qtEncode(picture, "JPG", 90, false, 6)},
        {"progressive.jpg", qtEncode(picture, "JPG", 90, true)},
        {"plain.gif", makeGif(gif)},
    };
    Bytes unsized = out[0].second;  // writers may leave out the file and image sizes
    std::fill_n(unsized.begin() + 2, 4, 0), std::fill_n(unsized.begin() + 34, 4, 0);
    out.emplace_back("unsized.bmp", unsized);
    gif.interlaced = true, gif.transparent = 3;
    out.emplace_back("interlaced.gif", makeGif(gif));
    if (!TestSupport::corpusDir().isEmpty()) {  // Qt does not write interlaced PNG
        out.emplace_back("basi2c08.png", readFile(TestSupport::corpusPath("conformance/png/basi2c08.png")));
    }
    return out;
}

void expectSane(const Decoded& d, const std::string& what) {
    if (!d.status.isOk()) {
        EXPECT_EQ(d.status.kind, ErrorKind::Read) << what;
        EXPECT_FALSE(d.status.message.empty()) << what;
        EXPECT_LE(d.status.message.size(), 255u) << what;
    }
}

}  // namespace

TEST(HostileInput, TruncatedFilesFailOrLoseNothing) {
    for (const auto& [name, bytes] : samples()) {
        const Decoded full = decodeBytes(bytes, name);
        ASSERT_TRUE(full.status.isOk()) << name << ": " << full.status.message;
        size_t successes = 0;
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            const Decoded d = decodeBytes(Bytes(bytes.begin(), bytes.begin() + long(cut)), name);
            expectSane(d, name + " cut at " + std::to_string(cut));
            if (d.status.isOk()) {
                ++successes;  // only trailing bytes the image does not need (an end marker) may go
                EXPECT_EQ(d.pixels, full.pixels) << name << " cut at " << cut;
            }
        }
        EXPECT_LE(successes, 16u) << name;
    }
}

TEST(HostileInput, OverwrittenBytesNeverCrash) {
    std::mt19937 random(20240601);
    for (const auto& [name, original] : samples()) {
        for (int round = 0; round < 400; ++round) {
            Bytes bytes = original;
            for (int i = 0, changes = 1 + int(random() % 4); i < changes; ++i) {
                // Headers hold the interesting fields, so aim there half of the time.
                bytes[random() % (random() % 2 ? std::min<size_t>(bytes.size(), 64) : bytes.size())] =
                    uint8_t(random());
            }
            expectSane(decodeBytes(bytes, name, {}, 1 + round % 7), name + " round " + std::to_string(round));
        }
    }
}
