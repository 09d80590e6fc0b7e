#include "app/OpenPaths.h"
#include "app/QuitOnSignal.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
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
    QApplication::setApplicationVersion(frmMain::versionText());

    // A desktop launcher passes the files to open ("Open with"); Qt's own options are gone already.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Converts images between BMP, PNG, JPG and GIF."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"),
                                 QStringLiteral("Images to convert one after another, or a folder for the input "
                                                "images folder box."),
                                 QStringLiteral("[FILE...|FOLDER]"));
    parser.process(app);
    // Made absolute here: the start-up moves the program to another folder.
    const QStringList paths = OpenPaths::Absolute(parser.positionalArguments(), QDir::currentPath());

    frmMain window;
    window.Form_Load();
    QuitOnSignal::Install(&window, [&window] { window.cmdQuit_Click(); });
    if (!paths.isEmpty()) {
        // Once the window has been shown and painted.
        QMetaObject::invokeMethod(
            &window, [&window, paths] { window.openPaths(paths); }, Qt::QueuedConnection);
    }
    return QApplication::exec();
}
