// Windows and OS/2 bitmaps, read by our own code: every header version, 1 to 32 bits
// per pixel, RLE4/RLE8, bit-field masks of any width. Uncompressed pixels stream
// from the file in large blocks (bottom-up files are read from the end); RLE images
// are decoded whole at open, since their rows arrive bottom-up and pixels they skip
// turn the image transparent.
#include "engine/read/ByteSource.h"
#include "engine/read/FormatReaders.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace tessaplex::read {
namespace {

constexpr const char* kBmp = "BMP";

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4,
                   kBiAlphaBitfields = 6;
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
// Pixels are read in blocks of about this size: few system calls, and a buffer that
// comes from the heap the process already has (fresh pages cost a fault each, which
// for a photo costs more than reading it).
constexpr size_t kBlockBytes = 64 << 10;
constexpr uint32_t kMaxIccBytes = 16u << 20;

unsigned countTrailingZeros(uint32_t v) {
    unsigned n = 0;
    while (n < 32 && !(v & (1u << n))) {
        ++n;
    }
    return n;
}

// One colour channel of a bit-field pixel, scaled to 8 bits with rounding.
struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    uint32_t max = 0;
    std::vector<uint8_t> lut;  // by raw value, when the field has at most 16 bits

    // False for a mask whose bits are not contiguous.
    bool set(uint32_t m) {
        mask = m;
        if (m == 0) {
            return true;
        }
        shift = countTrailingZeros(m);
        max = m >> shift;
        if ((max & (max + 1)) != 0) {
            return false;
        }
        if (max <= 0xFFFF) {
            lut.resize(size_t{max} + 1);
            for (uint32_t v = 0; v <= max; ++v) {
                lut[v] = static_cast<uint8_t>((uint64_t{v} * 255 + max / 2) / max);
            }
        }
        return true;
    }
    uint32_t raw(uint32_t px) const { return (px & mask) >> shift; }
    uint8_t get(uint32_t px) const {
        const uint32_t v = raw(px);
        return lut.empty() ? static_cast<uint8_t>((uint64_t{v} * 255 + max / 2) / max) : lut[v];
    }
};

// What the header says, after parsing and before validation against the file.
struct Header {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    bool os2 = false;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 1;
    uint32_t bpp = 0;
    uint32_t compression = kBiRgb;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool masksInHeader = false;  // V2 and later carry R, G, B masks
    bool alphaInHeader = false;  // V3 and later carry an alpha mask too
    uint32_t csType = 0;
    uint32_t profileOffset = 0;
    uint32_t profileSize = 0;
};

enum class Layout { Stream, Buffered };

class BmpReader final : public ImageReader {
public:
    BmpReader(std::unique_ptr<ByteSource> source, const Limits& limits) : m_src(std::move(source)), m_limits(limits) {}

    const ImageInfo& info() const override { return m_info; }

    Status open();
    Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;

private:
    Status parseHeader(Header& h);
    Status checkHeader(const Header& h);
    Status readPalette(const Header& h, uint64_t paletteStart, unsigned entrySize);
    Status setMasks(const Header& h);
    Status readProfile(const Header& h);
    Status scanAlpha();
    Status loadBlock(uint32_t fileRow, bool forwards);
    Status convertRow(const uint8_t* src, uint8_t* dst);
    Status decodeRle(bool four);
    Status emptyPixels() const;
    Status streamRows(uint8_t* dst, size_t stride, uint32_t count);

    std::unique_ptr<ByteSource> m_src;
    Limits m_limits;
    ImageInfo m_info;
    Layout m_layout = Layout::Stream;

    uint32_t m_bpp = 0;
    uint32_t m_compression = kBiRgb;
    bool m_topDown = false;
    uint64_t m_dataOffset = 0;
    size_t m_fileStride = 0;
    // Entries the file really has; an index at or past it is an error.
    size_t m_paletteCount = 0;

    bool m_useMasks = false;
    bool m_useAlpha = false;
    Channel m_red, m_green, m_blue, m_alpha;

    std::unique_ptr<uint8_t[]> m_block;  // not zero-filled: rows are read before they are used
    uint32_t m_blockFirst = 0;  // file row of the block's first row
    uint32_t m_blockRows = 0;

    std::vector<uint8_t> m_image;  // Buffered: the decoded image, top row first
    size_t m_imageStride = 0;

