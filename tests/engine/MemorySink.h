#pragma once
// A file in memory for the writers, shared by the engine tests and the fuzz targets (which do without Qt): writes
// past `limit` bytes fail as a full disk does.
#include "engine/core/ImageIO.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class MemorySink final : public tessaplex::ByteSink {
public:
    explicit MemorySink(size_t limit = SIZE_MAX) : m_limit(limit) {}
    bool write(const void* data, size_t size) override { return writeAt(m_bytes.size(), data, size); }
    bool writeAt(uint64_t offset, const void* data, size_t size) override {
        if (offset + size > m_limit) {
            m_error = "Cannot write output file: No space left on device";
            return false;
        }
        m_bytes.resize(std::max<size_t>(m_bytes.size(), offset + size));
        std::memcpy(m_bytes.data() + offset, data, size);
        return true;
    }
    std::string error() const override { return m_error; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_limit;
    std::string m_error;
};
