#include "engine/write/JpegWriter.h"

#include "engine/core/PixelConvert.h"
#include "engine/write/HuffmanRecoder.h"

#include <algorithm>
#include <csetjmp>
#include <jpeglib.h>
#include <jerror.h>
#include <string>
#include <vector>

namespace tessaplex {

namespace {

// The first coding (standard tables) is kept in memory up to this size, beyond it in a
// scratch file; it is about a tenth of the pixels' size.
constexpr uint64_t kFirstCodingInMemory = 32ull << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg writes straight into the recoder's chunks.
struct Destination {
    jpeg_destination_mgr pub;
    HuffmanRecoder* recoder;
    size_t spaceSize;
    bool failed;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr, int) {}

void nextSpace(Destination* dest) {
    const auto [data, size] = dest->recoder->space();
    dest->pub.next_output_byte = data;
    dest->pub.free_in_buffer = size;
    dest->spaceSize = size;
}

void initDestination(j_compress_ptr cinfo) { nextSpace(reinterpret_cast<Destination*>(cinfo->dest)); }

// libjpeg calls this when the space is full, whatever free_in_buffer says.
boolean emptyOutput(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dest->recoder->commit(dest->spaceSize)) {
        dest->failed = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    nextSpace(dest);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dest->recoder->commit(dest->spaceSize - dest->pub.free_in_buffer)) {
        dest->failed = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

// Everything libjpeg needs, in plain C storage: longjmp may leave any step.
struct Context {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    Destination dest;
    int quality;
    const ImageInfo* info;
    JSAMPROW* rows;
    JDIMENSION rowCount;
};

using Step = void (*)(Context*);

// Runs one libjpeg step; false when libjpeg reported an error. Nothing with a
// destructor lives in this frame or in the steps, so the longjmp skips nothing.
bool guarded(Context* c, Step step) {
    if (setjmp(c->errors.jump)) {
        return false;
    }
    step(c);
    return true;
}

void stepCreate(Context* c) { jpeg_create_compress(&c->cinfo); }

void stepStart(Context* c) {
    jpeg_compress_struct& ci = c->cinfo;
    const ImageInfo& info = *c->info;
    ci.dest = &c->dest.pub;
    ci.image_width = info.width;
    ci.image_height = info.height;
    const bool gray = info.format == PixelFormat::Gray8;
    ci.input_components = gray ? 1 : 3;
    ci.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, c->quality, TRUE);
    if (!gray) {
        // Fine detail and colour edges survive at high quality only without chroma
        // subsampling; below it the halved chroma costs little that the eye sees.
        const int factor = c->quality >= 90 ? 1 : 2;
        ci.comp_info[0].h_samp_factor = factor;
        ci.comp_info[0].v_samp_factor = factor;
        ci.comp_info[1].h_samp_factor = ci.comp_info[1].v_samp_factor = 1;
        ci.comp_info[2].h_samp_factor = ci.comp_info[2].v_samp_factor = 1;
    }
    // libjpeg's own optimisation would hold every coefficient of the image; the
    // recoder gets the same tables from the standard-table coding instead.
    ci.optimize_coding = FALSE;
    // The floating-point DCT is as fast here (SIMD) and its more exact coefficients
    // quantise to slightly smaller files; it is the same on every run on one machine.
    ci.dct_method = JDCT_FLOAT;
    ci.write_JFIF_header = TRUE;
    if (info.xPixelsPerMetre > 0 && info.yPixelsPerMetre > 0) {
        // Dots per inch, the unit every program shows; rounded to whole dots.
        const uint64_t xdpi = (uint64_t{info.xPixelsPerMetre} * 254 + 5000) / 10000;
        const uint64_t ydpi = (uint64_t{info.yPixelsPerMetre} * 254 + 5000) / 10000;
        if (xdpi > 0 && ydpi > 0 && xdpi <= 65535 && ydpi <= 65535) {
            ci.density_unit = 1;
            ci.X_density = static_cast<UINT16>(xdpi);
            ci.Y_density = static_cast<UINT16>(ydpi);
        }
    }
    jpeg_start_compress(&ci, TRUE);
    // The profile describes the source's colours: a palette (RGB, even when all its
    // entries are gray) written as a gray JPEG no longer fits it.
    const bool paletteMadeGray = gray && !info.palette.empty();
    if (!info.iccProfile.empty() && !paletteMadeGray) {
        jpeg_write_icc_profile(&ci, info.iccProfile.data(), static_cast<unsigned>(info.iccProfile.size()));
    }
}

void stepWrite(Context* c) {
    JDIMENSION done = 0;
    while (done < c->rowCount) {
        done += jpeg_write_scanlines(&c->cinfo, c->rows + done, c->rowCount - done);
    }
}

void stepFinish(Context* c) { jpeg_finish_compress(&c->cinfo); }

void destroyContext(Context* c) {
    jpeg_destroy_compress(&c->cinfo);
    delete c;
}

class JpegWriter final : public ImageWriter {
public:
    explicit JpegWriter(const WriterOptions& options) : m_options(options) {}