    uint32_t m_nextRow = 0;
};

Status BmpReader::parseHeader(Header& h) {
    uint8_t fh[14 + 124] = {};
    if (!m_src->readExact(fh, 18)) {
        return corrupt(kBmp, "the header is truncated");
    }
    h.dataOffset = loadLE32(fh + 10);
    h.headerSize = loadLE32(fh + 14);
    const uint32_t hs = h.headerSize;
    // 12: OS/2 1.x core header. 40, 52, 56, 108, 124: Windows versions 1 to 5.
    // 16 to 64 in steps of 4: OS/2 2.x, whose header may stop after any field.
    const bool windows = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;
    const bool os2v2 = !windows && hs >= 16 && hs <= 64 && hs % 4 == 0;
    if (hs != 12 && !windows && !os2v2) {
        return corrupt(kBmp, "unknown header size " + std::to_string(hs));
    }
    if (!m_src->readExact(fh + 18, hs - 4)) {
        return corrupt(kBmp, "the header is truncated");
    }
    const uint8_t* ih = fh + 14;
    if (hs == 12) {
        h.os2 = true;
        h.width = loadLE16(ih + 4);
        h.height = loadLE16(ih + 6);
        h.planes = loadLE16(ih + 8);
        h.bpp = loadLE16(ih + 10);
        return Status::ok();
    }
    h.os2 = os2v2;
    h.width = static_cast<int32_t>(loadLE32(ih + 4));
    h.height = static_cast<int32_t>(loadLE32(ih + 8));
    h.planes = loadLE16(ih + 12);
    h.bpp = loadLE16(ih + 14);
    // Fields an OS/2 2.x header leaves out read as zero.
    h.compression = hs >= 20 ? loadLE32(ih + 16) : 0;
    h.sizeImage = hs >= 24 ? loadLE32(ih + 20) : 0;
    h.xPelsPerMeter = hs >= 32 ? static_cast<int32_t>(loadLE32(ih + 24)) : 0;
    h.yPelsPerMeter = hs >= 32 ? static_cast<int32_t>(loadLE32(ih + 28)) : 0;
    h.colorsUsed = hs >= 36 ? loadLE32(ih + 32) : 0;
    if (windows && hs >= 52) {
        h.masksInHeader = true;
        h.masks[0] = loadLE32(ih + 40);
        h.masks[1] = loadLE32(ih + 44);
        h.masks[2] = loadLE32(ih + 48);
        if (hs >= 56) {
            h.alphaInHeader = true;
            h.masks[3] = loadLE32(ih + 52);
        }
    }
    if (hs >= 108 && windows) {
        h.csType = loadLE32(ih + 56);
    }
    if (hs >= 124) {
        h.profileOffset = loadLE32(ih + 112);
        h.profileSize = loadLE32(ih + 116);
    }
    return Status::ok();
}

Status BmpReader::checkHeader(const Header& h) {
    if (h.planes != 1) {
        return corrupt(kBmp, "the number of planes is not 1");
    }
    // A 40-byte header may be an OS/2 2.x header cut short; its compression codes 3 and
    // 4 (Huffman 1D, RLE24) then overlap the Windows codes and show by the bit count.
    const bool os2Codes = h.os2 || (h.headerSize == 40 && ((h.compression == kBiBitfields && h.bpp == 1) ||
                                                           (h.compression == kBiJpeg && h.bpp == 24)));
    switch (h.compression) {
        case kBiRgb:
            if (h.bpp == 64) {
                return Status::readError(kUnsupportedOption);
            }
            if (h.bpp != 1 && h.bpp != 2 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) {
                return Status::readError(kInvalidBitsPerPixel);
            }
            break;
        case kBiRle8:
        case kBiRle4:
            if (h.bpp != (h.compression == kBiRle8 ? 8u : 4u)) {
                return Status::readError(kInvalidBitsPerPixel);
            }
            if (h.height < 0) {
                return corrupt(kBmp, "a compressed bitmap cannot be stored top-down");
            }
            break;
        case kBiBitfields:
        case kBiAlphaBitfields:
            if (os2Codes) {
                return Status::readError(kUnsupportedOption);  // OS/2 Huffman 1D
            }
            if (h.bpp != 16 && h.bpp != 32) {
                return Status::readError(kInvalidBitsPerPixel);
            }
            break;
        default:
            // JPEG or PNG inside, OS/2 RLE24, CMYK variants, or a code nobody defined.
            return Status::readError(kUnsupportedOption);
    }
    if (h.width <= 0) {
        return corrupt(kBmp, "invalid width " + std::to_string(h.width));
    }
    if (h.height == 0 || h.height == INT32_MIN) {
        return corrupt(kBmp, "invalid height " + std::to_string(h.height));
    }
    // The file-size field, and the image-size field of uncompressed pixels, only repeat
    // what the other fields say and are often wrong; whether the rows are there decides.
    const uint64_t fileSize = m_src->size();
    if (h.dataOffset >= fileSize) {
        return corrupt(kBmp, "the pixel data is missing");
    }
    const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
    if (rle && h.sizeImage > fileSize - h.dataOffset) {
        return corrupt(kBmp, "the pixel data is shorter than its header says");
    }
    return Status::ok();
}

