#include "platform/Prompt.h"
#include "platform/Twips.h"
#include "single/frmTargetFileExists.h"
#include "tests/support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <stdexcept>

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;
using TestSupport::ScriptedPrompts;

namespace {

int px(double twips) { return Twips::toPixels(twips); }

// Check boxes and option buttons take clicks on their box and caption only.
void clickOn(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// The controls that Tab reaches, in order, from `first` round to it again.
QString tabOrder(QWidget* first) {
    QStringList names{first->objectName()};
    for (QWidget* widget = first->nextInFocusChain(); widget != first; widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(first->window())) {
            names << widget->objectName();
        }
    }
    return names.join(QLatin1Char(' '));
}

template <class T>
T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return found;
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
}

class FileExistsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        entry = folder.filePath(QStringLiteral("photo.png"));
        touch(entry);
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

    QLineEdit* pathBox() { return control<QLineEdit>(dialog, "txbFilepath"); }
    QRadioButton* overwrite() { return control<QRadioButton>(dialog, "optOverwrite"); }
    QRadioButton* chooseFilename() { return control<QRadioButton>(dialog, "optChooseFilename"); }
    QRadioButton* cancelThisFile() { return control<QRadioButton>(dialog, "optCancelOperationThisFile"); }
    QRadioButton* cancelAllFiles() { return control<QRadioButton>(dialog, "optCancelOperationAllFiles"); }
    QLabel* hint() { return control<QLabel>(dialog, "lblEditFilename"); }
    QPushButton* continueButton() { return control<QPushButton>(dialog, "cmdContinue"); }

    void pressContinue() { QTest::mouseClick(continueButton(), Qt::LeftButton); }

    // Chooses "Choose a different filename", types the new path and presses Continue.
    void typeNewName(const QString& path) {
        if (!chooseFilename()->isChecked()) {
            clickOn(chooseFilename());
        }
        pathBox()->clear();
        QTest::keyClicks(pathBox(), path);
        pressContinue();
    }

    void expectError(const QString& text, Icon icon) {
        prompts.expectMsgBox(text, Buttons::Ok, icon, QStringLiteral("Error"));
    }

    void expectAnswer(bool thisFile, bool allFiles, const QString& exit) {
        EXPECT_EQ(dialog.blnCancelOperationThisFile, thisFile);
        EXPECT_EQ(dialog.blnCancelOperationAllFiles, allFiles);
        EXPECT_EQ(dialog.strExitFilepath.toStdString(), exit.toStdString());
    }

    QTemporaryDir folder;
    QString entry;
    QWidget mainWindow;
    ScriptedPrompts prompts;
    frmTargetFileExists dialog{&mainWindow};
};

TEST_F(FileExistsDialog, InABatchOffersAllFourAnswersInTheLowerRightOfTheMainWindow) {
    ask(entry, false, [&] {
        EXPECT_EQ(dialog.windowTitle().toStdString(), "File exists");
        EXPECT_EQ(dialog.size(), QSize(px(5055), px(3420)));
        // top = main top + main height - dialog height - 100, and left alike.
        EXPECT_EQ(dialog.pos(), QPoint(px(Twips::fromPixels(100) + Twips::fromPixels(px(9465)) - 5055 - 100),
                                       px(Twips::fromPixels(80) + Twips::fromPixels(px(4975)) - 3420 - 100)));
        EXPECT_EQ(continueButton()->y(), px(3420 - 800));
        EXPECT_TRUE(cancelAllFiles()->isVisible());

        EXPECT_EQ(pathBox()->text().toStdString(), entry.toStdString());
        EXPECT_TRUE(pathBox()->isReadOnly());
        EXPECT_TRUE(cancelThisFile()->isChecked());
        EXPECT_FALSE(hint()->isVisible());
        EXPECT_EQ(dialog.strExtension.toStdString(), "png");

        const QColor background(192, 255, 255);
        for (QWidget* widget : {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(hint()),
                                static_cast<QWidget*>(overwrite()), static_cast<QWidget*>(chooseFilename()),
                                static_cast<QWidget*>(cancelThisFile()), static_cast<QWidget*>(cancelAllFiles()),
                                static_cast<QWidget*>(control<QLabel>(dialog, "lblFileExists"))}) {
            EXPECT_EQ(widget->palette().color(QPalette::Window), background) << widget->objectName().toStdString();
        }
        for (QWidget* widget : {static_cast<QWidget*>(pathBox()), static_cast<QWidget*>(overwrite()),
                                static_cast<QWidget*>(hint())}) {
            EXPECT_TRUE(widget->font().bold()) << widget->objectName().toStdString();
        }
        EXPECT_FALSE(continueButton()->font().bold());
        pressContinue();
    });
    expectAnswer(true, false, QString());

    ask(entry, false, [&] {
        clickOn(cancelAllFiles());
        EXPECT_EQ(dialog.focusWidget(), continueButton());
        pressContinue();
    });
    expectAnswer(true, true, QString());
}

