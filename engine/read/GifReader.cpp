// GIF: the first frame as a browser shows it, on its logical screen. giflib reads the
// blocks up to the frame; the frame's pixels come from our own LZW decoder, which is
// several times faster. Whatever the frame does not cover is transparent, and so are
// pixels whose index lies past the colour table. Rows stream from the decoder unless
// the frame is interlaced, when the visible part of the frame is held in memory.
#include "engine/read/ByteSource.h"
#include "engine/read/FormatReaders.h"
#include "engine/read/GifLzw.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaplex::read {
namespace {

constexpr const char* kGif = "GIF";

struct GifContext {
    ByteSource* source = nullptr;
    // The last byte giflib read. Right after DGifGetImageDesc it is the frame's LZW
    // minimum code size, which giflib keeps private and which bounds the indices.
    uint8_t lastByte = 0;
};

int onGifRead(GifFileType* gif, GifByteType* buffer, int length) {
    auto* context = static_cast<GifContext*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const size_t got = context->source->read(buffer, static_cast<size_t>(length));
    if (got > 0) {
        context->lastByte = buffer[got - 1];
    }
    return static_cast<int>(got);
}

void closeGif(GifFileType* gif) {
    int error = 0;
    DGifCloseFile(gif, &error);
}
using GifHandle = Owned<GifFileType, closeGif>;

std::string lzwMessage(GifLzw::Result result) {
    switch (result) {
        case GifLzw::Result::Truncated: return "the file is truncated";
        case GifLzw::Result::EndsEarly: return "the image data ends early";
        case GifLzw::Result::BadCode: return "invalid image data";
        case GifLzw::Result::Ok: break;
    }
    return {};
}

// giflib reports a short read and a bad LZW code size alike as a failed read.
std::string gifMessage(int code, const ByteSource& source) {
    if (code == D_GIF_ERR_READ_FAILED) {
        return source.remaining() == 0 ? "the file is truncated" : "invalid image data";
    }
    if (code == D_GIF_ERR_EOF_TOO_SOON) {
        return "the image data ends early";
    }
    const char* text = GifErrorString(code);
    return text ? text : "unknown error";
}

// The first frame as found in the file.
struct Frame {
    uint32_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparent = NO_TRANSPARENT_COLOR;
    unsigned codeSize = 8;
    std::vector<PaletteEntry> colours;
};

class GifReader final : public ImageReader {
public:
    GifReader(std::unique_ptr<ByteSource> source, const Limits& limits) : m_src(std::move(source)), m_limits(limits) {
        m_context.source = m_src.get();
    }

    const ImageInfo& info() const override { return m_info; }
    Status open();
    Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;

private:
    Status failure(const std::string& detail) const;
    Status openFrame(Frame& frame);
    Status nextLine();
    Status decodeVisible(bool keep, bool& outOfRange);
    void composeRow(const uint8_t* line, uint8_t* dst) const;

    std::unique_ptr<ByteSource> m_src;
    Limits m_limits;
    GifContext m_context;
    GifHandle m_gif;
    GifLzw m_lzw;
    ImageInfo m_info;
    Frame m_frame;
    // Visible part of the frame on the screen.
    uint32_t m_visLeft = 0, m_visTop = 0, m_visWidth = 0, m_visHeight = 0;
    size_t m_colourCount = 0;
    int m_clear = -1;                // index written where nothing is drawn; -1: Rgba8 rows
    bool m_remap = false;            // indices past the colour table may occur
    std::vector<uint8_t> m_line;     // one frame line
    std::vector<uint8_t> m_visible;  // interlaced: the visible rows, m_visWidth apart
    uint32_t m_linesRead = 0;
    uint32_t m_nextRow = 0;
    bool m_failed = false;
    Status m_failure;
};

Status GifReader::failure(const std::string& detail) const {
    if (m_src->failed()) {
        return m_src->readFailure();
    }
    return corrupt(kGif, detail);
}

// Opens the file from its start and reads up to the first frame's pixel data.
Status GifReader::openFrame(Frame& frame) {
    m_gif.reset();
    if (!m_src->seek(0)) {
        return failure("cannot go back to the start");
    }
    int error = 0;
    GifFileType* gif = DGifOpen(&m_context, onGifRead, &error);
    if (!gif) {
        return failure(gifMessage(error, *m_src));
    }
    m_gif.reset(gif);
    if (gif->SWidth <= 0 || gif->SHeight <= 0) {
        return failure("the screen size is " + std::to_string(gif->SWidth) + " x " + std::to_string(gif->SHeight));
    }
    frame = Frame{};
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return failure(gifMessage(gif->Error, *m_src));
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                return failure(gifMessage(gif->Error, *m_src));
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock gcb{};
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
                    frame.transparent = gcb.TransparentColor;
                }
            }
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    return failure(gifMessage(gif->Error, *m_src));
                }
            }
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        }
        return failure(type == TERMINATE_RECORD_TYPE ? "the file holds no image" : "unknown block");
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR) {
        return failure(gifMessage(gif->Error, *m_src));
    }
    frame.codeSize = m_context.lastByte;
    const GifImageDesc& desc = gif->Image;
    if (desc.Left < 0 || desc.Top < 0 || desc.Width <= 0 || desc.Height <= 0) {
        return failure("the image is empty");
    }
    frame.left = static_cast<uint32_t>(desc.Left);
    frame.top = static_cast<uint32_t>(desc.Top);
    frame.width = static_cast<uint32_t>(desc.Width);
    frame.height = static_cast<uint32_t>(desc.Height);
    frame.interlaced = desc.Interlace;
    // The image data follows the code size, which giflib has checked (at most 8).
    m_lzw.start(*m_src, frame.codeSize, uint64_t{frame.width} * frame.height);
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || map->ColorCount <= 0 || !map->Colors) {
        return failure("there is no colour table");
    }
    const int count = std::min(map->ColorCount, 256);
    frame.colours.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        frame.colours[i] = PaletteEntry{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 255};
    }
    m_linesRead = 0;
    return Status::ok();
}

