// A batch through the real main window: its buttons, its File exists dialog, the
// real library, quitting in the middle of a conversion, and all of it from the keyboard.
#include "app/QuitOnSignal.h"
#include "app/StateFile.h"
#include "batch/Batch.h"
#include "tests/app/AppTest.h"

#include <QTimer>
#include <functional>

#ifndef _WIN32
#include <csignal>
#include <unistd.h>
#endif

namespace {

class BatchWindowTest : public AppTest {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(in) && QDir().mkpath(out)); }
    void fillSettings() {
        window.setFolderText(0, in);
        window.setFolderText(1, out);
        window.setFormatIndex(0, 1);  // BMP
        window.setFormatIndex(1, 2);  // PNG
    }

    void quitPartWay(const std::function<void()>& quit);

    QString in = shownFolder(dir.filePath("in")), out = shownFolder(dir.filePath("out"));
};

// The File exists dialog answers for a kept file; the buttons that would start another
// operation do nothing while a conversion runs.
TEST_F(BatchWindowTest, ExistingResultKeptAndOtherOperationsWaitForTheRun) {
    fillSettings();
    ASSERT_TRUE(writePicture(in + "big.bmp", "BMP", 3000, 2000));
    ASSERT_TRUE(writePicture(in + "kept.bmp", "BMP", 8, 8));
    ASSERT_TRUE(writeBytes(out + "kept.png", "keep me"));

    bool triedDuringRun = false;
    QTimer::singleShot(5, &window, [&] {
        if (Batch::OperationRunning(window)) {
            triedDuringRun = true;
            for (const char* name :
                 {"cmdList(0)", "cmdConvertFiles", "cmdConvertSingleFile", "cmdFolderForImages(1)"}) {
                child<QPushButton>(name)->click();  // none may prompt or start anything
            }
        }
    });
    prompts
        .expectDialog("frmTargetFileExists",
                      [&](QDialog& d) {
                          EXPECT_TRUE(d.findChild<QWidget*>("optCancelOperationAllFiles")->isVisible());
                          answerFileExists(d, "optCancelOperationThisFile");
                      })
        .expectMsgBox("Number of BMP files converted: 1 (of 2 input)", Buttons::Ok, Icon::None,
                      "Not all files converted.");
    QTest::mouseClick(child<QPushButton>("cmdConvertFiles"), Qt::LeftButton);
    prompts.verify();

    EXPECT_TRUE(triedDuringRun);
    EXPECT_EQ(window.reportText().count("big.bmp -> big.png [OK]\r\n"), 1);
    EXPECT_TRUE(window.reportText().contains("kept.bmp -- Existing PNG file not overwritten.\r\n\r\n"));
    EXPECT_TRUE(window.reportText().endsWith("\r\nNumber of BMP files converted: 1 (of 2 input)\r\n"));
    EXPECT_EQ(readBytes(out + "kept.png"), "keep me");
    EXPECT_TRUE(child<QPushButton>("cmdConvertSingleFile")->isVisible());
    EXPECT_FALSE(child<QPushButton>("cmdStop")->isVisible());
}

// Quits with `quit` as soon as the first of three conversions is under way. The file under
// way is finished; the run ends there, and nothing else is in the folder.
void BatchWindowTest::quitPartWay(const std::function<void()>& quit) {
    fillSettings();
    for (const char* name : {"big1.bmp", "big2.bmp", "big3.bmp"}) {
        ASSERT_TRUE(writePicture(in + name, "BMP", 3000, 2000));
    }
    int exits = 0;
    window.setExitProgram([&] { ++exits; });
    QTimer::singleShot(5, &window, [&] {
        if (Batch::OperationRunning(window)) {
            quit();
        }
    });
    child<QPushButton>("cmdConvertFiles")->click();
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(Batch::OperationRunning(window));
    const QStringList left = entries(out);
    EXPECT_LE(left.size(), 1) << left.join(", ").toStdString();
    for (const QString& name : left) {
        EXPECT_TRUE(name.startsWith("big") && name.endsWith(".png")) << "left behind: " << name.toStdString();
    }
}

TEST_F(BatchWindowTest, QuittingDuringAConversionEndsTheRunAndLeavesNoTemporaryFile) {
    quitPartWay([this] { child<QPushButton>("cmdQuit")->click(); });
}

#ifndef _WIN32
// Logging out ends the program with SIGTERM: taken as Quit, so nothing is left half-done.
TEST_F(BatchWindowTest, TheSessionEndingTheProgramIsTakenAsQuit) {
    QuitOnSignal::Install(&window, [this] { window.cmdQuit_Click(); });
    quitPartWay([] { ::kill(::getpid(), SIGTERM); });
}
#endif

// Folders, formats, the run, then saving and restoring the settings, with keys alone.
TEST_F(BatchWindowTest, RunsAndSavesAndRestoresItsSettingsFromTheKeyboard) {
    ASSERT_TRUE(writePicture(in + "a.bmp", "BMP", 8, 8));
    ASSERT_TRUE(takesTheKeyboard(window));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(in);  // where the folder chooser opens the first time
    prompts
        .expectDialog("frmSpecifyDirectory",
                      [](QDialog& d) {
                          ASSERT_TRUE(takesTheKeyboard(d));
                          EXPECT_EQ(pressKey(d, Qt::Key_Tab, Qt::ShiftModifier), "cmdAccept");
                          pressKey(d, Qt::Key_Space);
                      })
        .expectMsgBox("The input images folder presently contains one BMP file.", Buttons::Ok, Icon::None,
                      "Graphics files present");
    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "cmdFolderForImages(0)");
    EXPECT_EQ(pressKey(window, Qt::Key_Space), "cmdFolderForImages(1)") << "the focus step after the chooser";
    QDir::setCurrent(previous);
    EXPECT_EQ(window.folderText(0), in);
    ASSERT_TRUE(takesTheKeyboard(window));  // back from the chooser, so that leaving a box is seen

    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "txbFolderForImages(1)");
    QTest::keyClicks(window.focusWidget(), out);
    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "cmdClearFolderForImages(1)") << "Tab is not turned back by the check";
    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "cboFileFormat(0)");
    EXPECT_EQ(pressKey(window, Qt::Key_B), "cmdConvertFiles") << "a chosen format moves on";
    EXPECT_EQ(pressKey(window, Qt::Key_Tab, Qt::ShiftModifier, 5), "cboFileFormat(1)");
    EXPECT_EQ(pressKey(window, Qt::Key_P), "cmdConvertFiles");
    prompts.expectMsgBox("Number of BMP files converted: 1 (of 1 input)", Buttons::Ok, Icon::None,
                         "All files converted.");
    pressKey(window, Qt::Key_Space);
    prompts.verify();
    EXPECT_TRUE(QFileInfo::exists(out + "a.png"));

    const QString state = dir.filePath("settings.sta");
    prompts.expectSaveFile("Specify filename for saved state", StateFile::kFilter, state)
        .expectOpenFile("Specify filename for state to restore", StateFile::kFilter, state);
    EXPECT_EQ(pressKey(window, Qt::Key_Tab, Qt::NoModifier, 2), "cmdSaveState(0)") << "past the report";
    EXPECT_EQ(pressKey(window, Qt::Key_Return), "cmdConvertFiles");
    window.setFolderText(1, QString());
    EXPECT_EQ(pressKey(window, Qt::Key_Tab, Qt::NoModifier, 3), "cmdSaveState(1)");
    EXPECT_EQ(pressKey(window, Qt::Key_Return), "cmdConvertFiles");
    EXPECT_EQ(window.folderText(1), out);
}

}  // namespace
