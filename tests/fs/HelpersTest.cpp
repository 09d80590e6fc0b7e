#include "fs/DiskProc.h"
#include "fs/FileProc.h"
#include "fs/StrProc.h"

#include <gtest/gtest.h>

namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool caseSensitive;
    bool expected;
};

class MatchesMaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MatchesMaskTable, Matches) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(StrProc::MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask), c.caseSensitive), c.expected)
        << "name \"" << c.name << "\", mask \"" << c.mask << "\", case " << (c.caseSensitive ? "kept" : "folded");
}

INSTANTIATE_TEST_SUITE_P(
    Names, MatchesMaskTable,
    ::testing::Values(
        MaskCase{"README", "*.*", false, true}, MaskCase{"a.bmp", "*", false, false},
        MaskCase{"Photo.BMP", "*.bmp", false, true}, MaskCase{"Photo.BMP", "*.bmp", true, false},
        MaskCase{".bmp", "*.bmp", false, true}, MaskCase{"abc", "*.", false, true}, MaskCase{"abc", "*.b*", false, false},
        MaskCase{"a?c.bmp", "*.bmp", false, false}, MaskCase{"a*c.bmp", "*.bmp", false, false},
        MaskCase{"c:x.bmp", "*.bmp", false, false}, MaskCase{"dir\\x.bmp", "*.bmp", false, false},
        // The last dot splits the name.
        MaskCase{"a.tar.bmp", "*.bmp", false, true}, MaskCase{"a.bmp.tar", "*.bmp", false, false},
        MaskCase{"a.tar.bmp", "a.*", false, false}, MaskCase{"a.tar.bmp", "a.tar.*", false, true},
        // Real mixed-case names against the batch masks.
        MaskCase{"IMG_0042.JPG", "*.jpg", false, true}, MaskCase{"Holiday Snap.Png", "*.png", false, true},
        MaskCase{"scan.jpeg", "*.jpg", false, false}, MaskCase{"anim.gif.bak", "*.gif", false, false},
        MaskCase{"ÄRGER.BMP", "*.bmp", false, true}, MaskCase{"ÄRGER.BMP", "ärger.bmp", false, true},
        MaskCase{"ÄRGER.BMP", "ärger.bmp", true, false}, MaskCase{"ΣΟΦΙΑ.GIF", "σοφια.gif", false, true},
        MaskCase{"photo", "*.*", false, true}, MaskCase{"photo", "photo", false, true},
        MaskCase{"photo", "PHOTO", true, false}, MaskCase{"", "*.*", false, true}, MaskCase{"x.bmp", "?.bmp", false, true},
        MaskCase{"xy.bmp", "?.bmp", false, false}));

struct PartCase {
    const char* text;
    const char* pattern;
    bool caseSensitive;
    bool expected;
};

class MatchMaskPartTable : public ::testing::TestWithParam<PartCase> {};

TEST_P(MatchMaskPartTable, Matches) {
    const PartCase& c = GetParam();
    EXPECT_EQ(StrProc::MatchMaskPart(QString::fromUtf8(c.text), QString::fromUtf8(c.pattern), c.caseSensitive),
              c.expected)
        << "text \"" << c.text << "\", pattern \"" << c.pattern << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Parts, MatchMaskPartTable,
    ::testing::Values(PartCase{"abxb", "a*b", true, false}, PartCase{"axyb", "a*b", true, true},
                      PartCase{"x", "*?", true, true}, PartCase{"xb", "*?b", true, false}, PartCase{"", "**", true, true},
                      PartCase{"", "a*", true, false}, PartCase{"abc", "", true, false}, PartCase{"", "", true, true},
                      PartCase{"abc", "abc", true, true}, PartCase{"abc", "ab", true, false},
                      PartCase{"ab", "abc", true, false}, PartCase{"abc", "a?c", true, true},
                      PartCase{"ac", "a?c", true, false}, PartCase{"abc", "*", true, true},
                      PartCase{"abc", "**c", true, true}, PartCase{"abcd", "a*c", true, false},
                      PartCase{"ABC", "a*", true, false}, PartCase{"ABC", "a*", false, true},
                      // A "?" is one character, also outside the Basic Multilingual Plane.
                      PartCase{"a\xF0\x9F\x98\x80" "c", "a?c", true, true},
                      PartCase{"\xF0\x9F\x98\x80", "?", true, true}));

TEST(CleanNumericText, KeepsWhatCanFormAWholeNumber) {
    struct Case {
        const char* in;
        bool allowMinus;
        const char* out;
    };
    const Case cases[] = {
        {" 85 %", false, "85"}, {"+7+", false, "+7"}, {"1-2", false, "12"}, {"12.5", false, "125"},
        {"abc", false, ""},     {"", false, ""},      {"", true, ""},       {"--12", true, "-12"},
        {"5-", true, "5"},      {"+-5", true, "+-5"}, {"-+5", true, "-+5"}, {"-5", false, "5"},
        {"1 000", false, "1000"}, {"x+1", false, "+1"}, {"٣4", false, "4"} /* only ASCII digits */,
    };
    for (const Case& c : cases) {
        QString text = QString::fromUtf8(c.in);
        StrProc::CleanNumericText(text, c.allowMinus);
        EXPECT_EQ(text.toStdString(), c.out) << "\"" << c.in << "\" minus " << c.allowMinus;
    }
}

