// "Convert single file" end to end: the real main window, its dialogs driven as a
// user would, real images in a temporary folder and the real conversion library.
#include "app/OpenPaths.h"
#include "batch/Batch.h"
#include "single/SingleFileOperation.h"
#include "tests/app/AppTest.h"

#include <QAccessible>
#include <QCryptographicHash>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

namespace {

const QString kOpenTitle = QStringLiteral("Specify file to be converted");

struct Choice {
    bool bmp = false, png = false, jpg = false;
    QString from{}, to{};
    int stepItem = 1;  // "10"
    bool view = false;
};

class SingleFileTest : public AppTest {
protected:
    QString makeImage(const QString& name, const char* format) {
        EXPECT_TRUE(writePicture(folder + name, format, 24, 16));
        return folder + name;
    }

    // Scripts the Open dialog answering `path` and the conversion dialog making `choice`.
    void expectChoice(const QString& path, const Choice& choice) {
        prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, path);
        expectDialogChoice(path, choice);
    }

    // Scripts the conversion dialog of `path` making `choice`, or cancelling with no choice at all.
    void expectDialogChoice(const QString& path, const Choice& choice) {
        prompts.expectDialog("frmConvertSingleFile", [=](QDialog& d) {
            EXPECT_EQ(shownName(d.findChild<QLineEdit*>("txbFile")->text()), shownName(path));
            if (!choice.bmp && !choice.png && !choice.jpg) {
                d.findChild<QPushButton*>("cmdCancel")->click();
                return;
            }
            auto set = [&](const char* name, bool on) {
                auto* box = d.findChild<QCheckBox*>(name);
                if (box->isChecked() != on) {
                    box->click();
                }
            };
            set("chkBMP", choice.bmp);
            set("chkPNG", choice.png);
            set("chkJPG", choice.jpg);
            set("chkViewInBrowser", choice.view);
            if (choice.jpg) {
                d.findChild<QLineEdit*>("txbQuality(0)")->setText(choice.from);
                d.findChild<QLineEdit*>("txbQuality(1)")->setText(choice.to);
                d.findChild<QComboBox*>("cboStep")->setCurrentIndex(choice.stepItem);
            }
            d.findChild<QPushButton*>("cmdDoIt")->click();
        });
    }

    // The report's lines for one conversion.
    QString converted(const QString& from, const QString& to) {
        auto size = [&](const QString& name) { return Batch::SizeText(QFileInfo(folder + name).size()); };
        return from.toLower() + " (" + size(from) + ") converted to\r\n" + to + " (" + size(to) + ")\r\n\r\n";
    }

    QString folder = shownFolder(dir.path());
};

