#include "app/Links.h"
#include "app/Shell.h"
#include "app/StateFile.h"
#include "app/frmHelp.h"
#include "fs/frmSpecifyDirectory.h"
#include "app/frmMain.h"
#include "platform/Twips.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;
using TestSupport::ScriptedPrompts;

namespace {

// Geometry of a widget in twips, as the window was designed.
struct Tw {
    double left, top, width, height;
};

Tw twipsOf(const QRect& r) {
    return {Twips::fromPixels(r.x()), Twips::fromPixels(r.y()), Twips::fromPixels(r.width()),
            Twips::fromPixels(r.height())};
}

// Equal to the designed value to within the pixel grid.
void expectTw(double actual, double designed, const char* what) {
    EXPECT_EQ(Twips::toPixels(actual), Twips::toPixels(designed)) << what << ": " << actual << " tw, designed " << designed;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<frmMain>();
        window->setExitProgram([this] { ++exits; });
        window->Form_Load();
    }

    template <typename T>
    T* child(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QWidget* focused() const { return window->focusWidget(); }
    double screenHeightTw() const { return Twips::fromPixels(window->screen()->geometry().height()); }

    std::unique_ptr<frmMain> window;
    int exits = 0;
};

TEST_F(MainWindowTest, StartsWithCaptionDefaultsAndNormalLayout) {
    EXPECT_EQ(window->windowTitle().toStdString(), "Vornask 1.07");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->intMinQuality, 10);
    EXPECT_EQ(window->intMaxQuality, 100);
    EXPECT_EQ(window->strFileFormat, QStringList({"BMP", "PNG", "JPG", "GIF"}));

    for (const char* name : {"cboFileFormat(0)", "cboFileFormat(1)"}) {
        auto* list = child<QComboBox>(name);
        ASSERT_EQ(list->count(), 5);
        EXPECT_EQ(list->currentText().toStdString(), "Select");
        EXPECT_EQ(list->itemText(4).toStdString(), "GIF");
    }
    EXPECT_FALSE(child<QLineEdit>("txbQuality")->isVisible());
    EXPECT_FALSE(child<QLabel>("lblQuality")->isVisible());
    EXPECT_EQ(child<QLineEdit>("txbQuality")->text().toStdString(), "80");
    EXPECT_EQ(child<QLineEdit>("txbQuality")->maxLength(), 3);
    EXPECT_TRUE(child<QCheckBox>("chkWarnOnOverwrite")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkViewMultipleInBrowser")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkLargeWindow")->isChecked());
    EXPECT_TRUE(window->reportText().isEmpty());
    EXPECT_TRUE(child<QPlainTextEdit>("txbReport")->toPlainText().isEmpty());
    EXPECT_FALSE(child<QPushButton>("cmdStop")->isVisible());
    EXPECT_FALSE(child<QLabel>("lblConvertingFile")->isVisible());
    EXPECT_TRUE(child<QLabel>("lblOnlineDocumentation")->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmdSaveState(0)")->isEnabled());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(192, 192, 255));

    // Client 9465 x 4975 twips, centred on the screen.
    const Tw frame = twipsOf(window->geometry());
    expectTw(frame.width, 9465, "width");
    expectTw(frame.height, 4975, "height");
    const QRect screen = window->screen()->geometry();
    // A window's left and top are those of its frame.
    expectTw(Twips::fromPixels(window->pos().x()), (Twips::fromPixels(screen.width()) - 9465) / 2, "left");
    expectTw(Twips::fromPixels(window->pos().y()), (Twips::fromPixels(screen.height()) - 4975) / 2, "top");

    // The progress line lies over the button row: the left and top of "Convert single file",
    // as wide as the window less Stop and 300.
    const Tw progress = twipsOf(child<QLabel>("lblConvertingFile")->geometry());
    expectTw(progress.left, 105, "progress left");
    expectTw(progress.top, 105, "progress top");
    expectTw(progress.width, 9465 - 645 - 300, "progress width");

    // Both folder boxes are empty: the user starts at "Convert single file".
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertSingleFile"));
}

