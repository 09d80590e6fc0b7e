#pragma once
// Where a reader's bytes come from: the input file (opened read-only) or, for the
// fuzzer and tests, a block of memory.

#include "engine/core/Status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tessaplex::read {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `size` bytes; fewer only at the end of the data or on an I/O error.
    virtual size_t read(void* dst, size_t size) = 0;
    // Moves to `offset` from the start; false when that is past the end or seeking fails.
    virtual bool seek(uint64_t offset) = 0;
    virtual uint64_t tell() const = 0;
    // Length of the whole input in bytes.
    virtual uint64_t size() const = 0;
    // Non-empty after an I/O error (as opposed to the end of the data).
    virtual std::string ioError() const { return {}; }
    bool failed() const { return !ioError().empty(); }
    // The read error for an I/O error.
    Status readFailure() const { return Status::readError("Cannot read the input file (" + ioError() + ")"); }

    // Reads exactly `size` bytes; false when fewer are there.
    bool readExact(void* dst, size_t size) { return read(dst, size) == size; }
    uint64_t remaining() const { return size() - tell(); }
};

// Opens a regular file read-only into `source`; anything else is a read error.
Status openFileSource(const std::string& path, std::unique_ptr<ByteSource>& source);

// Reads from `size` bytes at `data`, which must outlive the source.
std::unique_ptr<ByteSource> memorySource(const uint8_t* data, size_t size);

}  // namespace tessaplex::read
