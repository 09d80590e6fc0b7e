// The program's loader of the conversion library: found beside the executable (the
// test program sits beside libtessaplex.so), and a run-time error when the library
// or its function is missing.
#include "engine/Grafix.h"
#include "platform/RunTimeError.h"
#include "tests/engine/write/TestImages.h"

#include <QFile>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <thread>
#include <zlib.h>

using namespace WriteTest;

namespace {

struct DefaultFolderAfterTest : ::testing::Test {
    void TearDown() override { Grafix::SetLibraryFolder(QString()); }
};

}  // namespace

using GrafixTest = DefaultFolderAfterTest;

TEST_F(GrafixTest, CallsTheLibraryBesideTheProgram) {
    QTemporaryDir dir;
    int kind = 7;
    const QString answer = Grafix::ConvertGraphicsFile(dir.filePath("a b.png"), dir.filePath("c.gif"), 75, kind);
    EXPECT_EQ(answer, "Output file format not supported.");
    EXPECT_EQ(kind, -1);
    const QString missing = Grafix::ConvertGraphicsFile(dir.filePath("none.png"), dir.filePath("c.bmp"), -1, kind);
    EXPECT_EQ(kind, 1);
    EXPECT_TRUE(missing.endsWith('.'));
}

TEST_F(GrafixTest, FirstCallsFromSeveralThreadsAtOnce) {
    QTemporaryDir dir;
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            int kind = 0;
            const QString answer =
                Grafix::ConvertGraphicsFile(dir.filePath("x.png"), dir.filePath(QString("y%1.tif").arg(i)), 75, kind);
            good += answer == "Output file format not supported." && kind == -1;
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(good, 4);
}

TEST_F(GrafixTest, MissingLibraryIsARunTimeError) {
    QTemporaryDir empty;
    Grafix::SetLibraryFolder(empty.path());
    int kind = 0;
    try {
        Grafix::ConvertGraphicsFile("/tmp/a.png", "/tmp/b.bmp", 75, kind);
        FAIL() << "no error";
    } catch (const RunTimeError& error) {
        EXPECT_TRUE(error.description().contains("could not be loaded")) << error.description().toStdString();
    }
}

TEST_F(GrafixTest, LibraryWithoutTheFunctionIsARunTimeError) {
    // Any other shared library in its place: zlib's, which this program links.
    Dl_info where {};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&zlibVersion), &where), 0);
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(QFile::decodeName(where.dli_fname), dir.filePath("libtessaplex.so")));
    Grafix::SetLibraryFolder(dir.path());
    int kind = 0;
    EXPECT_THROW(Grafix::ConvertGraphicsFile("/tmp/a.png", "/tmp/b.bmp", 75, kind), RunTimeError);
}
