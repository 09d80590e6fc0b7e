#pragma once
// Helpers shared by the conversion library's test programs: decoding through the
// library's readers and through Qt, pixel comparison, files, small image files built
// from a few fields, an in-memory reader and sink for the writers, and the exported
// function.

#include "engine/core/ImageIO.h"
#include "tests/engine/MemorySink.h"
#include "tests/support/TestHelpers.h"

#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessaplex {
// Error kinds in failure messages as the C function's numbers.
inline void PrintTo(ErrorKind kind, std::ostream* os) { *os << static_cast<int>(kind); }
}  // namespace tessaplex

namespace EngineTest {

using Bytes = std::vector<uint8_t>;

// Appends a few bytes one by one. (GCC 12 at -O3 takes a small vector's insert of an initializer
// list for a copy out of bounds, -Warray-bounds and -Wstringop-overflow, so tests use this.)
inline void append(Bytes& v, std::initializer_list<uint8_t> bytes) {
    for (const uint8_t b : bytes) {
        v.push_back(b);
    }
}
using Rgba64 = std::vector<uint16_t>;  // RGBA, 16 bits a channel, not premultiplied

struct Decoded {
    tessaplex::Status status;
    tessaplex::ImageInfo info;
    Bytes pixels;         // rows packed without padding, in info.format
    bool opened = false;  // openReader succeeded (status may still be a row error)
};
// Opens and reads every row in bands of `band` rows with padded strides; a reader
// writing past the end of a row is reported as a read error.
Decoded decodeFile(const QString& path, const tessaplex::Limits& limits = {}, uint32_t band = 5);
Decoded decodeBytes(const Bytes& bytes, const std::string& name = "image.bin", const tessaplex::Limits& limits = {},
                    uint32_t band = 5);
// Qt's reading, or a null image.
QImage qtRead(const QString& path, bool autoTransform = false);
QImage qtRead(const Bytes& bytes, bool autoTransform = false);

// Palettes expanded, 8-bit samples scaled by 257.
Rgba64 rgba64(const tessaplex::ImageInfo& info, const Bytes& pixels);
inline Rgba64 rgba64(const Decoded& d) { return rgba64(d.info, d.pixels); }
Rgba64 rgba64(const QImage& image);

// Every channel within `tolerance` (16-bit scale); colour is ignored where both pixels are fully transparent.
::testing::AssertionResult samePixels(const Rgba64& a, const Rgba64& b, uint32_t width, uint32_t tolerance = 0);

Bytes readFile(const QString& path);
void writeFile(const QString& path, const Bytes& bytes);
QStringList filesIn(const QString& dir, const QString& pattern);  // full paths, by name
std::string local(const QString& path);

struct BmpFields {
    int32_t width = 1, height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    Bytes palette{};              // BGRA quads; their count is the colours-used field
    std::vector<uint32_t> masks{};  // R, G, B, A bit fields: a 124-byte header when given
    Bytes pixels{};
};
Bytes makeBmp(const BmpFields& f);
Bytes grayPalette(int entries);

struct GifFields {
    uint16_t screenWidth = 0, screenHeight = 0;
    Bytes globalTable;  // RGB triples; empty for none
    uint16_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparent = -1;
    Bytes indices;  // width * height, top row first (fewer or more: data that ends early or late)
    uint8_t codeSize = 8;  // LZW minimum code size: indices below 2^codeSize
};
// One frame, LZW-coded with the table filling up to 12-bit codes, kept full for a while
// and cleared.
Bytes makeGif(const GifFields& s);

// Qt's encoding ("JPG", "PNG"); an EXIF orientation above 0 is inserted after SOI, its TIFF
// block in big-endian ("MM") or little-endian ("II") byte order.
Bytes qtEncode(const QImage& image, const char* format, int quality = 95, bool progressive = false,
               int orientation = 0, bool littleEndian = false);
// An RGB display profile: a header libraries accept, then `size` - 128 patterned bytes.
Bytes iccProfile(size_t size);

class MemoryReader final : public tessaplex::ImageReader {
public:
    MemoryReader(tessaplex::ImageInfo info, Bytes pixels) : m_info(std::move(info)), m_pixels(std::move(pixels)) {}
    const tessaplex::ImageInfo& info() const override { return m_info; }
    tessaplex::Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;
    void failAfterRows(uint32_t rows) { m_failAfter = rows; }  // "Truncated test image"
    tessaplex::ImageInfo& mutableInfo() { return m_info; }
    Bytes& pixels() { return m_pixels; }
    const Bytes& pixels() const { return m_pixels; }
    Rgba64 rgba() const { return rgba64(m_info, m_pixels); }

private:
    tessaplex::ImageInfo m_info;
    Bytes m_pixels;
    uint32_t m_row = 0, m_failAfter = UINT32_MAX;
};

// Pixels that vary in every channel; alpha takes 0, 255 and values between.
MemoryReader makeImage(tessaplex::PixelFormat format, uint32_t width, uint32_t height, unsigned seed = 1);
// Indexed8 over `entries` colours; `transparent`: entry 0 clear, entry 1 half.
MemoryReader makeIndexedImage(uint32_t width, uint32_t height, unsigned entries, bool transparent);
// Writes the image into memory through the driver's transcode; fails the test on error.
Bytes encode(tessaplex::OutputFormat format, tessaplex::ImageReader& reader, int quality = 75,
             uint64_t memoryBudget = tessaplex::WriterOptions{}.memoryBudget);

struct Answer {
    int32_t result, kind;
    std::string message;
};
// The exported function, as the program calls it.
Answer convertFiles(const QString& input, const QString& output, int32_t quality = 75);

}  // namespace EngineTest
