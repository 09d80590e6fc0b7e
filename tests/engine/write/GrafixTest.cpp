// The program's loader of the conversion library: found beside the executable (the
// test program sits beside libtessaplex.so or tessaplex.dll), and a run-time error
// when the library or its function is missing.
#include "engine/Grafix.h"
#include "platform/RunTimeError.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dlfcn.h>
#include <zlib.h>
#endif

namespace {

struct GrafixTest : ::testing::Test {
    void TearDown() override { Grafix::SetLibraryFolder(QString()); }
};

#ifdef Q_OS_WIN
const char* const kLibraryName = "tessaplex.dll";
// The system's own words for a missing file, in brackets.
QString noSuchFile() {
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        ERROR_FILE_NOT_FOUND, 0, text, 256, nullptr);
    QString words = QString::fromWCharArray(text, length).trimmed();
    if (words.endsWith('.')) {
        words.chop(1);  // the library ends its messages without one
    }
    return '(' + words + ").";
}
#else
const char* const kLibraryName = "libtessaplex.so";
QString noSuchFile() {
    return "(No such file or directory).";
}
#endif

// Another shared library that this program loads: Qt's core library.
QString someOtherLibrary() {
#ifdef Q_OS_WIN
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH] = {};
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&qVersion), &module);
    GetModuleFileNameW(module, name, MAX_PATH);
    return QString::fromWCharArray(name);
#else
    Dl_info where{};
    dladdr(reinterpret_cast<void*>(&zlibVersion), &where);
    return where.dli_fname ? QFile::decodeName(where.dli_fname) : QString();
#endif
}

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
    EXPECT_TRUE(answers[1].endsWith(noSuchFile())) << answers[1].toStdString();
}

TEST_F(GrafixTest, MissingLibraryOrFunctionIsARunTimeError) {
    // Any other shared library in its place.
    const QString other = someOtherLibrary();
    ASSERT_FALSE(other.isEmpty());
    QTemporaryDir empty, impostor;
    ASSERT_TRUE(QFile::copy(other, impostor.filePath(kLibraryName)));
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

#ifdef Q_OS_WIN
// Paths reach the library as 8-bit text. The program's manifest makes that UTF-8, so
// a name beyond the user's code page (Japanese on a Western system) converts too.
TEST_F(GrafixTest, NamesBeyondTheLegacyCodePageConvert) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest sets UTF-8 as the code page";
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.filePath(QString::fromUtf8("\u5199\u771F \u00C5r")));
    ASSERT_TRUE(QDir().mkpath(folder));
    // The smallest BMP: one white pixel.
    const QByteArray bmp = QByteArray::fromHex(
        "424d3a0000000000000036000000280000000100000001000000010018000000000004000000130b0000130b00000000000000000000"
        "ffffff00");
    QFile input(folder + QString::fromUtf8("\\\u732B.bmp"));
    ASSERT_TRUE(input.open(QIODevice::WriteOnly) && input.write(bmp) == bmp.size());
    input.close();
    int kind = 7;
    const QString output = folder + QString::fromUtf8("\\\u732B.png");
    EXPECT_EQ(Grafix::ConvertGraphicsFile(input.fileName(), output, 75, kind), "No Error.");
    EXPECT_EQ(kind, 0);
    EXPECT_TRUE(QFile(output).size() > 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{QString::fromUtf8("\u732B.bmp"),
                                                               QString::fromUtf8("\u732B.png")}));
}
#endif
