// Whole conversions through the exported function with the real readers: success
// answers, lossless paths that keep every pixel and alpha value, a truncated input
// that leaves the old target alone, and the public corpus converted losslessly.
#include "engine/tessaplex.h"
#include "tests/engine/write/TestImages.h"
#include "tests/support/Corpus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

using namespace tessaplex;
using namespace WriteTest;

namespace {

struct Answer {
    int32_t result;
    int32_t kind;
    std::string message;
};

Answer convert(const QString& input, const QString& output, int32_t quality = 75) {
    char buffer[256] = {};
    int32_t kind = 99;
    const QByteArray in = QFile::encodeName(input), out = QFile::encodeName(output);
    const int32_t result =
        _convert_graphics_file_2("", in.constData(), "", out.constData(), 0, quality, 0, 0, buffer, &kind);
    return {result, kind, std::string(buffer)};
}

QImage load(const QString& path) {
    QImage image(path);
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

int pngColourType(const QString& path) {
    const std::vector<uint8_t> bytes = readFile(path);
    return bytes.size() > 25 ? bytes[25] : -1;
}

}  // namespace

TEST(Conversion, AnswersNoErrorForEveryOutputFormat) {
    QTemporaryDir dir;
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 40, 30);
    writeFile(dir.filePath("in put.bmp"), encode(OutputFormat::Bmp, reader));
    for (const char* name : {"out.bmp", "out.png", "out.jpg", "out.jpeg", "OUT.PNG"}) {
        const Answer a = convert(dir.filePath("in put.bmp"), dir.filePath(name));
        EXPECT_EQ(a.message, "No Error") << name;
        EXPECT_EQ(a.result, 8);
        EXPECT_EQ(a.kind, 0);
        EXPECT_FALSE(load(dir.filePath(name)).isNull()) << name;
    }
}

TEST(Conversion, BmpToPngToBmpKeepsEveryPixelAndAlpha) {
    std::vector<MemoryReader> sources;
    sources.push_back(makeImage(PixelFormat::Rgb8, 37, 23));
    sources.push_back(makeImage(PixelFormat::Rgba8, 37, 23));
    sources.push_back(makeIndexedImage(37, 23, 16, false));
    sources.push_back(makeIndexedImage(37, 23, 200, false));
    sources.push_back(makeImage(PixelFormat::Gray8, 37, 23));
    for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(i);
        QTemporaryDir dir;
        writeFile(dir.filePath("a.bmp"), encode(OutputFormat::Bmp, sources[i]));
        ASSERT_EQ(convert(dir.filePath("a.bmp"), dir.filePath("b.png")).kind, 0);
        ASSERT_EQ(convert(dir.filePath("b.png"), dir.filePath("c.bmp")).kind, 0);
        const QImage want = expected(sources[i].info(), sources[i].pixels());
        expectSamePixels(load(dir.filePath("b.png")), want);
        expectSamePixels(load(dir.filePath("c.bmp")), want);
        // The palette and gray images stay palette images on the way.
        if (i >= 2) {
            EXPECT_NE(pngColourType(dir.filePath("b.png")), 2);
            EXPECT_LE(readFile(dir.filePath("c.bmp"))[28], 8);
        }
    }
}

TEST(Conversion, TruncatedInputIsAReadErrorAndKeepsTheTarget) {
    QTemporaryDir dir;
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 300, 200);
    std::vector<uint8_t> png = encode(OutputFormat::Png, reader);
    png.resize(png.size() / 2);
    writeFile(dir.filePath("cut.png"), png);
    for (const char* name : {"old.bmp", "old.png", "old.jpg"}) {
        const std::vector<uint8_t> before = {'k', 'e', 'e', 'p'};
        writeFile(dir.filePath(name), before);
        const Answer a = convert(dir.filePath("cut.png"), dir.filePath(name));
        EXPECT_EQ(a.kind, 1) << name;
        EXPECT_FALSE(a.message.empty());
        EXPECT_EQ(readFile(dir.filePath(name)), before);
    }
    EXPECT_EQ(entries(dir.path()).size(), 4);  // no temporary file left
}

TEST(Conversion, CorpusPngToBmpAndPngIsLossless) {
    REQUIRE_CORPUS();
    QTemporaryDir dir;
    const QDir suite(TestSupport::corpusPath("conformance/png"));
    int checked = 0;
    for (const QString& name : suite.entryList({"*.png"}, QDir::Files)) {
        // Corrupt files are for the readers; 16-bit files lose their low bits in BMP.
        if (name.startsWith('x') || name.contains("16")) {
            continue;
        }
        SCOPED_TRACE(name.toStdString());
        const QImage source = load(suite.filePath(name));
        ASSERT_FALSE(source.isNull());
        for (const char* ext : {".bmp", ".png"}) {
            const QString out = dir.filePath(QFileInfo(name).completeBaseName() + ext);
            const Answer a = convert(suite.filePath(name), out);
            ASSERT_EQ(a.kind, 0) << a.message;
            expectSamePixels(load(out), source);
        }
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST(Conversion, CorpusGifToPngKeepsPaletteAndPixels) {
    REQUIRE_CORPUS();
    QTemporaryDir dir;
    const QDir gifs(TestSupport::corpusPath("conformance/gif"));
    for (const char* name : {"giflib-porsche.gif", "giflib-solid2.gif", "giflib-x-trans.gif", "pillow-transparent.gif",
                             "giflib-treescap-interlaced.gif", "sharp-Crash_test.gif"}) {
        SCOPED_TRACE(name);
        const QImage source = load(gifs.filePath(name));
        ASSERT_FALSE(source.isNull());
        const QString png = dir.filePath(QString(name) + ".png"), bmp = dir.filePath(QString(name) + ".bmp");
        ASSERT_EQ(convert(gifs.filePath(name), png).kind, 0);
        ASSERT_EQ(convert(gifs.filePath(name), bmp).kind, 0);
        EXPECT_EQ(pngColourType(png), 3);
        expectSamePixels(load(png), source);
        expectSamePixels(load(bmp), source);
    }
}

TEST(Conversion, CorpusBmpToPngIsLossless) {
    REQUIRE_CORPUS();
    QTemporaryDir dir;
    const QDir good(TestSupport::corpusPath("conformance/bmp/g"));
    for (const QString& name : good.entryList({"pal*.bmp", "rgb24*.bmp", "rgb32*.bmp"}, QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const QImage source = load(good.filePath(name));
        if (source.isNull()) {
            continue;  // a variant Qt itself does not read
        }
        const QString png = dir.filePath(name + ".png");
        const Answer a = convert(good.filePath(name), png);
        ASSERT_EQ(a.kind, 0) << a.message;
        expectSamePixels(load(png), source);
    }
}
