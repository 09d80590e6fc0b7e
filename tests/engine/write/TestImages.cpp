#include "tests/engine/write/TestImages.h"

#include "engine/core/Driver.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <cstring>
#include <gtest/gtest.h>

using namespace tessaplex;

namespace WriteTest {

MemoryReader::MemoryReader(ImageInfo info, std::vector<uint8_t> pixels)
    : m_info(std::move(info)), m_pixels(std::move(pixels)) {}

Status MemoryReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    const size_t rowBytes = size_t{m_info.width} * bytesPerPixel(m_info.format);
    for (uint32_t r = 0; r < count; ++r, ++m_row) {
        if (m_row >= m_failAfter) {
            return Status::readError("Truncated test image");
        }
        if (m_row >= m_info.height) {
            return Status::readError("Read past the last row");
        }
        std::memcpy(dst + r * stride, m_pixels.data() + m_row * rowBytes, rowBytes);
    }
    return Status::ok();
}

bool MemorySink::write(const void* data, size_t size) { return writeAt(m_bytes.size(), data, size); }

bool MemorySink::writeAt(uint64_t offset, const void* data, size_t size) {
    if (offset + size > m_limit) {
        m_error = "Cannot write output file: No space left on device";
        return false;
    }
    if (m_bytes.size() < offset + size) {
        m_bytes.resize(offset + size);
    }
    std::memcpy(m_bytes.data() + offset, data, size);
    return true;
}

MemoryReader makeImage(PixelFormat format, uint32_t width, uint32_t height, unsigned seed) {
    ImageInfo info;
    info.width = width;
    info.height = height;
    info.format = format;
    info.sourceBits = is16Bit(format) ? 16 : 8;
    info.hasTransparency = hasAlphaChannel(format);
    const unsigned n = channels(format);
    std::vector<uint8_t> pixels(size_t{width} * height * bytesPerPixel(format));
    uint32_t state = seed * 2654435761u + 1;
    size_t at = 0;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            for (unsigned c = 0; c < n; ++c) {
                state = state * 1664525u + 1013904223u;
                const uint32_t noise = (state >> 24) & 15;
                uint32_t v = (x * 255 / (width > 1 ? width - 1 : 1) + y * 3 + c * 60 + noise) & 255;
                const bool alpha = hasAlphaChannel(format) && c == n - 1;
                if (alpha) {
                    // Fully transparent, partly and fully opaque pixels all occur.
                    v = (x % 3 == 0) ? 0 : (x % 3 == 1) ? 255 : (y * 37 + x) & 255;
                }
                if (is16Bit(format)) {
                    const uint16_t w = static_cast<uint16_t>(v * 257 + (alpha ? 0 : (state >> 8) % 251));
                    std::memcpy(&pixels[at], &w, 2);
                    at += 2;
                } else {
                    pixels[at++] = static_cast<uint8_t>(v);
                }
            }
        }
    }
    return MemoryReader(std::move(info), std::move(pixels));
}

MemoryReader makeIndexedImage(uint32_t width, uint32_t height, unsigned entries, bool transparent) {
    ImageInfo info;
    info.width = width;
    info.height = height;
    info.format = PixelFormat::Indexed8;
    info.sourceBits = entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
    for (unsigned i = 0; i < entries; ++i) {
        const uint8_t alpha = transparent ? static_cast<uint8_t>(i == 0 ? 0 : i == 1 ? 128 : 255) : 255;
        info.palette.push_back({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                                static_cast<uint8_t>(i * 101), alpha});
    }
    info.hasTransparency = transparent;
    std::vector<uint8_t> pixels(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            pixels[size_t{y} * width + x] = static_cast<uint8_t>((x * 3 + y * 5 + (x * y) % 7) % entries);
        }
    }
    return MemoryReader(std::move(info), std::move(pixels));
}

std::vector<uint8_t> encode(ImageWriter& writer, ImageReader& reader) {
    MemorySink sink;
    const Status status = transcode(reader, writer, sink, Limits{});
    EXPECT_TRUE(status.isOk()) << status.message;
    return sink.bytes();
}

std::vector<uint8_t> encode(OutputFormat format, ImageReader& reader, int quality) {
    WriterOptions options;
    options.quality = quality;
    const std::unique_ptr<ImageWriter> writer = makeWriter(format, options);
    return encode(*writer, reader);
}

QImage decode(const std::vector<uint8_t>& bytes) {
    QImage image;
    image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

QImage expected(const ImageInfo& info, const std::vector<uint8_t>& pixels) {
    QImage image(static_cast<int>(info.width), static_cast<int>(info.height), QImage::Format_ARGB32);
    const unsigned size = bytesPerPixel(info.format);
    auto sample = [&](const uint8_t* p, unsigned c) -> int {
        if (!is16Bit(info.format)) {
            return p[c];
        }
        uint16_t v;
        std::memcpy(&v, p + 2 * c, 2);
        return (v * 255 + 32767) / 65535;
    };
    for (uint32_t y = 0; y < info.height; ++y) {
        for (uint32_t x = 0; x < info.width; ++x) {
            const uint8_t* p = pixels.data() + (size_t{y} * info.width + x) * size;
            int r = 0, g = 0, b = 0, a = 255;
            switch (channels(info.format)) {
                case 1:
                    if (info.format == PixelFormat::Indexed8) {
                        const PaletteEntry e = p[0] < info.palette.size() ? info.palette[p[0]] : PaletteEntry{};
                        r = e.r, g = e.g, b = e.b, a = e.a;
                    } else {
                        r = g = b = sample(p, 0);
                    }
                    break;
                case 2: r = g = b = sample(p, 0), a = sample(p, 1); break;
                case 3: r = sample(p, 0), g = sample(p, 1), b = sample(p, 2); break;
                default: r = sample(p, 0), g = sample(p, 1), b = sample(p, 2), a = sample(p, 3); break;
            }
            image.setPixel(static_cast<int>(x), static_cast<int>(y), qRgba(r, g, b, a));
        }
    }
    return image;
}

std::vector<uint8_t> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    return std::vector<uint8_t>(data.begin(), data.end());
}

void writeFile(const QString& path, const std::vector<uint8_t>& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())),
              static_cast<qint64>(bytes.size()));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void expectSamePixels(const QImage& actual, const QImage& wanted) {
    ASSERT_FALSE(actual.isNull());
    ASSERT_EQ(actual.size(), wanted.size());
    for (int y = 0; y < wanted.height(); ++y) {
        for (int x = 0; x < wanted.width(); ++x) {
            const QRgb a = actual.pixel(x, y), w = wanted.pixel(x, y);
            // Fully transparent pixels keep their colour in our files, but readers may drop it.
            if (qAlpha(w) == 0 && qAlpha(a) == 0) {
                continue;
            }
            ASSERT_EQ(a, w) << "pixel " << x << "," << y;
        }
    }
}


void expectedPixelsAt(const QString& path, const MemoryReader& reader) {
    expectSamePixels(decode(readFile(path)), expected(reader.info(), reader.pixels()));
}

}  // namespace WriteTest
