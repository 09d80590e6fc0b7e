#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <array>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// What the single-file dialog needs of the main window. Geometry is in logical
// pixels, as Qt reports it; the dialog does its layout arithmetic in twips.
class SingleFileDialogHost {
public:
    virtual ~SingleFileDialogHost() = default;

    // intMinQuality and intMaxQuality: the limits of a JPG quality.
    virtual qint16 minQuality() const = 0;
    virtual qint16 maxQuality() const = 0;
    // Stores intQualityFrom, intQualityTo and intQualityStep (negative for a downward range).
    virtual void setQualityRange(qint16 from, qint16 to, qint16 step) = 0;

    // The main window's pos() and size().
    virtual QRect mainWindowFrame() const = 0;
    // Top of lblTopLine inside the main window.
    virtual int topLineTop() const = 0;
    // Geometry of txbFolderForImages(0) inside the main window.
    virtual QRect inputFolderBox() const = 0;
};

// "Convert single file": asks which formats one chosen image is to be converted
// to, and for JPG the range of qualities. It converts nothing; it checks the
// choices, stores the quality range in the main window and hides itself.
//
// The caller sets strFilepath and the text of txbFile, shows the dialog through
// Prompt::ExecDialog and, once it is hidden, reads blnAccept and the check boxes.
// Every showing places the window over the main window and resets the target
// boxes; the quality boxes, the step and "View in browser" keep what the user
// left in them. Closing the window through its frame counts as "Cancel" and the
// next showing starts from a freshly created dialog.
class frmConvertSingleFile : public QDialog {
    Q_OBJECT

public:
    explicit frmConvertSingleFile(SingleFileDialogHost& host, QWidget* parent = nullptr);

    // Runs the showing sequence before the window appears.
    void setVisible(bool visible) override;
    // Escape and the close box: the same as "Cancel".
    void reject() override;

    // True only after "Convert file" with every check passed.
    bool blnAccept = false;
    // Full path of the file to be converted; its last three characters give the input format.
    QString strFilepath;

    // The controls the caller reads after the dialog has closed.
    QLineEdit* txbFile = nullptr;
    QCheckBox* chkBMP = nullptr;
    QCheckBox* chkPNG = nullptr;
    QCheckBox* chkJPG = nullptr;
    QCheckBox* chkWarnOnOverwrite = nullptr;
    QCheckBox* chkViewInBrowser = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chkJPG_Click();
    void chkFormat_Click();
    void chkOption_Click();
    void cboStep_Click();
    void cmdDoIt_Click();
    void cmdCancel_Click();

    void createControls();
    void setAccessibility();
    // The state of a freshly created dialog: step 10, quality 100 to nothing, no browser.
    void Form_Load();
    void showingSequence();
    void applyQualityLayout();
    // Moves and sizes a control; arguments in twips.
    static void place(QWidget* control, double left, double top, double width, double height);
    void setWindowSize(double widthTwips, double heightTwips);

    SingleFileDialogHost& m_host;
    bool m_freshOnNextShowing = true;

    QLabel* lblFile = nullptr;
    std::array<QLabel*, 2> lblToBeConvertedTo{};
    QFrame* fraQuality = nullptr;
    QLabel* lblQuality = nullptr;
    std::array<QLineEdit*, 2> txbQuality{};
    QLabel* lblTo = nullptr;
    QLabel* lblStep = nullptr;
    QComboBox* cboStep = nullptr;
    QPushButton* cmdDoIt = nullptr;
    QPushButton* cmdCancel = nullptr;
};
