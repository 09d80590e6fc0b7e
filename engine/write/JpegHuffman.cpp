#include "engine/write/JpegHuffman.h"

#include <array>
#include <cstring>
#include <vector>

namespace tessaplex {

namespace {

constexpr size_t kReadBuffer = 1u << 20;
constexpr size_t kWriteBuffer = 256 * 1024;

// Bits (count of codes per length 1..16) and values of one table, as stored in DHT.
struct HuffmanSpec {
    std::array<uint8_t, 17> bits{};
    std::vector<uint8_t> values;
};

struct DecodeTable {
    // Codes of up to kFast bits resolve by one lookup: length << 8 | symbol, 0 if longer.
    static constexpr int kFast = 9;
    std::array<uint16_t, 1 << kFast> fast{};
    std::array<int32_t, 18> maxCode{};
    std::array<int32_t, 17> offset{};
    std::vector<uint8_t> values;
    bool valid = false;

    void build(const HuffmanSpec& spec) {
        values = spec.values;
        fast.fill(0);
        int32_t code = 0;
        size_t k = 0;
        for (int length = 1; length <= 16; ++length) {
            offset[length] = static_cast<int32_t>(k) - code;
            for (int i = 0; i < spec.bits[length]; ++i, ++k, ++code) {
                if (length <= kFast) {
                    const int shift = kFast - length;
                    for (int fill = 0; fill < (1 << shift); ++fill) {
                        fast[(code << shift) | fill] = static_cast<uint16_t>(length << 8 | values[k]);
                    }
                }
            }
            maxCode[length] = spec.bits[length] ? code - 1 : -1;
            code <<= 1;
        }
        maxCode[17] = INT32_MAX;
        valid = true;
    }
};

struct EncodeTable {
    std::array<uint32_t, 256> code{};
    std::array<uint8_t, 256> size{};