Status GifReader::nextLine() {
    const GifLzw::Result result = m_lzw.decode(m_line.data(), m_frame.width);
    if (result != GifLzw::Result::Ok) {
        return failure(lzwMessage(result));
    }
    ++m_linesRead;
    return Status::ok();
}

// Frame line number of the i-th line in the file.
uint32_t interlacedRow(uint32_t i, uint32_t height) {
    static const uint32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const uint32_t rows = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (i < rows) {
            return kStart[pass] + i * kStep[pass];
        }
        i -= rows;
    }
    unreachable("a line past the frame's last");
}

// Decodes every visible line once, noting indices past the colour table; keeps the
// lines when `keep` (interlaced frames, which are read from memory afterwards).
Status GifReader::decodeVisible(bool keep, bool& outOfRange) {
    outOfRange = false;
    if (keep) {
        m_visible.assign(size_t{m_visWidth} * m_visHeight, 0);
    }
    uint32_t needed = m_visHeight;
    for (uint32_t i = 0; i < m_frame.height && needed > 0; ++i) {
        Status status = nextLine();
        if (!status.isOk()) {
            return status;
        }
        const uint32_t row = m_frame.interlaced ? interlacedRow(i, m_frame.height) : i;
        if (row >= m_visHeight) {
            continue;
        }
        --needed;
        const uint8_t* line = m_line.data();
        if (!outOfRange) {
            outOfRange = *std::max_element(line, line + m_visWidth) >= m_colourCount;
        }
        if (keep) {
            std::memcpy(m_visible.data() + size_t{row} * m_visWidth, line, m_visWidth);
        }
    }
    return Status::ok();
}

