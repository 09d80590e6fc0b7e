#pragma once
// The output of one conversion: bytes go to a new temporary file beside the target,
// which replaces the target only once it is complete. Until commit() succeeds the
// target is untouched, and a destroyed OutputFile leaves no file behind.

#include "engine/core/ImageIO.h"
#include "engine/os/File.h"

#include <memory>
#include <string>

namespace tessaplex {

class OutputFile final : public ByteSink {
public:
    OutputFile() = default;
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file in the folder of `targetPath` (a write error when it cannot).
    Status create(const std::string& targetPath);
    bool write(const void* data, size_t size) override;
    bool writeAt(uint64_t offset, const void* data, size_t size) override;
    std::string error() const override { return m_error; }
    // Writes what is buffered, closes the file and renames it over the target.
    Status commit();

private:
    bool flushBuffer();
    bool writeAll(const uint8_t* data, size_t size, uint64_t offset);
    void discard();

    os::File m_file;
    std::string m_tempPath;
    std::string m_targetPath;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_used = 0;
    // Where the next sequential write lands.
    uint64_t m_position = 0;
    std::string m_error;
};

}  // namespace tessaplex