Status BmpReader::readPalette(const Header& h, uint64_t paletteStart, unsigned entrySize) {
    const uint64_t fileSize = m_src->size();
    if (h.dataOffset < paletteStart) {
        return corrupt(kBmp, "the pixel data overlaps the header");
    }
    uint64_t declared = h.colorsUsed;
    if (declared == 0) {
        declared = uint64_t{1} << h.bpp;
    } else if (declared * entrySize > fileSize - paletteStart) {
        return corrupt(kBmp, "the palette is larger than the file");
    }
    // The pixel data's offset bounds the palette: OS/2 1.x files give no colour count.
    const uint64_t room = (h.dataOffset - paletteStart) / entrySize;
    const size_t count = static_cast<size_t>(std::min({declared, room, uint64_t{1} << h.bpp}));
    if (count == 0) {
        return corrupt(kBmp, "the palette is missing");
    }
    uint8_t raw[256 * 4];
    if (!m_src->seek(paletteStart) || !m_src->readExact(raw, count * entrySize)) {
        return corrupt(kBmp, "the palette is truncated");
    }
    m_info.palette.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = raw + i * entrySize;
        m_info.palette[i] = PaletteEntry{e[2], e[1], e[0], 255};
    }
    m_paletteCount = count;
    return Status::ok();
}

Status BmpReader::setMasks(const Header& h) {
    uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.alphaInHeader ? h.masks[3] : 0};
    if (h.compression == kBiRgb) {
        // Fixed layouts; whatever masks a newer header carries do not apply.
        if (h.bpp == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
        } else {
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0;
        }
    } else if (!h.masksInHeader) {
        // A version 1 header is followed by three masks, or four with BI_ALPHABITFIELDS.
        const size_t n = h.compression == kBiAlphaBitfields ? 4 : 3;
        uint8_t raw[16];
        if (!m_src->seek(14 + uint64_t{h.headerSize}) || !m_src->readExact(raw, n * 4)) {
            return corrupt(kBmp, "the bit-field masks are truncated");
        }
        for (size_t i = 0; i < n; ++i) {
            masks[i] = loadLE32(raw + 4 * i);
        }
    }
    const uint32_t pixelBits = h.bpp == 32 ? 0xFFFFFFFFu : (1u << h.bpp) - 1;
    uint32_t seen = 0;
    for (uint32_t m : masks) {
        if ((m & ~pixelBits) != 0 || (m & seen) != 0) {
            return corrupt(kBmp, "invalid bit-field masks");
        }
        seen |= m;
    }
    if (masks[0] == 0 || masks[1] == 0 || masks[2] == 0 || !m_red.set(masks[0]) || !m_green.set(masks[1]) ||
        !m_blue.set(masks[2]) || !m_alpha.set(masks[3])) {
        return corrupt(kBmp, "invalid bit-field masks");
    }
    m_useMasks = true;
    return Status::ok();
}

Status BmpReader::readProfile(const Header& h) {
    if (h.csType != kProfileEmbedded || h.profileSize == 0) {
        return Status::ok();  // linked profiles name a file elsewhere; sRGB needs no profile
    }
    const uint64_t start = 14 + uint64_t{h.profileOffset};
    if (h.profileSize > kMaxIccBytes || start > m_src->size() || h.profileSize > m_src->size() - start) {
        return corrupt(kBmp, "the colour profile lies outside the file");
    }
    std::vector<uint8_t> profile(h.profileSize);
    if (!m_src->seek(start) || !m_src->readExact(profile.data(), profile.size())) {
        return corrupt(kBmp, "the colour profile is truncated");
    }
    // Rows are always RGB or indexed RGB, so only an RGB profile describes them.
    if (profile.size() >= 20 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0) {
        m_info.iccProfile = std::move(profile);
    }
    return Status::ok();
}

