// Whole conversions: through the exported function with the real readers (answers,
// lossless paths, the corpus, several at once), and through the driver from an
// in-memory image (the target replaced only by a complete file, limits, quality).
#include "engine/core/Driver.h"
#include "engine/tessaplex.h"
#include "tests/engine/EngineTest.h"
#include "tests/support/Corpus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace tessaplex;
using namespace EngineTest;

namespace {

Status convertTo(MemoryReader reader, const QString& path, int quality = 75, const Limits& limits = {}) {
    return convertImage(reader, local(path), ConvertOptions{quality, limits});
}

int pngColourType(const QString& path) {
    const Bytes bytes = readFile(path);
    return bytes.size() > 25 ? bytes[25] : -1;
}

// The system's texts for a missing file and a missing folder, up to where they differ
// between versions of the system.
#if defined(_WIN32)
const std::string kNoFile = "", kNoFolder = "";
#else
const std::string kNoFile = "No such file or directory", kNoFolder = kNoFile;
#endif

}  // namespace

TEST(Conversion, EveryOutcomeIsAnsweredWithItsKindAndMessage) {
    QTemporaryDir dir;
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 8, 8);
    const QString input = dir.filePath("in put.bmp"), link = dir.filePath("link.bmp"), locked = dir.filePath("locked");
    const Bytes bytes = encode(OutputFormat::Bmp, reader);
    writeFile(input, bytes);
    writeFile(dir.filePath("OUT.PNG"), Bytes(100000, 'y'));  // to be replaced
    writeFile(dir.filePath("png.bmp"), qtEncode(testPicture(8, 8), "PNG"));  // the content decides
    std::filesystem::create_hard_link(local(input), local(link));
    ASSERT_TRUE(QDir().mkpath(locked));
#if defined(_WIN32)
    const QString readOnly = input + "/out.bmp";  // a folder that is a file
#else
    ASSERT_EQ(::chmod(local(locked).c_str(), 0555), 0);
    // The superuser may write anyway; /proc takes no new files from anyone.
    const QString readOnly = (::access(local(locked).c_str(), W_OK) == 0 ? QString("/proc") : locked) + "/out.bmp";
#endif
    const struct {
        QString input, output;
        int kind;
        std::string message;  // a prefix where it ends in ": " or "("
        const char* magic = nullptr;
    } cases[] = {
        {input, dir.filePath("out.bmp"), 0, kNoError, "BM"}, {input, dir.filePath("out.png"), 0, kNoError, "\x89PNG"},
        {input, dir.filePath("out.jpg"), 0, kNoError, "\xFF\xD8\xFF"},
        {input, dir.filePath("out.jpeg"), 0, kNoError, "\xFF\xD8\xFF"},
        {input, dir.filePath("OUT.PNG"), 0, kNoError, "\x89PNG"},
        {dir.filePath("png.bmp"), dir.filePath("from png.jpg"), 0, kNoError, "\xFF\xD8\xFF"},
        {input, dir.filePath("out.gif"), -1, kOutputNotSupported},
        {input, dir.filePath("out.GIF"), -1, kOutputNotSupported},
        {input, dir.filePath("out.tif"), -1, kOutputNotSupported},
        {input, dir.filePath("out"), -1, kOutputNotSupported}, {input, dir.filePath("out."), -1, kOutputNotSupported},
        {input, dir.filePath("dir.png/out"), -1, kOutputNotSupported}, {input, "", -1, kOutputNotSupported},
        {dir.filePath("missing.png"), dir.filePath("new.bmp"), 1,
         "Cannot open the input file (" + kNoFile + (kNoFile.empty() ? "" : ")")},
        {input, dir.filePath("missing/out.png"), -1, "Cannot create output file: " + kNoFolder},
        {input, readOnly, -1, "Cannot create output file: "},
        {input, input, -1, "Output file is the input file"},
        {input, dir.filePath("./in put.bmp"), -1, "Output file is the input file"},
        {input, link, -1, "Output file is the input file"},
    };
#if !defined(_WIN32)
    const mode_t umask = ::umask(027);
