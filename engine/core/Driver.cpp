#include "engine/core/Driver.h"

#include "engine/core/OutputFile.h"
#include "engine/core/PixelConvert.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#include <immintrin.h>
#endif

namespace tessaplex {

namespace {

// Rows travel in bands of about this many bytes: large enough that per-call costs
// vanish, small enough that the buffers come from the heap the process already has
// (fresh pages cost a fault each, which for small files is most of the time spent).
constexpr uint64_t kBandBytes = 128u << 10;
// Beyond this many bytes of rows, reading runs on a thread of its own whatever the
// writer; below it only for writers that compress, whose work is worth the thread.
constexpr uint64_t kPipelineBytes = 8u << 20;
constexpr uint64_t kSmallestPipelined = 256u << 10;
// Bands in flight between the reading thread and the writing one.
constexpr unsigned kSlots = 4;
// A band on the reading thread holds at least a JPEG MCU row, and the image is cut
// into at least kMinBands of them, so that the last band, which nothing overlaps, is short.
constexpr uint32_t kMinBandRows = 16;
constexpr uint32_t kMinBands = 16;
// Pauses a waiting thread spins for before it sleeps: the other side usually delivers
// within microseconds, while waking a sleeping thread takes far longer (tens of
// microseconds in a virtual machine), and that at every band.
constexpr int kSpins = 1000;

inline void relax() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Reads bands on a thread of its own and converts them into the writer's format there,
// while the caller writes earlier ones: decoding and encoding overlap on two cores, and
// the encoding side, usually the slower, does nothing else.
class BandPipeline {
public:
    BandPipeline(ImageReader& reader, const RowConverter& converter, uint32_t height, uint32_t bandRows,
                 size_t inStride, size_t outStride)
        : m_reader(reader), m_converter(converter), m_height(height), m_bandRows(bandRows), m_inStride(inStride),
          m_outStride(outStride) {
        for (std::unique_ptr<uint8_t[]>& slot : m_slots) {
            slot.reset(new uint8_t[outStride * bandRows]);
        }
        if (!converter.isIdentity()) {
            m_read.reset(new uint8_t[inStride * bandRows]);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~BandPipeline() {
        m_stop.store(true, std::memory_order_release);
        signal();
        m_thread.join();
    }
    BandPipeline(const BandPipeline&) = delete;
    BandPipeline& operator=(const BandPipeline&) = delete;

    // Waits for band `index` (taken in order), converted; null when reading failed
    // before it (see readStatus()).
    const uint8_t* wait(uint32_t index, uint32_t& rows) {
        await([&] { return m_filled.load(std::memory_order_acquire) > index || m_failed.load(std::memory_order_acquire); });
        if (m_filled.load(std::memory_order_acquire) <= index) {
            return nullptr;
        }
        rows = std::min(m_bandRows, m_height - index * m_bandRows);
        return m_slots[index % kSlots].get();
    }
    // Hands the buffer of band `index` back to the reading thread.
    void release(uint32_t index) {
        m_released.store(index + 1, std::memory_order_release);
        signal();
    }
    Status readStatus() {
        std::lock_guard lock(m_mutex);
        return m_readStatus;
    }

private:
    template <typename Ready>
    void await(Ready ready) {
        for (int i = 0; i < kSpins; ++i) {
            if (ready()) {
                return;
            }
            relax();
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, ready);
    }
    // Taking the mutex orders the change before a waiter that has checked and is about
    // to sleep: it cannot miss the notification.
    void signal() {
        { std::lock_guard lock(m_mutex); }
        m_changed.notify_all();
    }

    void run() {
        uint32_t y = 0;
        for (uint32_t index = 0; y < m_height; ++index) {
            await([&] {
                return index - m_released.load(std::memory_order_acquire) < kSlots ||
                       m_stop.load(std::memory_order_acquire);
            });
            if (m_stop.load(std::memory_order_acquire)) {
                return;
            }
            const uint32_t rows = std::min(m_bandRows, m_height - y);
            uint8_t* const slot = m_slots[index % kSlots].get();
            Status status;
            try {
                status = m_reader.readRows(m_read ? m_read.get() : slot, m_inStride, rows);
                for (uint32_t r = 0; m_read && status.isOk() && r < rows; ++r) {
                    m_converter.convert(m_read.get() + r * m_inStride, slot + r * m_outStride, m_reader.info().width);
                }
            } catch (const std::bad_alloc&) {
                status = Status::readError("Out of memory");
            } catch (...) {
                status = Status::readError("Unexpected failure while reading");
            }
            if (!status.isOk()) {
                {
                    std::lock_guard lock(m_mutex);
                    m_readStatus = status;
                }
                m_failed.store(true, std::memory_order_release);
                signal();
                return;
            }
            m_filled.store(index + 1, std::memory_order_release);
            signal();
            y += rows;
        }
    }

    ImageReader& m_reader;
    const RowConverter& m_converter;
    const uint32_t m_height;
    const uint32_t m_bandRows;
    const size_t m_inStride, m_outStride;
    std::unique_ptr<uint8_t[]> m_slots[kSlots];
    std::unique_ptr<uint8_t[]> m_read;  // rows as read, when they need converting
    std::atomic<uint32_t> m_filled{0};
    std::atomic<uint32_t> m_released{0};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Status m_readStatus;
    std::thread m_thread;
};

}  // namespace

std::optional<OutputFormat> outputFormatForPath(const std::string& path) {
    const std::string ext = lowerExtension(path);
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
    Status status = checkDimensions(info.width, info.height, limits);
    if (!status.isOk()) {
        return status;
    }
    const PixelFormat target = writer.acceptedFormat(info);
    ImageInfo outInfo = info;
    outInfo.format = target;

    // Both fit: checkDimensions bounds the width, and a pixel is at most 8 bytes.
    const uint64_t inStride = uint64_t{info.width} * bytesPerPixel(info.format);
    const uint64_t outStride = uint64_t{info.width} * bytesPerPixel(target);
    const uint64_t widest = std::max(inStride, outStride);
    const uint64_t rowBytes = inStride * info.height;
    const bool pipelined = rowBytes > kPipelineBytes || (writer.compresses() && rowBytes >= kSmallestPipelined);
    uint32_t bandRows = static_cast<uint32_t>(std::clamp<uint64_t>(kBandBytes / widest, 1, info.height));
    if (pipelined) {
        bandRows = std::clamp(bandRows, std::min(kMinBandRows, info.height), std::max(kMinBandRows, info.height / kMinBands));
    }
    // The bands being read and a converted one: refuse before allocating when even that
    // does not fit.
    uint64_t working = 0;
    if (!checkedMul<uint64_t>(widest * (pipelined ? kSlots + 1 : 3), bandRows, working)) {
        working = UINT64_MAX;
    }
    status = checkMemory(working, limits);
    if (!status.isOk()) {
        return status;
    }

    status = writer.begin(outInfo, sink);
    if (!status.isOk()) {
        return status;
    }
    const RowConverter converter(info, target);
    if (!pipelined) {
        // Not zero-filled: every byte is written before it is read.
        const std::unique_ptr<uint8_t[]> band(new uint8_t[inStride * bandRows]);
        const std::unique_ptr<uint8_t[]> converted(converter.isIdentity() ? nullptr : new uint8_t[outStride * bandRows]);
        for (uint32_t y = 0; y < info.height && status.isOk();) {
            const uint32_t rows = std::min(bandRows, info.height - y);
            status = reader.readRows(band.get(), inStride, rows);
            for (uint32_t r = 0; converted && status.isOk() && r < rows; ++r) {
                converter.convert(band.get() + r * inStride, converted.get() + r * outStride, info.width);
            }
            if (status.isOk()) {
                status = writer.writeRows(converted ? converted.get() : band.get(), outStride, rows);
            }
            y += rows;
        }
    } else {
        BandPipeline pipeline(reader, converter, info.height, bandRows, inStride, outStride);
        for (uint32_t index = 0, y = 0; y < info.height && status.isOk(); ++index) {
            uint32_t rows = 0;
            const uint8_t* band = pipeline.wait(index, rows);
            if (!band) {
                status = pipeline.readStatus();
                break;
            }
            status = writer.writeRows(band, outStride, rows);
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
        !checkedMul<uint64_t>(uint64_t{info.width} * info.height, bytesPerPixel(info.format), held)) {
        held = UINT64_MAX;  // the dimension check refuses such an image
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
    if (os::sameFile(inputPath, outputPath)) {
        return Status::writeError("Output file is the input file");
    }
    std::unique_ptr<ImageReader> reader;
    const Status status = openReader(inputPath, options.limits, reader);
    if (!status.isOk()) {
        return status;
    }
    return convertImage(*reader, outputPath, options);
}

}  // namespace tessaplex