// Existing results renamed, kept and replaced, with the series converted one at a time and ahead: the same files,
// report and viewer page. The bar in the place of the documentation link counts the conversions and says so to a
// screen reader; the main window keeps what the operation set, for a later batch or "Save state".
TEST_F(SingleFileTest, ASeriesConvertedAheadLooksAsOneAtATimeAndShowsItsProgress) {
    const QString input = makeImage("Cat.PNG", "PNG");
    auto* bar = child<QProgressBar>("prgFiles");
    QWidget* link = child("lblOnlineDocumentation");
    const auto expectBar = [&](int done) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == done; })) << done;
        EXPECT_TRUE(bar->isVisible() && !link->isVisible());
        EXPECT_EQ(bar->geometry(), link->geometry());
        EXPECT_EQ(bar->text(), QString("%1 of 4 files").arg(done));
        QAccessibleInterface* named = QAccessible::queryAccessibleInterface(bar);
        EXPECT_EQ(named->text(QAccessible::Name), "Progress");
        EXPECT_EQ(named->valueInterface()->currentValue().toInt(), done);
    };
    QStringList seen[2];
    for (const int count : {1, 4}) {
        Batch::SetConversionSlots(count);
        for (const QString& name : entries(folder)) {
            if (name != "Cat.PNG") {
                ASSERT_TRUE(QFile::remove(folder + name));
            }
        }
        for (const char* name : {"cat.bmp", "cat_q60.jpg", "cat_q70.jpg"}) {
            ASSERT_TRUE(writeBytes(folder + name, "old"));
        }
        expectChoice(input, {.bmp = true, .jpg = true, .from = "50", .to = "70", .view = true});
        prompts
            .expectDialog("frmTargetFileExists",
                          [&](QDialog& d) {
                              expectBar(0);
                              EXPECT_FALSE(d.findChild<QWidget*>("optCancelOperationAllFiles")->isVisible());
                              d.findChild<QLineEdit*>("txbFilepath")->setText(folder + "cat2.bmp");
                              answerFileExists(d, "optChooseFilename");
                          })
            .expectDialog("frmTargetFileExists",
                          [&](QDialog& d) {
                              expectBar(2);
                              answerFileExists(d, "optCancelOperationThisFile");
                          })
            .expectDialog("frmTargetFileExists",
                          [&](QDialog& d) {
                              expectBar(3);
                              answerFileExists(d, "optOverwrite");
                          })
            .expectOpenExternal(folder + "viewer01.htm", false);
        window.cmdConvertSingleFile_Click();
        prompts.verify();
        EXPECT_TRUE(!bar->isVisible() && link->isVisible());
        seen[count > 1] << window.reportText();
        for (const QString& name : entries(folder)) {
            seen[count > 1] << name + " " +
                                   QCryptographicHash::hash(readBytes(folder + name), QCryptographicHash::Md5).toHex();
        }
    }
    Batch::SetConversionSlots(0);
    EXPECT_EQ(seen[0], seen[1]);
    // The file is read under its real name; the names created are lower case.
    EXPECT_EQ(seen[1].first(), converted("Cat.PNG", "cat2.bmp") + converted("Cat.PNG", "cat_q50.jpg") +
                                   "cat.png -- Existing JPG file not overwritten.\r\n\r\n" +
                                   converted("Cat.PNG", "cat_q70.jpg") + "Viewer file: " + folder + "viewer01.htm\r\n");
    EXPECT_EQ(readBytes(folder + "cat.bmp"), "old");
    EXPECT_EQ(readBytes(folder + "cat_q60.jpg"), "old");
    EXPECT_GT(QFileInfo(folder + "cat_q70.jpg").size(), QFileInfo(folder + "cat_q50.jpg").size());
    EXPECT_EQ(QDir(folder).entryList({"*.bmp", "*.jpg"}, QDir::Files, QDir::Name),
              QStringList({"cat.bmp", "cat2.bmp", "cat_q50.jpg", "cat_q60.jpg", "cat_q70.jpg"}));

    EXPECT_EQ(window.folderText(0), folder);
    EXPECT_EQ(window.folderText(1), folder);
    EXPECT_EQ(window.formatText(0), "PNG");
    EXPECT_EQ(window.formatText(1), "JPG");
    EXPECT_EQ(window.intQualityStep, 10);
    EXPECT_FALSE(Batch::OperationRunning(window));
    // One source entry, then every result.
    const QString html = QString::fromLocal8Bit(readBytes(folder + "viewer01.htm"));
    EXPECT_EQ(html.count("(from " + shownName("Cat.PNG") + ")<BR>"), 3);
    EXPECT_EQ(html.count("<IMG SRC=\"" + shownName("Cat.PNG") + "\""), 1);
}

// A JPEG named .jpeg: listed by the Open dialog, every format offered as a target, results named after the last
// dot, a downward range, and a range of one quality without a suffix.
TEST_F(SingleFileTest, JpegNamedDotJpegConvertsToEveryFormatDownwardsAndOnce) {
    const QString input = makeImage("pic.jpeg", "JPG");
    expectChoice(input, {.bmp = true, .png = true, .jpg = true, .from = "100", .to = "90", .stepItem = 0 /* "5" */});
    window.cmdConvertSingleFile_Click();
    prompts.verify();
    EXPECT_EQ(Prompt::qtFilter(SingleFile::kImageFilter), "BMP, GIF, JPG and PNG (*.bmp *.gif *.jpg *.jpeg *.png)");
    EXPECT_EQ(window.reportText(), converted("pic.jpeg", "pic.bmp") + converted("pic.jpeg", "pic.png") +
                                       converted("pic.jpeg", "pic_q100.jpg") + converted("pic.jpeg", "pic_q95.jpg") +
                                       converted("pic.jpeg", "pic_q90.jpg"));
    EXPECT_EQ(window.intQualityStep, -5);

    expectChoice(input, {.jpg = true, .from = "50", .to = "55"});
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(window.reportText().endsWith(converted("pic.jpeg", "pic.jpg")));
}

TEST_F(SingleFileTest, ReadErrorOfAnEarlierFormatSkipsTheLaterOnes) {
    const QString input = folder + "broken.gif";
    ASSERT_TRUE(writeBytes(input, QByteArray("GIF89a\x10\x00\x10\x00", 10)));  // a header and nothing more
    expectChoice(input, {.png = true, .jpg = true, .from = "50", .to = "70"});
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(window.reportText().contains("*** Read error: ")) << window.reportText().toStdString();
    EXPECT_FALSE(window.reportText().contains(".jpg")) << "no JPG conversion after a read error";
    EXPECT_FALSE(QFileInfo::exists(folder + "broken.png"));
    EXPECT_FALSE(QFileInfo::exists(folder + "broken_q50.jpg"));
}

