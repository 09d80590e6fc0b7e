#pragma once
// Bits of JPEG entropy-coded data: read with the zero byte stuffed after each 0xFF
// taken out, written with it put in. The recoding loops keep a ReadBits and a
// WriteBits in registers and call back into the reader and writer only at the end of
// a span of bytes, at a 0xFF, and when the output buffer is full.

#include "engine/core/Support.h"
#include "engine/write/ScratchStore.h"

#include <cstdint>
#include <functional>
#include <vector>

// The loops keep their state in registers only if the fast steps are inlined and the
// slow ones are not.
#if defined(__GNUC__)
#define TESSAPLEX_INLINE inline __attribute__((always_inline))
#define TESSAPLEX_NOINLINE __attribute__((noinline))
#else
#define TESSAPLEX_INLINE inline
#define TESSAPLEX_NOINLINE
#endif

namespace tessaplex::jpeg {

// True when one of the eight bytes of `v` is 0xFF (a zero byte of ~v).
inline bool hasFF64(uint64_t v) {
    const uint64_t x = ~v;
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

inline bool hasFF32(uint32_t v) {
    const uint32_t x = ~v;
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

// Where a BitReader stands: the next byte to load and the bits loaded but not taken.
struct ReaderState {
    uint64_t position = 0;
    uint64_t bits = 0;
    int count = 0;
};

// The part of a BitReader the decoding loops keep in registers: the bits not yet taken
// at the top of `acc`, and the bytes of the current span.
struct ReadBits {
    uint64_t acc;
    int count;
    const uint8_t* p;
    const uint8_t* end;

    // The next n bits, 1 <= n <= 32.
    uint32_t peek(int n) const { return static_cast<uint32_t>(acc >> (64 - n)); }
    void skip(int n) {
        acc <<= n;
        count -= n;
    }
    // The next n bits, taken; 0 <= n <= 32.
    uint32_t take(int n) {
        const auto v = static_cast<uint32_t>((acc >> 32) >> (32 - n));
        skip(n);
        return v;
    }
};

// Reads entropy-coded bits: removes the stuffed zero after 0xFF and stops at a marker,
// after which it delivers zeros. The loops work on a ReadBits and come back here only
// at the end of a span, at a 0xFF and at the end of the data.
class BitReader {
public:
    BitReader(const ScratchStore& store, ReaderState state) : m_store(store), m_spanPosition(state.position) {
        m_bits = ReadBits{state.bits, state.count, nullptr, nullptr};
    }

    ReadBits& bits() { return m_bits; }
    // At least 32 bits in `b` afterwards: a code and its extra bits.
    TESSAPLEX_INLINE void fill(ReadBits& b) {
        if (b.count >= 32) {
            return;
        }
        if (b.end - b.p >= 8) {
            const uint64_t v = loadBE64(b.p);
            if (!hasFF64(v)) {
                // All eight bytes go in; those that do not fit whole are counted at the
                // next refill, which puts the same bits in the same places again.
                b.acc |= v >> b.count;
                const int n = (63 - b.count) >> 3;
                b.p += n;
                b.count += 8 * n;
                return;
            }
        }
        b = refill(b);
    }
    ReaderState state(const ReadBits& b) const {
        return {m_spanPosition + static_cast<uint64_t>(b.p - m_span), b.acc, b.count};
    }
    // True when bits made up past the end of the data were taken.
    bool overrun(const ReadBits& b) const { return b.count < 8 * m_padding; }
    // Steps over the restart marker `marker` that ends an interval, dropping the bits
    // that pad the interval's last byte; false when other data or markers come first.
    bool restart(ReadBits& b, uint8_t marker);

private:
    // Byte by byte; by value, so that the loops' copy need not live in memory.
    TESSAPLEX_NOINLINE ReadBits refill(ReadBits b);
    bool nextSpan(ReadBits& b);
    unsigned nextByte(ReadBits& b);
    int rawByte(ReadBits& b);
    unsigned pad();

    const ScratchStore& m_store;
    std::vector<uint8_t> m_buffer;
    ReadBits m_bits;
    const uint8_t* m_span = nullptr;
    uint64_t m_spanPosition;
    bool m_atMarker = false;
    int m_padding = 0;
};

// The part of a BitWriter the loops keep in registers: pending bits at the bottom of
// `acc`, and where the next byte goes.
struct WriteBits {
    uint64_t acc;
    int count;
    uint8_t* p;
    uint8_t* limit;  // where the buffer is full
};

// Writes entropy-coded bits with 0xFF bytes stuffed into a buffer that goes to
// `output` whenever it fills. A writer may start `phase` bits into its first byte (as
// zeros), for the second half of a scan, whose first byte is joined with the end of
// the first half.
class BitWriter {
public:
    using Output = std::function<bool(const uint8_t*, size_t)>;

    explicit BitWriter(Output output, int phase = 0) : m_output(std::move(output)), m_buffer(kBufferSize + 16) {
        m_bits = WriteBits{0, phase, m_buffer.data(), m_buffer.data() + kBufferSize};
    }

    WriteBits& bits() { return m_bits; }
    // Appends the low n bits of `value` (n <= 32, higher bits zero).
    TESSAPLEX_INLINE void put(WriteBits& w, uint32_t value, int n) {
        w.acc = (w.acc << n) | value;
        w.count += n;
        if (w.count >= 32) {
            w.count -= 32;
            const auto word = static_cast<uint32_t>(w.acc >> w.count);
            if (!hasFF32(word)) {
                storeBE32(w.p, word);
                w.p += 4;
            } else {
                w.p = stuff(w.p, word);
            }
            if (w.p >= w.limit) {
                w.p = flush(w.p);
            }
        }
    }
    // Writes the whole bytes, padding the last one with one bits when `pad` (as the
    // standard asks at the end of a scan); without it, up to 7 bits stay pending.
    bool end(bool pad);
    // Ends an interval as end(true) does, then writes the restart marker `marker`.
    void restart(WriteBits& w, uint8_t marker);
    int pendingBits() const { return m_bits.count; }
    // The pending bits at the top of a byte, zeros below.
    uint8_t pendingByte() const { return static_cast<uint8_t>((m_bits.acc << (8 - m_bits.count)) & 0xff); }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    static TESSAPLEX_NOINLINE uint8_t* stuff(uint8_t* p, uint32_t word);
    static uint8_t* byte(uint8_t* p, uint8_t b);
    TESSAPLEX_NOINLINE uint8_t* flush(uint8_t* p);

    Output m_output;
    std::vector<uint8_t> m_buffer;
    WriteBits m_bits;
    bool m_ok = true;
};

}  // namespace tessaplex::jpeg
