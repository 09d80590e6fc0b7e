#include "app/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

namespace {

// Every size of the application icon built into the program, so the window manager
// and the task bar can pick the one that fits.
QIcon applicationIcon() {
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList(QDir::Files)) {
        icon.addFile(folder.filePath(name));
    }
    return icon;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornask"));
    // The name of the installed menu entry, which Wayland compositors use to pair
    // the program's windows with that entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vornask.Vornask"));
    QApplication::setWindowIcon(applicationIcon());
    frmMain window;
    window.Form_Load();
    return QApplication::exec();
}
