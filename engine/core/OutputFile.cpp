#include "engine/core/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaplex {

namespace {

// Large enough that photos leave in few system calls, small enough to come from the
// heap rather than fresh pages.
constexpr size_t kBufferSize = 64 * 1024;

std::string folderPrefix(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

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

std::string systemMessage(int err) {
    char buffer[256];
    buffer[0] = '\0';
    // The GNU strerror_r returns its text, which need not be in the buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text ? std::string(text) : std::string(buffer);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

Status OutputFile::create(const std::string& targetPath) {
    discard();
    m_targetPath = targetPath;
    m_error.clear();
    m_used = 0;
    m_position = 0;
    const std::string folder = folderPrefix(targetPath);
    std::random_device seed;
    std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + randomTempName(random);
        // 0666 so that the finished file gets the permissions the umask allows, like
        // any file the user creates.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = candidate;
            m_buffer.reset(new uint8_t[kBufferSize]);
            return Status::ok();
        }
        if (errno != EEXIST && errno != EINTR) {
            return Status::writeError("Cannot create output file: " + systemMessage(errno));
        }
    }
    return Status::writeError("Cannot create output file: no free temporary name");
}

bool OutputFile::fail(const char* what, int err) {
    if (m_error.empty()) {
        m_error = std::string(what) + systemMessage(err);
    }
    return false;
}

bool OutputFile::writeAll(const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("Cannot write output file: ", errno);
        }
        if (n == 0) {
            return fail("Cannot write output file: ", ENOSPC);
        }
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
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
    if (m_fd < 0 || !m_error.empty()) {
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
    if (m_fd < 0 || !m_error.empty() || !flushBuffer() ||
        !writeAll(static_cast<const uint8_t*>(data), size, offset)) {
        return false;
    }
    if (offset + size > m_position) {
        m_position = offset + size;
    }
    return true;
}

Status OutputFile::commit() {
    if (m_fd < 0) {
        return Status::writeError(m_error.empty() ? "Output file is not open" : m_error);
    }
    if (!flushBuffer()) {
        return Status::writeError(m_error);
    }
    // No fsync: the rename below replaces the target only after the data was handed
    // to the system, and file systems that delay allocation flush such a replacing
    // rename's data first. A sync per file would cost more than the conversion.
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail("Cannot write output file: ", errno);
        return Status::writeError(m_error);
    }
    if (::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
        fail("Cannot replace output file: ", errno);
        return Status::writeError(m_error);
    }
    m_tempPath.clear();
    m_buffer.reset();
    return Status::ok();
}

}  // namespace tessaplex
