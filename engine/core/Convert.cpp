// Placeholder until the conversion driver lands.
#include "engine/tessaplex.h"

#include <cstring>

extern "C" TESSAPLEX_API int32_t TESSAPLEX_CALL _convert_graphics_file_2(const char*, const char*, const char*,
                                                                         const char*, int32_t, int32_t, int32_t,
                                                                         int32_t, char* message, int32_t* error_kind) {
    const char* text = "Output file format not supported";
    std::strcpy(message, text);
    *error_kind = -1;
    return static_cast<int32_t>(std::strlen(text));
}
