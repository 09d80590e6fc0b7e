#pragma once
// The shared picture of an image inside tessaplex: how a reader describes it,
// how rows travel from a reader to a writer, and how each step reports failure.
// Readers pull rows top to bottom; writers take rows pushed in the same order.

#include "engine/core/Limits.h"
#include "engine/core/Status.h"
#include "engine/core/Support.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaplex {

// Pixel layouts of rows. 16-bit samples are native-endian uint16_t. Indexed8 holds
// one palette index per byte (whatever the source's bits per index).
enum class PixelFormat : uint8_t { Gray8, GrayAlpha8, Rgb8, Rgba8, Indexed8, Gray16, GrayAlpha16, Rgb16, Rgba16 };

inline constexpr unsigned channels(PixelFormat f) {
    switch (f) {
        case PixelFormat::Gray8: case PixelFormat::Gray16: case PixelFormat::Indexed8: return 1;
        case PixelFormat::GrayAlpha8: case PixelFormat::GrayAlpha16: return 2;
        case PixelFormat::Rgb8: case PixelFormat::Rgb16: return 3;
        case PixelFormat::Rgba8: case PixelFormat::Rgba16: return 4;
    }
    unreachable("unknown pixel format");
}
inline constexpr bool is16Bit(PixelFormat f) {
    return f == PixelFormat::Gray16 || f == PixelFormat::GrayAlpha16 || f == PixelFormat::Rgb16 ||
           f == PixelFormat::Rgba16;
}
inline constexpr unsigned bytesPerPixel(PixelFormat f) { return channels(f) * (is16Bit(f) ? 2 : 1); }
inline constexpr bool hasAlphaChannel(PixelFormat f) {
    return f == PixelFormat::GrayAlpha8 || f == PixelFormat::Rgba8 || f == PixelFormat::GrayAlpha16 ||
           f == PixelFormat::Rgba16;
}

struct PaletteEntry {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// The smallest of 1, 2, 4, 8 bits that indexes `entries` palette entries.
inline constexpr uint8_t indexBitsFor(size_t entries) {
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

enum class SourceFormat : uint8_t { Bmp, Png, Jpeg, Gif };

// What a reader knows about its image before the first row.
struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    PixelFormat format = PixelFormat::Rgb8;
    SourceFormat source = SourceFormat::Bmp;
    // Significant bits per sample (Gray, Rgb: 1..16) or per index (Indexed8: 1, 2, 4, 8)
    // in the source, so that a writer can keep a small palette or a low gray depth.
    uint8_t sourceBits = 8;
    // For Indexed8 (at most 256 entries). Alpha below 255 marks transparent entries.
    std::vector<PaletteEntry> palette;
    // True when some pixel may be (partly) transparent: an alpha channel or a palette
    // entry with alpha below 255. A reader may set false for an all-opaque alpha channel.
    bool hasTransparency = false;
    // An ICC profile that matches the delivered rows (gray or RGB); empty when none.
    std::vector<uint8_t> iccProfile;
    // Resolution in pixels per metre; 0 when the source gives none.
    uint32_t xPixelsPerMetre = 0;
    uint32_t yPixelsPerMetre = 0;
    // True when the reader holds the whole image in memory (interlaced, progressive,
    // rotated, RLE bottom-up...), for the memory accounting of the driver.
    bool wholeImageBuffered = false;
};

// Pulls rows of one image, top to bottom.
class ImageReader {
public:
    virtual ~ImageReader() = default;
    virtual const ImageInfo& info() const = 0;
    // Fills `count` rows of info().width pixels in info().format, each `stride` bytes
    // apart. A truncated or corrupt image is a read error, never filler.
    virtual Status readRows(uint8_t* dst, size_t stride, uint32_t count) = 0;
};

// Detects the input format by content and opens a reader for it (set exactly when the
// answer is fine). The extension of `path` only decides the message when the content
// is no format we read.
Status openReader(const std::string& path, const Limits& limits, std::unique_ptr<ImageReader>& reader);

// As openReader, over `size` bytes at `data`, which must outlive the reader; `name`
// stands for the path (its extension decides the message for unknown content).
Status openReaderFromMemory(const uint8_t* data, size_t size, const std::string& name, const Limits& limits,
                            std::unique_ptr<ImageReader>& reader);

// Where a writer's bytes go (the temporary output file). Every write is checked.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False after a failed write; the error text is then in error().
    virtual bool write(const void* data, size_t size) = 0;
    virtual std::string error() const = 0;
    // Writes at an absolute offset from the sink's start, for formats stored bottom-up.
    // False when the sink cannot seek or the write failed; the text is then in error().
    virtual bool writeAt(uint64_t /*offset*/, const void* /*data*/, size_t /*size*/) { return false; }
};

// Takes rows pushed top to bottom and writes one output format.
class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // The row format this writer wants for an image described by `source`; the driver
    // converts rows into it before writeRows.
    virtual PixelFormat acceptedFormat(const ImageInfo& source) const = 0;
    // `info` is the source's description with `format` set to acceptedFormat(source).
    virtual Status begin(const ImageInfo& info, ByteSink& sink) = 0;
    virtual Status writeRows(const uint8_t* src, size_t stride, uint32_t count) = 0;
    virtual Status finish() = 0;
    // True when the writer compresses: work enough per row that reading on a thread of
    // its own pays even for small images.
    virtual bool compresses() const { return false; }
};

enum class OutputFormat : uint8_t { Bmp, Png, Jpeg };

// What a writer may do besides storing pixels.
struct WriterOptions {
    // JPEG quality, 1..100 (callers clamp).
    int quality = 75;
    // Bytes the writer may hold for a whole image (compressed data, coefficients).
    uint64_t memoryBudget = 512ull << 20;
};

// A writer for `format`, never null.
std::unique_ptr<ImageWriter> makeWriter(OutputFormat format, const WriterOptions& options);

}  // namespace tessaplex
