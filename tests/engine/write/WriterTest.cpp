// The three writers, fed through the driver's transcode from an in-memory image and
// read back with Qt: the kind of file each image becomes, pixels exact where the
// format is lossless, JPEG quality and flattening, and what travels with the pixels.
#include "engine/core/Driver.h"
#include "engine/write/HuffmanRecoder.h"
#include "tests/engine/EngineTest.h"

#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <map>

using namespace tessaplex;
using namespace EngineTest;

namespace {

uint32_t le(const Bytes& b, size_t at, int size = 4) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = v << 8 | b[at + i];
    }
    return v;
}

// The first chunk of each type.
std::map<std::string, Bytes> pngChunks(const Bytes& b) {
    std::map<std::string, Bytes> chunks;
    for (size_t at = 8; at + 12 <= b.size();) {
        const size_t length = size_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        chunks.emplace(std::string(b.begin() + at + 4, b.begin() + at + 8),
                       Bytes(b.begin() + at + 8, b.begin() + at + 8 + length));
        at += 12 + length;
    }
    return chunks;
}

// Sampling factors of each component in the frame header, e.g. {0x22, 0x11, 0x11}.
std::vector<int> samplingFactors(const Bytes& b) {
    for (size_t at = 2; at + 10 <= b.size() && b[at] == 0xff && b[at + 1] != 0xda;) {
        if (b[at + 1] >= 0xc0 && b[at + 1] <= 0xc2) {
            std::vector<int> factors;
            for (size_t c = 0; c < b[at + 9]; ++c) {
                factors.push_back(b[at + 11 + 3 * c]);
            }
            return factors;
        }
        at += 2 + (size_t(b[at + 2]) << 8 | b[at + 3]);
    }
    return {};
}

// Gray as a source of `bits` bits delivers it: levels scaled to 8 bits.
MemoryReader lowDepthGray(uint8_t bits, uint32_t width, uint32_t height) {
    MemoryReader reader = makeImage(PixelFormat::Gray8, width, height);
    reader.mutableInfo().sourceBits = bits;
    const unsigned levels = (1u << bits) - 1;
    for (uint8_t& v : reader.pixels()) {
        v = uint8_t(v * levels / 255 * 255 / levels);
    }
    return reader;
}

MemoryReader opaque(MemoryReader reader) {
    reader.mutableInfo().hasTransparency = false;
    for (size_t i = 3; i < reader.pixels().size(); i += 4) {
        reader.pixels()[i] = 255;
    }
    return reader;
}

}  // namespace

TEST(BmpWriter, KindFollowsTheImageAndEveryPixelSurvives) {
    const struct {
        const char* what;
        MemoryReader image;
        unsigned bits, colours;  // 32 bits: a V5 header with an alpha mask
        uint32_t tolerance = 0;
    } cases[] = {
        {"rgb", makeImage(PixelFormat::Rgb8, 5, 7), 24, 0},
        {"rgb16", makeImage(PixelFormat::Rgb16, 9, 4), 24, 0, 128},  // rounded to 8 bits
        {"2 colours", makeIndexedImage(13, 6, 2, false), 1, 2}, {"3 colours", makeIndexedImage(13, 6, 3, false), 4, 3},
        {"16 colours", makeIndexedImage(13, 6, 16, false), 4, 16},
        {"17 colours", makeIndexedImage(13, 6, 17, false), 8, 17},
        {"256 colours", makeIndexedImage(13, 6, 256, false), 8, 256}, {"1-bit gray", lowDepthGray(1, 11, 5), 1, 2},
        {"4-bit gray", lowDepthGray(4, 11, 5), 4, 16}, {"gray", makeImage(PixelFormat::Gray8, 11, 5), 8, 256},
        {"gray16", makeImage(PixelFormat::Gray16, 11, 5), 8, 256, 128},
        {"rgba", makeImage(PixelFormat::Rgba8, 10, 4), 32, 0},
        {"transparent palette", makeIndexedImage(10, 4, 40, true), 32, 0},
        {"opaque rgba", opaque(makeImage(PixelFormat::Rgba8, 6, 3)), 24, 0},
    };
    for (auto c : cases) {
        const Bytes bmp = encode(OutputFormat::Bmp, c.image);
        ASSERT_GE(bmp.size(), 54u) << c.what;
        const uint32_t header = c.bits == 32 ? 124 : 40, offset = 14 + header + 4 * c.colours;
        const uint32_t rowBytes = (c.image.info().width * c.bits + 31) / 32 * 4;
        EXPECT_EQ(le(bmp, 14), header) << c.what;
        EXPECT_EQ(le(bmp, 22), c.image.info().height) << c.what;  // positive: bottom-up
        EXPECT_EQ(le(bmp, 28, 2), c.bits) << c.what;
        EXPECT_EQ(le(bmp, 46), c.colours) << c.what;
        EXPECT_EQ(le(bmp, 10), offset) << c.what;
        EXPECT_EQ(bmp.size(), offset + rowBytes * c.image.info().height) << c.what;
        EXPECT_EQ(le(bmp, 2), bmp.size()) << c.what;
        if (c.bits == 32) {
            EXPECT_EQ(le(bmp, 30), 3u) << c.what;  // bit fields
            EXPECT_EQ(le(bmp, 66), 0xff000000u) << c.what;
        }
        EXPECT_TRUE(samePixels(rgba64(qtRead(bmp)), c.image.rgba(), c.image.info().width, c.tolerance)) << c.what;
    }
}

