// The exported function as the program calls it: messages, error kinds, the
// checks made before any reading, and defensive handling of null arguments.
#include "engine/tessaplex.h"
#include "tests/engine/write/TestImages.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace WriteTest;

namespace {

struct Answer {
    int32_t result;
    int32_t kind;
    std::string message;
};

Answer call(const QString& input, const QString& output, int32_t quality = 75) {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    int32_t kind = 0;
    const QByteArray in = QFile::encodeName(input), out = QFile::encodeName(output);
    const int32_t result =
        _convert_graphics_file_2("", in.constData(), "", out.constData(), 0, quality, 0, 0, buffer, &kind);
    EXPECT_EQ(buffer[255], '\0');
    return {result, kind, std::string(buffer)};
}

}  // namespace

TEST(CFunction, UnsupportedOutputFormats) {
    QTemporaryDir dir;
    const QString input = dir.filePath("in.bmp");
    writeFile(input, {'B', 'M'});
    for (const char* name : {"out.gif", "out.GIF", "out.tif", "out", "out."}) {
        const Answer a = call(input, dir.filePath(name));
        EXPECT_EQ(a.message, "Output file format not supported") << name;
        EXPECT_EQ(a.result, static_cast<int32_t>(a.message.size()));
        EXPECT_EQ(a.kind, -1);
    }
    EXPECT_EQ(entries(dir.path()), QStringList{"in.bmp"});
}

TEST(CFunction, MissingInputIsAReadError) {
    QTemporaryDir dir;
    const Answer a = call(dir.filePath("nothing.png"), dir.filePath("out.bmp"));
    EXPECT_EQ(a.kind, 1);
    EXPECT_FALSE(a.message.empty());
    EXPECT_EQ(a.result, static_cast<int32_t>(a.message.size()));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(CFunction, OutputNamingTheInputIsRefused) {
    QTemporaryDir dir;
    const QString input = dir.filePath("same.bmp");
    MemoryReader reader = makeImage(tessaplex::PixelFormat::Rgb8, 8, 8);
    const std::vector<uint8_t> bytes = encode(tessaplex::OutputFormat::Bmp, reader);
    writeFile(input, bytes);
    const QString link = dir.filePath("link.bmp");
    ASSERT_EQ(::link(QFile::encodeName(input).constData(), QFile::encodeName(link).constData()), 0);
    for (const QString& output : {input, dir.filePath("./same.bmp"), link}) {
        const Answer a = call(input, output);
        EXPECT_EQ(a.kind, -1);
        EXPECT_EQ(a.message, "Output file is the input file");
        EXPECT_EQ(readFile(input), bytes);
    }
    EXPECT_EQ(entries(dir.path()).size(), 2);
}

TEST(CFunction, NullArgumentsDoNotCrash) {
    char buffer[256] = {};
    int32_t kind = 0;
    int32_t result = _convert_graphics_file_2(nullptr, nullptr, nullptr, "/tmp/x.png", 0, 75, 0, 0, buffer, &kind);
    EXPECT_EQ(result, static_cast<int32_t>(std::strlen(buffer)));
    EXPECT_GT(result, 0);
    EXPECT_EQ(kind, 1);
    result = _convert_graphics_file_2(nullptr, "/tmp/x.png", nullptr, nullptr, 0, 75, 0, 0, buffer, &kind);
    EXPECT_EQ(result, static_cast<int32_t>(std::strlen(buffer)));
    EXPECT_EQ(kind, -1);
    EXPECT_STREQ(buffer, "Output file format not supported");
    EXPECT_EQ(_convert_graphics_file_2(nullptr, "/tmp/x.png", nullptr, "/tmp/y.gif", 0, 75, 0, 0, nullptr, &kind), 0);
    EXPECT_EQ(kind, -1);
    EXPECT_GT(_convert_graphics_file_2(nullptr, "/tmp/x.png", nullptr, "/tmp/y.gif", 0, 75, 0, 0, buffer, nullptr), 0);
}
