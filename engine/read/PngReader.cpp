// PNG through libpng. Rows stream one at a time unless the image is interlaced, when
// Adam7 forces the whole image into memory. Palettes stay palettes; gray below 8 bits
// is scaled up to 8; 16-bit samples stay 16-bit; a gray or RGB tRNS colour becomes an
// alpha channel.
#include "engine/read/ByteSource.h"
#include "engine/read/FormatReaders.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tessaplex::read {
namespace {

constexpr const char* kPng = "PNG";

// Lives as long as the libpng handle: libpng's callbacks reach it through their pointers.
struct PngContext {
    ByteSource* source = nullptr;
    char message[200] = {};
};

// libpng calls these from inside its own frames; they hold nothing with a destructor,
// since png_error and png_longjmp leave them through longjmp.
void onPngError(png_structp png, png_const_charp text) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", text ? text : "unknown error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

void onPngRead(png_structp png, png_bytep data, size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (context->source->read(data, length) != length) {
        png_error(png, context->source->failed() ? "the file cannot be read" : "unexpected end of file");
    }
}

using PngStep = void (*)(png_structp, png_infop, void*);

// The one frame that calls setjmp; libpng's errors land here. Nothing in it (or in the
// steps it runs) has a destructor.
bool guarded(png_structp png, png_infop info, PngStep step, void* arg) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    step(png, info, arg);
    return true;
}

void setupStep(png_structp png, png_infop, void*) {
    // Our own check after the header decides on the size, with the library's message;
    // libpng allocates nothing that large before it.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, 16u << 20);
    png_set_chunk_cache_max(png, 1000);
    // A damaged ancillary chunk is as much a sign of a damaged file as a damaged IDAT.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    // Every IDAT chunk's CRC is checked, so damage to the stored data is still caught;
    // zlib's own checksum over the inflated data adds a twentieth to the decoding time.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    // Chunks whose content we never use are skipped unparsed (their CRC is still checked).
    static const png_byte kIgnored[] =
        "tEXt\0zTXt\0iTXt\0tIME\0bKGD\0hIST\0sPLT\0sBIT\0gAMA\0cHRM\0sRGB\0eXIf\0"
        "oFFs\0pCAL\0sCAL\0sTER";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, static_cast<int>(sizeof kIgnored / 5));
}

void readInfoStep(png_structp png, png_infop info, void*) {
    png_read_info(png, info);
}

struct TransformArgs {
    bool pack;        // palette below 8 bits: one index per byte
    bool expandGray;  // gray below 8 bits: scale to 8
    bool trnsToAlpha;
    bool swap;  // 16-bit samples to little-endian
    bool interlaced;
};

void transformStep(png_structp png, png_infop info, void* arg) {
    const auto* args = static_cast<TransformArgs*>(arg);
    if (args->pack) {
        png_set_packing(png);
    }
    if (args->expandGray) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (args->trnsToAlpha) {
        png_set_tRNS_to_alpha(png);
    }
    if (args->swap) {
        png_set_swap(png);
    }
    if (args->interlaced) {
        png_set_interlace_handling(png);
    }
    png_read_update_info(png, info);
}

struct RowsArgs {
    uint8_t* dst;
    size_t stride;
    uint32_t count;
};

void readRowsStep(png_structp png, png_infop, void* arg) {
    const auto* args = static_cast<RowsArgs*>(arg);
    for (uint32_t i = 0; i < args->count; ++i) {
        png_read_row(png, args->dst + i * args->stride, nullptr);
    }
}

void readImageStep(png_structp png, png_infop, void* arg) {
    png_read_image(png, static_cast<png_bytepp>(arg));
}

struct PngDeleter {
    png_infop info = nullptr;
    void operator()(png_structp png) {
        png_infop i = info;
        png_destroy_read_struct(&png, &i, nullptr);
    }
};

class PngReader final : public ImageReader {
public:
    PngReader(std::unique_ptr<ByteSource> source, const Limits& limits) : m_src(std::move(source)), m_limits(limits) {
        m_context.source = m_src.get();
    }

