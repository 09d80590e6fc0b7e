#include "fs/frmSpecifyDirectory.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <system_error>

namespace {

using Prompt::Buttons;
using Prompt::Icon;

std::string s(const QString& text) {
    return text.toStdString();
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

class Chooser : public ::testing::Test {
protected:
    void SetUp() override {
        QDir dir(m_temp.path());
        for (const char* name : {"Pictures", "Pictures/Summer 2024", "Pictures/Ärger", "Pictures/beta",
                                 "Pictures/Alpha", "Pictures/.hidden", "Other"}) {
            ASSERT_TRUE(dir.mkdir(QString::fromUtf8(name))) << name;
        }
        m_pictures = native(m_temp.filePath("Pictures"));
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_pictures));
        m_chooser = std::make_unique<frmSpecifyDirectory>();
        QDir::setCurrent(m_previous);
        m_dir = m_chooser->findChild<QTreeWidget*>("Dir");
        m_drive = m_chooser->findChild<QComboBox*>("Drive");
        ASSERT_NE(m_dir, nullptr);
        ASSERT_NE(m_drive, nullptr);
    }

    QPushButton* button(const char* name) { return m_chooser->findChild<QPushButton*>(name); }

    // The entries of Dir from the top, each indented by its depth.
    QStringList entries() const {
        QStringList out;
        for (QTreeWidgetItemIterator it(m_dir); *it; ++it) {
            int depth = 0;
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) {
                ++depth;
            }
            out << QString(depth, QLatin1Char(' ')) + (*it)->text(0);
        }
        return out;
    }

    QTreeWidgetItem* entry(const QString& text) {
        const QList<QTreeWidgetItem*> found = m_dir->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    void doubleClick(const QString& text) {
        QTreeWidgetItem* item = entry(text);
        ASSERT_NE(item, nullptr) << s(text);
        // Item views lay out their rows lazily; let them before asking where a row is.
        QApplication::processEvents();
        m_dir->scrollToItem(item);
        // What a real double-click delivers: press, release, double-click, release.
        const QPoint at = m_dir->visualItemRect(item).center();
        QTest::mousePress(m_dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(m_dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(m_dir->viewport(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir m_temp;
    QString m_pictures;
    QString m_previous;
    std::unique_ptr<frmSpecifyDirectory> m_chooser;
    QTreeWidget* m_dir = nullptr;
    QComboBox* m_drive = nullptr;
    TestSupport::ScriptedPrompts prompts;
};

TEST_F(Chooser, StartsAtTheCurrentFolderWithAncestorsAndSortedSubfolders) {
    EXPECT_EQ(s(m_chooser->currentFolder()), s(m_pictures));
    const QStringList shown = entries();
    const int depth = m_pictures.count(QDir::separator());
    const QString indent(depth, QLatin1Char(' '));
    ASSERT_GE(shown.size(), 5);
    EXPECT_EQ(s(shown.first()), s(QDir::toNativeSeparators(QDir::rootPath())));
    QStringList tail = shown.mid(shown.size() - 5);
    EXPECT_EQ(s(tail.takeFirst()), s(indent + "Pictures"));
    // Where "Ärger" goes depends on the locale's collation; the others are in order around it.
    EXPECT_TRUE(tail.removeOne(indent + " " + QString::fromUtf8("Ärger")));
    EXPECT_EQ(tail, (QStringList{indent + " Alpha", indent + " beta", indent + " Summer 2024"}));
    EXPECT_EQ(m_dir->currentItem(), entry("Pictures"));
    EXPECT_FALSE(m_dir->currentItem()->icon(0).isNull());
    EXPECT_EQ(entry(".hidden"), nullptr);
#ifndef Q_OS_WIN
    EXPECT_EQ(s(m_drive->itemData(0).toString()), "/");
#endif
    EXPECT_GE(m_drive->currentIndex(), 0);
    for (QWidget* control : m_chooser->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << s(control->objectName());
    }
}

TEST_F(Chooser, DoubleClickOpensSubfoldersAndAncestors) {
    m_chooser->show();
    doubleClick(QString::fromUtf8("Summer 2024"));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + "/Summer 2024")));
    EXPECT_EQ(s(entries().last().trimmed()), "Summer 2024");
    doubleClick("Pictures");
    doubleClick(QString::fromUtf8("Ärger"));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + QString::fromUtf8("/Ärger"))));
    doubleClick(QFileInfo(m_temp.path()).fileName());
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_temp.path())));
    EXPECT_NE(entry("Other"), nullptr);
}

