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

TEST_F(TypedFolder, WindowsStyleCompletesAndLowerCases) {
    const struct {
        const char* typed;
        const char* result;
    } cases[] = {
        {"Photos", "C:\\work\\photos\\"},   {"  Photos\\Cats  ", "C:\\work\\photos\\cats\\"},
        {"\\Pictures\\", "C:\\pictures\\"}, {"D:\\Images", "D:\\images\\"},
        {"d:\\ÄRGER\\", "D:\\ärger\\"},     {"\\\\Server\\Share", "C:\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        // None of these folders is on this machine unless it is Windows with such folders.
        if (!QDir(QString::fromUtf8(c.result)).exists()) {
            prompts.expectMsgBox(kInputMissing, Buttons::Ok, Icon::Exclamation, "Error");
        }
        EXPECT_EQ(s(FolderCheck::CheckTypedFolder(0, QString::fromUtf8(c.typed), "C:\\work", PathStyle::windows())),
                  c.result)
            << c.typed;
        prompts.verify();
    }
}

TEST_F(TypedFolder, WindowsStyleDriveOnlyAndMisplacedColon) {
    if (!QDir("C:\\").exists()) {
        prompts.expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    }
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, "c:", "C:\\", PathStyle::windows())), "C:\\");
    prompts.verify();

    // The text is left as it is (lower case, with its separator) and is then not found.
    prompts.expectMsgBox("Invalid input for message file", Buttons::Ok, Icon::Exclamation, "Vornask")
        .expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, "Photos:Old", "C:\\work\\", PathStyle::windows())), "photos:old\\");
}

TEST_F(TypedFolder, BlanksOnlyEmptyTheBoxSilently) {
    for (const PathStyle& style : {PathStyle::windows(), PathStyle::posix()}) {
        QStringList written;
        EXPECT_TRUE(
            FolderCheck::CheckTypedFolder(0, "   ", "/tmp", style, [&](const QString& t) { written << t; }).isEmpty());
        EXPECT_EQ(written, QStringList{QString()});
        EXPECT_TRUE(FolderCheck::CheckTypedFolder(1, "", "/tmp", style).isEmpty());
    }
}

TEST_F(TypedFolder, BoxIsWrittenBackBeforeTheMessage) {
    QStringList written;
    qsizetype promptsSeenAtLastWrite = -1;
    prompts.expectMsgBox(kInputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    const QString result =
        FolderCheck::CheckTypedFolder(0, " Photos", "C:\\work", PathStyle::windows(), [&](const QString& t) {
            written << t;
            promptsSeenAtLastWrite = prompts.log().size();
        });
    EXPECT_EQ(written, (QStringList{" photos", "photos", "photos\\", "C:\\work\\photos\\"}));
    EXPECT_EQ(written.last(), result);
    EXPECT_EQ(promptsSeenAtLastWrite, 0);
}

class TypedFolderPosix : public TypedFolder {
protected:
    void SetUp() override {
        TypedFolder::SetUp();
        QDir dir(m_dir.path());
        for (const char* name : {"Photos", "Photos/Cats", "a:b", "Bilder mit Ärger"}) {
            ASSERT_TRUE(dir.mkdir(QString::fromUtf8(name))) << name;
        }
        m_base = m_dir.path() + "/";
    }
    QTemporaryDir m_dir;
    QString m_base;
};

TEST_F(TypedFolderPosix, RelativeAndAbsoluteFoldersKeepTheirCase) {
    const struct {
        QString typed;
        QString result;
    } cases[] = {
        {"Photos", m_base + "Photos/"},
        {" Photos/Cats ", m_base + "Photos/Cats/"},
        {"a:b", m_base + "a:b/"},
        {QString::fromUtf8("Bilder mit Ärger/"), m_base + QString::fromUtf8("Bilder mit Ärger/")},
        {m_base + "Photos", m_base + "Photos/"},
        {"/", "/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(FolderCheck::CheckTypedFolder(0, c.typed, m_dir.path(), PathStyle::posix())), s(c.result))
            << s(c.typed);
    }
}

TEST_F(TypedFolderPosix, MissingFoldersAreReportedAndKept) {
    prompts.expectMsgBox(kInputMissing, Buttons::Ok, Icon::Exclamation, "Error")
        .expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error")
        .expectMsgBox(kOutputMissing, Buttons::Ok, Icon::Exclamation, "Error");
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(0, "photos", m_dir.path(), PathStyle::posix())), s(m_base + "photos/"));
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, "C:\\Images", m_dir.path(), PathStyle::posix())),
              s(m_base + "C:\\Images/"));
    EXPECT_EQ(s(FolderCheck::CheckTypedFolder(1, m_base + "gone", "/", PathStyle::posix())), s(m_base + "gone/"));
}

