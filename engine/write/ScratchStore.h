#pragma once
// The JPEG writer's first coding, kept until the recoder has read it twice: in
// chunks in memory up to a limit; past the limit every full chunk also goes to a
// scratch file, and the chunks the first reading has passed are let go.

#include "engine/os/File.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessaplex::jpeg {

class ScratchStore {
public:
    // Chunks come from the heap the process already has rather than from fresh pages.
    static constexpr size_t kChunkSize = 64 * 1024;

    explicit ScratchStore(uint64_t memoryLimit) : m_limit(memoryLimit) {}

    // Room for the next bytes (never empty), to be filled and handed over with commit().
    std::pair<uint8_t*, size_t> space();
    // Takes the first `size` bytes of the last space(). False when the scratch file
    // cannot be made or written; see error().
    bool commit(size_t size);
    // Lets go of the chunks wholly before `position` that are safe in the scratch file.
    void release(uint64_t position);
    // Writes what is left to the scratch file, if there is one; false when it cannot.
    bool close();

    uint64_t size() const { return m_size; }
    std::string error() const { return m_error; }

    // Contiguous bytes at `position`: from memory while their chunk is there, else read
    // from the scratch file into `buffer`. Returns 0 at the end or on a read error.
    // Safe from several threads at once after close().
    size_t view(uint64_t position, const uint8_t*& data, std::vector<uint8_t>& buffer) const;

private:
    bool writeOut(uint64_t end);

    const uint64_t m_limit;
    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    uint64_t m_firstChunk = 0;  // chunks before it were let go
    uint64_t m_size = 0;
    uint64_t m_written = 0;  // bytes in the scratch file
    os::File m_file;
    std::string m_error;
};

}  // namespace tessaplex::jpeg