TEST(PngWriter, KindFollowsTheImageAndEveryValueSurvives) {
    const struct {
        MemoryReader image;
        int colourType, depth;
    } cases[] = {
        {makeImage(PixelFormat::Gray8, 17, 9), 0, 8},       {makeImage(PixelFormat::Gray16, 17, 9), 0, 16},
        {makeImage(PixelFormat::GrayAlpha8, 17, 9), 4, 8},  {makeImage(PixelFormat::GrayAlpha16, 17, 9), 4, 16},
        {makeImage(PixelFormat::Rgb8, 17, 9), 2, 8},        {makeImage(PixelFormat::Rgb16, 17, 9), 2, 16},
        {makeImage(PixelFormat::Rgba8, 17, 9), 6, 8},       {makeImage(PixelFormat::Rgba16, 17, 9), 6, 16},
        {lowDepthGray(1, 23, 5), 0, 1},                     {lowDepthGray(2, 23, 5), 0, 2},
        {lowDepthGray(4, 23, 5), 0, 4},                     {makeIndexedImage(19, 7, 5, true), 3, 4},
        {makeIndexedImage(19, 7, 200, false), 3, 8},
    };
    for (auto c : cases) {
        const std::string what = std::to_string(int(c.image.info().format)) + "/" + std::to_string(c.depth);
        const Bytes png = encode(OutputFormat::Png, c.image);
        auto chunks = pngChunks(png);
        EXPECT_EQ(chunks["IHDR"].size(), 13u) << what;
        EXPECT_EQ(chunks["IHDR"][8], c.depth) << what;
        EXPECT_EQ(chunks["IHDR"][9], c.colourType) << what;
        EXPECT_TRUE(chunks.count("IEND")) << what;
        if (c.colourType == 3) {
            EXPECT_EQ(chunks["PLTE"].size(), 3 * c.image.info().palette.size()) << what;
            // Only the transparent entries, the opaque rest left out.
            EXPECT_EQ(chunks.count("tRNS"), size_t(c.image.info().hasTransparency)) << what;
            EXPECT_EQ(chunks["tRNS"], (c.image.info().hasTransparency ? Bytes{0, 128} : Bytes{})) << what;
        }
        EXPECT_TRUE(samePixels(rgba64(qtRead(png)), c.image.rgba(), c.image.info().width)) << what;
    }
}

