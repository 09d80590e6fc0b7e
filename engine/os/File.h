#pragma once
// Every call the engine makes to the operating system: files read and written at
// offsets, the new file that takes a conversion's output and then replaces the
// target, the scratch file of the JPEG writer, and the system's texts for its
// errors. FilePosix.cpp and FileWindows.cpp implement it; nothing else in the engine
// includes a system header. Paths are the C function's 8-bit strings (on Windows in
// the active code page). Every error text comes from a thread-safe call.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaplex::os {

enum class Opened { Ok, NotRegular, Failed };
enum class Created { Ok, Exists, Failed };
class File;

// Opens an existing file for reading and sets its size. Anything but a regular file
// (a folder, a named pipe, a socket, a device such as NUL or COM1) is NotRegular, found
// without waiting on it: a pipe without a writer never blocks the caller. Failed
// sets `error` to the system's text.
Opened openRegularFile(const std::string& path, File& file, uint64_t& size, std::string& error);

// Creates `path` as a new, empty file for writing, with the permissions any new file
// of the user gets; Exists when something of that name is there already.
Created createNewFile(const std::string& path, File& file, std::string& error);

// Creates a file in the system's folder for temporary files that nobody else sees and
// that goes when it is closed.
bool createScratchFile(File& file, std::string& error);

// An open file, closed when the object goes. Reads and writes name their offset, so
// that two threads may read one file at once.
class File {
public:
    File() = default;
    ~File() { release(m_handle); }
    File(File&& other) noexcept : m_handle(other.m_handle) { other.m_handle = -1; }
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            release(m_handle);
            m_handle = other.m_handle;
            other.m_handle = -1;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return m_handle != -1; }
    // Reads up to `size` bytes at `offset` into `dst` and sets `got` (fewer only at the
    // end of the file). False on an error, whose text is then in `error`.
    bool readAt(uint64_t offset, void* dst, size_t size, size_t& got, std::string& error) const;
    // Writes all `size` bytes at `offset`. False on an error (a full disk too), text in `error`.
    bool writeAt(uint64_t offset, const void* src, size_t size, std::string& error) const;
    // Closes the file; false when the system reports that written data may be lost.
    bool close(std::string& error);

private:
    friend Opened openRegularFile(const std::string&, File&, uint64_t&, std::string&);
    friend Created createNewFile(const std::string&, File&, std::string&);
    friend bool createScratchFile(File&, std::string&);

    // Closes the descriptor or handle `handle` unless it is -1, ignoring errors.
    static void release(intptr_t handle);

    // A descriptor, or a HANDLE on Windows; -1 when closed.
    intptr_t m_handle = -1;
};

// Puts the closed file `from` in the place of `to`, replacing a file of that name in
// one step: `to` is the old file or the new one, never missing or partly written.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);

// Deletes the file `path`, if it can.
void removeFile(const std::string& path);

// True when both paths name the same existing file.
bool sameFile(const std::string& a, const std::string& b);

// The part of `path` up to and including its last folder separator; empty when none.
std::string folderOf(const std::string& path);

}  // namespace tessaplex::os
