#include "fs/DiskProc.h"
#include "fs/FileProc.h"
#include "fs/FolderCheck.h"
#include "fs/StrProc.h"
#include "fs/frmSpecifyDirectory.h"
#include "tests/support/TestHelpers.h"

#include <QComboBox>
#include <QDir>
#include <QRegularExpression>
#include <tuple>

namespace {

TEST(StrProc, MaskMatching) {
    using Matcher = bool (*)(const QString&, const QString&, bool);
    const Matcher name = StrProc::MatchesMask;
    const Matcher part = StrProc::MatchMaskPart;
    // Rows: matcher, text, mask, case kept, expected. MatchMaskPart makes one pass without
    // backtracking: "*" jumps to the first occurrence of the next literal.
    const std::tuple<Matcher, const char*, const char*, bool, bool> cases[] = {
        {name, "README", "*.*", false, true},          {name, "a.bmp", "*", false, false},
        {name, "Photo.BMP", "*.bmp", false, true},     {name, "Photo.BMP", "*.bmp", true, false},
        {name, ".bmp", "*.bmp", false, true},          {name, "abc", "*.", false, true},
        {name, "abc", "*.b*", false, false},           {name, "a.tar.bmp", "a.*", false, false},
        {name, "a?c.bmp", "*.bmp", false, false},      {name, "a*c.bmp", "*.bmp", false, false},
        {name, "c:x.bmp", "*.bmp", false, false},      {name, "d\\x.bmp", "*.bmp", false, false},
        {name, "ÄRGER.BMP", "ärger.bmp", false, true}, {name, "ÄRGER.BMP", "ärger.bmp", true, false},
        {part, "abxb", "a*b", true, false},            {part, "axyb", "a*b", true, true},
        {part, "x", "*?", true, true},                 {part, "", "**", true, true},
        {part, "", "a*", true, false},                 {part, "abc", "", true, false},
        {part, "ac", "a?c", true, false},              {part, "a😀c", "a?c", true, true},
    };
    for (const auto& [match, text, mask, caseSensitive, expected] : cases) {
        EXPECT_EQ(match(QString::fromUtf8(text), QString::fromUtf8(mask), caseSensitive), expected)
            << text << " / " << mask << (caseSensitive ? " (case kept)" : "");
    }
}

TEST(StrProc, CleanNumericText) {
    const std::tuple<const char*, bool, const char*> cases[] = {
        {" 85 %", false, "85"}, {"+7+", false, "+7"}, {"1-2", false, "12"},  {"x+1", false, "+1"},
        {"abc", false, ""},     {"", true, ""},       {"--12", true, "-12"}, {"5-", true, "5"},
        {"+-5", true, "+-5"},   {"-+5", true, "-+5"}, {"٣4", false, "4"},
    };
    for (const auto& [in, allowMinus, out] : cases) {
        QString text = QString::fromUtf8(in);
        StrProc::CleanNumericText(text, allowMinus);
        EXPECT_EQ(text, out) << in << (allowMinus ? " (minus allowed)" : "");
    }
}

TEST(StrProc, FindInListAndRemoveChars) {
    const QStringList formats = {"BMP", "PNG", "JPG", "GIF", "JPG"};
    EXPECT_EQ(StrProc::FindInList(formats, 4, "JPG"), 2);
    EXPECT_EQ(StrProc::FindInList(formats, 4, "jpg"), -1);
    EXPECT_EQ(StrProc::FindInList(formats, 0, "BMP"), -1);
    EXPECT_EQ(StrProc::FindInList(formats, 2, "JPG"), -1);

    QString text = "a*b*C*c**";
    StrProc::RemoveChars(text, "*c");
    EXPECT_EQ(text, "abC");
    // Two characters outside the BMP share their first half; only the one named goes.
    QString emoji = QString::fromUtf8("😀😁x");
    StrProc::RemoveChars(emoji, QString::fromUtf8("😀"));
    EXPECT_EQ(emoji, "😁x");
}

TEST(FileProc, PathHelpersInBothStyles) {
    using Helper = QString (*)(const QString&, const PathStyle&);
    const Helper extension = [](const QString& path, const PathStyle&) { return FileProc::GetFileExtension(path); };
    // Rows: helper, path, result with the Windows style, result with the POSIX style.
    const std::tuple<Helper, const char*, const char*, const char*> cases[] = {
        {FileProc::GetFileName, "photo.jpg", "", ""},
        {FileProc::GetFileName, "/a\\b/Mixed Case.Bmp", "b/mixed case.bmp", "Mixed Case.Bmp"},
        {FileProc::GetFolderPart, "c:\\a\\b.png", "C:\\a\\", ""},
        {FileProc::GetFolderPart, "\\\\Server\\Share\\x.bmp", "\\\\Server\\Share\\", ""},
        {FileProc::GetFolderPart, "/home/Ann/Cat.JPG", "", "/home/Ann/"},
        {FileProc::NormaliseDriveLetter, "d:\\My Pictures\\", "D:\\my pictures\\", "d:\\My Pictures\\"},
        {FileProc::NormaliseDriveLetter, "e:\\ÄRGER", "E:\\ärger", "e:\\ÄRGER"},
        {FileProc::NormaliseDriveLetter, "\\\\Server\\Share", "\\\\Server\\Share", "\\\\Server\\Share"},
        {FileProc::NormaliseDriveLetter, "x", "x", "x"},
        // The extension is compared, never used to reach a file: lower case in either style.
        {extension, "C:\\dir\\file.", "", ""},          {extension, "noext", "", ""},
        {extension, "/home/Ann/Cat.Png", "png", "png"}, {extension, "C:\\my.dir\\readme", "dir\\readme", "dir\\readme"},
    };
    for (const auto& [helper, path, windows, posix] : cases) {
        EXPECT_EQ(helper(QString::fromUtf8(path), PathStyle::windows()), windows) << path;
        EXPECT_EQ(helper(QString::fromUtf8(path), PathStyle::posix()), posix) << path;
    }
}

TEST(FileProc, OutputFileNameReplacesTheTextAfterTheLastDot) {
    // Rows: input name, format, quality suffix, result name.
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"Photo.BMP", "PNG", "", "photo.png"},      {"pic.jpeg", "BMP", "", "pic.bmp"},
        {"pic.jpeg", "JPG", "60", "pic_q60.jpg"},  {"a.b.tif.gif", "JPG", "", "a.b.tif.jpg"},
        {"noext", "PNG", "", "noext.png"},         {"ÄRGER.Png", "JPG", "100", "ärger_q100.jpg"},
        {".bmp", "PNG", "", ".png"},
    };
    for (const auto& [name, format, suffix, expected] : cases) {
        EXPECT_EQ(FileProc::OutputFileName(QString::fromUtf8(name), format, suffix), QString::fromUtf8(expected)) << name;
    }
}

