#pragma once
// What the fuzz targets share with each other and with the replay: the outcome of one
// input in the words the saved cases' manifests hold ("ok", or the kind of error,
// "read" or "write"), and reading an image whole.
#include "engine/core/ImageIO.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The outcome of one input; each target defines it and runs it for libFuzzer.
std::string fuzzOutcome(const uint8_t* data, size_t size);

namespace fuzz {

inline const char* word(const tessaplex::Status& status) {
    using tessaplex::ErrorKind;
    return status.kind == ErrorKind::None ? "ok" : status.kind == ErrorKind::Read ? "read" : "write";
}

// The name matters only for content that is none of our formats: it picks the message.
inline const char* nameFor(const uint8_t* data, size_t size) {
    return size > 0 && (data[0] & 1) ? "fuzz.bmp" : "fuzz.dat";
}

// Opens the image in memory and reads every row, `band` rows at a time.
inline tessaplex::Status readAll(const uint8_t* data, size_t size, const tessaplex::Limits& limits, uint32_t band,
                                 tessaplex::ImageInfo* info = nullptr) {
    std::unique_ptr<tessaplex::ImageReader> reader;
    tessaplex::Status status = tessaplex::openReaderFromMemory(data, size, nameFor(data, size), limits, reader);
    if (!status.isOk()) {
        return status;
    }
    const tessaplex::ImageInfo& image = reader->info();
    if (info) {
        *info = image;
    }
    const size_t rowBytes = size_t{image.width} * tessaplex::bytesPerPixel(image.format);
    std::string rows(rowBytes * band, '\0');
    for (uint32_t y = 0; y < image.height && status.isOk(); y += band) {
        const uint32_t n = image.height - y < band ? image.height - y : band;
        status = reader->readRows(reinterpret_cast<uint8_t*>(rows.data()), rowBytes, n);
    }
    return status;
}

}  // namespace fuzz
