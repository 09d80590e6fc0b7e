#include "engine/write/JpegHuffman.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

// The decoding loops keep their state in registers only if the fast steps are inlined
// and the slow ones are not.
#if defined(__GNUC__)
#define TESSAPLEX_INLINE inline __attribute__((always_inline))
#define TESSAPLEX_NOINLINE __attribute__((noinline))
#else
#define TESSAPLEX_INLINE inline
#define TESSAPLEX_NOINLINE
#endif

namespace tessaplex {

namespace {

// The first coding is kept in chunks of this size, which come from the heap the
// process already has rather than from fresh pages.
constexpr size_t kChunkSize = 64 * 1024;
// An MCU of six blocks codes to under 3 KiB even with every byte stuffed: counting
// stays this far behind the bytes that have arrived, so it never runs out mid-MCU.
constexpr uint64_t kMargin = 4 * 1024;
// From this much entropy-coded data on, the second pass runs in two halves on two
// threads; below it a thread costs more than it saves.
constexpr uint64_t kSplitBytes = 1u << 20;
constexpr size_t kWriteBuffer = 64 * 1024;
// Bits looked at to decode a symbol with its extra bits in one step; most take fewer.
constexpr int kLookupBits = 11;
constexpr const char* kMalformed = "Optimising the JPEG tables failed";
constexpr const char* kScratchFailed = "Cannot write the scratch file for the JPEG tables";

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// True when one of the eight bytes of `v` is 0xFF (a zero byte of ~v).
inline bool hasFF64(uint64_t v) {
    const uint64_t x = ~v;
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

inline bool hasFF32(uint32_t v) {
    const uint32_t x = ~v;
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The first coding in chunks: all of it in memory up to the limit; past the limit
// every full chunk also goes to a scratch file, and the chunks that counting has
// passed are let go.
class Store {
public:
    explicit Store(uint64_t memoryLimit) : m_limit(memoryLimit) {}

    std::pair<uint8_t*, size_t> space() {
        const uint64_t chunk = m_size / kChunkSize;
        if (chunk == m_firstChunk + m_chunks.size()) {
            m_chunks.emplace_back(new uint8_t[kChunkSize]);
        }
        const size_t used = static_cast<size_t>(m_size % kChunkSize);
        return {m_chunks[chunk - m_firstChunk].get() + used, kChunkSize - used};
    }

    bool commit(size_t size) {
        m_size += size;
        if (!m_file && m_size > m_limit) {
            m_file.reset(std::tmpfile());
            if (!m_file) {
                return false;
            }
        }
        return !m_file || writeFullChunks();
    }

    // Lets go of the chunks wholly before `position` that are safe in the scratch file.
    void release(uint64_t position) {
        while (!m_chunks.empty() && (m_firstChunk + 1) * kChunkSize <= std::min(position, m_written)) {
            m_chunks.erase(m_chunks.begin());
            ++m_firstChunk;
        }
    }

    // Writes what is left to the scratch file, if there is one.
    bool close() {
        if (!m_file) {
            return true;
        }
        while (m_written < m_size) {
            const uint64_t chunk = m_written / kChunkSize;
            const size_t offset = static_cast<size_t>(m_written % kChunkSize);
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkSize - offset, m_size - m_written));
            if (std::fwrite(m_chunks[chunk - m_firstChunk].get() + offset, 1, n, m_file.get()) != n) {
                return false;
            }
            m_written += n;
        }
        return std::fflush(m_file.get()) == 0;
    }

    uint64_t size() const { return m_size; }

    // Contiguous bytes at `position`: from memory while their chunk is there, else
    // read from the scratch file into `buffer`. Returns 0 at the end or on a read error.
    size_t view(uint64_t position, const uint8_t*& data, std::vector<uint8_t>& buffer) const {
        if (position >= m_size) {
            return 0;
        }
        const uint64_t chunk = position / kChunkSize;
        const size_t offset = static_cast<size_t>(position % kChunkSize);
        if (chunk >= m_firstChunk) {
            data = m_chunks[chunk - m_firstChunk].get() + offset;
            return static_cast<size_t>(std::min<uint64_t>(kChunkSize - offset, m_size - position));
        }
        buffer.resize(kChunkSize);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize - offset, m_written - position));
        const ssize_t got = ::pread(fileno(m_file.get()), buffer.data(), want, static_cast<off_t>(position));
        if (got <= 0) {
            return 0;
        }
        data = buffer.data();
        return static_cast<size_t>(got);
    }

private:
    bool writeFullChunks() {
        while (m_written + kChunkSize <= m_size) {
            const uint64_t chunk = m_written / kChunkSize;
            if (std::fwrite(m_chunks[chunk - m_firstChunk].get(), 1, kChunkSize, m_file.get()) != kChunkSize) {
                return false;
            }
            m_written += kChunkSize;
        }
        return true;
    }

