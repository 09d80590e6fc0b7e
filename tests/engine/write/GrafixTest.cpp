// The program's loader of the conversion library: found beside the executable (the
// test program sits beside libtessaplex.so), and a run-time error when the library
// or its function is missing.
#include "engine/Grafix.h"
#include "platform/RunTimeError.h"

#include <QFile>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <thread>
#include <zlib.h>

namespace {

struct GrafixTest : ::testing::Test {
    void TearDown() override { Grafix::SetLibraryFolder(QString()); }
};

}  // namespace

// Each test runs in a process of its own, so these are the first calls, all at once.
TEST_F(GrafixTest, FirstCallsFromSeveralThreadsReachTheLibrary) {
    QTemporaryDir dir;
    std::vector<QString> answers(4);
    std::vector<int> kinds(4, 7);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            const QString output = dir.filePath(i % 2 ? "c.bmp" : "c.gif");
            answers[i] = Grafix::ConvertGraphicsFile(dir.filePath("a b.png"), output, 75, kinds[i]);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(kinds, (std::vector<int>{-1, 1, -1, 1}));
    EXPECT_EQ(answers[0], "Output file format not supported.");
    EXPECT_TRUE(answers[1].endsWith("(No such file or directory).")) << answers[1].toStdString();
}

TEST_F(GrafixTest, MissingLibraryOrFunctionIsARunTimeError) {
    // Any other shared library in its place: zlib's, which this program links.
    Dl_info where {};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&zlibVersion), &where), 0);
    QTemporaryDir empty, impostor;
    ASSERT_TRUE(QFile::copy(QFile::decodeName(where.dli_fname), impostor.filePath("libtessaplex.so")));
    for (const auto& [folder, why] :
         {std::pair{empty.path(), "could not be loaded"}, {impostor.path(), "has no function"}}) {
        Grafix::SetLibraryFolder(folder);
        int kind = 0;
        try {
            Grafix::ConvertGraphicsFile("/tmp/a.png", "/tmp/b.bmp", 75, kind);
            ADD_FAILURE() << "no error from " << folder.toStdString();
        } catch (const RunTimeError& error) {
            EXPECT_TRUE(error.description().contains(why)) << error.description().toStdString();
        }
    }
}
