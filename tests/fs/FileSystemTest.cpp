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

bool runningAsRoot() {
#ifdef Q_OS_WIN
    return false;
#else
    return geteuid() == 0;
#endif
}

class FileSystem : public ::testing::Test {
protected:
    QString path(const QString& name) const { return QDir::toNativeSeparators(m_dir.filePath(name)); }
    void touch(const QString& name) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << s(name);
    }
    void mkdir(const QString& name) { ASSERT_TRUE(QDir(m_dir.path()).mkpath(name)) << s(name); }

    QTemporaryDir m_dir;
    TestSupport::ScriptedPrompts prompts;
};

TEST_F(FileSystem, FileAndFolderExistence) {
    touch("Photo.JPG");
    mkdir("Sub Folder");
    EXPECT_TRUE(FileProc::FileExists(path("Photo.JPG")));
    EXPECT_FALSE(FileProc::FileExists(path("Sub Folder")));
    EXPECT_FALSE(FileProc::FileExists(""));
    EXPECT_TRUE(FileProc::FolderExists(path("Sub Folder") + QDir::separator()));
    EXPECT_FALSE(FileProc::FolderExists(path("Photo.JPG")));
    EXPECT_FALSE(FileProc::FolderExists(""));
}

TEST_F(FileSystem, CountsMatchingFilesDirectlyInTheFolder) {
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp", "Ärger.BMP", ".bmp", "bmp", "x.bmp.bak", "e.jpg", "F.JPG"}) {
        touch(QString::fromUtf8(name));
    }
    mkdir("folder.bmp");
    touch("folder.bmp/inner.bmp");
    ASSERT_TRUE(QFile::link(path("a.bmp"), path("link.bmp")));
    ASSERT_TRUE(QFile::link(path("gone.bmp"), path("broken.bmp")));
    // a, B, c, Ärger, .bmp and the link to a file; not the folder, its file or the broken link.
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.bmp"), 6);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*.JPG"), 2);
    EXPECT_EQ(FileProc::CountMatchingFiles(m_dir.path(), "*"), 1);
    mkdir("empty");
    EXPECT_EQ(FileProc::CountMatchingFiles(path("empty"), "*.*"), 0);
}

TEST_F(FileSystem, CountsBeyondSixteenBits) {
    mkdir("many");
    for (int i = 0; i < 40000; ++i) {
        QFile file(path(QStringLiteral("many/f%1.png").arg(i)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << i;
    }
    EXPECT_EQ(FileProc::CountMatchingFiles(path("many"), "*.png"), 40000);
}

TEST_F(FileSystem, CountFailureShowsOneErrorBoxAndGivesMinusOne) {
    touch("plain.bmp");
    prompts.expectMsgBox(platformText(std::errc::no_such_file_or_directory), Buttons::Ok, Icon::Information, "Error")
        .expectMsgBox(platformText(std::errc::not_a_directory), Buttons::Ok, Icon::Information, "Error");
    EXPECT_EQ(FileProc::CountMatchingFiles(path("missing"), "*.bmp"), -1);
    EXPECT_EQ(FileProc::CountMatchingFiles(path("plain.bmp"), "*.bmp"), -1);
    prompts.verify();
    if (runningAsRoot()) {
        return;  // root reads every folder
    }
    mkdir("locked");
    ASSERT_TRUE(QFile::setPermissions(path("locked"), QFileDevice::Permissions()));
    prompts.expectMsgBox(platformText(std::errc::permission_denied), Buttons::Ok, Icon::Information, "Error");
    EXPECT_EQ(FileProc::CountMatchingFiles(path("locked"), "*.bmp"), -1);
    QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(FileSystem, NewFileCreatableOnlyWhereNothingIsAndTheFolderTakesFiles) {
    touch("taken.htm");
    mkdir("folder.htm");
    ASSERT_TRUE(QFile::link(path("target.htm"), path("dangling.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("taken.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("folder.htm")));
    EXPECT_FALSE(FileProc::NewFileCreatable(path("dangling.htm")));
    EXPECT_FALSE(QFile::exists(path("target.htm"))) << "the probe followed the link";
    EXPECT_FALSE(FileProc::NewFileCreatable(path("missing/new.htm")));
    EXPECT_TRUE(FileProc::NewFileCreatable(path("new file ä.htm")));
    EXPECT_FALSE(QFile::exists(path("new file ä.htm"))) << "the probe was left behind";
}

TEST_F(FileSystem, UnusedFilepath) {
    for (int n = 1; n <= 5; ++n) {
        touch(QStringLiteral("viewer%1.htm").arg(n, 2, 10, QLatin1Char('0')));
    }
    mkdir("viewer06.htm");
    const QString folder = QDir::toNativeSeparators(m_dir.path());
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder, "viewer", "htm")), s(path("viewer07.htm")));
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder + QDir::separator(), "viewer", ".htm")), s(path("viewer07.htm")));
    EXPECT_EQ(s(FileProc::GetUnusedFilepath(folder, "page", "htm")), s(path("page01.htm")));
    EXPECT_TRUE(FileProc::GetUnusedFilepath(path("missing"), "viewer", "htm").isEmpty());
    mkdir("full");
    for (int n = 1; n <= 99; ++n) {
        touch(QStringLiteral("full/page%1.htm").arg(n, 2, 10, QLatin1Char('0')));
    }
    EXPECT_TRUE(FileProc::GetUnusedFilepath(path("full"), "page", "htm").isEmpty());
}

TEST_F(FileSystem, UnusedFilepathIsEmptyInAReadOnlyFolder) {
    if (!runningAsRoot()) {
        mkdir("readonly");
        ASSERT_TRUE(QFile::setPermissions(path("readonly"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        EXPECT_TRUE(FileProc::GetUnusedFilepath(path("readonly"), "viewer", "htm").isEmpty());
        QFile::setPermissions(path("readonly"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
#ifdef Q_OS_LINUX
    // Root passes permission checks, but nobody creates files in the kernel's process folder.
    EXPECT_TRUE(FileProc::GetUnusedFilepath("/proc", "viewer", "htm").isEmpty());
#endif
}

}  // namespace