TEST(FindInList, FindsFirstExactEntryWithinCount) {
    const QStringList formats = {"BMP", "PNG", "JPG", "GIF", "JPG"};
    EXPECT_EQ(StrProc::FindInList(formats, 4, "JPG"), 2);
    EXPECT_EQ(StrProc::FindInList(formats, 4, "jpg"), -1);
    EXPECT_EQ(StrProc::FindInList(formats, 0, "BMP"), -1);
    EXPECT_EQ(StrProc::FindInList(formats, 2, "JPG"), -1);
    EXPECT_EQ(StrProc::FindInList(formats, 99, "GIF"), 3);
    EXPECT_EQ(StrProc::FindInList({}, 3, "GIF"), -1);
}

TEST(RemoveChars, RemovesEveryOccurrenceCaseSensitively) {
    QString text = "a*b*C*c**";
    StrProc::RemoveChars(text, "*c");
    EXPECT_EQ(text.toStdString(), "abC");
    // A character outside the BMP shares its first half with others; only it goes.
    QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x81x");
    StrProc::RemoveChars(emoji, QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(emoji, QString::fromUtf8("\xF0\x9F\x98\x81x"));
}

struct PathCase {
    const char* path;
    const char* windows;
    const char* posix;
};

void expectPaths(const char* what, QString (*helper)(const QString&, const PathStyle&),
                 std::initializer_list<PathCase> cases) {
    for (const PathCase& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(helper(path, PathStyle::windows()).toStdString(), c.windows) << what << " windows \"" << c.path << "\"";
        EXPECT_EQ(helper(path, PathStyle::posix()).toStdString(), c.posix) << what << " posix \"" << c.path << "\"";
    }
}

TEST(PathHelpers, GetFileNameInBothStyles) {
    expectPaths("GetFileName", FileProc::GetFileName,
                {{"photo.jpg", "", ""},
                 {"C:\\Photos\\Cat.JPG", "cat.jpg", ""},
                 {"/home/Ann/Cat.JPG", "", "Cat.JPG"},
                 {"C:\\Photos\\", "", ""},
                 {"/srv/Bilder/", "", ""},
                 {"\\Ärger.PNG", "ärger.png", ""},
                 {"/a\\b/Mixed Case.Bmp", "b/mixed case.bmp", "Mixed Case.Bmp"}});
}

TEST(PathHelpers, GetFolderPartInBothStyles) {
    expectPaths("GetFolderPart", FileProc::GetFolderPart,
                {{"c:\\a\\b.png", "C:\\a\\", ""},
                 {"c:\\Photos\\Cat.JPG", "C:\\photos\\", ""},
                 {"C:\\Pics\\A.bmp", "C:\\pics\\", ""},
                 {"\\\\Server\\Share\\x.bmp", "\\\\Server\\Share\\", ""},
                 {"photo.jpg", "", ""},
                 {"/home/Ann/Cat.JPG", "", "/home/Ann/"},
                 {"/x.bmp", "", "/"},
                 {"c:/My Pics/A.bmp", "", "c:/My Pics/"}});
}

TEST(PathHelpers, NormaliseDriveLetterInBothStyles) {
    expectPaths("NormaliseDriveLetter", FileProc::NormaliseDriveLetter,
                {{"d:\\My Pictures\\", "D:\\my pictures\\", "d:\\My Pictures\\"},
                 {"c:", "C:", "c:"},
                 {"\\\\Server\\Share", "\\\\Server\\Share", "\\\\Server\\Share"},
                 {"x", "x", "x"},
                 {"", "", ""},
                 {"ab:\\Dir", "ab:\\Dir", "ab:\\Dir"},
                 {"/Home/Ann", "/Home/Ann", "/Home/Ann"},
                 {"e:\\ÄRGER\\Ölbild", "E:\\ärger\\ölbild", "e:\\ÄRGER\\Ölbild"}});
}

TEST(PathHelpers, GetFileExtensionLowerCasesInEitherStyle) {
    const struct {
        const char* path;
        const char* extension;
    } cases[] = {{"C:\\dir\\file.", ""},           {"C:\\my.dir\\readme", "dir\\readme"}, {"Photo.JPG", "jpg"},
                 {"/home/Ann/Cat.Png", "png"},     {"noext", ""},                        {"a.tar.GZ", "gz"},
                 {"/home/a.b/README", "b/readme"}, {"", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileProc::GetFileExtension(QString::fromUtf8(c.path)).toStdString(), c.extension) << c.path;
    }
}

TEST(DiskProc, FirstFixedDriveIsALetterAndColonOrNothing) {
    const QString drive = DiskProc::FirstFixedDrive();
#ifdef Q_OS_WIN
    ASSERT_EQ(drive.size(), 2);
    EXPECT_TRUE(drive.at(0).isUpper());
    EXPECT_EQ(drive.at(1), QLatin1Char(':'));
#else
    EXPECT_TRUE(drive.isEmpty());
#endif
}

}  // namespace
