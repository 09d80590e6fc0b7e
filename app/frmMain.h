#pragma once

#include "app/StateFile.h"
#include "batch/BatchHost.h"
#include "single/SingleFileOperation.h"
#include "single/frmConvertSingleFile.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class frmSpecifyDirectory;
class frmTargetFileExists;

// The program's one long-lived window: the batch settings, the report, and the
// buttons that start every operation. Index 0 of a control pair is the input
// side, index 1 the output side.
class frmMain : public QWidget, public SingleFileHost, public StateHost, public SingleFileDialogHost {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The start-up sequence: initialises the controls, builds the caption, applies
    // the normal layout, shows the window and moves to the start folder.
    void Form_Load();

    // The version as the caption shows it: major, ".", minor and "7" (1.07).
    static QString versionText();

    // Moves the focus to the next control the user still has to fill in.
    void FocusNextStep() override;

    // Opens what the command line or a drop names, one path after another: an image gets its
    // single-file conversion (a cancelled one goes on with the next path), a folder goes into
    // the input folder box and is checked as if typed, anything else is reported.
    void openPaths(const QStringList& paths);

    // How the program ends; replaced by tests.
    void setExitProgram(std::function<void()> exitProgram) { m_exitProgram = std::move(exitProgram); }

    // The whole report text as the program wrote it.
    const QString& reportText() const { return m_report; }

    // Shared settings other windows read and write.
    qint16 intMinQuality = 0;
    qint16 intMaxQuality = 0;
    qint16 intQualityFrom = 0;
    qint16 intQualityTo = 0;
    qint16 intQualityStep = 0;
    qint16 intNormalHeight = 0;
    QString strTitle;
    QString strVersionNumber;
    QStringList strFileFormat;

    // BatchHost
    RunState& runState() override { return m_run; }
    QString folderText(int index) const override;
    int formatIndex(int index) const override;
    QString formatText(int index) const override;
    QString qualityText() const override;
    void setQualityText(const QString& text) override;
    qint16 minQuality() const override { return intMinQuality; }
    qint16 maxQuality() const override { return intMaxQuality; }
    bool warnOnOverwriteChecked() const override;
    bool viewInBrowserChecked() const override;
    void setFocusTo(Control control) override;
    void appendReport(const QString& text) override;
    bool reportIsEmpty() const override { return m_report.isEmpty(); }
    void clearReport() override;
    void moveReportCaretToEnd() override;
    void showConvertingLabel(const QString& text) override;
    void hideConvertingLabel() override;
    void setBusyLook(bool busy, bool conversion) override;
    void setProgress(int done, int total) override;
    void repaintNow() override;
    void yield() override;
    bool quitRequested() const override { return m_quitRequested; }
    TargetFileExistsAnswer askTargetFileExists(const QString& entryFilepath, bool singleFileOperation) override;
    bool openFile(const QString& path, bool showError) override;

    // SingleFileHost
    QStringList fileFormats() const override { return strFileFormat; }
    void qualityRange(qint16& from, qint16& to, qint16& step) const override;
    frmConvertSingleFile& convertSingleFileDialog() override;

    // SingleFileDialogHost
    void setQualityRange(qint16 from, qint16 to, qint16 step) override;
    QRect mainWindowFrame() const override { return QRect(pos(), size()); }
    int topLineTop() const override;
    QRect inputFolderBox() const override;

    // StateHost
    void setFolderText(int index, const QString& text) override;
    bool setFormatIndex(int index, int item) override;
    bool option(StateOption which) const override;
    void setOption(StateOption which, bool checked) override;