    const ImageInfo& info() const override { return m_info; }
    Status open();
    Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;

private:
    Status failure() const;
    Status checkIndices(const uint8_t* rows, size_t stride, uint32_t count) const;

    std::unique_ptr<ByteSource> m_src;
    Limits m_limits;
    PngContext m_context;
    std::unique_ptr<png_struct, PngDeleter> m_png;
    png_infop m_pngInfo = nullptr;
    ImageInfo m_info;
    bool m_interlaced = false;
    size_t m_paletteCount = 0;
    std::vector<uint8_t> m_image;  // interlaced images only
    size_t m_rowBytes = 0;
    uint32_t m_nextRow = 0;
    bool m_failed = false;
    Status m_failure;
};

Status PngReader::failure() const {
    if (m_src->failed()) {
        return m_src->readFailure();
    }
    return corrupt(kPng, m_context.message);
}

Status PngReader::open() {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_context, onPngError, onPngWarning);
    if (!png) {
        return Status::readError("Not enough memory to read the PNG file");
    }
    m_png.reset(png);
    m_pngInfo = png_create_info_struct(png);
    if (!m_pngInfo) {
        return Status::readError("Not enough memory to read the PNG file");
    }
    m_png.get_deleter().info = m_pngInfo;
    png_set_read_fn(png, &m_context, onPngRead);

    if (!guarded(png, m_pngInfo, setupStep, nullptr) || !guarded(png, m_pngInfo, readInfoStep, nullptr)) {
        return failure();
    }
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, m_pngInfo, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    Status status = checkDimensions(width, height, m_limits);
    if (!status.isOk()) {
        return status;
    }
    m_info.width = width;
    m_info.height = height;
    m_info.source = SourceFormat::Png;
    m_info.sourceBits = static_cast<uint8_t>(bitDepth);
    const bool wide = bitDepth == 16;
    const bool hasTrns = png_get_valid(png, m_pngInfo, PNG_INFO_tRNS) != 0;
    TransformArgs transform{};

    switch (colorType) {
        case PNG_COLOR_TYPE_PALETTE: {
            png_colorp plte = nullptr;
            int count = 0;
            if (!png_get_PLTE(png, m_pngInfo, &plte, &count) || count <= 0) {
                return corrupt(kPng, "the palette is missing");
            }
            m_info.format = PixelFormat::Indexed8;
            m_info.palette.resize(static_cast<size_t>(std::min(count, 256)));
            for (size_t i = 0; i < m_info.palette.size(); ++i) {
                m_info.palette[i] = PaletteEntry{plte[i].red, plte[i].green, plte[i].blue, 255};
            }
            png_bytep alpha = nullptr;
            int alphaCount = 0;
            if (hasTrns && png_get_tRNS(png, m_pngInfo, &alpha, &alphaCount, nullptr) && alpha) {
                for (int i = 0; i < alphaCount && i < count && i < 256; ++i) {
                    m_info.palette[i].a = alpha[i];
                    m_info.hasTransparency |= alpha[i] < 255;
                }
            }
            m_paletteCount = m_info.palette.size();
            transform.pack = bitDepth < 8;
            break;
        }
        case PNG_COLOR_TYPE_GRAY:
            transform.expandGray = bitDepth < 8;
            m_info.format = wide ? PixelFormat::Gray16 : PixelFormat::Gray8;
            if (hasTrns) {
                transform.trnsToAlpha = true;
                m_info.format = wide ? PixelFormat::GrayAlpha16 : PixelFormat::GrayAlpha8;
                m_info.hasTransparency = true;
            }
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            m_info.format = wide ? PixelFormat::GrayAlpha16 : PixelFormat::GrayAlpha8;
            m_info.hasTransparency = true;
            break;
        case PNG_COLOR_TYPE_RGB:
            m_info.format = wide ? PixelFormat::Rgb16 : PixelFormat::Rgb8;
            if (hasTrns) {
                transform.trnsToAlpha = true;
                m_info.format = wide ? PixelFormat::Rgba16 : PixelFormat::Rgba8;
                m_info.hasTransparency = true;
            }
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            m_info.format = wide ? PixelFormat::Rgba16 : PixelFormat::Rgba8;
            m_info.hasTransparency = true;
            break;
        default:
            return corrupt(kPng, "unknown colour type");
    }
    const uint16_t probe = 1;
    // PNG stores 16-bit samples big-endian; rows carry them in native order.
    transform.swap = wide && *reinterpret_cast<const uint8_t*>(&probe) == 1;
    m_interlaced = interlace != PNG_INTERLACE_NONE;
    transform.interlaced = m_interlaced;
    if (!guarded(png, m_pngInfo, transformStep, &transform)) {
        return failure();
    }
    m_rowBytes = size_t{width} * bytesPerPixel(m_info.format);
    if (png_get_rowbytes(png, m_pngInfo) != m_rowBytes) {
        return corrupt(kPng, "unexpected row layout");
    }

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, m_pngInfo, &name, &compression, &profile, &profileLength) && profile && profileLength >= 20) {
        const bool gray = m_info.format == PixelFormat::Gray8 || m_info.format == PixelFormat::GrayAlpha8 ||
                          m_info.format == PixelFormat::Gray16 || m_info.format == PixelFormat::GrayAlpha16;
        if (std::memcmp(profile + 16, gray ? "GRAY" : "RGB ", 4) == 0) {
            m_info.iccProfile.assign(profile, profile + profileLength);
        }
    }
    png_uint_32 xRes = 0, yRes = 0;
    int unit = 0;
    if (png_get_pHYs(png, m_pngInfo, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER && xRes > 0 && yRes > 0 &&
        xRes <= 0x7FFFFFFF && yRes <= 0x7FFFFFFF) {
        m_info.xPixelsPerMetre = xRes;
        m_info.yPixelsPerMetre = yRes;
    }

    if (m_interlaced) {
        size_t bytes = 0;
        status = checkImageBuffer(width, height, bytesPerPixel(m_info.format) + sizeof(png_bytep), m_limits, bytes);
        if (!status.isOk()) {
            return status;
        }
        m_image.resize(m_rowBytes * height);
        std::vector<png_bytep> rows(height);
        for (uint32_t y = 0; y < height; ++y) {
            rows[y] = m_image.data() + y * m_rowBytes;
        }
        if (!guarded(png, m_pngInfo, readImageStep, rows.data())) {
            return failure();
        }
        m_info.wholeImageBuffered = true;
        // Every row is in memory, so the palette check is done once here.
        return checkIndices(m_image.data(), m_rowBytes, height);
    }
    return Status::ok();
}

