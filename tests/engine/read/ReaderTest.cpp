// The readers on files made for the purpose: the format by content, the messages for
// content we do not read, the cases the corpus lacks, and limits checked before any
// large allocation.
#include "tests/engine/EngineTest.h"

#include <zlib.h>

#include <random>

using namespace tessaplex;
using namespace EngineTest;

namespace {

Bytes colours(int n) {
    Bytes t;
    for (int i = 0; i < n; ++i) {
        append(t, {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    }
    return t;
}

// A 3 x 2 frame at (1, 1) on a 5 x 4 screen.
GifFields partialFrame(int tableSize) {
    return {5, 4, colours(tableSize), 1, 1, 3, 2, false, -1, {0, 1, 2, 3, 2, 1}};
}

bool tooLarge(const Decoded& d) { return d.status.kind == ErrorKind::Read && d.status.message.starts_with("Image too large"); }

}  // namespace

TEST(Detection, ContentDecidesTheFormatAndTheExtensionOnlyTheMessage) {
    const QImage picture = testPicture(20, 10);
    const Bytes garbage{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
    Bytes os2Array = makeBmp({});
    os2Array[1] = 'A';
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;  // empty: read as `source`
        SourceFormat source = SourceFormat::Bmp;
    } cases[] = {
        {"really-png.bmp", qtEncode(picture, "PNG"), "", SourceFormat::Png},
        {"really-jpeg.gif", qtEncode(picture, "JPG"), "", SourceFormat::Jpeg},
        {"really-gif.jpg", makeGif({20, 10, colours(2), 0, 0, 20, 10, false, -1, Bytes(200, 1)}), "",
         SourceFormat::Gif},
        {"really-bmp.png", makeBmp({.pixels = {1, 2, 3, 0}}), "", SourceFormat::Bmp},
        {"no extension", qtEncode(picture, "PNG"), "", SourceFormat::Png},
        {"notes.txt", garbage, kInputNotSupported}, {"noextension", garbage, kInputNotSupported},
        {"archive.tar.gz", garbage, kInputNotSupported}, {"dir.png/file", garbage, kInputNotSupported},
        {"photo.bmp", garbage, "Not a valid BMP file"}, {"photo.PNG", garbage, "Not a valid PNG file"},
        {"photo.JpEg", garbage, "Not a valid JPEG file"}, {"photo.Gif", garbage, "Not a valid GIF file"},
        {"empty.jpg", {}, "Not a valid JPEG file"}, {"array.bmp", os2Array, kUnsupportedOption},
        {"seven.bmp", makeBmp({.bpp = 7, .pixels = {1, 2, 3, 0}}), kInvalidBitsPerPixel},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeBytes(c.bytes, c.name);
        EXPECT_EQ(d.status.message, c.message) << c.name;
        if (c.message.empty()) {
            EXPECT_EQ(d.info.source, c.source) << c.name;
        } else {
            EXPECT_EQ(d.status.kind, ErrorKind::Read) << c.name;
        }
    }
    // What only starts like a JPEG is a damaged JPEG, whatever its name.
    EXPECT_TRUE(decodeBytes({0xFF, 0xD8, 0xFF}, "cut.txt").status.message.starts_with("Corrupt JPEG file"));
}

TEST(BmpReader, BottomUpAndTopDownStreamInBlocks) {
    // 700 x 600 x 3 bytes spans more than one read block; rows need no padding.
    const QImage picture = testPicture(700, 600);
    for (const bool topDown : {false, true}) {
        Bytes bgr;
        for (int row = 0; row < 600; ++row) {
            for (int x = 0; x < 700; ++x) {
                const QRgb c = picture.pixel(x, topDown ? row : 599 - row);
                append(bgr, {uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))});
            }
        }
        const Decoded d = decodeBytes(makeBmp({700, topDown ? -600 : 600, 24, 0, {}, {}, bgr}), "a.bmp", {}, 37);
        EXPECT_TRUE(samePixels(rgba64(d), rgba64(picture), 700)) << d.status.message;
    }
}

