// "Convert single file" end to end: the real main window, its dialogs driven as a
// user would, real images in a temporary folder and the real conversion library.
#include "app/frmMain.h"
#include "batch/Batch.h"
#include "single/SingleFileOperation.h"
#include "tests/support/ScriptedPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;
using TestSupport::ScriptedPrompts;

namespace {

const QString kOpenTitle = QStringLiteral("Specify file to be converted");

struct Choice {
    bool bmp = false, png = false, jpg = false;
    QString from, to;
    int stepItem = 1;  // "10"
    bool view = false;
    bool warn = true;
};

class SingleFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/");
        window.setExitProgram([] {});
        window.Form_Load();
    }

    QString makeImage(const QString& name, const char* format) {
        QImage image(24, 16, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, qRgb(x * 10, y * 15, 128));
            }
        }
        const QString path = folder + name;
        EXPECT_TRUE(image.save(path, format));
        return path;
    }

    // Scripts the Open dialog answering `path` and the conversion dialog making `choice`.
    void expectChoice(ScriptedPrompts& prompts, const QString& path, const Choice& choice,
                      const std::function<void(QDialog&)>& check = {}) {
        prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, path);
        prompts.expectDialog("frmConvertSingleFile", [=](QDialog& d) {
            if (check) {
                check(d);
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
            set("chkWarnOnOverwrite", choice.warn);
            if (choice.jpg) {
                d.findChild<QLineEdit*>("txbQuality(0)")->setText(choice.from);
                d.findChild<QLineEdit*>("txbQuality(1)")->setText(choice.to);
                d.findChild<QComboBox*>("cboStep")->setCurrentIndex(choice.stepItem);
            }
            d.findChild<QPushButton*>("cmdDoIt")->click();
        });
    }

    QString sizeOf(const QString& name) { return Batch::SizeText(QFileInfo(folder + name).size()); }

    QTemporaryDir dir;
    QString folder;
    frmMain window;
};

TEST_F(SingleFileTest, ConvertsToBmpAndAQualityRangeWithExactReport) {
    const QString input = makeImage("Cat.PNG", "PNG");
    ScriptedPrompts prompts;
    Choice choice;
    choice.bmp = true;
    choice.jpg = true;
    choice.from = "50";
    choice.to = "70";
    choice.view = true;
    expectChoice(prompts, input, choice, [](QDialog& d) {
        EXPECT_FALSE(d.findChild<QCheckBox*>("chkPNG")->isEnabled()) << "the file's own format is offered";
        EXPECT_TRUE(d.findChild<QCheckBox*>("chkBMP")->isEnabled());
    });
    prompts.expectOpenExternal(folder + "viewer01.htm", false);
    window.cmdConvertSingleFile_Click();
    prompts.verify();

    // The file is read under its real name; the names created are lower case.
    for (const char* name : {"cat.bmp", "cat_q50.jpg", "cat_q60.jpg", "cat_q70.jpg", "viewer01.htm"}) {
        EXPECT_TRUE(QFileInfo::exists(folder + name)) << name;
    }
    EXPECT_FALSE(QFileInfo::exists(folder + "cat.jpg"));
    const QString expected = "cat.png (" + sizeOf("Cat.PNG") + ") converted to\r\ncat.bmp (" + sizeOf("cat.bmp") +
                             ")\r\n\r\n" + "cat.png (" + sizeOf("Cat.PNG") + ") converted to\r\ncat_q50.jpg (" +
                             sizeOf("cat_q50.jpg") + ")\r\n\r\n" + "cat.png (" + sizeOf("Cat.PNG") +
                             ") converted to\r\ncat_q60.jpg (" + sizeOf("cat_q60.jpg") + ")\r\n\r\n" + "cat.png (" +
                             sizeOf("Cat.PNG") + ") converted to\r\ncat_q70.jpg (" + sizeOf("cat_q70.jpg") +
                             ")\r\n\r\n" + "Viewer file: " + folder + "viewer01.htm\r\n";
    EXPECT_EQ(window.reportText().toStdString(), expected.toStdString());
    EXPECT_GT(QFileInfo(folder + "cat_q70.jpg").size(), QFileInfo(folder + "cat_q50.jpg").size());

    // The main window keeps what the operation set, for a later batch or "Save state".
    EXPECT_EQ(window.folderText(0).toStdString(), folder.toStdString());
    EXPECT_EQ(window.folderText(1).toStdString(), folder.toStdString());
    EXPECT_EQ(window.formatText(0).toStdString(), "PNG");
    EXPECT_EQ(window.formatText(1).toStdString(), "JPG");
    EXPECT_EQ(window.intQualityStep, 10);
    EXPECT_FALSE(Batch::OperationRunning(window));

    // One source entry, then every result.
    QFile page(folder + "viewer01.htm");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromLocal8Bit(page.readAll());
    EXPECT_EQ(html.count("(from Cat.PNG)<BR>"), 4);
    EXPECT_EQ(html.count("<IMG SRC=\"Cat.PNG\""), 1);
}

