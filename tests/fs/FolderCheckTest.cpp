#include "fs/FolderCheck.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <system_error>

namespace {

using Prompt::Buttons;
using Prompt::Icon;

std::string s(const QString& text) {
    return text.toStdString();
}

const QString kInputMissing = QStringLiteral("Input images folder not found!");
const QString kOutputMissing = QStringLiteral("Output images folder not found!");

class TypedFolder : public ::testing::Test {
protected:
    void SetUp() override { Prompt::setProgramTitle(QStringLiteral("Vornask")); }
    TestSupport::ScriptedPrompts prompts;
};

TEST_F(TypedFolder, WindowsStyle) {
    const struct {
        const char* typed;
        const char* current;
        const char* result;
    } cases[] = {
        {"Photos", "C:\\work", "C:\\work\\photos\\"},
        {"  Photos\\Cats  ", "C:\\work\\", "C:\\work\\photos\\cats\\"},
        {"\\Pictures\\", "C:\\work", "C:\\pictures\\"},
        {"D:\\Images", "C:\\work", "D:\\images\\"},
        {"c:", "C:\\", "C:\\"},
        {"\\\\Server\\Share", "C:\\work", "C:\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        // No such folder is on this machine unless it is Windows and has it.
        if (!QDir(c.result).exists()) {
            prompts.expectMsgBox(kInputMissing, Buttons::Ok, Icon::Exclamation, "Error");
        }
        EXPECT_EQ(s(FolderCheck::CheckTypedFolder(0, QString::fromUtf8(c.typed), c.current, PathStyle::windows())),
                  c.result)
            << c.typed;
        prompts.verify();
    }
    // A misplaced ":" is reported and the text left as it is, then it is not found either.
    prompts.expectMsgBox("Invalid input for message file", Buttons::Ok, Icon::Exclamation, "Vornask")
        .expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, "Photos:Old", "C:\\work", PathStyle::windows())), "photos:old\\");
}

TEST_F(TypedFolder, BoxIsWrittenBackAtEachStepBeforeAnyMessage) {
    QStringList written;
    qsizetype promptsSeenAtLastWrite = -1;
    prompts.expectMsgBox(kInputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    FolderCheck::CheckTypedFolder(0, " Photos", "C:\\work", PathStyle::windows(), [&](const QString& t) {
        written << t;
        promptsSeenAtLastWrite = prompts.log().size();
    });
    EXPECT_EQ(written, (QStringList{" photos", "photos", "photos\\", "C:\\work\\photos\\"}));
    EXPECT_EQ(promptsSeenAtLastWrite, 0);
    // Blanks only: the box is emptied and nothing is shown, in either style.
    for (const PathStyle& style : {PathStyle::windows(), PathStyle::posix()}) {
        written.clear();
        EXPECT_TRUE(
            FolderCheck::CheckTypedFolder(0, "   ", "/tmp", style, [&](const QString& t) { written << t; }).isEmpty());
        EXPECT_EQ(written, QStringList{QString()});
    }
}

TEST_F(TypedFolder, PosixStyleKeepsCaseAndColons) {
    QTemporaryDir dir;
    for (const char* name : {"Photos/Cats", "a:b", "Bilder mit Ärger"}) {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QString::fromUtf8(name))) << name;
    }
    const QString base = dir.path() + "/";
    const struct {
        QString typed;
        QString result;
        bool exists;
    } cases[] = {
        {"Photos", base + "Photos/", true},
        {" Photos/Cats ", base + "Photos/Cats/", true},
        {"a:b", base + "a:b/", true},
        {QString::fromUtf8("Bilder mit Ärger/"), base + QString::fromUtf8("Bilder mit Ärger/"), true},
        {base + "Photos", base + "Photos/", true},
        {"photos", base + "photos/", false},
        {"C:\\Images", base + "C:\\Images/", false},
    };
    for (const auto& c : cases) {
        if (!c.exists) {
            prompts.expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error");
        }
        EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, c.typed, dir.path(), PathStyle::posix())), s(c.result))
            << s(c.typed);
        prompts.verify();
    }
}

TEST(FolderSummary, Texts) {
    const struct {
        int index, bmp, png, jpg, gif;
        const char* text;
    } cases[] = {
        {0, 0, 0, 0, 0,
         "The input images folder presently contains no graphics files (BMP, PNG, JPG, GIF).\r\n"
         "Please check that you selected the intended folder."},
        {1, 0, 0, 0, 0, "The output images folder presently contains no graphics files (BMP, PNG, JPG, GIF)."},
        {0, 0, 0, 1, 0, "The input images folder presently contains one JPG file."},
        {1, 0, 0, 0, 1, "The output images folder presently contains one GIF file."},
        {0, 0, 1, 0, 0, "The input images folder presently contains one PNG file."},
        {1, 2, 0, 1, 2,
         "The output images folder presently contains 5 graphics files (BMP, PNG, JPG, GIF):\r\n"
         "2 BMP files, no PNG files, 1 JPG file and 2 GIF files."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(FolderCheck::FolderSummaryText(c.index, c.bmp, c.png, c.jpg, c.gif)), c.text);
    }
    EXPECT_EQ(s(FolderCheck::FileCountText(40000, "GIF")), "40000 GIF files");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("d:\\My Pictures", PathStyle::windows())), "D:\\my pictures\\");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("/home/Ann/My Pictures", PathStyle::posix())), "/home/Ann/My Pictures/");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("/", PathStyle::posix())), "/");
}

TEST(FolderSummary, CountsARealFolderAndStopsAfterAFailedCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/deeper"));
    for (const char* name : {"a.bmp", "B.BMP", "c.JPG", "d.gif", "e.Gif", "f.txt", "g.jpeg", "sub/x.png"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TestSupport::ScriptedPrompts prompts;
    prompts
        .expectMsgBox(
            "The output images folder presently contains 5 graphics files (BMP, PNG, JPG, GIF):\r\n"
            "2 BMP files, no PNG files, 1 JPG file and 2 GIF files.",
            Buttons::Ok, Icon::None, "Graphics files present")
        .expectMsgBox(
            "The input images folder presently contains no graphics files (BMP, PNG, JPG, GIF).\r\n"
            "Please check that you selected the intended folder.",
            Buttons::Ok, Icon::None, "No graphics files present")
        .expectMsgBox(QString::fromLocal8Bit(std::make_error_code(std::errc::no_such_file_or_directory).message()),
                      Buttons::Ok, Icon::Information, "Error");
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(1, FolderCheck::ChosenFolderText(dir.path())));
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(0, dir.filePath("sub/deeper")));
    EXPECT_FALSE(FolderCheck::ShowFolderSummary(0, dir.filePath("missing")));
}

}  // namespace
