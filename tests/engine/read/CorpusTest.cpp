// The public corpus: every reader against Qt's reading of the same files (or a named
// referee where Qt is wrong), and the damaged files each reader must refuse.
#include "tests/engine/EngineTest.h"
#include "tests/support/Corpus.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

using namespace tessaplex;
using namespace EngineTest;

namespace {

QString corpus(const QString& relative) { return TestSupport::corpusPath("conformance/" + relative); }
std::string nameOf(const QString& path) { return QFileInfo(path).completeBaseName().toStdString(); }

// Every file in `dir` matching `pattern` is a read error; returns how many there were.
int expectReadErrors(const QString& dir, const QString& pattern, const std::set<std::string>& exceptions = {}) {
    const QStringList files = filesIn(corpus(dir), pattern);
    for (const QString& file : files) {
        if (!exceptions.count(nameOf(file))) {
            const Decoded d = decodeFile(file);
            EXPECT_EQ(d.status.kind, ErrorKind::Read) << nameOf(file);
            EXPECT_FALSE(d.status.message.empty()) << nameOf(file);
        }
    }
    return int(files.size());
}

}  // namespace

TEST(BmpCorpus, GoodFilesDecodeAsQtDoes) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(corpus("bmp/g"), "*.bmp");
    ASSERT_EQ(files.size(), 27);
    for (const QString& file : files) {
        const std::string name = nameOf(file);
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << name << ": " << d.status.message;
        if (name.starts_with("pal")) {  // palettes stay palettes of their depth
            EXPECT_EQ(d.info.format, PixelFormat::Indexed8) << name;
            EXPECT_EQ(d.info.sourceBits, name[3] - '0') << name;
        }
        // Qt widens 5-bit fields without rounding; the bit-field test covers those.
        if (!name.starts_with("rgb16")) {
            EXPECT_TRUE(samePixels(rgba64(d), rgba64(qtRead(file)), d.info.width)) << name;
        }
    }
    const Decoded nonSquare = decodeFile(corpus("bmp/g/pal8nonsquare.bmp"));
    EXPECT_EQ(nonSquare.info.xPixelsPerMetre, 2835u);
    EXPECT_EQ(nonSquare.info.yPixelsPerMetre, 1417u);
}

// Every bit-field layout holds the suite's one picture: each channel within one step
// of its field width of the 8-bit original.
TEST(BmpCorpus, BitFieldsOfAnyWidthScaleToTheOriginal) {
    REQUIRE_CORPUS();
    const Rgba64 rgb = rgba64(decodeFile(corpus("bmp/g/rgb24.bmp"))),
                 rgba = rgba64(decodeFile(corpus("bmp/q/rgba32-1.bmp")));
    const std::pair<const char*, std::array<int, 4>> cases[] = {  // red, green, blue, alpha bits (0: none)
        {"g/rgb16", {5, 5, 5, 0}},         {"g/rgb16-565", {5, 6, 5, 0}},     {"g/rgb16bfdef", {5, 5, 5, 0}},
        {"g/rgb32bf", {8, 8, 8, 0}},       {"q/rgb16-231", {2, 3, 1, 0}},     {"q/rgb16-3103", {3, 10, 3, 0}},
        {"q/rgb16faketrns", {5, 5, 5, 0}}, {"q/rgb32-111110", {11, 11, 10, 0}}, {"q/rgb32-7187", {7, 18, 7, 0}},
        {"q/rgb32-xbgr", {8, 8, 8, 0}},    {"q/rgb32h52", {8, 8, 8, 0}},      {"q/rgb32fakealpha", {8, 8, 8, 0}},
        {"q/rgba16-1924", {1, 9, 2, 4}},   {"q/rgba16-4444", {4, 4, 4, 4}},   {"q/rgba16-5551", {5, 5, 5, 1}},
        {"q/rgba32-1010102", {10, 10, 10, 2}}, {"q/rgba32-61754", {6, 17, 5, 4}}, {"q/rgba32-81284", {8, 12, 8, 4}},
        {"q/rgba32-2", {8, 8, 8, 8}},      {"q/rgba32abf", {8, 8, 8, 8}},     {"q/rgba32h56", {8, 8, 8, 8}},
    };
    for (const auto& [file, bits] : cases) {
        const Decoded d = decodeFile(corpus(QString("bmp/%1.bmp").arg(file)));
        ASSERT_TRUE(d.status.isOk()) << file << ": " << d.status.message;
        const bool alpha = bits[3] > 0;
        EXPECT_EQ(d.info.format, alpha ? PixelFormat::Rgba8 : PixelFormat::Rgb8) << file;
        EXPECT_EQ(d.info.hasTransparency, alpha) << file;
        const Rgba64 got = rgba64(d), &want = alpha ? rgba : rgb;
        ASSERT_EQ(got.size(), want.size()) << file;
        for (size_t i = 0; i < got.size(); ++i) {
            const int b = i % 4 == 3 && !alpha ? 16 : bits[i % 4];
            const int step = b >= 8 ? 1 : int(std::ceil(255.0 / ((1 << b) - 1)));
            // No colour is owed where the file made the pixel transparent.
            if (i % 4 == 3 || got[i | 3] != 0) {
                ASSERT_LE(std::abs(got[i] / 257 - want[i] / 257), step) << file << " sample " << i;
            }
        }
    }
}

