#include "engine/core/OutputFile.h"

#include <cstring>
#include <random>

namespace tessaplex {

namespace {

// Large enough that photos leave in few system calls, small enough to come from the
// heap rather than fresh pages.
constexpr size_t kBufferSize = 64 * 1024;

// A name nobody else picks: the random part only has to avoid collisions, the
// exclusive create settles any that happen.
std::string randomTempName(std::mt19937_64& random) {
    static constexpr char kHex[] = "0123456789abcdef";
    uint64_t bits = random();
    std::string name = ".tessaplex-";
    for (int i = 0; i < 12; ++i, bits >>= 4) {
        name += kHex[bits & 15];
    }
    return name + ".tmp";
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    m_file = os::File();
    if (!m_tempPath.empty()) {
        os::removeFile(m_tempPath);
        m_tempPath.clear();
    }
}

Status OutputFile::create(const std::string& targetPath) {
    discard();
    m_targetPath = targetPath;
    m_error.clear();
    m_used = 0;
    m_position = 0;
    const std::string folder = os::folderOf(targetPath);
    std::random_device seed;
    std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + randomTempName(random);
        std::string error;
        switch (os::createNewFile(candidate, m_file, error)) {
            case os::Created::Ok:
                m_tempPath = candidate;
                m_buffer.reset(new uint8_t[kBufferSize]);
                return Status::ok();
            case os::Created::Exists:
                continue;
            case os::Created::Failed:
                return Status::writeError("Cannot create output file: " + error);
        }
    }
    return Status::writeError("Cannot create output file: no free temporary name");
}

bool OutputFile::writeAll(const uint8_t* data, size_t size, uint64_t offset) {
    std::string error;
    if (!m_file.writeAt(offset, data, size, error)) {
        m_error = "Cannot write output file: " + error;
        return false;
    }
    return true;
}

bool OutputFile::flushBuffer() {
    if (m_used > 0 && !writeAll(m_buffer.get(), m_used, m_position - m_used)) {
        return false;
    }
    m_used = 0;
    return true;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!m_file.isOpen() || !m_error.empty()) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (m_used == kBufferSize && !flushBuffer()) {
            return false;
        }
        // Large blocks skip the buffer once it is empty.
        if (m_used == 0 && size >= kBufferSize) {
            if (!writeAll(bytes, size, m_position)) {
                return false;
            }
            m_position += size;
            return true;
        }
        const size_t room = kBufferSize - m_used;
        const size_t take = size < room ? size : room;
        std::memcpy(m_buffer.get() + m_used, bytes, take);
        m_used += take;
        m_position += take;
        bytes += take;
        size -= take;
    }
    return true;
}

bool OutputFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (!m_file.isOpen() || !m_error.empty() || !flushBuffer() ||
        !writeAll(static_cast<const uint8_t*>(data), size, offset)) {
        return false;
    }
    if (offset + size > m_position) {
        m_position = offset + size;
    }
    return true;
}

Status OutputFile::commit() {
    if (!m_file.isOpen()) {
        return Status::writeError(m_error.empty() ? "Output file is not open" : m_error);
    }
    if (!flushBuffer()) {
        return Status::writeError(m_error);
    }
    std::string error;
    if (!m_file.close(error)) {
        return Status::writeError("Cannot write output file: " + error);
    }
    if (!os::replaceFile(m_tempPath, m_targetPath, error)) {
        return Status::writeError("Cannot replace output file: " + error);
    }
    m_tempPath.clear();
    m_buffer.reset();
    return Status::ok();
}

}  // namespace tessaplex
