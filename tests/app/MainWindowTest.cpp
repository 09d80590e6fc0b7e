#include "app/Links.h"
#include "app/Shell.h"
#include "app/frmHelp.h"
#include "fs/DiskProc.h"
#include "fs/frmSpecifyDirectory.h"
#include "platform/Twips.h"
#include "tests/app/AppTest.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

class MainWindowTest : public AppTest {
protected:
    void SetUp() override { window.setExitProgram([this] { ++exits; }); }

    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    bool focusIsOn(const char* name) { return window.focusWidget() == child(name); }
    double screenHeight() { return Twips::fromPixels(window.screen()->geometry().height()); }

    int exits = 0;
};

// The folders, formats and check boxes a fresh window saves are StateFileTest's; the controls' designed places
// are the layout code's own table, and the layout rules are the large-window test's.
TEST_F(MainWindowTest, StartsWithDefaultsInTheCentredNormalLayout) {
    EXPECT_EQ(window.minQuality(), 10);
    EXPECT_EQ(window.maxQuality(), 100);
    EXPECT_FALSE(child("txbQuality")->isVisible());
    EXPECT_EQ(child<QLineEdit>("txbQuality")->text(), "80");
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(QRect(window.pos(), window.size()),
              Twips::rect((Twips::fromPixels(screen.width()) - 9465) / 2, (screenHeight() - 4975) / 2, 9465, 4975));
    EXPECT_TRUE(focusIsOn("cmdConvertSingleFile")) << "both folder boxes are empty";
    // Typed relative folders start from the root of the first fixed drive ("/" without drive letters).
    EXPECT_EQ(QDir::toNativeSeparators(QDir::currentPath()), DiskProc::FirstFixedDrive() + QDir::separator());
}

TEST_F(MainWindowTest, LargeWindowOptionSwitchesTheLayoutBothWays) {
    auto* large = child<QCheckBox>("chkLargeWindow");
    QTest::mouseClick(large, Qt::LeftButton, {}, QPoint(5, large->height() / 2));
    const double height = 0.9 * screenHeight();
    EXPECT_EQ(Twips::fromPixels(window.y()), 300);
    EXPECT_EQ(window.size(), Twips::rect(0, 0, 9465, height).size());
    // The buttons and the link below the report follow the bottom edge; the report grows.
    const double y = Twips::roundHalfEven(height - 760);
    EXPECT_EQ(child("cmdClearFolderForImages(2)")->geometry(), Twips::rect(2100, y, 2000, 285));
    EXPECT_EQ(child("lblOnlineDocumentation")->geometry(), Twips::rect(4352, y + 30, 2745, 285));
    EXPECT_EQ(child("cmdCopyToClipboard")->geometry(), Twips::rect(7350, y, 2000, 285));
    EXPECT_EQ(child("txbReport")->geometry(), Twips::rect(2100, 2110, 7260, height - 3000));

    QTest::mouseClick(large, Qt::LeftButton, {}, QPoint(5, large->height() / 2));
    EXPECT_EQ(window.y(), Twips::toPixels((screenHeight() - 4975) / 2));
    EXPECT_EQ(window.size(), Twips::rect(0, 0, 9465, 4975).size());
    EXPECT_EQ(child("txbReport")->geometry(), Twips::rect(2100, 2110, 7260, 1975));
    EXPECT_EQ(child("cmdCopyToClipboard")->geometry(), Twips::rect(7350, 4215, 2000, 285));
}

TEST_F(MainWindowTest, QualityBoxShowsOnlyForJpgAsOutputAndKeepsItsText) {
    auto pick = [&](const char* list, int item) {
        child<QComboBox>(list)->setCurrentIndex(item);
        emit child<QComboBox>(list)->activated(item);
    };
    auto* quality = child<QLineEdit>("txbQuality");
    pick("cboFileFormat(0)", 3);
    EXPECT_FALSE(quality->isVisible()) << "JPG as input";
    pick("cboFileFormat(1)", 3);
    EXPECT_TRUE(quality->isVisible());
    EXPECT_TRUE(child("lblQuality")->isVisible());
    EXPECT_TRUE(focusIsOn("cmdConvertFiles"));
    quality->setText("55");
    pick("cboFileFormat(1)", 2);
    EXPECT_FALSE(quality->isVisible());
    EXPECT_FALSE(child("lblQuality")->isVisible());
    pick("cboFileFormat(1)", 3);
    EXPECT_EQ(quality->text(), "55");
}

