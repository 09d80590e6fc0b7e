// The main window's controls, their designed places, and the two layouts.
#include "app/frmMain.h"

#include "app/Links.h"
#include "platform/Twips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kBackground(192, 192, 255);
const QColor kNavy(0, 0, 128);
const QColor kDarkRed(192, 0, 0);

// The designed fonts; where a platform lacks them, a font of about the same
// widths stands in (so captions fit their designed places), else one of the same kind.
void registerFontSubstitutes() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
#ifdef Q_OS_WIN
    // Windows has both; its scalable twin stands in where the bitmap font lacks a size.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma")});
#else
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"),
                               {QStringLiteral("Liberation Mono"), QStringLiteral("Nimbus Mono PS"),
                                QStringLiteral("DejaVu Sans Mono")});
#endif
}

QFont sansFont(double points, bool bold) {
    registerFontSubstitutes();
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont reportFont() {
    registerFontSubstitutes();
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(9);
    return font;
}

}  // namespace

void frmMain::placeTw(QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(Twips::rect(left, top, width, height));
}

QPushButton* frmMain::makeButton(const QString& name, const QString& caption, double size, bool bold) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setFont(sansFont(size, bold));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
}

QLabel* frmMain::makeLabel(const QString& name, const QString& caption, double size, bool bold) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setFont(sansFont(size, bold));
    label->setAccessibleName(caption);
    return label;
}

// A link looks like underlined navy text; it takes the focus with Tab and opens with Enter or Space.
QLabel* frmMain::makeLink(const QString& name, const QString& caption, bool underlined) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    QFont font = sansFont(8.25, false);
    font.setUnderline(underlined);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"#\" style=\"color:%1;text-decoration:%2;\">%3</a>")
                       .arg(kNavy.name(), underlined ? QStringLiteral("underline") : QStringLiteral("none"),
                            caption.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setCursor(Qt::PointingHandCursor);
    label->setAccessibleName(caption + QStringLiteral(" (opens a web page)"));
    return label;
}

QCheckBox* frmMain::makeCheckBox(const QString& name, const QString& caption) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    box->setFont(sansFont(8.25, false));
    box->setAccessibleName(caption);
    return box;
}

