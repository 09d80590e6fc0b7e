#include "app/HelpText.h"
#include "app/Links.h"
#include "app/frmHelp.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

const QString kParagraphBreak = QStringLiteral("\r\n\r\n");
const QChar kNoBreak(0x00A0);

std::string visible(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n"));
    out.replace(kNoBreak, QLatin1String("<nbsp>"));
    return out.toStdString();
}

// ---- The text ------------------------------------------------------------------------------------------------

TEST(HelpText, OpensWithTheDocumentationAddressAndSeparatesParagraphsByAnEmptyLine) {
    const QString text = BuildHelpText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("An illustrated verson of this documentation can be found at ") +
                                Links::kOnlineDocumentation +
                                QStringLiteral(".\r\n\r\nThis help screen can be "
                                               "resized for easier reading.\r\n\r\n")))
        << visible(text.left(200));
    // Twenty-five paragraphs and the credits, then the block of library notices.
    const QStringList blocks = text.split(kParagraphBreak);
    ASSERT_EQ(blocks.size(), 27);
    for (int i = 0; i < 26; ++i) {
        EXPECT_FALSE(blocks[i].isEmpty()) << "paragraph " << i + 1;
        EXPECT_FALSE(blocks[i].contains(QLatin1Char('\r')) || blocks[i].contains(QLatin1Char('\n')))
            << visible(blocks[i]);
    }
    // Pieces are joined without anything in between, keeping their own double blanks.
    EXPECT_TRUE(blocks[3].startsWith(QStringLiteral("Vornask is for converting one or many graphics files from")));
    EXPECT_TRUE(blocks[4].startsWith(QStringLiteral("This software allows you to do the following:  (i) Convert")));
    EXPECT_TRUE(blocks[23].endsWith(QStringLiteral("restore it, using the usual Windows open/save dialog box.")));
}

TEST(HelpText, NoBreakSpacesStandOnlyInTheHeadingsAndInOneHundredEqualsNone) {
    const QStringList blocks = BuildHelpText().split(kParagraphBreak);
    ASSERT_EQ(blocks.size(), 27);
    EXPECT_EQ(blocks[2], QStringLiteral("1.") + kNoBreak + QStringLiteral(" INTRODUCTION"));
    EXPECT_EQ(blocks[5], QStringLiteral("2. CONVERTING A SINGLE IMAGE FILE"));
    EXPECT_EQ(blocks[11], QStringLiteral("3.") + kNoBreak + QStringLiteral(" CONVERTING MULTIPLE IMAGE FILES"));
    EXPECT_EQ(blocks[16], QStringLiteral("4.") + kNoBreak + QStringLiteral(" VIEWING RESULTING IMAGE FILES"));
    EXPECT_EQ(blocks[20], QStringLiteral("5.") + kNoBreak + QStringLiteral(" ERROR MESSAGES"));
    EXPECT_EQ(blocks[22], QStringLiteral("6.") + kNoBreak + QStringLiteral(" SAVING AND RESTORING THE STATE"));
    EXPECT_EQ(blocks[24], QStringLiteral("7.") + kNoBreak + QStringLiteral(" ACKNOWLEDGEMENTS"));
    EXPECT_TRUE(blocks[8].contains(QStringLiteral("of compression used (100") + kNoBreak + QLatin1Char('=') + kNoBreak +
                                   QStringLiteral("none). The smaller")))
        << visible(blocks[8]);
    EXPECT_EQ(BuildHelpText().count(kNoBreak), 8);
}