    const uint64_t m_limit;
    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    uint64_t m_firstChunk = 0;  // chunks before it were let go
    uint64_t m_size = 0;
    uint64_t m_written = 0;  // bytes in the scratch file
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

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
    BitReader(const Store& store, ReaderState state) : m_store(store), m_spanPosition(state.position) {
        m_bits = ReadBits{state.bits, state.count, nullptr, nullptr};
    }

    ReadBits& bits() { return m_bits; }
    // At least 32 bits in `b` afterwards: a code and its extra bits.
    TESSAPLEX_INLINE void fill(ReadBits& b) {
        if (b.count >= 32) {
            return;
        }
        if (b.end - b.p >= 8) {
            const uint64_t v = loadBigEndian64(b.p);
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
    bool restart(ReadBits& b, uint8_t marker) {
        if (b.count - 8 * m_padding >= 8 || (!m_atMarker && rawByte(b) != 0xff) || rawByte(b) != marker) {
            return false;
        }
        b.acc = 0;
        b.count = 0;
        m_atMarker = false;
        m_padding = 0;
        return true;
    }

private:
    // Byte by byte; by value, so that the loops' copy need not live in memory.
    TESSAPLEX_NOINLINE ReadBits refill(ReadBits b) {
        b.acc &= ~(~uint64_t{0} >> b.count);  // only the bits counted stay
        while (b.count <= 56) {
            b.acc |= uint64_t{nextByte(b)} << (56 - b.count);
            b.count += 8;
        }
        return b;
    }

    bool nextSpan(ReadBits& b) {
        const uint64_t position = m_spanPosition + static_cast<uint64_t>(b.p - m_span);
        const uint8_t* data = nullptr;
        const size_t n = m_store.view(position, data, m_buffer);
        if (n == 0) {
            return false;
        }
        m_span = b.p = data;
        b.end = data + n;
        m_spanPosition = position;
        return true;
    }

    unsigned nextByte(ReadBits& b) {
        if (m_atMarker || (b.p == b.end && !nextSpan(b))) {
            return pad();
        }
        const uint8_t byte = *b.p++;
        if (byte != 0xff) {
            return byte;
        }
        if (b.p == b.end && !nextSpan(b)) {
            return pad();
        }
        if (*b.p == 0) {
            ++b.p;
            return 0xff;
        }
        b.end = b.p;  // a marker, which the eight-byte refill must not read past
        return pad();
    }

    int rawByte(ReadBits& b) {
        if (b.p == b.end && !nextSpan(b)) {
            return -1;
        }
        return *b.p++;
    }

    unsigned pad() {
        m_atMarker = true;
        ++m_padding;
        return 0;
    }

    const Store& m_store;
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

    explicit BitWriter(Output output, int phase = 0) : m_output(std::move(output)), m_buffer(kWriteBuffer + 16) {
        m_bits = WriteBits{0, phase, m_buffer.data(), m_buffer.data() + kWriteBuffer};
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
                const uint32_t big = __builtin_bswap32(word);
                std::memcpy(w.p, &big, 4);
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
    bool end(bool pad) {
        WriteBits& w = m_bits;
        if (pad && w.count % 8 != 0) {
            const int n = 8 - w.count % 8;
            put(w, (1u << n) - 1, n);
        }
        while (w.count >= 8) {
            w.count -= 8;
            w.p = byte(w.p, static_cast<uint8_t>(w.acc >> w.count));
        }
        w.p = flush(w.p);
        return m_ok;
    }
    // Ends an interval as end(true) does, then writes the restart marker `marker`.
    void restart(WriteBits& w, uint8_t marker) {
        if (w.count % 8 != 0) {
            const int n = 8 - w.count % 8;
            put(w, (1u << n) - 1, n);
        }
        while (w.count >= 8) {
            w.count -= 8;
            w.p = byte(w.p, static_cast<uint8_t>(w.acc >> w.count));
        }
        *w.p++ = 0xff;
        *w.p++ = marker;
        if (w.p >= w.limit) {
            w.p = flush(w.p);
        }
    }
    int pendingBits() const { return m_bits.count; }
    // The pending bits at the top of a byte, zeros below.
    uint8_t pendingByte() const { return static_cast<uint8_t>((m_bits.acc << (8 - m_bits.count)) & 0xff); }

private:
    static TESSAPLEX_NOINLINE uint8_t* stuff(uint8_t* p, uint32_t word) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            p = byte(p, static_cast<uint8_t>(word >> shift));
        }
        return p;
    }
    static uint8_t* byte(uint8_t* p, uint8_t b) {
        *p++ = b;
        if (b == 0xff) {
            *p++ = 0;
        }
        return p;
    }
    TESSAPLEX_NOINLINE uint8_t* flush(uint8_t* p) {
        const size_t used = static_cast<size_t>(p - m_buffer.data());
        if (used > 0 && m_ok) {
            m_ok = m_output(m_buffer.data(), used);
        }
        return m_buffer.data();
    }

    Output m_output;
    std::vector<uint8_t> m_buffer;
    WriteBits m_bits;
    bool m_ok = true;
};

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

