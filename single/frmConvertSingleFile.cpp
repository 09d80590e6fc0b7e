#include "single/frmConvertSingleFile.h"

#include "fs/StrProc.h"
#include "platform/Prompt.h"
#include "platform/Twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Designed measurements, in twips.
constexpr double kMargin = 105;
constexpr double kRightGap = 200;
constexpr double kButtonWidth = 1800;
constexpr double kButtonHeight = 360;
constexpr double kCheckHeight = 285;
constexpr double kLabelHeight = 255;
constexpr double kBoxHeight = 330;
constexpr double kHeightWithoutQuality = 2500;
constexpr double kHeightWithQuality = 3000;
// "Warn on overwrite" spans the width of the two check boxes' column plus the
// buttons' column, so that "View in browser" below it ends left of the buttons.
constexpr double kWarnOnOverwriteWidth = 3600;
constexpr double kViewInBrowserWidth = 1700;

// A designed width before the first showing sizes the window after the main window.
constexpr double kInitialWidth = 6000;

double twipsOf(int pixels) {
    return Twips::fromPixels(pixels);
}

// The numeric value of a cleaned quality text: its digits, after at most one "+".
// A lone "+" counts as 0, which no quality range accepts.
qint16 qualityValue(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    // The boxes hold at most three characters, so a value always fits.
    return ok ? static_cast<qint16>(value) : qint16(0);
}

}  // namespace

frmConvertSingleFile::frmConvertSingleFile(SingleFileDialogHost& host, QWidget* parent)
    : QDialog(parent), m_host(host) {
    setObjectName(QStringLiteral("frmConvertSingleFile"));
    setWindowTitle(QStringLiteral("Convert single file"));
    createControls();
    setAccessibility();

    connect(chkJPG, &QCheckBox::toggled, this, &frmConvertSingleFile::chkJPG_Click);
    connect(chkBMP, &QCheckBox::toggled, this, &frmConvertSingleFile::chkFormat_Click);
    connect(chkPNG, &QCheckBox::toggled, this, &frmConvertSingleFile::chkFormat_Click);
    connect(chkWarnOnOverwrite, &QCheckBox::toggled, this, &frmConvertSingleFile::chkOption_Click);
    connect(chkViewInBrowser, &QCheckBox::toggled, this, &frmConvertSingleFile::chkOption_Click);
    connect(cboStep, &QComboBox::activated, this, &frmConvertSingleFile::cboStep_Click);
    connect(cmdDoIt, &QPushButton::clicked, this, &frmConvertSingleFile::cmdDoIt_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConvertSingleFile::cmdCancel_Click);

    Form_Load();
    m_freshOnNextShowing = false;
}

void frmConvertSingleFile::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // A window closed through its frame is gone; the program would create it anew.
        if (m_freshOnNextShowing) {
            Form_Load();
            m_freshOnNextShowing = false;
        }
        showingSequence();
    }
    QDialog::setVisible(visible);
}

void frmConvertSingleFile::reject() {
    cmdCancel_Click();
}

void frmConvertSingleFile::closeEvent(QCloseEvent* event) {
    m_freshOnNextShowing = true;
    QDialog::closeEvent(event);
}

void frmConvertSingleFile::chkJPG_Click() {
    applyQualityLayout();
    update();
    cmdDoIt->setFocus();
}

void frmConvertSingleFile::chkFormat_Click() {
    cmdDoIt->setFocus();
}

void frmConvertSingleFile::chkOption_Click() {
    // The showing sequence sets these boxes too; the focus is its business then.
    if (isVisible()) {
        cmdDoIt->setFocus();
    }
}

void frmConvertSingleFile::cboStep_Click() {
    if (isVisible()) {
        cmdDoIt->setFocus();
    }
}