TEST_F(MainWindowTest, DesignedPositionsOfTheControls) {
    const struct {
        const char* name;
        Tw designed;
    } controls[] = {
        {"cmdConvertSingleFile", {105, 105, 2430, 360}},  {"cmdStop", {8715, 105, 645, 285}},
        {"lblTopLine", {2625, 180, 6630, 300}},           {"cmdFolderForImages(0)", {105, 525, 2430, 360}},
        {"txbFolderForImages(0)", {2625, 525, 6000, 360}}, {"cmdClearFolderForImages(0)", {8715, 555, 645, 285}},
        {"cmdFolderForImages(1)", {105, 945, 2430, 360}},  {"txbFolderForImages(1)", {2625, 945, 6000, 360}},
        {"cmdClearFolderForImages(1)", {8715, 975, 645, 285}}, {"lblFileFormat(0)", {105, 1470, 1695, 225}},
        {"cboFileFormat(0)", {1890, 1470, 960, 315}},     {"cmdList(0)", {2940, 1470, 645, 285}},
        {"lblFileFormat(1)", {3780, 1470, 1905, 225}},    {"cboFileFormat(1)", {5775, 1470, 1065, 315}},
        {"cmdList(1)", {6930, 1470, 645, 285}},           {"lblQuality", {7800, 1470, 855, 330}},
        {"txbQuality", {8700, 1470, 645, 315}},           {"chkWarnOnOverwrite", {105, 1785, 3480, 330}},
        {"chkViewMultipleInBrowser", {4830, 1785, 2115, 330}}, {"chkLargeWindow", {7930, 1785, 1395, 330}},
        {"cmdConvertFiles", {105, 2100, 1905, 360}},      {"txbReport", {2100, 2110, 7260, 1975}},
        {"cmdSaveState(0)", {105, 2520, 1905, 360}},      {"cmdSaveState(1)", {105, 2940, 1905, 360}},
        {"cmdHelp", {105, 3360, 855, 360}},               {"cmdQuit", {1155, 3360, 855, 360}},
        {"lblTaldrin", {105, 4095, 1905, 285}},           {"lblEmailAddress", {105, 4340, 1905, 285}},
        {"cmdClearFolderForImages(2)", {2100, 4215, 2000, 285}}, {"lblOnlineDocumentation", {4352, 4245, 2745, 285}},
        {"cmdCopyToClipboard", {7350, 4215, 2000, 285}},
    };
    for (const auto& c : controls) {
        auto* w = child<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        const Tw actual = twipsOf(w->geometry());
        expectTw(actual.left, c.designed.left, c.name);
        expectTw(actual.top, c.designed.top, c.name);
        expectTw(actual.width, c.designed.width, c.name);
        expectTw(actual.height, c.designed.height, c.name);
        EXPECT_FALSE(w->accessibleName().isEmpty()) << c.name << " has no accessible name";
    }
    EXPECT_EQ(child<QPushButton>("cmdClearFolderForImages(2)")->text().toStdString(), "Clear report window");
    EXPECT_EQ(child<QPushButton>("cmdCopyToClipboard")->text().toStdString(), "Copy to clipboard");
    EXPECT_TRUE(child<QPushButton>("cmdConvertFiles")->font().bold());
    EXPECT_DOUBLE_EQ(child<QPushButton>("cmdConvertFiles")->font().pointSizeF(), 9.75);
    EXPECT_TRUE(child<QPlainTextEdit>("txbReport")->font().fixedPitch());
}

