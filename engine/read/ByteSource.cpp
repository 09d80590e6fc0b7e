#include "engine/read/ByteSource.h"

#include "engine/core/Support.h"
#include "engine/os/File.h"

#include <algorithm>
#include <cstring>

namespace tessaplex::read {
namespace {

class FileSource final : public ByteSource {
public:
    FileSource(os::File file, uint64_t size) : m_file(std::move(file)), m_size(size) {}

    size_t read(void* dst, size_t size) override {
        auto* out = static_cast<uint8_t*>(dst);
        size = static_cast<size_t>(std::min<uint64_t>(size, m_size - m_pos));
        size_t done = 0;
        while (done < size) {
            if (m_bufferPos < m_bufferEnd) {
                const size_t n = std::min(size - done, m_bufferEnd - m_bufferPos);
                std::memcpy(out + done, m_buffer.get() + m_bufferPos, n);
                m_bufferPos += n;
                done += n;
                continue;
            }
            // Readers ask for small pieces (headers, libpng's chunks) as well as large
            // blocks: the small ones come from a buffer, the large ones straight in.
            size_t got = 0;
            const uint64_t at = m_pos + done;
            if (size - done >= kBufferSize) {
                m_bufferPos = m_bufferEnd = 0;
                if (m_file.readAt(at, out + done, size - done, got, m_error)) {
                    done += got;
                }
                break;
            }
            if (!m_buffer) {
                m_buffer.reset(new uint8_t[kBufferSize]);
            }
            if (!m_file.readAt(at, m_buffer.get(), kBufferSize, got, m_error) || got == 0) {
                break;
            }
            m_bufferPos = 0;
            m_bufferEnd = got;
        }
        m_pos += done;
        return done;
    }

    bool seek(uint64_t offset) override {
        if (offset > m_size) {
            return false;
        }
        // What the buffer holds stays usable when the new position falls inside it.
        const uint64_t bufferStart = m_pos - m_bufferPos;
        if (offset >= bufferStart && offset <= bufferStart + m_bufferEnd) {
            m_bufferPos = static_cast<size_t>(offset - bufferStart);
        } else {
            m_bufferPos = m_bufferEnd = 0;
        }
        m_pos = offset;
        return true;
    }

    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }
    std::string ioError() const override { return m_error; }

private:
    static constexpr size_t kBufferSize = 64 << 10;

    os::File m_file;
    uint64_t m_size;
    uint64_t m_pos = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_bufferPos = 0;  // m_pos is this far into the buffer
    size_t m_bufferEnd = 0;
    std::string m_error;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t read(void* dst, size_t size) override {
        const size_t n = size < m_size - m_pos ? size : m_size - m_pos;
        if (n > 0) {
            std::memcpy(dst, m_data + m_pos, n);
        }
        m_pos += n;
        return n;
    }

    bool seek(uint64_t offset) override {
        if (offset > m_size) {
            return false;
        }
        m_pos = static_cast<size_t>(offset);
        return true;
    }

    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace

Status openFileSource(const std::string& path, std::unique_ptr<ByteSource>& source) {
    os::File file;
    uint64_t size = 0;
    std::string error;
    switch (os::openRegularFile(path, file, size, error)) {
        case os::Opened::Ok:
            source = std::make_unique<FileSource>(std::move(file), size);
            return Status::ok();
        case os::Opened::NotRegular:
            // A pipe or device could block or never end; only plain files are images.
            return Status::readError(kNotRegularFile);
        case os::Opened::Failed:
            return Status::readError("Cannot open the input file (" + error + ")");
    }
    unreachable("unknown answer of openRegularFile");
}

std::unique_ptr<ByteSource> memorySource(const uint8_t* data, size_t size) {
    return std::make_unique<MemorySource>(data, size);
}

}  // namespace tessaplex::read