TEST_F(FileExistsDialog, InASingleFileOperationHidesTheAllFilesChoiceAndIsShorter) {
    dialog.blnBoldFont = false;
    ask(entry, true, [&] {
        EXPECT_FALSE(cancelAllFiles()->isVisible());
        EXPECT_EQ(dialog.height(), px(3000));
        EXPECT_EQ(dialog.pos().y(), px(Twips::fromPixels(80) + Twips::fromPixels(px(4975)) - 3000 - 100));
        EXPECT_EQ(continueButton()->y(), px(3000 - 800));
        clickOn(overwrite());
        pressContinue();
    });
    expectAnswer(false, false, entry);

    // The caller's choice of fonts counts at every showing.
    dialog.strEntryFilepath = entry;
    dialog.blnBoldFont = false;
    prompts.expectDialog(QStringLiteral("frmTargetFileExists"), [&](QDialog&) {
        EXPECT_FALSE(pathBox()->font().bold());
        EXPECT_FALSE(overwrite()->font().bold());
        pressContinue();
    });
    Prompt::ExecDialog(dialog);
}

TEST_F(FileExistsDialog, AnAllFilesChoiceLeftFromABatchDoesNotActUnseen) {
    ask(entry, false, [&] {
        clickOn(cancelAllFiles());
        pressContinue();
    });
    ask(entry, true, [&] {
        EXPECT_TRUE(cancelThisFile()->isChecked());
        pressContinue();
    });
    expectAnswer(true, false, QString());
}

TEST_F(FileExistsDialog, TheEntryPathIsTrimmedAndOverwriteRestoresIt) {
    ask(QStringLiteral("  ") + entry + QStringLiteral("   "), false, [&] {
        EXPECT_EQ(pathBox()->text().toStdString(), entry.toStdString());
        clickOn(chooseFilename());
        EXPECT_FALSE(pathBox()->isReadOnly());
        EXPECT_TRUE(hint()->isVisible());
        EXPECT_EQ(hint()->y(), continueButton()->y());
        EXPECT_EQ(dialog.focusWidget(), continueButton());
        QTest::keyClicks(pathBox(), QStringLiteral("edited"));

        clickOn(overwrite());
        EXPECT_EQ(pathBox()->text().toStdString(), entry.toStdString());
        EXPECT_TRUE(pathBox()->isReadOnly());
        EXPECT_FALSE(hint()->isVisible());
        pressContinue();
    });
    EXPECT_EQ(dialog.strEntryFilepath.toStdString(), entry.toStdString());
    expectAnswer(false, false, entry);
}

TEST_F(FileExistsDialog, ANewNameIsCheckedBeforeItIsAccepted) {
    const QString sep = QDir::separator();
    const QString other = folder.filePath(QStringLiteral("other.png"));
    touch(other);
    ask(entry, false, [&] {
        expectError(QStringLiteral("New filename must have extension .png."), Icon::None);
        typeNewName(folder.path() + sep + QStringLiteral("new.jpg"));

        // A bare name has no folder to exist, nor has a missing one.
        expectError(QStringLiteral("Subdirectory does not exist."), Icon::Exclamation);
        typeNewName(QStringLiteral("new.png"));
        expectError(QStringLiteral("Subdirectory does not exist."), Icon::Exclamation);
        typeNewName(folder.path() + sep + QStringLiteral("missing") + sep + QStringLiteral("new.png"));

        expectError(QStringLiteral("New filename is invalid."), Icon::Exclamation);
        typeNewName(folder.path() + sep + QStringLiteral(".png"));

        prompts.expectMsgBox(QStringLiteral("New filename already in use.  Overwrite file?"), Buttons::YesNo,
                             Icon::None, QStringLiteral("File exists"), Answer::No);
        typeNewName(QStringLiteral(" ") + other + QStringLiteral(" "));
        // Trimmed in the box; nothing answered yet.
        EXPECT_EQ(pathBox()->text().toStdString(), other.toStdString());
        EXPECT_TRUE(dialog.isVisible());
        expectAnswer(true, false, QString());

        prompts.expectMsgBox(QStringLiteral("New filename already in use.  Overwrite file?"), Buttons::YesNo,
                             Icon::None, QStringLiteral("File exists"), Answer::Yes);
        pressContinue();
    });
    EXPECT_EQ(prompts.pending(), 0);
    expectAnswer(false, false, other);
}