TEST_F(MainWindowTest, LargeWindowSwitchesLayoutsBothWays) {
    auto* large = child<QCheckBox>("chkLargeWindow");
    QTest::mouseClick(large, Qt::LeftButton, {}, QPoint(5, large->height() / 2));
    ASSERT_TRUE(large->isChecked());

    const double height = 0.9 * screenHeightTw();
    const Tw frame = twipsOf(window->geometry());
    expectTw(frame.height, height, "large height");
    expectTw(Twips::fromPixels(window->pos().y()), 300, "large top");
    expectTw(frame.width, 9465, "width never changes");
    const double y = Twips::roundHalfEven(height - 760);
    expectTw(twipsOf(child<QWidget>("cmdClearFolderForImages(2)")->geometry()).top, y, "clear top");
    expectTw(twipsOf(child<QWidget>("cmdCopyToClipboard")->geometry()).top, y, "copy top");
    expectTw(twipsOf(child<QWidget>("lblOnlineDocumentation")->geometry()).top, y + 30, "link top");
    expectTw(twipsOf(child<QWidget>("lblOnlineDocumentation")->geometry()).left, 4352, "link left");
    expectTw(twipsOf(child<QWidget>("txbReport")->geometry()).height, height - 3000, "report height");

    QTest::mouseClick(large, Qt::LeftButton, {}, QPoint(5, large->height() / 2));
    ASSERT_FALSE(large->isChecked());
    const Tw normal = twipsOf(window->geometry());
    expectTw(normal.height, 4975, "normal height");
    expectTw(Twips::fromPixels(window->pos().y()), (screenHeightTw() - 4975) / 2, "normal top");
    expectTw(twipsOf(child<QWidget>("txbReport")->geometry()).height, 1975, "report height");
    expectTw(twipsOf(child<QWidget>("cmdCopyToClipboard")->geometry()).top, 4215, "copy top");
}

TEST_F(MainWindowTest, QualityBoxFollowsJpgAsOutputFormatOnly) {
    auto* input = child<QComboBox>("cboFileFormat(0)");
    auto* output = child<QComboBox>("cboFileFormat(1)");
    auto* quality = child<QLineEdit>("txbQuality");
    auto* label = child<QLabel>("lblQuality");
    auto pick = [](QComboBox* list, int item) {
        list->setCurrentIndex(item);
        emit list->activated(item);
    };

    pick(input, 3);  // JPG as input shows nothing
    EXPECT_FALSE(quality->isVisible());
    pick(output, 3);
    EXPECT_TRUE(quality->isVisible());
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertFiles"));
    quality->setText("55");
    pick(output, 2);
    EXPECT_FALSE(quality->isVisible());
    EXPECT_FALSE(label->isVisible());
    pick(output, 3);
    EXPECT_EQ(quality->text().toStdString(), "55") << "the box keeps what was typed while hidden";
    pick(output, 0);
    EXPECT_FALSE(quality->isVisible());
}

TEST_F(MainWindowTest, FocusStepGuidesThroughTheSettings) {
    auto* in = child<QLineEdit>("txbFolderForImages(0)");
    auto* out = child<QLineEdit>("txbFolderForImages(1)");
    auto* input = child<QComboBox>("cboFileFormat(0)");
    auto* output = child<QComboBox>("cboFileFormat(1)");

    window->FocusNextStep();
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertSingleFile"));
    in->setText("/a/");
    window->FocusNextStep();
    EXPECT_EQ(focused(), child<QPushButton>("cmdFolderForImages(1)"));
    out->setText("/b/");
    window->FocusNextStep();
    EXPECT_EQ(focused(), child<QPushButton>("cmdFolderForImages(0)"));
    input->setCurrentIndex(1);
    window->FocusNextStep();
    EXPECT_EQ(focused(), child<QPushButton>("cmdFolderForImages(1)"));
    output->setCurrentIndex(2);
    window->FocusNextStep();
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertFiles"));

    // "Clear" empties only its own box, then the focus step runs.
    QTest::mouseClick(child<QPushButton>("cmdClearFolderForImages(1)"), Qt::LeftButton);
    EXPECT_TRUE(out->text().isEmpty());
    EXPECT_EQ(in->text().toStdString(), "/a/");
    EXPECT_EQ(focused(), child<QPushButton>("cmdFolderForImages(1)"));

    // A hidden window moves no focus.
    window->hide();
    child<QPushButton>("cmdQuit")->setFocus();
    window->FocusNextStep();
    EXPECT_NE(focused(), child<QPushButton>("cmdFolderForImages(1)"));
}

