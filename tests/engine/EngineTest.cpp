#include "tests/engine/EngineTest.h"

#include "engine/core/Driver.h"
#include "engine/tessaplex.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <cstring>
#include <map>

using namespace tessaplex;

namespace EngineTest {
namespace {

void put16(Bytes& v, uint32_t x) { append(v, {uint8_t(x), uint8_t(x >> 8)}); }  // little-endian
void put32(Bytes& v, uint32_t x) { put16(v, x & 0xFFFF), put16(v, x >> 16); }

Decoded readAllRows(const Status& opened, const std::unique_ptr<ImageReader>& reader, uint32_t band) {
    constexpr uint8_t kGuard = 0xCD;
    constexpr size_t kPad = 3;
    Decoded d{opened, {}, {}, opened.isOk()};
    if (!d.opened) {
        return d;
    }
    d.info = reader->info();
    const size_t rowBytes = size_t{d.info.width} * bytesPerPixel(d.info.format), stride = rowBytes + kPad;
    Bytes buffer;
    for (uint32_t y = 0; y < d.info.height && d.status.isOk(); y += band) {
        const uint32_t n = std::min(band, d.info.height - y);
        buffer.assign(stride * n, kGuard);
        d.status = reader->readRows(buffer.data(), stride, n);
        for (uint32_t i = 0; i < n && d.status.isOk(); ++i) {
            const uint8_t* row = buffer.data() + i * stride;
            if (std::any_of(row + rowBytes, row + stride, [](uint8_t b) { return b != kGuard; })) {
                d.status = Status::readError("test: the reader wrote past the end of a row");
            }
            d.pixels.insert(d.pixels.end(), row, row + rowBytes);
        }
    }
    return d;
}

}  // namespace

Decoded decodeFile(const QString& path, const Limits& limits, uint32_t band) {
    std::unique_ptr<ImageReader> reader;
    const Status status = openReader(local(path), limits, reader);
    return readAllRows(status, reader, band);
}

Decoded decodeBytes(const Bytes& bytes, const std::string& name, const Limits& limits, uint32_t band) {
    std::unique_ptr<ImageReader> reader;
    const Status status = openReaderFromMemory(bytes.data(), bytes.size(), name, limits, reader);
    return readAllRows(status, reader, band);
}

QImage qtRead(const QString& path, bool autoTransform) { return qtRead(readFile(path), autoTransform); }

QImage qtRead(const Bytes& bytes, bool autoTransform) {
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    reader.setAutoTransform(autoTransform);
    return reader.read();
}

Rgba64 rgba64(const ImageInfo& info, const Bytes& pixels) {
    const size_t n = size_t{info.width} * info.height;
    const unsigned size = bytesPerPixel(info.format), count = channels(info.format);
    const bool wide = is16Bit(info.format);
    Rgba64 out(n * 4);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = pixels.data() + i * size;
        uint16_t s[4] = {0, 0, 0, 65535};
        for (unsigned c = 0; c < count; ++c) {
            if (wide) {
                std::memcpy(&s[c], p + 2 * c, 2);
            } else {
                s[c] = uint16_t(p[c] * 257);
            }
        }
        uint16_t* o = &out[i * 4];
        if (info.format == PixelFormat::Indexed8) {
            const PaletteEntry e = p[0] < info.palette.size() ? info.palette[p[0]] : PaletteEntry{1, 2, 3, 4};
            o[0] = e.r * 257, o[1] = e.g * 257, o[2] = e.b * 257, o[3] = e.a * 257;
        } else if (count <= 2) {
            o[0] = o[1] = o[2] = s[0], o[3] = count == 2 ? s[1] : 65535;
        } else {
            std::copy_n(s, 4, o);
        }
    }
    return out;
}

Rgba64 rgba64(const QImage& image) {
    const QImage img = image.convertToFormat(QImage::Format_RGBA64);
    Rgba64 out(size_t(img.width()) * img.height() * 4);
    for (int y = 0; y < img.height(); ++y) {
        std::memcpy(&out[size_t(y) * img.width() * 4], img.constScanLine(y), size_t(img.width()) * 8);
    }
    return out;
}

::testing::AssertionResult samePixels(const Rgba64& a, const Rgba64& b, uint32_t width, uint32_t tolerance) {
    if (a.size() != b.size() || a.empty()) {
        return ::testing::AssertionFailure() << "sizes differ: " << a.size() << " vs " << b.size();
    }
    for (size_t i = 0; i < a.size(); i += 4) {
        const bool bothClear = a[i + 3] == 0 && b[i + 3] == 0;
        for (size_t c = bothClear ? 3 : 0; c < 4; ++c) {
            if (uint32_t(std::abs(int(a[i + c]) - int(b[i + c]))) > tolerance) {
                const size_t px = i / 4, w = std::max(width, 1u);
                return ::testing::AssertionFailure() << "pixel (" << px % w << ", " << px / w << ") channel " << c
                                                     << ": " << a[i + c] << " vs " << b[i + c];
            }
        }
    }
    return ::testing::AssertionSuccess();
}

