#pragma once
// Size arithmetic that reports overflow instead of wrapping: every product that
// decides an allocation or a file offset goes through these.

#include <cstdint>

namespace tessaplex {

// out = a * b; false when the product does not fit in T.
template <typename T>
[[nodiscard]] bool checkedMul(T a, T b, T& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

// out = a + b; false when the sum does not fit in T.
template <typename T>
[[nodiscard]] bool checkedAdd(T a, T b, T& out) {
    return !__builtin_add_overflow(a, b, &out);
}

}  // namespace tessaplex
