#pragma once
// Helpers every test folder uses: texts in failure messages, whole files, and a picture
// with enough detail that its conversions differ by quality.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <ostream>

// Texts in failure messages, with their line ends visible.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << ::testing::PrintToString(text.toStdString());
}

// A path as the program spells it on this system (backslashes on Windows), and a folder as its
// folder boxes hold it: with a separator at the end.
inline QString native(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}
inline QString nativeFolder(const QString& path) {
    return native(path) + QDir::separator();
}

// True under Wine, where a few tests are skipped, each saying why.
bool runningUnderWine();

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline bool writePicture(const QString& path, const char* format, int width = 8, int height = 6) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 3) & 255, ((x ^ y) * 5) & 255));
        }
    }
    return image.save(path, format);
}
