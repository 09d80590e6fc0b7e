// The three writers, fed through the driver's transcode from an in-memory image and
// read back with Qt: headers as other programs expect them, pixels exact where the
// format is lossless, JPEG options visible in the markers.
#include "engine/core/Driver.h"
#include "engine/write/ParallelDeflate.h"
#include "tests/engine/write/TestImages.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <map>
#include <zlib.h>

using namespace tessaplex;
using namespace WriteTest;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
};

std::vector<PngChunk> pngChunks(const std::vector<uint8_t>& b) {
    std::vector<PngChunk> chunks;
    for (size_t at = 8; at + 12 <= b.size();) {
        const uint32_t length = be32(&b[at]);
        chunks.push_back({std::string(b.begin() + at + 4, b.begin() + at + 8),
                          std::vector<uint8_t>(b.begin() + at + 8, b.begin() + at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

const PngChunk* findChunk(const std::vector<PngChunk>& chunks, const std::string& type) {
    for (const PngChunk& c : chunks) {
        if (c.type == type) {
            return &c;
        }
    }
    return nullptr;
}

// JPEG segments up to the first scan: marker -> payloads (without the length).
std::multimap<int, std::vector<uint8_t>> jpegSegments(const std::vector<uint8_t>& b) {
    std::multimap<int, std::vector<uint8_t>> segments;
    for (size_t at = 2; at + 4 <= b.size() && b[at] == 0xff;) {
        const int marker = b[at + 1];
        const size_t length = size_t{b[at + 2]} << 8 | b[at + 3];
        segments.emplace(marker, std::vector<uint8_t>(b.begin() + at + 4, b.begin() + at + 2 + length));
        if (marker == 0xda) {
            break;
        }
        at += 2 + length;
    }
    return segments;
}

// Sampling factors of each component in the frame header, e.g. {0x22, 0x11, 0x11}.
std::vector<int> samplingFactors(const std::vector<uint8_t>& jpeg) {
    const auto segments = jpegSegments(jpeg);
    for (int sof : {0xc0, 0xc1, 0xc2}) {
        const auto it = segments.find(sof);
        if (it != segments.end()) {
            const std::vector<uint8_t>& p = it->second;
            std::vector<int> factors;
            for (int c = 0; c < p[5]; ++c) {
                factors.push_back(p[6 + 3 * c + 1]);
            }
            return factors;
        }
    }
    return {};
}

}  // namespace

// ---- BMP ----

TEST(BmpWriter, OpaqueColourIs24BitBottomUpWithPaddedRows) {
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 5, 7);
    reader.mutableInfo().xPixelsPerMetre = 3780;
    reader.mutableInfo().yPixelsPerMetre = 2835;
    const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(le16(bmp, 0), 0x4d42u);
    EXPECT_EQ(le32(bmp, 14), 40u);                     // BITMAPINFOHEADER
    EXPECT_EQ(static_cast<int32_t>(le32(bmp, 22)), 7);  // positive height: bottom-up
    EXPECT_EQ(le16(bmp, 28), 24u);
    EXPECT_EQ(le32(bmp, 38), 3780u);
    EXPECT_EQ(le32(bmp, 42), 2835u);
    EXPECT_EQ(bmp.size(), 54u + 16u * 7u);  // 5 pixels of 3 bytes padded to 16
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    // The first stored row is the bottom one, blue first.
    const std::vector<uint8_t>& px = reader.pixels();
    EXPECT_EQ(bmp[54], px[6 * 15 + 2]);
    EXPECT_EQ(bmp[56], px[6 * 15 + 0]);
    expectSamePixels(decode(bmp), expected(reader.info(), px));
}

TEST(BmpWriter, SixteenBitColourIsRoundedToEightBits) {
    MemoryReader reader = makeImage(PixelFormat::Rgb16, 9, 4);
    const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
    EXPECT_EQ(le16(bmp, 28), 24u);
    expectSamePixels(decode(bmp), expected(reader.info(), reader.pixels()));
}

TEST(BmpWriter, PalettesKeepTheirSizeAndPixels) {
    for (const auto& [entries, bits] : std::vector<std::pair<unsigned, unsigned>>{{2, 1}, {3, 4}, {16, 4}, {17, 8}, {256, 8}}) {
        SCOPED_TRACE(entries);
        MemoryReader reader = makeIndexedImage(13, 6, entries, false);
        const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
        EXPECT_EQ(le16(bmp, 28), bits);
        EXPECT_EQ(le32(bmp, 46), entries);  // colours used
        EXPECT_EQ(le32(bmp, 10), 54u + 4 * entries);
        expectSamePixels(decode(bmp), expected(reader.info(), reader.pixels()));
    }
}

TEST(BmpWriter, GrayUsesAGrayPaletteOfTheSourceDepth) {
    for (const unsigned sourceBits : {1u, 4u, 8u, 16u}) {
        SCOPED_TRACE(sourceBits);
        MemoryReader reader = makeImage(sourceBits == 16 ? PixelFormat::Gray16 : PixelFormat::Gray8, 11, 5);
        reader.mutableInfo().sourceBits = static_cast<uint8_t>(sourceBits);
        if (sourceBits < 8) {
            // Samples of a low-depth source arrive scaled to 8 bits.
            const unsigned levels = (1u << sourceBits) - 1;
            for (uint8_t& v : const_cast<std::vector<uint8_t>&>(reader.pixels())) {
                v = static_cast<uint8_t>((v * levels / 255) * 255 / levels);
            }
        }
        const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
        EXPECT_EQ(le16(bmp, 28), sourceBits == 1 ? 1u : sourceBits == 4 ? 4u : 8u);
        expectSamePixels(decode(bmp), expected(reader.info(), reader.pixels()));
    }
}

TEST(BmpWriter, TransparencyGivesV5HeaderWithAlphaMask) {
    for (const bool indexed : {false, true}) {
        SCOPED_TRACE(indexed);
        MemoryReader reader = indexed ? makeIndexedImage(10, 4, 40, true) : makeImage(PixelFormat::Rgba8, 10, 4);
        const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
        EXPECT_EQ(le32(bmp, 14), 124u);  // BITMAPV5HEADER
        EXPECT_EQ(le16(bmp, 28), 32u);
        EXPECT_EQ(le32(bmp, 30), 3u);  // BI_BITFIELDS
        EXPECT_EQ(le32(bmp, 54), 0x00ff0000u);
        EXPECT_EQ(le32(bmp, 58), 0x0000ff00u);
        EXPECT_EQ(le32(bmp, 62), 0x000000ffu);
        EXPECT_EQ(le32(bmp, 66), 0xff000000u);
        const QImage image = decode(bmp);
        ASSERT_TRUE(image.hasAlphaChannel());
        expectSamePixels(image, expected(reader.info(), reader.pixels()));
    }
}

TEST(BmpWriter, OpaqueAlphaChannelGives24Bit) {
    MemoryReader reader = makeImage(PixelFormat::Rgba8, 6, 3);
    reader.mutableInfo().hasTransparency = false;
    for (size_t i = 3; i < reader.pixels().size(); i += 4) {
        const_cast<std::vector<uint8_t>&>(reader.pixels())[i] = 255;
    }
    const std::vector<uint8_t> bmp = encode(OutputFormat::Bmp, reader);
    EXPECT_EQ(le16(bmp, 28), 24u);
    expectSamePixels(decode(bmp), expected(reader.info(), reader.pixels()));
}

// ImageMagick is the other common reader; it must see the same pixels, alpha included.
TEST(BmpWriter, ImageMagickReadsEveryKind) {
    const QString convert = QStandardPaths::findExecutable("convert-im6.q16");
    if (convert.isEmpty()) {
        GTEST_SKIP() << "ImageMagick not installed";
    }
    QTemporaryDir dir;
    std::vector<MemoryReader> readers;
    readers.push_back(makeImage(PixelFormat::Rgb8, 7, 5));
    readers.push_back(makeImage(PixelFormat::Rgba8, 7, 5));
    readers.push_back(makeIndexedImage(7, 5, 12, false));
    readers.push_back(makeIndexedImage(7, 5, 2, false));
    for (size_t i = 0; i < readers.size(); ++i) {
        SCOPED_TRACE(i);
        const QString path = dir.filePath(QString("k%1.bmp").arg(i));
        writeFile(path, encode(OutputFormat::Bmp, readers[i]));
        QProcess magick;
        magick.start(convert, {path, "-depth", "8", "rgba:-"});
        ASSERT_TRUE(magick.waitForFinished(30000));
        const QByteArray rgba = magick.readAllStandardOutput();
        const QImage want = expected(readers[i].info(), readers[i].pixels());
        ASSERT_EQ(rgba.size(), 7 * 5 * 4);
        for (int p = 0; p < 35; ++p) {
            const QRgb w = want.pixel(p % 7, p / 7);
            const auto* got = reinterpret_cast<const uint8_t*>(rgba.constData()) + 4 * p;
            EXPECT_EQ(got[3], qAlpha(w)) << p;
            if (qAlpha(w) > 0) {
                EXPECT_EQ(qRgb(got[0], got[1], got[2]), qRgb(qRed(w), qGreen(w), qBlue(w))) << p;
            }
        }
    }
}

// ---- PNG ----

TEST(PngWriter, KeepsColourTypeAndDepthAndEveryValue) {
    struct Case {
        PixelFormat format;
        int colourType, depth;
    };
    for (const Case c : {Case{PixelFormat::Gray8, 0, 8}, Case{PixelFormat::Gray16, 0, 16},
                         Case{PixelFormat::GrayAlpha8, 4, 8}, Case{PixelFormat::GrayAlpha16, 4, 16},
                         Case{PixelFormat::Rgb8, 2, 8}, Case{PixelFormat::Rgb16, 2, 16},
                         Case{PixelFormat::Rgba8, 6, 8}, Case{PixelFormat::Rgba16, 6, 16}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        MemoryReader reader = makeImage(c.format, 17, 9);
        const std::vector<uint8_t> png = encode(OutputFormat::Png, reader);
        const auto chunks = pngChunks(png);
        ASSERT_FALSE(chunks.empty());
        ASSERT_EQ(chunks[0].type, "IHDR");
        EXPECT_EQ(chunks[0].data[8], c.depth);
        EXPECT_EQ(chunks[0].data[9], c.colourType);
        EXPECT_EQ(chunks.back().type, "IEND");
        QImage image;
        ASSERT_TRUE(image.loadFromData(png.data(), static_cast<int>(png.size())));
        if (c.depth == 16) {
            // Compare the 16-bit samples themselves.
            const QImage wide = image.convertToFormat(QImage::Format_RGBA64);
            const unsigned n = channels(c.format);
            for (int y = 0; y < 9; ++y) {
                for (int x = 0; x < 17; ++x) {
                    uint16_t s[4];
                    std::memcpy(s, reader.pixels().data() + (y * 17 + x) * n * 2, n * 2);
                    const QRgba64 p = reinterpret_cast<const QRgba64*>(wide.constScanLine(y))[x];
                    const uint16_t a = (n == 2 || n == 4) ? s[n - 1] : 65535;
                    ASSERT_EQ(p.alpha(), a);
                    if (a == 0) {
                        continue;
                    }
                    ASSERT_EQ(p.red(), s[0]);
                    ASSERT_EQ(p.blue(), n >= 3 ? s[2] : s[0]);
                }
            }
        } else {
            expectSamePixels(image.convertToFormat(QImage::Format_ARGB32), expected(reader.info(), reader.pixels()));
        }
    }
}

TEST(PngWriter, LowGrayDepthsArePacked) {
    for (const uint8_t bits : {1, 2, 4}) {
        SCOPED_TRACE(bits);
        MemoryReader reader = makeImage(PixelFormat::Gray8, 23, 5);
        reader.mutableInfo().sourceBits = bits;
        const unsigned levels = (1u << bits) - 1;
        for (uint8_t& v : const_cast<std::vector<uint8_t>&>(reader.pixels())) {
            v = static_cast<uint8_t>((v * levels / 255) * 255 / levels);
        }
        const std::vector<uint8_t> png = encode(OutputFormat::Png, reader);
        EXPECT_EQ(pngChunks(png)[0].data[8], bits);
        expectSamePixels(decode(png), expected(reader.info(), reader.pixels()));
    }
}

TEST(PngWriter, PaletteWithTransparencyKeepsPaletteAndAlpha) {
    MemoryReader reader = makeIndexedImage(19, 7, 5, true);
    const std::vector<uint8_t> png = encode(OutputFormat::Png, reader);
    const auto chunks = pngChunks(png);
    EXPECT_EQ(chunks[0].data[9], 3);
    EXPECT_EQ(chunks[0].data[8], 4);  // five entries need four bits
    const PngChunk* plte = findChunk(chunks, "PLTE");
    const PngChunk* trns = findChunk(chunks, "tRNS");
    ASSERT_TRUE(plte && trns);
    EXPECT_EQ(plte->data.size(), 15u);
    EXPECT_EQ(trns->data, (std::vector<uint8_t>{0, 128}));  // trailing opaque entries left out
    expectSamePixels(decode(png), expected(reader.info(), reader.pixels()));
}

TEST(PngWriter, CarriesIccProfileAndResolution) {
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 8, 8);
    std::vector<uint8_t> profile(3000);
    for (size_t i = 0; i < profile.size(); ++i) {
        profile[i] = static_cast<uint8_t>(i * 7 % 251);
    }
    reader.mutableInfo().iccProfile = profile;
    reader.mutableInfo().xPixelsPerMetre = 11811;
    reader.mutableInfo().yPixelsPerMetre = 5906;
    const auto chunks = pngChunks(encode(OutputFormat::Png, reader));
    const PngChunk* iccp = findChunk(chunks, "iCCP");
    const PngChunk* phys = findChunk(chunks, "pHYs");
    ASSERT_TRUE(iccp && phys);
    EXPECT_EQ(be32(phys->data.data()), 11811u);
    EXPECT_EQ(be32(phys->data.data() + 4), 5906u);
    EXPECT_EQ(phys->data[8], 1);
    const size_t nameEnd = std::find(iccp->data.begin(), iccp->data.end(), 0) - iccp->data.begin();
    ASSERT_LT(nameEnd + 2, iccp->data.size());
    std::vector<uint8_t> inflated(profile.size() + 10);
    uLongf length = inflated.size();
    ASSERT_EQ(uncompress(inflated.data(), &length, iccp->data.data() + nameEnd + 2, iccp->data.size() - nameEnd - 2),
              Z_OK);
    inflated.resize(length);
    EXPECT_EQ(inflated, profile);

    MemoryReader palette = makeIndexedImage(8, 8, 10, false);
    palette.mutableInfo().iccProfile = profile;
    EXPECT_NE(findChunk(pngChunks(encode(OutputFormat::Png, palette)), "iCCP"), nullptr);
}

// Images too large to hold are deflated in pieces on two threads; the result must
// still be one valid stream with the same pixels, whatever the thread count.
TEST(PngWriter, StreamingPathMatchesTheWholeImagePath) {
    // Over 4 MiB filtered, so that it takes more than one piece.
    MemoryReader whole = makeImage(PixelFormat::Rgba8, 1200, 1000, 3);
    MemoryReader streamed = makeImage(PixelFormat::Rgba8, 1200, 1000, 3);
    WriterOptions tight;
    tight.memoryBudget = 0;  // no room for the whole image
    const auto writer = makeWriter(OutputFormat::Png, tight);
    const std::vector<uint8_t> a = encode(OutputFormat::Png, whole);
    const std::vector<uint8_t> b = encode(*writer, streamed);
    EXPECT_NE(a, b);
    expectSamePixels(decode(b), expected(whole.info(), whole.pixels()));
}

TEST(ParallelDeflate, PiecesJoinIntoOneStreamIndependentOfThreads) {
    std::vector<uint8_t> data(300000);
    uint32_t s = 7;
    for (size_t i = 0; i < data.size(); ++i) {
        s = s * 1103515245u + 12345u;
        data[i] = static_cast<uint8_t>((i / 100) + ((s >> 16) & 3));
    }
    auto run = [&](unsigned threads) {
        std::vector<uint8_t> out;
        ParallelDeflate deflater(6, threads, 40000, [&](const uint8_t* d, size_t n) {
            out.insert(out.end(), d, d + n);
            return true;
        });
        // Uneven additions so that pieces are cut inside an addition.
        for (size_t at = 0; at < data.size(); at += 7777) {
            EXPECT_TRUE(deflater.add(data.data() + at, std::min<size_t>(7777, data.size() - at)));
        }
        EXPECT_TRUE(deflater.finish());
        return out;
    };
    const std::vector<uint8_t> one = run(1), two = run(2);
    EXPECT_EQ(one, two);
    std::vector<uint8_t> back(data.size() + 1);
    uLongf length = back.size();
    ASSERT_EQ(uncompress(back.data(), &length, two.data(), two.size()), Z_OK);  // checks the Adler-32 too
    back.resize(length);
    EXPECT_EQ(back, data);
}

TEST(ParallelDeflate, OutputFailureStopsIt) {
    std::vector<uint8_t> data(200000, 1);
    ParallelDeflate deflater(6, 2, 30000, [](const uint8_t*, size_t) { return false; });
    bool ok = true;
    for (int i = 0; i < 20 && ok; ++i) {
        ok = deflater.add(data.data(), data.size());
    }
    EXPECT_FALSE(ok && deflater.finish());
}

// ---- JPEG ----

TEST(JpegWriter, SubsamplingDependsOnQuality) {
    for (const auto& [quality, luma] : std::vector<std::pair<int, int>>{{10, 0x22}, {75, 0x22}, {89, 0x22}, {90, 0x11}, {100, 0x11}}) {
        SCOPED_TRACE(quality);
        MemoryReader reader = makeImage(PixelFormat::Rgb8, 40, 24);
        const std::vector<int> factors = samplingFactors(encode(OutputFormat::Jpeg, reader, quality));
        EXPECT_EQ(factors, (std::vector<int>{luma, 0x11, 0x11}));
    }
}

TEST(JpegWriter, SizeFallsWithQuality) {
    size_t previous = SIZE_MAX;
    for (const int quality : {100, 90, 75, 40, 10, 1}) {
        MemoryReader reader = makeImage(PixelFormat::Rgb8, 64, 64, 5);
        const std::vector<uint8_t> jpeg = encode(OutputFormat::Jpeg, reader, quality);
        EXPECT_LT(jpeg.size(), previous) << quality;
        previous = jpeg.size();
    }
}

TEST(JpegWriter, GrayStaysGrayAndAlphaMeetsWhite) {
    MemoryReader gray = makeImage(PixelFormat::GrayAlpha8, 16, 16);
    for (size_t i = 0; i < gray.pixels().size(); i += 2) {
        auto& px = const_cast<std::vector<uint8_t>&>(gray.pixels());
        px[i] = 0;                       // black...
        px[i + 1] = (i / 2) % 16 < 8 ? 0 : 255;  // ...left half transparent
    }
    const std::vector<uint8_t> jpeg = encode(OutputFormat::Jpeg, gray, 95);
    EXPECT_EQ(samplingFactors(jpeg).size(), 1u);
    const QImage image = decode(jpeg);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(qGray(image.pixel(2, 8)), 245);
    EXPECT_LE(qGray(image.pixel(13, 8)), 10);

    MemoryReader colour = makeImage(PixelFormat::Rgba8, 16, 16);
    for (size_t i = 0; i < colour.pixels().size(); i += 4) {
        auto& px = const_cast<std::vector<uint8_t>&>(colour.pixels());
        px[i] = 255, px[i + 1] = 0, px[i + 2] = 0, px[i + 3] = 0;  // transparent red
    }
    const std::vector<uint8_t> flattened = encode(OutputFormat::Jpeg, colour, 95);
    EXPECT_EQ(samplingFactors(flattened).size(), 3u);
    const QImage white = decode(flattened);
    for (const QPoint p : {QPoint(0, 0), QPoint(8, 8), QPoint(15, 15)}) {
        EXPECT_GE(qRed(white.pixel(p)), 250);
        EXPECT_GE(qGreen(white.pixel(p)), 250);
        EXPECT_GE(qBlue(white.pixel(p)), 250);
    }
}

TEST(JpegWriter, CarriesIccProfileInChunksAndDensity) {
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 16, 16);
    std::vector<uint8_t> profile(100000);  // more than one APP2 segment holds
    for (size_t i = 0; i < profile.size(); ++i) {
        profile[i] = static_cast<uint8_t>(i % 253);
    }
    reader.mutableInfo().iccProfile = profile;
    reader.mutableInfo().xPixelsPerMetre = 11811;  // 300 dpi
    reader.mutableInfo().yPixelsPerMetre = 2835;   // 72 dpi
    const auto segments = jpegSegments(encode(OutputFormat::Jpeg, reader));
    std::vector<uint8_t> joined;
    int count = 0;
    for (auto [it, end] = segments.equal_range(0xe2); it != end; ++it, ++count) {
        const std::vector<uint8_t>& p = it->second;
        ASSERT_EQ(std::string(p.begin(), p.begin() + 12), std::string("ICC_PROFILE\0", 12));
        EXPECT_EQ(p[12], count + 1);
        joined.insert(joined.end(), p.begin() + 14, p.end());
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(joined, profile);
    // A colour palette that is all gray becomes a gray JPEG, which the RGB profile no
    // longer describes.
    MemoryReader grayPalette = makeIndexedImage(16, 16, 4, false);
    for (PaletteEntry& e : grayPalette.mutableInfo().palette) {
        e.g = e.b = e.r;
    }
    grayPalette.mutableInfo().iccProfile = profile;
    const std::vector<uint8_t> gray = encode(OutputFormat::Jpeg, grayPalette);
    EXPECT_EQ(samplingFactors(gray).size(), 1u);
    EXPECT_EQ(jpegSegments(gray).count(0xe2), 0u);
    const auto jfif = segments.find(0xe0);
    ASSERT_NE(jfif, segments.end());
    EXPECT_EQ(jfif->second[7], 1);  // dots per inch
    EXPECT_EQ(jfif->second[8] << 8 | jfif->second[9], 300);
    EXPECT_EQ(jfif->second[10] << 8 | jfif->second[11], 72);
}

// The writer codes with the standard tables and recodes that with optimal ones, in
// memory or through a scratch file, in two halves side by side for large images; the
// result must be what libjpeg's own optimisation gives, byte for byte.
std::vector<uint8_t> libjpegOptimised(const MemoryReader& reader, int quality) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    const bool gray = reader.info().format == PixelFormat::Gray8;
    c.image_width = reader.info().width;
    c.image_height = reader.info().height;
    c.input_components = gray ? 1 : 3;
    c.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = (gray || quality >= 90) ? 1 : 2;
    c.dct_method = JDCT_FLOAT;
    c.optimize_coding = TRUE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto row = const_cast<JSAMPROW>(reader.pixels().data() + size_t{c.next_scanline} * c.image_width * c.input_components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

TEST(JpegWriter, RecodedTablesMatchLibjpegsOptimisation) {
    struct Case {
        PixelFormat format;
        uint32_t width, height;
        int quality;
    };
    // The last is over a MiB in the first coding: recoded in two halves.
    for (const Case& k : {Case{PixelFormat::Rgb8, 77, 45, 75}, Case{PixelFormat::Gray8, 77, 45, 95},
                          Case{PixelFormat::Rgb8, 1500, 1100, 95}}) {
        for (const uint64_t budget : {uint64_t{512} << 20, uint64_t{0}}) {
            SCOPED_TRACE(k.width * 100 + k.quality + (budget ? 0 : 1));
            MemoryReader reader = makeImage(k.format, k.width, k.height, 2);
            WriterOptions options;
            options.quality = k.quality;
            options.memoryBudget = budget;  // 0: through the scratch file
            const auto writer = makeWriter(OutputFormat::Jpeg, options);
            const std::vector<uint8_t> recoded = encode(*writer, reader);
            EXPECT_EQ(recoded, libjpegOptimised(reader, k.quality));
        }
    }
}

// ---- all writers ----

TEST(Writers, AFailingSinkIsAWriteErrorWithItsMessage) {
    for (const OutputFormat format : {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg}) {
        for (const size_t limit : {size_t{0}, size_t{60}, size_t{3000}}) {
            SCOPED_TRACE(static_cast<int>(format) * 10000 + limit);
            MemoryReader reader = makeImage(PixelFormat::Rgb8, 120, 90, 9);
            MemorySink sink;
            sink.failAfterBytes(limit);
            const auto writer = makeWriter(format, WriterOptions{});
            const Status status = transcode(reader, *writer, sink, Limits{});
            EXPECT_EQ(status.kind, -1);
            EXPECT_EQ(status.message, "Cannot write output file: No space left on device");
        }
    }
}

TEST(Writers, OutputIsTheSameRunToRun) {
    for (const OutputFormat format : {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg}) {
        for (const uint64_t budget : {uint64_t{0}, uint64_t{512} << 20}) {
            SCOPED_TRACE(static_cast<int>(format));
            WriterOptions options;
            options.memoryBudget = budget;
            MemoryReader a = makeImage(PixelFormat::Rgba8, 200, 150, 4), b = makeImage(PixelFormat::Rgba8, 200, 150, 4);
            const auto first = makeWriter(format, options), second = makeWriter(format, options);
            EXPECT_EQ(encode(*first, a), encode(*second, b));
        }
    }
}