    void build(const HuffmanTable& table, bool dc) {
        values = table.values;
        fast.fill(0);
        whole.fill(Entry{0, 0, 0});
        int32_t code = 0;
        size_t k = 0;
        for (int length = 1; length <= 16; ++length) {
            offset[length] = static_cast<int32_t>(k) - code;
            for (int i = 0; i < table.bits[length]; ++i, ++k, ++code) {
                const uint8_t symbol = values[k];
                if (length <= kFast) {
                    const int shift = kFast - length;
                    for (int fill = 0; fill < (1 << shift); ++fill) {
                        fast[(code << shift) | fill] = static_cast<uint16_t>(length << 8 | symbol);
                    }
                }
                const int taken = length + (dc ? symbol : symbol & 15);
                if (taken <= kLookupBits) {
                    const int shift = kLookupBits - length;
                    for (int fill = 0; fill < (1 << shift); ++fill) {
                        whole[(code << shift) | fill] =
                            Entry{static_cast<uint8_t>(taken), symbol, stepOf(symbol, dc)};
                    }
                }
            }
            maxCode[length] = table.bits[length] ? code - 1 : -1;
            code <<= 1;
        }
        maxCode[17] = INT32_MAX;
    }

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

    void build(const HuffmanTable& table) {
        code.fill(0);
        length.fill(0);
        uint32_t c = 0;
        size_t k = 0;
        for (int n = 1; n <= 16; ++n) {
            for (int i = 0; i < table.bits[n]; ++i, ++k, ++c) {
                code[table.values[k]] = c;
                length[table.values[k]] = static_cast<uint8_t>(n);
            }
            c <<= 1;
        }
    }
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

    void build(const DecodeTable& old, const EncodeTable& codes, bool dc) {
        for (uint32_t peek = 0; peek < entries.size(); ++peek) {
            Entry& e = entries[peek];
            const DecodeTable::Entry w = old.whole[peek];
            if (w.taken == 0) {
                e = Entry{0, 0, 0, 0};
                continue;
            }
            const int size = dc ? w.symbol : w.symbol & 15;
            const uint32_t extra = (peek >> (kLookupBits - w.taken)) & ((1u << size) - 1);
            e = Entry{codes.code[w.symbol] << size | extra, static_cast<uint8_t>(codes.length[w.symbol] + size),
                      w.taken, w.advance};
        }
    }
};

using Counts = std::array<std::array<uint64_t, 256>, 4>;  // DC 0, DC 1, AC 0, AC 1

