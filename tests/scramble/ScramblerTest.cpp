#include "scramble/frmScrambler.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QTimer>

namespace {

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;

const QString kQuestion = QStringLiteral("The text contains line breaks. Replace each line break by a blank?");
const QString kTooLong = QStringLiteral("The text is too long: at most 220 characters can be scrambled.");
const QString kCheckMessage = QStringLiteral("The unscrambled string differs from the string.");
const QString kCheckTitle = QStringLiteral("Check failed");

// Windows-1252 bytes 128 to 159 as the code page's published table gives them.
const char16_t kWindows1252[32] = {u'€', u'\x81', u'‚',    u'ƒ', u'„',    u'…',    u'†', u'‡',    u'ˆ', u'‰', u'Š',
                                   u'‹', u'Œ',    u'\x8D', u'Ž', u'\x8F', u'\x90', u'‘', u'’',    u'“', u'”', u'•',
                                   u'–', u'—',    u'˜',    u'™', u'š',    u'›',    u'œ', u'\x9D', u'ž', u'Ÿ'};

std::string s(const QString& text) {
    return text.toStdString();
}

// A text of the given length with blanks and quotes inside but not at its ends.
QString sample(int length) {
    const QString words = QStringLiteral("The quick brown fox \"jumps\" over the lazy dog. ");
    QString text;
    for (int i = 0; i < length; ++i) {
        text += words.at(i % words.size());
    }
    text[0] = QLatin1Char('T');
    text[length - 1] = QLatin1Char('!');
    return text;
}

class Scrambler : public ::testing::Test {
protected:
    void SetUp() override { Prompt::setProgramTitle(frmScrambler::ProgramTitle()); }
    TestSupport::ScriptedPrompts prompts;
    frmScrambler window;
};

TEST(ScrambleBlock, PermutesAndSkipsMissingPositions) {
    const struct {
        const char* in;
        const char* scrambled;
        const char* unscrambled;
    } cases[] = {{"12345", "43152", "35214"}, {"1234", "4312", "3214"}, {"123", "312", "321"}, {"", "", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(s(frmScrambler::ScrambleBlock(c.in)), c.scrambled) << c.in;
        EXPECT_EQ(s(frmScrambler::UnscrambleBlock(c.in)), c.unscrambled) << c.in;
    }
}

TEST_F(Scrambler, LengthCharacterAndPadding) {
    EXPECT_EQ(s(frmScrambler::ProgramTitle()), "Vornask");
    // Five characters: no padding, length character "$" (code 36).
    EXPECT_EQ(s(window.Scramble("abcde")), "$dcaeb");
    // Three: a double quote (code 34) and two padding letters.
    const QString abc = window.Scramble("abc");
    ASSERT_EQ(abc.size(), 6);
    EXPECT_EQ(abc.at(0), QLatin1Char('"'));
    const QString unpermuted = frmScrambler::UnscrambleBlock(abc.mid(1));
    EXPECT_EQ(s(unpermuted.left(3)), "abc");
    EXPECT_TRUE(QRegularExpression("^[a-z{]{2}$").match(unpermuted.mid(3)).hasMatch()) << s(unpermuted);
    // One character: the length character is a blank, which Unscramble trims away, so a
    // padding letter is read as the length and the text does not come back.
    const QString a = window.Scramble("a");
    EXPECT_EQ(a.at(0), QLatin1Char(' '));
    EXPECT_EQ(frmScrambler::Unscramble(a).size(), 4);
    // 220 characters are the most (code 251); 221 give the error text.
    EXPECT_EQ(window.Scramble(sample(220)).at(0), QChar(0xFB));
    EXPECT_EQ(s(window.Scramble(sample(221))), s(kTooLong));
    EXPECT_EQ(window.Scramble("  " + sample(220) + "  ").size(), 221) << "blanks at the ends do not count";
}

TEST_F(Scrambler, RoundTripsEveryLengthWithWindows1252LengthCharacters) {
    for (int length = 2; length <= 220; ++length) {
        const QString plain = sample(length);
        const QString scrambled = window.Scramble(plain);
        ASSERT_EQ(scrambled.size(), 1 + 5 * ((length + 4) / 5)) << length;
        const int code = length + 31;
        if (code >= 128 && code <= 159) {
            EXPECT_EQ(scrambled.at(0).unicode(), kWindows1252[code - 128]) << "code " << code;
        }
        EXPECT_FALSE(scrambled.mid(1).contains(QLatin1Char(' ')) || scrambled.mid(1).contains(QLatin1Char('"')));
        ASSERT_EQ(s(frmScrambler::Unscramble(scrambled)), s(plain)) << length;
    }
}

TEST_F(Scrambler, BlanksQuotesAndStandIns) {
    const QString scrambled = window.Scramble("  say \"hi\" now ");
    EXPECT_EQ(scrambled.count(QChar(0xFE)), 2);
    EXPECT_EQ(scrambled.count(QChar(0xFD)), 2);
    EXPECT_EQ(s(frmScrambler::Unscramble(scrambled)), "say \"hi\" now");
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble(QString::fromUtf8("aþbýc"))), QStringLiteral("a b\"c"));

    EXPECT_TRUE(window.Scramble("    ").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble("   ").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble(QStringLiteral("\x01"
                                                        "abcde"))
                    .isEmpty())
        << "negative length";
    // A character outside the code page reads as "?" (63): length 32, more than is there.
    EXPECT_EQ(s(frmScrambler::Unscramble(QString::fromUtf8("Ādcaeb"))), "abcde");
}

