#include "engine/write/HuffmanRecoder.h"

#include "engine/write/BaselineHeader.h"
#include "engine/write/HuffmanTables.h"
#include "engine/write/JpegBits.h"
#include "engine/write/ScratchStore.h"

#include <algorithm>
#include <array>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace tessaplex {

using namespace jpeg;

namespace {

// An MCU of six blocks codes to under 3 KiB even with every byte stuffed: counting
// stays this far behind the bytes that have arrived, so it never runs out mid-MCU.
constexpr uint64_t kMargin = 4 * 1024;
// From this much entropy-coded data on, the second pass runs in two halves on two
// threads; below it a thread costs more than it saves.
constexpr uint64_t kSplitBytes = 1u << 20;
constexpr const char* kMalformed = "Optimising the JPEG tables failed";
constexpr const char* kScratchFailed = "Cannot write the scratch file for the JPEG tables";

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
            m_error = std::string(kScratchFailed) + ": " + m_store.error();
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
    bool count(bool final);
    bool emitRange(BitReader& reader, BitWriter& writer, uint64_t from, uint64_t to) const;
    bool emitSplit(ByteSink& sink);
    // The restart marker in front of MCU `mcu`, or 0 when none goes there.
    uint8_t restartMarker(uint64_t mcu) const {
        const uint64_t interval = m_header.restartInterval;
        return interval && mcu > 0 && mcu % interval == 0 ? static_cast<uint8_t>(0xd0 + (mcu / interval - 1) % 8) : 0;
    }

    ScratchStore m_store;
    std::string m_error;

    bool m_haveHeader = false;
    BaselineHeader m_header;
    std::array<DecodeTable, 4> m_decoders;

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

// Counts the MCUs that have arrived; all that are left when `final`. The loop keeps
// the reading state in a local, so that it lives in registers.
bool HuffmanRecoder::Impl::count(bool final) {
    if (!m_haveHeader) {
        const HeaderParse parse = parseBaselineHeader(m_store, m_header);
        if (parse == HeaderParse::Malformed || (parse == HeaderParse::Incomplete && final)) {
            return false;
        }
        if (parse == HeaderParse::Incomplete) {
            return true;
        }
        m_haveHeader = true;
        for (const int t : m_header.tableOrder) {
            m_decoders[t].build(m_header.tables[t], t < 2);
        }
        // The second half starts a thread late and goes through memory: it gets less.
        // With restart markers it starts at one, so that the halves join at a byte.
        m_splitMcu = m_header.mcus * 9 / 16;
        if (m_header.restartInterval) {
            m_splitMcu -= m_splitMcu % m_header.restartInterval;
        }
        m_counter = std::make_unique<BitReader>(m_store, ReaderState{m_header.scanStart, 0, 0});
    }
    BitReader& reader = *m_counter;
    ReadBits in = reader.bits();
    bool ok = true;
    for (; m_counted < m_header.mcus && ok; ++m_counted) {
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
        for (int b = 0; b < m_header.blocksPerMcu && ok; ++b) {
            const BlockCoding coding = m_header.blocks[b];
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
        for (int b = 0; b < m_header.blocksPerMcu && ok; ++b) {
            const BlockCoding coding = m_header.blocks[b];
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
            secondOk = emitRange(in, secondOut, m_splitMcu, m_header.mcus) && secondOut.end(true);
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
    BitReader in(m_store, ReaderState{m_header.scanStart, 0, 0});
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
        return Status::writeError(std::string(kScratchFailed) + ": " + m_store.error());
    }
    if (!count(true)) {
        return Status::writeError(kMalformed);
    }
    std::vector<uint8_t> dht;
    for (const int t : m_header.tableOrder) {
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
    const std::vector<uint8_t>& segments = m_header.segments;
    if (!sink.write(segments.data(), m_header.tablesAt) || !sink.write(dht.data(), dht.size()) ||
        !sink.write(segments.data() + m_header.tablesAt, segments.size() - m_header.tablesAt) ||
        !sink.write(m_header.sos.data(), m_header.sos.size())) {
        return Status::writeError(sink.error());
    }
    bool ok = false;
    if (m_store.size() - m_header.scanStart >= kSplitBytes && m_splitMcu > 0) {
        ok = emitSplit(sink);
    } else {
        BitReader in(m_store, ReaderState{m_header.scanStart, 0, 0});
        BitWriter out([&sink](const uint8_t* d, size_t n) { return sink.write(d, n); });
        ok = emitRange(in, out, 0, m_header.mcus) && out.end(true);
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
std::pair<uint8_t*, size_t> HuffmanRecoder::space() {
    return m_impl->space();
}
bool HuffmanRecoder::commit(size_t size) {
    return m_impl->commit(size);
}
Status HuffmanRecoder::finish(ByteSink& sink) {
    return m_impl->finish(sink);
}
std::string HuffmanRecoder::error() const {
    return m_impl->error();
}

}  // namespace tessaplex
