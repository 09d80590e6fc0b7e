#include "single/frmTargetFileExists.h"
#include "tests/single/DialogTest.h"

#include <QDir>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace DialogTest;

namespace {

const QString kInUse = QStringLiteral("New filename already in use.  Overwrite file?");

class FileExistsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeBytes(entry, {}));
        mainWindow.move(100, 80);
        mainWindow.resize(px(9465), px(4975));
    }
    // Asks as the per-file step does; `act` plays the user.
    void ask(const QString& entryPath, bool singleFile, const std::function<void()>& act) {
        dialog.lngBackColor = 0xFFFFC0;
        dialog.strEntryFilepath = entryPath;
        dialog.blnBoldFont = true;
        dialog.blnSingleFileOperation = singleFile;
        dialog.blnSameFileExtensionMandatory = true;
        prompts.expectDialog(QStringLiteral("frmTargetFileExists"), [&](QDialog&) { act(); });
        Prompt::ExecDialog(dialog);
    }
    void pressContinue() { QTest::mouseClick(continueButton, Qt::LeftButton); }
    // Chooses "Choose a different filename", types the new path and presses Continue.
    void typeNewName(const QString& path) {
        clickOn(chooseFilename);
        pathBox->clear();
        QTest::keyClicks(pathBox, path);
        pressContinue();
    }
    void expectError(const QString& text, Icon icon) {
        prompts.expectMsgBox(text, Buttons::Ok, icon, QStringLiteral("Error"));
    }
    void expectAnswer(bool thisFile, bool allFiles, const QString& exit) {
        EXPECT_EQ(dialog.blnCancelOperationThisFile, thisFile);
        EXPECT_EQ(dialog.blnCancelOperationAllFiles, allFiles);
        EXPECT_EQ(dialog.strExitFilepath, exit);
    }

    QTemporaryDir folder;
    QString entry = native(folder.filePath(QStringLiteral("photo.png")));
    QWidget mainWindow;
    ScriptedPrompts prompts;
    frmTargetFileExists dialog{&mainWindow};
    QLineEdit* pathBox = child<QLineEdit>(dialog, "txbFilepath");
    QRadioButton* overwrite = child<QRadioButton>(dialog, "optOverwrite");
    QRadioButton* chooseFilename = child<QRadioButton>(dialog, "optChooseFilename");
    QRadioButton* cancelThisFile = child<QRadioButton>(dialog, "optCancelOperationThisFile");
    QRadioButton* cancelAllFiles = child<QRadioButton>(dialog, "optCancelOperationAllFiles");
    QLabel* hint = child<QLabel>(dialog, "lblEditFilename");
    QPushButton* continueButton = child<QPushButton>(dialog, "cmdContinue");
};

TEST_F(FileExistsDialog, SitsInTheLowerRightOfTheMainWindowShorterWithoutTheAllFilesChoice) {
    for (const bool singleFile : {false, true}) {
        const double height = singleFile ? 3000 : 3420;
        ask(entry, singleFile, [&] {
            // 100 twips in from the main window's lower right corner.
            EXPECT_EQ(QRect(dialog.pos(), dialog.size()),
                      QRect(px(1500 + 9465 - 5055 - 100), px(1200 + 4975 - height - 100), px(5055), px(height)));
            EXPECT_EQ(continueButton->y(), px(height - 800));
            EXPECT_EQ(cancelAllFiles->isVisible(), !singleFile);
            EXPECT_EQ(pathBox->text(), entry);
            EXPECT_TRUE(pathBox->isReadOnly());
            EXPECT_TRUE(cancelThisFile->isChecked());
            EXPECT_FALSE(hint->isVisible());
            EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(192, 255, 255));
            EXPECT_TRUE(overwrite->font().bold());
            pressContinue();
        });
        expectAnswer(true, false, QString());
    }
}

TEST_F(FileExistsDialog, GivesEachOfTheFourAnswers) {
    ask(entry, false, [&] {
        clickOn(cancelAllFiles);
        EXPECT_EQ(dialog.focusWidget(), continueButton);
        pressContinue();
    });
    expectAnswer(true, true, QString());

    // Overwrite, after an edit that it undoes, from a single-file operation and blanks around the entry path.
    ask("  " + entry + "   ", true, [&] {
        EXPECT_TRUE(cancelThisFile->isChecked()) << "a choice left from a batch must not act unseen";
        EXPECT_EQ(pathBox->text(), entry);
        clickOn(chooseFilename);
        EXPECT_FALSE(pathBox->isReadOnly());
        EXPECT_TRUE(hint->isVisible());
        EXPECT_EQ(hint->y(), continueButton->y());
        QTest::keyClicks(pathBox, QStringLiteral("edited"));
        clickOn(overwrite);
        EXPECT_EQ(pathBox->text(), entry);
        EXPECT_TRUE(pathBox->isReadOnly());
        EXPECT_FALSE(hint->isVisible());
        pressContinue();
    });
    EXPECT_EQ(dialog.strEntryFilepath, entry);
    expectAnswer(false, false, entry);

    const QString fresh = native(folder.filePath(QStringLiteral("Fresh.PNG")));
    ask(entry, false, [&] { typeNewName(fresh); });
    expectAnswer(false, false, fresh);
    EXPECT_FALSE(QFile::exists(fresh)) << "the dialog writes no file";
}

