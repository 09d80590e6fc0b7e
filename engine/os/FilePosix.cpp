// The POSIX side of the engine's system calls.
#if !defined(_WIN32)

#include "engine/os/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessaplex::os {
namespace {

// strerror_r comes in two kinds: the GNU one returns its text (which need not be in
// the buffer), the POSIX one an error number. Overloads take whichever this is.
[[maybe_unused]] std::string fromStrerror(const char* text, const char*) {
    return text ? text : "unknown error";
}
[[maybe_unused]] std::string fromStrerror(int failed, const char* buffer) {
    return failed == 0 ? buffer : "unknown error";
}

std::string systemMessage(int err) {
    char buffer[256] = {};
    return fromStrerror(strerror_r(err, buffer, sizeof buffer), buffer);
}

bool fail(std::string& error) {
    error = systemMessage(errno);
    return false;
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

void File::release(intptr_t handle) {
    if (handle != -1) {
        ::close(static_cast<int>(handle));
    }
}

bool File::readAt(uint64_t offset, void* dst, size_t size, size_t& got, std::string& error) const {
    got = 0;
    auto* bytes = static_cast<uint8_t*>(dst);
    while (got < size) {
        const ssize_t n =
            ::pread(static_cast<int>(m_handle), bytes + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(error);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool File::writeAt(uint64_t offset, const void* src, size_t size, std::string& error) const {
    const auto* bytes = static_cast<const uint8_t*>(src);
    while (size > 0) {
        const ssize_t n = ::pwrite(static_cast<int>(m_handle), bytes, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return fail(error);
        }
        bytes += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool File::close(std::string& error) {
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    // Not retried on EINTR: the descriptor is gone whatever close answers.
    return ::close(fd) == 0 || fail(error);
}

Opened openRegularFile(const std::string& path, File& file, uint64_t& size, std::string& error) {
    // A named pipe would block open until a writer comes: look before opening, and
    // open without blocking in case the file was swapped for one in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        fail(error);
        return Opened::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        return Opened::NotRegular;
    }
    File opened;
    opened.m_handle = openRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (!opened.isOpen()) {
        fail(error);
        return Opened::Failed;
    }
    if (::fstat(static_cast<int>(opened.m_handle), &st) != 0) {
        fail(error);
        return Opened::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        return Opened::NotRegular;
    }
    size = static_cast<uint64_t>(st.st_size);
    file = std::move(opened);
    return Opened::Ok;
}

Created createNewFile(const std::string& path, File& file, std::string& error) {
    // 0666 so that the finished file gets the permissions the umask allows, like any
    // file the user creates.
    const int fd = openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            return Created::Exists;
        }
        fail(error);
        return Created::Failed;
    }
    file = File();
    file.m_handle = fd;
    return Created::Ok;
}

bool createScratchFile(File& file, std::string& error) {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/tessaplex-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail(error);
    }
    // Unnamed at once: nobody else finds it, and it goes with the descriptor.
    ::unlink(name.c_str());
    file = File();
    file.m_handle = fd;
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
    // No fsync: rename replaces the target only after the data was handed to the
    // system, and file systems that delay allocation flush such a replacing rename's
    // data first. A sync per file would cost more than the conversion.
    return ::rename(from.c_str(), to.c_str()) == 0 || fail(error);
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace tessaplex::os

#endif
