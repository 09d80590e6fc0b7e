#include "engine/core/Limits.h"

namespace tessaplex {

Status checkDimensions(uint64_t width, uint64_t height, const Limits& limits) {
    if (width == 0 || height == 0) {
        return Status::readError("Invalid image size: " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels");
    }
    uint64_t pixels = 0;
    if (width > limits.maxDimension || height > limits.maxDimension || !checkedMul(width, height, pixels) ||
        pixels > limits.maxPixels) {
        return Status::readError("Image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels exceeds the limit of " + std::to_string(limits.maxPixels) + " pixels");
    }
    return Status::ok();
}

Status checkMemory(uint64_t bytes, const Limits& limits) {
    if (bytes > limits.memoryBudget || bytes > std::numeric_limits<size_t>::max() / 2) {
        const std::string limit = std::to_string(limits.memoryBudget >> 20) + " MiB";
        if (bytes >= (uint64_t{1} << 60)) {
            return Status::readError("Image too large: it needs more memory than the limit of " + limit);
        }
        return Status::readError("Image too large: it needs " + std::to_string((bytes + (1u << 20) - 1) >> 20) +
                                 " MiB of memory, more than the limit of " + limit);
    }
    return Status::ok();
}

Status checkImageBuffer(uint64_t width, uint64_t height, uint64_t bytesPerPixel, const Limits& limits, size_t& bytes) {
    uint64_t area = 0, total = 0;
    if (!checkedMul(width, height, area) || !checkedMul(area, bytesPerPixel, total)) {
        return checkMemory(std::numeric_limits<uint64_t>::max(), limits);
    }
    Status status = checkMemory(total, limits);
    if (status.isOk()) {
        bytes = static_cast<size_t>(total);
    }
    return status;
}

}  // namespace tessaplex
