#include "app/HelpText.h"
#include "app/Links.h"
#include "app/frmHelp.h"
#include "tests/app/AppTest.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace {

// The paragraphs themselves are constants; what is checked is how they are put together.
TEST(HelpText, ParagraphsStandOnOneLineEachAndTheLibraryNoticesFollow) {
    const QString text = BuildHelpText();
    EXPECT_TRUE(text.startsWith("An illustrated verson of this documentation can be found at " +
                                Links::kOnlineDocumentation +
                                ".\r\n\r\nThis help screen can be resized for easier reading.\r\n\r\n"));
    // Twenty-five paragraphs and the credits, each on one line, then the block of library notices.
    const QStringList blocks = text.split("\r\n\r\n");
    ASSERT_EQ(blocks.size(), 27);
    for (int i = 0; i < 26; ++i) {
        EXPECT_FALSE(blocks[i].isEmpty() || blocks[i].contains('\r') || blocks[i].contains('\n')) << i;
    }
    const QStringList notices = blocks[26].split("\r\n");
    ASSERT_EQ(notices.size(), 6);
    EXPECT_EQ(notices[5], "");
    const char* libraries[] = {"libjpeg-turbo", "libpng", "zlib", "giflib", "libdeflate"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(notices[i].contains(libraries[i])) << libraries[i];
    }
    EXPECT_TRUE(notices[0].contains("This software is based in part on the work of the Independent JPEG Group."));
}

// A stand-in for the main window at a known place and size; destroying it takes the help screen with it.
class HelpWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(frmHelp::instance(), nullptr) << "a help screen survived an earlier test";
        main.move(300, 200);
        main.resize(631, 332);  // 9465 by 4980 twips, the normal layout in whole pixels
        main.show();
    }
    frmHelp* showHelp() {
        frmHelp::ShowHelp(&main);
        QApplication::processEvents();
        return frmHelp::instance();
    }
    void resize(frmHelp* help, int width, int height) {
        help->resize(width, height);
        QApplication::processEvents();
    }
    // The text box and Close, in pixels: x, y, width and height of the box, x and y of Close.
    static QList<int> layout(frmHelp* help) {
        const QRect t = help->txbHelpScreen()->geometry(), c = help->cmdClose()->geometry();
        return {t.x(), t.y(), t.width(), t.height(), c.x(), c.y()};
    }

    QWidget main;
};

TEST_F(HelpWindow, OpensBesideTheMainWindowAndTheCloseBoxMakesTheNextOneFresh) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // 200 twips right of and 480 below the main window, 400 twips narrower and 680 lower.
    EXPECT_EQ(QRect(help->pos(), help->size()), QRect(313, 232, 604, 287));
    EXPECT_TRUE(help->txbHelpScreen()->isReadOnly());
    EXPECT_EQ(help->txbHelpScreen()->document()->blockCount(), 26 * 2 + 5 + 1) << "no stray breaks from CR LF";

    help->move(50, 60);
    help->txbHelpScreen()->verticalScrollBar()->setValue(5);
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmHelp::instance(), nullptr);

    main.resize(631, 900);  // the large layout
    help = showHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(QRect(help->pos(), help->size()), QRect(313, 232, 604, 855));
    EXPECT_EQ(help->txbHelpScreen()->verticalScrollBar()->value(), 0);
}

TEST_F(HelpWindow, ResizingKeepsTheMarginsAndCentresCloseExceptWhileMinimised) {
    frmHelp* help = showHelp();
    ASSERT_NE(help, nullptr);
    // 10500 by 7500 twips: the text box 10150 by 6420 at 120,120; Close at (10500 - 1215) / 2 = 4642.5, rounded to
    // 4642, and 7500 - 800 = 6700.
    resize(help, 700, 500);
    EXPECT_EQ(layout(help), QList<int>({8, 8, 677, 428, 309, 447}));

    help->showMinimized();
    resize(help, 601, 401);
    EXPECT_EQ(layout(help), QList<int>({8, 8, 677, 428, 309, 447}));
    help->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(layout(help), QList<int>({8, 8, 578, 329, 260, 348}));

    resize(help, 20, 60);
    EXPECT_EQ(help->txbHelpScreen()->size(), QSize(0, 0)) << "smaller than the margins";
}

TEST_F(HelpWindow, KeysScrollTheTextAndCloseEnterOrEscapeHideTheWindowAsItWasLeft) {
    frmHelp* help = showHelp();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QWidget* close = help->focusWidget();
    ASSERT_EQ(close, help->cmdClose()) << "the one tab stop";
    // Each key scrolls the text its way; the text box is free to settle on a whole line.
    QScrollBar* bar = help->txbHelpScreen()->verticalScrollBar();
    int last = bar->value();
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_PageDown, +1}, {Qt::Key_Down, +1}, {Qt::Key_Up, -1},
                                            {Qt::Key_PageUp, -1},   {Qt::Key_End, +1},  {Qt::Key_Home, -1}};
    for (const auto& [key, direction] : keys) {
        QTest::keyClick(close, key);
        EXPECT_GT((bar->value() - last) * direction, 0) << QTest::toString(key);
        last = bar->value();
    }
    EXPECT_EQ(last, 0);

    help->move(50, 60);
    resize(help, 400, 250);
    bar->setValue(bar->maximum() / 2);
    ASSERT_GT(bar->value(), 10);
    const int scrolled = bar->value();
    QTest::mouseClick(help->cmdClose(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(frmHelp::instance(), help) << "Close only hides the window";
    EXPECT_FALSE(help->isVisible());
    EXPECT_EQ(showHelp(), help);
    EXPECT_EQ(QRect(help->pos(), help->size()), QRect(50, 60, 400, 250));
    EXPECT_EQ(bar->value(), scrolled);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTest::keyClick(help->focusWidget(), key);
        EXPECT_FALSE(help->isVisible()) << QTest::toString(key);
        EXPECT_EQ(showHelp(), help) << "hidden, as Close does";
    }
}

}  // namespace
