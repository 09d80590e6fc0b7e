// The Windows side of the engine's system calls. Paths arrive in the active code page
// and are widened for the system's UTF-16 calls; error texts come from FormatMessageW
// and go back in the same code page.
#if defined(_WIN32)

#include "engine/os/File.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <random>

namespace tessaplex::os {
namespace {

HANDLE handleOf(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
intptr_t valueOf(HANDLE handle) {
    return reinterpret_cast<intptr_t>(handle);
}

std::string systemMessage(DWORD code) {
    wchar_t* wide = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
    std::string text;
    if (length > 0 && wide) {
        const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            text.resize(static_cast<size_t>(bytes));
            WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), text.data(), bytes, nullptr, nullptr);
        }
    }
    if (wide) {
        LocalFree(wide);
    }
    // The system's texts end in a full stop and a line break; the library's messages
    // end without either, as the caller adds the stop.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text.empty() ? "system error " + std::to_string(code) : text;
}

bool fail(std::string& error, DWORD code = GetLastError()) {
    error = systemMessage(code);
    return false;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool isDriveRoot(const std::wstring& text, size_t at) {
    return text.size() >= at + 3 && ((text[at] | 0x20) >= L'a' && (text[at] | 0x20) <= L'z') && text[at + 1] == L':' &&
           (text[at + 2] == L'\\' || text[at + 2] == L'/');
}

// True when the full path names a device rather than a file on a drive or a share:
// the device namespace (\\.\pipe\x, \\.\COM1, \\?\GLOBALROOT\...), which is also what
// GetFullPathNameW makes of reserved names such as NUL, CON or COM1 in any folder.
bool isDevicePath(const std::wstring& full) {
    if (startsWith(full, L"\\\\.\\") || startsWith(full, L"\\\\?\\")) {
        return !isDriveRoot(full, 4) && !startsWith(full, L"\\\\?\\UNC\\");
    }
    return false;
}

// The path as the system's wide calls take it, made absolute; `device` tells whether it
// names a device. Paths too long for the ordinary calls get the \\?\ prefix.
bool widePath(const std::string& path, std::wstring& wide, bool& device, std::string& error) {
    if (path.size() > INT_MAX / 2) {
        return fail(error, ERROR_FILENAME_EXCED_RANGE);
    }
    // Bytes the code page leaves undefined are widened as the system's own 8-bit calls
    // widen them, so that a path those calls reach is reached here too.
    std::wstring given;
    if (!path.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
        if (n <= 0) {
            return fail(error);
        }
        given.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), given.data(), n);
    }
    if (given.empty() || given.find(L'\0') != std::wstring::npos) {
        return fail(error, ERROR_INVALID_NAME);
    }
    if (startsWith(given, L"\\\\?\\")) {
        wide = given;  // taken literally by the system
    } else {
        const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
        if (needed == 0) {
            return fail(error);
        }
        wide.assign(needed, L'\0');
        const DWORD written = GetFullPathNameW(given.c_str(), needed, wide.data(), nullptr);
        if (written == 0 || written >= needed) {
            return fail(error);
        }
        wide.resize(written);
    }
    device = isDevicePath(wide);
    // Beyond MAX_PATH (less room for an 8.3 name in a folder) only \\?\ paths reach the file.
    if (!device && wide.size() >= MAX_PATH - 12 && !startsWith(wide, L"\\\\?\\")) {
        if (isDriveRoot(wide, 0)) {
            wide.insert(0, L"\\\\?\\");
        } else if (startsWith(wide, L"\\\\")) {
            wide.replace(0, 2, L"\\\\?\\UNC\\");
        }
    }
    return true;
}

bool widePath(const std::string& path, std::wstring& wide, std::string& error) {
    bool device = false;
    if (!widePath(path, wide, device, error)) {
        return false;
    }
    if (device) {
        return fail(error, ERROR_INVALID_NAME);
    }
    return true;
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// One system call moves at most this much.
constexpr size_t kMaxTransfer = size_t{1} << 30;

}  // namespace

void File::release(intptr_t handle) {
    if (handle != -1) {
        CloseHandle(handleOf(handle));
    }
}

