#include "app/frmMain.h"

#include "app/Links.h"
#include "app/Shell.h"
#include "app/frmHelp.h"
#include "batch/Batch.h"
#include "fs/DiskProc.h"
#include "fs/FolderCheck.h"
#include "fs/frmSpecifyDirectory.h"
#include "fs/StrProc.h"
#include "platform/Keyboard.h"
#include "platform/Prompt.h"
#include "platform/Twips.h"
#include "scramble/frmScrambler.h"
#include "single/frmTargetFileExists.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>


namespace {

// The time a screen shows one frame.
constexpr int kFrameMs = 16;

}  // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent) {
    m_exitProgram = [] { QCoreApplication::quit(); };
    createControls();
    takeDropsOnTheWindow();
    m_frameTimer = new QTimer(this);
    m_frameTimer->setSingleShot(true);
    m_frameTimer->setInterval(kFrameMs);
    connect(m_frameTimer, &QTimer::timeout, this, &frmMain::showFrame);

    connect(cmdClearFolderForImages[0], &QPushButton::clicked, this, [this] { cmdClearFolderForImages_Click(0); });
    connect(cmdClearFolderForImages[1], &QPushButton::clicked, this, [this] { cmdClearFolderForImages_Click(1); });
    connect(cmdClearFolderForImages[2], &QPushButton::clicked, this, [this] { cmdClearFolderForImages_Click(2); });
    connect(cmdCopyToClipboard, &QPushButton::clicked, this, &frmMain::cmdCopyToClipboard_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
    connect(chkWarnOnOverwrite, &QCheckBox::clicked, this, &frmMain::chkWarnOnOverwrite_Click);
    connect(chkViewMultipleInBrowser, &QCheckBox::clicked, this, &frmMain::chkViewMultipleInBrowser_Click);
    // The layout follows every change of the box, by the user or by the program.
    connect(chkLargeWindow, &QCheckBox::toggled, this, &frmMain::chkLargeWindow_Click);
    connect(lblTaldrin, &QLabel::linkActivated, this, &frmMain::lblTaldrin_Click);
    connect(lblOnlineDocumentation, &QLabel::linkActivated, this, &frmMain::lblOnlineDocumentation_Click);
    connect(cmdSaveState[0], &QPushButton::clicked, this, [this] { cmdSaveState_Click(0); });
    connect(cmdSaveState[1], &QPushButton::clicked, this, [this] { cmdSaveState_Click(1); });
    connect(cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);
    connect(cmdConvertSingleFile, &QPushButton::clicked, this, &frmMain::cmdConvertSingleFile_Click);
    connect(cmdConvertFiles, &QPushButton::clicked, this, [this] { Batch::cmdConvertFiles_Click(*this); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { Batch::cmdStop_Click(*this); });
    connect(cmdList[0], &QPushButton::clicked, this, [this] { Batch::cmdList_Click(*this, 0); });
    connect(cmdList[1], &QPushButton::clicked, this, [this] { Batch::cmdList_Click(*this, 1); });
    connect(cmdFolderForImages[0], &QPushButton::clicked, this, [this] { cmdFolderForImages_Click(0); });
    connect(cmdFolderForImages[1], &QPushButton::clicked, this, [this] { cmdFolderForImages_Click(1); });
    connectFormatList(0);
    connectFormatList(1);

    // F1 on the buttons that start an operation opens the help screen.
    auto* f1 = new F1HelpFilter([this] { cmdHelp_Click(); }, this);
    for (QWidget* button : {static_cast<QWidget*>(cmdConvertSingleFile), static_cast<QWidget*>(cmdConvertFiles),
                            static_cast<QWidget*>(cmdHelp), static_cast<QWidget*>(cmdList[0]),
                            static_cast<QWidget*>(cmdList[1])}) {
        f1->watch(button);
    }
    Keyboard::PressButtonsWithEnter(this);
    lblTaldrin->installEventFilter(this);
    lblOnlineDocumentation->installEventFilter(this);
}

frmMain::~frmMain() = default;

// A format list runs its click handler when the user picks an item (with the
// mouse, the keyboard or the wheel), even the one already selected.
void frmMain::connectFormatList(int index) {
    connect(cboFileFormat[index], &QComboBox::activated, this, [this, index] { cboFileFormat_Click(index); });
}

void frmMain::setFormatSelection(int index, int item) {
    cboFileFormat[index]->setCurrentIndex(item);
    cboFileFormat_Click(index);
}

void frmMain::Form_Load() {
    InitialiseControls();

    strTitle = frmScrambler::ProgramTitle();
    Prompt::setProgramTitle(strTitle);
    strVersionNumber = versionText();
    setWindowTitle(strTitle + QStringLiteral(" ") + strVersionNumber);

    // The progress line lies over the button row while a file is converted.
    const QRect single = cmdConvertSingleFile->geometry();
    lblConvertingFile->setGeometry(single.x(), single.y(),
                                   Twips::toPixels(9465 - Twips::fromPixels(cmdStop->width()) - 300),
                                   single.height());

    setFixedSize(Twips::toPixels(9465), Twips::toPixels(intNormalHeight));
    move(Twips::toPixels((screenWidthTw() - 9465) / 2), pos().y());
    show();

    chkLargeWindow_Click();
    lblOnlineDocumentation->show();
    cmdSaveState[0]->setEnabled(true);
    cmdSaveState[1]->setEnabled(true);
    FocusNextStep();

    // Relative folders typed by the user start from the root of the first fixed drive.
    const QString drive = DiskProc::FirstFixedDrive();
#ifdef Q_OS_WIN
    QDir::setCurrent((drive.isEmpty() ? QStringLiteral("C:") : drive) + QStringLiteral("\\"));
#else
    QDir::setCurrent(drive + QStringLiteral("/"));
#endif
}

QString frmMain::versionText() {
    return QStringLiteral(VORNASK_VERSION);
}

void frmMain::InitialiseControls() {
    clearReport();
    intNormalHeight = 4975;
    chkLargeWindow->setChecked(false);
    chkWarnOnOverwrite->setChecked(true);
    strFileFormat = {QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("JPG"), QStringLiteral("GIF")};
    cboFileFormat[0]->clear();
    cboFileFormat[1]->clear();
    cboFileFormat[0]->addItem(QStringLiteral("Select"));
    cboFileFormat[1]->addItem(QStringLiteral("Select"));
    for (int i = 0; i < 2; ++i) {
        cboFileFormat[i]->addItems(strFileFormat);
        setFormatSelection(i, 0);
    }
    intMinQuality = 10;
    intMaxQuality = 100;
}

void frmMain::cboFileFormat_Click(int index) {
    if (index == 1) {
        const int jpg = StrProc::FindInList(strFileFormat, static_cast<int>(strFileFormat.size()), QStringLiteral("JPG"));
        const bool visible = cboFileFormat[1]->currentIndex() == jpg + 1;
        lblQuality->setVisible(visible);
        txbQuality->setVisible(lblQuality->isVisibleTo(this));
    }
    if (isVisible()) {
        cmdConvertFiles->setFocus();
    }
}

void frmMain::chkWarnOnOverwrite_Click() {
    if (isVisible()) {
        cmdConvertFiles->setFocus();
    }
}

void frmMain::chkViewMultipleInBrowser_Click() {
    if (isVisible()) {
        cmdConvertFiles->setFocus();
    }
}

void frmMain::cmdClearFolderForImages_Click(int index) {
    if (index == 2) {
        clearReport();
    } else {
        txbFolderForImages[index]->clear();
    }
    FocusNextStep();
}

void frmMain::FocusNextStep() {
    if (!isVisible()) {
        return;
    }
    if (txbFolderForImages[0]->text().isEmpty()) {
        cmdConvertSingleFile->setFocus();
    } else if (txbFolderForImages[1]->text().isEmpty()) {
        cmdFolderForImages[1]->setFocus();
    } else if (cboFileFormat[0]->currentIndex() == 0) {
        cmdFolderForImages[0]->setFocus();
    } else if (cboFileFormat[1]->currentIndex() == 0) {
        cmdFolderForImages[1]->setFocus();
    } else {
        cmdConvertFiles->setFocus();
    }
}

void frmMain::cmdQuit_Click() {
    if (m_quitRequested) {
        return;
    }
    // A run sees this at its next step and ends without another prompt or line.
    m_quitRequested = true;
    // Every window closes at once; a conversion under way is finished by the
    // batch before the program ends, so no temporary file is left behind.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this) {
            window->hide();
        }
    }
    hide();
    m_exitProgram();
}

