#include "scramble/frmScrambler.h"

#include "platform/Keyboard.h"
#include "platform/Prompt.h"

#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QTextDocument>
#include <QTime>
#include <cmath>

namespace {

constexpr qsizetype kMaxPlainLength = 220;
constexpr int kBlock = 5;
constexpr char16_t kBlankStandIn = u'\u00FE';  // þ, code 254
constexpr char16_t kQuoteStandIn = u'\u00FD';  // ý, code 253

// Windows-1252 bytes 128 to 159. The five bytes the code page leaves unassigned map to the
// control characters of the same number, as Windows itself converts them.
constexpr char16_t kCodes128to159[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The character that Windows-1252 assigns to a code from 0 to 255.
QChar charOfCode(int code) {
    if (code >= 128 && code <= 159) {
        return QChar(kCodes128to159[code - 128]);
    }
    return QChar(static_cast<char16_t>(code));
}

// The Windows-1252 code of a character; "?" (63) for a character the code page lacks,
// as the conversion to the code page substitutes it.
int codeOfChar(QChar c) {
    const char16_t u = c.unicode();
    if (u < 128 || (u >= 160 && u <= 255)) {
        return u;
    }
    for (int i = 0; i < 32; ++i) {
        if (kCodes128to159[i] == u) {
            return 128 + i;
        }
    }
    return 63;
}

// Only the blank character is trimmed; tabs and line breaks are part of the text.
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

QString permute(const QString& block, const std::array<int, 5>& order) {
    QString out;
    for (const int position : order) {
        if (position <= block.size()) {
            out += block.at(position - 1);
        }
    }
    return out;
}

QString lengthText(qsizetype length) {
    return QStringLiteral("Length = %1").arg(length);
}

// The fixed texts of this window and of the program's title, stored scrambled.
const QString& storedTitle() {
    static const QString text = QStringLiteral("&nrVaorusek");
    return text;
}
const QString& storedCaption() {
    static const QString text = QStringLiteral("7nrVaos\u00FEstkgnr\u00FEiarsmcrebkl");
    return text;
}
const QString& storedLineBreakQuestion() {
    static const QString text = QStringLiteral(
        "a\u00FEeTth\u00FEtecxatoinl\u00FEnisb\u00FEnreske."
        "ape\u00FElR\u00FEeaec\u00FEhalc\u00FEeibnkar\u00FEea\u00FEb\u00FEynabklyx?dk");
    return text;
}
const QString& storedTooLong() {
    static const QString text = QStringLiteral(
        "]\u00FEeTth\u00FEteixotso\u00FEno\u00FEglta:"
        "\u00FE\u00FEtsm\u00FEo\u00FE02c2arhcasrt\u00FEe\u00FEncbacser\u00FElbaembcdb.");
    return text;
}
const QString& storedCheckMessage() {
    static const QString text =
        QStringLiteral("N\u00FEeTuhrcnaselmdbrt\u00FEisd\u00FEnigrefsfor\u00FEmfeh\u00FE\u00FEtirsntkugg.");
    return text;
}
const QString& storedCheckTitle() {
    static const QString text = QStringLiteral("+ceCkhia\u00FElfpleyd");
    return text;
}

}  // namespace

frmScrambler::frmScrambler(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmScrambler"));
    setWindowTitle(QStringLiteral("Scrambler/Unscrambler"));
    buildControls();
    // On loading, the designed caption gives way to the stored one and the lengths are blank.
    setWindowTitle(Unscramble(storedCaption()));
    for (QLabel* label : m_lengths) {
        label->clear();
    }
}

QString frmScrambler::Unscramble(const QString& text) {
    QString work = trimBlanks(text);
    if (work.isEmpty()) {
        return QString();
    }
    const qsizetype length = codeOfChar(work.at(0)) - 31;
    if (length < 0) {
        // Not made by Scramble: a length below zero restores nothing.
        return QString();
    }
    work.replace(QChar(kQuoteStandIn), QLatin1Char('"'));
    work.replace(QChar(kBlankStandIn), QLatin1Char(' '));
    work.remove(0, 1);
    // Whole blocks, rounded: a tail of 3 or 4 characters is one more (short) block.
    const qsizetype blocks = (work.size() + 2) / kBlock;
    QString out;
    for (qsizetype b = 0; b < blocks; ++b) {
        out += UnscrambleBlock(work.mid(b * kBlock, kBlock));
    }
    return out.left(length);
}

QString frmScrambler::Scramble(const QString& text) {
    QString plain = trimBlanks(text);
    if (plain.isEmpty()) {
        return QString();
    }
    if (plain.contains(QLatin1String("\r\n"))) {
        switch (Prompt::MsgBox(Unscramble(storedLineBreakQuestion()), Prompt::Buttons::YesNoCancel)) {
            case Prompt::Answer::Yes:
                plain = trimBlanks(plain.replace(QLatin1String("\r\n"), QLatin1String(" ")));
                setBoxText(0, plain);
                break;
            case Prompt::Answer::No:
                break;
            default:
                return QString();
        }
        // Nothing but line breaks and blanks is as empty as nothing at all.
        if (plain.isEmpty()) {
            return QString();
        }
    }
    const qsizetype length = plain.size();
    showLength(0, length);
    if (length > kMaxPlainLength) {
        return Unscramble(storedTooLong());
    }
    // Any generator will do, as the padding is thrown away on restoring; seeding from the clock
    // on every call gives each scrambling its own padding.
    QRandomGenerator random(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()) ^
                            QRandomGenerator::system()->generate());
    while (plain.size() % kBlock != 0) {
        const double r = random.generateDouble();
        plain += charOfCode(static_cast<int>(std::nearbyint(r * 26 + 97)));
    }
    QString out;
    for (qsizetype b = 0; b < plain.size(); b += kBlock) {
        out += ScrambleBlock(plain.mid(b, kBlock));
    }
    out.replace(QLatin1Char(' '), QChar(kBlankStandIn));
    out.replace(QLatin1Char('"'), QChar(kQuoteStandIn));
    showLength(1, out.size() + 1);
    return charOfCode(static_cast<int>(length) + 31) + out;
}

