#include "fs/FileStamp.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
// windows.h names its own ReplaceFileW so; this file's ReplaceFile is ours.
#undef ReplaceFile
#else
#include <sys/stat.h>
#include <cstdio>
#endif

namespace FileStamp {

#ifdef Q_OS_WIN

// The volume's serial number and the file index name the file; the times are those of the
// file's content and of its entry, as on POSIX.
Stamp Of(const QString& path) {
    Stamp stamp;
    const HANDLE handle =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return stamp;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (GetFileInformationByHandle(handle, &info) &&
        GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
        stamp.exists = true;
        stamp.regularFile = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
                            GetFileType(handle) == FILE_TYPE_DISK;
        stamp.device = info.dwVolumeSerialNumber;
        stamp.fileNumber = (quint64{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
        stamp.size = static_cast<qint64>((quint64{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
        // 100-nanosecond ticks.
        stamp.modifiedNs = times.LastWriteTime.QuadPart * 100;
        stamp.changedNs = times.ChangeTime.QuadPart * 100;
    }
    CloseHandle(handle);
    return stamp;
}

bool SameFile(const Stamp& a, const Stamp& b, const QString&, const QString&) {
    return a.exists && b.exists && a.device == b.device && a.fileNumber == b.fileNumber;
}

// A plain rename does not replace an existing file here; MoveFileEx does, within one volume,
// as the conversion library's own replacing does. A read-only target is refused, as the
// library refuses it (asked first: not every file system enforces the attribute on a rename).
bool ReplaceFile(const QString& from, const QString& to) {
    const auto wideTo = reinterpret_cast<LPCWSTR>(to.utf16());
    const DWORD attributes = GetFileAttributesW(wideTo);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    return MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), wideTo,
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

Stamp Of(const QString& path) {
    struct stat st {};
    Stamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.regularFile = S_ISREG(st.st_mode);
    stamp.device = static_cast<quint64>(st.st_dev);
    stamp.fileNumber = static_cast<quint64>(st.st_ino);
    stamp.size = static_cast<qint64>(st.st_size);
    stamp.modifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // The entry's change time cannot be set back by anyone, unlike the modification time.
    stamp.changedNs = static_cast<qint64>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

bool SameFile(const Stamp& a, const Stamp& b, const QString&, const QString&) {
    return a.exists && b.exists && a.device == b.device && a.fileNumber == b.fileNumber;
}

bool ReplaceFile(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

#endif

}  // namespace FileStamp
