#include "scramble/frmScrambler.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTimer>
#include <tuple>

namespace {

const QString kQuestion = QStringLiteral("The text contains line breaks. Replace each line break by a blank?");
const QString kTooLong = QStringLiteral("The text is too long: at most 220 characters can be scrambled.");

// Windows-1252 bytes 128 to 159 as the code page's published table gives them.
const char16_t kWindows1252[32] = {u'€', u'\x81', u'‚',    u'ƒ', u'„',    u'…',    u'†', u'‡',    u'ˆ', u'‰', u'Š',
                                   u'‹', u'Œ',    u'\x8D', u'Ž', u'\x8F', u'\x90', u'‘', u'’',    u'“', u'”', u'•',
                                   u'–', u'—',    u'˜',    u'™', u'š',    u'›',    u'œ', u'\x9D', u'ž', u'Ÿ'};

// A text of the given length with blanks and quotes inside but not at its ends.
QString sample(int length) {
    QString text = QStringLiteral("The quick \"brown\" fox ").repeated(length / 20 + 1).left(length);
    text[length - 1] = QLatin1Char('!');
    return text;
}

class Scrambler : public ::testing::Test {
protected:
    void SetUp() override { Prompt::setProgramTitle(frmScrambler::ProgramTitle()); }
    ScriptedPrompts prompts;
    frmScrambler window;
};

TEST_F(Scrambler, BlocksLengthCharacterAndPadding) {
    // Rows: block, scrambled, unscrambled; positions missing from a short block are skipped.
    const std::tuple<const char*, const char*, const char*> blocks[] = {
        {"12345", "43152", "35214"}, {"1234", "4312", "3214"}, {"123", "312", "321"}};
    for (const auto& [in, scrambled, unscrambled] : blocks) {
        EXPECT_EQ(frmScrambler::ScrambleBlock(in), scrambled) << in;
        EXPECT_EQ(frmScrambler::UnscrambleBlock(in), unscrambled) << in;
    }
    // Five characters: no padding, length character "$" (code 36).
    EXPECT_EQ(window.Scramble("abcde"), "$dcaeb");
    // Three: a double quote (code 34) and two padding letters.
    const QString abc = window.Scramble("abc");
    ASSERT_EQ(abc.size(), 6);
    EXPECT_EQ(abc.at(0), QLatin1Char('"'));
    const QString unpermuted = frmScrambler::UnscrambleBlock(abc.mid(1));
    EXPECT_EQ(unpermuted.left(3), "abc");
    EXPECT_TRUE(QRegularExpression("^[a-z{]{2}$").match(unpermuted.mid(3)).hasMatch()) << unpermuted.toStdString();
    // One character: the length character is a blank, which Unscramble trims away, so a
    // padding letter is read as the length and the text does not come back.
    const QString a = window.Scramble("a");
    EXPECT_EQ(a.at(0), QLatin1Char(' '));
    EXPECT_EQ(frmScrambler::Unscramble(a).size(), 4);
    // 220 characters are the most (code 251); 221 give the error text.
    EXPECT_EQ(window.Scramble(sample(220)).at(0), QChar(0xFB));
    EXPECT_EQ(window.Scramble(sample(221)), kTooLong);
    EXPECT_EQ(window.Scramble("  " + sample(220) + "  ").size(), 221) << "blanks at the ends do not count";
}

TEST_F(Scrambler, RoundTripsStandInsAndMalformedTexts) {
    for (int length = 2; length <= 220; ++length) {
        const QString plain = sample(length);
        const QString scrambled = window.Scramble(plain);
        ASSERT_EQ(scrambled.size(), 1 + 5 * ((length + 4) / 5)) << length;
        const int code = length + 31;
        if (code >= 128 && code <= 159) {
            EXPECT_EQ(scrambled.at(0).unicode(), kWindows1252[code - 128]) << "code " << code;
        }
        EXPECT_FALSE(scrambled.mid(1).contains(QLatin1Char(' ')) || scrambled.mid(1).contains(QLatin1Char('"')));
        ASSERT_EQ(frmScrambler::Unscramble(scrambled), plain) << length;
    }
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble(QString::fromUtf8("aþbýc"))), QStringLiteral("a b\"c"));
    EXPECT_TRUE(window.Scramble("    ").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble(QStringLiteral("\x01") + "abcde").isEmpty()) << "negative length";
    // A character outside the code page reads as "?" (63): length 32, more than is there.
    EXPECT_EQ(frmScrambler::Unscramble(QString::fromUtf8("Ādcaeb")), "abcde");
}

