#include "engine/write/ScratchStore.h"

#include <algorithm>

namespace tessaplex::jpeg {

std::pair<uint8_t*, size_t> ScratchStore::space() {
    const uint64_t chunk = m_size / kChunkSize;
    if (chunk == m_firstChunk + m_chunks.size()) {
        m_chunks.emplace_back(new uint8_t[kChunkSize]);
    }
    const size_t used = static_cast<size_t>(m_size % kChunkSize);
    return {m_chunks[chunk - m_firstChunk].get() + used, kChunkSize - used};
}

bool ScratchStore::commit(size_t size) {
    m_size += size;
    if (!m_file.isOpen() && m_size > m_limit && !os::createScratchFile(m_file, m_error)) {
        return false;
    }
    return !m_file.isOpen() || writeOut(m_size / kChunkSize * kChunkSize);
}

void ScratchStore::release(uint64_t position) {
    while (!m_chunks.empty() && (m_firstChunk + 1) * kChunkSize <= std::min(position, m_written)) {
        m_chunks.erase(m_chunks.begin());
        ++m_firstChunk;
    }
}

bool ScratchStore::close() {
    return !m_file.isOpen() || writeOut(m_size);
}

// Writes the bytes from m_written up to `end` to the scratch file.
bool ScratchStore::writeOut(uint64_t end) {
    while (m_written < end) {
        const uint64_t chunk = m_written / kChunkSize;
        const size_t offset = static_cast<size_t>(m_written % kChunkSize);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkSize - offset, end - m_written));
        if (!m_file.writeAt(m_written, m_chunks[chunk - m_firstChunk].get() + offset, n, m_error)) {
            return false;
        }
        m_written += n;
    }
    return true;
}

size_t ScratchStore::view(uint64_t position, const uint8_t*& data, std::vector<uint8_t>& buffer) const {
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
    size_t got = 0;
    std::string error;
    if (!m_file.readAt(position, buffer.data(), want, got, error) || got == 0) {
        return 0;
    }
    data = buffer.data();
    return got;
}

}  // namespace tessaplex::jpeg