Bytes readFile(const QString& path) {
    QFile f(path);
    const QByteArray data = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    return Bytes(data.begin(), data.end());
}

void writeFile(const QString& path, const Bytes& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
}

QStringList filesIn(const QString& dir, const QString& pattern) {
    QStringList names = QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
    for (QString& n : names) {
        n = dir + QLatin1Char('/') + n;
    }
    return names;
}

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

Bytes makeBmp(const BmpFields& f) {
    const uint32_t headerSize = f.masks.empty() ? 40 : 124;
    const uint32_t offset = 14 + headerSize + uint32_t(f.palette.size());
    Bytes b{'B', 'M'};
    for (const uint32_t v : {offset + uint32_t(f.pixels.size()), 0u, offset, headerSize, uint32_t(f.width),
                             uint32_t(f.height), f.bpp << 16 | 1u, f.compression, 0u, 2835u, 2835u,
                             uint32_t(f.palette.size() / 4), 0u}) {
        put32(b, v);
    }
    if (!f.masks.empty()) {
        for (const uint32_t m : f.masks) {
            put32(b, m);
        }
        put32(b, 0x73524742);  // 'sRGB'
        b.resize(14 + headerSize, 0);
    }
    b.insert(b.end(), f.palette.begin(), f.palette.end());
    b.insert(b.end(), f.pixels.begin(), f.pixels.end());
    return b;
}

Bytes grayPalette(int entries) {
    Bytes p;
    for (int i = 0; i < entries; ++i) {
        const uint8_t v = uint8_t(i * 255 / std::max(1, entries - 1));
        append(p, {v, v, v, 0});
    }
    return p;
}

Bytes makeGif(const GifFields& s) {
    unsigned bits = 0;  // the table holds 2 << bits entries
    while ((size_t{2} << bits) * 3 < s.globalTable.size()) {
        ++bits;
    }
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, s.screenWidth), put16(out, s.screenHeight);
    append(out, {uint8_t(s.globalTable.empty() ? 0x70 : 0xF0 | bits), 0, 0});
    if (!s.globalTable.empty()) {
        out.insert(out.end(), s.globalTable.begin(), s.globalTable.end());
        out.resize(out.size() + (size_t{2} << bits) * 3 - s.globalTable.size(), 0);
    }
    if (s.transparent >= 0) {
        append(out, {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, uint8_t(s.transparent), 0x00});
    }
    out.push_back(0x2C);
    for (const uint16_t v : {s.left, s.top, s.width, s.height}) {
        put16(out, v);
    }
    out.push_back(s.interlaced ? 0x40 : 0);
    Bytes stream;  // the indices in file order, then any past the frame
    const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (s.interlaced ? 4 : 1); ++pass) {
        for (uint32_t r = s.interlaced ? start[pass] : 0; r < s.height; r += s.interlaced ? step[pass] : 1) {
            for (size_t i = size_t(r) * s.width; i < size_t(r + 1) * s.width && i < s.indices.size(); ++i) {
                stream.push_back(s.indices[i]);
            }
        }
    }
    stream.insert(stream.end(), s.indices.begin() + long(std::min(s.indices.size(), size_t(s.width) * s.height)),
                  s.indices.end());
    // LZW as the decoder reads it: after each code but the first after a clear, the next
    // free code is taken, and codes widen once it reaches 2^width. A full table is kept
    // for a while before a clear code starts a new one.
    Bytes data;
    uint32_t acc = 0, accBits = 0, width = s.codeSize + 1u, avail = 0, sinceFull = 0;
    const uint32_t clear = 1u << s.codeSize;
    const auto code = [&](uint32_t c) {
        for (acc |= c << accBits, accBits += width; accBits >= 8; acc >>= 8, accBits -= 8) {
            data.push_back(uint8_t(acc));
        }
    };
    std::map<uint32_t, uint32_t> table;  // prefix code << 8 | byte: code
    bool first = true;
    const auto restart = [&] {
        code(clear);
        table.clear(), width = s.codeSize + 1u, avail = clear + 2, first = true;
    };
    const auto send = [&](uint32_t c) {
        code(c);
        avail += !first && avail < 4096;
        width += avail >= (1u << width) && width < 12;
        first = false;
    };
    restart();
    uint32_t prefix = stream.empty() ? ~0u : stream[0];
    for (size_t i = 1; i < stream.size(); ++i) {
        const auto found = table.find(prefix << 8 | stream[i]);
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        send(prefix);
        if (table.size() + clear + 2 < 4096) {
            table.emplace(prefix << 8 | stream[i], uint32_t(table.size() + clear + 2));
        } else if (++sinceFull == 500) {
            restart(), sinceFull = 0;
        }
        prefix = stream[i];
    }
    if (!stream.empty()) {
        send(prefix);
    }
    code(clear + 1);
    if (accBits > 0) {
        data.push_back(uint8_t(acc));
    }
    out.push_back(s.codeSize);
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    append(out, {0, 0x3B});
    return out;
}