TEST(BmpReader, TwoBitPixelsAlphaAndMissingPaletteEntries) {
    // Four 2-bit pixels 0 1 2 3 per byte, most significant first.
    const Decoded d = decodeBytes(makeBmp({5, 1, 2, 0, grayPalette(4), {}, {0x1B, 0x40, 0, 0}}));
    EXPECT_EQ(d.pixels, (Bytes{0, 1, 2, 3, 1})) << d.status.message;
    // Index 3 of a two-entry palette has no colour.
    const Decoded bad = decodeBytes(makeBmp({5, 1, 2, 0, grayPalette(2), {}, {0x1B, 0x40, 0, 0}}));
    EXPECT_EQ(bad.status.kind, ErrorKind::Read);
    EXPECT_TRUE(bad.opened);
    // An alpha channel is kept only when it varies.
    const auto withAlpha = [](uint8_t a0, uint8_t a1) {
        return decodeBytes(
            makeBmp({2, 1, 32, 3, {}, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {10, 20, 30, a0, 40, 50, 60, a1}}));
    };
    for (const uint8_t a : {0, 255}) {
        const Decoded flat = withAlpha(a, a);
        EXPECT_EQ(flat.info.format, PixelFormat::Rgb8);
        EXPECT_FALSE(flat.info.hasTransparency);
        EXPECT_EQ(flat.pixels, (Bytes{30, 20, 10, 60, 50, 40}));
    }
    EXPECT_EQ(withAlpha(0, 128).pixels, (Bytes{30, 20, 10, 0, 60, 50, 40, 128}));
}

TEST(BmpReader, SizeFieldsAreAdvisoryButMissingRowsAreNot) {
    // 3 x 2 pixels of 24 bits: two rows of 9 bytes and 3 bytes of padding.
    Bytes pixels(24);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = uint8_t(i * 11);
    }
    const Bytes good = makeBmp({3, 2, 24, 0, {}, {}, pixels});
    const Decoded reference = decodeBytes(good);
    ASSERT_TRUE(reference.status.isOk()) << reference.status.message;
    const auto patched = [](Bytes bytes, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = uint8_t(value >> (8 * i));
        }
        return bytes;
    };
    const struct {
        const char* what;
        Bytes bytes;
        bool readable;
    } cases[] = {
        {"file size one byte more than the file", patched(good, 2, uint32_t(good.size() + 1)), true},
        {"garbage file size", patched(good, 2, 0xDEADBEEF), true},
        {"garbage image size", patched(good, 34, 0x7EEEEEEE), true},
        {"the last row cut short", Bytes(good.begin(), good.end() - 4), false},
        {"garbage sizes and the last row cut short", patched(patched(Bytes(good.begin(), good.end() - 4), 2, 7), 34, 9),
         false},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeBytes(c.bytes);
        EXPECT_EQ(d.status.kind, c.readable ? ErrorKind::None : ErrorKind::Read) << c.what << ": " << d.status.message;
        if (c.readable) {
            EXPECT_EQ(d.pixels, reference.pixels) << c.what;
        }
    }
}

TEST(BmpReader, RleHolesBecomeTransparent) {
    // Row 0 (bottom): 2 x index 1, delta (1, 1); row 1: literal 3 2 1 at x 3.., end of bitmap.
    const Bytes rle{2, 1, 0, 2, 1, 1, 0, 3, 3, 2, 1, 0, 0, 1};
    const auto rle8 = [](int colours, Bytes data) {
        return decodeBytes(makeBmp({6, 2, 8, 1, grayPalette(colours), {}, data}));
    };
    const Decoded small = rle8(4, rle);
    ASSERT_EQ(small.info.palette.size(), 5u) << small.status.message;
    EXPECT_EQ(small.info.palette[4].a, 0);
    EXPECT_EQ(small.pixels, (Bytes{4, 4, 4, 3, 2, 1, 1, 1, 4, 4, 4, 4}));
    // With every palette entry taken, the holes need an alpha channel.
    const Decoded full = rle8(256, rle);
    ASSERT_EQ(full.info.format, PixelFormat::Rgba8) << full.status.message;
    EXPECT_EQ(full.pixels[3], 0);
    EXPECT_EQ(full.pixels[4 * 6 + 3], 255);
    // Data that stops before the image is complete is an error; a missing final
    // end-of-bitmap after the last pixel is not.
    EXPECT_EQ(rle8(4, {6, 1, 0, 0, 3, 2}).status.kind, ErrorKind::Read);
    EXPECT_TRUE(rle8(4, {6, 1, 0, 0, 6, 2}).status.isOk());
}

TEST(GifReader, OutsideTheFrameAndOutOfRangeIndicesAreTransparent) {
    // A free palette slot takes the transparent colour.
    const Decoded free = decodeBytes(makeGif(partialFrame(4)));
    ASSERT_EQ(free.info.palette.size(), 5u) << free.status.message;
    EXPECT_EQ(free.info.palette[4].a, 0);
    EXPECT_TRUE(free.info.hasTransparency);
    EXPECT_EQ(free.pixels, (Bytes{4, 4, 4, 4, 4, 4, 0, 1, 2, 4, 4, 3, 2, 1, 4, 4, 4, 4, 4, 4}));
    // The frame's own transparent index serves when there is one.
    GifFields keyed = partialFrame(4);
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
    // Only the frame's top-left 2 x 1 is on a 3 x 2 screen; 9 is past the table.
    GifFields clipped = partialFrame(4);
    clipped.screenWidth = 3, clipped.screenHeight = 2, clipped.indices[0] = 9;
    EXPECT_EQ(decodeBytes(makeGif(clipped)).pixels, (Bytes{4, 4, 4, 4, 4, 1}));
    // A frame that fills its screen with indices in range needs no transparent entry.
    const Decoded plain = decodeBytes(makeGif({4, 3, colours(4), 0, 0, 4, 3, false, -1, Bytes(12, 2)}));
    EXPECT_EQ(plain.info.palette.size(), 4u);
    EXPECT_FALSE(plain.info.hasTransparency);
}

