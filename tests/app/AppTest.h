#pragma once

#include "app/frmMain.h"

#include <QFile>
#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// The main window as the program shows it at start-up, with an exit that ends nothing.
struct LoadedMainWindow : frmMain {
    LoadedMainWindow() {
        setExitProgram([] {});
        Form_Load();
    }
};

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