TEST(JpegWriter, GrayStaysGrayAndTransparencyMeetsWhite) {
    for (const PixelFormat format : {PixelFormat::GrayAlpha8, PixelFormat::Rgba8}) {
        // Black, the left half transparent.
        MemoryReader image = makeImage(format, 16, 16);
        const unsigned n = channels(format);
        for (size_t i = 0; i < image.pixels().size(); i += n) {
            std::fill_n(&image.pixels()[i], n - 1, 0);
            image.pixels()[i + n - 1] = i / n % 16 < 8 ? 0 : 255;
        }
        const Bytes jpeg = encode(OutputFormat::Jpeg, image, 95);
        EXPECT_EQ(samplingFactors(jpeg).size(), n - 1);
        const QImage decoded = qtRead(jpeg);
        for (int y = 0; y < 16; ++y) {
            EXPECT_GE(qGray(decoded.pixel(2, y)), 245) << n;
            EXPECT_LE(qGray(decoded.pixel(13, y)), 10) << n;
        }
    }
}

TEST(Writers, CarryTheIccProfileAndTheResolution) {
    const Bytes profile = iccProfile(100000);  // more than one JPEG segment holds
    for (const OutputFormat format : {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg}) {
        for (bool indexed : {false, true}) {
            const std::string what = std::to_string(int(format)) + (indexed ? " indexed" : "");
            MemoryReader reader = indexed ? makeIndexedImage(16, 16, 10, false) : makeImage(PixelFormat::Rgb8, 16, 16);
            reader.mutableInfo().iccProfile = profile;
            reader.mutableInfo().xPixelsPerMetre = 11811;  // 300 dpi
            reader.mutableInfo().yPixelsPerMetre = 2835;   // 72 dpi
            const Bytes bytes = encode(format, reader);
            const QImage qt = qtRead(bytes);
            EXPECT_NEAR(qt.dotsPerMeterX(), 11811, 1) << what;
            EXPECT_NEAR(qt.dotsPerMeterY(), 2835, 1) << what;
            // BMP has no room for a profile; the readers find the others' unchanged.
            const Decoded back = decodeBytes(bytes);
            EXPECT_EQ(back.info.iccProfile, format == OutputFormat::Bmp ? Bytes{} : profile) << what;
            EXPECT_NEAR(back.info.xPixelsPerMetre, 11811, 1) << what;
            EXPECT_NEAR(back.info.yPixelsPerMetre, 2835, 1) << what;
        }
    }
    // A colour palette that is all gray becomes a gray JPEG, which an RGB profile no
    // longer describes.
    MemoryReader grayPalette = makeIndexedImage(16, 16, 4, false);
    for (PaletteEntry& e : grayPalette.mutableInfo().palette) {
        e.g = e.b = e.r;
    }
    grayPalette.mutableInfo().iccProfile = profile;
    const Bytes gray = encode(OutputFormat::Jpeg, grayPalette);
    EXPECT_EQ(samplingFactors(gray).size(), 1u);
    const std::string marker = "ICC_PROFILE";
    EXPECT_EQ(std::search(gray.begin(), gray.end(), marker.begin(), marker.end()), gray.end());
}