TEST(BmpCorpus, QuestionableFilesDecodeSensiblyOrAreUnsupported) {
    REQUIRE_CORPUS();
    const std::set<std::string> unsupported{"pal1huffmsb", "rgb24jpeg", "rgb24png", "rgb24rle24", "rgba64"};
    const QStringList files = filesIn(corpus("bmp/q"), "*.bmp");
    ASSERT_EQ(files.size(), 43);
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        EXPECT_EQ(d.status.message, unsupported.count(nameOf(file)) ? kUnsupportedOption : "") << nameOf(file);
    }
    // OS/2 headers, odd offsets and oversized palettes all hold the 8-bit picture.
    const Rgba64 pal8 = rgba64(decodeFile(corpus("bmp/g/pal8.bmp")));
    for (const char* f : {"g/pal8os2", "q/pal8offs", "q/pal8os2-hs", "q/pal8os2-sz", "q/pal8os2sp", "q/pal8os2v2",
                          "q/pal8os2v2-16", "q/pal8os2v2-40sz", "q/pal8os2v2-sz", "q/pal8oversizepal"}) {
        EXPECT_TRUE(samePixels(rgba64(decodeFile(corpus(QString("bmp/%1.bmp").arg(f)))), pal8, 127)) << f;
    }
    // Pixels an RLE stream skips are transparent; the others are the full picture's.
    for (const char* file : {"pal4rlecut", "pal4rletrns", "pal8rlecut", "pal8rletrns"}) {
        const Decoded d = decodeFile(corpus(QString("bmp/q/%1.bmp").arg(file)));
        Rgba64 got = rgba64(d), want = rgba64(decodeFile(corpus(QString("bmp/g/%1.bmp").arg(QString(file).left(4)))));
        size_t clear = 0;
        for (size_t i = 3; i < got.size() && got.size() == want.size(); i += 4) {
            clear += got[i] == 0;
            want[i] = got[i] == 0 ? 0 : want[i];
        }
        EXPECT_GT(clear, 0u) << file;
        EXPECT_TRUE(samePixels(got, want, d.info.width)) << file;
    }
    for (const auto& [file, bits] : {std::pair{"pal1p1", 1}, {"pal2", 2}, {"pal2color", 2}}) {
        EXPECT_EQ(decodeFile(corpus(QString("bmp/q/%1.bmp").arg(file))).info.sourceBits, bits) << file;
    }
    const Bytes profile = decodeFile(corpus("bmp/q/rgb24prof.bmp")).info.iccProfile;
    ASSERT_GE(profile.size(), 132u);
    EXPECT_EQ(size_t(profile[0]) << 24 | size_t(profile[1]) << 16 | size_t(profile[2]) << 8 | profile[3],
              profile.size());
    EXPECT_TRUE(decodeFile(corpus("bmp/q/rgb24lprof.bmp")).info.iccProfile.empty());  // names a file elsewhere
}