#endif
    for (const auto& c : cases) {
        const Answer a = convertFiles(c.input, c.output);
        EXPECT_EQ(a.kind, c.kind) << c.output.toStdString();
        const bool prefix = c.message.ends_with(": ") || c.message.ends_with("(");
        EXPECT_EQ(prefix ? a.message.substr(0, c.message.size()) : a.message, c.message);
        EXPECT_EQ(a.result, int32_t(a.message.size()));
        if (c.magic) {  // the format of the extension, with ordinary permissions
            const Bytes out = readFile(c.output);
            EXPECT_TRUE(std::string(out.begin(), out.end()).starts_with(c.magic)) << c.output.toStdString();
            EXPECT_FALSE(qtRead(out).isNull()) << c.output.toStdString();
#if !defined(_WIN32)
            struct stat st {};
            ASSERT_EQ(::stat(local(c.output).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0640u) << c.output.toStdString();
#endif
        }
    }
#if !defined(_WIN32)
    ::umask(umask);
#endif
    EXPECT_EQ(readFile(input), bytes);
    // Nothing but the answers' files: no temporary file left, nothing in a folder refused.
    // (Where letter case is not told apart, out.png and OUT.PNG are one file.)
    QStringList answered{"OUT.PNG",  "from png.jpg", "in put.bmp", "link.bmp", "out.bmp",
                         "out.jpeg", "out.jpg",      "out.png",    "png.bmp"};
#if defined(_WIN32)
    answered.removeOne("out.png");
#endif
    EXPECT_EQ(entries(dir.path()), answered);
    EXPECT_TRUE(entries(locked).isEmpty());
#if !defined(_WIN32)
    ::chmod(local(locked).c_str(), 0755);
#endif
    // Null arguments are answered, never followed.
    char buffer[256] = {};
    int32_t kind = 0;
    EXPECT_GT(_convert_graphics_file_2(nullptr, nullptr, nullptr, "/tmp/x.png", 0, 75, 0, 0, buffer, &kind), 0);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(_convert_graphics_file_2(nullptr, "/tmp/x.png", nullptr, nullptr, 0, 75, 0, 0, nullptr, &kind), 0);
    EXPECT_EQ(kind, -1);
    EXPECT_GT(_convert_graphics_file_2(nullptr, "/tmp/x.png", nullptr, "/tmp/y.gif", 0, 75, 0, 0, buffer, nullptr), 0);
}