TEST_F(SingleFileTest, CancellingEitherDialogChangesNothing) {
    window.appendReport("kept\r\n");
    prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, QString());
    window.cmdConvertSingleFile_Click();

    const QString input = makeImage("x.png", "PNG");
    prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, input);
    prompts.expectDialog("frmConvertSingleFile", [](QDialog& d) { d.findChild<QPushButton*>("cmdCancel")->click(); });
    window.cmdConvertSingleFile_Click();
    EXPECT_EQ(window.reportText(), "kept\r\n");
    EXPECT_TRUE(window.folderText(0).isEmpty());
    EXPECT_EQ(window.formatIndex(0), 0);
    EXPECT_EQ(entries(folder).size(), 1);
}

TEST_F(SingleFileTest, ConvertsFromTheKeyboard) {
    const QString input = makeImage("cat.png", "PNG");
    ASSERT_TRUE(takesTheKeyboard(window));
    prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, input);
    prompts.expectDialog("frmConvertSingleFile", [](QDialog& d) {
        ASSERT_TRUE(takesTheKeyboard(d));
        EXPECT_EQ(pressKey(d, Qt::Key_Tab, Qt::NoModifier, 2), "chkBMP") << "from Cancel past the file";
        EXPECT_EQ(pressKey(d, Qt::Key_Space), "cmdDoIt");
        EXPECT_EQ(pressKey(d, Qt::Key_Tab, Qt::ShiftModifier, 3), "chkJPG") << "past the options";
        EXPECT_EQ(pressKey(d, Qt::Key_Space), "cmdDoIt");
        EXPECT_EQ(pressKey(d, Qt::Key_Tab, Qt::ShiftModifier, 3), "cboStep");
        EXPECT_EQ(pressKey(d, Qt::Key_Up), "cmdDoIt") << "a new step moves on to Convert file";
        EXPECT_EQ(pressKey(d, Qt::Key_Tab, Qt::ShiftModifier, 5), "txbQuality(0)");
        QTest::keyClicks(d.focusWidget(), "60");  // replaces the text Tab selected
        EXPECT_EQ(pressKey(d, Qt::Key_Tab), "txbQuality(1)");
        QTest::keyClicks(d.focusWidget(), "70");
        pressKey(d, Qt::Key_Return);  // in the text box
    });
    EXPECT_EQ(pressKey(window, Qt::Key_Return), "cmdConvertFiles") << "the focus step after the conversion";
    prompts.verify();
    for (const char* name : {"cat.bmp", "cat_q60.jpg", "cat_q65.jpg", "cat_q70.jpg"}) {
        EXPECT_TRUE(QFileInfo::exists(folder + name)) << name;
    }
}

// "Open with": the command line's files, each converted in turn through its own dialog.
TEST_F(SingleFileTest, OpenWithConvertsEachFileAndACancelGoesOnWithTheNext) {
    const QString first = makeImage("a.png", "PNG"), second = makeImage("b.jpg", "JPEG");
    expectDialogChoice(first, {});
    expectDialogChoice(second, {.bmp = true, .png = true});
    window.openPaths({first, second});
    prompts.verify();
    EXPECT_FALSE(QFileInfo::exists(folder + "a.bmp"));
    EXPECT_EQ(window.reportText(), converted("b.jpg", "b.bmp") + converted("b.jpg", "b.png"));
    EXPECT_EQ(window.formatText(0), "JPG");

    // The start-up leaves the folder it was started in, so relative paths are made absolute first.
    const QString parent = QFileInfo(dir.path()).path();
    EXPECT_EQ(OpenPaths::Absolute({"a.png", "../b", parent + "/c/"}, dir.path()),
              QStringList({native(dir.path() + "/a.png"), native(parent + "/b"), native(parent + "/c")}));
}

TEST_F(SingleFileTest, OpenWithTakesAFolderAndReportsWhatItCannotOpen) {
    const QString missing = folder + "missing.png", text = folder + "notes.png";
    ASSERT_TRUE(writeBytes(text, "BM, and then only text"));
    prompts.expectMsgBox("Cannot open \"" + missing + "\": there is no such file or folder.", Buttons::Ok,
                         Icon::Exclamation, "Error");
    prompts.expectMsgBox("Cannot open \"" + text + "\": it is not a BMP, PNG, JPG or GIF image.", Buttons::Ok,
                         Icon::Exclamation, "Error");
    window.openPaths({missing, text, dir.path()});
    prompts.verify();
    EXPECT_EQ(window.folderText(0), folder) << "checked as if typed";
    EXPECT_EQ(window.focusWidget()->objectName(), "cmdFolderForImages(1)") << "the focus step after the check";
    EXPECT_TRUE(window.reportText().isEmpty());

    // The window goes on as before.
    expectChoice(makeImage("c.jpg", "JPEG"), {.png = true});
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(QFileInfo::exists(folder + "c.png"));
}

