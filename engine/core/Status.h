#pragma once
// How every step of a conversion reports its outcome: fine, or a failure of reading
// the input or of writing the output, with the message the caller sees.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaplex {

// The values are the C function's error kinds.
enum class ErrorKind : int32_t { None = 0, Read = 1, Write = -1 };

struct Status {
    ErrorKind kind = ErrorKind::None;
    std::string message;

    static Status ok() { return {}; }
    static Status readError(std::string text) { return {ErrorKind::Read, std::move(text)}; }
    static Status writeError(std::string text) { return {ErrorKind::Write, std::move(text)}; }
    bool isOk() const { return kind == ErrorKind::None; }
};

// "Corrupt <format> file: <detail>", a read error.
inline Status corrupt(const char* format, const std::string& detail) {
    return Status::readError(std::string("Corrupt ") + format + " file: " + detail);
}

// Longest message the library hands back; longer ones are cut at the C function.
inline constexpr size_t kMaxMessage = 255;

// Messages the program acts on; they must be spelt exactly so.
inline constexpr const char* kNoError = "No Error";
inline constexpr const char* kUnsupportedOption = "Unsupported file format option";
inline constexpr const char* kInvalidBitsPerPixel = "Invalid bits per pixel for this file format";
inline constexpr const char* kInputNotSupported = "Input file format not supported";
inline constexpr const char* kOutputNotSupported = "Output file format not supported";
inline constexpr const char* kNotRegularFile = "The input is not a regular file";

}  // namespace tessaplex
