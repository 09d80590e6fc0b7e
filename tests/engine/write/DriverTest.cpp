// The conversion driver over real files: output format by extension, the temporary
// file that replaces the target only when complete, limits, and bands of rows
// travelling through the reading thread.
#include "engine/core/Driver.h"
#include "tests/engine/write/TestImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaplex;
using namespace WriteTest;

namespace {

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

Status convertTo(MemoryReader& reader, const QString& path, int quality = 75) {
    ConvertOptions options;
    options.quality = quality;
    return convertImage(reader, local(path), options);
}

}  // namespace

TEST(Driver, OutputFormatFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(outputFormatForPath("/a/b.bmp"), OutputFormat::Bmp);
    EXPECT_EQ(outputFormatForPath("/a/b.PNG"), OutputFormat::Png);
    EXPECT_EQ(outputFormatForPath("b.Jpg"), OutputFormat::Jpeg);
    EXPECT_EQ(outputFormatForPath("/a.b/c.jpeg"), OutputFormat::Jpeg);
    for (const char* path : {"/a/b.gif", "/a/b.tif", "/a/b", "/a.png/b", "/a/b.", "/a/.png.x", ""}) {
        EXPECT_FALSE(outputFormatForPath(path).has_value()) << path;
    }
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 4, 4);
    QTemporaryDir dir;
    const Status status = convertTo(reader, dir.filePath("out.gif"));
    EXPECT_EQ(status.kind, -1);
    EXPECT_EQ(status.message, "Output file format not supported");
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(Driver, WritesEveryFormatWithOrdinaryPermissions) {
    QTemporaryDir dir;
    const mode_t old = ::umask(027);
    for (const char* name : {"a.bmp", "b.png", "c.jpg", "d.JPEG"}) {
        MemoryReader reader = makeImage(PixelFormat::Rgb8, 30, 20);
        const Status status = convertTo(reader, dir.filePath(name));
        EXPECT_TRUE(status.isOk()) << status.message;
        struct stat st {};
        ASSERT_EQ(::stat(local(dir.filePath(name)).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << name;
        EXPECT_FALSE(decode(readFile(dir.filePath(name))).isNull());
    }
    ::umask(old);
    EXPECT_EQ(entries(dir.path()).size(), 4);  // no temporary files left
}

TEST(Driver, PathsWithSpacesAndNonAsciiLetters) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString::fromUtf8("Fotos für Ørjan"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QString::fromUtf8("/Straße am Meer ✓.png");
    MemoryReader reader = makeIndexedImage(20, 10, 7, true);
    ASSERT_TRUE(convertTo(reader, path).isOk());
    expectedPixelsAt(path, reader);
}

TEST(Driver, ReaderFailingHalfWayLeavesTargetUntouched) {
    for (const char* name : {"t.bmp", "t.png", "t.jpg"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        const std::vector<uint8_t> before = {'o', 'l', 'd'};
        writeFile(target, before);
        // Large enough for the reading thread (over 8 MiB), so the failure comes from it.
        MemoryReader reader = makeImage(PixelFormat::Rgba8, 2000, 1200);
        reader.failAfterRows(900);
        const Status status = convertTo(reader, target);
        EXPECT_EQ(status.kind, 1);
        EXPECT_EQ(status.message, "Truncated test image");
        EXPECT_EQ(readFile(target), before);
        EXPECT_EQ(entries(dir.path()), QStringList{QString(name)});
    }
}

TEST(Driver, MissingOrReadOnlyFolderIsAWriteError) {
    QTemporaryDir dir;
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 8, 8);
    Status status = convertTo(reader, dir.filePath("missing/out.png"));
    EXPECT_EQ(status.kind, -1);
    EXPECT_EQ(status.message, "Cannot create output file: No such file or directory");

    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_EQ(::chmod(local(locked).c_str(), 0555), 0);
    // The superuser may write anyway; /proc takes no new files from anyone.
    const QString folder = ::access(local(locked).c_str(), W_OK) == 0 ? QString("/proc") : locked;
    MemoryReader again = makeImage(PixelFormat::Rgb8, 8, 8);
    status = convertTo(again, folder + "/out.bmp");
    EXPECT_EQ(status.kind, -1);
    EXPECT_TRUE(status.message.rfind("Cannot create output file: ", 0) == 0) << status.message;
    EXPECT_FALSE(QFileInfo::exists(folder + "/out.bmp"));
    EXPECT_TRUE(entries(locked).isEmpty());
    ::chmod(local(locked).c_str(), 0755);
}

// A full disk, played by a file size limit: every writer's failure reaches the
// caller as a write error and the old target stays as it was.
TEST(Driver, FullDiskKeepsTheOldTarget) {
    std::signal(SIGXFSZ, SIG_IGN);
    for (const char* name : {"f.bmp", "f.png", "f.jpg"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        const std::vector<uint8_t> before(5000, 'x');
        writeFile(target, before);
        MemoryReader reader = makeImage(PixelFormat::Rgb8, 600, 500);
        rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 20000;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Status status = convertTo(reader, target);
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(status.kind, -1);
        EXPECT_TRUE(status.message.rfind("Cannot write output file: ", 0) == 0) << status.message;
        EXPECT_EQ(readFile(target), before);
        EXPECT_EQ(entries(dir.path()), QStringList{QString(name)});
    }
}

TEST(Driver, ReplacesAnExistingTargetWhenComplete) {
    QTemporaryDir dir;
    const QString target = dir.filePath("x.png");
    writeFile(target, std::vector<uint8_t>(100000, 'y'));
    MemoryReader reader = makeImage(PixelFormat::Rgba8, 33, 21);
    ASSERT_TRUE(convertTo(reader, target).isOk());
    expectedPixelsAt(target, reader);
}

TEST(Driver, LimitsRefuseOversizedImagesBeforeWriting) {
    QTemporaryDir dir;
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 64, 64);
    ConvertOptions options;
    options.limits.maxPixels = 64 * 63;
    Status status = convertImage(reader, local(dir.filePath("big.png")), options);
    EXPECT_EQ(status.kind, 1);
    EXPECT_EQ(status.message, "Image too large");

    // A single row wider than the memory budget.
    MemoryReader wide = makeImage(PixelFormat::Rgba16, 40000, 2);
    options = ConvertOptions{};
    options.limits.memoryBudget = 256 * 1024;
    status = convertImage(wide, local(dir.filePath("wide.bmp")), options);
    EXPECT_EQ(status.kind, 1);
    EXPECT_EQ(status.message, "Image too large");

    // A header claiming more than any size type holds is refused, not wrapped.
    ImageInfo huge;
    huge.width = 0xffffffffu;
    huge.height = 0xffffffffu;
    huge.format = PixelFormat::Rgba16;
    MemoryReader liar(huge, {});
    options = ConvertOptions{};
    options.limits.maxPixels = UINT64_MAX;
    options.limits.maxDimension = UINT32_MAX;
    status = convertImage(liar, local(dir.filePath("huge.jpg")), options);
    EXPECT_EQ(status.kind, 1);
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(Driver, QualityIsClampedToOneToHundred) {
    QTemporaryDir dir;
    const std::pair<int, int> pairs[] = {{-5, 1}, {0, 1}, {101, 100}, {32767, 100}};
    for (const auto& [given, clamped] : pairs) {
        MemoryReader a = makeImage(PixelFormat::Rgb8, 40, 40), b = makeImage(PixelFormat::Rgb8, 40, 40);
        ASSERT_TRUE(convertTo(a, dir.filePath("given.jpg"), given).isOk());
        ASSERT_TRUE(convertTo(b, dir.filePath("clamped.jpg"), clamped).isOk());
        EXPECT_EQ(readFile(dir.filePath("given.jpg")), readFile(dir.filePath("clamped.jpg"))) << given;
    }
}

// Many bands through the reading thread (over 8 MiB of rows), pixel-exact.
TEST(Driver, ManyBandsArriveInOrder) {
    QTemporaryDir dir;
    for (const char* name : {"m.bmp", "m.png"}) {
        MemoryReader reader = makeImage(PixelFormat::Rgba8, 2000, 1100, 8);
        ASSERT_TRUE(convertTo(reader, dir.filePath(name)).isOk());
        expectedPixelsAt(dir.filePath(name), reader);
    }
}