TEST_F(FileExistsDialog, AcceptsANewNameInAnyCaseOfTheExtensionAndTheEntryPathUnasked) {
    const QString fresh = folder.filePath(QStringLiteral("Fresh.PNG"));
    ask(entry, false, [&] { typeNewName(fresh); });
    expectAnswer(false, false, fresh);
    EXPECT_FALSE(QFile::exists(fresh)) << "the dialog writes no file";

    // The entry path itself is the existing file: no question, the same as overwriting.
    ask(entry, false, [&] { typeNewName(entry); });
    expectAnswer(false, false, entry);
}

TEST_F(FileExistsDialog, TheSelectedOptionCarriesOverToTheNextShowing) {
    ask(entry, false, [&] {
        clickOn(overwrite());
        pressContinue();
    });
    const QString second = folder.filePath(QStringLiteral("second.png"));
    touch(second);
    ask(second, false, [&] {
        EXPECT_TRUE(overwrite()->isChecked());
        EXPECT_FALSE(hint()->isVisible());
        pressContinue();
    });
    expectAnswer(false, false, second);

    // "Choose a different filename" comes back with its box open for editing, the hint beside Continue.
    const QString renamed = folder.filePath(QStringLiteral("renamed.png"));
    ask(entry, false, [&] { typeNewName(renamed); });
    ask(second, true, [&] {
        EXPECT_TRUE(chooseFilename()->isChecked());
        EXPECT_FALSE(pathBox()->isReadOnly());
        EXPECT_EQ(pathBox()->text().toStdString(), second.toStdString());
        EXPECT_TRUE(hint()->isVisible());
        EXPECT_EQ(hint()->y(), continueButton()->y());
        EXPECT_EQ(continueButton()->y(), px(3000 - 800));
        pathBox()->clear();
        QTest::keyClicks(pathBox(), renamed);
        pressContinue();
    });
    expectAnswer(false, false, renamed);
}

TEST_F(FileExistsDialog, ClosingOtherThanByContinueSkipsTheFile) {
    ask(entry, false, [&] {
        clickOn(overwrite());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    expectAnswer(true, false, QString());

    ask(entry, false, [&] {
        EXPECT_TRUE(overwrite()->isChecked()) << "Escape keeps the dialog as it was";
        expectError(QStringLiteral("Subdirectory does not exist."), Icon::Exclamation);
        typeNewName(QStringLiteral("no-folder.png"));
        dialog.close();
    });
    prompts.verify();
    expectAnswer(true, false, QString());

    // Closed through its frame, the window comes back as new.
    ask(entry, false, [&] {
        EXPECT_TRUE(cancelThisFile()->isChecked());
        EXPECT_TRUE(pathBox()->isReadOnly());
        EXPECT_FALSE(hint()->isVisible());
        pressContinue();
    });
    expectAnswer(true, false, QString());
}

TEST_F(FileExistsDialog, WorksFromTheKeyboard) {
    const QString fresh = folder.filePath(QStringLiteral("typed.png"));
    ask(entry, false, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        EXPECT_EQ(dialog.focusWidget(), continueButton());
        // The arrow keys move the choice between the options.
        cancelThisFile()->setFocus();
        QTest::keyClick(cancelThisFile(), Qt::Key_Up);
        EXPECT_TRUE(chooseFilename()->isChecked());
        EXPECT_FALSE(pathBox()->isReadOnly());

        pathBox()->setFocus();
        pathBox()->selectAll();
        QTest::keyClicks(pathBox(), fresh);
        // Enter in the box is Continue.
        QTest::keyClick(pathBox(), Qt::Key_Return);
    });
    expectAnswer(false, false, fresh);

    ask(entry, false, [&] {
        // The options are one stop, at the selected one.
        EXPECT_EQ(tabOrder(pathBox()).toStdString(), "txbFilepath optChooseFilename cmdContinue");
        clickOn(cancelAllFiles());
        EXPECT_EQ(tabOrder(pathBox()).toStdString(), "txbFilepath optCancelOperationAllFiles cmdContinue");
        QTest::keyClick(continueButton(), Qt::Key_Space);
    });
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FileExistsDialog, EveryControlHasAnAccessibleName) {
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_"))) {
            continue;
        }
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(pathBox()->accessibleName().toStdString(), "Existing file");
}

TEST(FileExistsColour, ClassicValueHoldsRedInTheLowByte) {
    EXPECT_EQ(frmTargetFileExists::colorFromValue(0xFFFFC0), QColor(192, 255, 255));
    EXPECT_EQ(frmTargetFileExists::colorFromValue(0x0000FF), QColor(255, 0, 0));
}

}  // namespace