TEST_F(Scrambler, SameTextScrambledTwiceDiffersButRestoresAlike) {
    QSet<QString> seen;
    for (int i = 0; i < 8; ++i) {
        const QString scrambled = window.Scramble("abcdef");
        EXPECT_EQ(s(frmScrambler::Unscramble(scrambled)), "abcdef");
        seen.insert(scrambled);
    }
    EXPECT_GT(seen.size(), 1);
}

TEST_F(Scrambler, LineBreakQuestionYesNoCancel) {
    const QString text = QStringLiteral(" one\r\ntwo \r\n");
    for (Answer answer : {Answer::Yes, Answer::No, Answer::Cancel, Answer::Yes}) {
        prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", answer);
    }
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble(text))), "one two");
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble(text))), "one\r\ntwo \r\n");
    EXPECT_TRUE(window.Scramble(text).isEmpty());
    EXPECT_TRUE(window.Scramble("\r\n \r\n").isEmpty()) << "nothing is left once the line breaks go";
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble("a\nb"))), "a\nb") << "a line feed alone is no line break";
}

class ScramblerWindow : public Scrambler {
protected:
    QPlainTextEdit* box(int i) {
        const char* names[] = {"txbString", "txbScrambledString", "txbUnscrambledString"};
        return window.findChild<QPlainTextEdit*>(names[i]);
    }
    QString text(int i) { return box(i)->document()->toRawText(); }
    QString length(int i) { return window.findChild<QLabel*>(QStringLiteral("lblLength_%1").arg(i))->text(); }
    void click(const QString& name) {
        auto* button = window.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << s(name);
        button->click();
    }
};

TEST_F(ScramblerWindow, ScrambleUnscrambleAndCheck) {
    EXPECT_EQ(s(window.windowTitle()), "Vornask string scrambler");
    EXPECT_TRUE(length(0).isEmpty() && length(1).isEmpty() && length(2).isEmpty());
    for (auto* button : window.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->accessibleName().isEmpty()) << s(button->objectName());
    }

    box(0)->setPlainText("Hello world");
    click("cmdScramble");
    EXPECT_EQ(text(1).size(), 16);
    EXPECT_EQ(s(length(0)), "Length = 11");
    EXPECT_EQ(s(length(1)), "Length = 16");
    click("cmdUnscramble");
    EXPECT_EQ(s(text(2)), "Hello world");
    EXPECT_EQ(s(length(2)), "Length = 11");
    click("cmdCheck");  // equal: no message

    box(2)->setPlainText("Hello");
    prompts.expectMsgBox(kCheckMessage, Buttons::Ok, Icon::None, kCheckTitle);
    click("cmdCheck");
    prompts.verify();
    box(0)->clear();
    box(2)->clear();
    click("cmdCheck");  // both empty: no message

    // Yes puts the cleaned text back into the box.
    box(0)->setPlainText("first\nsecond");
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Yes);
    click("cmdScramble");
    EXPECT_EQ(s(text(0)), "first second");
    EXPECT_EQ(s(length(0)), "Length = 12");
}

TEST_F(ScramblerWindow, ClearAndCopy) {
    click("cmdCopyToClipboard_1");
    EXPECT_FALSE(prompts.clipboardWritten) << "an empty box leaves the clipboard alone";
    box(0)->setPlainText("line1\nline2");
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::No);
    click("cmdScramble");
    click("cmdUnscramble");
    // The scrambled text holds the CR and LF apart; the box must give them back as they were.
    click("cmdCopyToClipboard_1");
    EXPECT_EQ(s(frmScrambler::Unscramble(prompts.clipboard)), "line1\r\nline2");
    click("cmdCopyToClipboard_2");
    EXPECT_EQ(s(prompts.clipboard), "line1\r\nline2");
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(text(i).isEmpty() || length(i).isEmpty()) << i;
        click(QStringLiteral("cmdClear_%1").arg(i));
        EXPECT_TRUE(text(i).isEmpty() && length(i).isEmpty()) << i;
    }
}

TEST_F(ScramblerWindow, PastingTheStringRunsScrambleUnscrambleAndCheck) {
    // Length 129 makes the length character a no-break space, which must survive the boxes.
    prompts.clipboard = sample(129);
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(text(1).at(0), QChar(0xA0));
    EXPECT_EQ(s(text(2)), s(sample(129)));
    EXPECT_EQ(s(length(0)), "Length = 129");

    prompts.clipboard = sample(221);
    prompts.expectMsgBox(kCheckMessage, Buttons::Ok, Icon::None, kCheckTitle);
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(s(text(1)), s(kTooLong));
    EXPECT_EQ(s(length(0)), "Length = 221");

    prompts.clipboard = "pasted";
    click("cmdPasteFromClipboard_2");
    EXPECT_EQ(s(text(2)), "pasted");
    EXPECT_EQ(s(length(2)), "Length = 6");
}

TEST_F(ScramblerWindow, QuitEndsTheProgramsEventLoop) {
    QTimer::singleShot(0, &window, [this] { click("cmdQuit"); });
    // Without Quit the loop would run on; the watchdog then ends it with 1.
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
}

}  // namespace
