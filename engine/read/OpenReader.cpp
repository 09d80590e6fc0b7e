// Picks the reader by the file's first bytes. The name's extension only matters when
// the content is none of our formats: then it tells "not ours at all" from "claims to
// be ours but is not".
#include "engine/core/ImageIO.h"
#include "engine/read/ByteSource.h"
#include "engine/read/FormatReaders.h"
#include "engine/read/ReadSupport.h"

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
        const uint32_t headerSize = b[14] | (b[15] << 8) | (b[16] << 16) | (uint32_t(b[17]) << 24);
        for (const char* magic : kOther) {
            if (b[0] == uint8_t(magic[0]) && b[1] == uint8_t(magic[1]) &&
                (headerSize == 12 || headerSize == 40 || headerSize == 64)) {
                return Content::OtherBitmap;
            }
        }
    }
    return Content::Unknown;
}

std::string lowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return ext;
}

Status unknownContent(const std::string& name) {
    const std::string ext = lowerExtension(name);
    if (ext == "bmp") {
        return read::readError("Not a valid BMP file");
    }
    if (ext == "png") {
        return read::readError("Not a valid PNG file");
    }
    if (ext == "jpg" || ext == "jpeg") {
        return read::readError("Not a valid JPEG file");
    }
    if (ext == "gif") {
        return read::readError("Not a valid GIF file");
    }
    return Status::readError(kInputNotSupported);
}

Status openSource(std::unique_ptr<read::ByteSource> source, const std::string& name, const Limits& limits,
                  std::unique_ptr<ImageReader>& reader) {
    reader.reset();
    uint8_t head[18] = {};
    const size_t n = source->read(head, sizeof head);
    if (!source->ioError().empty()) {
        return read::readError("Cannot read the input file (" + source->ioError() + ")");
    }
    if (!source->seek(0)) {
        return read::readError("Cannot read the input file");
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
    std::string error;
    std::unique_ptr<read::ByteSource> source = read::openFileSource(path, error);
    if (!source) {
        return read::readError(error);
    }
    return openSource(std::move(source), path, limits, reader);
}

Status openReaderFromMemory(const uint8_t* data, size_t size, const std::string& name, const Limits& limits,
                            std::unique_ptr<ImageReader>& reader) {
    return openSource(read::memorySource(data, size), name, limits, reader);
}

}  // namespace tessaplex
