// Picks the reader by the file's first bytes. The name's extension only matters when
// the content is none of our formats: then it tells "not ours at all" from "claims to
// be ours but is not".
#include "engine/core/ImageIO.h"
#include "engine/read/ByteSource.h"
#include "engine/read/FormatReaders.h"

#include <cstring>

namespace tessaplex {
namespace {

enum class Content { Unknown, Bmp, OtherBitmap, Png, Jpeg, Gif };

Content detect(const uint8_t* b, size_t n) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 8 && std::memcmp(b, kPng, 8) == 0) {
        return Content::Png;
    }
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        return Content::Jpeg;
    }
    if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) {
        return Content::Gif;
    }
    if (n >= 2 && b[0] == 'B' && b[1] == 'M') {
        return Content::Bmp;
    }
    // OS/2 bitmap arrays, icons and pointers share the bitmap header; two letters alone
    // are too weak a sign, so a known header size must follow.
    if (n >= 18) {
        static const char* const kOther[] = {"BA", "CI", "CP", "IC", "PT"};
        const uint32_t headerSize = loadLE32(b + 14);
        for (const char* magic : kOther) {
            if (b[0] == uint8_t(magic[0]) && b[1] == uint8_t(magic[1]) &&
                (headerSize == 12 || headerSize == 40 || headerSize == 64)) {
                return Content::OtherBitmap;
            }
        }
    }
    return Content::Unknown;
}

Status unknownContent(const std::string& name) {
    const std::string ext = lowerExtension(name);
    if (ext == "bmp") {
        return Status::readError("Not a valid BMP file");
    }
    if (ext == "png") {
        return Status::readError("Not a valid PNG file");
    }
    if (ext == "jpg" || ext == "jpeg") {
        return Status::readError("Not a valid JPEG file");
    }
    if (ext == "gif") {
        return Status::readError("Not a valid GIF file");
    }
    return Status::readError(kInputNotSupported);
}

Status openSource(std::unique_ptr<read::ByteSource> source, const std::string& name, const Limits& limits,
                  std::unique_ptr<ImageReader>& reader) {
    reader.reset();
    uint8_t head[18] = {};
    const size_t n = source->read(head, sizeof head);
    if (source->failed()) {
        return source->readFailure();
    }
    if (!source->seek(0)) {
        unreachable("a source cannot go back to its start");
    }
    switch (detect(head, n)) {
        case Content::Png:
            return read::openPng(std::move(source), limits, reader);
        case Content::Jpeg:
            return read::openJpeg(std::move(source), limits, reader);
        case Content::Gif:
            return read::openGif(std::move(source), limits, reader);
        case Content::Bmp:
            return read::openBmp(std::move(source), limits, reader);
        case Content::OtherBitmap:
            return Status::readError(kUnsupportedOption);
        case Content::Unknown:
            break;
    }
    return unknownContent(name);
}

}  // namespace

Status openReader(const std::string& path, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    reader.reset();
    std::unique_ptr<read::ByteSource> source;
    const Status status = read::openFileSource(path, source);
    if (!status.isOk()) {
        return status;
    }
    return openSource(std::move(source), path, limits, reader);
}

Status openReaderFromMemory(const uint8_t* data, size_t size, const std::string& name, const Limits& limits,
                            std::unique_ptr<ImageReader>& reader) {
    return openSource(read::memorySource(data, size), name, limits, reader);
}

}  // namespace tessaplex
