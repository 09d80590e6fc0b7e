#include "tests/engine/read/ReadTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cstdlib>
#include <sstream>

using namespace tessaplex;

namespace ReadTest {
namespace {

constexpr uint8_t kGuard = 0xCD;
constexpr size_t kPad = 3;

Decoded readAllRows(const Status& opened, std::unique_ptr<ImageReader>& reader, uint32_t band) {
    Decoded d;
    d.status = opened;
    if (!opened.isOk()) {
        return d;
    }
    d.opened = true;
    d.info = reader->info();
    const size_t rowBytes = size_t{d.info.width} * bytesPerPixel(d.info.format);
    const size_t stride = rowBytes + kPad;
    std::vector<uint8_t> buffer;
    d.pixels.reserve(rowBytes * d.info.height);
    for (uint32_t y = 0; y < d.info.height; y += band) {
        const uint32_t n = std::min(band, d.info.height - y);
        buffer.assign(stride * n, kGuard);
        d.status = reader->readRows(buffer.data(), stride, n);
        if (!d.status.isOk()) {
            return d;
        }
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* row = buffer.data() + i * stride;
            for (size_t k = 0; k < kPad; ++k) {
                if (row[rowBytes + k] != kGuard) {
                    d.status = Status::readError("test: the reader wrote past the end of a row");
                    return d;
                }
            }
            d.pixels.insert(d.pixels.end(), row, row + rowBytes);
        }
    }
    return d;
}

uint16_t get16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

}  // namespace

Decoded decodeFile(const QString& path, const Limits& limits, uint32_t band) {
    std::unique_ptr<ImageReader> reader;
    const Status status = openReader(QFile::encodeName(path).toStdString(), limits, reader);
    return readAllRows(status, reader, band);
}

Decoded decodeBytes(const std::vector<uint8_t>& bytes, const std::string& name, const Limits& limits, uint32_t band) {
    std::unique_ptr<ImageReader> reader;
    const Status status = openReaderFromMemory(bytes.data(), bytes.size(), name, limits, reader);
    return readAllRows(status, reader, band);
}

std::vector<uint16_t> toRgba64(const Decoded& d) {
    const size_t n = size_t{d.info.width} * d.info.height;
    std::vector<uint16_t> out(n * 4);
    const uint8_t* p = d.pixels.data();
    const unsigned bpp = bytesPerPixel(d.info.format);
    for (size_t i = 0; i < n; ++i, p += bpp) {
        uint16_t* o = &out[i * 4];
        switch (d.info.format) {
            case PixelFormat::Gray8:
                o[0] = o[1] = o[2] = p[0] * 257, o[3] = 65535;
                break;
            case PixelFormat::GrayAlpha8:
                o[0] = o[1] = o[2] = p[0] * 257, o[3] = p[1] * 257;
                break;
            case PixelFormat::Rgb8:
                o[0] = p[0] * 257, o[1] = p[1] * 257, o[2] = p[2] * 257, o[3] = 65535;
                break;
            case PixelFormat::Rgba8:
                o[0] = p[0] * 257, o[1] = p[1] * 257, o[2] = p[2] * 257, o[3] = p[3] * 257;
                break;
            case PixelFormat::Indexed8: {
                const PaletteEntry e = p[0] < d.info.palette.size() ? d.info.palette[p[0]] : PaletteEntry{1, 2, 3, 4};
                o[0] = e.r * 257, o[1] = e.g * 257, o[2] = e.b * 257, o[3] = e.a * 257;
                break;
            }
            case PixelFormat::Gray16:
                o[0] = o[1] = o[2] = get16(p), o[3] = 65535;
                break;
            case PixelFormat::GrayAlpha16:
                o[0] = o[1] = o[2] = get16(p), o[3] = get16(p + 2);
                break;
            case PixelFormat::Rgb16:
                o[0] = get16(p), o[1] = get16(p + 2), o[2] = get16(p + 4), o[3] = 65535;
                break;
            case PixelFormat::Rgba16:
                o[0] = get16(p), o[1] = get16(p + 2), o[2] = get16(p + 4), o[3] = get16(p + 6);
                break;
        }
    }
    return out;
}

std::vector<uint16_t> toRgba64(const QImage& image) {
    const QImage img = image.convertToFormat(QImage::Format_RGBA64);
    std::vector<uint16_t> out(size_t(img.width()) * img.height() * 4);
    for (int y = 0; y < img.height(); ++y) {
        std::memcpy(&out[size_t(y) * img.width() * 4], img.constScanLine(y), size_t(img.width()) * 8);
    }
    return out;
}

Difference compare(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, uint32_t width) {
    Difference d;
    if (a.size() != b.size()) {
        d.maxChannel = 65535;
        d.firstMismatch = "sizes differ";
        return d;
    }
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        const bool bothClear = a[i + 3] == 0 && b[i + 3] == 0;
        for (size_t c = bothClear ? 3 : 0; c < 4; ++c) {
            const uint32_t diff = static_cast<uint32_t>(std::abs(int(a[i + c]) - int(b[i + c])));
            sum += diff;
            if (diff > d.maxChannel) {
                d.maxChannel = diff;
                std::ostringstream where;
                const size_t px = i / 4;
                where << "pixel (" << px % width << ", " << px / width << ") channel " << c << ": " << a[i + c]
                      << " vs " << b[i + c];
                d.firstMismatch = where.str();
            }
        }
    }
    d.meanChannel = a.empty() ? 0 : double(sum) / double(a.size());
    return d;
}

