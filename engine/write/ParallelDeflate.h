#pragma once
// One zlib stream made from pieces compressed side by side with libdeflate: each
// piece but the last is made to end like a sync flush (not final, byte-aligned), so
// the pieces join into one valid stream, and the Adler-32 sums are combined. Piece
// boundaries depend only on the data, never on the number of threads: the output
// is the same always.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaplex {

class ParallelDeflate {
public:
    // Compressed bytes go to `output` in stream order; it returns false to stop.
    using Output = std::function<bool(const uint8_t* data, size_t size)>;

    ParallelDeflate(int level, unsigned threads, size_t pieceSize, Output output);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // Appends uncompressed bytes. False when compressing or the output failed.
    bool add(const uint8_t* data, size_t size);
    // Compresses the rest, ends the stream and writes the checksum. False on failure.
    bool finish();

private:
    struct Piece;

    bool submit(bool last);
    bool drain(size_t keep);
    void work();

    const int m_level;
    const size_t m_pieceSize;
    Output m_output;
    std::vector<uint8_t> m_pending;
    bool m_headerWritten = false;
    uint32_t m_adler = 1;
    bool m_failed = false;

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_pieceDone;
    std::deque<std::shared_ptr<Piece>> m_inOrder;
    std::deque<std::shared_ptr<Piece>> m_queue;
    std::vector<std::shared_ptr<Piece>> m_spare;  // written out, buffers to reuse
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

}  // namespace tessaplex
