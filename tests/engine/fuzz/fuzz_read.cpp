// libFuzzer target for the read side: any bytes through openReaderFromMemory and readRows.
// Limits are smaller than the library's defaults so that the fuzzer explores instead of
// spending its time on huge but valid images.
#include "engine/core/ImageIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessaplex::Limits limits;
    limits.maxPixels = 4u << 20;
    limits.memoryBudget = 64u << 20;
    limits.maxJpegScans = 100;
    std::unique_ptr<tessaplex::ImageReader> reader;
    // The name matters only for content that is none of our formats.
    const char* name = size > 0 && (data[0] & 1) ? "fuzz.bmp" : "fuzz.dat";
    if (!tessaplex::openReaderFromMemory(data, size, name, limits, reader).isOk()) {
        return 0;
    }
    const tessaplex::ImageInfo& info = reader->info();
    const size_t rowBytes = size_t{info.width} * tessaplex::bytesPerPixel(info.format);
    const uint32_t band = 16;
    std::vector<uint8_t> rows(rowBytes * band);
    for (uint32_t y = 0; y < info.height; y += band) {
        const uint32_t n = info.height - y < band ? info.height - y : band;
        if (!reader->readRows(rows.data(), rowBytes, n).isOk()) {
            break;
        }
    }
    return 0;
}