// A named pipe without a writer would hold open() forever, a device may never end.
// The conversion runs on a thread; should it wait on the input after all, the test
// frees it (opens the pipe's other end), so that a regression fails instead of
// hanging.
TEST(Conversion, SpecialFilesAreRefusedWithoutWaitingOnThem) {
    QTemporaryDir dir;
#if defined(_WIN32)
    const QString pipe = R"(\\.\pipe\tessaplex-test-)" + QString::number(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(local(pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0,
                                           nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const QStringList inputs{pipe, "NUL", dir.filePath("NUL"), "COM1", "CON", dir.path()};
    const auto release = [&] { DisconnectNamedPipe(server); };
#else
    const QString fifo = dir.filePath("pipe.png"), socketPath = dir.filePath("socket.png");
    ASSERT_EQ(::mkfifo(local(fifo).c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, local(socketPath).c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QStringList inputs{fifo, socketPath, "/dev/zero", dir.path()};
    const auto release = [&] { ::close(::open(local(fifo).c_str(), O_WRONLY | O_NONBLOCK)); };
#endif
    for (const QString& input : inputs) {
        auto answer = std::async(std::launch::async, [&] { return convertFiles(input, dir.filePath("out.bmp")); });
        if (answer.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << input.toStdString() << ": the conversion waits on the input";
            release();
        }
        const Answer a = answer.get();
        EXPECT_EQ(a.kind, 1) << input.toStdString();
        EXPECT_EQ(a.message, kNotRegularFile) << input.toStdString();
    }
#if defined(_WIN32)
    CloseHandle(server);
    EXPECT_TRUE(entries(dir.path()).isEmpty());
#else
    ::close(listener);
    EXPECT_EQ(entries(dir.path()), (QStringList{"pipe.png", "socket.png"}));
#endif
}

#if defined(_WIN32)
// Windows refuses to replace a read-only file, or one that another program holds open
// without letting it be deleted: the answer is a write error, the target stays as it
// was and no temporary file is left. Once the other program lets go, it is replaced.
TEST(Conversion, ReadOnlyOrHeldTargetIsAWriteErrorAndStaysAsItWas) {
    QTemporaryDir dir;
    const QString input = dir.filePath("in.bmp"), target = dir.filePath("out.png");
    MemoryReader reader = makeImage(PixelFormat::Rgb8, 8, 8);
    writeFile(input, encode(OutputFormat::Bmp, reader));
    const Bytes old(1000, 'y');
    const std::wstring wide = QDir::toNativeSeparators(target).toStdWString();
    for (const bool readOnly : {true, false}) {
        writeFile(target, old);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
        } else {
            held = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        const Answer a = convertFiles(input, target);
        EXPECT_EQ(a.kind, -1) << readOnly << ": " << a.message;
        EXPECT_EQ(entries(dir.path()), (QStringList{"in.bmp", "out.png"})) << readOnly;
        if (readOnly) {
            SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        } else {
            CloseHandle(held);
        }
        EXPECT_EQ(readFile(target), old) << readOnly;
        EXPECT_EQ(convertFiles(input, target).kind, 0) << readOnly;
        EXPECT_TRUE(samePixels(rgba64(qtRead(target)), reader.rgba(), 8)) << readOnly;
    }
}
#endif

TEST(Conversion, LosslessRoundTripsKeepEveryPixelAndAlpha) {
    std::vector<MemoryReader> sources{makeImage(PixelFormat::Rgb8, 37, 23), makeImage(PixelFormat::Rgba8, 37, 23),
                                      makeIndexedImage(37, 23, 16, false), makeIndexedImage(37, 23, 200, false),
                                      makeImage(PixelFormat::Gray8, 37, 23)};
    QTemporaryDir top;
    const QString dir = top.filePath(QString::fromUtf8("Fotos für Ørjan"));
    ASSERT_TRUE(QDir().mkpath(dir));
    for (size_t i = 0; i < sources.size(); ++i) {
        const QString a = dir + QString::fromUtf8("/Straße am Meer ✓.bmp"), b = dir + "/b.png", c = dir + "/c.bmp";
        const Bytes original = encode(OutputFormat::Bmp, sources[i]);
        writeFile(a, original);
        ASSERT_TRUE(QFile::setPermissions(a, QFileDevice::ReadOwner));
        ASSERT_EQ(convertFiles(a, b).kind, 0) << i;
        ASSERT_EQ(convertFiles(b, c).kind, 0) << i;
        EXPECT_TRUE(samePixels(rgba64(qtRead(b)), sources[i].rgba(), 37)) << i;
        EXPECT_TRUE(samePixels(rgba64(qtRead(c)), sources[i].rgba(), 37)) << i;
        EXPECT_EQ(readFile(a), original);  // the input is never changed
        if (i >= 2) {  // palette and gray images stay palette images on the way
            EXPECT_NE(pngColourType(b), 2) << i;
            EXPECT_LE(readFile(c)[28], 8) << i;
        }
        QFile::remove(a);
    }
}

TEST(Conversion, CorpusLosslessPathsKeepEveryPixel) {
    REQUIRE_CORPUS();
    QTemporaryDir dir;
    QStringList files = filesIn(TestSupport::corpusPath("conformance/gif"), "*.gif");
    files += filesIn(TestSupport::corpusPath("conformance/bmp/g"), "pal*.bmp");
    files += filesIn(TestSupport::corpusPath("conformance/bmp/g"), "rgb[23]*.bmp");
    // Corrupt files are for the readers; 16-bit samples lose their low bits in BMP.
    for (const QString& file : filesIn(TestSupport::corpusPath("conformance/png"), "[!x]*.png")) {
        files += file.endsWith("16.png") ? QStringList() : QStringList{file};
    }
    ASSERT_GT(files.size(), 170);
    for (const QString& file : files) {
        const QImage source = qtRead(file);
        for (const char* ext : {".bmp", ".png"}) {
            const QString out = dir.filePath("out") + ext;
            const Answer a = convertFiles(file, out);
            ASSERT_EQ(a.kind, 0) << file.toStdString() << ": " << a.message;
            EXPECT_TRUE(samePixels(rgba64(qtRead(out)), rgba64(source), source.width()))
                << file.toStdString() << " to " << ext;
            if (file.endsWith(".gif") && ext == std::string(".png")) {
                EXPECT_EQ(pngColourType(out), 3) << file.toStdString();
            }
        }
    }
}

TEST(Conversion, SeveralAtOnceOnThreads) {
    QTemporaryDir dir;
    const QImage picture = testPicture(300, 200, true);
    MemoryReader bmp = makeImage(PixelFormat::Rgba8, 300, 200);
    writeFile(dir.filePath("in.bmp"), encode(OutputFormat::Bmp, bmp));
    writeFile(dir.filePath("in.png"), qtEncode(picture, "PNG"));
    writeFile(dir.filePath("in.jpg"), qtEncode(picture, "JPG", 90, true));
    writeFile(dir.filePath("in.gif"), makeGif({300, 200, Bytes(48, 90), 0, 0, 300, 200, true, 5, Bytes(60000, 3)}));
    const QStringList inputs = entries(dir.path());
    const auto convertAll = [&](const QString& tag) {
        std::vector<Bytes> outputs;
        for (const QString& in : inputs) {
            for (const char* ext : {".bmp", ".png", ".jpg"}) {
                const QString out = dir.filePath(tag + in + ext);
                EXPECT_EQ(convertFiles(dir.filePath(in), out, 85).message, "No Error");
                outputs.push_back(readFile(out));
            }
        }
        return outputs;
    };
    const std::vector<Bytes> alone = convertAll("alone");
    std::vector<std::vector<Bytes>> together(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] { together[t] = convertAll(QString::number(t)); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::count(together.begin(), together.end(), alone), 4);
}

TEST(Driver, TargetsAreReplacedOnlyByCompleteFiles) {
#if !defined(_WIN32)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Over 8 MiB of rows, so that bands travel through the reading thread.
    const MemoryReader big = makeImage(PixelFormat::Rgba8, 2000, 1100, 8);
    for (const char* name : {"t.bmp", "t.png", "t.jpg"}) {
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        writeFile(target, Bytes(100000, 'y'));
        ASSERT_TRUE(convertTo(big, target).isOk()) << name;
        const Bytes written = readFile(target);
        if (name[2] != 'j') {
            EXPECT_TRUE(samePixels(rgba64(qtRead(written)), big.rgba(), 2000)) << name;
        }
        // A reader failing half-way, and (on POSIX) a full disk played by a file size limit.
#if defined(_WIN32)
        for (const bool fullDisk : {false}) {
#else
        for (const bool fullDisk : {false, true}) {
#endif
            for (const bool existing : {true, false}) {
                if (!existing) {
                    QFile::remove(target);
                }
                MemoryReader failing = big;
                failing.failAfterRows(fullDisk ? UINT32_MAX : 900);
#if defined(_WIN32)
                const Status status = convertTo(failing, target);
#else
                rlimit old{};
                ::getrlimit(RLIMIT_FSIZE, &old);
                rlimit small = old;
                small.rlim_cur = fullDisk ? 20000 : old.rlim_cur;
                ::setrlimit(RLIMIT_FSIZE, &small);
                const Status status = convertTo(failing, target);
                ::setrlimit(RLIMIT_FSIZE, &old);
#endif
                EXPECT_EQ(status.kind, fullDisk ? ErrorKind::Write : ErrorKind::Read) << name;
                EXPECT_TRUE(
                    status.message.starts_with(fullDisk ? "Cannot write output file: " : "Truncated test image"))
                    << status.message;
                EXPECT_EQ(entries(dir.path()), existing ? QStringList{name} : QStringList{}) << name;
                EXPECT_EQ(readFile(target), existing ? written : Bytes{}) << name;
                if (!existing) {
                    writeFile(target, written);
                }
            }
        }
    }
}

TEST(Driver, LimitsRefuseOversizedImagesBeforeWriting) {
    QTemporaryDir dir;
    ImageInfo huge;  // more than any size type holds: refused, not wrapped
    huge.width = huge.height = 0xffffffffu, huge.format = PixelFormat::Rgba16;
    const struct {
        MemoryReader image;
        Limits limits;
    } cases[] = {
        {makeImage(PixelFormat::Rgb8, 64, 64), {64 * 63}},
        {makeImage(PixelFormat::Rgba16, 40000, 2), {.memoryBudget = 256 * 1024}},  // a row wider than the budget
        {MemoryReader(huge, {}), {UINT64_MAX, UINT32_MAX}},
    };
    for (const auto& c : cases) {
        const Status status = convertTo(c.image, dir.filePath("big.png"), 75, c.limits);
        EXPECT_EQ(status.kind, ErrorKind::Read);
        EXPECT_TRUE(status.message.starts_with("Image too large")) << status.message;
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(Driver, QualityIsClampedToOneToHundred) {
    QTemporaryDir dir;
    for (const auto& [given, clamped] : {std::pair{-5, 1}, {0, 1}, {101, 100}, {32767, 100}}) {
        const MemoryReader image = makeImage(PixelFormat::Rgb8, 40, 40);
        ASSERT_TRUE(convertTo(image, dir.filePath("given.jpg"), given).isOk());
        ASSERT_TRUE(convertTo(image, dir.filePath("clamped.jpg"), clamped).isOk());
        EXPECT_EQ(readFile(dir.filePath("given.jpg")), readFile(dir.filePath("clamped.jpg"))) << given;
    }
}
