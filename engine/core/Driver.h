#pragma once
// One conversion from start to end: picks the writer by the output path, pulls bands
// of rows from the reader, converts them to the writer's format and pushes them on,
// writing through a temporary file that replaces the target only when complete.

#include "engine/core/ImageIO.h"

#include <optional>
#include <string>

namespace tessaplex {

struct ConvertOptions {
    // JPEG quality as passed by the caller; clamped to 1..100 here.
    int quality = 75;
    Limits limits;
};

// The output format named by the path's extension (any case); none for others.
std::optional<OutputFormat> outputFormatForPath(const std::string& path);

// Converts the file `inputPath` into `outputPath`.
Status convertFile(const std::string& inputPath, const std::string& outputPath, const ConvertOptions& options);

// Converts the image `reader` delivers into `outputPath` (format by its extension).
Status convertImage(ImageReader& reader, const std::string& outputPath, const ConvertOptions& options);

// Pushes every row of `reader` through `writer` into `sink`.
Status transcode(ImageReader& reader, ImageWriter& writer, ByteSink& sink, const Limits& limits);

}  // namespace tessaplex
