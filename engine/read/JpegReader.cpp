// JPEG through libjpeg-turbo: baseline, progressive and arithmetic-coded; gray, RGB,
// CMYK and YCCK (turned into RGB); the EXIF orientation applied, so the picture comes
// out upright as browsers show it. libjpeg's habit of finishing a damaged image with
// grey filler is turned into a read error: a batch user who sees success may delete
// the original.
#include "engine/read/ByteSource.h"
#include "engine/read/Exif.h"
#include "engine/read/FormatReaders.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first; jerror.h needs jpeglib.h's configuration.
#include <jpeglib.h>

#include <jerror.h>

namespace tessaplex::read {
namespace {

constexpr const char* kJpeg = "JPEG";
constexpr int kOwnMessage = -1;

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;
    char message[JMSG_LENGTH_MAX + 64] = {};
};

struct JpegSource {
    jpeg_source_mgr pub;
    ByteSource* source = nullptr;
    // Running out of data is an error at once while the header is read, and in images
    // of several scans or arithmetic coding, where nothing else would notice it.
    bool strictEnd = true;
    JOCTET buffer[1 << 16];
};

// Watches the work of reading every scan of a multi-scan image into the coefficient
// buffer: libjpeg calls it before each row of blocks of a scan.
struct JpegProgress {
    jpeg_progress_mgr pub;
    const JpegSource* source = nullptr;
    int maxScans = 0;
    bool counting = false;  // while the scans are read, not while rows go out
    uint64_t visits = 0;    // blocks the scans have passed over, weighted by cost
    uint64_t freeVisits = 0;
    uint64_t visitsPerByte = 0;
};

// libjpeg calls all of the following from inside its own frames, and error exits leave
// them by longjmp: nothing in them has a destructor.
[[noreturn]] void failWith(j_common_ptr cinfo, int code, const char* text) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    err->code = code;
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void onErrorExit(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    failWith(cinfo, cinfo->err->msg_code, text);
}

// Warnings that mean pixels are missing or made up end the decoding; the harmless ones
// (extra bytes before a marker, an unknown JFIF version...) are only counted.
void onEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;  // trace messages
    }
    switch (cinfo->err->msg_code) {
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
            onErrorExit(cinfo);
        default:
            cinfo->err->num_warnings++;
    }
}

void onOutputMessage(j_common_ptr) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    const size_t got = src->source->read(src->buffer, sizeof src->buffer);
    if (got == 0) {
        if (src->strictEnd || src->source->failed()) {
            ERREXIT(cinfo, JERR_INPUT_EOF);
        }
        // A single Huffman scan: a fake end marker lets the decoder finish; if it still
        // needed data it warns JWRN_HIT_MARKER, which is fatal above.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        src->pub.next_input_byte = src->buffer;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    if (count <= 0) {
        return;
    }
    const size_t n = static_cast<size_t>(count);
    if (n <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= n;
        return;
    }
    const uint64_t target = src->source->tell() + (n - src->pub.bytes_in_buffer);
    src->pub.bytes_in_buffer = 0;
    if (!src->source->seek(std::min(target, src->source->size()))) {
        ERREXIT(cinfo, JERR_INPUT_EOF);
    }
}

void onProgress(j_common_ptr cinfo) {
    auto* progress = reinterpret_cast<JpegProgress*>(cinfo->progress);
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > progress->maxScans) {
        failWith(cinfo, kOwnMessage, "Corrupt JPEG file: too many scans");
    }
    if (!progress->counting) {
        return;
    }
    // One row of MCUs; in a scan of one component, as many rows of blocks as the
    // component has vertically in an MCU of the image. A refining scan reads what the
    // earlier ones stored in every block, at about three times the cost.
    const int rows = dinfo->comps_in_scan == 1 ? dinfo->cur_comp_info[0]->v_samp_factor : 1;
    const int weight = dinfo->Ah > 0 ? 3 : 1;
    progress->visits += uint64_t{dinfo->MCUs_per_row} * static_cast<uint64_t>(dinfo->blocks_in_MCU * rows * weight);
    // Scans that pass over the blocks with hardly any data (runs of end-of-bands) would
    // make a small file cost minutes.
    const uint64_t consumed = progress->source->source->tell() - progress->source->pub.bytes_in_buffer;
    if (progress->visits > progress->freeVisits + consumed * progress->visitsPerByte) {
        failWith(cinfo, kOwnMessage, "Corrupt JPEG file: too many scans for the data they hold");
    }
}

