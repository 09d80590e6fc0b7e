#include "fs/FileProc.h"
#include "fs/FolderCheck.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <system_error>
#include <tuple>
#include <vector>

namespace {

#ifdef Q_OS_WIN
// Windows guards folders with access lists; the mode bits Qt sets only mark files read-only.
const bool kModeBitsGuard = false;
const bool kSymbolicLinks = false;  // they need an administrator; Qt makes shortcut files instead
#else
const bool kModeBitsGuard = true;  // for root too, within WithoutAdminFileRights
const bool kSymbolicLinks = true;
#endif

class FileSystem : public ::testing::Test {
protected:
    void SetUp() override { Prompt::setProgramTitle(QStringLiteral("Vornask")); }
    QString path(const QString& name) const { return QDir::toNativeSeparators(m_dir.filePath(name)); }
    void touch(const QString& name) { ASSERT_TRUE(writeBytes(path(name), {})) << name.toStdString(); }
    void mkdir(const QString& name) { ASSERT_TRUE(QDir(m_dir.path()).mkpath(name)) << name.toStdString(); }
    void expectError(std::errc code) {
        prompts.expectMsgBox(QString::fromLocal8Bit(std::make_error_code(code).message()), Buttons::Ok,
                             Icon::Information, "Error");
    }

    QTemporaryDir m_dir;
    ScriptedPrompts prompts;
};

TEST_F(FileSystem, CountsMatchingFilesDirectlyInTheFolderAndSummarisesThem) {
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp", "Ärger.BMP", ".bmp", "bmp", "x.bmp.bak", "e.jpg", "F.JPG"}) {
        touch(QString::fromUtf8(name));
    }
    mkdir("empty");
    mkdir("folder.bmp");
    touch("folder.bmp/inner.bmp");
    if (kSymbolicLinks) {
        ASSERT_TRUE(QFile::link(path("a.bmp"), path("link.bmp")));
        ASSERT_TRUE(QFile::link(path("gone.bmp"), path("broken.bmp")));
    }
    touch("1.png");
    EXPECT_TRUE(FileProc::FileExists(path("B.BMP")) && FileProc::FolderExists(path("folder.bmp") + QDir::separator()));
    EXPECT_FALSE(FileProc::FileExists(path("folder.bmp")) || FileProc::FolderExists(path("B.BMP")));
    EXPECT_FALSE(FileProc::FileExists("") || FileProc::FolderExists(""));
    // a, B, c, Ärger, .bmp and the link to a file; not the folder, its file or the broken link.
    const int bmps = kSymbolicLinks ? 6 : 5;
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.bmp"), bmps);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.JPG"), 2);

    // A failed count shows one "Error" box; the summary then stops without a box of its own.
    prompts
        .expectMsgBox(FolderCheck::FolderSummaryText(1, bmps, 1, 2, 0), Buttons::Ok, Icon::None,
                      "Graphics files present")
        .expectMsgBox(FolderCheck::FolderSummaryText(0, 0, 0, 0, 0), Buttons::Ok, Icon::None,
                      "No graphics files present");
    expectError(std::errc::no_such_file_or_directory);
    expectError(std::errc::no_such_file_or_directory);
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(1, FolderCheck::ChosenFolderText(m_dir.path())));
    EXPECT_TRUE(FolderCheck::ShowFolderSummary(0, path("empty")));
    EXPECT_EQ(FileProc::CountMatchingFiles(path("missing"), "*.bmp"), -1);
    EXPECT_FALSE(FolderCheck::ShowFolderSummary(0, path("missing")));
    prompts.verify();
    // The folder stays empty, so the temporary folder can still be removed.
    if (kModeBitsGuard) {
        ASSERT_TRUE(QFile::setPermissions(path("empty"), {}));
        WithoutAdminFileRights asUser;
        expectError(std::errc::permission_denied);
        EXPECT_EQ(FileProc::CountMatchingFiles(path("empty"), "*.bmp"), -1);
    }
}

TEST_F(FileSystem, CountsPastSixteenBits) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "creating 32770 files takes minutes under Wine";
    }
    for (int i = 0; i < 32770; ++i) {
        touch(QStringLiteral("%1.png").arg(i));
    }
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.png"), 32770);
}

