#include "platform/Prompt.h"
#include "platform/Twips.h"
#include "tests/support/TestHelpers.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

TEST(Twips, ConvertsWithHalvesToEven) {
    // 22.5 and 37.5 twips are 1.5 and 2.5 pixels: both round to 2.
    EXPECT_EQ(Twips::toPixels(22.5), 2);
    EXPECT_EQ(Twips::toPixels(37.5), 2);
    EXPECT_EQ(Twips::rect(105, 525, 2430, 360), QRect(7, 35, 162, 24));
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

// The real Open dialog: each pattern shown once, names listed whatever their letter case, a typed name taken.
TEST(Prompt, OpenDialogListsNamesOfEitherCaseAndShowsEachPatternOnce) {
    QTemporaryDir dir;
    for (const char* name : {"a.jpg", "B.JPG", "c.Jpeg", "d.PNG", "e.txt", "f.jpg.txt"}) {
        ASSERT_TRUE(writeBytes(dir.filePath(name), "x"));
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());  // where the dialog opens
    QStringList filters, listed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no file dialog";
            return;
        }
        filters = dialog->nameFilters();
        auto* view = dialog->findChild<QListView*>("listView");
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->model()->rowCount(view->rootIndex()) >= 4; }));
        QTest::qWait(50);  // any name listed late
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
            listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
        }
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText("c.Jpeg");
        QTest::keyClick(name, Qt::Key_Return);
    });
    const QString chosen = Prompt::OpenFileName({"Open", "BMP, GIF, JPG and PNG|*.bmp;*.gif;*.jpg;*.jpeg;*.png", ""});
    QDir::setCurrent(previous);
    EXPECT_EQ(filters, QStringList("BMP, GIF, JPG and PNG (*.bmp *.gif *.jpg *.jpeg *.png)"));
    listed.sort();
    EXPECT_EQ(listed, QStringList({"B.JPG", "a.jpg", "c.Jpeg", "d.PNG"}));
    EXPECT_EQ(chosen, QDir::toNativeSeparators(dir.filePath("c.Jpeg")));
}
