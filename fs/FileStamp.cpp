#include "fs/FileStamp.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <cstdio>
#endif

namespace FileStamp {

#ifdef Q_OS_WIN

// No file number through QFileInfo: the times and the size stand for the file, and
// SameFile compares the resolved paths.
Stamp Of(const QString& path) {
    const QFileInfo info(path);
    Stamp stamp;
    if (!info.exists()) {
        return stamp;
    }
    stamp.exists = true;
    stamp.regularFile = info.isFile();
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    stamp.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    return stamp;
}

bool SameFile(const Stamp& a, const Stamp& b, const QString& pathA, const QString& pathB) {
    return a.exists && b.exists &&
           QFileInfo(pathA).canonicalFilePath().compare(QFileInfo(pathB).canonicalFilePath(), Qt::CaseInsensitive) == 0;
}

// A plain rename does not replace an existing file here; MoveFileEx does, within one volume,
// as the conversion library's own replacing does.
bool ReplaceFile(const QString& from, const QString& to) {
    return MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()),
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