// An index past the end of the palette has no colour; such a file is damaged.
Status PngReader::checkIndices(const uint8_t* rows, size_t stride, uint32_t count) const {
    if (m_info.format != PixelFormat::Indexed8 || m_paletteCount >= (size_t{1} << m_info.sourceBits)) {
        return Status::ok();
    }
    for (uint32_t y = 0; y < count; ++y, rows += stride) {
        if (*std::max_element(rows, rows + m_info.width) >= m_paletteCount) {
            return corrupt(kPng, "a pixel refers to a colour missing from the palette");
        }
    }
    return Status::ok();
}

Status PngReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    if (m_failed) {
        return m_failure;
    }
    if (count > m_info.height - m_nextRow) {
        return Status::readError("Read past the last row of the image");
    }
    if (m_interlaced) {
        for (uint32_t i = 0; i < count; ++i) {
            std::memcpy(dst + i * stride, m_image.data() + size_t{m_nextRow + i} * m_rowBytes, m_rowBytes);
        }
        m_nextRow += count;
        return Status::ok();
    }
    RowsArgs args{dst, stride, count};
    Status status = guarded(m_png.get(), m_pngInfo, readRowsStep, &args) ? checkIndices(dst, stride, count) : failure();
    if (!status.isOk()) {
        // libpng's state after an error is undefined; never call into it again.
        m_failed = true;
        m_failure = status;
        return status;
    }
    m_nextRow += count;
    return Status::ok();
}

}  // namespace

Status openPng(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    return openWith<PngReader>(std::move(source), limits, reader);
}

}  // namespace tessaplex::read
