#include "engine/read/GifLzw.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace tessaplex::read {
namespace {

// A string's pieces are stored as little-endian words: byte i of a piece is bits 8i..8i+7.
static_assert(std::endian::native == std::endian::little);

constexpr unsigned kCodes = 4096;
constexpr unsigned kMaxWidth = 12;
constexpr unsigned kNoCode = 0xffff;
constexpr uint64_t kControl = uint64_t{1} << 63;  // in `meta`: the clear or end code
constexpr size_t kDataSize = 16384;  // image data held at once, sub-block lengths removed
constexpr size_t kRawSize = 16384;   // bytes read from the source at once
constexpr size_t kMaxBlock = 255;
constexpr size_t kOutSize = 16384;   // pixels decoded ahead at once
// The longest string (4094 bytes, with the minimum code size 0) and the rest of the
// word its last piece is written as.
constexpr size_t kOutSlack = kCodes + 8;

inline void store8(uint8_t* at, uint64_t word) { std::memcpy(at, &word, 8); }

}  // namespace

GifLzw::GifLzw()
    : m_table(new Entry[kCodes + 1]),
      m_data(new uint8_t[kDataSize + 8]),
      m_raw(new uint8_t[kRawSize]),
      m_out(new uint8_t[kOutSize + kOutSlack]) {}

GifLzw::~GifLzw() = default;

void GifLzw::start(ByteSource& source, unsigned minCodeSize, uint64_t pixels) {
    assert(minCodeSize <= 8);
    m_source = &source;
    m_pos = m_end = m_rawPos = m_rawEnd = m_outPos = m_outEnd = 0;
    m_lastBlock = m_truncated = false;
    m_failure = Result::Ok;
    m_bits = 0;
    m_bitCount = 0;
    m_minCodeSize = minCodeSize;
    m_undecoded = m_unread = pixels;
    const unsigned clear = 1u << minCodeSize;
    for (unsigned i = 0; i < clear; ++i) {
        m_table[i] = Entry{i, uint64_t{i} << 24};
    }
    m_table[clear] = m_table[clear + 1] = Entry{0, kControl};
    // The state after a clear code, with which the data may or may not begin.
    m_width = minCodeSize + 1;
    m_avail = clear + 2;
    m_prev = kNoCode;
}

// Moves the unread data to the front and appends whole sub-blocks behind it, as many
// as fit. A sub-block the source does not hold entirely is not used. False when
// nothing could be added.
bool GifLzw::fill() {
    const size_t unread = m_end - m_pos;
    std::memmove(m_data.get(), m_data.get() + m_pos, unread);
    m_pos = 0;
    m_end = unread;
    while (!m_lastBlock && !m_truncated && kDataSize - m_end >= kMaxBlock) {
        size_t raw = m_rawEnd - m_rawPos;
        if (raw == 0 || raw < 1u + m_raw[m_rawPos]) {
            std::memmove(m_raw.get(), m_raw.get() + m_rawPos, raw);
            m_rawPos = 0;
            // The source gives fewer bytes than asked for only at its end.
            raw += m_source->read(m_raw.get() + raw, kRawSize - raw);
            m_rawEnd = raw;
            if (raw == 0 || raw < 1u + m_raw[0]) {
                m_truncated = true;
                break;
            }
        }
        const size_t length = m_raw[m_rawPos];
        if (length == 0) {
            ++m_rawPos;
            m_lastBlock = true;
            break;
        }
        std::memcpy(m_data.get() + m_end, m_raw.get() + m_rawPos + 1, length);
        m_end += length;
        m_rawPos += 1 + length;
    }
    return m_end > unread;
}

// Reads the sub-blocks left after the last pixel, up to the empty one that ends them.
GifLzw::Result GifLzw::skipToEnd() {
    while (!m_lastBlock && !m_truncated) {
        m_pos = m_end;
        fill();
    }
    m_pos = m_end;
    return m_lastBlock ? Result::Ok : Result::Truncated;
}

