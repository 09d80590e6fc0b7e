#include "engine/write/PngWriter.h"

#include "engine/write/ParallelDeflate.h"
#include "engine/write/PngFilter.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <string>
#include <vector>

namespace tessaplex {

namespace {

// Filtered images up to this size are compressed in one piece once complete; larger
// ones stream through in pieces compressed on two threads while rows still arrive.
// The image is cut into about kPieces pieces within [kMinPiece, kMaxPiece]: enough to
// keep both cores busy, few enough that restarting the dictionary at each cut costs
// little (a tenth of a percent at 512 KiB, a fiftieth at 4 MiB). The cut depends only
// on the image's size, so the bytes are the same on every run and machine.
constexpr uint64_t kWholeImageLimit = 256u << 10;
constexpr uint64_t kPieces = 3;
constexpr uint64_t kMinPiece = 256u << 10;
constexpr uint64_t kMaxPiece = 4u << 20;
constexpr int kLevel = 6;
constexpr unsigned kThreads = 2;
constexpr size_t kIdatSize = 256 * 1024;

using Compressor = Owned<libdeflate_compressor, libdeflate_free_compressor>;

class PngWriter final : public ImageWriter {
public:
    explicit PngWriter(const WriterOptions& options) : m_options(options) {}

    PixelFormat acceptedFormat(const ImageInfo& source) const override {
        if (source.format == PixelFormat::Indexed8 && source.palette.empty()) {
            return PixelFormat::Rgb8;
        }
        return source.format;
    }

    bool compresses() const override { return true; }

    Status begin(const ImageInfo& info, ByteSink& sink) override {
        m_sink = &sink;
        m_info = info;
        if (info.width > 0x7fffffffu || info.height > 0x7fffffffu) {
            return Status::writeError("Image too large for this file format");
        }
        unsigned colourType = 0;
        m_depth = 8;
        switch (info.format) {
            case PixelFormat::Gray8:
                m_depth = (info.sourceBits == 1 || info.sourceBits == 2 || info.sourceBits == 4) ? info.sourceBits : 8;
                break;
            case PixelFormat::Gray16: m_depth = 16; break;
            case PixelFormat::GrayAlpha8: colourType = 4; break;
            case PixelFormat::GrayAlpha16: colourType = 4; m_depth = 16; break;
            case PixelFormat::Rgb8: colourType = 2; break;
            case PixelFormat::Rgb16: colourType = 2; m_depth = 16; break;
            case PixelFormat::Rgba8: colourType = 6; break;
            case PixelFormat::Rgba16: colourType = 6; m_depth = 16; break;
            case PixelFormat::Indexed8: {
                colourType = 3;
                m_depth = indexBitsFor(info.palette.size());
                break;
            }
        }
        const unsigned bitsPerPixel = channels(info.format) * m_depth;
        uint64_t rowBits = 0, total = 0;
        if (!checkedMul<uint64_t>(info.width, bitsPerPixel, rowBits)) {
            return Status::writeError("Image too large for this file format");
        }
        m_rowBytes = (rowBits + 7) / 8;
        if (!checkedMul<uint64_t>(m_rowBytes + 1, info.height, total)) {
            return Status::writeError("Image too large for this file format");
        }
        // Palette and low bit depths compress best unfiltered; everything else gets
        // the per-row choice.
        m_adaptive = colourType != 3 && m_depth >= 8;
        m_filter = std::make_unique<PngFilter>(m_rowBytes, std::max(1u, bitsPerPixel / 8));
        m_rows[0].assign(m_rowBytes, 0);
        m_rows[1].assign(m_rowBytes, 0);
        m_row = 0;

        static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        if (!m_sink->write(kSignature, 8)) {
            return sinkError();
        }
        uint8_t ihdr[13];
        storeBE32(ihdr, info.width);
        storeBE32(ihdr + 4, info.height);
        ihdr[8] = static_cast<uint8_t>(m_depth);
        ihdr[9] = static_cast<uint8_t>(colourType);
        ihdr[10] = ihdr[11] = ihdr[12] = 0;
        if (!chunk("IHDR", ihdr, sizeof ihdr)) {
            return sinkError();
        }
        if (!info.iccProfile.empty() && !writeIccp()) {
            return m_status.isOk() ? sinkError() : m_status;
        }
        if (info.xPixelsPerMetre > 0 && info.yPixelsPerMetre > 0) {
            uint8_t phys[9];
            storeBE32(phys, info.xPixelsPerMetre);
            storeBE32(phys + 4, info.yPixelsPerMetre);
            phys[8] = 1;  // metre
            if (!chunk("pHYs", phys, sizeof phys)) {
                return sinkError();
            }
        }
        if (colourType == 3 && !writePalette()) {
            return sinkError();
        }

        if (total <= kWholeImageLimit && total * 2 <= m_options.memoryBudget) {
            m_whole.reserve(total);
        } else {
            // Without the memory for large pieces, the smallest do.
            uint64_t piece = std::clamp((total + kPieces - 1) / kPieces, kMinPiece, kMaxPiece);
            if (piece * (kThreads + 2) > m_options.memoryBudget) {
                piece = kMinPiece;
            }
            m_stream = std::make_unique<ParallelDeflate>(kLevel, kThreads, static_cast<size_t>(piece),
                                                         [this](const uint8_t* d, size_t n) { return idat(d, n); });
        }
        m_filtered.resize(m_rowBytes + 1);
        return Status::ok();
    }