using JpegStep = void (*)(j_decompress_ptr, void*);

// The one frame that calls setjmp; libjpeg's errors land here.
bool guarded(j_decompress_ptr cinfo, JpegStep step, void* arg) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (setjmp(err->jump)) {
        return false;
    }
    step(cinfo, arg);
    return true;
}

struct CreateArgs {
    JpegSource* source;
    JpegProgress* progress;
    long maxMemory;
};

void createStep(j_decompress_ptr cinfo, void* arg) {
    const auto* args = static_cast<CreateArgs*>(arg);
    jpeg_create_decompress(cinfo);
    cinfo->src = &args->source->pub;
    cinfo->progress = &args->progress->pub;
    cinfo->mem->max_memory_to_use = args->maxMemory;
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);  // EXIF
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
}

void headerStep(j_decompress_ptr cinfo, void* arg) {
    *static_cast<int*>(arg) = jpeg_read_header(cinfo, TRUE);
}

struct IccArgs {
    JOCTET* data;
    unsigned length;
};

void iccStep(j_decompress_ptr cinfo, void* arg) {
    auto* args = static_cast<IccArgs*>(arg);
    if (!jpeg_read_icc_profile(cinfo, &args->data, &args->length)) {
        args->data = nullptr;
    }
}

void startStep(j_decompress_ptr cinfo, void*) {
    jpeg_start_decompress(cinfo);
}

struct ScanlineArgs {
    JSAMPROW* rows;
    JDIMENSION count;
};

void scanlinesStep(j_decompress_ptr cinfo, void* arg) {
    const auto* args = static_cast<ScanlineArgs*>(arg);
    JDIMENSION done = 0;
    while (done < args->count) {
        const JDIMENSION got = jpeg_read_scanlines(cinfo, args->rows + done, args->count - done);
        if (got == 0) {
            ERREXIT(cinfo, JERR_INPUT_EOF);  // cannot happen with our source; never loop forever
        }
        done += got;
    }
}

void destroyDecompress(jpeg_decompress_struct* cinfo) {
    jpeg_destroy_decompress(cinfo);
    delete cinfo;
}

// (a * b) / 255, rounded.
inline uint8_t mul255(unsigned a, unsigned b) {
    const unsigned x = a * b + 128;
    return static_cast<uint8_t>((x + (x >> 8)) >> 8);
}

class JpegReader final : public ImageReader {
public:
    JpegReader(std::unique_ptr<ByteSource> source, const Limits& limits) : m_src(std::move(source)), m_limits(limits) {}

    const ImageInfo& info() const override { return m_info; }
    Status open();
    Status readRows(uint8_t* dst, size_t stride, uint32_t count) override;

private:
    Status failure();
    Status decode(uint8_t* dst, size_t stride, uint32_t count);
    Status decodeWhole();
    void readMarkers();
    void copyRotated(uint32_t y, uint8_t* dst) const;

    std::unique_ptr<ByteSource> m_src;
    Limits m_limits;
    ImageInfo m_info;
    JpegError m_error;
    JpegSource m_source;
    JpegProgress m_progress;
    Owned<jpeg_decompress_struct, destroyDecompress> m_cinfo;

    int m_orientation = 1;
    bool m_cmyk = false;
    bool m_inverted = false;  // Adobe stores CMYK inverted
    unsigned m_channels = 3;
    uint32_t m_storedWidth = 0, m_storedHeight = 0;
    std::vector<uint8_t> m_scratch;  // CMYK rows before conversion
    std::vector<JSAMPROW> m_rowPointers;
    std::vector<uint8_t> m_image;  // whole stored image, for rotations
    uint32_t m_nextRow = 0;
    bool m_failed = false;
    Status m_failure;
};