void frmConvertSingleFile::cmdDoIt_Click() {
    if (!chkBMP->isChecked() && !chkPNG->isChecked() && !chkJPG->isChecked()) {
        Prompt::MsgBox(QStringLiteral("No file format selected."), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                       QStringLiteral("Input error"));
        return;
    }

    if (chkJPG->isChecked()) {
        for (QLineEdit* box : txbQuality) {
            QString text = box->text();
            StrProc::CleanNumericText(text, false);
            box->setText(text);
        }
        QLineEdit* txbFrom = txbQuality[0];
        QLineEdit* txbTo = txbQuality[1];
        if (txbFrom->text().isEmpty() && txbTo->text().isEmpty()) {
            Prompt::MsgBox(QStringLiteral("No qualitiy specified."), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                           QStringLiteral("Input error"));
            return;
        }
        // A single value is a range of one quality.
        if (txbTo->text().isEmpty()) {
            txbTo->setText(txbFrom->text());
        } else if (txbFrom->text().isEmpty()) {
            txbFrom->setText(txbTo->text());
        }
        const qint16 from = qualityValue(txbFrom->text());
        const qint16 to = qualityValue(txbTo->text());
        const qint16 min = m_host.minQuality();
        const qint16 max = m_host.maxQuality();
        if (from < min || from > max || to < min || to > max) {
            Prompt::MsgBox(QStringLiteral("For conversion to JPG the quality must be in the range %1 through %2.")
                               .arg(min)
                               .arg(max),
                           Prompt::Buttons::Ok, Prompt::Icon::None, QStringLiteral("Input error"));
            return;
        }
        qint16 step = static_cast<qint16>(cboStep->currentText().toInt());
        if (to < from) {
            step = static_cast<qint16>(-step);
        }
        m_host.setQualityRange(from, to, step);
    }

    blnAccept = true;
    done(QDialog::Accepted);
}

void frmConvertSingleFile::cmdCancel_Click() {
    done(QDialog::Rejected);
}

