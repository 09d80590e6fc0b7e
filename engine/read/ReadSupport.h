#pragma once
// Helpers shared by the format readers: checked size arithmetic, the limits every
// reader applies before it allocates, and the texts of common read errors.

#include "engine/core/ImageIO.h"

#include <cstdint>
#include <limits>
#include <string>

namespace tessaplex::read {

// out = a * b; false (out untouched) when the product does not fit.
template <typename T>
[[nodiscard]] constexpr bool checkedMul(T a, T b, T& out) {
    static_assert(std::numeric_limits<T>::is_integer && !std::numeric_limits<T>::is_signed);
    if (a != 0 && b > std::numeric_limits<T>::max() / a) {
        return false;
    }
    out = a * b;
    return true;
}

// out = a + b; false (out untouched) when the sum does not fit.
template <typename T>
[[nodiscard]] constexpr bool checkedAdd(T a, T b, T& out) {
    static_assert(std::numeric_limits<T>::is_integer && !std::numeric_limits<T>::is_signed);
    if (b > std::numeric_limits<T>::max() - a) {
        return false;
    }
    out = a + b;
    return true;
}

// out = a * b * c, all in 64 bits; false when it does not fit.
[[nodiscard]] bool checkedMul3(uint64_t a, uint64_t b, uint64_t c, uint64_t& out);

// Refuses an empty image, a side above limits.maxDimension or more pixels than limits.maxPixels.
Status checkDimensions(uint64_t width, uint64_t height, const Limits& limits);

// Refuses a whole-image buffer of width * height * bytesPerPixel bytes beyond limits.memoryBudget;
// on success `bytes` holds the size, which then also fits in size_t.
Status checkImageBuffer(uint64_t width, uint64_t height, uint64_t bytesPerPixel, const Limits& limits, size_t& bytes);

// Refuses `bytes` of working memory beyond limits.memoryBudget.
Status checkMemory(uint64_t bytes, const Limits& limits);

// "Corrupt <format> file: <detail>", cut to the library's message length.
Status corrupt(const char* format, const std::string& detail);

// A read error with `text` cut to the library's message length.
Status readError(std::string text);

// The smallest of 1, 2, 4, 8 bits that indexes `entries` palette entries.
uint8_t indexBitsFor(size_t entries);

// Longest message the library hands back.
inline constexpr size_t kMaxMessage = 255;

}  // namespace tessaplex::read
