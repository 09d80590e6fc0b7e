/* tessaplex: converts one image file (BMP, PNG, JPG or GIF) into BMP, PNG or JPG.
 *
 * The one entry point of the library. Arguments 1, 3, 5, 7 and 8 are reserved
 * (pass empty strings and 0). `input_path` and `output_path` are NUL-terminated
 * paths in the system's 8-bit encoding; the output format follows the output
 * path's extension (.bmp, .png, .jpg, .jpeg). `quality` is the JPEG quality,
 * clamped to 1..100. The message buffer receives at most 255 characters and a
 * NUL ("No Error" on success); the result is the number of characters written.
 * `*error_kind` becomes 0 on success, 1 when reading the input failed and -1
 * when writing the output failed. The input file is never changed, and a failed
 * conversion leaves no new file behind and an existing output file untouched.
 * The function keeps no state between calls and may run on several threads at
 * once. */
#ifndef TESSAPLEX_H
#define TESSAPLEX_H

#include <stdint.h>

#if defined(_WIN32)
#  define TESSAPLEX_CALL __stdcall
#  if defined(TESSAPLEX_BUILDING)
#    define TESSAPLEX_API __declspec(dllexport)
#  else
#    define TESSAPLEX_API __declspec(dllimport)
#  endif
#else
#  define TESSAPLEX_CALL
#  define TESSAPLEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

TESSAPLEX_API int32_t TESSAPLEX_CALL _convert_graphics_file_2(const char* reserved1, const char* input_path,
                                                              const char* reserved3, const char* output_path,
                                                              int32_t reserved5, int32_t quality,
                                                              int32_t reserved7, int32_t reserved8,
                                                              char* message, int32_t* error_kind);

typedef int32_t(TESSAPLEX_CALL* tessaplex_convert_fn)(const char*, const char*, const char*, const char*, int32_t,
                                                      int32_t, int32_t, int32_t, char*, int32_t*);

#ifdef __cplusplus
}
#endif

#endif /* TESSAPLEX_H */