TEST(HelpText, AcknowledgementsNameTheAuthorsAndTheLibraryNoticesOneLineEach) {
    const QStringList blocks = BuildHelpText().split(kParagraphBreak);
    ASSERT_EQ(blocks.size(), 27);
    EXPECT_TRUE(blocks[25].contains(QStringLiteral("the Vornask developers")) && blocks[25].contains("2026"))
        << visible(blocks[25]);

    const QString notices = blocks[26];
    ASSERT_TRUE(notices.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = notices.chopped(2).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5) << visible(notices);
    EXPECT_TRUE(
        lines[0].contains(QStringLiteral("libjpeg-turbo")) && lines[0].contains("D. R. Commander") &&
        lines[0].contains(QStringLiteral("This software is based in part on the work of the Independent JPEG Group.")))
        << visible(lines[0]);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("libpng"))) << visible(lines[1]);
    EXPECT_TRUE(lines[2].contains(QStringLiteral("zlib")) && lines[2].contains("Jean-loup Gailly and Mark Adler"))
        << visible(lines[2]);
    EXPECT_TRUE(lines[3].contains(QStringLiteral("giflib"))) << visible(lines[3]);
    EXPECT_TRUE(lines[4].contains(QStringLiteral("libdeflate")) && lines[4].contains("Eric Biggers"))
        << visible(lines[4]);
    for (const QString& line : lines) {
        EXPECT_FALSE(line.isEmpty() || line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')));
    }
}

// ---- The window ----------------------------------------------------------------------------------------------

// A stand-in for the main window at a known place and size. Destroying it takes the help screen with it.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(frmHelp::instance(), nullptr) << "a help screen survived an earlier test";
        main.setObjectName(QStringLiteral("frmMain"));
        main.move(300, 200);
        main.resize(631, 332);  // 9465 by 4980 twips, the normal layout in whole pixels
        main.show();
    }

    frmHelp* showHelp() {
        frmHelp::ShowHelp(&main);
        QApplication::processEvents();
        return frmHelp::instance();
    }

    QWidget main;
};

using HelpWindow = MainWindowFixture;

TEST_F(HelpWindow, OpensBesideTheMainWindowWithoutBlockingIt) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->isWindow());
    EXPECT_EQ(help->objectName(), QStringLiteral("frmHelp"));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Help screen for Vornask"));
    EXPECT_EQ(help->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(main.isEnabled());
    // 200 twips right of and 480 below the main window, 400 twips narrower and 680 lower.
    EXPECT_EQ(help->pos(), QPoint(313, 232));
    EXPECT_EQ(help->size(), QSize(604, 287));
}

TEST_F(HelpWindow, OpenedFromTheLargeLayoutIsTaller) {
    main.resize(631, 900);
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->size(), QSize(604, 855));
}

TEST_F(HelpWindow, ShowsTheWholeTextReadOnlyAndOutOfTheTabOrder) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    QPlainTextEdit* text = help->findChild<QPlainTextEdit*>(QStringLiteral("txbHelpScreen"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_FALSE(text->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(text->accessibleName().isEmpty());
    EXPECT_EQ(help->cmdClose()->accessibleName(), QStringLiteral("Close"));
    // Paragraphs separated by one empty line, the notices on single lines: no stray breaks from CR LF.
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("An illustrated verson")));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("reading.\n\n1.")));
    EXPECT_EQ(text->document()->blockCount(), 26 * 2 + 5 + 1);
}

TEST_F(HelpWindow, ResizingKeepsTheMarginsAndCentresClose) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    // 10500 by 7500 twips: the text box 10150 by 6420 at 120,120; Close 1215 by 315 at (10500 - 1215) / 2 = 4642.5,
    // which rounds to 4642, and 7500 - 800 = 6700.
    help->resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(help->txbHelpScreen()->geometry(), QRect(8, 8, 677, 428));
    EXPECT_EQ(help->cmdClose()->geometry(), QRect(309, 447, 81, 21));

    help->resize(601, 401);
    QApplication::processEvents();
    EXPECT_EQ(help->txbHelpScreen()->geometry(), QRect(8, 8, 578, 329));
    EXPECT_EQ(help->cmdClose()->geometry(), QRect(260, 348, 81, 21));

    // Smaller than the margins: the text box shrinks to nothing instead of turning inside out.
    help->resize(20, 60);
    QApplication::processEvents();
    EXPECT_EQ(help->txbHelpScreen()->geometry().size(), QSize(0, 0));
}