void frmMain::closeEvent(QCloseEvent* event) {
    cmdQuit_Click();
    event->accept();
}

void frmMain::cmdSaveState_Click(int index) {
    // Restoring during a run would change the folders the run is reading.
    if (index == 1 && Batch::OperationRunning(*this)) {
        return;
    }
    StateFile::cmdSaveState_Click(*this, index);
}

void frmMain::cmdConvertSingleFile_Click() { SingleFile::cmdConvertSingleFile_Click(*this); }

void frmMain::cmdHelp_Click() { frmHelp::ShowHelp(this); }

void frmMain::setFolderText(int index, const QString& text) { txbFolderForImages[index]->setText(text); }

bool frmMain::setFormatIndex(int index, int item) {
    if (item < 0 || item >= cboFileFormat[index]->count()) {
        return false;
    }
    setFormatSelection(index, item);
    return true;
}

QCheckBox* frmMain::optionBox(StateOption which) const {
    switch (which) {
        case StateOption::WarnOnOverwrite: return chkWarnOnOverwrite;
        case StateOption::ViewInBrowser: return chkViewMultipleInBrowser;
        case StateOption::LargeWindow: return chkLargeWindow;
    }
    return chkWarnOnOverwrite;
}

bool frmMain::option(StateOption which) const { return optionBox(which)->isChecked(); }

