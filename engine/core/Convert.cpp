// The library's one exported function: the only place that sees the C signature.
// Everything below it reports through Status; nothing may escape from here.
#include "engine/tessaplex.h"

#include "engine/core/Driver.h"

#include <cstring>
#include <new>

namespace {

using tessaplex::ErrorKind;

int32_t answer(const char* text, ErrorKind kind, char* message, int32_t* error_kind) {
    if (error_kind) {
        *error_kind = static_cast<int32_t>(kind);
    }
    if (!message) {
        return 0;
    }
    size_t length = std::strlen(text);
    if (length > tessaplex::kMaxMessage) {
        length = tessaplex::kMaxMessage;
    }
    std::memcpy(message, text, length);
    message[length] = '\0';
    return static_cast<int32_t>(length);
}

}  // namespace

extern "C" TESSAPLEX_API int32_t TESSAPLEX_CALL _convert_graphics_file_2(const char* /*reserved1*/,
                                                                         const char* input_path,
                                                                         const char* /*reserved3*/,
                                                                         const char* output_path,
                                                                         int32_t /*reserved5*/, int32_t quality,
                                                                         int32_t /*reserved7*/,
                                                                         int32_t /*reserved8*/, char* message,
                                                                         int32_t* error_kind) {
    try {
        if (!output_path || !*output_path) {
            return answer(tessaplex::kOutputNotSupported, ErrorKind::Write, message, error_kind);
        }
        if (!input_path || !*input_path) {
            return answer("Input file not found", ErrorKind::Read, message, error_kind);
        }
        tessaplex::ConvertOptions options;
        options.quality = quality;
        const tessaplex::Status status = tessaplex::convertFile(input_path, output_path, options);
        if (status.isOk()) {
            return answer(tessaplex::kNoError, ErrorKind::None, message, error_kind);
        }
        return answer(status.message.c_str(), status.kind, message, error_kind);
    } catch (const std::bad_alloc&) {
        return answer("Out of memory", ErrorKind::Write, message, error_kind);
    } catch (...) {
        return answer("Unexpected failure", ErrorKind::Write, message, error_kind);
    }
}
