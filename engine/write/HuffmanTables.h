#pragma once
// Huffman tables of a baseline JPEG, in the forms the recoder needs: as stored in a
// DHT segment, as lookups that decode a symbol (with its extra bits) from the next
// bits of the first coding, as codes to write, as one lookup from old bits to new
// ones, and built anew from symbol counts.

#include "engine/write/JpegBits.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tessaplex::jpeg {

// Bits looked at to decode a symbol with its extra bits in one step; most take fewer.
constexpr int kLookupBits = 11;

// How far a symbol moves the position k in its block: past its run of zeros and its
// coefficient; an end of block moves it past any k, which tells the two apart.
constexpr int kEndOfBlock = 128;
inline uint8_t stepOf(int symbol, bool dc) {
    if (dc) {
        return 0;  // not used: a DC symbol always moves to k = 1
    }
    return static_cast<uint8_t>((symbol & 15) == 0 && symbol != 0xf0 ? kEndOfBlock : (symbol >> 4) + 1);
}

// A block ends once k reaches 64; past it (without an end of block) the data is wrong.
inline bool blockEnds(int k, bool& ok) {
    if (k < 64) {
        return false;
    }
    ok = ok && (k == 64 || k > kEndOfBlock);
    return true;
}

// Bits (count of codes per length 1..16) and values of one table, as stored in DHT.
struct HuffmanTable {
    std::array<uint8_t, 17> bits{};
    std::vector<uint8_t> values;
};

struct DecodeTable {
    // Codes of up to kFast bits resolve by one lookup: length << 8 | symbol, 0 if longer.
    static constexpr int kFast = 10;
    std::array<uint16_t, 1 << kFast> fast{};
    std::array<int32_t, 18> maxCode{};
    std::array<int32_t, 17> offset{};
    std::vector<uint8_t> values;
    // By the next kLookupBits bits, when a symbol's code and extra bits fit in them.
    struct Entry {
        uint8_t taken;  // bits of code and extra bits; 0: decode the long way
        uint8_t symbol;
        uint8_t advance;
    };
    std::array<Entry, 1 << kLookupBits> whole{};

    void build(const HuffmanTable& table, bool dc);

    // The next symbol, or -1 for a code the table does not have. `in` holds 16 bits or more.
    int decode(ReadBits& in) const {
        const uint32_t quick = fast[in.peek(kFast)];
        if (quick) {
            in.skip(static_cast<int>(quick >> 8));
            return static_cast<int>(quick & 0xff);
        }
        const uint32_t peek = in.peek(16);
        for (int length = kFast + 1; length <= 16; ++length) {
            const auto code = static_cast<int32_t>(peek >> (16 - length));
            if (code <= maxCode[length]) {
                in.skip(length);
                const int32_t k = code + offset[length];
                return k >= 0 && k < static_cast<int32_t>(values.size()) ? values[k] : -1;
            }
        }
        return -1;
    }
};

struct EncodeTable {
    std::array<uint32_t, 256> code{};
    std::array<uint8_t, 256> length{};

    void build(const HuffmanTable& table);
};

// By the next kLookupBits bits of the first coding: the symbol's new code with its
// extra bits, for symbols whose old code and extra bits fit in the lookup.
struct RecodeTable {
    struct Entry {
        uint32_t bits;   // new code, then the extra bits
        uint8_t length;  // of `bits`
        uint8_t taken;   // bits of the first coding; 0: decode the long way
        uint8_t advance;
    };
    std::array<Entry, 1 << kLookupBits> entries{};

    void build(const DecodeTable& old, const EncodeTable& codes, bool dc);
};

using Counts = std::array<std::array<uint64_t, 256>, 4>;  // DC 0, DC 1, AC 0, AC 1

// Code lengths from symbol counts, limited to 16 bits, with no code of all ones:
// the procedure of the JPEG standard's annex K.2 and K.3.
HuffmanTable optimalTable(const std::array<uint64_t, 256>& counts);

}  // namespace tessaplex::jpeg