TEST_F(FileSystem, NewFileCreatableAndUnusedFilepath) {
    touch("taken.htm");
    mkdir("folder.htm");
    ASSERT_TRUE(QFile::link(path("target.htm"), path("dangling.htm")));
    for (const char* name : {"taken.htm", "folder.htm", "dangling.htm", "missing/new.htm"}) {
        EXPECT_FALSE(FileProc::NewFileCreatable(path(name))) << name;
    }
    EXPECT_FALSE(QFile::exists(path("target.htm"))) << "the probe followed the link";
    EXPECT_TRUE(FileProc::NewFileCreatable(path("new file ä.htm")));
    EXPECT_FALSE(QFile::exists(path("new file ä.htm"))) << "the probe was left behind";

    const auto unused = [](const QString& folder) { return FileProc::GetUnusedFilepath(folder, "viewer", "htm"); };
    const QString folder = QDir::toNativeSeparators(m_dir.path());
    EXPECT_EQ(FileProc::GetUnusedFilepath(folder + QDir::separator(), "viewer", ".htm"), path("viewer01.htm"));
    // The numbers are taken one by one: viewer06 comes once viewer01 to viewer05 exist.
    for (int n = 1; n <= 99; ++n) {
        const QString name = QStringLiteral("viewer%1.htm").arg(n, 2, 10, QLatin1Char('0'));
        EXPECT_EQ(unused(folder), path(name));
        touch(name);
    }
    EXPECT_TRUE(unused(folder).isEmpty()) << "all 99 are taken";
    EXPECT_TRUE(unused(path("missing")).isEmpty());
    if (kModeBitsGuard) {
        ASSERT_TRUE(QFile::setPermissions(path("folder.htm"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        WithoutAdminFileRights asUser;
        EXPECT_TRUE(unused(path("folder.htm")).isEmpty());
    }
#ifdef Q_OS_LINUX
    // Nobody, root included, creates files in the kernel's process folder.
    EXPECT_TRUE(unused("/proc").isEmpty());
#endif
}

TEST_F(FileSystem, TypedFolderInBothStyles) {
    mkdir("Photos/Cats");
    const QString here = native(m_dir.path()), base = nativeFolder(m_dir.path());
    const PathStyle win = PathStyle::windows();
    // Rows: style, typed text, current folder, box text afterwards.
    std::vector<std::tuple<PathStyle, QString, QString, QString>> cases = {
        {win, "Photos", "C:\\work", "C:\\work\\photos\\"},
        {win, "\\Pictures\\", "C:\\work", "C:\\pictures\\"},
        {win, "D:\\Images", "C:\\work", "D:\\images\\"},
        {win, "   ", "C:\\work", ""},
        {win, "  Photos\\Cats  ", "C:\\work\\", "C:\\work\\photos\\cats\\"},
        {win, "\\\\Server\\Share", "C:\\work", "C:\\\\server\\share\\"},
    };
#ifdef Q_OS_WIN
    // Real folders, found whatever the letter case of the text.
    const QString lowerBase = base.left(1).toUpper() + base.mid(1).toLower();
    cases.insert(cases.end(), {{win, " Photos\\Cats ", here, base + "photos\\cats\\"},
                               {win, base.toLower() + "PHOTOS", here, lowerBase + "photos\\"}});
#else
    // On a case-sensitive file system the typed letters are the folder's name, and ":" is an
    // ordinary character.
    mkdir("a:b");
    const PathStyle posix = PathStyle::posix();
    cases.insert(cases.end(), {{posix, " Photos/Cats ", here, base + "Photos/Cats/"},
                               {posix, "a:b", here, base + "a:b/"},
                               {posix, base + "Photos", here, base + "Photos/"},
                               {posix, "photos", here, base + "photos/"},
                               {posix, "C:\\Images", here, base + "C:\\Images/"},
                               {posix, "   ", here, ""}});
#endif
    for (const auto& [style, typed, current, result] : cases) {
        // The box appears exactly when there is no such folder; blanks only give an empty box and no message.
        if (!result.isEmpty() && !QDir(result).exists()) {
            prompts.expectMsgBox("Output images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
        }
        EXPECT_EQ(FolderCheck::CheckTypedFolder(1, typed, current, style), result) << typed.toStdString();
        prompts.verify();
    }
    // A misplaced ":" is reported and the text left as it is, then it is not found either.
    prompts.expectMsgBox("Invalid input for message file", Buttons::Ok, Icon::Exclamation, "Vornask")
        .expectMsgBox("Input images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
    EXPECT_EQ(FolderCheck::CheckTypedFolder(0, "Photos:Old", "C:\\work", win), "photos:old\\");
}

TEST_F(FileSystem, TypedFolderBoxIsWrittenBackAtEachStepBeforeAnyMessage) {
    QStringList written;
    const auto record = [&](const QString& text) {
        written << text;
        EXPECT_TRUE(prompts.log().isEmpty()) << "written back after a message: " << text.toStdString();
    };
    prompts.expectMsgBox("Input images folder not found!", Buttons::Ok, Icon::Exclamation, "Error");
    FolderCheck::CheckTypedFolder(0, " Photos", "C:\\work", PathStyle::windows(), record);
    EXPECT_EQ(written, (QStringList{" photos", "photos", "photos\\", "C:\\work\\photos\\"}));
}

}  // namespace