// A synchronous handle with the offset in an OVERLAPPED is Windows' pread: each call
// names its own position, so threads sharing the handle do not disturb each other.
bool File::readAt(uint64_t offset, void* dst, size_t size, size_t& got, std::string& error) const {
    got = 0;
    auto* bytes = static_cast<uint8_t*>(dst);
    while (got < size) {
        const DWORD want = static_cast<DWORD>(std::min(size - got, kMaxTransfer));
        OVERLAPPED overlapped = at(offset + got);
        DWORD n = 0;
        if (!ReadFile(handleOf(m_handle), bytes + got, want, &n, &overlapped)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) {
                break;
            }
            return fail(error, code);
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return true;
}

bool File::writeAt(uint64_t offset, const void* src, size_t size, std::string& error) const {
    const auto* bytes = static_cast<const uint8_t*>(src);
    while (size > 0) {
        const DWORD want = static_cast<DWORD>(std::min(size, kMaxTransfer));
        OVERLAPPED overlapped = at(offset);
        DWORD n = 0;
        if (!WriteFile(handleOf(m_handle), bytes, want, &n, &overlapped)) {
            return fail(error);
        }
        if (n == 0) {
            return fail(error, ERROR_DISK_FULL);
        }
        bytes += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool File::close(std::string& error) {
    const HANDLE handle = handleOf(m_handle);
    m_handle = -1;
    return CloseHandle(handle) || fail(error);
}

Opened openRegularFile(const std::string& path, File& file, uint64_t& size, std::string& error) {
    std::wstring wide;
    bool device = false;
    if (!widePath(path, wide, device, error)) {
        return Opened::Failed;
    }
    // Devices and pipes are refused by name and by attributes before anything opens
    // them (opening a pipe would connect to its server), and by type once open.
    if (device) {
        return Opened::NotRegular;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        fail(error);
        return Opened::Failed;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        return Opened::NotRegular;
    }
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail(error);
        return Opened::Failed;
    }
    File opened;
    opened.m_handle = valueOf(handle);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return Opened::NotRegular;
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(handle, &length)) {
        fail(error);
        return Opened::Failed;
    }
    size = static_cast<uint64_t>(length.QuadPart);
    file = std::move(opened);
    return Opened::Ok;
}

Created createNewFile(const std::string& path, File& file, std::string& error) {
    std::wstring wide;
    if (!widePath(path, wide, error)) {
        return Created::Failed;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
            return Created::Exists;
        }
        fail(error, code);
        return Created::Failed;
    }
    file = File();
    file.m_handle = valueOf(handle);
    return Created::Ok;
}

bool createScratchFile(File& file, std::string& error) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        return fail(error, length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    }
    std::random_device seed;
    std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed() ^ GetTickCount64());
    for (int attempt = 0; attempt < 100; ++attempt) {
        static constexpr wchar_t kHex[] = L"0123456789abcdef";
        std::wstring name = std::wstring(folder, length) + L"tessaplex-";
        for (uint64_t bits = random(), i = 0; i < 12; ++i, bits >>= 4) {
            name += kHex[bits & 15];
        }
        name += L".tmp";
        // Gone when the handle closes, even if the process ends without closing it.
        const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file = File();
            file.m_handle = valueOf(handle);
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            return fail(error, code);
        }
    }
    return fail(error, ERROR_FILE_EXISTS);
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
    std::wstring wideFrom, wideTo;
    if (!widePath(from, wideFrom, error) || !widePath(to, wideTo, error)) {
        return false;
    }
    // A rename that replaces the target in one step, its data on the disk before it
    // is done. A read-only target is refused, as the system refuses to change it
    // (asked first: not every file system enforces the attribute on a rename). A
    // scanner that looks at the new file for a moment blocks the rename: try again.
    const DWORD attributes = GetFileAttributesW(wideTo.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return fail(error, ERROR_ACCESS_DENIED);
    }
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD code = GetLastError();
        if (attempt == 5 || (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION)) {
            return fail(error, code);
        }
        Sleep(20);
    }
}

void removeFile(const std::string& path) {
    std::wstring wide;
    std::string error;
    if (widePath(path, wide, error)) {
        DeleteFileW(wide.c_str());
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        std::wstring wide;
        std::string error;
        if (!widePath(*paths[i], wide, error)) {
            return false;
        }
        // No access asked for: only the file's identity is read (folders need the flag).
        const HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL ok = GetFileInformationByHandle(handle, &info[i]);
        CloseHandle(handle);
        if (!ok) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::string folderOf(const std::string& path) {
    // In a double-byte code page the second byte of a character may be a backslash.
    size_t separator = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (IsDBCSLeadByteEx(CP_ACP, c)) {
            ++i;
        } else if (c == '/' || c == '\\') {
            separator = i;
        }
    }
    if (separator != std::string::npos) {
        return path.substr(0, separator + 1);
    }
    // "C:name" lies in drive C's current folder.
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

}  // namespace tessaplex::os

#endif