// Code lengths from symbol counts, limited to 16 bits, with no code of all ones:
// the procedure of the JPEG standard's annex K.2 and K.3.
HuffmanTable optimalTable(const std::array<uint64_t, 256>& counts) {
    std::array<uint64_t, 257> freq{};
    std::array<int, 257> codeSize{};
    std::array<int, 257> others{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[256] = 1;  // reserves the all-ones code point
    others.fill(-1);
    // The standard takes the least frequent symbol, the last of equal ones, then the
    // next such: a heap ordered that way picks the same pairs without scanning all 257.
    const auto later = [](const std::pair<uint64_t, int>& a, const std::pair<uint64_t, int>& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    };
    std::vector<std::pair<uint64_t, int>> heap;
    for (int i = 0; i <= 256; ++i) {
        if (freq[i]) {
            heap.emplace_back(freq[i], i);
        }
    }
    std::make_heap(heap.begin(), heap.end(), later);
    while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), later);
        int c1 = heap.back().second;
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), later);
        int c2 = heap.back().second;
        heap.back() = {freq[c1] + freq[c2], c1};
        std::push_heap(heap.begin(), heap.end(), later);
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    std::array<int, 258> bits{};
    for (int i = 0; i <= 256; ++i) {
        if (codeSize[i]) {
            ++bits[codeSize[i]];
        }
    }
    for (int i = 257; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) {
                --j;
            }
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    int longest = 16;
    while (longest > 0 && bits[longest] == 0) {
        --longest;
    }
    --bits[longest];  // drop the reserved code point
    HuffmanTable table;
    for (int i = 1; i <= 16; ++i) {
        table.bits[i] = static_cast<uint8_t>(bits[i]);
    }
    // The symbols are sorted by their original code length; K.3 only moved lengths,
    // so taking them in that order with the adjusted counts is what the standard does.
    const int deepest = *std::max_element(codeSize.begin(), codeSize.begin() + 256);
    for (int length = 1; length <= deepest; ++length) {
        for (int s = 0; s < 256; ++s) {
            if (codeSize[s] == length) {
                table.values.push_back(static_cast<uint8_t>(s));
            }
        }
    }
    return table;
}

// Reads the stored bytes one at a time, for the header.
class ByteCursor {
public:
    explicit ByteCursor(const Store& store) : m_store(store) {}
    // -1 at the end of what has arrived.
    int next() {
        if (m_p == m_end) {
            const size_t n = m_store.view(m_position, m_p, m_buffer);
            if (n == 0) {
                return -1;
            }
            m_end = m_p + n;
        }
        ++m_position;
        return *m_p++;
    }
    uint64_t position() const { return m_position; }

private:
    const Store& m_store;
    std::vector<uint8_t> m_buffer;
    const uint8_t* m_p = nullptr;
    const uint8_t* m_end = nullptr;
    uint64_t m_position = 0;
};

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int dcTable = 0, acTable = 0;
};

// The tables a block is coded with: indices into the four tables.
struct BlockCoding {
    int dc = 0;
    int ac = 2;
};

}  // namespace

class HuffmanRecoder::Impl {
public:
    explicit Impl(uint64_t memoryLimit) : m_store(memoryLimit) {}

    std::pair<uint8_t*, size_t> space() { return m_store.space(); }

    bool commit(size_t size) {
        if (!m_error.empty()) {
            return false;
        }
        if (!m_store.commit(size)) {
            m_error = kScratchFailed;
            return false;
        }
        if (!count(false)) {
            m_error = kMalformed;
            return false;
        }
        return true;
    }

    Status finish(ByteSink& sink);
    std::string error() const { return m_error; }

private:
    enum class Header { Complete, Incomplete, Malformed };

    Header parseHeader();
    bool count(bool final);
    bool emitRange(BitReader& reader, BitWriter& writer, uint64_t from, uint64_t to) const;
    // The restart marker in front of MCU `mcu`, or 0 when none goes there.
    uint8_t restartMarker(uint64_t mcu) const {
        return m_restartInterval && mcu > 0 && mcu % m_restartInterval == 0
                   ? static_cast<uint8_t>(0xd0 + (mcu / m_restartInterval - 1) % 8)
                   : 0;
    }
    bool emitSplit(ByteSink& sink);

    Store m_store;
    std::string m_error;

    bool m_haveHeader = false;
    std::vector<uint8_t> m_header;  // segments up to the scan, DHT left out
    size_t m_dhtAt = 0;             // where in m_header the DHT segments were
    uint64_t m_restartInterval = 0; // MCUs between restart markers; 0: none
    std::vector<uint8_t> m_sos;
    std::array<HuffmanTable, 4> m_tables;  // as first written: DC 0, DC 1, AC 0, AC 1
    std::array<DecodeTable, 4> m_decoders;
    std::array<BlockCoding, 10> m_blocks{};
    int m_blocksPerMcu = 0;
    std::vector<int> m_tableOrder;  // tables in the order their DHT segments go out
    uint64_t m_mcus = 0;
    uint64_t m_scanStart = 0;

