// Stands in for the readers while read/ is empty, so that the library links and
// answers every input as unsupported.
#include "engine/core/ImageIO.h"

namespace tessaplex {

Status openReader(const std::string&, const Limits&, std::unique_ptr<ImageReader>& reader) {
    reader.reset();
    return Status::readError(kInputNotSupported);
}

}  // namespace tessaplex
