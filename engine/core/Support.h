#pragma once
// Small helpers every part of the engine uses: C handles owned by a unique_ptr,
// integers read and written in a stated byte order, a file name's extension, and
// the stop for a case that cannot happen.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessaplex {

// A unique_ptr that hands its pointer to the C function `Free` (a function taking
// the pointer) when it lets go: Owned<libdeflate_compressor, libdeflate_free_compressor>.
template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, FreeWith<Free>>;

// Byte order. Compilers turn these shifts into single loads and byte swaps.
inline uint16_t loadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t loadLE32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t loadBE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t loadBE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline uint64_t loadBE64(const uint8_t* p) {
    return uint64_t{loadBE32(p)} << 32 | loadBE32(p + 4);
}
inline void storeBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The text after the last dot of the path's last component, in lower case (ASCII
// letters only); empty when that component has no dot.
std::string lowerExtension(std::string_view path);

// Ends a path through the code that cannot be taken: in debug builds (and under the
// fuzzer) the process stops on the spot; in release builds it throws, and the C
// function answers "Unexpected failure" instead of going on with a made-up value.
[[noreturn]] void unreachable(const char* what);

}  // namespace tessaplex
