#include "scramble/frmScrambler.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;

const QString kQuestion = QStringLiteral("The text contains line breaks. Replace each line break by a blank?");
const QString kTooLong = QStringLiteral("The text is too long: at most 220 characters can be scrambled.");
const QString kCheckMessage = QStringLiteral("The unscrambled string differs from the string.");
const QString kCheckTitle = QStringLiteral("Check failed");

// Windows-1252 bytes 128 to 159 as the code page's published table gives them.
const char16_t kWindows1252[32] = {u'€',    u'\x81', u'‚', u'ƒ', u'„', u'…', u'†', u'‡', u'ˆ', u'‰', u'Š',
                                   u'‹',    u'Œ',    u'\x8D', u'Ž', u'\x8F', u'\x90', u'‘', u'’', u'“', u'”', u'•',
                                   u'–',    u'—',    u'˜', u'™', u'š', u'›', u'œ', u'\x9D', u'ž', u'Ÿ'};

QString sample(int length) {
    QString text;
    for (int i = 0; i < length; ++i) {
        text += QChar(u"The quick brown fox \"jumps\" over the lazy dog. "[i % 49]);
    }
    // No blanks at either end: those are trimmed on purpose.
    text[0] = QLatin1Char('T');
    text[length - 1] = QLatin1Char('!');
    return text;
}

// The padding characters and the plain text inside a scrambled text.
QString unpermuted(const QString& scrambled) {
    QString body = scrambled.mid(1);
    body.replace(QChar(0xFD), QLatin1Char('"')).replace(QChar(0xFE), QLatin1Char(' '));
    QString out;
    for (qsizetype b = 0; b < body.size(); b += 5) {
        out += frmScrambler::UnscrambleBlock(body.mid(b, 5));
    }
    return out;
}

std::string s(const QString& text) { return text.toStdString(); }

class Scrambler : public ::testing::Test {
protected:
    void SetUp() override { Prompt::setProgramTitle(frmScrambler::ProgramTitle()); }
    TestSupport::ScriptedPrompts prompts;
    frmScrambler window;
};

TEST(ScrambleBlock, PermutesFiveAndSkipsMissingPositions) {
    const struct {
        const char* in;
        const char* scrambled;
        const char* unscrambled;
    } cases[] = {{"12345", "43152", "35214"}, {"1234", "4312", "3214"}, {"12", "12", "21"}, {"", "", ""},
                 {"123", "312", "321"}};
    for (const auto& c : cases) {
        EXPECT_EQ(s(frmScrambler::ScrambleBlock(c.in)), c.scrambled) << c.in;
        EXPECT_EQ(s(frmScrambler::UnscrambleBlock(c.in)), c.unscrambled) << c.in;
    }
    EXPECT_EQ(s(frmScrambler::UnscrambleBlock(frmScrambler::ScrambleBlock("abcde"))), "abcde");
}

TEST_F(Scrambler, ProgramTitleIsRestored) { EXPECT_EQ(s(frmScrambler::ProgramTitle()), "Vornask"); }

TEST_F(Scrambler, FiveCharactersNeedNoPadding) {
    EXPECT_EQ(s(window.Scramble("abcde")), "$dcaeb");
    EXPECT_EQ(s(frmScrambler::Unscramble("$dcaeb")), "abcde");
}

TEST_F(Scrambler, ShortTextIsPaddedWithLowerCaseLetters) {
    const QString scrambled = window.Scramble("abc");
    ASSERT_EQ(scrambled.size(), 6);
    EXPECT_EQ(scrambled.at(0), QLatin1Char('"')) << "length 3 is code 34";
    const QString plain = unpermuted(scrambled);
    EXPECT_EQ(s(plain.left(3)), "abc");
    EXPECT_TRUE(QRegularExpression("^[a-z{]{2}$").match(plain.mid(3)).hasMatch()) << s(plain);
    EXPECT_EQ(s(frmScrambler::Unscramble(scrambled)), "abc");
}

TEST_F(Scrambler, RoundTripsEveryLengthUpTo220) {
    for (int length = 2; length <= 220; ++length) {
        const QString plain = sample(length);
        const QString scrambled = window.Scramble(plain);
        ASSERT_EQ(scrambled.size(), 1 + 5 * ((length + 4) / 5)) << length;
        EXPECT_FALSE(scrambled.mid(1).contains(QLatin1Char(' '))) << length;
        EXPECT_FALSE(scrambled.mid(1).contains(QLatin1Char('"'))) << length;
        ASSERT_EQ(s(frmScrambler::Unscramble(scrambled)), s(plain)) << length;
    }
}

