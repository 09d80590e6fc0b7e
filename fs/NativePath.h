#pragma once

// Conversions between the program's path texts and std::filesystem, which reports
// failures with the platform's own description. Used inside fs/ only.

#include <QFile>
#include <QString>
#include <filesystem>

namespace FsDetail {

inline std::filesystem::path toFsPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

inline QString fromFsPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

inline QString describe(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message());
}

}  // namespace FsDetail
