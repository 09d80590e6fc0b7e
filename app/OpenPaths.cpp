#include "app/OpenPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <cstring>

namespace OpenPaths {
namespace {

quint32 le32(const uchar* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | quint32(b[3]) << 24;
}

// The signatures the conversion library reads by. "BM" alone is too weak a sign (a text can
// start with it), so a bitmap must also carry a header size the library knows.
bool IsImageHead(const QByteArray& head) {
    const auto* b = reinterpret_cast<const uchar*>(head.constData());
    const qsizetype n = head.size();
    if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) {
        return true;
    }
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        return true;
    }
    if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) {
        return true;
    }
    if (n >= 18 && b[0] == 'B' && b[1] == 'M') {
        const quint32 header = le32(b + 14);
        return header == 12 || header == 108 || header == 124 || (header >= 16 && header <= 64 && header % 4 == 0);
    }
    return false;
}

}  // namespace

Kind Classify(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return Kind::Missing;
    }
    if (info.isDir()) {
        return info.isReadable() && info.isExecutable() ? Kind::Folder : Kind::Unreadable;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Kind::Unreadable;
    }
    return IsImageHead(file.read(18)) ? Kind::Image : Kind::NotAnImage;
}

QString RefusalText(const QString& path, Kind kind) {
    const QString start = QStringLiteral("Cannot open \"") + QDir::toNativeSeparators(path) + QStringLiteral("\": ");
    switch (kind) {
        case Kind::Missing:
            return start + QStringLiteral("there is no such file or folder.");
        case Kind::Unreadable:
            return start + QStringLiteral("it cannot be read.");
        case Kind::NotAnImage:
            return start + QStringLiteral("it is not a BMP, PNG, JPG or GIF image.");
        case Kind::Image:
        case Kind::Folder:
            break;
    }
    Q_ASSERT_X(false, "RefusalText", "an image or a folder is not refused");
    return start;
}

QStringList Absolute(const QStringList& arguments, const QString& currentFolder) {
    QStringList paths;
    const QDir folder(currentFolder);
    for (const QString& argument : arguments) {
        paths << QDir::toNativeSeparators(QDir::cleanPath(folder.absoluteFilePath(argument)));
    }
    return paths;
}

QStringList LocalPaths(const QMimeData& data) {
    QStringList paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            return {};
        }
        paths << QDir::toNativeSeparators(QDir::cleanPath(url.toLocalFile()));
    }
    return paths;
}

}  // namespace OpenPaths