Status BmpReader::open() {
    Header h;
    Status status = parseHeader(h);
    if (status.isOk()) {
        status = checkHeader(h);
    }
    if (!status.isOk()) {
        return status;
    }
    const uint64_t width = static_cast<uint64_t>(h.width);
    const uint64_t height = static_cast<uint64_t>(h.height < 0 ? -h.height : h.height);
    status = checkDimensions(width, height, m_limits);
    if (!status.isOk()) {
        return status;
    }
    m_info.width = static_cast<uint32_t>(width);
    m_info.height = static_cast<uint32_t>(height);
    m_info.source = SourceFormat::Bmp;
    m_bpp = h.bpp;
    m_compression = h.compression;
    m_topDown = h.height < 0;
    m_dataOffset = h.dataOffset;

    // Implausible densities (the bitmap suite has 30,000,000 against 3 pixels per metre)
    // would distort any program that honours them; the pixels are fine, so drop them.
    const int64_t xr = h.xPelsPerMeter, yr = h.yPelsPerMeter;
    if (xr >= 1 && yr >= 1 && xr <= 1000000 && yr <= 1000000 && xr <= 100 * yr && yr <= 100 * xr) {
        m_info.xPixelsPerMetre = static_cast<uint32_t>(xr);
        m_info.yPixelsPerMetre = static_cast<uint32_t>(yr);
    }

    uint64_t paletteStart = 14 + uint64_t{h.headerSize};
    if (h.headerSize == 40 && (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields)) {
        paletteStart += h.compression == kBiAlphaBitfields ? 16 : 12;
    }
    if (h.bpp <= 8) {
        status = readPalette(h, paletteStart, h.headerSize == 12 ? 3 : 4);
        m_info.format = PixelFormat::Indexed8;
        m_info.sourceBits = static_cast<uint8_t>(h.bpp);
    } else {
        if (h.dataOffset < paletteStart) {
            return corrupt(kBmp, "the pixel data overlaps the header");
        }
        m_info.format = PixelFormat::Rgb8;
        m_info.sourceBits = 8;
        if (h.bpp != 24) {
            status = setMasks(h);
        }
    }
    if (status.isOk()) {
        status = readProfile(h);
    }
    if (!status.isOk()) {
        return status;
    }

    if (h.compression == kBiRle8 || h.compression == kBiRle4) {
        return decodeRle(h.compression == kBiRle4);
    }

    uint64_t rowBytes = 0, dataBytes = 0;
    if (!checkedMul(width, uint64_t{h.bpp}, rowBytes)) {
        return corrupt(kBmp, "the row size overflows");
    }
    rowBytes = (rowBytes + 31) / 32 * 4;
    if (!checkedMul(rowBytes, height, dataBytes) || dataBytes > m_src->size() - m_dataOffset) {
        return corrupt(kBmp, "the file is truncated");
    }
    m_fileStride = static_cast<size_t>(rowBytes);
    m_blockRows = static_cast<uint32_t>(std::clamp<uint64_t>(kBlockBytes / rowBytes, 1, height));
    status = checkMemory(uint64_t{m_blockRows} * rowBytes, m_limits);
    if (!status.isOk()) {
        return status;
    }
    m_blockRows = 0;  // nothing loaded yet
    if (m_useMasks && m_alpha.mask != 0) {
        return scanAlpha();
    }
    return Status::ok();
}