void frmConvertSingleFile::createControls() {
    txbFile = new QLineEdit(this);
    txbFile->setObjectName(QStringLiteral("txbFile"));
    txbFile->setReadOnly(true);
    place(txbFile, kMargin, 105, kInitialWidth - kMargin - kRightGap, kBoxHeight);

    // The caption of the file box lies outside the window's visible area.
    lblFile = new QLabel(QStringLiteral("File:"), this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setBuddy(txbFile);
    place(lblFile, -1000, 105, 600, kLabelHeight);
    lblFile->hide();

    lblToBeConvertedTo[1] = new QLabel(QStringLiteral("to be converted to"), this);
    lblToBeConvertedTo[1]->setObjectName(QStringLiteral("lblToBeConvertedTo(1)"));
    place(lblToBeConvertedTo[1], kMargin, 525, 2400, kLabelHeight);
    lblToBeConvertedTo[0] = new QLabel(QStringLiteral("(check one or more):"), this);
    lblToBeConvertedTo[0]->setObjectName(QStringLiteral("lblToBeConvertedTo(0)"));
    place(lblToBeConvertedTo[0], kMargin, 840, 2400, kLabelHeight);

    chkBMP = new QCheckBox(QStringLiteral("BMP"), this);
    chkBMP->setObjectName(QStringLiteral("chkBMP"));
    place(chkBMP, kMargin, 1155, 1200, kCheckHeight);
    chkPNG = new QCheckBox(QStringLiteral("PNG"), this);
    chkPNG->setObjectName(QStringLiteral("chkPNG"));
    place(chkPNG, kMargin, 1470, 1200, kCheckHeight);
    chkJPG = new QCheckBox(QStringLiteral("JPG"), this);
    chkJPG->setObjectName(QStringLiteral("chkJPG"));
    place(chkJPG, kMargin, 1785, 1200, kCheckHeight);

    fraQuality = new QFrame(this);
    fraQuality->setObjectName(QStringLiteral("fraQuality"));
    fraQuality->setFrameShape(QFrame::NoFrame);
    place(fraQuality, kMargin, 2100, 3480, 435);

    lblQuality = new QLabel(QStringLiteral("Quality:"), fraQuality);
    lblQuality->setObjectName(QStringLiteral("lblQuality"));
    place(lblQuality, 0, 45, 800, kLabelHeight);
    for (int index = 0; index < 2; ++index) {
        txbQuality[index] = new QLineEdit(fraQuality);
        txbQuality[index]->setObjectName(QStringLiteral("txbQuality(%1)").arg(index));
        txbQuality[index]->setMaxLength(3);
    }
    place(txbQuality[0], 870, 0, 500, kBoxHeight);
    lblQuality->setBuddy(txbQuality[0]);
    lblTo = new QLabel(QStringLiteral("to"), fraQuality);
    lblTo->setObjectName(QStringLiteral("lblTo"));
    place(lblTo, 1430, 45, 240, kLabelHeight);
    place(txbQuality[1], 1680, 0, 500, kBoxHeight);
    lblTo->setBuddy(txbQuality[1]);
    lblStep = new QLabel(QStringLiteral("step"), fraQuality);
    lblStep->setObjectName(QStringLiteral("lblStep"));
    place(lblStep, 2200, 45, 480, kLabelHeight);
    cboStep = new QComboBox(fraQuality);
    cboStep->setObjectName(QStringLiteral("cboStep"));
    place(cboStep, 2700, 0, 645, kBoxHeight);
    lblStep->setBuddy(cboStep);

    chkWarnOnOverwrite = new QCheckBox(QStringLiteral("Warn on overwrite"), this);
    chkWarnOnOverwrite->setObjectName(QStringLiteral("chkWarnOnOverwrite"));
    place(chkWarnOnOverwrite, 2200, 840, kWarnOnOverwriteWidth, kCheckHeight);
    chkViewInBrowser = new QCheckBox(QStringLiteral("View in browser"), this);
    chkViewInBrowser->setObjectName(QStringLiteral("chkViewInBrowser"));
    place(chkViewInBrowser, 2200, 1170, kViewInBrowserWidth, kCheckHeight);

    cmdDoIt = new QPushButton(QStringLiteral("Convert file"), this);
    cmdDoIt->setObjectName(QStringLiteral("cmdDoIt"));
    cmdDoIt->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    const double buttonLeft = kInitialWidth - kButtonWidth - kRightGap;
    place(cmdDoIt, buttonLeft, 1260, kButtonWidth, kButtonHeight);
    place(cmdCancel, buttonLeft, 1680, kButtonWidth, kButtonHeight);

    // The order in which the window reads: the file, the formats with their
    // qualities, the options, then the buttons.
    setTabOrder(txbFile, chkBMP);
    setTabOrder(chkBMP, chkPNG);
    setTabOrder(chkPNG, chkJPG);
    setTabOrder(chkJPG, txbQuality[0]);
    setTabOrder(txbQuality[0], txbQuality[1]);
    setTabOrder(txbQuality[1], cboStep);
    setTabOrder(cboStep, chkWarnOnOverwrite);
    setTabOrder(chkWarnOnOverwrite, chkViewInBrowser);
    setTabOrder(chkViewInBrowser, cmdDoIt);
    setTabOrder(cmdDoIt, cmdCancel);

    fraQuality->hide();
    setWindowSize(kInitialWidth, kHeightWithoutQuality);
}

void frmConvertSingleFile::setAccessibility() {
    txbFile->setAccessibleName(QStringLiteral("File"));
    lblFile->setAccessibleName(lblFile->text());
    lblToBeConvertedTo[1]->setAccessibleName(lblToBeConvertedTo[1]->text());
    lblToBeConvertedTo[0]->setAccessibleName(lblToBeConvertedTo[0]->text());
    chkBMP->setAccessibleName(QStringLiteral("BMP"));
    chkPNG->setAccessibleName(QStringLiteral("PNG"));
    chkJPG->setAccessibleName(QStringLiteral("JPG"));
    fraQuality->setAccessibleName(QStringLiteral("JPG quality"));
    lblQuality->setAccessibleName(QStringLiteral("Quality:"));
    txbQuality[0]->setAccessibleName(QStringLiteral("Quality from"));
    lblTo->setAccessibleName(QStringLiteral("to"));
    txbQuality[1]->setAccessibleName(QStringLiteral("Quality to"));
    lblStep->setAccessibleName(QStringLiteral("step"));
    cboStep->setAccessibleName(QStringLiteral("Step"));
    // The open list takes the focus; it is announced by the same name.
    cboStep->view()->setAccessibleName(cboStep->accessibleName());
    chkWarnOnOverwrite->setAccessibleName(QStringLiteral("Warn on overwrite"));
    chkViewInBrowser->setAccessibleName(QStringLiteral("View in browser"));
    cmdDoIt->setAccessibleName(QStringLiteral("Convert file"));
    cmdCancel->setAccessibleName(QStringLiteral("Cancel"));
}

void frmConvertSingleFile::Form_Load() {
    cboStep->clear();
    cboStep->addItems({QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30")});
    cboStep->setCurrentIndex(1);
    txbQuality[0]->setText(QStringLiteral("100"));
    txbQuality[1]->clear();
    chkViewInBrowser->setChecked(false);
}

void frmConvertSingleFile::showingSequence() {
    // Over the main window, below its hint line, as wide as the input folder box.
    const QRect frame = m_host.mainWindowFrame();
    const QRect folderBox = m_host.inputFolderBox();
    const double top = twipsOf(frame.y()) + twipsOf(m_host.topLineTop()) + 300;
    const double left = twipsOf(frame.x()) + twipsOf(folderBox.x()) + 10;
    move(Twips::toPixels(left), Twips::toPixels(top));
    setWindowSize(twipsOf(folderBox.width()), twipsOf(height()));

    const double windowWidth = twipsOf(width());
    place(txbFile, twipsOf(txbFile->x()), twipsOf(txbFile->y()), windowWidth - twipsOf(txbFile->x()) - kRightGap,
          twipsOf(txbFile->height()));
    const double buttonLeft = windowWidth - twipsOf(cmdDoIt->width()) - kRightGap;
    cmdDoIt->move(Twips::toPixels(buttonLeft), cmdDoIt->y());
    cmdCancel->move(cmdDoIt->x(), cmdCancel->y());
    const double warnLeft = twipsOf(txbFile->x()) + twipsOf(txbFile->width()) - twipsOf(chkWarnOnOverwrite->width());
    const double warnTop = twipsOf(lblToBeConvertedTo[0]->y());
    chkWarnOnOverwrite->move(Twips::toPixels(warnLeft), Twips::toPixels(warnTop));
    chkViewInBrowser->move(chkWarnOnOverwrite->x(), Twips::toPixels(twipsOf(chkWarnOnOverwrite->y()) + 330));

    // The end of a long path is the part that tells files apart.
    txbFile->end(false);

    chkBMP->setChecked(false);
    chkJPG->setChecked(false);
    chkPNG->setChecked(false);
    chkBMP->setEnabled(true);
    chkJPG->setEnabled(true);
    chkPNG->setEnabled(true);
    fraQuality->hide();

    // The input's own format is no target.
    const QString inputFormat = strFilepath.right(3).toUpper();
    if (inputFormat == QLatin1String("BMP")) {
        chkBMP->setEnabled(false);
    } else if (inputFormat == QLatin1String("JPG")) {
        chkJPG->setEnabled(false);
    } else if (inputFormat == QLatin1String("PNG")) {
        chkPNG->setEnabled(false);
    }

    setWindowSize(windowWidth, kHeightWithoutQuality);
    chkWarnOnOverwrite->setChecked(true);

    // A range of one value is not offered again as such.
    if (txbQuality[1]->text() == txbQuality[0]->text()) {
        txbQuality[1]->clear();
    }

    blnAccept = false;
    cmdCancel->setFocus();
}

void frmConvertSingleFile::applyQualityLayout() {
    const bool withQuality = chkJPG->isChecked();
    fraQuality->setVisible(withQuality);
    const double buttonLeft = twipsOf(cmdDoIt->x());
    place(cmdDoIt, buttonLeft, withQuality ? 1760 : 1260, kButtonWidth, kButtonHeight);
    place(cmdCancel, buttonLeft, withQuality ? 2180 : 1680, kButtonWidth, kButtonHeight);
    setWindowSize(twipsOf(width()), withQuality ? kHeightWithQuality : kHeightWithoutQuality);
}

void frmConvertSingleFile::place(QWidget* control, double left, double top, double width, double height) {
    control->setGeometry(Twips::rect(left, top, width, height));
}

void frmConvertSingleFile::setWindowSize(double widthTwips, double heightTwips) {
    // The program sizes this window; the user does not.
    setFixedSize(Twips::toPixels(widthTwips), Twips::toPixels(heightTwips));
}
