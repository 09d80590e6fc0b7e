#include "fs/frmSpecifyDirectory.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <system_error>

namespace {

class Chooser : public ::testing::Test {
protected:
    void SetUp() override {
        QDir dir(m_temp.path());
        for (const char* name : {"Pictures", "Pictures/Summer 2024", "Pictures/Ärger", "Pictures/beta",
                                 "Pictures/Alpha", "Pictures/.hidden", "Other"}) {
            ASSERT_TRUE(dir.mkdir(QString::fromUtf8(name))) << name;
        }
        m_pictures = native(m_temp.filePath("Pictures"));
        const QString previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_pictures));
        m_chooser = std::make_unique<frmSpecifyDirectory>();
        QDir::setCurrent(previous);
        m_dir = m_chooser->findChild<QTreeWidget*>("Dir");
        m_drive = m_chooser->findChild<QComboBox*>("Drive");
        ASSERT_TRUE(m_dir && m_drive);
    }

    QPushButton* button(const char* name) { return m_chooser->findChild<QPushButton*>(name); }

    // The entries of Dir from the top.
    QStringList entries() const {
        QStringList out;
        for (QTreeWidgetItemIterator it(m_dir); *it; ++it) {
            out << (*it)->text(0);
        }
        return out;
    }

    QTreeWidgetItem* entry(const QString& text) {
        const QList<QTreeWidgetItem*> found = m_dir->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    void doubleClick(const QString& text) {
        QTreeWidgetItem* item = entry(text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        // Item views lay out their rows lazily; let them before asking where a row is.
        QApplication::processEvents();
        m_dir->scrollToItem(item);
        // What a real double-click delivers: press, release, double-click, release.
        const QPoint at = m_dir->visualItemRect(item).center();
        QTest::mouseClick(m_dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(m_dir->viewport(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir m_temp;
    QString m_pictures;
    std::unique_ptr<frmSpecifyDirectory> m_chooser;
    QTreeWidget* m_dir = nullptr;
    QComboBox* m_drive = nullptr;
    ScriptedPrompts prompts;
};

TEST_F(Chooser, StartsAtTheCurrentFolderAndOpensFoldersByDoubleClickAndEnter) {
    EXPECT_EQ(m_chooser->currentFolder(), m_pictures);
    QStringList shown = entries();
    EXPECT_EQ(shown.first(), QDir::toNativeSeparators(QDir::rootPath()));
    // Where "Ärger" goes depends on the locale's collation; the others are in order around it,
    // and the hidden folder is not among them.
    EXPECT_TRUE(shown.removeOne(QString::fromUtf8("Ärger")));
    EXPECT_EQ(shown.mid(shown.size() - 4), (QStringList{"Pictures", "Alpha", "beta", "Summer 2024"}));
    EXPECT_EQ(entry("Alpha")->parent(), m_dir->currentItem());

    m_chooser->show();
    doubleClick("Summer 2024");
    EXPECT_EQ(m_chooser->currentFolder(), native(m_pictures + "/Summer 2024"));
    EXPECT_EQ(entries().last(), "Summer 2024");
    doubleClick("Pictures");

    m_dir->setFocus();
    QTest::keyClick(m_dir, Qt::Key_Down);
    EXPECT_EQ(m_dir->currentItem(), entry("Alpha"));
    EXPECT_EQ(m_chooser->currentFolder(), m_pictures) << "moving does not open; the ancestor was opened";
    QTest::keyClick(m_dir, Qt::Key_Return);
    EXPECT_EQ(m_chooser->currentFolder(), native(m_pictures + "/Alpha"));
    EXPECT_TRUE(m_chooser->isVisible()) << "Enter in the folder list must not close the chooser";
}

TEST_F(Chooser, AcceptCancelEscapeAndFrameHideAndKeepTheFolder) {
    m_chooser->show();
    doubleClick("Alpha");
    QTest::mouseClick(button("cmdAccept"), Qt::LeftButton);
    EXPECT_TRUE(m_chooser->blnAccept && !m_chooser->isVisible());
    const std::function<void()> cancels[] = {[this] { QTest::keyClick(button("cmdCancel"), Qt::Key_Space); },
                                             [this] { QTest::keyClick(m_chooser.get(), Qt::Key_Escape); },
                                             [this] { EXPECT_TRUE(m_chooser->close()); }};
    for (int i = 0; i < 3; ++i) {
        m_chooser->blnAccept = true;
        m_chooser->show();
        EXPECT_EQ(m_chooser->focusWidget(), button("cmdCancel")) << i;
        cancels[i]();
        EXPECT_FALSE(m_chooser->blnAccept || m_chooser->isVisible()) << i;
        EXPECT_EQ(m_chooser->closedThroughFrame(), i == 2) << i;
        EXPECT_EQ(m_chooser->currentFolder(), native(m_pictures + "/Alpha")) << i;
    }
}

TEST_F(Chooser, FoldersThatCannotBeReadAreReportedAndLeaveDirAsItWas) {
    const QString other = native(m_temp.filePath("Other"));
    const QString gone = native(m_temp.filePath("Gone"));
    m_chooser->addDriveRoot(gone);
    m_chooser->addDriveRoot(other);
    ASSERT_TRUE(QDir().rmdir(m_pictures + "/beta"));
    m_chooser->show();
    const QString missing =
        QString::fromLocal8Bit(std::make_error_code(std::errc::no_such_file_or_directory).message());
    prompts.expectMsgBox(missing, Buttons::Ok, Icon::Exclamation, "Error");
    doubleClick("beta");
    EXPECT_EQ(m_chooser->currentFolder(), m_pictures);

    m_drive->setCurrentIndex(m_drive->findData(other));
    EXPECT_EQ(m_chooser->currentFolder(), other);
    const QStringList before = entries();
    prompts.expectMsgBox(missing, Buttons::Ok, Icon::Exclamation, "Error");
    m_drive->setCurrentIndex(m_drive->findData(gone));
    EXPECT_EQ(m_chooser->currentFolder(), other);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(m_drive->currentIndex(), m_drive->findData(gone));
}

}  // namespace
