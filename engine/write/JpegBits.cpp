#include "engine/write/JpegBits.h"

namespace tessaplex::jpeg {

ReadBits BitReader::refill(ReadBits b) {
    b.acc &= ~(~uint64_t{0} >> b.count);  // only the bits counted stay
    while (b.count <= 56) {
        b.acc |= uint64_t{nextByte(b)} << (56 - b.count);
        b.count += 8;
    }
    return b;
}

bool BitReader::nextSpan(ReadBits& b) {
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

unsigned BitReader::nextByte(ReadBits& b) {
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

bool BitReader::restart(ReadBits& b, uint8_t marker) {
    if (b.count - 8 * m_padding >= 8 || (!m_atMarker && rawByte(b) != 0xff) || rawByte(b) != marker) {
        return false;
    }
    b.acc = 0;
    b.count = 0;
    m_atMarker = false;
    m_padding = 0;
    return true;
}

int BitReader::rawByte(ReadBits& b) {
    if (b.p == b.end && !nextSpan(b)) {
        return -1;
    }
    return *b.p++;
}

unsigned BitReader::pad() {
    m_atMarker = true;
    ++m_padding;
    return 0;
}

bool BitWriter::end(bool pad) {
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

void BitWriter::restart(WriteBits& w, uint8_t marker) {
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

uint8_t* BitWriter::stuff(uint8_t* p, uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        p = byte(p, static_cast<uint8_t>(word >> shift));
    }
    return p;
}

uint8_t* BitWriter::byte(uint8_t* p, uint8_t b) {
    *p++ = b;
    if (b == 0xff) {
        *p++ = 0;
    }
    return p;
}

uint8_t* BitWriter::flush(uint8_t* p) {
    const size_t used = static_cast<size_t>(p - m_buffer.data());
    if (used > 0 && m_ok) {
        m_ok = m_output(m_buffer.data(), used);
    }
    return m_buffer.data();
}

}  // namespace tessaplex::jpeg