void frmMain::createControls() {
    setObjectName(QStringLiteral("frmMain"));
    setFont(sansFont(8.25, false));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);
    setAutoFillBackground(true);

    cmdConvertSingleFile = makeButton(QStringLiteral("cmdConvertSingleFile"), QStringLiteral("Convert single file"), 9.75, true);
    placeTw(cmdConvertSingleFile, 105, 105, 2430, 360);

    lblConvertingFile = makeLabel(QStringLiteral("lblConvertingFile"), QStringLiteral("Converting file ..."), 9.75, true);
    lblConvertingFile->setAlignment(Qt::AlignCenter);
    {
        QPalette p = lblConvertingFile->palette();
        p.setColor(QPalette::WindowText, kDarkRed);
        lblConvertingFile->setPalette(p);
    }
    lblConvertingFile->hide();

    cmdStop = makeButton(QStringLiteral("cmdStop"), QStringLiteral("Stop"), 8.25, true);
    placeTw(cmdStop, 8715, 105, 645, 285);
    cmdStop->hide();

    lblTopLine = makeLabel(QStringLiteral("lblTopLine"),
                           QStringLiteral("To convert multiple files (batch operation) specify input images folder, etc."),
                           8.25, false);
    placeTw(lblTopLine, 2625, 180, 6630, 300);

    const char* folderCaptions[2] = {"Input images folder", "Output images folder"};
    const char* clearDescriptions[2] = {"Clears the input images folder", "Clears the output images folder"};
    for (int i = 0; i < 2; ++i) {
        const double top = i == 0 ? 525 : 945;
        cmdFolderForImages[i] = makeButton(QStringLiteral("cmdFolderForImages(%1)").arg(i),
                                           QString::fromLatin1(folderCaptions[i]), 9.75, true);
        placeTw(cmdFolderForImages[i], 105, top, 2430, 360);
        txbFolderForImages[i] = new QLineEdit(this);
        txbFolderForImages[i]->setObjectName(QStringLiteral("txbFolderForImages(%1)").arg(i));
        txbFolderForImages[i]->setFont(sansFont(9.75, true));
        // Named after the button beside it, whose caption tells the sighted user what the box holds.
        txbFolderForImages[i]->setAccessibleName(QString::fromLatin1(folderCaptions[i]));
        txbFolderForImages[i]->installEventFilter(this);
        placeTw(txbFolderForImages[i], 2625, top, 6000, 360);
        cmdClearFolderForImages[i] = makeButton(QStringLiteral("cmdClearFolderForImages(%1)").arg(i),
                                                QStringLiteral("Clear"), 8.25, false);
        // Both folder rows have a "Clear"; the description tells them apart.
        cmdClearFolderForImages[i]->setAccessibleDescription(QString::fromLatin1(clearDescriptions[i]));
        placeTw(cmdClearFolderForImages[i], 8715, top + 30, 645, 285);
    }

    const char* formatCaptions[2] = {"Input file format:", "Output file format:"};
    const double labelLeft[2] = {105, 3780}, labelWidth[2] = {1695, 1905};
    const double listLeft[2] = {1890, 5775}, listWidth[2] = {960, 1065};
    const double listButtonLeft[2] = {2940, 6930};
    for (int i = 0; i < 2; ++i) {
        lblFileFormat[i] = makeLabel(QStringLiteral("lblFileFormat(%1)").arg(i), QString::fromLatin1(formatCaptions[i]),
                                     9.75, true);
        lblFileFormat[i]->setAlignment(Qt::AlignRight | Qt::AlignTop);
        placeTw(lblFileFormat[i], labelLeft[i], 1470, labelWidth[i], 225);
        cboFileFormat[i] = new QComboBox(this);
        cboFileFormat[i]->setObjectName(QStringLiteral("cboFileFormat(%1)").arg(i));
        cboFileFormat[i]->setFont(sansFont(8.25, true));
        cboFileFormat[i]->setEditable(false);
        cboFileFormat[i]->setAccessibleName(QString::fromLatin1(formatCaptions[i]).chopped(1));
        // The open list takes the focus; it is announced by the same name.
        cboFileFormat[i]->view()->setAccessibleName(cboFileFormat[i]->accessibleName());
        lblFileFormat[i]->setBuddy(cboFileFormat[i]);
        placeTw(cboFileFormat[i], listLeft[i], 1470, listWidth[i], 315);
        cmdList[i] = makeButton(QStringLiteral("cmdList(%1)").arg(i), QStringLiteral("List"), 8.25, true);
        cmdList[i]->setAccessibleDescription(i == 0 ? QStringLiteral("Lists the input images folder")
                                                    : QStringLiteral("Lists the output images folder"));
        placeTw(cmdList[i], listButtonLeft[i], 1470, 645, 285);
    }

    lblQuality = makeLabel(QStringLiteral("lblQuality"), QStringLiteral("Quality:"), 9.75, true);
    lblQuality->setAlignment(Qt::AlignRight | Qt::AlignTop);
    placeTw(lblQuality, 7800, 1470, 855, 330);
    lblQuality->hide();
    txbQuality = new QLineEdit(QStringLiteral("80"), this);
    txbQuality->setObjectName(QStringLiteral("txbQuality"));
    txbQuality->setFont(sansFont(8.25, true));
    txbQuality->setMaxLength(3);
    txbQuality->setAccessibleName(QStringLiteral("Quality"));
    lblQuality->setBuddy(txbQuality);
    placeTw(txbQuality, 8700, 1470, 645, 315);
    txbQuality->hide();

    chkWarnOnOverwrite =
        makeCheckBox(QStringLiteral("chkWarnOnOverwrite"), QStringLiteral("Warn if about to overwrite existing file"));
    placeTw(chkWarnOnOverwrite, 105, 1785, 3480, 330);
    chkViewMultipleInBrowser = makeCheckBox(QStringLiteral("chkViewMultipleInBrowser"), QStringLiteral("View in browser"));
    placeTw(chkViewMultipleInBrowser, 4830, 1785, 2115, 330);
    chkLargeWindow = makeCheckBox(QStringLiteral("chkLargeWindow"), QStringLiteral("Large window"));
    placeTw(chkLargeWindow, 7930, 1785, 1395, 330);

    cmdConvertFiles = makeButton(QStringLiteral("cmdConvertFiles"), QStringLiteral("Convert files"), 9.75, true);
    placeTw(cmdConvertFiles, 105, 2100, 1905, 360);

    txbReport = new QPlainTextEdit(this);
    txbReport->setObjectName(QStringLiteral("txbReport"));
    txbReport->setFont(reportFont());
    txbReport->setReadOnly(true);
    txbReport->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txbReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txbReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txbReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txbReport->setPlainText(QStringLiteral("Text1"));
    txbReport->setAccessibleName(QStringLiteral("Report"));
    txbReport->setTabChangesFocus(true);
    placeTw(txbReport, 2100, 2110, 7260, 1975);

    const char* stateCaptions[2] = {"Save state", "Restore state"};
    for (int i = 0; i < 2; ++i) {
        cmdSaveState[i] =
            makeButton(QStringLiteral("cmdSaveState(%1)").arg(i), QString::fromLatin1(stateCaptions[i]), 9.75, true);
        placeTw(cmdSaveState[i], 105, i == 0 ? 2520 : 2940, 1905, 360);
    }
    cmdHelp = makeButton(QStringLiteral("cmdHelp"), QStringLiteral("Help"), 9.75, true);
    placeTw(cmdHelp, 105, 3360, 855, 360);
    cmdQuit = makeButton(QStringLiteral("cmdQuit"), QStringLiteral("Quit"), 9.75, true);
    placeTw(cmdQuit, 1155, 3360, 855, 360);

    lblTaldrin = makeLink(QStringLiteral("lblTaldrin"), QStringLiteral("Taldrin"), true);
    placeTw(lblTaldrin, 105, 4095, 1905, 285);
    lblEmailAddress = makeLabel(QStringLiteral("lblEmailAddress"), Links::kSupportEmail, 8.25, false);
    lblEmailAddress->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblEmailAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    {
        QPalette p = lblEmailAddress->palette();
        p.setColor(QPalette::WindowText, kNavy);
        lblEmailAddress->setPalette(p);
    }
    placeTw(lblEmailAddress, 105, 4340, 1905, 285);

    cmdClearFolderForImages[2] =
        makeButton(QStringLiteral("cmdClearFolderForImages(2)"), QStringLiteral("Clear report window"), 8.25, false);
    placeTw(cmdClearFolderForImages[2], 2100, 4215, 2000, 285);
    lblOnlineDocumentation = makeLink(QStringLiteral("lblOnlineDocumentation"), QStringLiteral("Online documentation"), true);
    placeTw(lblOnlineDocumentation, 4352, 4245, 2745, 285);
    lblOnlineDocumentation->hide();
    cmdCopyToClipboard = makeButton(QStringLiteral("cmdCopyToClipboard"), QStringLiteral("Copy to clipboard"), 8.25, false);
    placeTw(cmdCopyToClipboard, 7350, 4215, 2000, 285);
    // Where the link is, while a run hides it: "3 of 96 files", a value a screen reader reads too.
    prgFiles = new QProgressBar(this);
    prgFiles->setObjectName(QStringLiteral("prgFiles"));
    prgFiles->setFont(sansFont(8.25, false));
    prgFiles->setFormat(QStringLiteral("%v of %m files"));
    prgFiles->setAlignment(Qt::AlignCenter);
    prgFiles->setAccessibleName(QStringLiteral("Progress"));
    prgFiles->setGeometry(lblOnlineDocumentation->geometry());
    prgFiles->hide();

    // The tab order follows the window from top to bottom.
    QList<QWidget*> order = {cmdConvertSingleFile,   cmdStop,
                             cmdFolderForImages[0],  txbFolderForImages[0],
                             cmdClearFolderForImages[0], cmdFolderForImages[1],
                             txbFolderForImages[1],  cmdClearFolderForImages[1],
                             cboFileFormat[0],       cmdList[0],
                             cboFileFormat[1],       cmdList[1],
                             txbQuality,             chkWarnOnOverwrite,
                             chkViewMultipleInBrowser, chkLargeWindow,
                             cmdConvertFiles,        txbReport,
                             cmdSaveState[0],        cmdSaveState[1],
                             cmdHelp,                cmdQuit,
                             lblTaldrin,             cmdClearFolderForImages[2],
                             lblOnlineDocumentation, cmdCopyToClipboard};
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

