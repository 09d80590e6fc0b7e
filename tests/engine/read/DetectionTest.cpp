// Input format by content, the messages for content we do not read, and paths.
#include "tests/engine/read/ReadTestSupport.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using namespace tessaplex;
using namespace ReadTest;

namespace {

QString writeTemp(const QTemporaryDir& dir, const QString& name, const std::vector<uint8_t>& bytes) {
    QString path = dir.filePath(name);
    writeAll(path, bytes);
    return path;
}

}  // namespace

TEST(Detection, ContentDecidesTheFormatWhateverTheExtension) {
    QTemporaryDir dir;
    const QImage picture = testPicture(20, 10);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        SourceFormat expected;
    } cases[] = {
        {"really-png.bmp", makePng(picture), SourceFormat::Png},
        {"really-jpeg.gif", makeJpeg(picture), SourceFormat::Jpeg},
        {"really-gif.jpg",
         makeGif({20, 10, {0, 0, 0, 255, 255, 255}, 0, 0, 20, 10, {}, false, -1, 2, std::vector<uint8_t>(200, 1)}),
         SourceFormat::Gif},
        {"really-bmp.png", makeBmp(bmpInfoHeader(1, 1, 24), {}, {1, 2, 3, 0}), SourceFormat::Bmp},
        {"no extension", makePng(picture), SourceFormat::Png},
    };
    for (const Case& c : cases) {
        const Decoded d = decodeFile(writeTemp(dir, c.name, c.bytes));
        ASSERT_TRUE(d.status.isOk()) << c.name << ": " << d.status.message;
        EXPECT_EQ(d.info.source, c.expected) << c.name;
    }
}

TEST(Detection, UnknownContentIsJudgedByTheExtension) {
    QTemporaryDir dir;
    const std::vector<uint8_t> garbage{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
    const std::pair<const char*, std::string> cases[] = {
        {"notes.txt", kInputNotSupported},      {"noextension", kInputNotSupported},
        {"archive.tar.gz", kInputNotSupported}, {"photo.bmp", "Not a valid BMP file"},
        {"photo.PNG", "Not a valid PNG file"},  {"photo.JpEg", "Not a valid JPEG file"},
        {"photo.jpg", "Not a valid JPEG file"}, {"photo.Gif", "Not a valid GIF file"},
        {"dir.png/file", kInputNotSupported},
    };
    QDir(dir.path()).mkpath("dir.png");
    for (const auto& [name, message] : cases) {
        const Decoded d = decodeFile(writeTemp(dir, name, garbage));
        EXPECT_EQ(d.status.kind, 1) << name;
        EXPECT_EQ(d.status.message, message) << name;
    }
    // An empty file is no image either, and a file that only starts like a JPEG is a JPEG.
    EXPECT_EQ(decodeFile(writeTemp(dir, "empty.jpg", {})).status.message, "Not a valid JPEG file");
    const Decoded cut = decodeFile(writeTemp(dir, "cut.txt", {0xFF, 0xD8, 0xFF}));
    EXPECT_EQ(cut.status.kind, 1);
    EXPECT_NE(cut.status.message.find("JPEG"), std::string::npos) << cut.status.message;
}

TEST(Detection, Os2BitmapArraysAreAnUnsupportedOption) {
    std::vector<uint8_t> bytes = makeBmp(bmpInfoHeader(1, 1, 24), {}, {1, 2, 3, 0});
    bytes[0] = 'B', bytes[1] = 'A';
    EXPECT_EQ(decodeBytes(bytes).status.message, kUnsupportedOption);
}

TEST(Detection, MissingFilesAndFoldersAreReadErrors) {
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.png"), dir.path()}) {
        const Decoded d = decodeFile(path);
        EXPECT_EQ(d.status.kind, 1);
        EXPECT_FALSE(d.status.message.empty());
        EXPECT_LE(d.status.message.size(), 255u);
    }
}

TEST(Detection, NamesWithSpacesAndAccentsOnReadOnlyFilesWork) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Fotos für Oma")));
    const QString path = dir.filePath(QStringLiteral("Fotos für Oma/Ærøskøbing 写真 1.png"));
    const std::vector<uint8_t> bytes = makePng(testPicture(8, 8));
    writeAll(path, bytes);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    const Decoded d = decodeFile(path);
    EXPECT_TRUE(d.status.isOk()) << d.status.message;
    EXPECT_EQ(d.info.width, 8u);
    EXPECT_EQ(readAll(path), bytes);  // the input is never changed
}