TEST(GifReader, InterlacedFramesMatchProgressiveOnes) {
    GifFields s{7, 19, colours(16), 0, 0, 7, 19, false, -1, {}};
    for (int i = 0; i < 7 * 19; ++i) {
        s.indices.push_back(uint8_t(i * 5 % 16));
    }
    EXPECT_EQ(decodeBytes(makeGif(s)).pixels, s.indices);
    s.interlaced = true;
    const Decoded interlaced = decodeBytes(makeGif(s));
    EXPECT_TRUE(interlaced.info.wholeImageBuffered);
    EXPECT_EQ(interlaced.pixels, s.indices) << interlaced.status.message;
}

// The decoder against the tests' own encoder: single pixels, runs whose strings span
// many 8-byte pieces, codes widening to 12 bits, a full table kept and then cleared.
TEST(GifReader, LzwStringsOfAnyLengthAndEveryCodeWidthDecode) {
    std::mt19937 random(11);
    for (const uint8_t codeSize : {2, 3, 5, 8}) {
        GifFields s{301, 97, colours(1 << codeSize), 0, 0, 301, 97, false, -1, {}, codeSize};
        while (s.indices.size() < 301u * 97u) {  // noise and runs of every length
            const size_t run = random() % 3 ? 1 : random() % 400;
            s.indices.insert(s.indices.end(), std::min(run, 301u * 97u - s.indices.size()),
                             uint8_t(random() % (1u << codeSize)));
        }
        const Decoded d = decodeBytes(makeGif(s), "x", {}, 1 + random() % 9);
        EXPECT_EQ(d.pixels, s.indices) << int(codeSize) << ": " << d.status.message;
    }
}

// Codes after the last pixel are never read; data that ends before it, or a code the
// table does not hold yet, is a read error rather than made-up pixels.
TEST(GifReader, DataThatEndsEarlyOrNamesAnUnknownCodeIsAReadError) {
    GifFields s{16, 9, colours(4), 0, 0, 16, 9, false, -1, Bytes(16 * 9 + 40, 1), 2};
    EXPECT_EQ(decodeBytes(makeGif(s)).pixels, Bytes(16 * 9, 1));
    s.indices.resize(16 * 9 - 1);
    EXPECT_EQ(decodeBytes(makeGif(s)).status.message, "Corrupt GIF file: the image data ends early");
    // 3-bit codes for a 2 x 1 frame: clear, 0, then 6 (the code being defined: 0 0) or
    // 7 (beyond the table).
    for (const auto& [data, ok] : {std::pair{Bytes{2, 0x84, 0x01}, true}, {Bytes{2, 0xC4, 0x01}, false}}) {
        Bytes gif = makeGif({2, 1, colours(4), 0, 0, 2, 1, false, -1, {0, 0}, 2});
        ASSERT_EQ(gif[35], 2);  // after the header, the table and the frame's descriptor
        gif.resize(36);
        gif.insert(gif.end(), data.begin(), data.end());
        gif.insert(gif.end(), {0, 0x3B});
        const Decoded d = decodeBytes(gif);
        EXPECT_EQ(d.status.message, ok ? "" : "Corrupt GIF file: invalid image data");
        EXPECT_TRUE(!ok || d.pixels == Bytes(2, 0));
    }
}

TEST(JpegReader, ExifOrientationIsApplied) {
    const QImage stored = testPicture(64, 48);
    for (const bool littleEndian : {false, true}) {
        for (int n = 1; n <= 8; ++n) {
            const Bytes bytes = qtEncode(stored, "JPG", 100, false, n, littleEndian);
            const Decoded d = decodeBytes(bytes, "o.jpg", {}, 7);
            ASSERT_TRUE(d.status.isOk()) << n << ": " << d.status.message;
            EXPECT_EQ(d.info.width, n <= 4 ? 64u : 48u) << n << (littleEndian ? " II" : " MM");
            EXPECT_EQ(d.info.wholeImageBuffered, n > 2) << n;
            EXPECT_TRUE(samePixels(rgba64(d), rgba64(qtRead(bytes, true)), d.info.width)) << n;
        }
    }
}

