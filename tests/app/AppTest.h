#pragma once
// What the tests of the main program share: the windows, scripted prompts and the Qt
// widgets they drive.

#include "app/frmMain.h"
#include "fs/FileProc.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// A folder as the program shows it once chosen: native separators, the drive letter normalised
// (the rest lower case on Windows), a separator at the end.
inline QString shownFolder(const QString& path) {
    return FileProc::NormaliseDriveLetter(nativeFolder(path));
}
// A name as the program shows it: lower case where the file system ignores letter case.
inline QString shownName(const QString& name) {
    return PathStyle::native().caseSensitive() ? name : name.toLower();
}

// The main window as the program shows it at start-up, with an exit that ends nothing.
struct LoadedMainWindow : frmMain {
    LoadedMainWindow() {
        setExitProgram([] {});
        Form_Load();
    }
};

// A temporary folder, the main window and a scripted user, who fails the test on any prompt not expected.
class AppTest : public ::testing::Test {
protected:
    template <typename T = QWidget>
    T* child(const char* name) {
        return ::child<T>(window, name);
    }

    QTemporaryDir dir;
    LoadedMainWindow window;
    ScriptedPrompts prompts;
};

// Answers the "File exists" window with its option `option` (optOverwrite, optCancelOperationThisFile...).
inline void answerFileExists(QDialog& dialog, const char* option) {
    dialog.findChild<QAbstractButton*>(option)->click();
    dialog.findChild<QPushButton*>("cmdContinue")->click();
}

// Waits until `window` takes the keyboard. (A dialog counts as active for QTest as soon as its
// owner is, before it has the keyboard itself.)
inline bool takesTheKeyboard(QWidget& window) {
    window.activateWindow();
    return QTest::qWaitFor([&window] { return window.isActiveWindow(); });
}

// Presses a key `times` times where the focus of `window` is, as the keyboard does; gives the
// object name of the control that has the focus afterwards.
inline QString pressKey(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1) {
    for (int i = 0; i < times; ++i) {
        QTest::keyClick(window.focusWidget() ? window.focusWidget() : &window, key, modifiers);
    }
    return window.focusWidget() ? window.focusWidget()->objectName() : QStringLiteral("(no focus)");
}
