#include "fs/FileProc.h"
#include "fs/StrProc.h"

#include <gtest/gtest.h>

namespace {

std::string s(const QString& text) {
    return text.toStdString();
}

TEST(StrProc, MatchesMask) {
    const struct {
        const char* name;
        const char* mask;
        bool caseSensitive;
        bool expected;
    } cases[] = {
        {"README", "*.*", false, true},          {"a.bmp", "*", false, false},
        {"Photo.BMP", "*.bmp", false, true},     {"Photo.BMP", "*.bmp", true, false},
        {".bmp", "*.bmp", false, true},          {"abc", "*.", false, true},
        {"abc", "*.b*", false, false},           {"a?c.bmp", "*.bmp", false, false},
        {"a*c.bmp", "*.bmp", false, false},      {"c:x.bmp", "*.bmp", false, false},
        {"d\\x.bmp", "*.bmp", false, false},     {"a.tar.bmp", "*.bmp", false, true},
        {"a.tar.bmp", "a.*", false, false},      {"IMG_0042.JPG", "*.jpg", false, true},
        {"scan.jpeg", "*.jpg", false, false},    {"Holiday Snap.Png", "*.png", false, true},
        {"ÄRGER.BMP", "ärger.bmp", false, true}, {"ÄRGER.BMP", "ärger.bmp", true, false},
        {"ΣΟΦΙΑ.GIF", "σοφια.gif", false, true}, {"xy.bmp", "?.bmp", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrProc::MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask), c.caseSensitive),
                  c.expected)
            << c.name << " / " << c.mask << (c.caseSensitive ? " (case kept)" : "");
    }
}

TEST(StrProc, MatchMaskPartIsOnePassWithoutBacktracking) {
    const struct {
        const char* text;
        const char* pattern;
        bool expected;
    } cases[] = {
        {"abxb", "a*b", false},
        {"axyb", "a*b", true},
        {"x", "*?", true},
        {"xb", "*?b", false},
        {"", "**", true},
        {"", "a*", false},
        {"abc", "", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abcd", "a*c", false},
        {"abc", "**c", true},
        // "?" is one character, also outside the Basic Multilingual Plane.
        {"a\xF0\x9F\x98\x80"
         "c",
         "a?c", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrProc::MatchMaskPart(QString::fromUtf8(c.text), QString::fromUtf8(c.pattern), true), c.expected)
            << c.text << " / " << c.pattern;
    }
    EXPECT_TRUE(StrProc::MatchMaskPart("ABC", "a*", false));
    EXPECT_FALSE(StrProc::MatchMaskPart("ABC", "a*", true));
}

TEST(StrProc, CleanNumericText) {
    const struct {
        const char* in;
        bool allowMinus;
        const char* out;
    } cases[] = {
        {" 85 %", false, "85"}, {"+7+", false, "+7"}, {"1-2", false, "12"},  {"12.5", false, "125"},
        {"abc", false, ""},     {"", true, ""},       {"--12", true, "-12"}, {"5-", true, "5"},
        {"+-5", true, "+-5"},   {"-+5", true, "-+5"}, {"x+1", false, "+1"},  {"٣4", false, "4"},
    };
    for (const auto& c : cases) {
        QString text = QString::fromUtf8(c.in);
        StrProc::CleanNumericText(text, c.allowMinus);
        EXPECT_EQ(s(text), c.out) << c.in << (c.allowMinus ? " (minus allowed)" : "");
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
    EXPECT_EQ(s(text), "abC");
    // Two characters outside the BMP share their first half; only the one named goes.
    QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x81x");
    StrProc::RemoveChars(emoji, QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(emoji, QString::fromUtf8("\xF0\x9F\x98\x81x"));
}

TEST(FileProc, PathHelpersInBothStyles) {
    using Helper = QString (*)(const QString&, const PathStyle&);
    const struct {
        Helper helper;
        const char* path;
        const char* windows;
        const char* posix;
    } cases[] = {
        {FileProc::GetFileName, "photo.jpg", "", ""},
        {FileProc::GetFileName, "C:\\Photos\\Cat.JPG", "cat.jpg", ""},
        {FileProc::GetFileName, "/home/Ann/Cat.JPG", "", "Cat.JPG"},
        {FileProc::GetFileName, "/a\\b/Mixed Case.Bmp", "b/mixed case.bmp", "Mixed Case.Bmp"},
        {FileProc::GetFolderPart, "c:\\Photos\\Cat.JPG", "C:\\photos\\", ""},
        {FileProc::GetFolderPart, "\\\\Server\\Share\\x.bmp", "\\\\Server\\Share\\", ""},
        {FileProc::GetFolderPart, "/home/Ann/Cat.JPG", "", "/home/Ann/"},
        {FileProc::GetFolderPart, "/x.bmp", "", "/"},
        {FileProc::NormaliseDriveLetter, "d:\\My Pictures\\", "D:\\my pictures\\", "d:\\My Pictures\\"},
        {FileProc::NormaliseDriveLetter, "e:\\ÄRGER", "E:\\ärger", "e:\\ÄRGER"},
        {FileProc::NormaliseDriveLetter, "\\\\Server\\Share", "\\\\Server\\Share", "\\\\Server\\Share"},
        {FileProc::NormaliseDriveLetter, "x", "x", "x"},
        {FileProc::NormaliseDriveLetter, "/Home/Ann", "/Home/Ann", "/Home/Ann"},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(s(c.helper(path, PathStyle::windows())), c.windows) << c.path;
        EXPECT_EQ(s(c.helper(path, PathStyle::posix())), c.posix) << c.path;
    }
    // The extension is compared, never used to reach a file: lower case in either style.
    EXPECT_EQ(s(FileProc::GetFileExtension("C:\\dir\\file.")), "");
    EXPECT_EQ(s(FileProc::GetFileExtension("C:\\my.dir\\readme")), "dir\\readme");
    EXPECT_EQ(s(FileProc::GetFileExtension("/home/Ann/Cat.Png")), "png");
    EXPECT_EQ(s(FileProc::GetFileExtension("noext")), "");
}

}  // namespace