TEST_F(MainWindowTest, ReportAppendsSeparatesClearsAndCopiesExactText) {
    ScriptedPrompts prompts;
    auto* view = child<QPlainTextEdit>("txbReport");

    // Copying an empty report leaves the clipboard alone.
    prompts.clipboard = "before";
    QTest::mouseClick(child<QPushButton>("cmdCopyToClipboard"), Qt::LeftButton);
    EXPECT_FALSE(prompts.clipboardWritten);

    window->appendReport("photo1.bmp");
    window->appendReport(" -> photo1.png [OK]\r\n");
    window->appendReport("\r\n--------------------\r\n");
    window->appendReport("x\r");
    window->appendReport("\n");
    EXPECT_EQ(window->reportText().toStdString(),
              "photo1.bmp -> photo1.png [OK]\r\n\r\n--------------------\r\nx\r\n");
    EXPECT_EQ(view->toPlainText().toStdString(), "photo1.bmp -> photo1.png [OK]\n\n--------------------\nx\n");

    QTest::mouseClick(child<QPushButton>("cmdCopyToClipboard"), Qt::LeftButton);
    EXPECT_TRUE(prompts.clipboardWritten);
    EXPECT_EQ(prompts.clipboard.toStdString(), window->reportText().toStdString());

    QTest::mouseClick(child<QPushButton>("cmdClearFolderForImages(2)"), Qt::LeftButton);
    EXPECT_TRUE(window->reportText().isEmpty());
    EXPECT_TRUE(view->toPlainText().isEmpty());
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertSingleFile"));
}

TEST_F(MainWindowTest, LongReportsStayCheapToAppendTo) {
    // Tens of thousands of lines: each append adds at the end without rewriting the text.
    for (int i = 0; i < 30000; ++i) {
        window->appendReport(QStringLiteral("photo%1.bmp -> photo%1.png [OK]\r\n").arg(i));
    }
    EXPECT_EQ(child<QPlainTextEdit>("txbReport")->document()->blockCount(), 30001);
    EXPECT_TRUE(window->reportText().endsWith("photo29999.png [OK]\r\n"));
}

TEST_F(MainWindowTest, QuitAndClosingEndTheProgramOnce) {
    QTest::mouseClick(child<QPushButton>("cmdQuit"), Qt::LeftButton);
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->quitRequested());
    window->close();
    EXPECT_EQ(exits, 1);

    frmMain second;
    int secondExits = 0;
    second.setExitProgram([&] { ++secondExits; });
    second.Form_Load();
    second.close();
    EXPECT_EQ(secondExits, 1);
}

TEST_F(MainWindowTest, LinksOpenTheirPagesAndReportFailures) {
    ScriptedPrompts prompts;
    prompts.expectOpenExternal(Links::kHomePage, true)
        .expectOpenExternal(Links::kOnlineDocumentation, true, false)
        .expectMsgBox("Error launching web browser. Please make sure that your web browser is correctly installed "
                      "and configured",
                      Buttons::Ok, Icon::Exclamation, "Vornask");
    window->lblTaldrin_Click();
    window->lblOnlineDocumentation_Click();
    EXPECT_EQ(focused(), child<QPushButton>("cmdConvertSingleFile"));
}

TEST(Shell, OpenFileReportsFailureOnlyWhenAsked) {
    ScriptedPrompts prompts;
    prompts.expectOpenExternal("/pics/viewer01.htm", false, true)
        .expectOpenExternal("/pics/x.zzz", false, false)
        .expectMsgBox("Error opening file /pics/x.zzz.\r\nPerhaps the file extension is incorrect.", Buttons::Ok,
                      Icon::Exclamation, "Error")
        .expectOpenExternal("/pics/x.zzz", false, false);
    EXPECT_TRUE(Shell::OpenFile("/pics/viewer01.htm", true));
    EXPECT_FALSE(Shell::OpenFile("/pics/x.zzz", true));
    EXPECT_FALSE(Shell::OpenFile("/pics/x.zzz", false));
}

}  // namespace