TEST_F(SingleFileTest, DownwardRangeAndSingleValueWithoutSuffix) {
    const QString input = makeImage("shot.bmp", "BMP");
    ScriptedPrompts prompts;
    Choice down;
    down.jpg = true;
    down.from = "100";
    down.to = "90";
    down.stepItem = 0;  // "5"
    expectChoice(prompts, input, down);
    window.cmdConvertSingleFile_Click();
    for (const char* name : {"shot_q100.jpg", "shot_q95.jpg", "shot_q90.jpg"}) {
        EXPECT_TRUE(QFileInfo::exists(folder + name)) << name;
    }
    EXPECT_EQ(window.intQualityStep, -5);

    Choice one;
    one.jpg = true;
    one.from = "50";
    one.to = "55";
    expectChoice(prompts, input, one);
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(QFileInfo::exists(folder + "shot.jpg")) << "a range of one quality gets no suffix";
    EXPECT_TRUE(window.reportText().startsWith("shot.bmp ("));
    EXPECT_TRUE(window.reportText().contains("converted to\r\nshot.jpg ("));
}

TEST_F(SingleFileTest, ReadErrorOfAnEarlierFormatSkipsTheLaterOnes) {
    const QString input = folder + "broken.gif";
    {
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("GIF89a\x10\x00\x10\x00", 10);  // a header and nothing more
    }
    ScriptedPrompts prompts;
    Choice choice;
    choice.png = true;
    choice.jpg = true;
    choice.from = "50";
    choice.to = "70";
    expectChoice(prompts, input, choice, [](QDialog& d) {
        for (const char* name : {"chkBMP", "chkPNG", "chkJPG"}) {
            EXPECT_TRUE(d.findChild<QCheckBox*>(name)->isEnabled()) << "a GIF offers " << name;
        }
    });
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(window.reportText().contains("*** Read error: ")) << window.reportText().toStdString();
    EXPECT_FALSE(window.reportText().contains(".jpg")) << "no JPG conversion after a read error";
    EXPECT_FALSE(QFileInfo::exists(folder + "broken.png"));
    EXPECT_FALSE(QFileInfo::exists(folder + "broken_q50.jpg"));
}

TEST_F(SingleFileTest, ExistingResultAskedWithoutTheAllFilesChoice) {
    const QString input = makeImage("dog.png", "PNG");
    QFile existing(folder + "dog.bmp");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old");
    existing.close();

    ScriptedPrompts prompts;
    Choice choice;
    choice.bmp = true;
    expectChoice(prompts, input, choice);
    prompts.expectDialog("frmTargetFileExists", [](QDialog& d) {
        EXPECT_FALSE(d.findChild<QWidget*>("optCancelOperationAllFiles")->isVisible());
        d.findChild<QAbstractButton*>("optCancelOperationThisFile")->click();
        d.findChild<QPushButton*>("cmdContinue")->click();
    });
    window.cmdConvertSingleFile_Click();
    EXPECT_EQ(window.reportText().toStdString(), "dog.png -- Existing BMP file not overwritten.\r\n\r\n");
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll().toStdString(), "old");
    existing.close();

    expectChoice(prompts, input, choice);
    prompts.expectDialog("frmTargetFileExists", [](QDialog& d) {
        d.findChild<QAbstractButton*>("optOverwrite")->click();
        d.findChild<QPushButton*>("cmdContinue")->click();
    });
    window.cmdConvertSingleFile_Click();
    EXPECT_TRUE(window.reportText().startsWith("dog.png (")) << window.reportText().toStdString();
    EXPECT_EQ(QImage(folder + "dog.bmp").size(), QSize(24, 16));
}

TEST_F(SingleFileTest, CancellingEitherDialogChangesNothing) {
    window.appendReport("kept\r\n");
    ScriptedPrompts prompts;
    prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, QString());
    window.cmdConvertSingleFile_Click();

    const QString input = makeImage("x.png", "PNG");
    prompts.expectOpenFile(kOpenTitle, SingleFile::kImageFilter, input);
    prompts.expectDialog("frmConvertSingleFile", [](QDialog& d) { d.findChild<QPushButton*>("cmdCancel")->click(); });
    window.cmdConvertSingleFile_Click();
    EXPECT_EQ(window.reportText().toStdString(), "kept\r\n");
    EXPECT_TRUE(window.folderText(0).isEmpty());
    EXPECT_EQ(window.formatIndex(0), 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
}

}  // namespace
