#pragma once
// The limits every reader and writer applies before it allocates or works, and the
// checked size arithmetic that decides against them: every product that sizes an
// allocation or a file offset goes through checkedMul or checkedAdd.

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

// out = a + b; false (out untouched) when the sum does not fit in T.
template <typename T>
[[nodiscard]] constexpr bool checkedAdd(T a, T b, T& out) {
    static_assert(std::is_integral_v<T> && std::is_unsigned_v<T>);
    if (b > std::numeric_limits<T>::max() - a) {
        return false;
    }
    out = a + b;
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