TEST_F(MainWindowTest, FocusStepLeadsToTheNextSettingStillMissing) {
    auto* out = child<QLineEdit>("txbFolderForImages(1)");
    child<QLineEdit>("txbFolderForImages(0)")->setText("/a/");
    window.FocusNextStep();
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(1)"));
    out->setText("/b/");
    window.FocusNextStep();
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(0)")) << "no input format";
    child<QComboBox>("cboFileFormat(0)")->setCurrentIndex(1);
    window.FocusNextStep();
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(1)")) << "no output format";
    child<QComboBox>("cboFileFormat(1)")->setCurrentIndex(2);
    window.FocusNextStep();
    EXPECT_TRUE(focusIsOn("cmdConvertFiles"));

    // "Clear" empties only its own box, then takes the step.
    click("cmdClearFolderForImages(1)");
    EXPECT_TRUE(out->text().isEmpty());
    EXPECT_EQ(window.folderText(0), "/a/");
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(1)"));

    window.hide();
    child("cmdQuit")->setFocus();
    window.FocusNextStep();
    EXPECT_TRUE(focusIsOn("cmdQuit")) << "a hidden window moves no focus";
}

TEST_F(MainWindowTest, ReportIsAppendedClearedAndCopiedWithCrLf) {
    click("cmdCopyToClipboard");
    EXPECT_FALSE(prompts.clipboardWritten) << "an empty report leaves the clipboard alone";

    for (const char* piece : {"photo1.bmp", " -> photo1.png [OK]\r\n", "\r\n--------------------\r\n", "x\r", "\n"}) {
        window.appendReport(piece);
    }
    const QString text = "photo1.bmp -> photo1.png [OK]\r\n\r\n--------------------\r\nx\r\n";
    EXPECT_EQ(window.reportText(), text);
    // The view takes the text with the next screen frame.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return child<QPlainTextEdit>("txbReport")->toPlainText() == QString(text).remove('\r'); }));
    click("cmdCopyToClipboard");
    EXPECT_EQ(prompts.clipboard, text);

    click("cmdClearFolderForImages(2)");
    EXPECT_TRUE(window.reportText().isEmpty());
    EXPECT_TRUE(child<QPlainTextEdit>("txbReport")->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, CloseBoxEndsTheProgramOnce) {
    window.close();
    click("cmdQuit");
    window.close();
    EXPECT_EQ(exits, 1);
}

TEST_F(MainWindowTest, LinksAndFilesThatCannotBeOpenedAreReported) {
    prompts.expectOpenExternal(Links::kHomePage, true)
        .expectOpenExternal(Links::kOnlineDocumentation, true, false)
        .expectMsgBox(
            "Error launching web browser. Please make sure that your web browser is correctly installed "
            "and configured",
            Buttons::Ok, Icon::Exclamation, "Vornask")
        .expectOpenExternal("/pics/viewer01.htm", false)
        .expectOpenExternal("/pics/x.zzz", false, false)
        .expectMsgBox("Error opening file /pics/x.zzz.\r\nPerhaps the file extension is incorrect.", Buttons::Ok,
                      Icon::Exclamation, "Error")
        .expectOpenExternal("/pics/x.zzz", false, false);
    // The links are reached with Tab and opened with Space or Enter.
    child("cmdQuit")->setFocus();
    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "lblTaldrin");
    EXPECT_EQ(pressKey(window, Qt::Key_Space), "cmdConvertSingleFile") << "then the focus step";
    child("cmdClearFolderForImages(2)")->setFocus();
    EXPECT_EQ(pressKey(window, Qt::Key_Tab), "lblOnlineDocumentation");
    pressKey(window, Qt::Key_Return);
    EXPECT_TRUE(Shell::OpenFile("/pics/viewer01.htm", true));
    EXPECT_FALSE(Shell::OpenFile("/pics/x.zzz", true));
    EXPECT_FALSE(Shell::OpenFile("/pics/x.zzz", false)) << "no message when not asked for one";
}

TEST_F(MainWindowTest, F1ReleasedOnAnOperationButtonOpensHelpAndNowhereElse) {
    auto helpShown = [] { return frmHelp::instance() && frmHelp::instance()->isVisible(); };
    for (const char* other : {"cmdQuit", "txbFolderForImages(0)", "cboFileFormat(0)"}) {
        QTest::keyClick(child(other), Qt::Key_F1);
    }
    EXPECT_FALSE(helpShown());

    const char* buttons[] = {"cmdConvertSingleFile", "cmdConvertFiles", "cmdHelp", "cmdList(0)", "cmdList(1)"};
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier,
                                               Qt::ShiftModifier | Qt::ControlModifier};
    for (int i = 0; i < 5; ++i) {
        QTest::keyPress(child(buttons[i]), Qt::Key_F1, modifiers[i]);
        EXPECT_FALSE(helpShown()) << "a press alone";
        QTest::keyRelease(child(buttons[i]), Qt::Key_F1, modifiers[i]);
        EXPECT_TRUE(helpShown()) << buttons[i];
        frmHelp::instance()->hide();
    }
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(child("cmdHelp"), &repeat);
    QTest::keyClick(child("cmdHelp"), Qt::Key_F2);
    EXPECT_FALSE(helpShown()) << "the repeats of a held F1, and other keys";
}