QString frmScrambler::ScrambleBlock(const QString& block) {
    return permute(block, {4, 3, 1, 5, 2});
}

QString frmScrambler::UnscrambleBlock(const QString& block) {
    return permute(block, {3, 5, 2, 1, 4});
}

QString frmScrambler::ProgramTitle() {
    return Unscramble(storedTitle());
}

void frmScrambler::cmdScramble_Click() {
    setBoxText(1, Scramble(boxText(0)));
}

void frmScrambler::cmdUnscramble_Click() {
    setBoxText(2, Unscramble(boxText(1)));
    showLength(2, boxText(2).size());
}

void frmScrambler::cmdCheck_Click() {
    const QString plain = boxText(0);
    const QString restored = boxText(2);
    if (plain.isEmpty() && restored.isEmpty()) {
        return;
    }
    if (plain != restored) {
        Prompt::MsgBox(Unscramble(storedCheckMessage()), Prompt::Buttons::Ok, Prompt::Icon::None,
                       Unscramble(storedCheckTitle()));
    }
}

void frmScrambler::cmdClear_Click(int index) {
    setBoxText(index, QString());
    m_lengths[index]->clear();
}

void frmScrambler::cmdCopyToClipboard_Click(int index) {
    const QString text = boxText(index);
    if (!text.isEmpty()) {
        Prompt::SetClipboardText(text);
    }
}

void frmScrambler::cmdPasteFromClipboard_Click(int index) {
    setBoxText(index, Prompt::ClipboardText());
    if (index == 0) {
        cmdScramble_Click();
        cmdUnscramble_Click();
        cmdCheck_Click();
    }
    showLength(index, boxText(index).size());
}

void frmScrambler::cmdQuit_Click() {
    QCoreApplication::quit();
}