    // Handlers.
    void cboFileFormat_Click(int index);
    void chkWarnOnOverwrite_Click();
    void chkViewMultipleInBrowser_Click();
    void chkLargeWindow_Click();
    void cmdClearFolderForImages_Click(int index);
    void cmdCopyToClipboard_Click();
    void cmdQuit_Click();
    void lblTaldrin_Click();
    void cmdSaveState_Click(int index);
    void cmdFolderForImages_Click(int index);
    void cmdConvertSingleFile_Click();
    void txbFolderForImages_LostFocus(int index);
    void cmdHelp_Click();
    void lblOnlineDocumentation_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What a drag carries, judged by the files' content when it enters the window.
    struct DragContents {
        enum Kind { Nothing, Images, Folder } kind = Nothing;
        QStringList paths;
    };
    void takeDropsOnTheWindow();
    DragContents judgeDrag(const QDropEvent& event);
    // The folder box that a drop at `pos` fills (over the box or its button), or -1.
    int folderControlAt(const QPoint& pos) const;
    // Accepts the drag as a copy when its contents may be dropped where it is; else ignores it.
    bool acceptDrag(QDropEvent& event, const DragContents& contents);
    // Puts a folder into a folder box and checks it as if typed.
    void takeFolder(int index, const QString& folder);
    void createControls();
    void InitialiseControls();
    void applyLayout();
    void placeTw(QWidget* widget, double left, double top, double width, double height);
    QPushButton* makeButton(const QString& name, const QString& caption, double size, bool bold);
    QLabel* makeLabel(const QString& name, const QString& caption, double size, bool bold);
    QLabel* makeLink(const QString& name, const QString& caption, bool underlined);
    QCheckBox* makeCheckBox(const QString& name, const QString& caption);
    QCheckBox* optionBox(StateOption which) const;
    void connectFormatList(int index);
    // The typed-folder check of a folder box, with or without the focus step after it.
    void checkFolderBox(int index, bool thenFocusStep);
    // Selects an item of a format list as the user would, running its click handler.
    void setFormatSelection(int index, int item);
    double screenWidthTw() const;
    double screenHeightTw() const;
    // Brings the report view, the progress line and the progress bar up to what the run has
    // told them, at most once a screen frame: a run may report thousands of files a second.
    void scheduleFrame();
    void showFrame();

    // Controls, named as the program knows them.
    QPushButton* cmdConvertSingleFile = nullptr;
    QLabel* lblConvertingFile = nullptr;
    QPushButton* cmdStop = nullptr;
    QLabel* lblTopLine = nullptr;
    std::array<QPushButton*, 2> cmdFolderForImages{};
    std::array<QLineEdit*, 2> txbFolderForImages{};
    std::array<QPushButton*, 3> cmdClearFolderForImages{};
    std::array<QLabel*, 2> lblFileFormat{};
    std::array<QComboBox*, 2> cboFileFormat{};
    std::array<QPushButton*, 2> cmdList{};
    QLabel* lblQuality = nullptr;
    QLineEdit* txbQuality = nullptr;
    QCheckBox* chkWarnOnOverwrite = nullptr;
    QCheckBox* chkViewMultipleInBrowser = nullptr;
    QCheckBox* chkLargeWindow = nullptr;
    QPushButton* cmdConvertFiles = nullptr;
    QPlainTextEdit* txbReport = nullptr;
    std::array<QPushButton*, 2> cmdSaveState{};
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdQuit = nullptr;
    QLabel* lblTaldrin = nullptr;
    QLabel* lblEmailAddress = nullptr;
    QLabel* lblOnlineDocumentation = nullptr;
    QPushButton* cmdCopyToClipboard = nullptr;
    QProgressBar* prgFiles = nullptr;  // in the place of the documentation link while a run goes on

    QPointer<frmTargetFileExists> m_targetFileExists;  // created on first use, then kept
    QPointer<frmSpecifyDirectory> m_specifyDirectory;  // likewise, until closed through its frame
    QPointer<frmConvertSingleFile> m_convertSingleFile;
    bool m_checkingFolder = false;
    DragContents m_drag;
    QString m_report;
    // What the next frame shows: report text not yet in the view, the progress line and the bar.
    QString m_reportToShow;
    bool m_caretToEnd = false;
    QString m_convertingText;
    bool m_convertingShown = false;
    int m_progressDone = 0;
    int m_progressTotal = 0;
    QTimer* m_frameTimer = nullptr;
    QElapsedTimer m_lastFrame;
    RunState m_run;
    bool m_quitRequested = false;
    std::function<void()> m_exitProgram;
};
