// The main window's ways in beside its buttons: the paths of the command line and files or
// folders dropped on it.
#include "app/OpenPaths.h"
#include "app/frmMain.h"
#include "batch/Batch.h"
#include "platform/Prompt.h"
#include "single/SingleFileOperation.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QPushButton>

void frmMain::openPaths(const QStringList& paths) {
    for (const QString& path : paths) {
        if (m_quitRequested) {
            return;
        }
        const OpenPaths::Kind kind = OpenPaths::Classify(path);
        if (kind == OpenPaths::Kind::Image) {
            SingleFile::ConvertChosenFile(*this, path);
        } else if (kind == OpenPaths::Kind::Folder) {
            takeFolder(0, path);
        } else {
            Prompt::MsgBox(OpenPaths::RefusalText(path, kind), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                           QStringLiteral("Error"));
        }
    }
}

void frmMain::takeFolder(int index, const QString& folder) {
    setFolderText(index, QDir::toNativeSeparators(folder));
    checkFolderBox(index, true);
}

// Every drag is handled by the window itself, which decides by what is dragged and where:
// the text boxes would otherwise take a dropped file's name as text.
void frmMain::takeDropsOnTheWindow() {
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAcceptDrops(false);
    }
    setAcceptDrops(true);
}

// Nothing is taken while an operation runs or a dialog waits for an answer. A drop is taken as a
// copy, never as a move, which would make a file manager delete the file the program only reads;
// a drag that may only be moved is refused.
frmMain::DragContents frmMain::judgeDrag(const QDropEvent& event) {
    if (m_quitRequested || Batch::OperationRunning(*this) || QApplication::activeModalWidget() != nullptr ||
        !(event.possibleActions() & Qt::CopyAction) || event.mimeData() == nullptr) {
        return {};
    }
    const QStringList paths = OpenPaths::LocalPaths(*event.mimeData());
    if (paths.size() == 1 && OpenPaths::Classify(paths[0]) == OpenPaths::Kind::Folder) {
        return {DragContents::Folder, paths};
    }
    for (const QString& path : paths) {
        if (OpenPaths::Classify(path) != OpenPaths::Kind::Image) {
            return {};
        }
    }
    return {paths.isEmpty() ? DragContents::Nothing : DragContents::Images, paths};
}

int frmMain::folderControlAt(const QPoint& pos) const {
    for (QWidget* w = childAt(pos); w != nullptr && w != this; w = w->parentWidget()) {
        for (int i = 0; i < 2; ++i) {
            if (w == txbFolderForImages[i] || w == cmdFolderForImages[i]) {
                return i;
            }
        }
    }
    return -1;
}

bool frmMain::acceptDrag(QDropEvent& event, const DragContents& contents) {
    const bool taken = contents.kind == DragContents::Images ||
                       (contents.kind == DragContents::Folder && folderControlAt(event.position().toPoint()) >= 0);
    if (taken) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
    return taken;
}

// A folder is let in anywhere: the window would get no moves of a drag it turned away, and the
// move that always follows the entry says whether the folder can be dropped where it is.
void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    m_drag = judgeDrag(*event);
    if (m_drag.kind == DragContents::Nothing) {
        event->ignore();
    } else {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

// The files were judged when the drag entered; only the place can change while it moves.
void frmMain::dragMoveEvent(QDragMoveEvent* event) {
    acceptDrag(*event, m_drag);
}

void frmMain::dragLeaveEvent(QDragLeaveEvent* event) {
    m_drag = {};
    event->accept();
}

// The conversion starts once the drop has returned, so that the program the files came from is
// not kept waiting for the end of the dialogs.
void frmMain::dropEvent(QDropEvent* event) {
    const DragContents contents = judgeDrag(*event);
    m_drag = {};
    if (!acceptDrag(*event, contents)) {
        return;
    }
    const int index = folderControlAt(event->position().toPoint());
    QMetaObject::invokeMethod(
        this,
        [this, contents, index] {
            if (contents.kind == DragContents::Folder) {
                takeFolder(index, contents.paths[0]);
            } else {
                openPaths(contents.paths);
            }
        },
        Qt::QueuedConnection);
}
