#pragma once
// The four format readers behind openReader. Each takes the source positioned at
// its start, checks the header against the limits and, on success, hands back a
// reader ready for its first row.

#include "engine/core/ImageIO.h"
#include "engine/read/ByteSource.h"

#include <memory>

namespace tessaplex::read {

Status openBmp(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader);
Status openPng(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader);
Status openJpeg(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader);
Status openGif(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader);

// What each of them does: makes a `Format` reader over the source and hands it over
// once its open() found the header sound.
template <typename Format>
Status openWith(std::unique_ptr<ByteSource> source, const Limits& limits, std::unique_ptr<ImageReader>& reader) {
    auto opened = std::make_unique<Format>(std::move(source), limits);
    Status status = opened->open();
    if (status.isOk()) {
        reader = std::move(opened);
    }
    return status;
}

}  // namespace tessaplex::read
