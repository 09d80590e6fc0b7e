#pragma once

#include <QChar>
#include <QString>

// How paths are spelt: Windows (backslash, drive letters, case-insensitive file
// system) or POSIX (slash, one root, case-sensitive). Path helpers take one so
// that both can be tested on any platform.
class PathStyle {
public:
    static PathStyle windows() { return PathStyle(true); }
    static PathStyle posix() { return PathStyle(false); }
    // The style of the platform the program runs on.
    static PathStyle native();

    bool isWindows() const { return m_windows; }
    QChar separator() const { return m_windows ? QChar('\\') : QChar('/'); }
    QString separatorText() const { return QString(separator()); }
    // Whether the file system tells letter case apart.
    bool caseSensitive() const { return !m_windows; }

    bool operator==(const PathStyle& other) const { return m_windows == other.m_windows; }

private:
    explicit PathStyle(bool windows) : m_windows(windows) {}
    bool m_windows;
};