// JPEG as libjpeg alone writes it, with the writer's settings: the standard tables,
// or its own optimisation.
Bytes libjpegCoded(const MemoryReader& reader, int quality, unsigned restartInterval, bool optimise) {
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
    c.optimize_coding = optimise;
    c.restart_interval = restartInterval;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto row = const_cast<JSAMPROW>(reader.pixels().data() + size_t{c.next_scanline} * c.image_width * c.input_components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

// A JPEG with standard tables through the recoder, in pieces as libjpeg hands them over.
Bytes recoded(const Bytes& jpeg) {
    HuffmanRecoder recoder(1 << 20);
    for (size_t at = 0; at < jpeg.size();) {
        const auto [space, room] = recoder.space();
        const size_t n = std::min(room, jpeg.size() - at);
        std::memcpy(space, jpeg.data() + at, n);
        EXPECT_TRUE(recoder.commit(n)) << recoder.error();
        at += n;
    }
    MemorySink sink;
    const Status status = recoder.finish(sink);
    EXPECT_TRUE(status.isOk()) << status.message;
    return sink.bytes();
}

// The recoder's tables, and so the writer's file, are libjpeg's own optimisation to the
// byte: at the extremes of quality, on each side of the change of subsampling, on images
// of one block and of partial blocks at the edges, gray and colour, with restart markers
// (which the writer itself does not use) and without.
TEST(JpegWriter, RecodingGivesLibjpegsOwnOptimisation) {
    const auto check = [](const MemoryReader& image, int quality, unsigned restart) {
        const std::string what = std::to_string(image.info().width) + "x" + std::to_string(image.info().height) +
                                 (image.info().format == PixelFormat::Gray8 ? " gray" : " colour") + " q" +
                                 std::to_string(quality) + " restart " + std::to_string(restart);
        const Bytes optimised = libjpegCoded(image, quality, restart, true);
        EXPECT_EQ(recoded(libjpegCoded(image, quality, restart, false)), optimised) << what;
        if (restart == 0) {
            MemoryReader copy = image;
            EXPECT_EQ(encode(OutputFormat::Jpeg, copy, quality), optimised) << what;
        }
    };
    for (const int quality : {1, 50, 75, 89, 90, 100}) {
        for (const auto& [width, height] : {std::pair{1u, 1u}, {15u, 17u}, {41u, 23u}}) {
            for (const PixelFormat format : {PixelFormat::Gray8, PixelFormat::Rgb8}) {
                for (const unsigned restart : {0u, 1u, 3u}) {
                    check(makeImage(format, width, height, unsigned(quality)), quality, restart);
                }
            }
        }
    }
    for (const unsigned restart : {0u, 7u}) {  // over a MiB coded: recoded in two halves side by side
        check(makeImage(PixelFormat::Rgb8, 1500, 1100, 3), 100, restart);
    }
}

// PNG is deflated in pieces on two threads; JPEG is coded with the standard tables and
// recoded with optimal ones, in memory or, with no memory to spare, through a scratch
// file, in two halves side by side for large images. The pixels survive, both JPEG paths
// give the same file, and every path gives the same bytes twice.
TEST(Writers, SameBytesEveryTimeAndOnTheLowMemoryPaths) {
    const struct {
        OutputFormat format;
        PixelFormat pixels;
        uint32_t width, height;
    } cases[] = {
        {OutputFormat::Bmp, PixelFormat::Rgba8, 77, 45},
        {OutputFormat::Png, PixelFormat::Rgba8, 1200, 1000},  // over 4 MiB filtered: several pieces
        {OutputFormat::Jpeg, PixelFormat::Rgb8, 77, 45},
        {OutputFormat::Jpeg, PixelFormat::Gray8, 77, 45},
        {OutputFormat::Jpeg, PixelFormat::Rgb8, 1500, 1100},  // several chunks of the first coding
    };
    for (const auto& c : cases) {
        const MemoryReader image = makeImage(c.pixels, c.width, c.height, 3);
        const auto run = [&](uint64_t budget) {
            MemoryReader copy = image;
            return encode(c.format, copy, 75, budget);
        };
        const Bytes roomy = run(512 << 20), tight = run(0);
        EXPECT_EQ(roomy, run(512 << 20)) << int(c.format);
        EXPECT_EQ(tight, run(0)) << int(c.format);
        if (c.format == OutputFormat::Jpeg) {
            EXPECT_EQ(tight, roomy);
        } else {
            EXPECT_TRUE(samePixels(rgba64(qtRead(tight)), image.rgba(), c.width)) << int(c.format);
        }
    }
}

TEST(Writers, AFailingSinkIsAWriteErrorWithItsMessage) {
    for (const OutputFormat format : {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg}) {
        for (const uint64_t budget : {uint64_t{0}, uint64_t{512} << 20}) {
            for (const size_t limit : {size_t{0}, size_t{60}, size_t{3000}}) {
                MemoryReader reader = makeImage(PixelFormat::Rgb8, 120, 90, 9);
                MemorySink sink(limit);
                const Status status = transcode(reader, *makeWriter(format, {75, budget}), sink, Limits{});
                EXPECT_EQ(status.kind, ErrorKind::Write) << int(format) << " " << budget << " " << limit;
                EXPECT_EQ(status.message, "Cannot write output file: No space left on device");
            }
        }
    }
}
