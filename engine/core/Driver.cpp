#include "engine/core/Driver.h"

#include "engine/core/Checked.h"
#include "engine/core/OutputFile.h"
#include "engine/core/PixelConvert.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace tessaplex {

namespace {

// Rows travel in bands of about this many bytes: large enough that per-call costs
// vanish, small enough that the buffers come from the heap the process already has
// (fresh pages cost a fault each, which for small files is most of the time spent).
constexpr uint64_t kBandBytes = 128u << 10;
// Below this many bytes of rows a second thread costs more in hand-overs than the
// overlap saves (and much more on a busy machine).
constexpr uint64_t kPipelineBytes = 8u << 20;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads bands on a thread of its own while the caller converts and writes the
// previous one, so that decoding and encoding overlap on two cores.
class BandPipeline {
public:
    BandPipeline(ImageReader& reader, uint32_t height, uint32_t bandRows, size_t stride)
        : m_reader(reader), m_height(height), m_bandRows(bandRows), m_stride(stride) {
        for (Slot& slot : m_slots) {
            slot.data.reset(new uint8_t[stride * bandRows]);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~BandPipeline() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    BandPipeline(const BandPipeline&) = delete;
    BandPipeline& operator=(const BandPipeline&) = delete;

    // Waits for band `index`; null when reading failed before it (see readStatus()).
    const uint8_t* wait(uint32_t index, uint32_t& rows) {
        Slot& slot = m_slots[index % 2];
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return (slot.full && slot.index == index) || !m_readStatus.isOk(); });
        if (!(slot.full && slot.index == index)) {
            return nullptr;
        }
        rows = slot.rows;
        return slot.data.get();
    }
    // Hands the buffer of band `index` back to the reading thread.
    void release(uint32_t index) {
        {
            std::lock_guard lock(m_mutex);
            m_slots[index % 2].full = false;
        }
        m_changed.notify_all();
    }
    Status readStatus() {
        std::lock_guard lock(m_mutex);
        return m_readStatus;
    }

private:
    struct Slot {
        std::unique_ptr<uint8_t[]> data;
        uint32_t index = 0;
        uint32_t rows = 0;
        bool full = false;
    };

    void run() {
        uint32_t y = 0;
        for (uint32_t index = 0; y < m_height; ++index) {
            Slot& slot = m_slots[index % 2];
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !slot.full || m_stop; });
                if (m_stop) {
                    return;
                }
            }
            const uint32_t rows = std::min(m_bandRows, m_height - y);
            Status status;
            try {
                status = m_reader.readRows(slot.data.get(), m_stride, rows);
            } catch (const std::bad_alloc&) {
                status = Status::readError("Out of memory");
            } catch (...) {
                status = Status::readError("Unexpected failure while reading");
            }
            {
                std::lock_guard lock(m_mutex);
                if (!status.isOk()) {
                    m_readStatus = status.kind == 0 ? Status::readError("Reading failed") : status;
                } else {
                    slot.index = index;
                    slot.rows = rows;
                    slot.full = true;
                }
            }
            m_changed.notify_all();
            if (!status.isOk()) {
                return;
            }
            y += rows;
        }
    }

    ImageReader& m_reader;
    const uint32_t m_height;
    const uint32_t m_bandRows;
    const size_t m_stride;
    Slot m_slots[2];
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Status m_readStatus;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace

std::optional<OutputFormat> outputFormatForPath(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::nullopt;
    }
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), lower);
    if (ext == "bmp") {
        return OutputFormat::Bmp;
    }
    if (ext == "png") {
        return OutputFormat::Png;
    }
    if (ext == "jpg" || ext == "jpeg") {
        return OutputFormat::Jpeg;
    }
    return std::nullopt;
}