TEST_F(FileExistsDialog, ChecksANewNameBeforeAcceptingIt) {
    const QString sep = QDir::separator();
    const QString other = native(folder.filePath(QStringLiteral("other.png")));
    ASSERT_TRUE(writeBytes(other, {}));
    ask(entry, false, [&] {
        expectError(QStringLiteral("New filename must have extension .png."), Icon::None);
        typeNewName(native(folder.path()) + sep + "new.jpg");
        // A bare name has no folder to exist, nor has a missing one.
        expectError(QStringLiteral("Subdirectory does not exist."), Icon::Exclamation);
        typeNewName(QStringLiteral("new.png"));
        expectError(QStringLiteral("Subdirectory does not exist."), Icon::Exclamation);
        typeNewName(native(folder.path()) + sep + "missing" + sep + "new.png");
        expectError(QStringLiteral("New filename is invalid."), Icon::Exclamation);
        typeNewName(native(folder.path()) + sep + ".png");

        prompts.expectMsgBox(kInUse, Buttons::YesNo, Icon::None, QStringLiteral("File exists"), Answer::No);
        typeNewName(" " + other + " ");
        EXPECT_EQ(pathBox->text(), other) << "trimmed in the box";
        EXPECT_TRUE(dialog.isVisible());
        prompts.expectMsgBox(kInUse, Buttons::YesNo, Icon::None, QStringLiteral("File exists"), Answer::Yes);
        pressContinue();
    });
    expectAnswer(false, false, other);

    // The entry path itself is not asked about; one differing in letter case only is another name.
    ask(entry, false, [&] { typeNewName(entry); });
    expectAnswer(false, false, entry);
    const QString otherCase = native(folder.filePath(QStringLiteral("Photo.png")));
    ASSERT_TRUE(writeBytes(otherCase, {}));
    ask(entry, false, [&] {
        prompts.expectMsgBox(kInUse, Buttons::YesNo, Icon::None, QStringLiteral("File exists"), Answer::Yes);
        typeNewName(otherCase);
    });
    expectAnswer(false, false, otherCase);
}

TEST_F(FileExistsDialog, TheSelectedOptionCarriesOverUnlessTheFrameClosedTheWindow) {
    const QString second = native(folder.filePath(QStringLiteral("second.png")));
    ask(entry, false, [&] {
        clickOn(overwrite);
        pressContinue();
    });
    ask(second, false, [&] { pressContinue(); });
    expectAnswer(false, false, second);

    // "Choose a different filename" comes back with its box open for editing; Escape leaves it so.
    ask(entry, false, [&] { typeNewName(native(folder.filePath(QStringLiteral("renamed.png")))); });
    for (int showing = 0; showing < 2; ++showing) {
        ask(second, showing == 0, [&] {
            EXPECT_TRUE(chooseFilename->isChecked());
            EXPECT_FALSE(pathBox->isReadOnly());
            EXPECT_EQ(pathBox->text(), second);
            EXPECT_TRUE(hint->isVisible());
            EXPECT_EQ(hint->y(), continueButton->y());
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        expectAnswer(true, false, QString());
    }

    ask(second, false, [&] { dialog.close(); });
    ask(second, false, [&] {
        EXPECT_TRUE(cancelThisFile->isChecked());
        EXPECT_TRUE(pathBox->isReadOnly());
        EXPECT_FALSE(hint->isVisible());
        pressContinue();
    });
}

TEST_F(FileExistsDialog, WorksFromTheKeyboard) {
    const QString typed = native(folder.filePath(QStringLiteral("typed.png")));
    ask(entry, false, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        // The options are one tab stop, at the selected one; the arrow keys move the choice.
        pathBox->setFocus();
        QTest::keyClick(pathBox, Qt::Key_Tab);
        EXPECT_EQ(dialog.focusWidget(), cancelThisFile);
        QTest::keyClick(cancelThisFile, Qt::Key_Up);
        EXPECT_TRUE(chooseFilename->isChecked());
        pathBox->setFocus();
        QTest::keyClick(pathBox, Qt::Key_Tab);
        EXPECT_EQ(dialog.focusWidget(), chooseFilename);
        pathBox->setText(typed);
        QTest::keyClick(pathBox, Qt::Key_Return);
    });
    expectAnswer(false, false, typed);
}

}  // namespace