// Changing the large-window box applies its layout through the box's own signal.
void frmMain::setOption(StateOption which, bool checked) { optionBox(which)->setChecked(checked); }

void frmMain::lblTaldrin_Click() {
    Shell::LaunchBrowser(Links::kHomePage);
    FocusNextStep();
}

void frmMain::lblOnlineDocumentation_Click() {
    Shell::LaunchBrowser(Links::kOnlineDocumentation);
    FocusNextStep();
}

void frmMain::cmdFolderForImages_Click(int index) {
    if (Batch::OperationRunning(*this)) {
        return;
    }
    if (!m_specifyDirectory) {
        m_specifyDirectory = new frmSpecifyDirectory(this);
    }
    frmSpecifyDirectory& chooser = *m_specifyDirectory;
    chooser.setWindowTitle(index == 0 ? QStringLiteral("Specify folder for input image files")
                                      : QStringLiteral("Specify folder for output image files"));
    // The chooser's right edge lines up with the report's, a little below its top.
    const QRect report = txbReport->geometry();
    chooser.move(pos().x() + report.x() + report.width() - chooser.width(),
                 pos().y() + report.y() + Twips::toPixels(390));
    chooser.setBackgroundColour(QColor(192, 255, 255));
    Prompt::ExecDialog(chooser);
    const bool accepted = chooser.blnAccept;
    const QString folder = chooser.currentFolder();
    if (chooser.closedThroughFrame()) {
        // Closing through the frame ends the chooser; the next use starts afresh.
        m_specifyDirectory->deleteLater();
        m_specifyDirectory = nullptr;
    }
    if (accepted) {
        txbFolderForImages[index]->setText(FolderCheck::ChosenFolderText(folder));
        FolderCheck::ShowFolderSummary(index, txbFolderForImages[index]->text());
        txbFolderForImages_LostFocus(1);
    }
    FocusNextStep();
}

void frmMain::txbFolderForImages_LostFocus(int index) { checkFolderBox(index, true); }

