#pragma once
// JPEG through libjpeg-turbo: quality 1..100, 4:2:0 below quality 90 and 4:4:4 from
// 90, optimised Huffman tables, gray kept gray, transparency flattened onto white,
// ICC profile and resolution carried over.

#include "engine/core/ImageIO.h"

#include <memory>

namespace tessaplex {

// A JPEG writer at options.quality.
std::unique_ptr<ImageWriter> makeJpegWriter(const WriterOptions& options);

}  // namespace tessaplex
