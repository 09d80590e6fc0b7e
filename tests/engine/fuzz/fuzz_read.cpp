// libFuzzer target for the read side: any bytes through openReaderFromMemory and readRows.
// Limits are smaller than the library's defaults so that the fuzzer explores instead of
// spending its time on huge but valid images.
#include "tests/engine/fuzz/FuzzTarget.h"

std::string fuzzOutcome(const uint8_t* data, size_t size) {
    tessaplex::Limits limits;
    limits.maxPixels = 4u << 20;
    limits.memoryBudget = 64u << 20;
    limits.maxJpegScans = 100;
    return fuzz::word(fuzz::readAll(data, size, limits, 16));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzOutcome(data, size);
    return 0;
}
