#pragma once
// Helpers for the reader tests: decode through openReader, compare with an independent
// decoder (Qt), and build small image files by hand.

#include "engine/core/ImageIO.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace ReadTest {

struct Decoded {
    tessaplex::Status status;
    tessaplex::ImageInfo info;
    std::vector<uint8_t> pixels;  // rows packed without padding, in info.format
    bool opened = false;          // openReader succeeded (status may still be a row error)
};

// Opens and reads every row, in bands of `band` rows written with padded strides.
Decoded decodeFile(const QString& path, const tessaplex::Limits& limits = {}, uint32_t band = 5);
Decoded decodeBytes(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin",
                    const tessaplex::Limits& limits = {}, uint32_t band = 5);

// RGBA with 16 bits per channel (8-bit values scaled by 257), palettes expanded.
std::vector<uint16_t> toRgba64(const Decoded& d);
std::vector<uint16_t> toRgba64(const QImage& image);

struct Difference {
    uint32_t maxChannel = 0;    // largest difference of one channel (16-bit scale)
    double meanChannel = 0;     // mean absolute difference per channel (16-bit scale)
    std::string firstMismatch;  // where the largest difference is, for messages
};
// Compares two RGBA64 pictures of the same size; colour is ignored where both are fully transparent.
Difference compare(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, uint32_t width);

// Qt's reading of a file, or a null image.
QImage qtRead(const QString& path, bool autoTransform = false);

std::vector<uint8_t> readAll(const QString& path);
void writeAll(const QString& path, const std::vector<uint8_t>& bytes);
QStringList filesIn(const QString& dir, const QString& pattern);

// Little-endian writers for building headers by hand.
void put16(std::vector<uint8_t>& v, uint32_t x);
void put32(std::vector<uint8_t>& v, uint32_t x);

// A BMP: `info` is the info header from its size field on, `extra` the palette or
// masks after it, `pixels` the pixel data. File header offsets are filled in.
std::vector<uint8_t> makeBmp(const std::vector<uint8_t>& info, const std::vector<uint8_t>& extra,
                             const std::vector<uint8_t>& pixels);
// A 40-byte info header.
std::vector<uint8_t> bmpInfoHeader(int32_t width, int32_t height, uint16_t bpp, uint32_t compression = 0,
                                   uint32_t colorsUsed = 0, uint32_t sizeImage = 0);

struct GifSpec {
    uint16_t screenWidth = 0, screenHeight = 0;
    std::vector<uint8_t> globalTable;  // RGB triples; empty for none
    uint16_t left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> localTable;
    bool interlaced = false;
    int transparent = -1;
    unsigned codeSize = 8;
    std::vector<uint8_t> indices;  // width * height, in image order (interlacing applied here)
};
// A one-frame GIF with uncompressed-style LZW (a clear code before the table grows).
std::vector<uint8_t> makeGif(const GifSpec& spec);

// JPEG bytes of `image` from Qt, optionally with an EXIF APP1 carrying `orientation`.
std::vector<uint8_t> makeJpeg(const QImage& image, int quality = 95, int orientation = 0);
// PNG bytes of `image` from Qt.
std::vector<uint8_t> makePng(const QImage& image);

// A test picture with distinct colours, edges and a gradient.
QImage testPicture(int width, int height, bool alpha = false);

}  // namespace ReadTest
