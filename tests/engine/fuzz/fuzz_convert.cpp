// libFuzzer target for the whole conversion: any bytes into BMP, PNG and JPEG in memory
// through the driver's transcode, so that the writers, the parallel deflate and the
// Huffman recoder see whatever the readers let through. The input's last byte picks the
// JPEG quality and whether the writers have memory to spare (without it the recoder
// keeps its first coding in a scratch file). Every file written must read back as an
// image of the same size; the outcome is one word per output format.
#include "engine/core/Driver.h"
#include "tests/engine/MemorySink.h"
#include "tests/engine/fuzz/FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

std::string fuzzOutcome(const uint8_t* data, size_t size) {
    using namespace tessaplex;
    Limits limits;
    limits.maxPixels = 1u << 18;
    limits.memoryBudget = 64u << 20;
    limits.maxJpegScans = 100;
    const uint8_t last = size > 0 ? data[size - 1] : 0;
    const WriterOptions options{1 + last % 100, last & 0x80 ? 0 : limits.memoryBudget};
    std::string outcome;
    for (const OutputFormat format : {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg}) {
        std::unique_ptr<ImageReader> reader;
        Status status = openReaderFromMemory(data, size, fuzz::nameFor(data, size), limits, reader);
        MemorySink sink;
        if (status.isOk()) {
            status = transcode(*reader, *makeWriter(format, options), sink, limits);
        }
        if (status.isOk()) {
            ImageInfo back;
            const Status again = fuzz::readAll(sink.bytes().data(), sink.bytes().size(), Limits{}, 7, &back);
            if (!again.isOk() || back.width != reader->info().width || back.height != reader->info().height) {
                std::fprintf(stderr, "output format %d does not read back: %s\n", int(format), again.message.c_str());
                std::abort();
            }
        }
        outcome += std::string(outcome.empty() ? "" : " ") + fuzz::word(status);
    }
    return outcome;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzOutcome(data, size);
    return 0;
}
