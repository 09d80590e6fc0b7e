// Damaged copies of small valid files of every format: cut short at every offset and
// with bytes overwritten. A reader may refuse them, but never crash, and never claim
// success with pixels it did not find in the file.
#include "tests/engine/read/ReadTestSupport.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QImageWriter>

#include <random>
#include <thread>

using namespace tessaplex;
using namespace ReadTest;

namespace {

struct Sample {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Sample> samples() {
    const QImage picture = testPicture(37, 29);
    std::vector<Sample> out;
    std::vector<uint8_t> bgr;
    for (int y = picture.height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            bgr.insert(bgr.end(), {uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))});
        }
        bgr.resize((bgr.size() + 3) / 4 * 4, 0);
    }
    out.push_back({"rgb.bmp", makeBmp(bmpInfoHeader(37, 29, 24), {}, bgr)});
    std::vector<uint8_t> rle;
    for (int y = 0; y < 29; ++y) {
        rle.insert(rle.end(), {20, uint8_t(y % 3), 0, 5, 1, 2, 3, 1, 2, 0, 12, uint8_t((y + 1) % 3), 0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    out.push_back({"rle.bmp", makeBmp(bmpInfoHeader(37, 29, 8, 1, 4),
                                      {0, 0, 0, 0, 9, 9, 9, 0, 90, 90, 90, 0, 200, 1, 2, 0}, rle)});
    out.push_back({"picture.png", makePng(picture)});
    out.push_back({"alpha.png", makePng(testPicture(37, 29, true))});
    out.push_back({"baseline.jpg", makeJpeg(picture, 90, 6)});
    QByteArray progressive;
    QBuffer buffer(&progressive);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPG");
    writer.setProgressiveScanWrite(true);
    writer.write(picture);
    out.push_back({"progressive.jpg", std::vector<uint8_t>(progressive.begin(), progressive.end())});
    GifSpec gif;
    gif.screenWidth = 40, gif.screenHeight = 30, gif.left = 2, gif.top = 1, gif.width = 37, gif.height = 29;
    for (int i = 0; i < 16 * 3; ++i) {
        gif.globalTable.push_back(uint8_t(i * 5));
    }
    for (int i = 0; i < 37 * 29; ++i) {
        gif.indices.push_back(uint8_t((i / 3) % 16));
    }
    out.push_back({"plain.gif", makeGif(gif)});
    gif.interlaced = true;
    gif.transparent = 3;
    out.push_back({"interlaced.gif", makeGif(gif)});
    // Interlaced PNG cannot be made with Qt; the suite has them.
    if (!TestSupport::corpusDir().isEmpty()) {
        out.push_back({"basi2c08.png", readAll(TestSupport::corpusPath("conformance/png/basi2c08.png"))});
    }
    return out;
}

void expectSane(const Decoded& d, const std::string& what) {
    if (!d.status.isOk()) {
        EXPECT_EQ(d.status.kind, 1) << what;
        EXPECT_FALSE(d.status.message.empty()) << what;
        EXPECT_LE(d.status.message.size(), 255u) << what;
    }
}

}  // namespace

TEST(HostileInput, TruncatedFilesFailOrLoseNothing) {
    for (const Sample& s : samples()) {
        const Decoded full = decodeBytes(s.bytes, s.name);
        ASSERT_TRUE(full.status.isOk()) << s.name << ": " << full.status.message;
        size_t successes = 0;
        for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
            const std::vector<uint8_t> part(s.bytes.begin(), s.bytes.begin() + long(cut));
            const Decoded d = decodeBytes(part, s.name);
            const std::string what = s.name + " cut at " + std::to_string(cut);
            expectSane(d, what);
            if (d.status.isOk()) {
                ++successes;
                // Only trailing bytes the image does not need (an end marker) may go.
                EXPECT_EQ(d.pixels, full.pixels) << what;
            }
        }
        EXPECT_LE(successes, 16u) << s.name;
    }
}

TEST(HostileInput, OverwrittenBytesNeverCrash) {
    std::mt19937 random(20240601);
    for (const Sample& s : samples()) {
        for (int round = 0; round < 400; ++round) {
            std::vector<uint8_t> bytes = s.bytes;
            const int changes = 1 + int(random() % 4);
            for (int i = 0; i < changes; ++i) {
                // Headers hold the interesting fields, so aim there half of the time.
                const size_t span = random() % 2 ? std::min<size_t>(bytes.size(), 64) : bytes.size();
                bytes[random() % span] = uint8_t(random());
            }
            expectSane(decodeBytes(bytes, s.name), s.name + " round " + std::to_string(round));
        }
    }
}

TEST(HostileInput, ReadersRunSideBySideOnThreads) {
    const std::vector<Sample> all = samples();
    std::vector<std::vector<uint8_t>> expected;
    expected.reserve(all.size());
    for (const Sample& s : all) {
        expected.push_back(decodeBytes(s.bytes, s.name).pixels);
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                for (size_t i = 0; i < all.size(); ++i) {
                    mismatches[t] += decodeBytes(all[i].bytes, all[i].name, {}, 1 + round % 7).pixels != expected[i];
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
