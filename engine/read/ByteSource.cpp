#include "engine/read/ByteSource.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tessaplex::read {
namespace {

#if defined(_WIN32)
int seekFile(std::FILE* f, uint64_t offset) {
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET);
}
using StatBuf = struct _stat64;
int statFile(std::FILE* f, StatBuf& st) {
    return _fstat64(_fileno(f), &st);
}
constexpr const char* kOpenMode = "rb";
#else
int seekFile(std::FILE* f, uint64_t offset) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
}
using StatBuf = struct stat;
int statFile(std::FILE* f, StatBuf& st) {
    return fstat(fileno(f), &st);
}
// "e": close on exec, so a program started meanwhile by another thread does not inherit it.
constexpr const char* kOpenMode = "rbe";
#endif

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

class FileSource final : public ByteSource {
public:
    FileSource(std::unique_ptr<std::FILE, FileCloser> file, uint64_t size) : m_file(std::move(file)), m_size(size) {
        // Readers ask for small pieces (headers, libpng's chunks) as well as large
        // blocks; a large buffer keeps the small ones from costing a system call each.
        std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 16);
    }

    size_t read(void* dst, size_t size) override {
        if (size == 0 || m_pos >= m_size) {
            return 0;
        }
        const size_t got = std::fread(dst, 1, size, m_file.get());
        m_pos += got;
        if (got < size && std::ferror(m_file.get()) && m_error.empty()) {
            m_error = std::strerror(errno);
        }
        return got;
    }

    bool seek(uint64_t offset) override {
        if (offset > m_size) {
            return false;
        }
        if (offset == m_pos) {
            return true;
        }
        if (seekFile(m_file.get(), offset) != 0) {
            m_error = std::strerror(errno);
            return false;
        }
        m_pos = offset;
        return true;
    }

    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }
    std::string ioError() const override { return m_error; }

private:
    std::unique_ptr<std::FILE, FileCloser> m_file;
    uint64_t m_size;
    uint64_t m_pos = 0;
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

std::unique_ptr<ByteSource> openFileSource(const std::string& path, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), kOpenMode));
    if (!file) {
        error = std::string("Cannot open the input file (") + std::strerror(errno) + ")";
        return nullptr;
    }
    StatBuf st{};
    if (statFile(file.get(), st) != 0) {
        error = std::string("Cannot read the input file (") + std::strerror(errno) + ")";
        return nullptr;
    }
    // A pipe or device could block or never end; only plain files are images.
    if ((st.st_mode & S_IFMT) != S_IFREG) {
        error = "The input is not a regular file";
        return nullptr;
    }
    return std::make_unique<FileSource>(std::move(file), static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<ByteSource> memorySource(const uint8_t* data, size_t size) {
    return std::make_unique<MemorySource>(data, size);
}

}  // namespace tessaplex::read