    // First pass.
    std::unique_ptr<BitReader> m_counter;
    uint64_t m_counted = 0;
    Counts m_counts{};
    // Where the second half of the second pass starts, with the counts before it.
    uint64_t m_splitMcu = 0;
    ReaderState m_splitState;
    Counts m_splitCounts{};

    // Second pass.
    std::array<EncodeTable, 4> m_encoders;
    std::array<RecodeTable, 4> m_recoders;
};

HuffmanRecoder::Impl::Header HuffmanRecoder::Impl::parseHeader() {
    ByteCursor in(m_store);
    m_header = {0xff, 0xd8};
    if (in.next() != 0xff || in.next() != 0xd8) {
        return m_store.size() < 2 ? Header::Incomplete : Header::Malformed;
    }
    struct Frame {
        uint32_t width = 0, height = 0;
        std::vector<Component> components;
        std::vector<int> scan;
    } frame;
    for (;;) {
        const int ff = in.next(), marker = in.next(), hi = in.next(), lo = in.next();
        if (ff < 0 || marker < 0 || hi < 0 || lo < 0) {
            return Header::Incomplete;
        }
        if (ff != 0xff || (hi << 8 | lo) < 2) {
            return Header::Malformed;
        }
        std::vector<uint8_t> body((hi << 8 | lo) - 2);
        for (uint8_t& b : body) {
            const int v = in.next();
            if (v < 0) {
                return Header::Incomplete;
            }
            b = static_cast<uint8_t>(v);
        }
        if (marker == 0xc4) {
            m_dhtAt = m_header.size();
            for (size_t at = 0; at + 17 <= body.size();) {
                const int cls = body[at] >> 4, id = body[at] & 15;
                if (cls > 1 || id > 1) {
                    return Header::Malformed;
                }
                HuffmanTable& table = m_tables[cls * 2 + id];
                size_t total = 0;
                for (int i = 1; i <= 16; ++i) {
                    table.bits[i] = body[at + i];
                    total += table.bits[i];
                }
                if (at + 17 + total > body.size() || total > 256) {
                    return Header::Malformed;
                }
                table.values.assign(body.begin() + at + 17, body.begin() + at + 17 + total);
                at += 17 + total;
            }
            continue;
        }
        if (marker == 0xc0) {
            if (body.size() < 6) {
                return Header::Malformed;
            }
            frame.height = body[1] << 8 | body[2];
            frame.width = body[3] << 8 | body[4];
            const int n = body[5];
            if (body.size() < 6u + 3u * n || n < 1 || n > 4) {
                return Header::Malformed;
            }
            for (int i = 0; i < n; ++i) {
                Component c;
                c.id = body[6 + 3 * i];
                c.h = body[7 + 3 * i] >> 4;
                c.v = body[7 + 3 * i] & 15;
                if (c.h < 1 || c.v < 1 || c.h > 4 || c.v > 4) {
                    return Header::Malformed;
                }
                frame.components.push_back(c);
            }
        } else if (marker >= 0xc1 && marker <= 0xcf && marker != 0xc8 && marker != 0xcc) {
            return Header::Malformed;  // only baseline frames are recoded
        } else if (marker == 0xdd) {
            if (body.size() != 2) {
                return Header::Malformed;
            }
            m_restartInterval = body[0] << 8 | body[1];
        }
        if (marker == 0xda) {
            const int n = body.empty() ? 0 : body[0];
            if (n < 1 || body.size() < 1u + 2u * n + 3u || frame.components.empty()) {
                return Header::Malformed;
            }
            for (int i = 0; i < n; ++i) {
                int index = -1;
                for (size_t c = 0; c < frame.components.size(); ++c) {
                    if (frame.components[c].id == body[1 + 2 * i]) {
                        index = static_cast<int>(c);
                    }
                }
                if (index < 0 || (body[2 + 2 * i] >> 4) > 1 || (body[2 + 2 * i] & 15) > 1) {
                    return Header::Malformed;
                }
                frame.components[index].dcTable = body[2 + 2 * i] >> 4;
                frame.components[index].acTable = body[2 + 2 * i] & 15;
                frame.scan.push_back(index);
            }
            if (frame.scan.size() != frame.components.size()) {
                return Header::Malformed;  // one scan with every component is what the writer makes
            }
            m_sos = {0xff, 0xda, static_cast<uint8_t>(hi), static_cast<uint8_t>(lo)};
            m_sos.insert(m_sos.end(), body.begin(), body.end());
            break;
        }
        m_header.insert(m_header.end(), {0xff, static_cast<uint8_t>(marker), static_cast<uint8_t>(hi),
                                         static_cast<uint8_t>(lo)});
        m_header.insert(m_header.end(), body.begin(), body.end());
    }
    if (frame.width == 0 || frame.height == 0) {
        return Header::Malformed;
    }

    int hMax = 1, vMax = 1;
    for (const Component& c : frame.components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    m_blocksPerMcu = 0;
    if (frame.scan.size() == 1) {
        const Component& c = frame.components[frame.scan[0]];
        const uint64_t w = (uint64_t{frame.width} * c.h + hMax - 1) / hMax;
        const uint64_t h = (uint64_t{frame.height} * c.v + vMax - 1) / vMax;
        m_mcus = ((w + 7) / 8) * ((h + 7) / 8);
        m_blocks[m_blocksPerMcu++] = {c.dcTable, 2 + c.acTable};
    } else {
        m_mcus = ((frame.width + 8u * hMax - 1) / (8u * hMax)) * uint64_t{(frame.height + 8u * vMax - 1) / (8u * vMax)};
        for (const int index : frame.scan) {
            const Component& c = frame.components[index];
            for (int b = 0; b < c.h * c.v; ++b) {
                if (m_blocksPerMcu == static_cast<int>(m_blocks.size())) {
                    return Header::Malformed;
                }
                m_blocks[m_blocksPerMcu++] = {c.dcTable, 2 + c.acTable};
            }
        }
    }
    // One DHT segment per table, DC before AC for each component in scan order, as
    // libjpeg writes them.
    std::array<bool, 4> listed{};
    for (const int index : frame.scan) {
        const Component& c = frame.components[index];
        for (const int t : {c.dcTable, 2 + c.acTable}) {
            if (m_tables[t].values.empty()) {
                return Header::Malformed;
            }
            if (!listed[t]) {
                listed[t] = true;
                m_tableOrder.push_back(t);
                m_decoders[t].build(m_tables[t], t < 2);
            }
        }
    }
    m_scanStart = in.position();
    // The second half starts a thread late and goes through memory: it gets less. With
    // restart markers it starts at one, so that the halves join at a byte.
    m_splitMcu = m_mcus * 9 / 16;
    if (m_restartInterval) {
        m_splitMcu -= m_splitMcu % m_restartInterval;
    }
    return Header::Complete;
}

// Counts the MCUs that have arrived; all that are left when `final`. The loop keeps
// the reading state in a local, so that it lives in registers.
bool HuffmanRecoder::Impl::count(bool final) {
    if (!m_haveHeader) {
        const Header header = parseHeader();
        if (header == Header::Malformed || (header == Header::Incomplete && final)) {
            return false;
        }
        if (header == Header::Incomplete) {
            return true;
        }
        m_haveHeader = true;
        m_counter = std::make_unique<BitReader>(m_store, ReaderState{m_scanStart, 0, 0});
    }
    BitReader& reader = *m_counter;
    ReadBits in = reader.bits();
    bool ok = true;
    for (; m_counted < m_mcus && ok; ++m_counted) {
        if (!final && m_store.size() - reader.state(in).position < kMargin) {
            break;
        }
        if (const uint8_t marker = restartMarker(m_counted); marker && !reader.restart(in, marker)) {
            ok = false;
            break;
        }
        if (m_counted == m_splitMcu) {
            m_splitState = reader.state(in);
            m_splitCounts = m_counts;
        }
        for (int b = 0; b < m_blocksPerMcu && ok; ++b) {
            const BlockCoding coding = m_blocks[b];
            reader.fill(in);
            const DecodeTable& dc = m_decoders[coding.dc];
            const DecodeTable::Entry e = dc.whole[in.peek(kLookupBits)];
            int symbol = e.symbol;
            if (e.taken) {
                in.skip(e.taken);
            } else {
                symbol = dc.decode(in);
                if (symbol < 0 || symbol > 11) {
                    ok = false;
                    break;
                }
                in.skip(symbol);
            }
            ++m_counts[coding.dc][symbol];
            const DecodeTable& ac = m_decoders[coding.ac];
            std::array<uint64_t, 256>& acCounts = m_counts[coding.ac];
            for (int k = 1;;) {
                reader.fill(in);
                const DecodeTable::Entry e = ac.whole[in.peek(kLookupBits)];
                int rs = e.symbol, step = e.advance;
                if (e.taken) {
                    in.skip(e.taken);
                } else {
                    rs = ac.decode(in);
                    if (rs < 0) {
                        ok = false;
                        break;
                    }
                    in.skip(rs & 15);
                    step = stepOf(rs, false);
                }
                ++acCounts[rs];
                k += step;
                if (blockEnds(k, ok)) {
                    break;
                }
            }
        }
        ok = ok && !reader.overrun(in);
    }
    reader.bits() = in;
    m_store.release(reader.state(in).position);
    return ok;
}

// Re-emits MCUs [from, to) with the new tables.
bool HuffmanRecoder::Impl::emitRange(BitReader& reader, BitWriter& writer, uint64_t from, uint64_t to) const {
    ReadBits in = reader.bits();
    WriteBits out = writer.bits();
    bool ok = true;
    for (uint64_t m = from; m < to && ok; ++m) {
        // The marker in front of the first MCU is the caller's: a second half starts after it.
        if (const uint8_t marker = m > from ? restartMarker(m) : 0; marker) {
            ok = reader.restart(in, marker);
            writer.restart(out, marker);
        }
        for (int b = 0; b < m_blocksPerMcu && ok; ++b) {
            const BlockCoding coding = m_blocks[b];
            reader.fill(in);
            const RecodeTable::Entry dc = m_recoders[coding.dc].entries[in.peek(kLookupBits)];
            if (dc.taken) {
                in.skip(dc.taken);
                writer.put(out, dc.bits, dc.length);
            } else {
                const int symbol = m_decoders[coding.dc].decode(in);
                if (symbol < 0 || symbol > 11) {
                    ok = false;
                    break;
                }
                const EncodeTable& codes = m_encoders[coding.dc];
                writer.put(out, codes.code[symbol] << symbol | in.take(symbol), codes.length[symbol] + symbol);
            }
            const RecodeTable& recode = m_recoders[coding.ac];
            for (int k = 1;;) {
                reader.fill(in);
                const RecodeTable::Entry e = recode.entries[in.peek(kLookupBits)];
                int step = e.advance;
                if (e.taken) {
                    in.skip(e.taken);
                    writer.put(out, e.bits, e.length);
                } else {
                    const int rs = m_decoders[coding.ac].decode(in);
                    if (rs < 0) {
                        ok = false;
                        break;
                    }
                    const int size = rs & 15;
                    const EncodeTable& codes = m_encoders[coding.ac];
                    writer.put(out, codes.code[rs] << size | in.take(size), codes.length[rs] + size);
                    step = stepOf(rs, false);
                }
                k += step;
                if (blockEnds(k, ok)) {
                    break;
                }
            }
        }
        ok = ok && !reader.overrun(in);
    }
    reader.bits() = in;
    writer.bits() = out;
    return ok;
}

// The second pass in two halves side by side. The counts up to the middle tell how
// many bits the first half takes, so the second half can start at the right bit of
// its first byte; that byte is then joined with the first half's last bits.
bool HuffmanRecoder::Impl::emitSplit(ByteSink& sink) {
    uint64_t firstHalfBits = 0;
    for (int t = 0; t < 4; ++t) {
        for (int s = 0; s < 256; ++s) {
            const int extra = t < 2 ? s : s & 15;
            firstHalfBits += m_splitCounts[t][s] * (m_encoders[t].length[s] + extra);
        }
    }
    // With restart markers the first half ends with the one in front of the second.
    const uint8_t marker = restartMarker(m_splitMcu);
    const int phase = marker ? 0 : static_cast<int>(firstHalfBits % 8);
    std::vector<uint8_t> second;
    second.reserve(static_cast<size_t>((m_store.size() - m_splitState.position) + (64u << 10)));
    bool secondOk = false;
    BitWriter secondOut(
        [&second](const uint8_t* d, size_t n) {
            second.insert(second.end(), d, d + n);
            return true;
        },
        phase);
    auto runSecond = [&] {
        try {
            BitReader in(m_store, m_splitState);
            secondOk = emitRange(in, secondOut, m_splitMcu, m_mcus) && secondOut.end(true);
        } catch (const std::bad_alloc&) {
            secondOk = false;
        }
    };
    std::thread worker;
    try {
        worker = std::thread(runSecond);
    } catch (const std::system_error&) {
        runSecond();  // no thread to be had: one after the other, same bytes
    }
    BitReader in(m_store, ReaderState{m_scanStart, 0, 0});
    BitWriter out([&sink](const uint8_t* d, size_t n) { return sink.write(d, n); });
    bool firstOk = emitRange(in, out, 0, m_splitMcu);
    if (marker) {
        out.restart(out.bits(), marker);
    }
    firstOk = firstOk && out.end(false);
    if (worker.joinable()) {
        worker.join();
    }
    if (!firstOk || !secondOk || out.pendingBits() != phase || second.empty()) {
        return false;
    }
    // The second half's first byte has zeros where the first half's last bits go; it
    // was stuffed as it stood, so its stuffing is redone once joined.
    const uint8_t joined = static_cast<uint8_t>(out.pendingByte() | second[0]);
    const size_t rest = second[0] == 0xff ? 2 : 1;
    const uint8_t stuffed[2] = {joined, 0};
    return sink.write(stuffed, joined == 0xff ? 2 : 1) && sink.write(second.data() + rest, second.size() - rest);
}

Status HuffmanRecoder::Impl::finish(ByteSink& sink) {
    if (!m_error.empty()) {
        return Status::writeError(m_error);
    }
    if (!m_store.close()) {
        return Status::writeError(kScratchFailed);
    }
    if (!count(true)) {
        return Status::writeError(kMalformed);
    }
    std::vector<uint8_t> dht;
    for (const int t : m_tableOrder) {
        const HuffmanTable table = optimalTable(m_counts[t]);
        m_encoders[t].build(table);
        m_recoders[t].build(m_decoders[t], m_encoders[t], t < 2);
        const size_t length = 2 + 1 + 16 + table.values.size();
        dht.insert(dht.end(), {0xff, 0xc4, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                               static_cast<uint8_t>((t / 2) << 4 | (t % 2))});
        dht.insert(dht.end(), table.bits.begin() + 1, table.bits.end());
        dht.insert(dht.end(), table.values.begin(), table.values.end());
    }
    // The tables go where libjpeg put them: after the frame header, before any DRI.
    if (!sink.write(m_header.data(), m_dhtAt) || !sink.write(dht.data(), dht.size()) ||
        !sink.write(m_header.data() + m_dhtAt, m_header.size() - m_dhtAt) || !sink.write(m_sos.data(), m_sos.size())) {
        return Status::writeError(sink.error());
    }
    bool ok = false;
    if (m_store.size() - m_scanStart >= kSplitBytes && m_splitMcu > 0) {
        ok = emitSplit(sink);
    } else {
        BitReader in(m_store, ReaderState{m_scanStart, 0, 0});
        BitWriter out([&sink](const uint8_t* d, size_t n) { return sink.write(d, n); });
        ok = emitRange(in, out, 0, m_mcus) && out.end(true);
    }
    if (!ok) {
        const std::string error = sink.error();
        return Status::writeError(error.empty() ? kMalformed : error);
    }
    static constexpr uint8_t kEoi[2] = {0xff, 0xd9};
    if (!sink.write(kEoi, 2)) {
        return Status::writeError(sink.error());
    }
    return Status::ok();
}

HuffmanRecoder::HuffmanRecoder(uint64_t memoryLimit) : m_impl(std::make_unique<Impl>(memoryLimit)) {}
HuffmanRecoder::~HuffmanRecoder() = default;
std::pair<uint8_t*, size_t> HuffmanRecoder::space() { return m_impl->space(); }
bool HuffmanRecoder::commit(size_t size) { return m_impl->commit(size); }
Status HuffmanRecoder::finish(ByteSink& sink) { return m_impl->finish(sink); }
std::string HuffmanRecoder::error() const { return m_impl->error(); }

}  // namespace tessaplex