Status JpegReader::failure() {
    m_failed = true;
    if (m_src->failed()) {
        m_failure = m_src->readFailure();
    } else {
        switch (m_error.code) {
            case JERR_BAD_PRECISION:    // 12-bit samples
            case JERR_SOF_UNSUPPORTED:  // lossless and hierarchical
            case JERR_NOT_COMPILED:
                m_failure = Status::readError(kUnsupportedOption);
                break;
            case JERR_NO_BACKING_STORE:
            case JERR_OUT_OF_MEMORY:
                m_failure = checkMemory(std::numeric_limits<uint64_t>::max(), m_limits);
                break;
            case kOwnMessage:
                m_failure = Status::readError(m_error.message);
                break;
            default:
                m_failure = corrupt(kJpeg, m_error.message);
        }
    }
    return m_failure;
}

void JpegReader::readMarkers() {
    j_decompress_ptr cinfo = m_cinfo.get();
    ExifFields exif;
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            exif = parseExif(m->data, m->data_length);
            break;
        }
    }
    m_orientation = exif.orientation;

    double x = 0, y = 0;
    if (cinfo->saw_JFIF_marker && (cinfo->density_unit == 1 || cinfo->density_unit == 2) && cinfo->X_density > 0 &&
        cinfo->Y_density > 0) {
        const double perMetre = cinfo->density_unit == 1 ? 1 / 0.0254 : 100;
        x = cinfo->X_density * perMetre;
        y = cinfo->Y_density * perMetre;
    } else if ((exif.resolutionUnit == 2 || exif.resolutionUnit == 3) && exif.xResolution > 0 && exif.yResolution > 0) {
        const double perMetre = exif.resolutionUnit == 2 ? 1 / 0.0254 : 100;
        x = exif.xResolution * perMetre;
        y = exif.yResolution * perMetre;
    }
    if (x >= 1 && y >= 1 && x < 1e9 && y < 1e9) {
        m_info.xPixelsPerMetre = static_cast<uint32_t>(std::lround(x));
        m_info.yPixelsPerMetre = static_cast<uint32_t>(std::lround(y));
        if (m_orientation >= 5) {
            std::swap(m_info.xPixelsPerMetre, m_info.yPixelsPerMetre);
        }
    }
}