void frmMain::checkFolderBox(int index, bool thenFocusStep) {
    if (m_checkingFolder) {
        return;
    }
    m_checkingFolder = true;
    QLineEdit* box = txbFolderForImages[index];
    FolderCheck::CheckTypedFolder(index, box->text(), FolderCheck::CurrentFolder(), PathStyle::native(),
                                  [box](const QString& text) { box->setText(text); });
    m_checkingFolder = false;
    if (thenFocusStep) {
        FocusNextStep();
    }
}

// A folder box is checked whenever the focus leaves it for another control of the
// program, not when another application takes the focus or a menu pops up.
bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // A link with the focus opens with Enter or Space, whichever way the focus came to it; a held key opens it once.
    if (event->type() == QEvent::KeyPress && (watched == lblTaldrin || watched == lblOnlineDocumentation)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space) {
            if (!key->isAutoRepeat()) {
                if (watched == lblTaldrin) {
                    lblTaldrin_Click();
                } else {
                    lblOnlineDocumentation_Click();
                }
            }
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // Leaving with Tab goes where Tab leads; the focus step would send the keyboard user back
            // up the window every time, and the controls below the boxes could never be reached.
            const bool byTab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
            // A click into a box or list is where the person types or chooses next; the focus step
            // would take the keys typed there to a button, and a blank would press it.
            const QWidget* to = QApplication::focusWidget();
            const bool intoInput = reason == Qt::MouseFocusReason &&
                                   (to == txbFolderForImages[0] || to == txbFolderForImages[1] || to == txbQuality ||
                                    to == cboFileFormat[0] || to == cboFileFormat[1] || to == txbReport);
            for (int i = 0; i < 2; ++i) {
                if (watched == txbFolderForImages[i] && !m_quitRequested) {
                    checkFolderBox(i, !byTab && !intoInput);
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The report keeps the program's exact text, CR LF included; the view shows it
// with ordinary line breaks. Text is only ever added at the end.
void frmMain::appendReport(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    m_report += text;
    m_reportToShow += text;
    scheduleFrame();
}

void frmMain::clearReport() {
    m_report.clear();
    m_reportToShow.clear();
    txbReport->clear();
}

void frmMain::moveReportCaretToEnd() {
    m_caretToEnd = true;
    scheduleFrame();
}

void frmMain::cmdCopyToClipboard_Click() {
    if (!m_report.isEmpty()) {
        Prompt::SetClipboardText(m_report);
    }
    FocusNextStep();
}

QString frmMain::folderText(int index) const { return txbFolderForImages[index]->text(); }
int frmMain::formatIndex(int index) const { return cboFileFormat[index]->currentIndex(); }
QString frmMain::formatText(int index) const { return cboFileFormat[index]->currentText(); }
QString frmMain::qualityText() const { return txbQuality->text(); }
void frmMain::setQualityText(const QString& text) { txbQuality->setText(text); }
bool frmMain::warnOnOverwriteChecked() const { return chkWarnOnOverwrite->isChecked(); }
bool frmMain::viewInBrowserChecked() const { return chkViewMultipleInBrowser->isChecked(); }

void frmMain::setFocusTo(Control control) {
    switch (control) {
        case Control::ConvertSingleFile: cmdConvertSingleFile->setFocus(); break;
        case Control::FolderForImages0: cmdFolderForImages[0]->setFocus(); break;
        case Control::FolderForImages1: cmdFolderForImages[1]->setFocus(); break;
        case Control::ConvertFiles: cmdConvertFiles->setFocus(); break;
    }
}

void frmMain::showConvertingLabel(const QString& text) {
    m_convertingText = text;
    m_convertingShown = true;
    scheduleFrame();
}

void frmMain::hideConvertingLabel() {
    m_convertingShown = false;
    scheduleFrame();
}

void frmMain::setBusyLook(bool busy, bool conversion) {
    cmdStop->setVisible(busy);
    // The bar takes the link's place; nothing else moves.
    lblOnlineDocumentation->setVisible(!busy);
    prgFiles->setVisible(busy);
    if (conversion) {
        cmdConvertSingleFile->setVisible(!busy);
        lblTopLine->setVisible(!busy);
    }
    if (!busy) {
        showFrame();
    }
}

void frmMain::setProgress(int done, int total) {
    m_progressDone = done;
    m_progressTotal = total;
    // A new run's bar shows its count at once; later counts come with the frames.
    done == 0 ? showFrame() : scheduleFrame();
}

void frmMain::repaintNow() {
    if (!m_lastFrame.isValid() || m_lastFrame.elapsed() >= kFrameMs) {
        showFrame();
    } else {
        scheduleFrame();
    }
}

void frmMain::yield() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void frmMain::scheduleFrame() {
    if (!m_frameTimer->isActive()) {
        m_frameTimer->start();
    }
}

// A screen shows about 60 frames a second, and a screen reader says far fewer: the
// widgets take the run's state that often, and each change paints once.
void frmMain::showFrame() {
    m_frameTimer->stop();
    m_lastFrame.start();
    if (!m_reportToShow.isEmpty()) {
        m_reportToShow.remove(QLatin1Char('\r'));
        QTextCursor cursor(txbReport->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(m_reportToShow);
        m_reportToShow.clear();
    }
    if (m_caretToEnd) {
        m_caretToEnd = false;
        txbReport->moveCursor(QTextCursor::End);
        txbReport->ensureCursorVisible();
    }
    if (m_convertingShown && lblConvertingFile->text() != m_convertingText) {
        lblConvertingFile->setText(m_convertingText);
        // The name was set at creation and would otherwise keep announcing the first text.
        lblConvertingFile->setAccessibleName(m_convertingText);
    }
    if (lblConvertingFile->isVisibleTo(this) != m_convertingShown) {
        lblConvertingFile->setVisible(m_convertingShown);
        if (m_convertingShown) {
            lblConvertingFile->raise();
        }
    }
    if (prgFiles->maximum() != m_progressTotal) {
        prgFiles->setRange(0, qMax(1, m_progressTotal));
    }
    prgFiles->setValue(m_progressDone);
}

TargetFileExistsAnswer frmMain::askTargetFileExists(const QString& entryFilepath, bool singleFileOperation) {
    if (!m_targetFileExists) {
        m_targetFileExists = new frmTargetFileExists(this);
    }
    frmTargetFileExists& dialog = *m_targetFileExists;
    dialog.lngBackColor = 0xFFFFC0;
    dialog.strEntryFilepath = entryFilepath;
    dialog.blnBoldFont = true;
    dialog.blnSingleFileOperation = singleFileOperation;
    dialog.blnSameFileExtensionMandatory = true;
    Prompt::ExecDialog(dialog);
    TargetFileExistsAnswer answer;
    answer.blnCancelOperationThisFile = dialog.blnCancelOperationThisFile;
    answer.blnCancelOperationAllFiles = dialog.blnCancelOperationThisFile && dialog.blnCancelOperationAllFiles;
    answer.strExitFilepath = dialog.strExitFilepath;
    return answer;
}

bool frmMain::openFile(const QString& path, bool showError) { return Shell::OpenFile(path, showError); }

void frmMain::qualityRange(qint16& from, qint16& to, qint16& step) const {
    from = intQualityFrom;
    to = intQualityTo;
    step = intQualityStep;
}

void frmMain::setQualityRange(qint16 from, qint16 to, qint16 step) {
    intQualityFrom = from;
    intQualityTo = to;
    intQualityStep = step;
}

int frmMain::topLineTop() const { return lblTopLine->y(); }

QRect frmMain::inputFolderBox() const { return txbFolderForImages[0]->geometry(); }

frmConvertSingleFile& frmMain::convertSingleFileDialog() {
    if (!m_convertSingleFile) {
        m_convertSingleFile = new frmConvertSingleFile(*this, this);
    }
    return *m_convertSingleFile;
}