// Streaming needs the output format before the first row, so an alpha channel is
// looked at once in advance: all zero (writers that leave the byte unset) or all
// opaque means no transparency at all.
Status BmpReader::scanAlpha() {
    bool anyZero = false, anyMax = false, anyOther = false;
    const size_t bytesPerPixel = m_bpp / 8;
    for (uint32_t row = 0; row < m_info.height && !anyOther && !(anyZero && anyMax); ++row) {
        if (m_blockRows == 0 || row < m_blockFirst || row >= m_blockFirst + m_blockRows) {
            Status status = loadBlock(row, true);
            if (!status.isOk()) {
                return status;
            }
        }
        const uint8_t* p = m_block.get() + size_t{row - m_blockFirst} * m_fileStride;
        for (uint32_t x = 0; x < m_info.width; ++x, p += bytesPerPixel) {
            const uint32_t px = bytesPerPixel == 2 ? loadLE16(p) : loadLE32(p);
            const uint32_t a = m_alpha.raw(px);
            anyZero |= a == 0;
            anyMax |= a == m_alpha.max;
            anyOther |= a != 0 && a != m_alpha.max;
        }
    }
    m_useAlpha = anyOther || (anyZero && anyMax);
    if (m_useAlpha) {
        m_info.format = PixelFormat::Rgba8;
        m_info.hasTransparency = true;
    }
    return Status::ok();
}

// Loads the block of file rows that holds `fileRow` and the rows after it (forwards)
// or before it, so that one large read serves many rows in either direction.
Status BmpReader::loadBlock(uint32_t fileRow, bool forwards) {
    const uint32_t rows = static_cast<uint32_t>(std::clamp<size_t>(kBlockBytes / m_fileStride, 1, m_info.height));
    const uint32_t first = forwards || fileRow + 1 < rows ? (forwards ? fileRow : 0) : fileRow + 1 - rows;
    const uint32_t count = std::min(rows, m_info.height - first);
    if (!m_block) {
        m_block.reset(new uint8_t[size_t{rows} * m_fileStride]);
    }
    if (!m_src->seek(m_dataOffset + uint64_t{first} * m_fileStride) ||
        !m_src->readExact(m_block.get(), size_t{count} * m_fileStride)) {
        return m_src->failed() ? m_src->readFailure() : corrupt(kBmp, "the file is truncated");
    }
    m_blockFirst = first;
    m_blockRows = count;
    return Status::ok();
}

Status BmpReader::convertRow(const uint8_t* src, uint8_t* dst) {
    const uint32_t w = m_info.width;
    if (m_bpp <= 8) {
        const unsigned bits = m_bpp;
        if (bits == 8) {
            std::memcpy(dst, src, w);
        } else {
            const unsigned perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (uint32_t x = 0; x < w; ++x) {
                const unsigned shift = 8 - bits * (x % perByte + 1);
                dst[x] = static_cast<uint8_t>((src[x / perByte] >> shift) & mask);
            }
        }
        if (m_paletteCount < (size_t{1} << bits)) {
            const uint8_t top = *std::max_element(dst, dst + w);
            if (top >= m_paletteCount) {
                return corrupt(kBmp, "a pixel refers to colour " + std::to_string(top) + " of a palette of " +
                                         std::to_string(m_paletteCount));
            }
        }
        return Status::ok();
    }
    if (m_bpp == 24 ||
        (m_bpp == 32 && !m_useAlpha && m_red.mask == 0xFF0000 && m_green.mask == 0xFF00 && m_blue.mask == 0xFF)) {
        const unsigned step = m_bpp / 8;
        for (uint32_t x = 0; x < w; ++x, src += step, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        return Status::ok();
    }
    const bool wide = m_bpp == 32;
    if (m_useAlpha) {
        for (uint32_t x = 0; x < w; ++x, dst += 4) {
            const uint32_t px = wide ? loadLE32(src + 4 * size_t{x}) : loadLE16(src + 2 * size_t{x});
            dst[0] = m_red.get(px);
            dst[1] = m_green.get(px);
            dst[2] = m_blue.get(px);
            dst[3] = m_alpha.get(px);
        }
    } else {
        for (uint32_t x = 0; x < w; ++x, dst += 3) {
            const uint32_t px = wide ? loadLE32(src + 4 * size_t{x}) : loadLE16(src + 2 * size_t{x});
            dst[0] = m_red.get(px);
            dst[1] = m_green.get(px);
            dst[2] = m_blue.get(px);
        }
    }
    return Status::ok();
}

Status BmpReader::streamRows(uint8_t* dst, size_t stride, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, ++m_nextRow, dst += stride) {
        const uint32_t fileRow = m_topDown ? m_nextRow : m_info.height - 1 - m_nextRow;
        if (m_blockRows == 0 || fileRow < m_blockFirst || fileRow >= m_blockFirst + m_blockRows) {
            Status status = loadBlock(fileRow, m_topDown);
            if (!status.isOk()) {
                return status;
            }
        }
        Status status = convertRow(m_block.get() + size_t{fileRow - m_blockFirst} * m_fileStride, dst);
        if (!status.isOk()) {
            return status;
        }
    }
    return Status::ok();
}