Status JpegReader::open() {
    m_cinfo.reset(new jpeg_decompress_struct{});
    j_decompress_ptr cinfo = m_cinfo.get();
    cinfo->err = jpeg_std_error(&m_error.pub);
    m_error.pub.error_exit = onErrorExit;
    m_error.pub.emit_message = onEmitMessage;
    m_error.pub.output_message = onOutputMessage;
    m_source.source = m_src.get();
    m_source.pub.init_source = initSource;
    m_source.pub.fill_input_buffer = fillInputBuffer;
    m_source.pub.skip_input_data = skipInputData;
    m_source.pub.resync_to_restart = jpeg_resync_to_restart;
    m_source.pub.term_source = termSource;
    m_source.pub.bytes_in_buffer = 0;
    m_source.pub.next_input_byte = nullptr;
    m_progress.pub.progress_monitor = onProgress;
    m_progress.source = &m_source;
    m_progress.maxScans = static_cast<int>(std::min<uint32_t>(m_limits.maxJpegScans, 1u << 30));

    CreateArgs create{&m_source, &m_progress,
                      static_cast<long>(std::min<uint64_t>(m_limits.memoryBudget, uint64_t{1} << 62))};
    int header = 0;
    if (!guarded(cinfo, createStep, &create) || !guarded(cinfo, headerStep, &header)) {
        return failure();
    }
    if (header != JPEG_HEADER_OK) {
        return corrupt(kJpeg, "no image in the file");
    }
    Status status = checkDimensions(cinfo->image_width, cinfo->image_height, m_limits);
    if (!status.isOk()) {
        return status;
    }
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            m_info.format = PixelFormat::Gray8;
            m_channels = 1;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_EXT_RGB;
            m_info.format = PixelFormat::Rgb8;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo->out_color_space = JCS_CMYK;
            m_info.format = PixelFormat::Rgb8;
            m_cmyk = true;
            m_inverted = cinfo->saw_Adobe_marker;
            break;
        default:
            return Status::readError(kUnsupportedOption);
    }
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;

    // All scans but the last are held as coefficients; refuse before libjpeg allocates.
    const bool multiScan = jpeg_has_multiple_scans(cinfo);
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& comp = cinfo->comp_info[c];
        const uint64_t h = std::max(comp.h_samp_factor, 1), v = std::max(comp.v_samp_factor, 1);
        blocks += (comp.width_in_blocks + h - 1) / h * h * ((comp.height_in_blocks + v - 1) / v * v);
    }
    uint64_t memory = multiScan ? blocks * DCTSIZE2 * sizeof(JCOEF) : 0;
    readMarkers();
    if (m_orientation > 2) {
        memory += uint64_t{cinfo->image_width} * cinfo->image_height * m_channels;
    }
    status = checkMemory(memory, m_limits);
    if (!status.isOk()) {
        return status;
    }

    if (!m_cmyk) {
        IccArgs icc{nullptr, 0};
        if (!guarded(cinfo, iccStep, &icc)) {
            return failure();
        }
        if (icc.data) {
            const char* space = m_channels == 1 ? "GRAY" : "RGB ";
            if (icc.length >= 20 && std::memcmp(icc.data + 16, space, 4) == 0) {
                m_info.iccProfile.assign(icc.data, icc.data + icc.length);
            }
            std::free(icc.data);
        }
    }

    m_source.strictEnd = multiScan || cinfo->arith_code;
    // A multi-scan image is read whole, scan by scan, inside jpeg_start_decompress.
    m_progress.counting = multiScan;
    m_progress.freeVisits = blocks * m_limits.jpegFreePasses;
    m_progress.visitsPerByte = m_limits.jpegBlocksPerByte;
    const bool started = guarded(cinfo, startStep, nullptr);
    m_progress.counting = false;
    if (!started) {
        return failure();
    }
    if (cinfo->output_components != (m_cmyk ? 4 : static_cast<int>(m_channels))) {
        return corrupt(kJpeg, "unexpected number of colour components");
    }
    m_storedWidth = cinfo->output_width;
    m_storedHeight = cinfo->output_height;
    const bool swapSides = m_orientation >= 5;
    m_info.width = swapSides ? m_storedHeight : m_storedWidth;
    m_info.height = swapSides ? m_storedWidth : m_storedHeight;
    m_info.source = SourceFormat::Jpeg;
    m_info.sourceBits = 8;
    m_info.wholeImageBuffered = multiScan || m_orientation > 2;
    if (m_cmyk) {
        m_scratch.resize(size_t{m_storedWidth} * 4 * cinfo->rec_outbuf_height);
    }
    return Status::ok();
}

// Decodes `count` rows in stored orientation into RGB or gray.
Status JpegReader::decode(uint8_t* dst, size_t stride, uint32_t count) {
    j_decompress_ptr cinfo = m_cinfo.get();
    if (!m_cmyk) {
        m_rowPointers.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            m_rowPointers[i] = dst + i * stride;
        }
        ScanlineArgs args{m_rowPointers.data(), count};
        return guarded(cinfo, scanlinesStep, &args) ? Status::ok() : failure();
    }
    const uint32_t batch = static_cast<uint32_t>(std::max(cinfo->rec_outbuf_height, 1));
    m_rowPointers.resize(batch);
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(batch, count - done);
        for (uint32_t i = 0; i < n; ++i) {
            m_rowPointers[i] = m_scratch.data() + size_t{i} * m_storedWidth * 4;
        }
        ScanlineArgs args{m_rowPointers.data(), n};
        if (!guarded(cinfo, scanlinesStep, &args)) {
            return failure();
        }
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* s = m_scratch.data() + size_t{i} * m_storedWidth * 4;
            uint8_t* d = dst + (done + i) * stride;
            for (uint32_t x = 0; x < m_storedWidth; ++x, s += 4, d += 3) {
                const unsigned c = m_inverted ? s[0] : 255 - s[0], m = m_inverted ? s[1] : 255 - s[1],
                               ye = m_inverted ? s[2] : 255 - s[2], k = m_inverted ? s[3] : 255 - s[3];
                d[0] = mul255(c, k);
                d[1] = mul255(m, k);
                d[2] = mul255(ye, k);
            }
        }
        done += n;
    }
    return Status::ok();
}

