#include "engine/Grafix.h"

#include "engine/tessaplex.h"
#include "platform/RunTimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <QMutex>
#include <cstring>
#include <memory>

namespace Grafix {

namespace {

// The library is loaded once and kept for the program's life; the mutex makes the
// first call safe from the worker thread that runs conversions.
struct Loader {
    QMutex mutex;
    QString folder;
    std::unique_ptr<QLibrary> library;
    tessaplex_convert_fn function = nullptr;
};

Loader& loader() {
    static Loader instance;
    return instance;
}

tessaplex_convert_fn convertFunction() {
    Loader& state = loader();
    QMutexLocker lock(&state.mutex);
    if (state.function) {
        return state.function;
    }
    const QString folder = state.folder.isEmpty() ? QCoreApplication::applicationDirPath() : state.folder;
    // QLibrary adds the platform's prefix and suffix (libtessaplex.so, tessaplex.dll).
    auto library = std::make_unique<QLibrary>(folder + QStringLiteral("/tessaplex"));
    if (!library->load()) {
        throw RunTimeError(QStringLiteral("The conversion library could not be loaded from %1: %2")
                               .arg(folder, library->errorString()));
    }
    auto function = reinterpret_cast<tessaplex_convert_fn>(library->resolve("_convert_graphics_file_2"));
    if (!function) {
        const QString error = library->errorString();
        library->unload();
        throw RunTimeError(
            QStringLiteral("The conversion library has no function _convert_graphics_file_2: %1").arg(error));
    }
    state.library = std::move(library);
    state.function = function;
    return function;
}

QByteArray eightBit(const QString& path) {
#ifdef Q_OS_WIN
    return path.toLocal8Bit();
#else
    return QFile::encodeName(path);
#endif
}

}  // namespace

QString ConvertGraphicsFile(const QString& inputPath, const QString& outputPath, qint16 quality, int& errorKind) {
    const tessaplex_convert_fn convert = convertFunction();
    const QByteArray input = eightBit(inputPath);
    const QByteArray output = eightBit(outputPath);
    // 255 NULs and the terminator, as the library expects.
    char message[256];
    std::memset(message, 0, sizeof message);
    int32_t kind = 0;
    const int32_t result = convert("", input.constData(), "", output.constData(), 0, static_cast<int32_t>(quality), 0,
                                   0, message, &kind);
    // The count must fit a 16-bit integer; a negative count cannot cut a text either.
    if (result < 0 || result > 32767) {
        throw RunTimeError(QStringLiteral("The conversion library returned an invalid message length (%1)").arg(result));
    }
    errorKind = kind;
    const int length = result < 255 ? result : 255;
    return QString::fromLocal8Bit(message, length) + QLatin1Char('.');
}

void SetLibraryFolder(const QString& folder) {
    Loader& state = loader();
    QMutexLocker lock(&state.mutex);
    state.folder = folder;
    state.function = nullptr;
    if (state.library) {
        state.library->unload();
        state.library.reset();
    }
}

}  // namespace Grafix