namespace {

TEST_F(MainWindowTest, StateRoundTripsThroughTheRealWindow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("batch.sta");
    child<QLineEdit>("txbFolderForImages(0)")->setText("/pics/in/");
    child<QCheckBox>("chkLargeWindow")->setChecked(true);
    window->setFormatIndex(1, 3);
    ASSERT_TRUE(StateFile::SaveState(*window, path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "\"/pics/in/\"\r\n\"\"\r\n\" 0\"\r\n\" 3\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n");

    frmMain fresh;
    fresh.setExitProgram([] {});
    fresh.Form_Load();
    StateFile::RestoreState(fresh, path);
    EXPECT_EQ(fresh.folderText(0).toStdString(), "/pics/in/");
    EXPECT_EQ(fresh.formatText(1).toStdString(), "JPG");
    EXPECT_TRUE(fresh.findChild<QLineEdit*>("txbQuality")->isVisible()) << "restoring JPG as output shows the quality box";
    EXPECT_EQ(Twips::toPixels(Twips::fromPixels(fresh.height())), Twips::toPixels(0.9 * screenHeightTw()))
        << "restoring the large-window option switches the layout";
}

TEST_F(MainWindowTest, F1OnOperationButtonsOpensHelp) {
    QTest::keyRelease(child<QPushButton>("cmdConvertFiles"), Qt::Key_F1);
    frmHelp* help = frmHelp::instance();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(window->isEnabled());
    help->close();
}

}  // namespace

namespace {

TEST_F(MainWindowTest, ChosenFolderIsSummarisedAndTheOutputBoxChecked) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath("Bilder März");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"a.JPG", "b.bmp", "notes.txt"}) {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    child<QLineEdit>("txbFolderForImages(1)")->setText(dir.filePath("missing"));

    ScriptedPrompts prompts;
    prompts
        .expectDialog("frmSpecifyDirectory",
                      [&](QDialog& d) {
                          EXPECT_EQ(d.windowTitle().toStdString(), "Specify folder for input image files");
                          auto& chooser = static_cast<frmSpecifyDirectory&>(d);
                          ASSERT_TRUE(chooser.setCurrentFolder(folder));
                          QTest::mouseClick(d.findChild<QPushButton*>("cmdAccept"), Qt::LeftButton);
                      })
        .expectMsgBox("The input images folder presently contains 2 graphics files (BMP, PNG, JPG, GIF):\r\n"
                      "1 BMP file, no PNG files, 1 JPG file and no GIF files.",
                      Buttons::Ok, Icon::None, "Graphics files present")
        .expectMsgBox("Output images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
    QTest::mouseClick(child<QPushButton>("cmdFolderForImages(0)"), Qt::LeftButton);
    EXPECT_EQ(window->folderText(0).toStdString(), (folder + "/").toStdString()) << "case and spaces kept";
    EXPECT_EQ(window->folderText(1).toStdString(), (dir.filePath("missing") + "/").toStdString());
    EXPECT_EQ(focused(), child<QPushButton>("cmdFolderForImages(0)"));
}

TEST_F(MainWindowTest, TypedFolderIsCompletedWhenTheBoxLosesTheFocus) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Photos"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    auto* box = child<QLineEdit>("txbFolderForImages(0)");
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    box->setFocus();
    box->setText("  Photos ");
    ScriptedPrompts prompts;
    child<QPushButton>("cmdHelp")->setFocus(Qt::TabFocusReason);  // the focus leaves the box
    EXPECT_EQ(box->text().toStdString(), (QDir(dir.path()).absolutePath() + "/Photos/").toStdString());

    box->setText("elsewhere");
    prompts.expectMsgBox("Input images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
    window->txbFolderForImages_LostFocus(0);
    EXPECT_TRUE(box->text().endsWith("/elsewhere/"));
    QDir::setCurrent(previous);
}

}  // namespace