Status transcode(ImageReader& reader, ImageWriter& writer, ByteSink& sink, const Limits& limits) {
    const ImageInfo& info = reader.info();
    if (info.width == 0 || info.height == 0) {
        return Status::readError("Image has no pixels");
    }
    uint64_t pixels = 0;
    if (info.width > limits.maxDimension || info.height > limits.maxDimension ||
        !checkedMul<uint64_t>(info.width, info.height, pixels) || pixels > limits.maxPixels) {
        return Status::readError("Image too large");
    }
    const PixelFormat target = writer.acceptedFormat(info);
    ImageInfo outInfo = info;
    outInfo.format = target;

    uint64_t inStride = 0, outStride = 0;
    if (!checkedMul<uint64_t>(info.width, bytesPerPixel(info.format), inStride) ||
        !checkedMul<uint64_t>(info.width, bytesPerPixel(target), outStride)) {
        return Status::readError("Image too large");
    }
    const uint64_t widest = std::max(inStride, outStride);
    const uint32_t bandRows =
        static_cast<uint32_t>(std::clamp<uint64_t>(kBandBytes / widest, 1, info.height));
    // Two bands being read and one converted band: refuse before allocating when even
    // that does not fit.
    uint64_t working = 0;
    if (!checkedMul<uint64_t>(widest * 3, bandRows, working) || working > limits.memoryBudget) {
        return Status::readError("Image too large");
    }

    Status status = writer.begin(outInfo, sink);
    if (!status.isOk()) {
        return status;
    }
    const RowConverter converter(info, target);
    // Not zero-filled: every byte is written before it is read.
    std::unique_ptr<uint8_t[]> converted(converter.isIdentity() ? nullptr : new uint8_t[outStride * bandRows]);
    auto push = [&](const uint8_t* rows, uint32_t count) -> Status {
        if (converter.isIdentity()) {
            return writer.writeRows(rows, inStride, count);
        }
        for (uint32_t r = 0; r < count; ++r) {
            converter.convert(rows + r * inStride, converted.get() + r * outStride, info.width);
        }
        return writer.writeRows(converted.get(), outStride, count);
    };

    if (inStride * info.height <= kPipelineBytes) {
        const std::unique_ptr<uint8_t[]> band(new uint8_t[inStride * bandRows]);
        for (uint32_t y = 0; y < info.height && status.isOk();) {
            const uint32_t rows = std::min(bandRows, info.height - y);
            status = reader.readRows(band.get(), inStride, rows);
            if (status.isOk()) {
                status = push(band.get(), rows);
            }
            y += rows;
        }
    } else {
        BandPipeline pipeline(reader, info.height, bandRows, inStride);
        for (uint32_t index = 0, y = 0; y < info.height && status.isOk(); ++index) {
            uint32_t rows = 0;
            const uint8_t* band = pipeline.wait(index, rows);
            if (!band) {
                status = pipeline.readStatus();
                break;
            }
            status = push(band, rows);
            pipeline.release(index);
            y += rows;
        }
    }
    if (!status.isOk()) {
        return status;
    }
    return writer.finish();
}

Status convertImage(ImageReader& reader, const std::string& outputPath, const ConvertOptions& options) {
    const std::optional<OutputFormat> format = outputFormatForPath(outputPath);
    if (!format) {
        return Status::writeError(kOutputNotSupported);
    }
    const ImageInfo& info = reader.info();
    // Whatever the reader holds for the whole image is taken off the writers' share.
    uint64_t held = 0;
    if (info.wholeImageBuffered &&
        (!checkedMul<uint64_t>(uint64_t{info.width} * info.height, bytesPerPixel(info.format), held))) {
        return Status::readError("Image too large");
    }
    WriterOptions writerOptions;
    writerOptions.quality = std::clamp(options.quality, 1, 100);
    writerOptions.memoryBudget = options.limits.memoryBudget > held ? options.limits.memoryBudget - held : 0;
    const std::unique_ptr<ImageWriter> writer = makeWriter(*format, writerOptions);

    OutputFile output;
    Status status = output.create(outputPath);
    if (!status.isOk()) {
        return status;
    }
    status = transcode(reader, *writer, output, options.limits);
    if (!status.isOk()) {
        return status;
    }
    return output.commit();
}

Status convertFile(const std::string& inputPath, const std::string& outputPath, const ConvertOptions& options) {
    if (!outputFormatForPath(outputPath)) {
        return Status::writeError(kOutputNotSupported);
    }
    if (sameFile(inputPath, outputPath)) {
        return Status::writeError("Output file is the input file");
    }
    std::unique_ptr<ImageReader> reader;
    Status status = openReader(inputPath, options.limits, reader);
    if (!status.isOk()) {
        return status;
    }
    if (!reader) {
        return Status::readError(kInputNotSupported);
    }
    return convertImage(*reader, outputPath, options);
}

}  // namespace tessaplex
