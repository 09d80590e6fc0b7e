#include "engine/write/ParallelDeflate.h"

#include "engine/core/Support.h"

#include <cstring>
#include <new>
#include <algorithm>
#include <libdeflate.h>
#include <zlib.h>

namespace tessaplex {

namespace {

void endInflate(z_stream* stream) {
    inflateEnd(stream);
    delete stream;
}

// libdeflate ends every stream with a final block. To go on with the next piece,
// the final flag of that block is cleared and an empty stored block appended, which
// also brings the stream back to a byte boundary (what zlib's sync flush writes).
// Where the last block starts is found by walking the blocks with zlib's inflate.
bool continueAfter(std::vector<uint8_t>& data, size_t size) {
    Owned<z_stream, endInflate> stream(new z_stream{});
    if (inflateInit2(stream.get(), -15) != Z_OK) {
        return false;
    }
    std::vector<uint8_t> scratch(64 * 1024);
    stream->next_in = data.data();
    stream->avail_in = static_cast<uInt>(size);
    uint64_t lastBlock = 0, end = 0;
    for (;;) {
        stream->next_out = scratch.data();
        stream->avail_out = static_cast<uInt>(scratch.size());
        const int result = inflate(stream.get(), Z_BLOCK);
        const uint64_t bit = uint64_t{stream->total_in} * 8 - (stream->data_type & 7);
        if (result == Z_STREAM_END) {
            break;  // its bit count is gone by now; `end` was taken at the final block's end
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            return false;
        }
        if (result == Z_BUF_ERROR && stream->avail_in == 0) {
            return false;  // the stream ended without its final block
        }
        if (stream->data_type & 128) {
            if (stream->data_type & 64) {
                end = bit;  // just after the final block's end code
            } else {
                lastBlock = bit;  // a block boundary: the next header starts here
            }
        }
    }
    if (end == 0) {
        return false;
    }
    if (!(data[lastBlock / 8] & (1u << (lastBlock % 8)))) {
        return false;
    }
    data[lastBlock / 8] &= static_cast<uint8_t>(~(1u << (lastBlock % 8)));
    // Three zero bits (not final, stored), padding to the byte, LEN 0 and NLEN 0xffff.
    const size_t aligned = static_cast<size_t>((end + 3 + 7) / 8);
    data.resize(aligned, 0);
    std::fill(data.begin() + static_cast<std::ptrdiff_t>((end + 7) / 8), data.end(), 0);
    if (end % 8 != 0) {
        data[end / 8] &= static_cast<uint8_t>((1u << (end % 8)) - 1);
    }
    data.insert(data.end(), {0x00, 0x00, 0xff, 0xff});
    return true;
}

}  // namespace

struct ParallelDeflate::Piece {
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    uint32_t adler = 1;
    bool last = false;
    bool done = false;
    bool ok = false;
};

ParallelDeflate::ParallelDeflate(int level, unsigned threads, size_t pieceSize, Output output)
    : m_level(level), m_pieceSize(pieceSize), m_output(std::move(output)) {
    m_pending.reserve(pieceSize);
    for (unsigned i = 0; i < (threads ? threads : 1); ++i) {
        m_workers.emplace_back([this] { work(); });
    }
}

ParallelDeflate::~ParallelDeflate() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();  // after a failure nobody wants the rest
    }
    m_workAvailable.notify_all();
    for (std::thread& t : m_workers) {
        t.join();
    }
}

