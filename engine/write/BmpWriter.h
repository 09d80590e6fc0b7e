#pragma once
// Windows bitmaps: 24-bit for opaque colour, 1/4/8-bit with a palette for palette
// and gray images, 32-bit with an alpha mask (BITMAPV5HEADER) for transparency.

#include "engine/core/ImageIO.h"

#include <memory>

namespace tessaplex {

// A BMP writer; the sink must take writes at offsets (rows are stored bottom-up).
std::unique_ptr<ImageWriter> makeBmpWriter(const WriterOptions& options);

}  // namespace tessaplex
