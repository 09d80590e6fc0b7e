#pragma once

#include <QColor>
#include <QDialog>
#include <QString>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "File exists": asked when the result file of a conversion is already there.
// The user overwrites it, writes the result under another name (edited in
// place and checked before it is accepted), skips this file or, in a batch,
// cancels the whole operation. The dialog neither writes nor deletes files.
//
// The caller sets the members marked "caller", shows the dialog through
// Prompt::ExecDialog and reads the answer members once it is hidden. The
// selected option carries over to the next showing. Closing the window other
// than through "Continue" (Escape, close box) skips this file; after the close
// box the next showing starts from a freshly created dialog.
class frmTargetFileExists : public QDialog {
    Q_OBJECT

public:
    // mainWindow: the window whose lower right corner the dialog sits in (also its parent).
    explicit frmTargetFileExists(QWidget* mainWindow = nullptr);

    // Runs the showing steps before the window appears.
    void setVisible(bool visible) override;
    // Escape and the close box: this file is skipped (the preset answer stands).
    void reject() override;

    // The colour of a classic 32-bit colour value 0x00BBGGRR (red in the low byte).
    static QColor colorFromValue(quint32 value);

    // Caller: true in a single-file operation, which offers no "all files" choice.
    bool blnSingleFileOperation = false;
    // Answer: do not write this result file.
    bool blnCancelOperationThisFile = true;
    // Answer: stop the whole operation; only ever true together with blnCancelOperationThisFile.
    bool blnCancelOperationAllFiles = false;
    // Caller: an edited name must keep the extension of the entry path.
    bool blnSameFileExtensionMandatory = true;
    // Caller: show the path, the prompt and the choices in bold.
    bool blnBoldFont = true;
    // Caller: background of the window, its labels and choices, as 0x00BBGGRR;
    // the program passes 0xFFFFC0, which is RGB(192, 255, 255). Read when the
    // dialog is (re)created, that is at its first showing.
    quint32 lngBackColor = 0x00FFFFC0;
    // Caller: full path of the existing result file; trimmed of blanks on showing.
    QString strEntryFilepath;
    // Answer: the path to write to; empty when the file is to be skipped.
    QString strExitFilepath;
    // Extension of strEntryFilepath, lower case, empty if it has none.
    QString strExtension;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void optOverwrite_Click(bool checked);
    void optChooseFilename_Click(bool checked);
    void optCancelOperationThisFile_Click(bool checked);
    void optCancelOperationAllFiles_Click(bool checked);
    void cmdContinue_Click();

    void createControls();
    void setAccessibility();
    void Form_Load();
    void showingSequence();
    // The state "Choose a different filename" stands for: hint beside Continue, path editable.
    void offerEditing();
    void endEditing();
    // Tab reaches the options at the selected one.
    void moveTabStopToSelection();
    // Checks the edited name; true when it is accepted.
    bool acceptNewFilename();

    QWidget* m_mainWindow;
    bool m_freshOnNextShowing = true;

    QLineEdit* txbFilepath = nullptr;
    QLabel* lblFileExists = nullptr;
    QRadioButton* optOverwrite = nullptr;
    QRadioButton* optChooseFilename = nullptr;
    QRadioButton* optCancelOperationThisFile = nullptr;
    QRadioButton* optCancelOperationAllFiles = nullptr;
    QLabel* lblEditFilename = nullptr;
    QPushButton* cmdContinue = nullptr;
};