void frmScrambler::buildControls() {
    const QString boxNames[3] = {QStringLiteral("txbString"), QStringLiteral("txbScrambledString"),
                                 QStringLiteral("txbUnscrambledString")};
    const QString captions[3] = {QStringLiteral("String:"), QStringLiteral("Scrambled string:"),
                                 QStringLiteral("Unscrambled string:")};
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 3; ++i) {
        auto* caption = new QLabel(captions[i], this);
        caption->setObjectName(QStringLiteral("lblCaption_%1").arg(i));
        auto* length = new QLabel(QStringLiteral("Length = 219 "), this);
        length->setObjectName(QStringLiteral("lblLength_%1").arg(i));
        length->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* box = new QPlainTextEdit(this);
        box->setObjectName(boxNames[i]);
        box->setTabChangesFocus(true);
        QFont font(QStringLiteral("Courier New"), 10);
        font.setStyleHint(QFont::Monospace);
        box->setFont(font);
        caption->setBuddy(box);
        box->setAccessibleName(captions[i].chopped(1));
        length->setAccessibleName(captions[i].chopped(1) + QStringLiteral(" length"));

        auto* clear = new QPushButton(QStringLiteral("Clear"), this);
        auto* copy = new QPushButton(QStringLiteral("Copy to clipboard"), this);
        auto* paste = new QPushButton(QStringLiteral("Paste from clipboard"), this);
        clear->setObjectName(QStringLiteral("cmdClear_%1").arg(i));
        copy->setObjectName(QStringLiteral("cmdCopyToClipboard_%1").arg(i));
        paste->setObjectName(QStringLiteral("cmdPasteFromClipboard_%1").arg(i));
        for (QPushButton* button : {clear, copy, paste}) {
            // Three buttons share each caption; the description tells which box they serve.
            button->setAccessibleName(button->text());
            button->setAccessibleDescription(captions[i].chopped(1));
        }
        connect(clear, &QPushButton::clicked, this, [this, i] { cmdClear_Click(i); });
        connect(copy, &QPushButton::clicked, this, [this, i] { cmdCopyToClipboard_Click(i); });
        connect(paste, &QPushButton::clicked, this, [this, i] { cmdPasteFromClipboard_Click(i); });

        const int row = i * 2;
        grid->addWidget(caption, row, 0);
        grid->addWidget(length, row, 1);
        grid->addWidget(box, row + 1, 0, 1, 2);
        auto* side = new QVBoxLayout;
        side->addWidget(clear);
        side->addWidget(copy);
        side->addWidget(paste);
        side->addStretch();
        grid->addLayout(side, row + 1, 2);
        connect(box, &QPlainTextEdit::textChanged, this, [this, i] { takeTypedText(i); });
        m_boxes[i] = box;
        m_lengths[i] = length;
    }

    auto* row = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        void (frmScrambler::*handler)();
    } commands[] = {{"cmdScramble", "Scramble", &frmScrambler::cmdScramble_Click},
                    {"cmdUnscramble", "Unscramble", &frmScrambler::cmdUnscramble_Click},
                    {"cmdCheck", "Check", &frmScrambler::cmdCheck_Click},
                    {"cmdQuit", "Quit", &frmScrambler::cmdQuit_Click}};
    for (const auto& command : commands) {
        auto* button = new QPushButton(QString::fromLatin1(command.caption), this);
        button->setObjectName(QString::fromLatin1(command.name));
        button->setAccessibleName(button->text());
        connect(button, &QPushButton::clicked, this, command.handler);
        row->addWidget(button);
    }
    grid->addLayout(row, 6, 0, 1, 3);
    Keyboard::PressButtonsWithEnter(this);
    resize(640, 420);
}

QString frmScrambler::boxText(int index) const {
    return m_texts[index];
}

void frmScrambler::setBoxText(int index, const QString& text) {
    m_texts[index] = text;
    // The box shows paragraphs; a CR or LF on its own (a scrambled text keeps its line breaks'
    // halves apart) is shown as a break as well, but the text itself is kept as it is.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QScopedValueRollback<bool> quiet(m_settingText, true);
    m_boxes[index]->setPlainText(shown);
}

void frmScrambler::takeTypedText(int index) {
    if (m_settingText) {
        return;
    }
    // The raw text, because the plain one turns a no-break space (a length character, code 160)
    // into a blank. Typed line breaks become CR LF, as the routines expect them.
    QString text = m_boxes[index]->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
    m_texts[index] = text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void frmScrambler::showLength(int index, qsizetype length) {
    m_lengths[index]->setText(lengthText(length));
}