    Status writeRows(const uint8_t* src, size_t stride, uint32_t count) override {
        if (count > m_info.height - m_row) {
            return Status::writeError("More rows than the image has");
        }
        for (uint32_t r = 0; r < count; ++r, ++m_row) {
            std::vector<uint8_t>& current = m_rows[m_row & 1];
            const uint8_t* previous = m_row > 0 ? m_rows[(m_row - 1) & 1].data() : nullptr;
            prepare(src + r * stride, current.data());
            if (m_stream) {
                m_filter->filter(current.data(), previous, m_adaptive, m_filtered.data());
                if (!m_stream->add(m_filtered.data(), m_filtered.size())) {
                    return streamError();
                }
            } else {
                const size_t at = m_whole.size();
                m_whole.resize(at + m_rowBytes + 1);
                m_filter->filter(current.data(), previous, m_adaptive, m_whole.data() + at);
            }
        }
        return Status::ok();
    }

    Status finish() override {
        if (m_row != m_info.height) {
            return Status::writeError("Image ended early");
        }
        if (m_stream) {
            if (!m_stream->finish()) {
                return streamError();
            }
            m_stream.reset();
        } else {
            Compressor compressor(libdeflate_alloc_compressor(kLevel));
            if (!compressor) {
                return Status::writeError("Out of memory");
            }
            std::vector<uint8_t> compressed(libdeflate_zlib_compress_bound(compressor.get(), m_whole.size()));
            const size_t n = libdeflate_zlib_compress(compressor.get(), m_whole.data(), m_whole.size(),
                                                      compressed.data(), compressed.size());
            if (n == 0) {
                return Status::writeError("Compressing the image failed");
            }
            m_whole = {};
            if (!idat(compressed.data(), n)) {
                return streamError();
            }
        }
        if (!flushIdat() || !chunk("IEND", nullptr, 0)) {
            return sinkError();
        }
        return Status::ok();
    }

private:
    // One row in PNG's byte order: packed below 8 bits, big-endian at 16.
    void prepare(const uint8_t* src, uint8_t* dst) const {
        const uint32_t w = m_info.width;
        if (m_depth == 16) {
            const size_t samples = size_t{w} * channels(m_info.format);
            for (size_t i = 0; i < samples; ++i) {
                uint16_t v;
                std::memcpy(&v, src + 2 * i, 2);
                dst[2 * i] = static_cast<uint8_t>(v >> 8);
                dst[2 * i + 1] = static_cast<uint8_t>(v);
            }
        } else if (m_depth == 8) {
            std::memcpy(dst, src, m_rowBytes);
        } else {
            std::memset(dst, 0, m_rowBytes);
            const unsigned perByte = 8 / m_depth;
            const unsigned mask = (1u << m_depth) - 1;
            // Gray samples arrive scaled to 8 bits; their top bits are the original value.
            const unsigned shiftDown = m_info.format == PixelFormat::Gray8 ? 8 - m_depth : 0;
            for (uint32_t x = 0; x < w; ++x) {
                const unsigned v = (src[x] >> shiftDown) & mask;
                dst[x / perByte] |= static_cast<uint8_t>(v << (8 - m_depth * (x % perByte + 1)));
            }
        }
    }