    PixelFormat acceptedFormat(const ImageInfo& source) const override {
        using F = PixelFormat;
        switch (source.format) {
            case F::Gray8:
            case F::Gray16:
            case F::GrayAlpha8:
            case F::GrayAlpha16:
                return F::Gray8;
            case F::Indexed8:
                return !source.palette.empty() && paletteIsGray(source.palette) ? F::Gray8 : F::Rgb8;
            default:
                return F::Rgb8;
        }
    }

    bool compresses() const override { return true; }

    Status begin(const ImageInfo& info, ByteSink& sink) override {
        if (info.format != PixelFormat::Gray8 && info.format != PixelFormat::Rgb8) {
            return Status::writeError(kInvalidBitsPerPixel);
        }
        if (info.width > JPEG_MAX_DIMENSION || info.height > JPEG_MAX_DIMENSION) {
            return Status::writeError("Image too large for this file format");
        }
        m_info = info;
        auto* raw = new Context{};
        m_context.reset();
        Context* c = raw;
        c->cinfo.err = jpeg_std_error(&c->errors.pub);
        c->errors.pub.error_exit = onError;
        c->errors.pub.emit_message = onMessage;
        if (!guarded(c, stepCreate)) {
            delete raw;
            return Status::writeError("Out of memory");
        }
        m_context.reset(raw);
        c->dest.pub.init_destination = initDestination;
        c->dest.pub.empty_output_buffer = emptyOutput;
        c->dest.pub.term_destination = termDestination;
        m_sink = &sink;
        m_recoder = std::make_unique<HuffmanRecoder>(std::min(kFirstCodingInMemory, m_options.memoryBudget));
        c->dest.recoder = m_recoder.get();
        c->quality = m_options.quality;
        c->info = &m_info;
        c->cinfo.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(m_options.memoryBudget, 1ull << 40));
        if (!guarded(c, stepStart)) {
            return failure();
        }
        return Status::ok();
    }

    Status writeRows(const uint8_t* src, size_t stride, uint32_t count) override {
        Context* c = m_context.get();
        m_rowPointers.resize(count);
        for (uint32_t r = 0; r < count; ++r) {
            m_rowPointers[r] = const_cast<JSAMPROW>(src + r * stride);
        }
        c->rows = m_rowPointers.data();
        c->rowCount = count;
        if (!guarded(c, stepWrite)) {
            return failure();
        }
        return Status::ok();
    }

    Status finish() override {
        if (!guarded(m_context.get(), stepFinish)) {
            return failure();
        }
        return m_recoder->finish(*m_sink);
    }

private:
    Status failure() {
        Context* c = m_context.get();
        if (c->dest.failed) {
            return Status::writeError(m_recoder->error());
        }
        return Status::writeError(std::string("JPEG: ") + c->errors.message);
    }

    WriterOptions m_options;
    ImageInfo m_info;
    ByteSink* m_sink = nullptr;
    // Before the context, which points into it, so that it outlives the context.
    std::unique_ptr<HuffmanRecoder> m_recoder;
    Owned<Context, destroyContext> m_context;
    std::vector<JSAMPROW> m_rowPointers;
};

}  // namespace

std::unique_ptr<ImageWriter> makeJpegWriter(const WriterOptions& options) {
    return std::make_unique<JpegWriter>(options);
}

}  // namespace tessaplex