TEST_F(Scrambler, LengthCharacterFollowsWindows1252) {
    // Lengths 97 to 128 give length characters with codes 128 to 159.
    for (int code = 128; code <= 159; ++code) {
        const QString plain = sample(code - 31);
        const QString scrambled = window.Scramble(plain);
        EXPECT_EQ(scrambled.at(0).unicode(), kWindows1252[code - 128]) << "code " << code;
        EXPECT_EQ(s(frmScrambler::Unscramble(scrambled)), s(plain)) << "code " << code;
    }
    EXPECT_EQ(window.Scramble(sample(220)).at(0), QChar(0xFB)) << "code 251";
    EXPECT_EQ(window.Scramble(sample(129)).at(0), QChar(0xA0)) << "code 160";
}

TEST_F(Scrambler, LongerThan220GivesTheErrorText) {
    EXPECT_EQ(s(window.Scramble(sample(221))), s(kTooLong));
    // Blanks at the ends do not count.
    EXPECT_EQ(window.Scramble("  " + sample(220) + "  ").size(), 221);
}

TEST_F(Scrambler, OneCharacterHasABlankLengthCharacterAndDoesNotComeBack) {
    const QString scrambled = window.Scramble("a");
    ASSERT_EQ(scrambled.size(), 6);
    EXPECT_EQ(scrambled.at(0), QLatin1Char(' '));
    // Unscramble trims that blank and then reads a padding letter as the length.
    const QString restored = frmScrambler::Unscramble(scrambled);
    EXPECT_EQ(restored.size(), 4) << s(restored);
    EXPECT_EQ(restored.at(1), QLatin1Char('a'));
}

TEST_F(Scrambler, BlanksAndQuotesAreStoredAsStandIns) {
    const QString scrambled = window.Scramble("  say \"hi\" now ");
    EXPECT_EQ(scrambled.count(QChar(0xFE)), 2);
    EXPECT_EQ(scrambled.count(QChar(0xFD)), 2);
    EXPECT_EQ(s(frmScrambler::Unscramble(scrambled)), "say \"hi\" now");
    // Stand-ins in the plain text come back as what they stand for.
    EXPECT_EQ(frmScrambler::Unscramble(window.Scramble(QString::fromUtf8("aþbýc"))), QStringLiteral("a b\"c"));
}

TEST_F(Scrambler, EmptyBlankAndMalformedInputs) {
    EXPECT_TRUE(window.Scramble("").isEmpty());
    EXPECT_TRUE(window.Scramble("    ").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble("").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble("   ").isEmpty());
    EXPECT_TRUE(frmScrambler::Unscramble(QStringLiteral("\x01" "abcde")).isEmpty()) << "negative length";
    // A character outside the code page reads as "?" (63): length 32, all that is there.
    EXPECT_EQ(frmScrambler::Unscramble(QString::fromUtf8("Ādcaeb")), QStringLiteral("abcde"));
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
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Yes)
        .expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::No)
        .expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Cancel)
        .expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Yes);
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble(text))), "one two");
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble(text))), "one\r\ntwo \r\n");
    EXPECT_TRUE(window.Scramble(text).isEmpty());
    EXPECT_TRUE(window.Scramble("\r\n \r\n").isEmpty()) << "nothing left after the line breaks go";
    // A line feed alone is no line break.
    EXPECT_EQ(s(frmScrambler::Unscramble(window.Scramble("a\nb"))), "a\nb");
}

class ScramblerWindow : public Scrambler {
protected:
    QPlainTextEdit* box(const char* name) { return window.findChild<QPlainTextEdit*>(name); }
    QString length(int i) { return window.findChild<QLabel*>(QStringLiteral("lblLength_%1").arg(i))->text(); }
    void click(const QString& name) {
        auto* button = window.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << s(name);
        button->click();
    }
};

TEST_F(ScramblerWindow, LoadsWithStoredCaptionAndBlankLengths) {
    EXPECT_EQ(s(window.windowTitle()), "Vornask string scrambler");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(length(i).isEmpty()) << i;
    }
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (qobject_cast<QPushButton*>(control) || qobject_cast<QPlainTextEdit*>(control)) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << s(control->objectName());
        }
    }
}