double frmMain::screenWidthTw() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return Twips::fromPixels(s->geometry().width());
}

double frmMain::screenHeightTw() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return Twips::fromPixels(s->geometry().height());
}

void frmMain::chkLargeWindow_Click() { applyLayout(); }

void frmMain::applyLayout() {
    const double width = Twips::fromPixels(this->width());
    double height;
    double top;
    if (!chkLargeWindow->isChecked()) {
        height = intNormalHeight;
        top = (screenHeightTw() - height) / 2;
    } else {
        height = 0.9 * screenHeightTw();
        top = 300;
    }
    setFixedSize(Twips::toPixels(width), Twips::toPixels(height));
    move(pos().x(), Twips::toPixels(top));

    const double y = Twips::roundHalfEven(height - 760);
    QWidget* clearReport = cmdClearFolderForImages[2];
    const double clearLeft = Twips::fromPixels(clearReport->x());
    const double clearWidth = 2000;
    const double linkWidth = 2745;
    const double copyLeft = 7350;
    placeTw(clearReport, clearLeft, y, clearWidth, 285);
    placeTw(cmdCopyToClipboard, copyLeft, y, 2000, 285);
    placeTw(txbReport, 2100, 2110, 7260, height - 3000);
    const double gap = Twips::roundHalfEven((copyLeft - clearLeft - clearWidth - linkWidth) / 2);
    placeTw(lblOnlineDocumentation, clearLeft + clearWidth + gap, y + 30, linkWidth, 285);
    prgFiles->setGeometry(lblOnlineDocumentation->geometry());

    FocusNextStep();
}