Bytes qtEncode(const QImage& image, const char* format, int quality, bool progressive, int orientation,
               bool littleEndian) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    Bytes out(bytes.begin(), bytes.end());
    if (orientation > 0) {  // APP1 "Exif", a TIFF block with one entry: 0x0112 SHORT
        const uint8_t n = uint8_t(orientation);
        const Bytes app1 = littleEndian
                               ? Bytes{0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                       0x12, 0x01, 3, 0, 1, 0, 0, 0, n, 0, 0, 0, 0, 0, 0, 0}
                               : Bytes{0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                       0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, n, 0, 0, 0, 0, 0, 0};
        out.insert(out.begin() + 2, app1.begin(), app1.end());
    }
    return out;
}

Bytes iccProfile(size_t size) {
    Bytes p(size);
    for (size_t i = 132; i < size; ++i) {  // no tags
        p[i] = uint8_t(i * 7 % 251);
    }
    for (int s = 0; s < 4; ++s) {
        p[s] = uint8_t(size >> (24 - 8 * s));
    }
    p[8] = 2, p[9] = 0x10;  // version 2.1
    std::memcpy(&p[12], "mntrRGB XYZ ", 12);
    std::memcpy(&p[36], "acsp", 4);
    const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::memcpy(&p[68], d50, 12);
    return p;
}

Status MemoryReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    const size_t rowBytes = size_t{m_info.width} * bytesPerPixel(m_info.format);
    for (uint32_t r = 0; r < count; ++r, ++m_row) {
        if (m_row >= m_failAfter || m_row >= m_info.height) {
            return Status::readError("Truncated test image");
        }
        std::memcpy(dst + r * stride, m_pixels.data() + m_row * rowBytes, rowBytes);
    }
    return Status::ok();
}

MemoryReader makeImage(PixelFormat format, uint32_t width, uint32_t height, unsigned seed) {
    ImageInfo info;
    info.width = width, info.height = height, info.format = format;
    info.sourceBits = is16Bit(format) ? 16 : 8;
    info.hasTransparency = hasAlphaChannel(format);
    const unsigned n = channels(format);
    Bytes pixels(size_t{width} * height * bytesPerPixel(format));
    for (size_t i = 0; i < size_t{width} * height * n; ++i) {
        const uint32_t x = uint32_t(i / n % width), y = uint32_t(i / n / width), c = uint32_t(i % n);
        uint32_t noise = uint32_t(i + seed * 7919) * 2654435761u;
        noise = (noise ^ noise >> 15) * 0x5bd1e995u;
        noise ^= noise >> 13;
        const bool alpha = hasAlphaChannel(format) && c == n - 1;
        const uint32_t v = alpha ? (x % 3 == 0 ? 0 : x % 3 == 1 ? 255 : (y * 37 + x) & 255)
                                 : (x * 255 / std::max(1u, width - 1) + y * 3 + c * 60 + noise % 16) & 255;
        if (is16Bit(format)) {
            const uint16_t w = uint16_t(v * 257 + (alpha ? 0 : noise % 251));
            std::memcpy(&pixels[2 * i], &w, 2);
        } else {
            pixels[i] = uint8_t(v);
        }
    }
    return MemoryReader(std::move(info), std::move(pixels));
}

MemoryReader makeIndexedImage(uint32_t width, uint32_t height, unsigned entries, bool transparent) {
    ImageInfo info;
    info.width = width, info.height = height, info.format = PixelFormat::Indexed8;
    info.sourceBits = entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
    for (unsigned i = 0; i < entries; ++i) {
        const uint8_t alpha = transparent && i < 2 ? uint8_t(i * 128) : 255;
        info.palette.push_back({uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 101), alpha});
    }
    info.hasTransparency = transparent;
    Bytes pixels(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            pixels[size_t{y} * width + x] = uint8_t((x * 3 + y * 5 + (x * y) % 7) % entries);
        }
    }
    return MemoryReader(std::move(info), std::move(pixels));
}

Bytes encode(OutputFormat format, ImageReader& reader, int quality, uint64_t memoryBudget) {
    MemorySink sink;
    const auto writer = makeWriter(format, WriterOptions{quality, memoryBudget});
    const Status status = transcode(reader, *writer, sink, Limits{});
    EXPECT_TRUE(status.isOk()) << status.message;
    return sink.bytes();
}

Answer convertFiles(const QString& input, const QString& output, int32_t quality) {
    char buffer[256];
    std::memset(buffer, 0x55, sizeof buffer);
    int32_t kind = 99;
    const QByteArray in = QFile::encodeName(input), out = QFile::encodeName(output);
    const int32_t result =
        _convert_graphics_file_2("", in.constData(), "", out.constData(), 0, quality, 0, 0, buffer, &kind);
    EXPECT_TRUE(std::memchr(buffer, 0, sizeof buffer)) << "the message is not terminated";
    return {result, kind, std::string(buffer, strnlen(buffer, sizeof buffer))};
}

}  // namespace EngineTest
