#include "engine/write/ParallelDeflate.h"

#include <cstring>
#include <new>
#include <zlib.h>

namespace tessaplex {

namespace {

constexpr size_t kWindow = 32 * 1024;

struct DeflateEnd {
    void operator()(z_stream* s) const {
        deflateEnd(s);
        delete s;
    }
};

}  // namespace

struct ParallelDeflate::Piece {
    std::vector<uint8_t> input;
    std::vector<uint8_t> dictionary;
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
            std::unique_ptr<z_stream, DeflateEnd> stream(new z_stream{});
            if (deflateInit2(stream.get(), m_level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK) {
                ok = piece->dictionary.empty() ||
                     deflateSetDictionary(stream.get(), piece->dictionary.data(),
                                          static_cast<uInt>(piece->dictionary.size())) == Z_OK;
                // A sync flush ends on a byte boundary with an empty stored block, the
                // last piece ends the stream.
                piece->output.resize(deflateBound(stream.get(), piece->input.size()) + 16);
                stream->next_in = piece->input.data();
                stream->avail_in = static_cast<uInt>(piece->input.size());
                stream->next_out = piece->output.data();
                stream->avail_out = static_cast<uInt>(piece->output.size());
                const int flush = piece->last ? Z_FINISH : Z_SYNC_FLUSH;
                const int result = ok ? deflate(stream.get(), flush) : Z_STREAM_ERROR;
                ok = ok && (piece->last ? result == Z_STREAM_END : result == Z_OK) && stream->avail_in == 0;
                piece->output.resize(piece->output.size() - stream->avail_out);
                piece->adler = static_cast<uint32_t>(
                    adler32(1, piece->input.data(), static_cast<uInt>(piece->input.size())));
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
    auto piece = std::make_shared<Piece>();
    piece->input.swap(m_pending);
    piece->dictionary = m_dictionary;
    piece->last = last;
    const size_t n = piece->input.size();
    if (n >= kWindow) {
        m_dictionary.assign(piece->input.end() - kWindow, piece->input.end());
    } else {
        m_dictionary.insert(m_dictionary.end(), piece->input.begin(), piece->input.end());
        if (m_dictionary.size() > kWindow) {
            m_dictionary.erase(m_dictionary.begin(), m_dictionary.end() - kWindow);
        }
    }
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