void ParallelDeflate::work() {
    // One compressor per thread for all its pieces: its tables are large, and fresh
    // memory costs a page fault for every 4 KiB.
    Owned<libdeflate_compressor, libdeflate_free_compressor> compressor(libdeflate_alloc_compressor(m_level));
    for (;;) {
        std::shared_ptr<Piece> piece;
        {
            std::unique_lock lock(m_mutex);
            m_workAvailable.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) {
                return;
            }
            piece = m_queue.front();
            m_queue.pop_front();
        }
        bool ok = false;
        try {
            if (compressor) {
                const size_t n = piece->input.size();
                piece->output.resize(libdeflate_deflate_compress_bound(compressor.get(), n) + 8);
                const size_t size = libdeflate_deflate_compress(compressor.get(), piece->input.data(), n,
                                                                piece->output.data(), piece->output.size());
                ok = size > 0;
                if (ok && piece->last) {
                    piece->output.resize(size);
                } else if (ok) {
                    ok = continueAfter(piece->output, size);
                }
                piece->adler = static_cast<uint32_t>(adler32(1, piece->input.data(), static_cast<uInt>(n)));
            }
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        {
            std::lock_guard lock(m_mutex);
            piece->ok = ok;
            piece->done = true;
        }
        m_pieceDone.notify_all();
    }
}

bool ParallelDeflate::add(const uint8_t* data, size_t size) {
    while (size > 0 && !m_failed) {
        const size_t take = std::min(size, m_pieceSize - m_pending.size());
        m_pending.insert(m_pending.end(), data, data + take);
        data += take;
        size -= take;
        if (m_pending.size() == m_pieceSize && !submit(false)) {
            return false;
        }
    }
    return !m_failed;
}

bool ParallelDeflate::submit(bool last) {
    // Pieces written out come back with their buffers, which keep their pages.
    std::shared_ptr<Piece> piece;
    if (m_spare.empty()) {
        piece = std::make_shared<Piece>();
    } else {
        piece = std::move(m_spare.back());
        m_spare.pop_back();
        piece->ok = piece->done = false;
        piece->adler = 1;
    }
    piece->input.swap(m_pending);
    piece->last = last;
    m_pending.clear();
    m_pending.reserve(m_pieceSize);
    {
        std::lock_guard lock(m_mutex);
        m_inOrder.push_back(piece);
        m_queue.push_back(piece);
    }
    m_workAvailable.notify_one();
    // A few pieces in flight keep both cores busy; more would only hold memory.
    return drain(m_workers.size() + 1);
}

bool ParallelDeflate::drain(size_t keep) {
    for (;;) {
        std::shared_ptr<Piece> front;
        {
            std::unique_lock lock(m_mutex);
            if (m_inOrder.empty()) {
                return !m_failed;
            }
            if (m_inOrder.size() > keep) {
                m_pieceDone.wait(lock, [&] { return m_inOrder.front()->done; });
            } else if (!m_inOrder.front()->done) {
                return !m_failed;
            }
            front = m_inOrder.front();
            m_inOrder.pop_front();
        }
        if (!front->ok) {
            m_failed = true;
            return false;
        }
        if (!m_headerWritten) {
            // CMF 0x78: deflate with a 32 KiB window; FLG 0x9c: default level, no dictionary.
            static constexpr uint8_t kHeader[2] = {0x78, 0x9c};
            if (!m_output(kHeader, 2)) {
                m_failed = true;
                return false;
            }
            m_headerWritten = true;
        }
        if (!m_output(front->output.data(), front->output.size())) {
            m_failed = true;
            return false;
        }
        m_adler = static_cast<uint32_t>(adler32_combine(m_adler, front->adler, static_cast<z_off_t>(front->input.size())));
        if (m_spare.size() < 2) {
            m_spare.push_back(front);
        }
        if (front->last) {
            const uint8_t trailer[4] = {static_cast<uint8_t>(m_adler >> 24), static_cast<uint8_t>(m_adler >> 16),
                                        static_cast<uint8_t>(m_adler >> 8), static_cast<uint8_t>(m_adler)};
            if (!m_output(trailer, 4)) {
                m_failed = true;
                return false;
            }
        }
    }
}

bool ParallelDeflate::finish() {
    if (m_failed || !submit(true)) {
        return false;
    }
    return drain(0);
}

}  // namespace tessaplex