TEST_F(MainWindowTest, ChosenInputFolderIsSummarisedAndTheOutputFolderChecked) {
    const QString folder = QDir(dir.path()).filePath("Bilder März");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"a.JPG", "b.bmp", "notes.txt"}) {
        QFile(QDir(folder).filePath(name)).open(QIODevice::WriteOnly);
    }
    window.setFolderText(1, native(dir.filePath("missing")));

    prompts
        .expectDialog("frmSpecifyDirectory",
                      [&](QDialog& d) {
                          EXPECT_EQ(d.windowTitle(), "Specify folder for input image files");
                          ASSERT_TRUE(static_cast<frmSpecifyDirectory&>(d).setCurrentFolder(folder));
                          QTest::mouseClick(d.findChild<QPushButton*>("cmdAccept"), Qt::LeftButton);
                      })
        .expectMsgBox(
            "The input images folder presently contains 2 graphics files (BMP, PNG, JPG, GIF):\r\n"
            "1 BMP file, no PNG files, 1 JPG file and no GIF files.",
            Buttons::Ok, Icon::None, "Graphics files present")
        .expectMsgBox("Output images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
    click("cmdFolderForImages(0)");
    EXPECT_EQ(window.folderText(0), shownFolder(folder));
    EXPECT_EQ(window.folderText(1), shownFolder(dir.filePath("missing")));
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(0)"));
}

// Leaving a folder box checks it. A click into a box or list leaves the focus there, so that what
// is typed next lands there; a click on a button ends with the focus step.
TEST_F(MainWindowTest, TypedFolderIsCheckedOnLeavingAndAClickIntoABoxOrListKeepsTheFocus) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("Photos"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    // Typed relative folders follow the current folder as the system spells it.
    const auto typedFolder = [](const QString& typed) {
        return nativeFolder(QDir::currentPath()) + shownName(typed) + QDir::separator();
    };
    const QString photos = typedFolder("Photos");
    window.setFormatIndex(1, 3);  // JPG, which shows the quality box
    ASSERT_TRUE(takesTheKeyboard(window));
    auto* in = child<QLineEdit>("txbFolderForImages(0)");
    auto* out = child<QLineEdit>("txbFolderForImages(1)");

    QTest::mouseClick(in, Qt::LeftButton);
    QTest::keyClicks(in, "  Photos ");
    QTest::mouseClick(out, Qt::LeftButton);
    EXPECT_EQ(in->text(), photos);
    EXPECT_TRUE(focusIsOn("txbFolderForImages(1)"));
    QTest::keyClicks(window.focusWidget(), "Photos");
    EXPECT_EQ(out->text(), "Photos");

    const struct {
        const char* clicked;
        const char* typed;
    } clicks[] = {{"txbFolderForImages(0)", "Photos"}, {"txbQuality", "elsewhere"}, {"txbReport", ""},
                  {"cboFileFormat(0)", "Photos"}, {"cboFileFormat(1)", "Photos"}};
    for (const auto& c : clicks) {
        QTest::mouseClick(out, Qt::LeftButton);
        out->setText(c.typed);
        if (QString(c.typed) == "elsewhere") {
            prompts.expectMsgBox("Output images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
        }
        QTest::mouseClick(child(c.clicked), Qt::LeftButton);
        if (auto* list = qobject_cast<QComboBox*>(child(c.clicked))) {
            list->hidePopup();
        }
        prompts.verify();
        EXPECT_TRUE(focusIsOn(c.clicked)) << c.clicked;
        EXPECT_EQ(out->text(), *c.typed ? typedFolder(c.typed) : "") << c.clicked;
    }

    QTest::mouseClick(out, Qt::LeftButton);
    out->setText("Photos");
    QTest::mousePress(child("cmdCopyToClipboard"), Qt::LeftButton);
    EXPECT_TRUE(focusIsOn("cmdFolderForImages(0)")) << "the focus step: no input format yet";
    QTest::mouseRelease(child("cmdCopyToClipboard"), Qt::LeftButton);
    EXPECT_EQ(out->text(), photos);
    QDir::setCurrent(previous);
}

}  // namespace