TEST(ReaderLimits, HugeHeadersAndBudgetsAreRefusedBeforeAllocating) {
    const Decoded huge = decodeBytes(makeBmp({100000, 100000, 24, 0, {}, {}, {1, 2, 3, 0}}));
    EXPECT_TRUE(huge.status.message.starts_with("Image too large: 100000 x 100000 pixels")) << huge.status.message;
    EXPECT_FALSE(huge.opened);
    // An RLE image is decoded whole, so the memory budget applies to it.
    Limits tight;
    tight.memoryBudget = 1 << 20;
    EXPECT_TRUE(tooLarge(decodeBytes(makeBmp({4000, 4000, 8, 1, grayPalette(2), {}, {0, 1}}), "x", tight)));
    // A GIF screen, and a one-pixel frame whose descriptor (after the 13-byte header
    // and the 4-entry table) is patched to claim 65535 x 65535.
    GifFields screen = partialFrame(4);
    screen.screenWidth = screen.screenHeight = 65535;
    EXPECT_TRUE(tooLarge(decodeBytes(makeGif(screen))));
    Bytes frame = makeGif({5, 4, colours(4), 0, 0, 1, 1, false, -1, {0}});
    ASSERT_EQ(frame[13 + 12], 0x2C);
    std::fill(frame.begin() + 13 + 12 + 5, frame.begin() + 13 + 12 + 9, 0xFF);
    EXPECT_TRUE(tooLarge(decodeBytes(frame)));
    // A baseline JPEG header claiming 65000 x 65000.
    const QImage picture = testPicture(256, 256);
    Bytes jpeg = qtEncode(picture, "JPG");
    const uint8_t sof0[2] = {0xFF, 0xC0};
    const auto sof = std::search(jpeg.begin(), jpeg.end(), sof0, sof0 + 2);
    ASSERT_NE(sof, jpeg.end());
    sof[5] = sof[7] = 0xFD, sof[6] = sof[8] = 0xE8;
    EXPECT_TRUE(decodeBytes(jpeg).status.message.starts_with("Image too large: 65000 x 65000"));
    // Every scan of a progressive image is held at once; a baseline image streams.
    const Bytes progressive = qtEncode(picture, "JPG", 95, true);
    ASSERT_TRUE(decodeBytes(progressive).status.isOk());
    Limits fewScans;
    fewScans.maxJpegScans = 2;
    EXPECT_EQ(decodeBytes(progressive, "p.jpg", fewScans).status.kind, ErrorKind::Read);
    tight.memoryBudget = 64 << 10;
    EXPECT_TRUE(tooLarge(decodeBytes(progressive, "p.jpg", tight)));
    EXPECT_TRUE(decodeBytes(qtEncode(picture, "JPG"), "b.jpg", tight).status.isOk());
}

// Work that no data pays for is bounded (the hostile files of bench/hostile.py show
// the time this saves): here small files pass under the default limits and are
// refused under tight ones.
TEST(ReaderLimits, WorkWithoutDataIsBounded) {
    Limits tight;
    tight.jpegFreePasses = 2, tight.jpegBlocksPerByte = 0;
    tight.freeEmptyPixels = 0, tight.emptyPerCodedPixel = 1;
    const struct {
        const char* what;
        Bytes bytes;
        std::string refusal;
    } cases[] = {
        {"progressive JPEG, each block passed over in 6 scans", qtEncode(testPicture(64, 48), "JPG", 90, true),
         "Corrupt JPEG file: too many scans for the data they hold"},
        {"GIF, 3 x 2 frame on a 5 x 4 screen", makeGif(partialFrame(4)),
         "Image too large: the first image covers 3 x 2 of a 5 x 4 screen"},
        {"RLE bitmap, 5 of 12 pixels coded",
         makeBmp({6, 2, 8, 1, grayPalette(4), {}, {2, 1, 0, 2, 1, 1, 0, 3, 3, 2, 1, 0, 0, 1}}),
         "Image too large: the compressed data leaves most of its 6 x 2 pixels empty"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(decodeBytes(c.bytes).status.isOk()) << c.what;
        EXPECT_EQ(decodeBytes(c.bytes, "x", tight).status.message, c.refusal) << c.what;
    }
}

TEST(PngReader, ABadCrcIsAnErrorEvenInAChunkWeSkip) {
    const Bytes png = qtEncode(testPicture(16, 16), "PNG");
    for (const bool goodCrc : {true, false}) {
        Bytes chunk{0, 0, 0, 3, 't', 'E', 'X', 't', 'a', 0, 'b'};
        const uint32_t crc = uint32_t(crc32(0, chunk.data() + 4, 7)) ^ (goodCrc ? 0 : 1);
        append(chunk, {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
        Bytes damaged = png;
        damaged.insert(damaged.begin() + 33, chunk.begin(), chunk.end());  // after IHDR
        EXPECT_EQ(decodeBytes(damaged).status.kind, goodCrc ? ErrorKind::None : ErrorKind::Read);
    }
}