Status JpegReader::decodeWhole() {
    const size_t stride = size_t{m_storedWidth} * m_channels;
    m_image.resize(stride * m_storedHeight);
    return decode(m_image.data(), stride, m_storedHeight);
}

// Output row `y` of the upright picture, taken from the stored image.
void JpegReader::copyRotated(uint32_t y, uint8_t* dst) const {
    const uint32_t sw = m_storedWidth, sh = m_storedHeight, w = m_info.width;
    const unsigned c = m_channels;
    const size_t stride = size_t{sw} * c;
    // Stored column and row of output (x, y) is (col0 + x * colStep, row0 + x * rowStep).
    int64_t col0 = 0, row0 = 0, colStep = 1, rowStep = 0;
    switch (m_orientation) {
        case 3:
            col0 = sw - 1, row0 = sh - 1 - y, colStep = -1;
            break;
        case 4:
            col0 = 0, row0 = sh - 1 - y;
            break;
        case 5:
            col0 = y, row0 = 0, colStep = 0, rowStep = 1;
            break;
        case 6:
            col0 = y, row0 = sh - 1, colStep = 0, rowStep = -1;
            break;
        case 7:
            col0 = sw - 1 - y, row0 = sh - 1, colStep = 0, rowStep = -1;
            break;
        case 8:
            col0 = sw - 1 - y, row0 = 0, colStep = 0, rowStep = 1;
            break;
        default:
            unreachable("an upright image turned");
    }
    // Offsets rather than a moving pointer: stepping backwards would leave the buffer.
    const int64_t step = rowStep * static_cast<int64_t>(stride) + colStep * c;
    const uint8_t* image = m_image.data();
    int64_t at = row0 * static_cast<int64_t>(stride) + col0 * c;
    if (c == 1) {
        for (uint32_t x = 0; x < w; ++x, at += step) {
            dst[x] = image[at];
        }
    } else {
        for (uint32_t x = 0; x < w; ++x, at += step, dst += 3) {
            dst[0] = image[at], dst[1] = image[at + 1], dst[2] = image[at + 2];
        }
    }
}

Status JpegReader::readRows(uint8_t* dst, size_t stride, uint32_t count) {
    if (m_failed) {
        return m_failure;
    }
    if (count > m_info.height - m_nextRow) {
        return Status::readError("Read past the last row of the image");
    }
    if (m_orientation <= 2) {
        Status status = decode(dst, stride, count);
        if (!status.isOk()) {
            return status;
        }
        if (m_orientation == 2) {
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* row = dst + i * stride;
                for (uint32_t a = 0, b = m_info.width - 1; a < b; ++a, --b) {
                    std::swap_ranges(row + size_t{a} * m_channels, row + size_t{a + 1} * m_channels,
                                     row + size_t{b} * m_channels);
                }
            }
        }
        m_nextRow += count;
        return Status::ok();
    }
    if (m_image.empty()) {
        Status status = decodeWhole();
        if (!status.isOk()) {
            return status;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        copyRotated(m_nextRow + i, dst + i * stride);
    }
    m_nextRow += count;
    return Status::ok();
}

}  // namespace

Status openJpeg(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    return openWith<JpegReader>(std::move(source), limits, reader);
}

}  // namespace tessaplex::read