TEST_F(Scrambler, LineBreakQuestionYesNoCancel) {
    const QString text = QStringLiteral(" one\r\ntwo \r\n");
    for (Answer answer : {Answer::Yes, Answer::No, Answer::Cancel, Answer::Yes}) {
        prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", answer);
    }
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble(text)), "one two");
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble(text)), "one\r\ntwo \r\n");
    EXPECT_TRUE(window.Scramble(text).isEmpty());
    EXPECT_TRUE(window.Scramble("\r\n \r\n").isEmpty()) << "nothing is left once the line breaks go";
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble("a\nb")), "a\nb") << "a line feed alone is no line break";
}

TEST_F(Scrambler, ToolWindowButtons) {
    const auto box = [this](int i) {
        const char* names[] = {"txbString", "txbScrambledString", "txbUnscrambledString"};
        return window.findChild<QPlainTextEdit*>(names[i]);
    };
    const auto text = [&](int i) { return box(i)->document()->toRawText(); };
    const auto length = [this](int i) {
        return window.findChild<QLabel*>(QStringLiteral("lblLength_%1").arg(i))->text();
    };
    const auto click = [this](const QString& name) { window.findChild<QPushButton*>(name)->click(); };
    EXPECT_EQ(window.windowTitle(), "Vornask string scrambler");
    EXPECT_EQ(length(0) + length(1) + length(2), "");
    click("cmdCopyToClipboard_1");
    EXPECT_FALSE(prompts.clipboardWritten) << "an empty box leaves the clipboard alone";

    // Line breaks kept: the scrambled text holds CR and LF apart, and the boxes give them back as they were.
    box(0)->setPlainText("line1\nline2");
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::No);
    click("cmdScramble");
    EXPECT_EQ(length(1), "Length = 16");
    click("cmdUnscramble");
    EXPECT_EQ(length(2), "Length = 12");
    click("cmdCheck");  // equal: no message
    click("cmdCopyToClipboard_1");
    EXPECT_EQ(frmScrambler::Unscramble(prompts.clipboard), "line1\r\nline2");
    click("cmdCopyToClipboard_2");
    EXPECT_EQ(prompts.clipboard, "line1\r\nline2");
    for (int i = 0; i < 3; ++i) {
        click(QStringLiteral("cmdClear_%1").arg(i));
        EXPECT_EQ(text(i) + length(i), "") << i;
    }
    click("cmdCheck");  // both empty: no message

    // Pasting the string runs Scramble, Unscramble and Check. Length 129 makes the length
    // character a no-break space, which must survive the boxes.
    prompts.clipboard = sample(129);
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(box(1)->document()->toRawText().at(0), QChar(0xA0));
    EXPECT_EQ(text(2), sample(129));
    EXPECT_EQ(length(0), "Length = 129");
    prompts.clipboard = sample(221);
    prompts.expectMsgBox("The unscrambled string differs from the string.", Buttons::Ok, Icon::None, "Check failed");
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(text(1), kTooLong);
    prompts.clipboard = "line1 line2";
    click("cmdPasteFromClipboard_2");
    EXPECT_EQ(length(2), "Length = 11");

    // Yes puts the cleaned text back into the box, so the check that follows finds it restored.
    prompts.clipboard = "first\r\nsecond";
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Yes);
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(text(0), "first second");

    QTimer::singleShot(0, &window, [&] { click("cmdQuit"); });
    // Without Quit the loop would run on; the watchdog then ends it with 1.
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
}

}  // namespace
