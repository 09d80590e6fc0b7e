#pragma once
// Optimised Huffman tables without holding the image: a baseline JPEG written with
// any tables (the standard ones) is read back twice, once to count the symbols of
// its entropy-coded data and once to re-emit the same symbols and extra bits with
// tables built from those counts. The coefficients, and so the pixels, stay exactly
// as they were; only the coding changes. Memory does not grow with the image.

#include "engine/core/ImageIO.h"

#include <cstdio>

namespace tessaplex {

// Re-encodes the single-scan baseline JPEG in `source` (read from its start) into
// `sink` with optimal tables. A write error when the sink fails, when `source`
// cannot be read, or when it is not the kind of JPEG this writer makes.
Status recodeWithOptimalTables(std::FILE* source, ByteSink& sink);

}  // namespace tessaplex