TEST_F(HelpWindow, MinimisingLeavesTheLayoutAndRestoringFitsTheNewSize) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    const QRect textBefore = help->txbHelpScreen()->geometry();
    const QRect closeBefore = help->cmdClose()->geometry();
    help->showMinimized();
    QApplication::processEvents();
    help->resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(help->txbHelpScreen()->geometry(), textBefore);
    EXPECT_EQ(help->cmdClose()->geometry(), closeBefore);

    help->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(help->txbHelpScreen()->geometry(), QRect(8, 8, 677, 428));
    EXPECT_EQ(help->cmdClose()->geometry(), QRect(309, 447, 81, 21));
}

TEST_F(HelpWindow, CloseHidesAndTheNextShowingIsAsItWasLeft) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    help->move(50, 60);
    help->resize(400, 250);
    QApplication::processEvents();
    QScrollBar* bar = help->txbHelpScreen()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 20);
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();

    QTest::mouseClick(help->cmdClose(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(help->isVisible());
    EXPECT_EQ(frmHelp::instance(), help);

    EXPECT_EQ(showHelp(), help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->pos(), QPoint(50, 60));
    EXPECT_EQ(help->size(), QSize(400, 250));
    EXPECT_EQ(help->txbHelpScreen()->verticalScrollBar()->value(), scrolled);
}

TEST_F(HelpWindow, CloseBoxUnloadsAndTheNextShowingLoadsAfresh) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    help->move(50, 60);
    help->txbHelpScreen()->verticalScrollBar()->setValue(5);
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmHelp::instance(), nullptr);

    frmHelp* fresh = showHelp();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->isVisible());
    EXPECT_EQ(fresh->pos(), QPoint(313, 232));
    EXPECT_EQ(fresh->txbHelpScreen()->verticalScrollBar()->value(), 0);
}

// ---- F1 --------------------------------------------------------------------------------------------------------

TEST_F(HelpWindow, F1ReleasedOnTheWatchedButtonsOpensHelpAndNowhereElse) {
    QStringList watchedNames = {"cmdConvertSingleFile", "cmdConvertFiles", "cmdHelp", "cmdList0", "cmdList1"};
    QList<QPushButton*> watched;
    for (const QString& name : watchedNames) {
        watched << new QPushButton(name, &main);
        watched.last()->setObjectName(name);
    }
    auto* quit = new QPushButton(QStringLiteral("Quit"), &main);
    auto* folder = new QLineEdit(&main);
    auto* format = new QComboBox(&main);
    int opened = 0;
    F1HelpFilter filter([&] {
        ++opened;
        frmHelp::ShowHelp(&main);
    });
    for (QPushButton* button : watched) {
        filter.watch(button);
    }

    for (QWidget* other : std::initializer_list<QWidget*>{quit, folder, format}) {
        QTest::keyClick(other, Qt::Key_F1);
    }
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(frmHelp::instance(), nullptr);

    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier,
                                               Qt::ShiftModifier | Qt::ControlModifier};
    int expected = 0;
    for (int i = 0; i < watched.size(); ++i) {
        watched[i]->setFocus();
        QTest::keyPress(watched[i], Qt::Key_F1, modifiers[i]);
        EXPECT_EQ(opened, expected) << "a press alone opens nothing";
        QTest::keyRelease(watched[i], Qt::Key_F1, modifiers[i]);
        EXPECT_EQ(opened, ++expected) << watchedNames[i].toStdString();
    }
    ASSERT_NE(frmHelp::instance(), nullptr);
    EXPECT_TRUE(frmHelp::instance()->isVisible());

    // Other keys, and the repeats of a held F1, are ignored.
    QTest::keyClick(watched[0], Qt::Key_F2);
    QTest::keyClick(watched[0], Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(watched[0], &repeat);
    EXPECT_EQ(opened, expected);
}

}  // namespace