Status BmpReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    if (count > m_info.height - m_nextRow) {
        return Status::readError("Read past the last row of the image");
    }
    if (m_layout == Layout::Stream) {
        return streamRows(dst, stride, count);
    }
    const size_t rowBytes = size_t{m_info.width} * bytesPerPixel(m_info.format);
    for (uint32_t i = 0; i < count; ++i, ++m_nextRow, dst += stride) {
        std::memcpy(dst, m_image.data() + size_t{m_nextRow} * m_imageStride, rowBytes);
    }
    return Status::ok();
}

Status BmpReader::emptyPixels() const {
    return Status::readError("Image too large: the compressed data leaves most of its " +
                             std::to_string(m_info.width) + " x " + std::to_string(m_info.height) +
                             " pixels empty");
}

// Buffered reading of the compressed stream, one byte at a time for the decoder.
class ByteStream {
public:
    explicit ByteStream(ByteSource& src) : m_src(src) {}
    // False at the end of the data.
    bool next(uint8_t& b) {
        if (m_pos == m_len) {
            m_len = m_src.read(m_buf, sizeof m_buf);
            m_pos = 0;
            if (m_len == 0) {
                return false;
            }
        }
        b = m_buf[m_pos++];
        return true;
    }

private:
    ByteSource& m_src;
    uint8_t m_buf[1 << 14];
    size_t m_len = 0;
    size_t m_pos = 0;
};