    void build(const HuffmanSpec& spec) {
        code.fill(0);
        size.fill(0);
        uint32_t c = 0;
        size_t k = 0;
        for (int length = 1; length <= 16; ++length) {
            for (int i = 0; i < spec.bits[length]; ++i, ++k, ++c) {
                code[spec.values[k]] = c;
                size[spec.values[k]] = static_cast<uint8_t>(length);
            }
            c <<= 1;
        }
    }
};

// Code lengths from symbol counts, limited to 16 bits, with no code of all ones:
// the procedure of the JPEG standard's annex K.2 and K.3.
HuffmanSpec optimalSpec(const std::array<uint64_t, 256>& counts) {
    std::array<uint64_t, 257> freq{};
    std::array<int, 257> codeSize{};
    std::array<int, 257> others{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[256] = 1;  // reserves the all-ones code point
    others.fill(-1);
    for (;;) {
        int c1 = -1, c2 = -1;
        uint64_t v = UINT64_MAX;
        for (int i = 0; i <= 256; ++i) {
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        }
        v = UINT64_MAX;
        for (int i = 0; i <= 256; ++i) {
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
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
    HuffmanSpec spec;
    for (int i = 1; i <= 16; ++i) {
        spec.bits[i] = static_cast<uint8_t>(bits[i]);
    }
    for (int length = 1; length <= 257; ++length) {
        for (int s = 0; s < 256; ++s) {
            if (codeSize[s] == length) {
                spec.values.push_back(static_cast<uint8_t>(s));
            }
        }
    }
    // The symbols are sorted by their original code length; K.3 only moved lengths,
    // so taking them in that order with the adjusted counts is what the standard does.
    return spec;
}

class Input {
public:
    explicit Input(std::FILE* file) : m_file(file), m_buffer(kReadBuffer) {}

    bool seek(long offset) {
        m_size = m_at = 0;
        m_position = offset;
        return std::fseek(m_file, offset, SEEK_SET) == 0;
    }
    long position() const { return m_position; }
    // -1 at the end or on error.
    int byte() {
        if (m_at == m_size) {
            m_size = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
            m_at = 0;
            if (m_size == 0) {
                return -1;
            }
        }
        ++m_position;
        return m_buffer[m_at++];
    }
    bool failed() const { return std::ferror(m_file) != 0; }

private:
    std::FILE* m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_size = 0;
    size_t m_at = 0;
    long m_position = 0;
};

// Reads entropy-coded bits: removes the stuffed zero after 0xFF and stops at a marker.
class BitReader {
public:
    explicit BitReader(Input& input) : m_input(input) {}

    uint32_t peek16() {
        fill();
        return static_cast<uint32_t>(m_bits >> (m_count - 16)) & 0xffff;
    }
    void skip(int n) { m_count -= n; }
    uint32_t take(int n) {
        if (n == 0) {
            return 0;
        }
        fill();
        m_count -= n;
        return static_cast<uint32_t>(m_bits >> m_count) & ((1u << n) - 1);
    }
    // True when bits made up past the end of the data were consumed.
    bool overrun() const { return m_count < 8 * m_padding; }

private:
    void fill() {
        while (m_count <= 48) {
            int b = m_atMarker ? -1 : m_input.byte();
            if (b == 0xff) {
                const int next = m_input.byte();
                if (next != 0) {
                    m_atMarker = true;
                    b = -1;
                }
            }
            if (b < 0) {
                m_atMarker = true;
                ++m_padding;
                b = 0;
            }
            m_bits = (m_bits << 8) | static_cast<uint64_t>(b);
            m_count += 8;
        }
    }

    Input& m_input;
    uint64_t m_bits = 0;
    int m_count = 0;
    bool m_atMarker = false;
    int m_padding = 0;
};

class BitWriter {
public:
    explicit BitWriter(ByteSink& sink) : m_sink(sink) { m_out.reserve(kWriteBuffer + 16); }

    void put(uint32_t value, int n) {
        m_bits = (m_bits << n) | (value & ((1u << n) - 1));
        m_count += n;
        while (m_count >= 8) {
            const auto b = static_cast<uint8_t>(m_bits >> (m_count - 8));
            m_out.push_back(b);
            if (b == 0xff) {
                m_out.push_back(0);
            }
            m_count -= 8;
        }
        if (m_out.size() >= kWriteBuffer) {
            flush();
        }
    }
    // Pads the last byte with one bits, as the standard asks.
    bool finish() {
        if (m_count > 0) {
            put(0x7f, 8 - m_count);
        }
        return flush();
    }
    bool flush() {
        if (!m_out.empty() && m_ok) {
            m_ok = m_sink.write(m_out.data(), m_out.size());
        }
        m_out.clear();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    ByteSink& m_sink;
    std::vector<uint8_t> m_out;
    uint64_t m_bits = 0;
    int m_count = 0;
    bool m_ok = true;
};

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int dcTable = 0, acTable = 0;
};

struct Frame {
    uint32_t width = 0, height = 0;
    std::vector<Component> components;
    // Components of the scan in scan order, as indices into components.
    std::vector<int> scan;
};

// Walks every block of the scan, handing each symbol and its extra bits to `onSymbol`
// (table kind 0 DC / 1 AC, table id, symbol, extra bits, their count).
template <typename OnSymbol>
bool walkScan(const Frame& frame, BitReader& bits, const std::array<DecodeTable, 4>& tables, OnSymbol onSymbol) {
    int hMax = 1, vMax = 1;
    for (const Component& c : frame.components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    uint64_t mcus = 0;
    std::vector<int> blocksPerMcu;
    if (frame.scan.size() == 1) {
        const Component& c = frame.components[frame.scan[0]];
        const uint64_t w = (uint64_t{frame.width} * c.h + hMax - 1) / hMax;
        const uint64_t h = (uint64_t{frame.height} * c.v + vMax - 1) / vMax;
        mcus = ((w + 7) / 8) * ((h + 7) / 8);
        blocksPerMcu.push_back(1);
    } else {
        mcus = ((frame.width + 8u * hMax - 1) / (8u * hMax)) * uint64_t{(frame.height + 8u * vMax - 1) / (8u * vMax)};
        for (const int index : frame.scan) {
            blocksPerMcu.push_back(frame.components[index].h * frame.components[index].v);
        }
    }
    auto decode = [&](const DecodeTable& table) -> int {
        const uint32_t peek = bits.peek16();
        const uint16_t quick = table.fast[peek >> (16 - DecodeTable::kFast)];
        if (quick) {
            bits.skip(quick >> 8);
            return quick & 0xff;
        }
        for (int length = DecodeTable::kFast + 1; length <= 16; ++length) {
            const auto code = static_cast<int32_t>(peek >> (16 - length));
            if (code <= table.maxCode[length]) {
                bits.skip(length);
                const int32_t k = code + table.offset[length];
                return k >= 0 && k < static_cast<int32_t>(table.values.size()) ? table.values[k] : -1;
            }
        }
        return -1;
    };
    for (uint64_t m = 0; m < mcus; ++m) {
        for (size_t s = 0; s < frame.scan.size(); ++s) {
            const Component& c = frame.components[frame.scan[s]];
            const DecodeTable& dc = tables[c.dcTable];
            const DecodeTable& ac = tables[2 + c.acTable];
            for (int b = 0; b < blocksPerMcu[s]; ++b) {
                const int dcSymbol = decode(dc);
                if (dcSymbol < 0 || dcSymbol > 11) {
                    return false;
                }
                onSymbol(0, c.dcTable, dcSymbol, bits.take(dcSymbol), dcSymbol);
                for (int k = 1; k < 64;) {
                    const int rs = decode(ac);
                    if (rs < 0) {
                        return false;
                    }
                    const int run = rs >> 4, size = rs & 15;
                    onSymbol(1, c.acTable, rs, bits.take(size), size);
                    if (size == 0) {
                        if (run != 15) {
                            break;  // end of block
                        }
                        k += 16;
                    } else {
                        k += run + 1;
                    }
                    if (k > 64) {
                        return false;
                    }
                }
            }
        }
        if (bits.overrun()) {
            return false;
        }
    }
    return true;
}

}  // namespace

Status recodeWithOptimalTables(std::FILE* source, ByteSink& sink) {
    const Status malformed = Status::writeError("Optimising the JPEG tables failed");
    Input input(source);
    if (!input.seek(0) || input.byte() != 0xff || input.byte() != 0xd8) {
        return malformed;
    }
    // Header segments up to the scan, DHT left out; kept to be written again.
    std::vector<uint8_t> header = {0xff, 0xd8};
    std::vector<uint8_t> sos;
    std::array<HuffmanSpec, 4> specs;  // DC 0, DC 1, AC 0, AC 1
    Frame frame;
    for (;;) {
        if (input.byte() != 0xff) {
            return malformed;
        }
        const int marker = input.byte();
        const int hi = input.byte(), lo = input.byte();
        if (marker < 0 || hi < 0 || lo < 0 || (hi << 8 | lo) < 2) {
            return malformed;
        }
        std::vector<uint8_t> body((hi << 8 | lo) - 2);
        for (uint8_t& b : body) {
            const int v = input.byte();
            if (v < 0) {
                return malformed;
            }
            b = static_cast<uint8_t>(v);
        }
        if (marker == 0xc4) {
            for (size_t at = 0; at + 17 <= body.size();) {
                const int cls = body[at] >> 4, id = body[at] & 15;
                if (cls > 1 || id > 1) {
                    return malformed;
                }
                HuffmanSpec& spec = specs[cls * 2 + id];
                size_t total = 0;
                for (int i = 1; i <= 16; ++i) {
                    spec.bits[i] = body[at + i];
                    total += spec.bits[i];
                }
                if (at + 17 + total > body.size() || total > 256) {
                    return malformed;
                }
                spec.values.assign(body.begin() + at + 17, body.begin() + at + 17 + total);
                at += 17 + total;
            }
            continue;
        }
        if (marker == 0xc0) {
            if (body.size() < 6) {
                return malformed;
            }
            frame.height = body[1] << 8 | body[2];
            frame.width = body[3] << 8 | body[4];
            const int n = body[5];
            if (body.size() < 6u + 3u * n || n < 1 || n > 4) {
                return malformed;
            }
            for (int i = 0; i < n; ++i) {
                Component c;
                c.id = body[6 + 3 * i];
                c.h = body[7 + 3 * i] >> 4;
                c.v = body[7 + 3 * i] & 15;
                if (c.h < 1 || c.v < 1 || c.h > 4 || c.v > 4) {
                    return malformed;
                }
                frame.components.push_back(c);
            }
        } else if (marker >= 0xc1 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            return malformed;  // only baseline frames are recoded
        }
        if (marker == 0xda) {
            const int n = body.empty() ? 0 : body[0];
            if (n < 1 || body.size() < 1u + 2u * n + 3u || frame.components.empty()) {
                return malformed;
            }
            for (int i = 0; i < n; ++i) {
                int index = -1;
                for (size_t c = 0; c < frame.components.size(); ++c) {
                    if (frame.components[c].id == body[1 + 2 * i]) {
                        index = static_cast<int>(c);
                    }
                }
                if (index < 0 || (body[2 + 2 * i] >> 4) > 1 || (body[2 + 2 * i] & 15) > 1) {
                    return malformed;
                }
                frame.components[index].dcTable = body[2 + 2 * i] >> 4;
                frame.components[index].acTable = body[2 + 2 * i] & 15;
                frame.scan.push_back(index);
            }
            if (frame.scan.size() != frame.components.size()) {
                return malformed;  // one scan with every component is what the writer makes
            }
            sos = {0xff, 0xda, static_cast<uint8_t>(hi), static_cast<uint8_t>(lo)};
            sos.insert(sos.end(), body.begin(), body.end());
            break;
        }
        header.insert(header.end(), {0xff, static_cast<uint8_t>(marker), static_cast<uint8_t>(hi),
                                     static_cast<uint8_t>(lo)});
        header.insert(header.end(), body.begin(), body.end());
    }
    std::array<DecodeTable, 4> decoders;
    for (const Component& c : frame.components) {
        for (const int t : {c.dcTable, 2 + c.acTable}) {
            if (specs[t].values.empty()) {
                return malformed;
            }
            if (!decoders[t].valid) {
                decoders[t].build(specs[t]);
            }
        }
    }
    const long scanStart = input.position();

    // Pass 1: count.
    std::array<std::array<uint64_t, 256>, 4> counts{};
    {
        BitReader bits(input);
        const bool ok = walkScan(frame, bits, decoders, [&](int kind, int table, int symbol, uint32_t, int) {
            ++counts[kind * 2 + table][symbol];
        });
        if (!ok || input.failed()) {
            return malformed;
        }
    }
    std::array<EncodeTable, 4> encoders;
    std::array<bool, 4> emitted{};
    // One DHT segment per table, DC before AC for each component in scan order, as
    // libjpeg writes them.
    std::vector<uint8_t> dht;
    for (const int index : frame.scan) {
        const Component& c = frame.components[index];
        for (const int t : {c.dcTable, 2 + c.acTable}) {
            if (emitted[t]) {
                continue;
            }
            emitted[t] = true;
            const HuffmanSpec spec = optimalSpec(counts[t]);
            encoders[t].build(spec);
            const size_t length = 2 + 1 + 16 + spec.values.size();
            dht.insert(dht.end(), {0xff, 0xc4, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                                   static_cast<uint8_t>((t / 2) << 4 | (t % 2))});
            dht.insert(dht.end(), spec.bits.begin() + 1, spec.bits.end());
            dht.insert(dht.end(), spec.values.begin(), spec.values.end());
        }
    }

    // Pass 2: the same symbols and extra bits with the new codes.
    if (!sink.write(header.data(), header.size()) || !sink.write(dht.data(), dht.size()) ||
        !sink.write(sos.data(), sos.size())) {
        return Status::writeError(sink.error());
    }
    if (!input.seek(scanStart)) {
        return malformed;
    }
    BitReader bits(input);
    BitWriter out(sink);
    const bool ok =
        walkScan(frame, bits, decoders, [&](int kind, int table, int symbol, uint32_t extra, int extraBits) {
            const EncodeTable& e = encoders[kind * 2 + table];
            out.put(e.code[symbol], e.size[symbol]);
            if (extraBits) {
                out.put(extra, extraBits);
            }
        });
    if (!ok || input.failed()) {
        return malformed;
    }
    static constexpr uint8_t kEoi[2] = {0xff, 0xd9};
    if (!out.finish() || !sink.write(kEoi, 2)) {
        return Status::writeError(sink.error());
    }
    return Status::ok();
}

}  // namespace tessaplex
