#include "fs/FileProc.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <unistd.h>
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

QString platformText(std::errc code) {
    return QString::fromLocal8Bit(std::make_error_code(code).message());
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << s(path);
}

bool runningAsRoot() {
#ifdef Q_OS_WIN
    return false;
#else
    return geteuid() == 0;
#endif
}

class FileSystem : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    TestSupport::ScriptedPrompts prompts;
};

TEST_F(FileSystem, FileAndFolderExistence) {
    touch(path("Photo.JPG"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("Sub Folder"));
    EXPECT_TRUE(FileProc::FileExists(path("Photo.JPG")));
    EXPECT_FALSE(FileProc::FileExists(path("Sub Folder")));
    EXPECT_FALSE(FileProc::FileExists(path("missing.jpg")));
    EXPECT_FALSE(FileProc::FileExists(""));
    EXPECT_TRUE(FileProc::FolderExists(path("Sub Folder")));
    EXPECT_TRUE(FileProc::FolderExists(path("Sub Folder") + QDir::separator()));
    EXPECT_FALSE(FileProc::FolderExists(path("Photo.JPG")));
    EXPECT_FALSE(FileProc::FolderExists(path("missing")));
    EXPECT_FALSE(FileProc::FolderExists(""));
#ifndef Q_OS_WIN
    // The file system tells case apart.
    EXPECT_FALSE(FileProc::FileExists(path("photo.jpg")));
#endif
}

TEST_F(FileSystem, CountsMatchingFilesDirectlyInTheFolder) {
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp", "d.png", "e.jpg", "F.JPG", "g.jpeg", "h.gif", "bmp", ".bmp",
                             "x.bmp.bak", "Ärger.BMP"}) {
        touch(path(name));
    }
    QDir dir(m_dir.path());
    ASSERT_TRUE(dir.mkdir("folder.bmp"));
    ASSERT_TRUE(dir.mkdir("sub"));
    touch(path("sub/inner.bmp"));
    ASSERT_TRUE(QFile::link(path("a.bmp"), path("link.bmp")));
    ASSERT_TRUE(QFile::link(path("gone.bmp"), path("broken.bmp")));

    // a, B, c, .bmp, Ärger, and the link to a file; not the folder, the subfolder's file or the broken link.
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.bmp"), 6);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path() + "/", "*.BMP"), 6);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.jpg"), 2);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.gif"), 1);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*"), 1) << "only the name without a dot";
    EXPECT_EQ(FileProc::CountMatchingFiles(path("sub"), "*.bmp"), 1);
    ASSERT_TRUE(dir.mkdir("empty"));
    EXPECT_EQ(FileProc::CountMatchingFiles(path("empty"), "*.*"), 0);
}

TEST_F(FileSystem, CountsBeyondSixteenBits) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("many"));
    for (int i = 0; i < 40000; ++i) {
        QFile file(path(QStringLiteral("many/f%1.png").arg(i)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << i;
    }
    EXPECT_EQ(FileProc::CountMatchingFiles(path("many"), "*.png"), 40000);
}

TEST_F(FileSystem, CountFailureShowsOneErrorBoxAndGivesMinusOne) {
    touch(path("plain.bmp"));
    prompts.expectMsgBox(platformText(std::errc::no_such_file_or_directory), Buttons::Ok, Icon::Information, "Error")
        .expectMsgBox(platformText(std::errc::not_a_directory), Buttons::Ok, Icon::Information, "Error");
    EXPECT_EQ(FileProc::CountMatchingFiles(path("missing"), "*.bmp"), -1);
    EXPECT_EQ(FileProc::CountMatchingFiles(path("plain.bmp"), "*.bmp"), -1);
}

TEST_F(FileSystem, CountOfAnUnreadableFolderFails) {
    if (runningAsRoot()) {
        GTEST_SKIP() << "root reads every folder";
    }
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("locked"));
    touch(path("locked/a.bmp"));
    ASSERT_TRUE(QFile::setPermissions(path("locked"), QFileDevice::Permissions()));
    prompts.expectMsgBox(platformText(std::errc::permission_denied), Buttons::Ok, Icon::Information, "Error");
    EXPECT_EQ(FileProc::CountMatchingFiles(path("locked"), "*.bmp"), -1);
    QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(FileSystem, NewFileCreatableOnlyWhereNothingIsAndTheFolderTakesFiles) {
    touch(path("taken.htm"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.htm"));
    ASSERT_TRUE(QFile::link(path("target.htm"), path("dangling.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("taken.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("folder.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("dangling.htm")));
    EXPECT_FALSE(QFile::exists(path("target.htm"))) << "the link's target was created";
    EXPECT_FALSE(FileProc::NewFileCreatable(path("missing/new.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("taken.htm/new.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(""));
    EXPECT_TRUE(FileProc::NewFileCreatable(path("new file ä.htm")));
    EXPECT_FALSE(QFile::exists(path("new file ä.htm"))) << "the probe was left behind";
    EXPECT_EQ(
        QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size(), 3);
}

TEST_F(FileSystem, UnusedFilepathSkipsTakenNames) {
    for (int n = 1; n <= 5; ++n) {
        touch(path(QStringLiteral("viewer%1.htm").arg(n, 2, 10, QLatin1Char('0'))));
    }
    const QString folder = QDir::toNativeSeparators(m_dir.path());
    const QString expected = folder + QDir::separator() + "viewer06.htm";
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder, "viewer", "htm")), s(expected));
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder + QDir::separator(), "viewer", ".htm")), s(expected));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("viewer06.htm"));
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder, "viewer", "htm")), s(folder + QDir::separator() + "viewer07.htm"));
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder, "viewer", "")), s(folder + QDir::separator() + "viewer01."));
}

TEST_F(FileSystem, UnusedFilepathIsEmptyWhenNoneCanBeCreated) {
    EXPECT_TRUE(FileProc::GetUnusedFilepath(path("missing"), "viewer", "htm").isEmpty());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("full"));
    for (int n = 1; n <= 99; ++n) {
        touch(path(QStringLiteral("full/page%1.htm").arg(n, 2, 10, QLatin1Char('0'))));
    }
    EXPECT_TRUE(FileProc::GetUnusedFilepath(path("full"), "page", "htm").isEmpty());
    EXPECT_EQ(FileProc::GetUnusedFilepath(path("full"), "Page", "htm").isEmpty(), !PathStyle::native().caseSensitive());
}

TEST_F(FileSystem, UnusedFilepathIsEmptyInAReadOnlyFolder) {
    if (!runningAsRoot()) {
        ASSERT_TRUE(QDir(m_dir.path()).mkdir("readonly"));
        ASSERT_TRUE(QFile::setPermissions(path("readonly"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        EXPECT_TRUE(FileProc::GetUnusedFilepath(path("readonly"), "viewer", "htm").isEmpty());
        QFile::setPermissions(path("readonly"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
#ifdef Q_OS_LINUX
    // Even root cannot create files in the kernel's process folder.
    EXPECT_TRUE(FileProc::GetUnusedFilepath("/proc", "viewer", "htm").isEmpty());
#endif
}

}  // namespace
