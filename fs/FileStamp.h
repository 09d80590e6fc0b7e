#pragma once

#include <QString>
#include <QtGlobal>

// The file-system calls of converting ahead that Qt does not give exactly: what a
// file is at one moment, and giving a finished file its final name in one step.
// The only platform code of that feature; Windows has its own branch of each.
namespace FileStamp {

// What a path names at one moment: which file (device and file number), how large,
// and when its content and its entry last changed. Two equal stamps of one path mean
// that nothing wrote or replaced the file in between.
struct Stamp {
    bool exists = false;
    bool regularFile = false;
    quint64 device = 0;
    quint64 fileNumber = 0;  // 0 where the platform gives none
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const Stamp&) const = default;
};

// The stamp of the file at `path` (links followed); `exists` false when there is none.
Stamp Of(const QString& path);

// True when both stamps name one existing file, as two names of it or one name twice.
bool SameFile(const Stamp& a, const Stamp& b, const QString& pathA, const QString& pathB);

// Gives the file `from` the name `to`, replacing a file of that name, in one step: at no
// moment is `to` missing or partly written. False, with both names as they were, when
// the system refuses (another volume, a folder at `to`, no permission).
bool ReplaceFile(const QString& from, const QString& to);

}  // namespace FileStamp