TEST(BmpCorpus, BadFilesAreReadErrorsUnlessOnlyAdvisoryFieldsAreWrong) {
    REQUIRE_CORPUS();
    EXPECT_EQ(expectReadErrors("bmp/b", "*.bmp", {"baddens1", "baddens2", "badbitssize", "badfilesize"}), 20);
    EXPECT_EQ(decodeFile(corpus("bmp/b/badbitcount.bmp")).status.message, kInvalidBitsPerPixel);
    // Absurd densities: the pixels are sound, the density is dropped.
    const Decoded dens = decodeFile(corpus("bmp/b/baddens1.bmp"));
    EXPECT_TRUE(dens.status.isOk()) << dens.status.message;
    EXPECT_EQ(dens.info.xPixelsPerMetre, 0u);
    // Wrong image-size and file-size fields: every row is there.
    const Rgba64 pal1 = rgba64(decodeFile(corpus("bmp/g/pal1.bmp")));
    for (const char* file : {"badbitssize", "badfilesize"}) {
        const Decoded d = decodeFile(corpus(QString("bmp/b/%1.bmp").arg(file)));
        EXPECT_TRUE(samePixels(rgba64(d), pal1, 127)) << file << ": " << d.status.message;
    }
}

TEST(PngCorpus, ValidFilesDecodeAsQtDoesAndCorruptOnesAreReadErrors) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(corpus("png"), "[!x]*.png");
    ASSERT_EQ(files.size(), 161);
    for (const QString& file : files) {
        const std::string name = nameOf(file);
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << name << ": " << d.status.message;
        // Qt leaves pixels of 16-bit RGB with a tRNS colour undefined: the suite's 8-bit
        // copy of the same picture referees, to within the lost low byte.
        const bool keyed16 = name == "tbbn2c16" || name == "tbgn2c16";
        const QImage want = qtRead(keyed16 ? corpus("png/tbrn2c08.png") : file);
        EXPECT_TRUE(samePixels(rgba64(d), rgba64(want), d.info.width, keyed16 ? 255 : 0)) << name;
    }
    EXPECT_EQ(expectReadErrors("png", "x*.png"), 14);
}

TEST(PngCorpus, RowFormatsAndDetailsFollowTheFile) {
    REQUIRE_CORPUS();
    const struct {
        const char* file;
        PixelFormat format;
        int sourceBits;
        bool buffered;
    } cases[] = {
        {"basn0g01", PixelFormat::Gray8, 1, false},    {"basn0g04", PixelFormat::Gray8, 4, false},
        {"basn0g16", PixelFormat::Gray16, 16, false},  {"basn2c16", PixelFormat::Rgb16, 16, false},
        {"basn3p02", PixelFormat::Indexed8, 2, false}, {"basn4a16", PixelFormat::GrayAlpha16, 16, false},
        {"basn6a08", PixelFormat::Rgba8, 8, false},    {"tbbn0g04", PixelFormat::GrayAlpha8, 4, false},
        {"tbrn2c08", PixelFormat::Rgba8, 8, false},    {"basi3p08", PixelFormat::Indexed8, 8, true},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeFile(corpus(QString("png/%1.png").arg(c.file)));
        EXPECT_EQ(d.info.format, c.format) << c.file;
        EXPECT_EQ(d.info.sourceBits, c.sourceBits) << c.file;
        EXPECT_EQ(d.info.wholeImageBuffered, c.buffered) << c.file;
    }
    const Decoded trns = decodeFile(corpus("png/tp1n3p08.png"));  // a palette's tRNS lands in its entries
    EXPECT_TRUE(trns.info.hasTransparency);
    EXPECT_TRUE(std::any_of(trns.info.palette.begin(), trns.info.palette.end(), [](auto& e) { return e.a == 0; }));
    EXPECT_EQ(decodeFile(corpus("png/cdun2c08.png")).info.xPixelsPerMetre, 1000u);
    EXPECT_EQ(decodeFile(corpus("png/cdfn2c08.png")).info.xPixelsPerMetre, 0u);  // aspect ratio only
    // An interlaced image is held whole, so the memory budget binds it.
    Limits tight;
    tight.memoryBudget = 2048;
    EXPECT_TRUE(decodeFile(corpus("png/basn2c08.png"), tight).status.isOk());
    EXPECT_TRUE(decodeFile(corpus("png/basi2c08.png"), tight).status.message.starts_with("Image too large"));
}

