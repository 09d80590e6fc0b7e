#include "single/frmTargetFileExists.h"

#include "fs/FileProc.h"
#include "platform/PathStyle.h"
#include "platform/Prompt.h"
#include "platform/Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Designed measurements, in twips.
constexpr double kInnerWidth = 5055;
constexpr double kHeightSingleFile = 3000;
constexpr double kHeightBatch = 3420;
constexpr double kCornerGap = 100;
constexpr double kContinueAboveBottom = 800;

double twipsOf(int pixels) {
    return Twips::fromPixels(pixels);
}

void place(QWidget* control, double left, double top, double width, double height) {
    control->setGeometry(Twips::rect(left, top, width, height));
}

// Blanks only, as a path may well hold other white space on purpose.
QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

void setBold(QWidget* control, bool bold) {
    QFont font = control->font();
    font.setBold(bold);
    control->setFont(font);
}

}  // namespace

frmTargetFileExists::frmTargetFileExists(QWidget* mainWindow) : QDialog(mainWindow), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("frmTargetFileExists"));
    setWindowTitle(QStringLiteral("File exists"));
    createControls();
    setAccessibility();

    connect(optOverwrite, &QRadioButton::toggled, this, &frmTargetFileExists::optOverwrite_Click);
    connect(optChooseFilename, &QRadioButton::toggled, this, &frmTargetFileExists::optChooseFilename_Click);
    connect(optCancelOperationThisFile, &QRadioButton::toggled, this,
            &frmTargetFileExists::optCancelOperationThisFile_Click);
    connect(optCancelOperationAllFiles, &QRadioButton::toggled, this,
            &frmTargetFileExists::optCancelOperationAllFiles_Click);
    connect(cmdContinue, &QPushButton::clicked, this, &frmTargetFileExists::cmdContinue_Click);
}

void frmTargetFileExists::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // Created at the first showing, so that the caller's colour is known; a
        // window closed through its frame is created anew.
        if (m_freshOnNextShowing) {
            Form_Load();
            m_freshOnNextShowing = false;
        }
        showingSequence();
    }
    QDialog::setVisible(visible);
}

void frmTargetFileExists::reject() {
    // The answer preset on showing, "cancel this file", stands.
    done(QDialog::Rejected);
}

