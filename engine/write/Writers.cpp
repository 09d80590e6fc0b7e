#include "engine/core/ImageIO.h"
#include "engine/write/BmpWriter.h"
#include "engine/write/JpegWriter.h"
#include "engine/write/PngWriter.h"

namespace tessaplex {

std::unique_ptr<ImageWriter> makeWriter(OutputFormat format, const WriterOptions& options) {
    switch (format) {
        case OutputFormat::Bmp: return makeBmpWriter(options);
        case OutputFormat::Png: return makePngWriter(options);
        case OutputFormat::Jpeg: return makeJpegWriter(options);
    }
    unreachable("unknown output format");
}

}  // namespace tessaplex