    bool chunk(const char* type, const uint8_t* data, size_t size) {
        uint8_t head[8];
        storeBE32(head, static_cast<uint32_t>(size));
        std::memcpy(head + 4, type, 4);
        uint32_t crc = libdeflate_crc32(0, head + 4, 4);
        if (size > 0) {
            crc = libdeflate_crc32(crc, data, size);
        }
        uint8_t tail[4];
        storeBE32(tail, crc);
        return m_sink->write(head, 8) && (size == 0 || m_sink->write(data, size)) && m_sink->write(tail, 4);
    }

    // Collects the zlib stream into IDAT chunks of one size, whatever the pieces.
    bool idat(const uint8_t* data, size_t size) {
        while (size > 0) {
            const size_t take = std::min(size, kIdatSize - m_idat.size());
            m_idat.insert(m_idat.end(), data, data + take);
            data += take;
            size -= take;
            if (m_idat.size() == kIdatSize && !flushIdat()) {
                return false;
            }
        }
        return true;
    }

    bool flushIdat() {
        if (m_idat.empty()) {
            return true;
        }
        const bool ok = chunk("IDAT", m_idat.data(), m_idat.size());
        m_idat.clear();
        return ok;
    }

    bool writeIccp() {
        static constexpr char kName[] = "ICC profile";
        Compressor compressor(libdeflate_alloc_compressor(9));
        if (!compressor) {
            m_status = Status::writeError("Out of memory");
            return false;
        }
        const std::vector<uint8_t>& profile = m_info.iccProfile;
        std::vector<uint8_t> body(sizeof kName + 1 + libdeflate_zlib_compress_bound(compressor.get(), profile.size()));
        std::memcpy(body.data(), kName, sizeof kName);  // name and its NUL
        body[sizeof kName] = 0;                         // deflate
        const size_t n = libdeflate_zlib_compress(compressor.get(), profile.data(), profile.size(),
                                                  body.data() + sizeof kName + 1, body.size() - sizeof kName - 1);
        if (n == 0) {
            m_status = Status::writeError("Compressing the colour profile failed");
            return false;
        }
        return chunk("iCCP", body.data(), sizeof kName + 1 + n);
    }

    bool writePalette() {
        const size_t n = std::min<size_t>(m_info.palette.size(), 256);
        std::vector<uint8_t> plte, trns;
        size_t lastTransparent = 0;
        for (size_t i = 0; i < n; ++i) {
            const PaletteEntry& e = m_info.palette[i];
            plte.insert(plte.end(), {e.r, e.g, e.b});
            trns.push_back(e.a);
            if (e.a != 255) {
                lastTransparent = i + 1;
            }
        }
        trns.resize(lastTransparent);
        return chunk("PLTE", plte.data(), plte.size()) && (trns.empty() || chunk("tRNS", trns.data(), trns.size()));
    }

    Status sinkError() const { return Status::writeError(m_sink->error()); }
    Status streamError() const {
        const std::string error = m_sink->error();
        return Status::writeError(error.empty() ? "Compressing the image failed" : error);
    }

    WriterOptions m_options;
    ByteSink* m_sink = nullptr;
    ImageInfo m_info;
    Status m_status;
    unsigned m_depth = 8;
    uint64_t m_rowBytes = 0;
    bool m_adaptive = true;
    uint32_t m_row = 0;
    std::unique_ptr<PngFilter> m_filter;
    std::vector<uint8_t> m_rows[2];
    std::vector<uint8_t> m_filtered;
    std::vector<uint8_t> m_whole;
    std::unique_ptr<ParallelDeflate> m_stream;
    std::vector<uint8_t> m_idat;
};

}  // namespace

std::unique_ptr<ImageWriter> makePngWriter(const WriterOptions& options) { return std::make_unique<PngWriter>(options); }

}  // namespace tessaplex
