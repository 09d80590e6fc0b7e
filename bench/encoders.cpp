// The library's PNG and JPEG writers against libpng's and libjpeg's own way of doing
// the same, in the library's real conversion path (reader, bands, output file): why
// the writers filter and deflate PNG rows and optimise JPEG Huffman tables themselves.
//
//   encoders VARIANT INPUT OUTPUT
//
// VARIANT: png (the library's PNG writer), libpng (libpng at zlib level 6 with its
// adaptive filters), jpg (the library's JPEG writer: standard tables recoded with
// optimal ones), libjpeg-optimize (libjpeg's own optimisation, which holds every
// coefficient of the image), libjpeg-standard (standard tables, no optimisation).
// JPEG at quality 75 with the library's settings. Built and run by bench/encoders.sh.
#include "engine/core/Driver.h"
#include "engine/core/OutputFile.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace tessaplex;

namespace {

// libpng writing rows into the sink, at the settings a caller of libpng would pick.
class LibpngWriter final : public ImageWriter {
public:
    ~LibpngWriter() override {
        if (m_png) {
            png_destroy_write_struct(&m_png, &m_info);
        }
    }
    PixelFormat acceptedFormat(const ImageInfo& source) const override {
        return hasAlphaChannel(source.format) ? PixelFormat::Rgba8 : PixelFormat::Rgb8;
    }
    Status begin(const ImageInfo& info, ByteSink& sink) override {
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        m_info = png_create_info_struct(m_png);
        png_set_write_fn(m_png, &sink, onWrite, nullptr);
        if (setjmp(png_jmpbuf(m_png))) {
            return Status::writeError("libpng failed");
        }
        png_set_compression_level(m_png, 6);
        png_set_filter(m_png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
        png_set_IHDR(m_png, m_info, info.width, info.height, 8,
                     info.format == PixelFormat::Rgba8 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        png_write_info(m_png, m_info);
        return Status::ok();
    }
    Status writeRows(const uint8_t* src, size_t stride, uint32_t count) override {
        if (setjmp(png_jmpbuf(m_png))) {
            return Status::writeError("libpng failed");
        }
        for (uint32_t r = 0; r < count; ++r) {
            png_write_row(m_png, src + r * stride);
        }
        return Status::ok();
    }
    Status finish() override {
        if (setjmp(png_jmpbuf(m_png))) {
            return Status::writeError("libpng failed");
        }
        png_write_end(m_png, m_info);
        return Status::ok();
    }
    bool compresses() const override { return true; }

private:
    static void onWrite(png_structp png, png_bytep data, size_t size) {
        if (!static_cast<ByteSink*>(png_get_io_ptr(png))->write(data, size)) {
            png_error(png, "write failed");
        }
    }

    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// libjpeg writing into the sink through its own destination buffer.
class LibjpegWriter final : public ImageWriter {
public:
    explicit LibjpegWriter(bool optimize) : m_optimize(optimize) {
        m_cinfo.err = jpeg_std_error(&m_error);
        jpeg_create_compress(&m_cinfo);
    }
    ~LibjpegWriter() override { jpeg_destroy_compress(&m_cinfo); }
    PixelFormat acceptedFormat(const ImageInfo& source) const override {
        return source.format == PixelFormat::Gray8 ? PixelFormat::Gray8 : PixelFormat::Rgb8;
    }
    Status begin(const ImageInfo& info, ByteSink& sink) override {
        m_sink = &sink;
        m_dest.init_destination = [](j_compress_ptr c) { reset(c); };
        m_dest.empty_output_buffer = [](j_compress_ptr c) -> boolean {
            auto* self = static_cast<LibjpegWriter*>(c->client_data);
            self->m_sink->write(self->m_buffer, sizeof self->m_buffer);
            reset(c);
            return TRUE;
        };
        m_dest.term_destination = [](j_compress_ptr c) {
            auto* self = static_cast<LibjpegWriter*>(c->client_data);
            self->m_sink->write(self->m_buffer, sizeof self->m_buffer - c->dest->free_in_buffer);
        };
        m_cinfo.client_data = this;
        m_cinfo.dest = &m_dest;
        m_cinfo.image_width = info.width;
        m_cinfo.image_height = info.height;
        const bool gray = info.format == PixelFormat::Gray8;
        m_cinfo.input_components = gray ? 1 : 3;
        m_cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_set_defaults(&m_cinfo);
        jpeg_set_quality(&m_cinfo, 75, TRUE);  // 4:2:0, as the library's writer below 90
        m_cinfo.optimize_coding = m_optimize ? TRUE : FALSE;
        m_cinfo.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&m_cinfo, TRUE);
        return Status::ok();
    }
    Status writeRows(const uint8_t* src, size_t stride, uint32_t count) override {
        for (uint32_t r = 0; r < count; ++r) {
            auto* row = const_cast<JSAMPROW>(src + r * stride);
            jpeg_write_scanlines(&m_cinfo, &row, 1);
        }
        return Status::ok();
    }
    Status finish() override {
        jpeg_finish_compress(&m_cinfo);
        return Status::ok();
    }
    bool compresses() const override { return true; }

private:
    static void reset(j_compress_ptr c) {
        auto* self = static_cast<LibjpegWriter*>(c->client_data);
        c->dest->next_output_byte = self->m_buffer;
        c->dest->free_in_buffer = sizeof self->m_buffer;
    }

    bool m_optimize;
    jpeg_compress_struct m_cinfo{};
    jpeg_error_mgr m_error{};
    jpeg_destination_mgr m_dest{};
    ByteSink* m_sink = nullptr;
    JOCTET m_buffer[64 * 1024];
};

std::unique_ptr<ImageWriter> writerFor(const std::string& variant) {
    if (variant == "png") {
        return makeWriter(OutputFormat::Png, WriterOptions{});
    }
    if (variant == "jpg") {
        return makeWriter(OutputFormat::Jpeg, WriterOptions{});
    }
    if (variant == "libpng") {
        return std::make_unique<LibpngWriter>();
    }
    if (variant == "libjpeg-optimize" || variant == "libjpeg-standard") {
        return std::make_unique<LibjpegWriter>(variant == "libjpeg-optimize");
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || !writerFor(argv[1])) {
        std::fprintf(stderr, "usage: %s png|libpng|jpg|libjpeg-optimize|libjpeg-standard INPUT OUTPUT\n", argv[0]);
        return 2;
    }
    const Limits limits;
    std::unique_ptr<ImageReader> reader;
    Status status = openReader(argv[2], limits, reader);
    const std::unique_ptr<ImageWriter> writer = writerFor(argv[1]);
    OutputFile output;
    if (status.isOk()) {
        status = output.create(argv[3]);
    }
    if (status.isOk()) {
        status = transcode(*reader, *writer, output, limits);
    }
    if (status.isOk()) {
        status = output.commit();
    }
    if (!status.isOk()) {
        std::fprintf(stderr, "%s: %s\n", argv[2], status.message.c_str());
        return 1;
    }
    return 0;
}
