#include "engine/write/BmpWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaplex {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kLcsSrgb = 0x73524742;  // 'sRGB'
constexpr uint32_t kLcsGmImages = 4;
// Rows are reversed into a buffer of about this size before each positioned write.
constexpr uint64_t kChunkBytes = 128u << 10;

class LittleEndian {
public:
    void u16(uint32_t v) {
        m_bytes.push_back(static_cast<uint8_t>(v));
        m_bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void zeros(size_t n) { m_bytes.insert(m_bytes.end(), n, 0); }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

class BmpWriter final : public ImageWriter {
public:
    BmpWriter() = default;

    PixelFormat acceptedFormat(const ImageInfo& source) const override {
        using F = PixelFormat;
        switch (source.format) {
            case F::Indexed8:
                if (source.palette.empty()) {
                    return F::Rgb8;
                }
                return source.hasTransparency ? F::Rgba8 : F::Indexed8;
            case F::Gray8:
            case F::Gray16:
                return F::Gray8;
            case F::GrayAlpha8:
            case F::GrayAlpha16:
                return source.hasTransparency ? F::Rgba8 : F::Gray8;
            case F::Rgb8:
            case F::Rgb16:
                return F::Rgb8;
            case F::Rgba8:
            case F::Rgba16:
                return source.hasTransparency ? F::Rgba8 : F::Rgb8;
        }
        unreachable("unknown pixel format");
    }

    Status begin(const ImageInfo& info, ByteSink& sink) override {
        m_sink = &sink;
        m_info = info;
        std::vector<PaletteEntry> palette;
        switch (info.format) {
            case PixelFormat::Indexed8:
                palette = info.palette;
                if (palette.size() > 256) {
                    palette.resize(256);
                }
                m_bits = palette.size() <= 2 ? 1 : palette.size() <= 16 ? 4 : 8;
                break;
            case PixelFormat::Gray8: {
                m_bits = info.sourceBits <= 1 ? 1 : info.sourceBits <= 4 ? 4 : 8;
                const unsigned levels = 1u << m_bits;
                for (unsigned i = 0; i < levels; ++i) {
                    const auto v = static_cast<uint8_t>(i * 255u / (levels - 1));
                    palette.push_back({v, v, v, 255});
                }
                break;
            }
            case PixelFormat::Rgb8: m_bits = 24; break;
            case PixelFormat::Rgba8: m_bits = 32; break;
            default: return Status::writeError(kInvalidBitsPerPixel);
        }
        if (info.width > 0x7fffffffu || info.height > 0x7fffffffu) {
            return Status::writeError("Image too large for this file format");
        }
        const uint32_t headerSize = m_bits == 32 ? kV5HeaderSize : kInfoHeaderSize;
        uint64_t rowBits = 0, imageSize = 0;
        if (!checkedMul<uint64_t>(info.width, m_bits, rowBits)) {
            return Status::writeError("Image too large for this file format");
        }
        m_rowSize = (rowBits + 31) / 32 * 4;
        const uint64_t dataOffset = kFileHeaderSize + headerSize + 4ull * palette.size();
        if (!checkedMul<uint64_t>(m_rowSize, info.height, imageSize) || imageSize + dataOffset > 0xffffffffull) {
            return Status::writeError("Image too large for this file format");
        }
        m_dataOffset = dataOffset;

        LittleEndian h;
        h.u16(0x4d42);  // "BM"
        h.u32(static_cast<uint32_t>(dataOffset + imageSize));
        h.u32(0);
        h.u32(static_cast<uint32_t>(dataOffset));
        h.u32(headerSize);
        h.u32(info.width);
        h.u32(info.height);  // positive: bottom-up, which every reader knows
        h.u16(1);
        h.u16(m_bits);
        h.u32(m_bits == 32 ? kBiBitfields : kBiRgb);
        h.u32(static_cast<uint32_t>(imageSize));
        h.u32(info.xPixelsPerMetre);
        h.u32(info.yPixelsPerMetre);
        h.u32(static_cast<uint32_t>(palette.size()));
        h.u32(0);
        if (m_bits == 32) {
            h.u32(0x00ff0000);  // red
            h.u32(0x0000ff00);  // green
            h.u32(0x000000ff);  // blue
            h.u32(0xff000000);  // alpha
            h.u32(kLcsSrgb);
            h.zeros(36 + 12);  // endpoints and gamma, unused with sRGB
            h.u32(kLcsGmImages);
            h.zeros(12);  // no profile; reserved
        }
        for (const PaletteEntry& e : palette) {
            h.u32(uint32_t{e.b} | uint32_t{e.g} << 8 | uint32_t{e.r} << 16);
        }
        if (!sink.write(h.bytes().data(), h.bytes().size())) {
            return Status::writeError(sink.error());
        }
        const uint64_t chunkRows = std::clamp<uint64_t>(kChunkBytes / m_rowSize, 1, info.height);
        m_chunk.resize(chunkRows * m_rowSize);
        m_chunkRows = static_cast<uint32_t>(chunkRows);
        m_row = 0;
        return Status::ok();
    }

    Status writeRows(const uint8_t* src, size_t stride, uint32_t count) override {
        if (count > m_info.height - m_row) {
            return Status::writeError("More rows than the image has");
        }
        while (count > 0) {
            const uint32_t n = std::min(count, m_chunkRows);
            // Rows arrive top first; in the file the top row is last. Reverse the
            // chunk so that one positioned write stores it.
            for (uint32_t r = 0; r < n; ++r) {
                pack(src + r * stride, m_chunk.data() + (n - 1 - r) * m_rowSize);
            }
            const uint64_t lowestFileRow = m_info.height - (m_row + n);
            if (!m_sink->writeAt(m_dataOffset + lowestFileRow * m_rowSize, m_chunk.data(), n * m_rowSize)) {
                const std::string error = m_sink->error();
                return Status::writeError(error.empty() ? "Output cannot be written out of order" : error);
            }
            m_row += n;
            src += n * stride;
            count -= n;
        }
        return Status::ok();
    }

    Status finish() override {
        if (m_row != m_info.height) {
            return Status::writeError("Image ended early");
        }
        return Status::ok();
    }

private:
    void pack(const uint8_t* src, uint8_t* dst) const {
        const uint32_t w = m_info.width;
        // Padding bytes are zero so that files are the same run to run.
        std::memset(dst, 0, m_rowSize);
        switch (m_bits) {
            case 24:
                for (uint32_t x = 0; x < w; ++x, src += 3, dst += 3) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                }
                return;
            case 32:
                for (uint32_t x = 0; x < w; ++x, src += 4, dst += 4) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                    dst[3] = src[3];
                }
                return;
            default: break;
        }
        const bool gray = m_info.format == PixelFormat::Gray8;
        if (m_bits == 8) {
            std::memcpy(dst, src, w);
            return;
        }
        const unsigned maxIndex = (1u << m_bits) - 1;
        const unsigned perByte = 8 / m_bits;
        for (uint32_t x = 0; x < w; ++x) {
            // Gray samples map to the nearest level of the gray palette.
            const unsigned index = gray ? (src[x] * maxIndex + 127) / 255 : (src[x] & maxIndex);
            const unsigned shift = 8 - m_bits * (x % perByte + 1);
            dst[x / perByte] |= static_cast<uint8_t>(index << shift);
        }
    }

    ByteSink* m_sink = nullptr;
    ImageInfo m_info;
    unsigned m_bits = 24;
    uint64_t m_rowSize = 0;
    uint64_t m_dataOffset = 0;
    std::vector<uint8_t> m_chunk;
    uint32_t m_chunkRows = 1;
    uint32_t m_row = 0;
};

}  // namespace

std::unique_ptr<ImageWriter> makeBmpWriter(const WriterOptions& /*options*/) { return std::make_unique<BmpWriter>(); }

}  // namespace tessaplex
