#pragma once
// The limits every reader and writer applies before it allocates or works, and the
// checked size arithmetic that decides against them: every product that sizes an
// allocation or a file offset goes through checkedMul.

#include "engine/core/Status.h"

#include <cstdint>
#include <limits>
#include <type_traits>

namespace tessaplex {

struct Limits {
    // Width times height; 16384 x 16384 must pass.
    uint64_t maxPixels = 16384ull * 16384ull;
    // Longest side.
    uint32_t maxDimension = 1u << 20;
    // Bytes a reader or writer may hold for a whole image or its coefficients.
    uint64_t memoryBudget = 512ull << 20;
    // Scans of a progressive JPEG.
    uint32_t maxJpegScans = 1000;

    // Work that no data of the file pays for is bounded: a conversion's time follows
    // the file's bytes, whatever its header claims.
    // The scans of a progressive JPEG may pass over every block of the image this many
    // times, a scan that refines earlier ones counting three (libjpeg's own progression
    // takes 12), and over this many more blocks for every byte read: an end-of-band
    // run lets a scan pass over 32767 blocks in 3 bytes.
    uint32_t jpegFreePasses = 16;
    uint32_t jpegBlocksPerByte = 32;
    // Pixels that no data of the file describes (what the codes of an RLE bitmap skip,
    // a GIF's screen outside its first frame): this many, and this many more for
    // every pixel the file does describe.
    uint64_t freeEmptyPixels = 16u << 20;
    uint32_t emptyPerCodedPixel = 64;

    // True when `empty` pixels without data are too many beside `coded` ones.
    bool tooManyEmptyPixels(uint64_t empty, uint64_t coded) const {
        return empty > freeEmptyPixels && (empty - freeEmptyPixels) / emptyPerCodedPixel >= coded + 1;
    }
};

// out = a * b; false (out untouched) when the product does not fit in T.
template <typename T>
[[nodiscard]] constexpr bool checkedMul(T a, T b, T& out) {
    static_assert(std::is_integral_v<T> && std::is_unsigned_v<T>);
    if (a != 0 && b > std::numeric_limits<T>::max() / a) {
        return false;
    }
    out = a * b;
    return true;
}

// Refuses an empty image, a side above limits.maxDimension or more pixels than limits.maxPixels.
Status checkDimensions(uint64_t width, uint64_t height, const Limits& limits);

// Refuses a whole-image buffer of width * height * bytesPerPixel bytes beyond limits.memoryBudget;
// on success `bytes` holds the size, which then also fits in size_t.
Status checkImageBuffer(uint64_t width, uint64_t height, uint64_t bytesPerPixel, const Limits& limits, size_t& bytes);

// Refuses `bytes` of working memory beyond limits.memoryBudget.
Status checkMemory(uint64_t bytes, const Limits& limits);

}  // namespace tessaplex
