#pragma once
// Optimised Huffman tables without holding the image's coefficients. libjpeg writes a
// baseline JPEG with the standard tables into a HuffmanRecoder, which counts the
// symbols of the entropy-coded data while the bytes arrive; finish() then emits the
// same symbols and extra bits with tables built from those counts. The coefficients,
// and so the pixels, stay exactly as they were, and the file is the one libjpeg's own
// optimisation writes, without its whole-image coefficient buffer (two bytes for every
// sample, a fresh page fault for every 4 KiB of it).

#include "engine/core/ImageIO.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tessaplex {

class HuffmanRecoder {
public:
    // Keeps up to `memoryLimit` bytes of the first coding in memory, the rest of it in
    // a scratch file.
    explicit HuffmanRecoder(uint64_t memoryLimit);
    ~HuffmanRecoder();
    HuffmanRecoder(const HuffmanRecoder&) = delete;
    HuffmanRecoder& operator=(const HuffmanRecoder&) = delete;

    // Room for the next bytes of the first coding (never empty), to be filled and then
    // handed over with commit().
    std::pair<uint8_t*, size_t> space();
    // Takes the first `size` bytes of the last space(). False when the scratch file
    // cannot be written or the bytes are no JPEG this recoder reads; see error().
    bool commit(size_t size);
    // Writes the JPEG with optimal tables into `sink`.
    Status finish(ByteSink& sink);
    // Why the last commit() failed.
    std::string error() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tessaplex
