#pragma once

#include <QString>
#include <memory>

class ViewerPage;
namespace Batch {
class AheadScheduler;
}

// The state of the operation under way, owned by the main window and set by the
// operation that starts a run.
struct RunState {
    QString strInputFormat;
    QString strOutputFormat;
    qint16 intQuality = 0;
    bool blnWarnOnOverwrite = false;
    bool blnStopRequested = false;
    // True while a batch, a listing or a single-file conversion runs; the buttons
    // that start an operation do nothing meanwhile.
    bool blnOperationRunning = false;
    // The viewer page of the run.
    bool blnViewInBrowser = false;
    bool blnViewerFileOpen = false;
    bool blnViewerHasEntries = false;
    bool blnSourceImageShown = false;
    QString strViewerFilepath;
    std::shared_ptr<ViewerPage> viewer;  // the open page file, if any
    // The conversions of the run's later files, while it converts ahead of their turn.
    Batch::AheadScheduler* ahead = nullptr;
};

// The answer of the "File exists" dialog.
struct TargetFileExistsAnswer {
    bool blnCancelOperationThisFile = true;
    bool blnCancelOperationAllFiles = false;
    QString strExitFilepath;
};

// What the batch run, the per-file step and the listings need of the main window.
// Index 0 is the input side, 1 the output side.
class BatchHost {
public:
    enum class Control { ConvertSingleFile, FolderForImages0, FolderForImages1, ConvertFiles };

    virtual ~BatchHost() = default;

    virtual RunState& runState() = 0;

    // Folder boxes (their texts end with the path separator when chosen or checked).
    virtual QString folderText(int index) const = 0;
    // Format lists: selected item index (0 is "Select") and its text.
    virtual int formatIndex(int index) const = 0;
    virtual QString formatText(int index) const = 0;
    // The batch's JPG quality box.
    virtual QString qualityText() const = 0;
    virtual void setQualityText(const QString& text) = 0;
    virtual qint16 minQuality() const = 0;
    virtual qint16 maxQuality() const = 0;
    // Option boxes of the main window.
    virtual bool warnOnOverwriteChecked() const = 0;
    virtual bool viewInBrowserChecked() const = 0;

    virtual void setFocusTo(Control control) = 0;

    // The report: text is only ever appended at the end.
    virtual void appendReport(const QString& text) = 0;
    virtual bool reportIsEmpty() const = 0;
    virtual void clearReport() = 0;
    // Puts the report's caret at its end, so that the view shows the newest line.
    virtual void moveReportCaretToEnd() = 0;

    // The progress line over the button row.
    virtual void showConvertingLabel(const QString& text) = 0;
    virtual void hideConvertingLabel() = 0;

    // The busy look: Stop shown, the documentation link hidden, and for a
    // conversion also "Convert single file" and the hint line hidden.
    virtual void setBusyLook(bool busy, bool conversion) = 0;

    // The progress bar of a run in the busy look: `done` of `total` files.
    virtual void setProgress(int done, int total) {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }

    // Repaints the window now.
    virtual void repaintNow() = 0;
    // Lets the window handle its pending events (clicks, repaints).
    virtual void yield() = 0;
    // True once the user has asked the program to end; a run then stops at once.
    virtual bool quitRequested() const = 0;

    // Shows the "File exists" dialog for an existing result file.
    virtual TargetFileExistsAnswer askTargetFileExists(const QString& entryFilepath, bool singleFileOperation) = 0;

    // Opens a file with its default program (the viewer page at the end of a run);
    // true when the desktop accepted it. A failure is reported when showError is true.
    virtual bool openFile(const QString& path, bool showError) = 0;
};