TEST_F(ScramblerWindow, ScrambleUnscrambleAndCheck) {
    box("txbString")->setPlainText("Hello world");
    click("cmdScramble");
    EXPECT_EQ(box("txbScrambledString")->toPlainText().size(), 16);
    EXPECT_EQ(s(length(0)), "Length = 11");
    EXPECT_EQ(s(length(1)), "Length = 16");
    click("cmdUnscramble");
    EXPECT_EQ(s(box("txbUnscrambledString")->toPlainText()), "Hello world");
    EXPECT_EQ(s(length(2)), "Length = 11");
    click("cmdCheck");  // equal: no message

    box("txbUnscrambledString")->setPlainText("Hello");
    prompts.expectMsgBox(kCheckMessage, Buttons::Ok, Icon::None, kCheckTitle);
    click("cmdCheck");
    prompts.verify();

    box("txbString")->clear();
    box("txbUnscrambledString")->clear();
    click("cmdCheck");  // both empty: no message
    box("txbUnscrambledString")->setPlainText("x");
    prompts.expectMsgBox(kCheckMessage, Buttons::Ok, Icon::None, kCheckTitle);
    click("cmdCheck");
}

TEST_F(ScramblerWindow, YesPutsTheCleanedTextBack) {
    box("txbString")->setPlainText("first\nsecond");
    prompts.expectMsgBox(kQuestion, Buttons::YesNoCancel, Icon::None, "Vornask", Answer::Yes);
    click("cmdScramble");
    EXPECT_EQ(s(box("txbString")->toPlainText()), "first second");
    EXPECT_EQ(s(length(0)), "Length = 12");
}

TEST_F(ScramblerWindow, ClearEmptiesBoxAndLength) {
    const char* names[] = {"txbString", "txbScrambledString", "txbUnscrambledString"};
    box("txbString")->setPlainText("abc");
    click("cmdScramble");
    click("cmdUnscramble");
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(box(names[i])->toPlainText().isEmpty()) << i;
        ASSERT_FALSE(length(i).isEmpty()) << i;
        click(QStringLiteral("cmdClear_%1").arg(i));
        EXPECT_TRUE(box(names[i])->toPlainText().isEmpty()) << i;
        EXPECT_TRUE(length(i).isEmpty()) << i;
    }
}

TEST_F(ScramblerWindow, CopyPutsOnlyNonEmptyTextOnTheClipboard) {
    click("cmdCopyToClipboard_1");
    EXPECT_FALSE(prompts.clipboardWritten);
    box("txbScrambledString")->setPlainText("line1\nline2");
    click("cmdCopyToClipboard_1");
    EXPECT_TRUE(prompts.clipboardWritten);
    EXPECT_EQ(s(prompts.clipboard), "line1\r\nline2");
}

TEST_F(ScramblerWindow, PastingTheStringRunsScrambleUnscrambleAndCheck) {
    // Length 129 makes the length character a no-break space, which must survive the boxes.
    const QString plain = sample(129);
    prompts.clipboard = plain;
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(box("txbScrambledString")->document()->toRawText().at(0), QChar(0xA0));
    EXPECT_EQ(s(box("txbUnscrambledString")->toPlainText()), s(plain));
    EXPECT_EQ(s(length(0)), "Length = 129");
    EXPECT_EQ(s(length(2)), "Length = 129");

    prompts.clipboard = "pasted";
    click("cmdPasteFromClipboard_2");
    EXPECT_EQ(s(box("txbUnscrambledString")->toPlainText()), "pasted");
    EXPECT_EQ(s(length(2)), "Length = 6");
}

TEST_F(ScramblerWindow, PastingTooLongATextShowsTheErrorAndTheCheckMessage) {
    prompts.clipboard = sample(221);
    prompts.expectMsgBox(kCheckMessage, Buttons::Ok, Icon::None, kCheckTitle);
    click("cmdPasteFromClipboard_0");
    EXPECT_EQ(s(box("txbScrambledString")->toPlainText()), s(kTooLong));
    EXPECT_EQ(s(length(0)), "Length = 221");
}

TEST_F(ScramblerWindow, QuitEndsTheProgramsEventLoop) {
    bool clicked = false;
    QTimer::singleShot(0, &window, [&] {
        clicked = true;
        click("cmdQuit");
    });
    // Without Quit this would not return; the watchdog ends a hung test.
    QTimer watchdog;
    bool timedOut = false;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(timedOut);
}

}  // namespace
