#include "engine/write/BaselineHeader.h"

#include <algorithm>

namespace tessaplex::jpeg {
namespace {

// Reads the stored bytes one at a time, for the header.
class ByteCursor {
public:
    explicit ByteCursor(const ScratchStore& store) : m_store(store) {}
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
    const ScratchStore& m_store;
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

}  // namespace

HeaderParse parseBaselineHeader(const ScratchStore& store, BaselineHeader& header) {
    ByteCursor in(store);
    header = BaselineHeader{};
    header.segments = {0xff, 0xd8};
    if (in.next() != 0xff || in.next() != 0xd8) {
        return store.size() < 2 ? HeaderParse::Incomplete : HeaderParse::Malformed;
    }
    struct Frame {
        uint32_t width = 0, height = 0;
        std::vector<Component> components;
        std::vector<int> scan;
    } frame;
    for (;;) {
        const int ff = in.next(), marker = in.next(), hi = in.next(), lo = in.next();
        if (ff < 0 || marker < 0 || hi < 0 || lo < 0) {
            return HeaderParse::Incomplete;
        }
        if (ff != 0xff || (hi << 8 | lo) < 2) {
            return HeaderParse::Malformed;
        }
        std::vector<uint8_t> body((hi << 8 | lo) - 2);
        for (uint8_t& b : body) {
            const int v = in.next();
            if (v < 0) {
                return HeaderParse::Incomplete;
            }
            b = static_cast<uint8_t>(v);
        }
        if (marker == 0xc4) {
            header.tablesAt = header.segments.size();
            for (size_t at = 0; at + 17 <= body.size();) {
                const int cls = body[at] >> 4, id = body[at] & 15;
                if (cls > 1 || id > 1) {
                    return HeaderParse::Malformed;
                }
                HuffmanTable& table = header.tables[cls * 2 + id];
                size_t total = 0;
                for (int i = 1; i <= 16; ++i) {
                    table.bits[i] = body[at + i];
                    total += table.bits[i];
                }
                if (at + 17 + total > body.size() || total > 256) {
                    return HeaderParse::Malformed;
                }
                table.values.assign(body.begin() + at + 17, body.begin() + at + 17 + total);
                at += 17 + total;
            }
            continue;
        }
        if (marker == 0xc0) {
            if (body.size() < 6) {
                return HeaderParse::Malformed;
            }
            frame.height = body[1] << 8 | body[2];
            frame.width = body[3] << 8 | body[4];
            const int n = body[5];
            if (body.size() < 6u + 3u * n || n < 1 || n > 4) {
                return HeaderParse::Malformed;
            }
            for (int i = 0; i < n; ++i) {
                Component c;
                c.id = body[6 + 3 * i];
                c.h = body[7 + 3 * i] >> 4;
                c.v = body[7 + 3 * i] & 15;
                if (c.h < 1 || c.v < 1 || c.h > 4 || c.v > 4) {
                    return HeaderParse::Malformed;
                }
                frame.components.push_back(c);
            }
        } else if (marker >= 0xc1 && marker <= 0xcf && marker != 0xc8 && marker != 0xcc) {
            return HeaderParse::Malformed;  // only baseline frames are recoded
        } else if (marker == 0xdd) {
            if (body.size() != 2) {
                return HeaderParse::Malformed;
            }
            header.restartInterval = body[0] << 8 | body[1];
        }
        if (marker == 0xda) {
            const int n = body.empty() ? 0 : body[0];
            if (n < 1 || body.size() < 1u + 2u * n + 3u || frame.components.empty()) {
                return HeaderParse::Malformed;
            }
            for (int i = 0; i < n; ++i) {
                int index = -1;
                for (size_t c = 0; c < frame.components.size(); ++c) {
                    if (frame.components[c].id == body[1 + 2 * i]) {
                        index = static_cast<int>(c);
                    }
                }
                if (index < 0 || (body[2 + 2 * i] >> 4) > 1 || (body[2 + 2 * i] & 15) > 1) {
                    return HeaderParse::Malformed;
                }
                frame.components[index].dcTable = body[2 + 2 * i] >> 4;
                frame.components[index].acTable = body[2 + 2 * i] & 15;
                frame.scan.push_back(index);
            }
            if (frame.scan.size() != frame.components.size()) {
                return HeaderParse::Malformed;  // one scan with every component is what the writer makes
            }
            header.sos = {0xff, 0xda, static_cast<uint8_t>(hi), static_cast<uint8_t>(lo)};
            header.sos.insert(header.sos.end(), body.begin(), body.end());
            break;
        }
        header.segments.insert(header.segments.end(), {0xff, static_cast<uint8_t>(marker), static_cast<uint8_t>(hi),
                                                       static_cast<uint8_t>(lo)});
        header.segments.insert(header.segments.end(), body.begin(), body.end());
    }
    if (frame.width == 0 || frame.height == 0) {
        return HeaderParse::Malformed;
    }

    int hMax = 1, vMax = 1;
    for (const Component& c : frame.components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    header.blocksPerMcu = 0;
    if (frame.scan.size() == 1) {
        const Component& c = frame.components[frame.scan[0]];
        const uint64_t w = (uint64_t{frame.width} * c.h + hMax - 1) / hMax;
        const uint64_t h = (uint64_t{frame.height} * c.v + vMax - 1) / vMax;
        header.mcus = ((w + 7) / 8) * ((h + 7) / 8);
        header.blocks[header.blocksPerMcu++] = {c.dcTable, 2 + c.acTable};
    } else {
        header.mcus =
            ((frame.width + 8u * hMax - 1) / (8u * hMax)) * uint64_t{(frame.height + 8u * vMax - 1) / (8u * vMax)};
        for (const int index : frame.scan) {
            const Component& c = frame.components[index];
            for (int b = 0; b < c.h * c.v; ++b) {
                if (header.blocksPerMcu == static_cast<int>(header.blocks.size())) {
                    return HeaderParse::Malformed;
                }
                header.blocks[header.blocksPerMcu++] = {c.dcTable, 2 + c.acTable};
            }
        }
    }
    // One DHT segment per table, DC before AC for each component in scan order, as
    // libjpeg writes them.
    std::array<bool, 4> listed{};
    for (const int index : frame.scan) {
        const Component& c = frame.components[index];
        for (const int t : {c.dcTable, 2 + c.acTable}) {
            if (header.tables[t].values.empty()) {
                return HeaderParse::Malformed;
            }
            if (!listed[t]) {
                listed[t] = true;
                header.tableOrder.push_back(t);
            }
        }
    }
    header.scanStart = in.position();
    return HeaderParse::Complete;
}

}  // namespace tessaplex::jpeg