QColor frmTargetFileExists::colorFromValue(quint32 value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

void frmTargetFileExists::closeEvent(QCloseEvent* event) {
    m_freshOnNextShowing = true;
    QDialog::closeEvent(event);
}

void frmTargetFileExists::optOverwrite_Click(bool checked) {
    if (!checked) {
        return;
    }
    moveTabStopToSelection();
    cmdContinue->setFocus();
    endEditing();
    // Undoes any edit: what is overwritten is the file shown.
    txbFilepath->setText(strEntryFilepath);
}

void frmTargetFileExists::optChooseFilename_Click(bool checked) {
    if (!checked) {
        return;
    }
    moveTabStopToSelection();
    cmdContinue->setFocus();
    offerEditing();
}

void frmTargetFileExists::optCancelOperationThisFile_Click(bool checked) {
    if (!checked) {
        return;
    }
    moveTabStopToSelection();
    // Also selected while the dialog is being created, when there is no focus to give.
    if (isVisible()) {
        cmdContinue->setFocus();
    }
    endEditing();
}

void frmTargetFileExists::optCancelOperationAllFiles_Click(bool checked) {
    if (!checked) {
        return;
    }
    moveTabStopToSelection();
    cmdContinue->setFocus();
    endEditing();
}

void frmTargetFileExists::cmdContinue_Click() {
    if (optCancelOperationThisFile->isChecked()) {
        strExitFilepath.clear();
        blnCancelOperationThisFile = true;
        blnCancelOperationAllFiles = false;
    } else if (optCancelOperationAllFiles->isChecked()) {
        strExitFilepath.clear();
        blnCancelOperationThisFile = true;
        blnCancelOperationAllFiles = true;
    } else if (optOverwrite->isChecked()) {
        strExitFilepath = strEntryFilepath;
        blnCancelOperationThisFile = false;
        blnCancelOperationAllFiles = false;
    } else if (optChooseFilename->isChecked()) {
        if (!acceptNewFilename()) {
            return;
        }
    } else {
        return;
    }
    done(QDialog::Accepted);
}

bool frmTargetFileExists::acceptNewFilename() {
    const QString newPath = trimBlanks(txbFilepath->text());
    txbFilepath->setText(newPath);

    if (blnSameFileExtensionMandatory && FileProc::GetFileExtension(newPath) != strExtension) {
        Prompt::MsgBox(QStringLiteral("New filename must have extension .") + strExtension + QLatin1Char('.'),
                       Prompt::Buttons::Ok, Prompt::Icon::None, QStringLiteral("Error"));
        return false;
    }

    // A name without any folder has no folder to exist; it is not taken as the current folder.
    const QString folder = FileProc::GetFolderPart(newPath, PathStyle::native());
    if (folder.isEmpty() || !FileProc::FolderExists(folder)) {
        Prompt::MsgBox(QStringLiteral("Subdirectory does not exist."), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                       QStringLiteral("Error"));
        return false;
    }

    if (newPath.size() - folder.size() - strExtension.size() < 2) {
        Prompt::MsgBox(QStringLiteral("New filename is invalid."), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                       QStringLiteral("Error"));
        return false;
    }

    if (newPath != strEntryFilepath && FileProc::FileExists(newPath)) {
        const Prompt::Answer answer =
            Prompt::MsgBox(QStringLiteral("New filename already in use.  Overwrite file?"), Prompt::Buttons::YesNo,
                           Prompt::Icon::None, QStringLiteral("File exists"));
        if (answer != Prompt::Answer::Yes) {
            return false;
        }
    }

    strExitFilepath = newPath;
    blnCancelOperationThisFile = false;
    blnCancelOperationAllFiles = false;
    return true;
}

void frmTargetFileExists::createControls() {
    txbFilepath = new QLineEdit(this);
    txbFilepath->setObjectName(QStringLiteral("txbFilepath"));
    place(txbFilepath, 105, 105, 4845, 330);

    lblFileExists = new QLabel(QStringLiteral("This file already exists.   Please select from:"), this);
    lblFileExists->setObjectName(QStringLiteral("lblFileExists"));
    place(lblFileExists, 105, 525, 4740, 330);

    optOverwrite = new QRadioButton(QStringLiteral("Overwrite this file"), this);
    optOverwrite->setObjectName(QStringLiteral("optOverwrite"));
    place(optOverwrite, 105, 840, 4500, 435);
    optChooseFilename = new QRadioButton(QStringLiteral("Choose a different filename"), this);
    optChooseFilename->setObjectName(QStringLiteral("optChooseFilename"));
    place(optChooseFilename, 105, 1260, 4500, 435);
    optCancelOperationThisFile = new QRadioButton(QStringLiteral("Cancel the operation on this file"), this);
    optCancelOperationThisFile->setObjectName(QStringLiteral("optCancelOperationThisFile"));
    place(optCancelOperationThisFile, 105, 1680, 4500, 435);
    optCancelOperationAllFiles = new QRadioButton(QStringLiteral("Cancel the operation on all files"), this);
    optCancelOperationAllFiles->setObjectName(QStringLiteral("optCancelOperationAllFiles"));
    place(optCancelOperationAllFiles, 105, 2100, 4500, 435);

    lblEditFilename = new QLabel(QStringLiteral("Edit filename in the box above."), this);
    lblEditFilename->setObjectName(QStringLiteral("lblEditFilename"));
    place(lblEditFilename, 105, 2625, 4740, 330);
    lblEditFilename->setBuddy(txbFilepath);

    // Made after the hint, so that it lies above the hint's empty right-hand part.
    cmdContinue = new QPushButton(QStringLiteral("Continue"), this);
    cmdContinue->setObjectName(QStringLiteral("cmdContinue"));
    cmdContinue->setDefault(true);
    place(cmdContinue, 3675, 2625, 1275, 330);

    setTabOrder(txbFilepath, optOverwrite);
    setTabOrder(optOverwrite, optChooseFilename);
    setTabOrder(optChooseFilename, optCancelOperationThisFile);
    setTabOrder(optCancelOperationThisFile, optCancelOperationAllFiles);
    setTabOrder(optCancelOperationAllFiles, cmdContinue);

    setFixedSize(Twips::toPixels(kInnerWidth), Twips::toPixels(kHeightBatch));
}

void frmTargetFileExists::setAccessibility() {
    txbFilepath->setAccessibleName(QStringLiteral("File path"));
    txbFilepath->setAccessibleDescription(QStringLiteral("This file already exists."));
    lblFileExists->setAccessibleName(lblFileExists->text());
    optOverwrite->setAccessibleName(optOverwrite->text());
    optChooseFilename->setAccessibleName(optChooseFilename->text());
    optCancelOperationThisFile->setAccessibleName(optCancelOperationThisFile->text());
    optCancelOperationAllFiles->setAccessibleName(optCancelOperationAllFiles->text());
    lblEditFilename->setAccessibleName(lblEditFilename->text());
    cmdContinue->setAccessibleName(cmdContinue->text());
}

void frmTargetFileExists::Form_Load() {
    const QColor background = colorFromValue(lngBackColor);
    const QList<QWidget*> coloured{this,
                                   lblFileExists,
                                   optOverwrite,
                                   optCancelOperationThisFile,
                                   optCancelOperationAllFiles,
                                   optChooseFilename,
                                   lblEditFilename};
    for (QWidget* control : coloured) {
        QPalette palette = control->palette();
        palette.setColor(QPalette::Window, background);
        control->setPalette(palette);
    }

    // Selecting an option that is selected already changes nothing; its effect is wanted all the same.
    optCancelOperationThisFile->setChecked(true);
    endEditing();
}

void frmTargetFileExists::showingSequence() {
    strEntryFilepath = trimBlanks(strEntryFilepath);
    txbFilepath->setText(strEntryFilepath);
    strExtension = FileProc::GetFileExtension(strEntryFilepath);
    strExitFilepath.clear();
    txbFilepath->setReadOnly(true);
    blnCancelOperationThisFile = true;
    blnCancelOperationAllFiles = false;

    const QList<QWidget*> boldable{txbFilepath,
                                   lblFileExists,
                                   optOverwrite,
                                   optChooseFilename,
                                   optCancelOperationThisFile,
                                   optCancelOperationAllFiles,
                                   lblEditFilename};
    for (QWidget* control : boldable) {
        setBold(control, blnBoldFont);
    }

    if (blnSingleFileOperation) {
        // A choice left selected from a batch must not act unseen: it falls back to the preset answer.
        if (optCancelOperationAllFiles->isChecked()) {
            optCancelOperationThisFile->setChecked(true);
        }
        optCancelOperationAllFiles->hide();
        setFixedSize(width(), Twips::toPixels(kHeightSingleFile));
    } else {
        optCancelOperationAllFiles->show();
        setFixedSize(width(), Twips::toPixels(kHeightBatch));
    }

    if (m_mainWindow) {
        const QRect frame(m_mainWindow->pos(), m_mainWindow->size());
        const double top = twipsOf(frame.y()) + twipsOf(frame.height()) - twipsOf(height()) - kCornerGap;
        const double left = twipsOf(frame.x()) + twipsOf(frame.width()) - twipsOf(width()) - kCornerGap;
        move(Twips::toPixels(left), Twips::toPixels(top));
    }

    cmdContinue->move(cmdContinue->x(), Twips::toPixels(twipsOf(height()) - kContinueAboveBottom));

    // "Choose a different filename" carried over from the last showing offers its
    // box for editing again, beside a hint that sits with Continue.
    if (optChooseFilename->isChecked()) {
        offerEditing();
    }
    cmdContinue->setFocus();
}

void frmTargetFileExists::moveTabStopToSelection() {
    // Qt moves the group's one tab stop only when an option gets the focus, and
    // these options hand the focus on to Continue at once.
    for (QRadioButton* option :
         {optOverwrite, optChooseFilename, optCancelOperationThisFile, optCancelOperationAllFiles}) {
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void frmTargetFileExists::offerEditing() {
    lblEditFilename->move(lblEditFilename->x(), cmdContinue->y());
    lblEditFilename->show();
    txbFilepath->setReadOnly(false);
}

void frmTargetFileExists::endEditing() {
    lblEditFilename->hide();
    txbFilepath->setReadOnly(true);
}
