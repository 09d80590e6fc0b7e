#include "fs/FileProc.h"

#include "fs/NativePath.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace FileProc {

namespace fs = std::filesystem;

bool FileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool FolderExists(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

QString GetFileExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return QString();
    }
    return path.mid(dot + 1).toLower();
}

QString OutputFileName(const QString& name, const QString& format, const QString& qualitySuffix) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString stem = dot < 0 ? name : name.left(dot);
    if (!qualitySuffix.isEmpty()) {
        stem += QStringLiteral("_q") + qualitySuffix;
    }
    return (stem + QLatin1Char('.') + format).toLower();
}

QString GetFileName(const QString& path, const PathStyle& style) {
    const qsizetype separator = path.lastIndexOf(style.separator());
    if (separator < 0) {
        return QString();
    }
    const QString name = path.mid(separator + 1);
    return style.isWindows() ? name.toLower() : name;
}

QString GetFolderPart(const QString& path, const PathStyle& style) {
    const qsizetype separator = path.lastIndexOf(style.separator());
    if (separator < 0) {
        return QString();
    }
    return NormaliseDriveLetter(path.left(separator + 1), style);
}

QString NormaliseDriveLetter(const QString& path, const PathStyle& style) {
    if (!style.isWindows() || path.size() < 2 || path.at(1) != QLatin1Char(':')) {
        return path;
    }
    return path.left(1).toUpper() + path.mid(1).toLower();
}

bool NewFileCreatable(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    // symlink_status: a dangling link is something that exists at the path, too.
    std::error_code error;
    const fs::file_status status = fs::symlink_status(FsDetail::toFsPath(path), error);
    if (status.type() != fs::file_type::not_found) {
        return false;
    }
    // A real probe rather than an access check: root passes access(W_OK) on read-only mounts,
    // and only creating the file tells whether the file system accepts this very name.
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    probe.close();
    probe.remove();
    return true;
}

QString GetUnusedFilepath(const QString& folder, const QString& stem, const QString& extension,
                          const PathStyle& style) {
    QString base = folder;
    if (!base.endsWith(style.separator())) {
        base += style.separator();
    }
    if (!FolderExists(base)) {
        return QString();
    }
    const QString dotted = extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
    for (int n = 1; n <= 99; ++n) {
        QString candidate = base + stem + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')) + dotted;
        if (NewFileCreatable(candidate)) {
            return candidate;
        }
    }
    return QString();
}

}  // namespace FileProc