TEST(FolderCheck, SummaryTexts) {
    // Rows: folder index, counts of BMP, PNG, JPG and GIF files, summary.
    const std::tuple<int, int, int, int, int, const char*> cases[] = {
        {0, 0, 0, 0, 0,
         "The input images folder presently contains no graphics files (BMP, PNG, JPG, GIF).\r\n"
         "Please check that you selected the intended folder."},
        {1, 0, 0, 0, 0, "The output images folder presently contains no graphics files (BMP, PNG, JPG, GIF)."},
        {0, 0, 0, 1, 0, "The input images folder presently contains one JPG file."},
        {1, 0, 0, 0, 1, "The output images folder presently contains one GIF file."},
        {1, 2, 0, 1, 2,
         "The output images folder presently contains 5 graphics files (BMP, PNG, JPG, GIF):\r\n"
         "2 BMP files, no PNG files, 1 JPG file and 2 GIF files."},
    };
    for (const auto& [index, bmp, png, jpg, gif, text] : cases) {
        EXPECT_EQ(FolderCheck::FolderSummaryText(index, bmp, png, jpg, gif), text);
    }
    EXPECT_EQ(FolderCheck::ChosenFolderText("d:\\My Pictures", PathStyle::windows()), "D:\\my pictures\\");
    EXPECT_EQ(FolderCheck::ChosenFolderText("/home/Ann/My Pictures", PathStyle::posix()), "/home/Ann/My Pictures/");
}

TEST(DiskProc, FirstFixedDriveIsADriveLetterWhereThereAreDriveLetters) {
    const QString drive = DiskProc::FirstFixedDrive();
    const bool letters = PathStyle::native().isWindows();
    EXPECT_TRUE(letters ? QRegularExpression("^[A-Z]:$").match(drive).hasMatch() : drive.isEmpty()) << drive.toStdString();
#ifdef Q_OS_WIN
    // A real drive of this machine, which the folder chooser offers.
    EXPECT_TRUE(QDir(drive + "\\").exists()) << drive.toStdString();
    frmSpecifyDirectory chooser;
    EXPECT_GE(chooser.findChild<QComboBox*>("Drive")->findText(drive.toLower()), 0) << drive.toStdString();
#endif
}

}  // namespace
