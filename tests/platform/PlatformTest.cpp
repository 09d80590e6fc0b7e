#include "platform/Prompt.h"
#include "platform/Twips.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QTimer>

TEST(Twips, ConvertsWithHalvesToEven) {
    // 22.5 and 37.5 twips are 1.5 and 2.5 pixels: both round to 2.
    EXPECT_EQ(Twips::toPixels(22.5), 2);
    EXPECT_EQ(Twips::toPixels(37.5), 2);
    EXPECT_EQ(Twips::rect(105, 525, 2430, 360), QRect(7, 35, 162, 24));
}

TEST(Prompt, NoTitleMeansProgramTitleAndEmptyTitleStaysEmpty) {
    Prompt::setProgramTitle(QStringLiteral("Vornask"));
    ScriptedPrompts prompts;
    prompts.expectMsgBox("a", Prompt::Buttons::Ok, Prompt::Icon::Exclamation, "Vornask")
        .expectMsgBox("b", Prompt::Buttons::YesNo, Prompt::Icon::None, "", Prompt::Answer::No);
    EXPECT_EQ(Prompt::MsgBox("a", Prompt::Buttons::Ok, Prompt::Icon::Exclamation), Prompt::Answer::Ok);
    EXPECT_EQ(Prompt::MsgBox("b", Prompt::Buttons::YesNo, Prompt::Icon::None, QString()), Prompt::Answer::No);
}

// The real message box, as a screen reader and the keyboard meet it.
TEST(Prompt, MessageBoxShowsItsTextToScreenReadersAndEscapeAnswersAsClosingIt) {
    QStringList heard;
    QTimer::singleShot(0, [&heard] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(box);
        for (int i = 0; i < shown->childCount(); ++i) {
            heard << shown->child(i)->text(QAccessible::Name);
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(Prompt::MsgBox("Overwrite file?", Prompt::Buttons::YesNo), Prompt::Answer::No);
    EXPECT_TRUE(heard.contains("Overwrite file?")) << heard.join(" | ").toStdString();
}

TEST(Prompt, FilterTextBecomesQtFilterMatchingEitherCase) {
    const QString filter = Prompt::qtFilter(QStringLiteral("State files (*.sta)|*.sta"));
#ifdef Q_OS_WIN
    EXPECT_EQ(filter.toStdString(), "State files (*.sta)");
#else
    EXPECT_EQ(filter.toStdString(), "State files (*.sta *.STA)");
    EXPECT_EQ(Prompt::qtFilter("BMP, GIF, JPG and PNG|*.bmp;*.gif;*.jpg;*.png").toStdString(),
              "BMP, GIF, JPG and PNG (*.bmp *.gif *.jpg *.png *.BMP *.GIF *.JPG *.PNG)");
#endif
}
