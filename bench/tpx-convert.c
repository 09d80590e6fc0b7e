/* Command-line driver of the conversion library's C function, for the benchmark's
 * one-process-per-file runs: tpx-convert INPUT OUTPUT [QUALITY]. */
#include "engine/tessaplex.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s INPUT OUTPUT [QUALITY]\n", argv[0]);
        return 2;
    }
    char message[256] = {0};
    int32_t kind = 0;
    _convert_graphics_file_2("", argv[1], "", argv[2], 0, argc > 3 ? atoi(argv[3]) : 75, 0, 0, message, &kind);
    if (kind != 0) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }
    return 0;
}