// Decodes up to kOutSize of the frame's next pixels into m_out (the last string may
// run past them), or until a failure, which is kept in m_failure.
void GifLzw::decodeAhead() {
    uint8_t* o = m_out.get();
    uint8_t* const target = o + std::min<uint64_t>(kOutSize, m_undecoded);
    // The state lives in locals while the loop runs: the pixel stores could otherwise
    // alias the members and force them back to memory after every string.
    Entry* const table = m_table.get();
    const uint8_t* const data = m_data.get();
    size_t pos = m_pos, dataEnd = m_end;
    uint64_t bits = m_bits;
    unsigned bitCount = m_bitCount, width = m_width, mask = (1u << width) - 1, avail = m_avail, prev = m_prev;
    while (o < target) {
        if (bitCount < width) {
            if (dataEnd - pos >= 8) {
                uint64_t word = 0;
                std::memcpy(&word, data + pos, 8);
                bits |= word << bitCount;
                pos += (63 - bitCount) >> 3;
                bitCount |= 56;
            } else {
                while (bitCount <= 56 && pos < dataEnd) {
                    bits |= uint64_t{data[pos++]} << bitCount;
                    bitCount += 8;
                }
                if (bitCount < width) {
                    m_pos = pos;
                    const bool more = fill();
                    pos = m_pos;
                    dataEnd = m_end;
                    if (!more) {
                        m_failure = m_truncated ? Result::Truncated : Result::EndsEarly;
                        break;
                    }
                    continue;
                }
            }
        }
        const unsigned code = static_cast<unsigned>(bits) & mask;
        bits >>= width;
        bitCount -= width;
        Entry entry;
        if (code < avail) {
            entry = table[code];
            if (entry.meta & kControl) {
                if (code == (1u << m_minCodeSize)) {
                    width = m_minCodeSize + 1;
                    mask = (1u << width) - 1;
                    avail = code + 2;
                    prev = kNoCode;
                    continue;
                }
                m_failure = Result::EndsEarly;
                break;
            }
        } else if (code == avail && prev != kNoCode) {
            // The code being defined, whose first byte is the previous string's.
            entry.meta = table[prev].meta;
        } else {
            m_failure = Result::BadCode;
            break;
        }
        if (prev != kNoCode) {
            // The next free code: the previous string followed by this one's first
            // byte. Once the table is full it goes to the spare slot, unused.
            const Entry last = table[prev];
            const uint64_t byte = (entry.meta >> 24) & 0xff;
            const uint64_t meta = last.meta + (1u << 12);
            const unsigned at = (meta >> 12) & 7;
            Entry& added = table[avail];
            added.tail = at == 0 ? byte : last.tail | byte << (8 * at);
            added.meta = at == 0 ? (meta & ~uint64_t{0xfff}) | prev : meta;
            if (code == avail) {
                entry = added;
            }
            avail += avail < kCodes;
        }
        // Right after a clear code too, when the minimum code size is 0 or 1.
        if (avail > mask && width < kMaxWidth) {
            ++width;
            mask = mask * 2 + 1;
        }
        prev = code;
        // The last piece, then the whole pieces before it, back to the first.
        const size_t length = ((entry.meta >> 12) & 0xfff) + 1;
        uint8_t* piece = o + ((length - 1) & ~size_t{7});
        store8(piece, entry.tail);
        for (uint64_t link = entry.meta & 0xfff; piece > o; link = table[link].meta & 0xfff) {
            piece -= 8;
            store8(piece, table[link].tail);
        }
        o += length;
    }
    m_pos = pos;
    m_bits = bits;
    m_bitCount = bitCount;
    m_width = width;
    m_avail = avail;
    m_prev = prev;
    m_outPos = 0;
    m_outEnd = static_cast<size_t>(o - m_out.get());
    m_undecoded -= std::min<uint64_t>(m_undecoded, m_outEnd);
}

GifLzw::Result GifLzw::decode(uint8_t* out, size_t count) {
    assert(count <= m_unread);
    for (size_t done = 0; done < count;) {
        if (m_outPos == m_outEnd) {
            if (m_failure != Result::Ok) {
                return m_failure;
            }
            decodeAhead();
            continue;
        }
        const size_t n = std::min(count - done, m_outEnd - m_outPos);
        std::memcpy(out + done, m_out.get() + m_outPos, n);
        m_outPos += n;
        done += n;
    }
    m_unread -= count;
    return m_unread == 0 ? skipToEnd() : Result::Ok;
}

}  // namespace tessaplex::read
