#include "engine/read/ReadSupport.h"

namespace tessaplex::read {

bool checkedMul3(uint64_t a, uint64_t b, uint64_t c, uint64_t& out) {
    uint64_t ab = 0;
    return checkedMul(a, b, ab) && checkedMul(ab, c, out);
}

Status checkDimensions(uint64_t width, uint64_t height, const Limits& limits) {
    if (width == 0 || height == 0) {
        return readError("Invalid image size: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    }
    uint64_t pixels = 0;
    if (width > limits.maxDimension || height > limits.maxDimension || !checkedMul(width, height, pixels) ||
        pixels > limits.maxPixels) {
        return readError("Image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels exceeds the limit of " + std::to_string(limits.maxPixels) + " pixels");
    }
    return Status::ok();
}

Status checkMemory(uint64_t bytes, const Limits& limits) {
    if (bytes > limits.memoryBudget || bytes > std::numeric_limits<size_t>::max() / 2) {
        const std::string limit = std::to_string(limits.memoryBudget >> 20) + " MiB";
        if (bytes >= (uint64_t{1} << 60)) {
            return readError("Image too large: it needs more memory than the limit of " + limit);
        }
        return readError("Image too large: it needs " + std::to_string((bytes + (1u << 20) - 1) >> 20) +
                         " MiB of memory, more than the limit of " + limit);
    }
    return Status::ok();
}

Status checkImageBuffer(uint64_t width, uint64_t height, uint64_t bytesPerPixel, const Limits& limits, size_t& bytes) {
    uint64_t total = 0;
    if (!checkedMul3(width, height, bytesPerPixel, total)) {
        return checkMemory(std::numeric_limits<uint64_t>::max(), limits);
    }
    Status status = checkMemory(total, limits);
    if (status.isOk()) {
        bytes = static_cast<size_t>(total);
    }
    return status;
}

Status readError(std::string text) {
    if (text.size() > kMaxMessage) {
        text.resize(kMaxMessage);
    }
    return Status::readError(std::move(text));
}

Status corrupt(const char* format, const std::string& detail) {
    return readError(std::string("Corrupt ") + format + " file: " + detail);
}

uint8_t indexBitsFor(size_t entries) {
    if (entries <= 2) {
        return 1;
    }
    if (entries <= 4) {
        return 2;
    }
    return entries <= 16 ? 4 : 8;
}

}  // namespace tessaplex::read