class DropTest : public SingleFileTest {
protected:
    static QList<QUrl> urls(const QStringList& paths) {
        QList<QUrl> list;
        for (const QString& path : paths) {
            list << QUrl::fromLocalFile(path);
        }
        return list;
    }

    // Drags `dragged` into the window at its top left corner, over the control `target` and drops
    // it there, as a file manager does. True when the window takes it; then runs what it started.
    bool drop(const char* target, const QList<QUrl>& dragged,
              Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) {
        QMimeData data;
        data.setUrls(dragged);
        data.setText(dragged.isEmpty() ? QString() : dragged[0].toString());  // what the text boxes would take
        QWidget* over = window.findChild<QWidget*>(target);
        const QPoint at = over->mapTo(&window, over->rect().center());
        QDragEnterEvent enter(QPoint(2, 2), actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &enter);
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(&window, &leave);
            return false;
        }
        EXPECT_EQ(move.dropAction(), Qt::CopyAction) << "a moved file would be deleted by the file manager";
        QDropEvent dropped(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &dropped);
        EXPECT_TRUE(dropped.isAccepted());
        EXPECT_EQ(dropped.dropAction(), Qt::CopyAction);
        QCoreApplication::processEvents();
        return dropped.isAccepted();
    }
};

TEST_F(DropTest, ImagesJudgedByContentAreConvertedInTurnWhereverTheyAreDropped) {
    const QString png = makeImage("shot.png", "PNG"), disguised = makeImage("scan.dat", "BMP");
    expectDialogChoice(png, {.jpg = true, .from = "70"});
    expectDialogChoice(disguised, {.png = true});
    EXPECT_TRUE(drop("txbFolderForImages(0)", urls({png, disguised})));
    prompts.verify();
    EXPECT_TRUE(QFileInfo::exists(folder + "shot.jpg"));
    EXPECT_EQ(QImage(folder + "scan.png").size(), QSize(24, 16));

    expectDialogChoice(png, {.bmp = true});
    EXPECT_TRUE(drop("lblTopLine", urls({png})));
    EXPECT_EQ(window.reportText(), converted("shot.png", "shot.bmp"));
}

TEST_F(DropTest, AFolderDroppedOnABoxOrItsButtonBecomesThatFolder) {
    ASSERT_TRUE(QDir(folder).mkdir("out"));
    EXPECT_TRUE(drop("txbFolderForImages(1)", urls({folder + "out"})));
    EXPECT_EQ(window.folderText(1), folder + "out" + QDir::separator());
    EXPECT_TRUE(drop("cmdFolderForImages(0)", urls({dir.path()})));
    EXPECT_EQ(window.folderText(0), folder);
    EXPECT_EQ(window.focusWidget()->objectName(), "cmdFolderForImages(0)") << "the focus step: no input format yet";
}

TEST_F(DropTest, AnythingElseIsRefusedAndNothingIsTakenWhileAnOperationRuns) {
    const QString png = makeImage("shot.png", "PNG"), text = folder + "notes.png";
    ASSERT_TRUE(writeBytes(text, "plain text"));
    const struct {
        const char* what;
        const char* target;
        QList<QUrl> dragged;
        Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    } refused[] = {
        {"a text file named like an image", "txbReport", urls({text})},
        {"an image with a text file", "txbReport", urls({png, text})},
        {"a folder away from the folder boxes", "txbReport", urls({dir.path()})},
        {"two folders", "txbFolderForImages(0)", urls({dir.path(), QDir::tempPath()})},
        {"a missing file", "txbReport", urls({folder + "gone.png"})},
        {"a web address", "txbFolderForImages(0)", {QUrl("https://example.org/shot.png")}},
        {"an image that may only be moved", "txbReport", urls({png}), Qt::MoveAction},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(drop(r.target, r.dragged, r.actions)) << r.what;
    }
    {
        Batch::OperationScope running(window);
        EXPECT_FALSE(drop("txbReport", urls({png})));
        EXPECT_FALSE(drop("txbFolderForImages(0)", urls({dir.path()})));
    }
    EXPECT_TRUE(window.folderText(0).isEmpty());
    EXPECT_TRUE(window.reportText().isEmpty());
    EXPECT_EQ(entries(folder).size(), 2);
}

}  // namespace