TEST(GifCorpus, FirstFramesDecodeAsQtShowsThemAndBadFilesAreHandled) {
    REQUIRE_CORPUS();
    const QStringList files = filesIn(corpus("gif"), "*.gif");
    ASSERT_EQ(files.size(), 23);
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << nameOf(file) << ": " << d.status.message;
        EXPECT_TRUE(samePixels(rgba64(d), rgba64(qtRead(file)), d.info.width)) << nameOf(file);
    }
    // A partial first frame: the rest of the screen is transparent.
    const Decoded partial = decodeFile(corpus("gif/pillow-first_frame_transparency.gif"));
    EXPECT_EQ(partial.info.palette[partial.pixels[0]].a, 0);
    EXPECT_EQ(expectReadErrors("gif/bad", "*.gif", {"imagers-oob"}), 4);
    // A frame that overhangs its screen is cut to it.
    const Decoded oob = decodeFile(corpus("gif/bad/imagers-oob.gif"));
    ASSERT_TRUE(oob.status.isOk()) << oob.status.message;
    EXPECT_EQ(oob.info.width, 32u);
}

TEST(JpegCorpus, DecodesAsQtShowsThemAndRefusesDamage) {
    REQUIRE_CORPUS();
    // Among them the eight orientations of sharp-Landscape_N.jpg, which Qt turns upright.
    QStringList files = filesIn(corpus("jpeg"), "*.jpg");
    ASSERT_EQ(files.size(), 22);
    files << corpus("jpeg/unusual/ljt-testimgari.jpg");  // arithmetic coding
    for (const QString& file : files) {
        const Decoded d = decodeFile(file);
        ASSERT_TRUE(d.status.isOk()) << nameOf(file) << ": " << d.status.message;
        // Only the rounding of CMYK to RGB may differ.
        EXPECT_TRUE(samePixels(rgba64(d), rgba64(qtRead(file, true)), d.info.width, 257)) << nameOf(file);
    }
    EXPECT_EQ(expectReadErrors("jpeg/bad", "*.jpg"), 3);
    EXPECT_EQ(decodeFile(corpus("jpeg/unusual/ljt-monkey12.jpg")).status.message, kUnsupportedOption);  // 12-bit
    EXPECT_EQ(decodeFile(corpus("jpeg/unusual/sharp-testimgl.jpg")).status.message, kUnsupportedOption);  // lossless
    const Decoded gray = decodeFile(corpus("jpeg/sharp-concert.jpg"));
    EXPECT_EQ(gray.info.format, PixelFormat::Gray8);
    ASSERT_GE(gray.info.iccProfile.size(), 20u);
    EXPECT_EQ(std::string(gray.info.iccProfile.begin() + 16, gray.info.iccProfile.begin() + 20), "GRAY");
    EXPECT_FALSE(decodeFile(corpus("jpeg/pillow-flower2.jpg")).info.iccProfile.empty());
    // CMYK arrives as RGB, so its CMYK profile no longer applies.
    EXPECT_TRUE(decodeFile(corpus("jpeg/jxltestdata-flower_small.cmyk.jpg")).info.iccProfile.empty());
}