TEST(FolderSummary, FileCountPhrases) {
    EXPECT_EQ(s(FolderCheck::FileCountText(0, "BMP")), "no BMP files");
    EXPECT_EQ(s(FolderCheck::FileCountText(1, "PNG")), "1 PNG file");
    EXPECT_EQ(s(FolderCheck::FileCountText(2, "JPG")), "2 JPG files");
    EXPECT_EQ(s(FolderCheck::FileCountText(40000, "GIF")), "40000 GIF files");
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
        {0, 1, 0, 0, 0, "The input images folder presently contains one BMP file."},
        {0, 0, 1, 0, 0, "The input images folder presently contains one PNG file."},
        {1, 2, 0, 1, 2,
         "The output images folder presently contains 5 graphics files (BMP, PNG, JPG, GIF):\r\n"
         "2 BMP files, no PNG files, 1 JPG file and 2 GIF files."},
        {0, 0, 1, 1, 0,
         "The input images folder presently contains 2 graphics files (BMP, PNG, JPG, GIF):\r\n"
         "no BMP files, 1 PNG file, 1 JPG file and no GIF files."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(FolderCheck::FolderSummaryText(c.index, c.bmp, c.png, c.jpg, c.gif)), c.text);
    }
    EXPECT_EQ(s(FolderCheck::FolderSummaryTitle(0)), "No graphics files present");
    EXPECT_EQ(s(FolderCheck::FolderSummaryTitle(5)), "Graphics files present");
}

TEST(FolderSummary, CountsARealFolder) {
    QTemporaryDir dir;
    for (const char* name : {"a.bmp", "B.BMP", "c.JPG", "d.gif", "e.Gif", "f.txt", "g.jpeg"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/deeper"));
    QFile inner(dir.filePath("sub/x.png"));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));

    TestSupport::ScriptedPrompts prompts;
    prompts
        .expectMsgBox(
            "The output images folder presently contains 5 graphics files (BMP, PNG, JPG, GIF):\r\n"
            "2 BMP files, no PNG files, 1 JPG file and 2 GIF files.",
            Buttons::Ok, Icon::None, "Graphics files present")
        .expectMsgBox(
            "The input images folder presently contains no graphics files (BMP, PNG, JPG, GIF).\r\n"
            "Please check that you selected the intended folder.",
            Buttons::Ok, Icon::None, "No graphics files present");
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(1, FolderCheck::ChosenFolderText(dir.path())));
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(0, dir.filePath("sub/deeper")));
}

TEST(FolderSummary, FailedCountShowsOnlyTheErrorBox) {
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox(QString::fromLocal8Bit(std::make_error_code(std::errc::no_such_file_or_directory).message()),
                         Buttons::Ok, Icon::Information, "Error");
    QTemporaryDir dir;
    EXPECT_FALSE(FolderCheck::ShowFolderSummary(0, dir.filePath("missing")));
}

TEST(FolderSummary, ChosenFolderTextInBothStyles) {
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("d:\\My Pictures", PathStyle::windows())), "D:\\my pictures\\");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("C:\\", PathStyle::windows())), "C:\\");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("/home/Ann/My Pictures", PathStyle::posix())), "/home/Ann/My Pictures/");
    EXPECT_EQ(s(FolderCheck::ChosenFolderText("/", PathStyle::posix())), "/");
}

}  // namespace
