#pragma once
// Helpers every test folder uses: texts in failure messages, paths, whole files, and a picture
// with enough detail that its conversions differ by quality.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QString>
#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <string>
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

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

// The child of `parent` with that class and object name; a test that looks for a missing one ends there.
template <class T = QObject>
T* child(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        throw std::runtime_error(std::string("no child ") + name);
    }
    return found;
}

// True under Wine, where a few tests are skipped, each saying why.
bool runningUnderWine();

// The names of the files in `folder`, hidden ones included, by name.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Distinct colours, edges and a gradient: enough detail that conversions differ by quality.
inline QImage testPicture(int width, int height, bool alpha = false) {
    QImage img(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            img.setPixel(x, y, qRgba(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1),
                                     (x / 8 + y / 8) % 2 ? 220 : 30, alpha ? (x + y) % 256 : 255));
        }
    }
    return img;
}

inline bool writePicture(const QString& path, const char* format, int width = 8, int height = 6) {
    return testPicture(width, height).save(path, format);
}

#ifdef Q_OS_LINUX
// For its lifetime, on this thread, the administrator gives up its way past file permissions, which
// every other user lacks: the tests run as root in CI, where no permission check would fail otherwise.
struct WithoutAdminFileRights {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
    bool dropped = false;
    WithoutAdminFileRights() {
        if (syscall(SYS_capget, &header, saved) == 0) {
            __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
            reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
            dropped = syscall(SYS_capset, &header, reduced) == 0;
        }
    }
    ~WithoutAdminFileRights() {
        if (dropped) {
            syscall(SYS_capset, &header, saved);
        }
    }
};
#else
// Elsewhere the tests check no mode bits that an administrator could pass.
struct WithoutAdminFileRights {
    WithoutAdminFileRights() {}
    ~WithoutAdminFileRights() {}
};
#endif
