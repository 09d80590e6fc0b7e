#pragma once
// PNG: the source's colour type and bit depth kept where PNG can hold them (palette
// with tRNS, gray at 1/2/4/8/16 bits, gray+alpha, RGB, RGBA), ICC profile and
// resolution carried over, rows filtered adaptively and deflated with libdeflate,
// in one piece or, for images too large to hold, in pieces on two threads.

#include "engine/core/ImageIO.h"

#include <memory>

namespace tessaplex {

// A PNG writer.
std::unique_ptr<ImageWriter> makePngWriter(const WriterOptions& options);

}  // namespace tessaplex
