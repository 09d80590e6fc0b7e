#pragma once
// Test doubles for the write side: an image reader over pixels held in memory (that
// can fail part-way), a byte sink in memory (that can fail after N bytes), and
// helpers to make images and to read the files written back.

#include "engine/core/ImageIO.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace WriteTest {

class MemoryReader final : public tessaplex::ImageReader {
public:
    MemoryReader(tessaplex::ImageInfo info, std::vector<uint8_t> pixels);
    const tessaplex::ImageInfo& info() const override { return m_info; }
    tessaplex::Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;
    // Rows after the first `rows` fail with a read error.
    void failAfterRows(uint32_t rows) { m_failAfter = rows; }
    tessaplex::ImageInfo& mutableInfo() { return m_info; }
    const std::vector<uint8_t>& pixels() const { return m_pixels; }

private:
    tessaplex::ImageInfo m_info;
    std::vector<uint8_t> m_pixels;
    uint32_t m_row = 0;
    uint32_t m_failAfter = UINT32_MAX;
};

class MemorySink final : public tessaplex::ByteSink {
public:
    bool write(const void* data, size_t size) override;
    bool writeAt(uint64_t offset, const void* data, size_t size) override;
    std::string error() const override { return m_error; }
    // Writes that would take the size past `bytes` fail.
    void failAfterBytes(size_t bytes) { m_limit = bytes; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_limit = SIZE_MAX;
    std::string m_error;
};

// An image of `format` whose pixels vary in every channel (a gradient with noise).
MemoryReader makeImage(tessaplex::PixelFormat format, uint32_t width, uint32_t height, unsigned seed = 1);
// An Indexed8 image using a palette of `entries` colours; `transparent` gives some alpha.
MemoryReader makeIndexedImage(uint32_t width, uint32_t height, unsigned entries, bool transparent);

// Writes `reader`'s image with `writer` into memory; fails the test on error.
std::vector<uint8_t> encode(tessaplex::ImageWriter& writer, tessaplex::ImageReader& reader);
std::vector<uint8_t> encode(tessaplex::OutputFormat format, tessaplex::ImageReader& reader, int quality = 75);

// Decodes bytes with Qt into ARGB32 (non-premultiplied).
QImage decode(const std::vector<uint8_t>& bytes);
// The pixels the reader delivers, as non-premultiplied ARGB32 (16-bit samples rounded).
QImage expected(const tessaplex::ImageInfo& info, const std::vector<uint8_t>& pixels);

// Pixel for pixel, alpha included (the colour of fully transparent pixels is free).
void expectSamePixels(const QImage& actual, const QImage& wanted);
// The file at `path` decodes to the reader's pixels.
void expectedPixelsAt(const QString& path, const MemoryReader& reader);

std::vector<uint8_t> readFile(const QString& path);
void writeFile(const QString& path, const std::vector<uint8_t>& bytes);
// Names in `folder` (hidden ones included).
QStringList entries(const QString& folder);

}  // namespace WriteTest