Status GifReader::open() {
    Status status = openFrame(m_frame);
    if (!status.isOk()) {
        return status;
    }
    const uint32_t screenWidth = static_cast<uint32_t>(m_gif->SWidth),
                   screenHeight = static_cast<uint32_t>(m_gif->SHeight);
    status = checkDimensions(screenWidth, screenHeight, m_limits);
    if (status.isOk()) {
        // The decoder's work follows the frame, which may be far larger than the screen.
        status = checkDimensions(m_frame.width, m_frame.height, m_limits);
    }
    if (!status.isOk()) {
        return status;
    }
    if (m_frame.left >= screenWidth || m_frame.top >= screenHeight) {
        return failure("the image lies outside its screen");
    }
    m_visLeft = m_frame.left;
    m_visTop = m_frame.top;
    m_visWidth = std::min(m_frame.width, screenWidth - m_frame.left);
    m_visHeight = std::min(m_frame.height, screenHeight - m_frame.top);
    // The screen around the first frame is transparent without any data for it.
    const uint64_t screen = uint64_t{screenWidth} * screenHeight, visible = uint64_t{m_visWidth} * m_visHeight;
    if (m_limits.tooManyEmptyPixels(screen - visible, visible)) {
        return Status::readError("Image too large: the first image covers " + std::to_string(m_visWidth) + " x " +
                                 std::to_string(m_visHeight) + " of a " + std::to_string(screenWidth) + " x " +
                                 std::to_string(screenHeight) + " screen");
    }
    m_line.resize(m_frame.width);
    m_colourCount = m_frame.colours.size();

    // Indices can reach 2^codeSize - 1; only when that passes the table can a pixel be
    // out of range, and only a pass over the data tells whether one is.
    const unsigned maxIndex = m_frame.codeSize >= 8 ? 255u : (1u << m_frame.codeSize) - 1;
    bool outOfRange = false;
    if (m_frame.interlaced) {
        size_t bytes = 0;
        status = checkImageBuffer(m_visWidth, m_visHeight, 1, m_limits, bytes);
        if (status.isOk()) {
            status = decodeVisible(true, outOfRange);
        }
        m_info.wholeImageBuffered = true;
    } else if (maxIndex >= m_colourCount) {
        Frame again;
        status = decodeVisible(false, outOfRange);
        if (status.isOk()) {
            status = openFrame(again);
        }
    }
    if (!status.isOk()) {
        return status;
    }
    m_remap = outOfRange;

    const bool covers = m_visLeft == 0 && m_visTop == 0 && m_visWidth == screenWidth && m_visHeight == screenHeight;
    m_info.palette = m_frame.colours;
    const bool hasKey = m_frame.transparent >= 0 && static_cast<size_t>(m_frame.transparent) < m_colourCount;
    if (hasKey) {
        m_info.palette[static_cast<size_t>(m_frame.transparent)].a = 0;
    }
    m_info.width = screenWidth;
    m_info.height = screenHeight;
    m_info.source = SourceFormat::Gif;
    m_info.format = PixelFormat::Indexed8;
    m_info.hasTransparency = hasKey || !covers || outOfRange;
    if (!covers || outOfRange) {
        if (hasKey) {
            m_clear = m_frame.transparent;
        } else if (m_info.palette.size() < 256) {
            m_clear = static_cast<int>(m_info.palette.size());
            m_info.palette.push_back(PaletteEntry{0, 0, 0, 0});
        } else {
            m_clear = -1;
            m_info.format = PixelFormat::Rgba8;
            m_info.palette.clear();
        }
    } else {
        m_clear = 0;  // never written: the frame covers the screen
    }
    m_info.sourceBits = m_info.format == PixelFormat::Indexed8 ? indexBitsFor(m_info.palette.size()) : 8;
    return Status::ok();
}

// One screen row from one visible frame line (or from none, when `line` is null).
void GifReader::composeRow(const uint8_t* line, uint8_t* dst) const {
    const uint32_t w = m_info.width;
    if (m_info.format == PixelFormat::Indexed8) {
        const uint8_t clear = static_cast<uint8_t>(m_clear);
        if (!line) {
            std::memset(dst, clear, w);
            return;
        }
        std::memset(dst, clear, m_visLeft);
        uint8_t* out = dst + m_visLeft;
        if (m_remap) {
            for (uint32_t x = 0; x < m_visWidth; ++x) {
                out[x] = line[x] < m_colourCount ? line[x] : clear;
            }
        } else {
            std::memcpy(out, line, m_visWidth);
        }
        std::memset(out + m_visWidth, clear, w - m_visLeft - m_visWidth);
        return;
    }
    std::memset(dst, 0, size_t{w} * 4);
    if (!line) {
        return;
    }
    const int key = m_frame.transparent;
    uint8_t* out = dst + size_t{m_visLeft} * 4;
    for (uint32_t x = 0; x < m_visWidth; ++x, out += 4) {
        if (line[x] < m_colourCount && line[x] != key) {
            const PaletteEntry& e = m_frame.colours[line[x]];
            out[0] = e.r, out[1] = e.g, out[2] = e.b, out[3] = 255;
        }
    }
}

Status GifReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    if (m_failed) {
        return m_failure;
    }
    if (count > m_info.height - m_nextRow) {
        return Status::readError("Read past the last row of the image");
    }
    for (uint32_t i = 0; i < count; ++i, ++m_nextRow, dst += stride) {
        const uint32_t y = m_nextRow;
        if (y < m_visTop || y >= m_visTop + m_visHeight) {
            composeRow(nullptr, dst);
            continue;
        }
        if (m_frame.interlaced) {
            composeRow(m_visible.data() + size_t{y - m_visTop} * m_visWidth, dst);
            continue;
        }
        Status status = nextLine();
        if (!status.isOk()) {
            m_failed = true;
            m_failure = status;
            return status;
        }
        composeRow(m_line.data(), dst);
    }
    return Status::ok();
}

}  // namespace

Status openGif(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    return openWith<GifReader>(std::move(source), limits, reader);
}

}  // namespace tessaplex::read