QImage qtRead(const QString& path, bool autoTransform) {
    QImageReader reader(path);
    reader.setAutoTransform(autoTransform);
    return reader.read();
}

std::vector<uint8_t> readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = f.readAll();
    return std::vector<uint8_t>(data.begin(), data.end());
}

void writeAll(const QString& path, const std::vector<uint8_t>& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
}

QStringList filesIn(const QString& dir, const QString& pattern) {
    QStringList names = QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
    for (QString& n : names) {
        n = dir + QLatin1Char('/') + n;
    }
    return names;
}

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

std::vector<uint8_t> makeBmp(const std::vector<uint8_t>& info, const std::vector<uint8_t>& extra,
                             const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> file{'B', 'M'};
    const uint32_t offset = uint32_t(14 + info.size() + extra.size());
    put32(file, uint32_t(offset + pixels.size()));
    put32(file, 0);
    put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), extra.begin(), extra.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

std::vector<uint8_t> bmpInfoHeader(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                                   uint32_t colorsUsed, uint32_t sizeImage) {
    std::vector<uint8_t> h;
    put32(h, 40);
    put32(h, uint32_t(width));
    put32(h, uint32_t(height));
    put16(h, 1);
    put16(h, bpp);
    put32(h, compression);
    put32(h, sizeImage);
    put32(h, 2835);
    put32(h, 2835);
    put32(h, colorsUsed);
    put32(h, 0);
    return h;
}

namespace {

unsigned tableBits(size_t entries) {
    unsigned bits = 0;
    while ((size_t{2} << bits) < entries) {
        ++bits;
    }
    return bits;
}

void putTable(std::vector<uint8_t>& out, const std::vector<uint8_t>& table) {
    out.insert(out.end(), table.begin(), table.end());
    const size_t entries = size_t{2} << tableBits(table.size() / 3);
    out.resize(out.size() + entries * 3 - table.size(), 0);
}

}  // namespace

std::vector<uint8_t> makeGif(const GifSpec& s) {
    std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, s.screenWidth);
    put16(out, s.screenHeight);
    out.push_back(s.globalTable.empty() ? 0x70 : uint8_t(0xF0 | tableBits(s.globalTable.size() / 3)));
    out.push_back(0);
    out.push_back(0);
    if (!s.globalTable.empty()) {
        putTable(out, s.globalTable);
    }
    if (s.transparent >= 0) {
        out.insert(out.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, uint8_t(s.transparent), 0x00});
    }
    out.push_back(0x2C);
    put16(out, s.left);
    put16(out, s.top);
    put16(out, s.width);
    put16(out, s.height);
    uint8_t flags = s.interlaced ? 0x40 : 0;
    if (!s.localTable.empty()) {
        flags |= uint8_t(0x80 | tableBits(s.localTable.size() / 3));
    }
    out.push_back(flags);
    if (!s.localTable.empty()) {
        putTable(out, s.localTable);
    }
    // Rows in file order.
    std::vector<uint32_t> order;
    if (s.interlaced) {
        const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int p = 0; p < 4; ++p) {
            for (uint32_t r = start[p]; r < s.height; r += step[p]) {
                order.push_back(r);
            }
        }
    } else {
        for (uint32_t r = 0; r < s.height; ++r) {
            order.push_back(r);
        }
    }
    const unsigned cs = s.codeSize;
    const uint32_t clear = 1u << cs, eoi = clear + 1;
    const unsigned bits = cs + 1;
    const uint32_t limit = (1u << bits) - clear - 3;
    std::vector<uint8_t> data;
    uint32_t acc = 0;
    unsigned accBits = 0;
    const auto putCode = [&](uint32_t code) {
        acc |= code << accBits;
        accBits += bits;
        while (accBits >= 8) {
            data.push_back(uint8_t(acc));
            acc >>= 8;
            accBits -= 8;
        }
    };
    putCode(clear);
    uint32_t sinceClear = 0;
    for (uint32_t r : order) {
        for (uint32_t x = 0; x < s.width; ++x) {
            if (sinceClear == limit) {
                putCode(clear);
                sinceClear = 0;
            }
            putCode(s.indices[size_t(r) * s.width + x]);
            ++sinceClear;
        }
    }
    putCode(eoi);
    if (accBits > 0) {
        data.push_back(uint8_t(acc));
    }
    out.push_back(uint8_t(cs));
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

std::vector<uint8_t> makeJpeg(const QImage& image, int quality, int orientation) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    std::vector<uint8_t> out(bytes.begin(), bytes.end());
    if (orientation > 0) {
        const std::vector<uint8_t> tiff{'M',  'M',  0, 42, 0, 0, 0, 8, 0, 1,  // one entry
                                        0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, uint8_t(orientation),
                                        0,    0,    0, 0,  0, 0};
        std::vector<uint8_t> app1{0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
        app1.insert(app1.end(), tiff.begin(), tiff.end());
        const size_t length = app1.size() - 2;
        app1[2] = uint8_t(length >> 8);
        app1[3] = uint8_t(length);
        out.insert(out.begin() + 2, app1.begin(), app1.end());
    }
    return out;
}

std::vector<uint8_t> makePng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

QImage testPicture(int width, int height, bool alpha) {
    QImage img(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255) / std::max(1, width - 1);
            const int g = (y * 255) / std::max(1, height - 1);
            const int b = ((x / 8 + y / 8) % 2) ? 220 : 30;
            const int a = alpha ? (x + y) % 256 : 255;
            img.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    return img;
}

}  // namespace ReadTest