TEST_F(Chooser, KeyboardMovesWithArrowsAndOpensWithEnter) {
    m_chooser->show();
    m_dir->setFocus();
    QTest::keyClick(m_dir, Qt::Key_Down);
    EXPECT_EQ(m_dir->currentItem(), entry("Alpha"));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(m_pictures)) << "moving does not open";
    QTest::keyClick(m_dir, Qt::Key_Down);
    QTest::keyClick(m_dir, Qt::Key_Return);
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + "/beta")));
    EXPECT_TRUE(m_chooser->isVisible()) << "Enter in the folder list must not close the chooser";
    QTest::keyClick(m_dir, Qt::Key_Up);
    QTest::keyClick(m_dir, Qt::Key_Enter);
    EXPECT_EQ(s(m_chooser->currentFolder()), s(m_pictures));
}

TEST_F(Chooser, AcceptCancelEscapeAndFrameHideAndKeepTheFolder) {
    m_chooser->show();
    EXPECT_EQ(m_chooser->focusWidget(), button("cmdCancel"));
    doubleClick("Alpha");
    QTest::mouseClick(button("cmdAccept"), Qt::LeftButton);
    EXPECT_TRUE(m_chooser->blnAccept);
    EXPECT_FALSE(m_chooser->isVisible());

    m_chooser->show();
    EXPECT_EQ(m_chooser->focusWidget(), button("cmdCancel"));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + "/Alpha")));
    QTest::keyClick(button("cmdCancel"), Qt::Key_Space);
    EXPECT_FALSE(m_chooser->blnAccept);
    EXPECT_FALSE(m_chooser->isVisible());
    EXPECT_FALSE(m_chooser->closedThroughFrame());

    m_chooser->show();
    button("cmdAccept")->click();
    m_chooser->show();
    QTest::keyClick(m_chooser.get(), Qt::Key_Escape);
    EXPECT_FALSE(m_chooser->blnAccept);
    EXPECT_FALSE(m_chooser->isVisible());

    m_chooser->show();
    button("cmdAccept")->click();
    m_chooser->show();
    EXPECT_TRUE(m_chooser->close());
    EXPECT_FALSE(m_chooser->blnAccept);
    EXPECT_TRUE(m_chooser->closedThroughFrame());
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + "/Alpha")));
}

TEST_F(Chooser, ShownModallyThroughThePromptSeam) {
    prompts.expectDialog("frmSpecifyDirectory", [this](QDialog&) {
        doubleClick("Summer 2024");
        button("cmdAccept")->click();
    });
    Prompt::ExecDialog(*m_chooser);
    EXPECT_TRUE(m_chooser->blnAccept);
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_pictures + "/Summer 2024")));
}

TEST_F(Chooser, ChoosingADrivePointsDirAtItUnlessItCannotBeRead) {
    const QString other = native(m_temp.filePath("Other"));
    const QString gone = native(m_temp.filePath("Gone"));
    ASSERT_TRUE(QDir().mkdir(gone));
    m_chooser->addDriveRoot(gone);
    m_chooser->addDriveRoot(other);
    m_chooser->addDriveRoot(other + QDir::separator());
    ASSERT_TRUE(QDir().rmdir(gone));
    m_chooser->show();
    m_drive->setCurrentIndex(m_drive->findData(other));
    EXPECT_EQ(m_drive->currentIndex(), m_drive->count() - 1) << "offered twice";
    EXPECT_EQ(s(m_chooser->currentFolder()), s(other));

    const QStringList before = entries();
    prompts.expectMsgBox(QString::fromLocal8Bit(std::make_error_code(std::errc::no_such_file_or_directory).message()),
                         Buttons::Ok, Icon::Exclamation, "Error");
    m_drive->setCurrentIndex(m_drive->findData(gone));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(other));
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(m_drive->currentIndex(), m_drive->findData(gone));
}

TEST_F(Chooser, FolderThatVanishedIsReportedWhenOpened) {
    m_chooser->show();
    ASSERT_TRUE(QDir().rmdir(m_pictures + "/beta"));
    prompts.expectMsgBox(QString::fromLocal8Bit(std::make_error_code(std::errc::no_such_file_or_directory).message()),
                         Buttons::Ok, Icon::Exclamation, "Error");
    doubleClick("beta");
    EXPECT_EQ(s(m_chooser->currentFolder()), s(m_pictures));
    EXPECT_FALSE(m_chooser->setCurrentFolder(m_pictures + "/beta"));
    EXPECT_TRUE(m_chooser->setCurrentFolder(m_temp.path()));
    EXPECT_EQ(s(m_chooser->currentFolder()), s(native(m_temp.path())));
}

}  // namespace