// Decodes RLE4/RLE8 into one index per pixel. Pixels the stream skips (delta, early
// end of line or of bitmap) are transparent, as browsers show them; they become an
// extra palette entry, or RGBA when the palette is full.
Status BmpReader::decodeRle(bool four) {
    const uint32_t w = m_info.width, h = m_info.height;
    size_t bytes = 0;
    Status status = checkImageBuffer(w, h, 1, m_limits, bytes);
    if (!status.isOk()) {
        return status;
    }
    if (!m_src->seek(m_dataOffset)) {
        return corrupt(kBmp, "the pixel data is missing");
    }
    // A run codes at most 255 pixels in two bytes; codes that skip pixels cost nothing
    // per pixel. Refuse before allocating when even all-runs data leaves too many holes.
    const uint64_t pixels = uint64_t{w} * h;
    const uint64_t mostCoded = std::min(pixels, (m_src->size() - m_dataOffset) * 128);
    if (m_limits.tooManyEmptyPixels(pixels - mostCoded, mostCoded)) {
        return emptyPixels();
    }
    std::vector<uint8_t> indices(bytes, 0);
    // Skips only move forwards in file order, so skipped pixels are a sorted list of
    // [begin, end) spans of the bottom-up pixel sequence.
    std::vector<std::pair<uint64_t, uint64_t>> skipped;
    ByteStream in(*m_src);
    uint64_t x = 0, y = 0;  // y counts file rows, bottom first
    const auto pos = [&] { return y * w + x; };
    const auto skipTo = [&](uint64_t nx, uint64_t ny) {
        const uint64_t from = pos();
        // End-of-line codes after the last row lead nowhere.
        x = ny < h ? nx : 0, y = std::min<uint64_t>(ny, h);
        if (pos() > from) {
            skipped.emplace_back(from, pos());
        }
    };
    const auto put = [&](uint8_t index) { indices[size_t{h - 1 - y} * w + x++] = index; };
    const auto fail = [](const std::string& what) { return corrupt(kBmp, what); };
    const std::string truncated = "the compressed data is truncated";
    const size_t paletteCount = m_paletteCount;
    bool ended = false;
    while (!ended) {
        uint8_t a = 0, b = 0;
        if (!in.next(a) || !in.next(b)) {
            if (pos() >= uint64_t{w} * h) {
                break;  // every pixel written; only the end-of-bitmap code is missing
            }
            return fail(truncated);
        }
        if (a > 0) {
            // A run: `a` pixels of one index, or of two alternating ones in RLE4.
            if (y >= h || x + a > w) {
                return fail("a run goes past the edge of the image");
            }
            const uint8_t i0 = four ? b >> 4 : b, i1 = four ? b & 15 : b;
            if (i0 >= paletteCount || (a > 1 && i1 >= paletteCount)) {
                return fail("a pixel refers to a colour missing from the palette");
            }
            for (unsigned k = 0; k < a; ++k) {
                put(k % 2 ? i1 : i0);
            }
            continue;
        }
        switch (b) {
            case 0:  // end of line
                skipTo(0, y + 1);
                break;
            case 1:  // end of bitmap
                skipTo(0, h);
                ended = true;
                break;
            case 2: {  // delta
                uint8_t dx = 0, dy = 0;
                if (!in.next(dx) || !in.next(dy)) {
                    return fail(truncated);
                }
                if (x + dx > w || y + dy > h || (y + dy == h && x + dx > 0)) {
                    return fail("a delta moves past the edge of the image");
                }
                skipTo(x + dx, y + dy);
                break;
            }
            default: {  // b literal pixels, padded to an even number of bytes
                if (y >= h || x + b > w) {
                    return fail("literal pixels go past the edge of the image");
                }
                const unsigned dataBytes = four ? (b + 1u) / 2 : b;
                uint8_t pair = 0;
                for (unsigned k = 0; k < b; ++k) {
                    uint8_t index = 0;
                    if (!four || k % 2 == 0) {
                        if (!in.next(pair)) {
                            return fail(truncated);
                        }
                    }
                    index = four ? (k % 2 ? pair & 15 : pair >> 4) : pair;
                    if (index >= paletteCount) {
                        return fail("a pixel refers to a colour missing from the palette");
                    }
                    put(index);
                }
                if (dataBytes % 2 && !in.next(pair)) {
                    return fail(truncated);
                }
                break;
            }
        }
    }
    if (m_src->failed()) {
        return m_src->readFailure();
    }

    uint64_t holes = 0;
    for (const auto& [begin, end] : skipped) {
        holes += end - begin;
    }
    if (m_limits.tooManyEmptyPixels(holes, pixels - holes)) {
        return emptyPixels();
    }

    m_layout = Layout::Buffered;
    m_info.wholeImageBuffered = true;
    m_imageStride = w;
    m_info.sourceBits = static_cast<uint8_t>(std::max<unsigned>(m_bpp, indexBitsFor(m_info.palette.size())));
    // Spans in bottom-up order map to pieces of rows of the top-down buffer.
    const auto forEachSkipped = [&](auto&& fn) {
        for (const auto& [begin, end] : skipped) {
            for (uint64_t p = begin; p < end;) {
                const uint64_t row = p / w, col = p % w;
                const uint64_t n = std::min<uint64_t>(end - p, w - col);
                fn(size_t{h - 1 - row} * w + col, static_cast<size_t>(n));
                p += n;
            }
        }
    };
    if (skipped.empty()) {
        m_image = std::move(indices);
        return Status::ok();
    }
    m_info.hasTransparency = true;
    if (m_info.palette.size() < 256) {
        const uint8_t clear = static_cast<uint8_t>(m_info.palette.size());
        m_info.palette.push_back(PaletteEntry{0, 0, 0, 0});
        m_info.sourceBits = static_cast<uint8_t>(std::max<unsigned>(m_bpp, indexBitsFor(m_info.palette.size())));
        forEachSkipped([&](size_t at, size_t n) { std::memset(indices.data() + at, clear, n); });
        m_image = std::move(indices);
        return Status::ok();
    }
    status = checkImageBuffer(w, h, 5, m_limits, bytes);
    if (!status.isOk()) {
        return status;
    }
    m_image.resize(size_t{w} * h * 4);
    for (size_t i = 0; i < indices.size(); ++i) {
        const PaletteEntry& e = m_info.palette[indices[i]];
        uint8_t* px = m_image.data() + 4 * i;
        px[0] = e.r, px[1] = e.g, px[2] = e.b, px[3] = 255;
    }
    forEachSkipped([&](size_t at, size_t n) { std::memset(m_image.data() + 4 * at, 0, 4 * n); });
    m_imageStride = size_t{w} * 4;
    m_info.format = PixelFormat::Rgba8;
    m_info.palette.clear();
    m_info.sourceBits = 8;
    return Status::ok();
}

}  // namespace

Status openBmp(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    return openWith<BmpReader>(std::move(source), limits, reader);
}

}  // namespace tessaplex::read
