/* In-process benchmark harness: converts every input file given into the output
 * format with one library, timing each conversion, and reports the process's peak
 * memory. Built three times, once per library, so that each process carries only
 * the library it measures (TOOL_TESSAPLEX, TOOL_VIPS, TOOL_MAGICK).
 *
 * Usage: harness OUTDIR EXT QUALITY FILE...   (or @LIST: a file naming one input a line)
 * Prints one line per file, "file<TAB>milliseconds<TAB>output bytes", then
 * "peak_kb<TAB>N". The first file is converted once untimed to warm up. */
#define _GNU_SOURCE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#if defined(TOOL_TESSAPLEX)
#include "engine/tessaplex.h"
static int convert(const char* in, const char* out, int quality) {
    char message[256] = {0};
    int32_t kind = 0;
    _convert_graphics_file_2("", in, "", out, 0, quality, 0, 0, message, &kind);
    if (kind != 0) {
        fprintf(stderr, "%s: %s\n", in, message);
    }
    return kind == 0;
}
static void start(void) {}
#elif defined(TOOL_VIPS)
#include <vips/vips.h>
static int convert(const char* in, const char* out, int quality) {
    VipsImage* image = vips_image_new_from_file(in, "access", VIPS_ACCESS_SEQUENTIAL, NULL);
    if (!image) {
        fprintf(stderr, "%s: %s\n", in, vips_error_buffer());
        vips_error_clear();
        return 0;
    }
    const char* dot = strrchr(out, '.');
    int status = (dot && strcmp(dot, ".jpg") == 0) ? vips_image_write_to_file(image, out, "Q", quality, NULL)
                                                   : vips_image_write_to_file(image, out, NULL);
    if (status) {
        fprintf(stderr, "%s: %s\n", in, vips_error_buffer());
        vips_error_clear();
    }
    g_object_unref(image);
    return status == 0;
}
static void start(void) {
    if (VIPS_INIT("harness")) {
        vips_error_exit(NULL);
    }
    /* No operation cache: each file is converted from scratch, like the others do. */
    vips_cache_set_max(0);
}
#elif defined(TOOL_MAGICK)
#include <wand/MagickWand.h>
static int convert(const char* in, const char* out, int quality) {
    MagickWand* wand = NewMagickWand();
    int ok = MagickReadImage(wand, in) == MagickTrue;
    if (ok) {
        MagickSetImageCompressionQuality(wand, (size_t)quality);
        ok = MagickWriteImage(wand, out) == MagickTrue;
    }
    if (!ok) {
        ExceptionType type;
        char* text = MagickGetException(wand, &type);
        fprintf(stderr, "%s: %s\n", in, text);
        MagickRelinquishMemory(text);
    }
    DestroyMagickWand(wand);
    return ok;
}
static void start(void) { MagickWandGenesis(); }
#else
#error "define TOOL_TESSAPLEX, TOOL_VIPS or TOOL_MAGICK"
#endif

/* This process's own peak resident memory. Not getrusage: its maximum carries the
 * parent's size over an exec, which would count the Python driver. */
static long peak_kb(void) {
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (status && fgets(line, sizeof line, status)) {
        if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) {
            break;
        }
    }
    if (status) {
        fclose(status);
    }
    return kb;
}

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void output_path(char* buffer, size_t size, const char* outdir, const char* in, const char* ext) {
    const char* base = strrchr(in, '/');
    base = base ? base + 1 : in;
    const char* dot = strrchr(base, '.');
    int stem = dot ? (int)(dot - base) : (int)strlen(base);
    snprintf(buffer, size, "%s/%.*s.%s", outdir, stem, base, ext);
}

/* The inputs named one a line in LIST, as an argument vector after the first four. */
static char** read_list(const char* list, char** argv, int* argc) {
    FILE* f = fopen(list, "r");
    if (!f) {
        perror(list);
        exit(2);
    }
    size_t count = 4, room = 1024;
    char** args = malloc(room * sizeof *args);
    memcpy(args, argv, 4 * sizeof *args);
    char line[4096];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\n")] = '\0';
        if (count + 1 >= room) {
            room *= 2;
            args = realloc(args, room * sizeof *args);
        }
        args[count++] = strdup(line);
    }
    fclose(f);
    *argc = (int)count;
    return args;
}

int main(int argc, char** argv) {
    if (argc == 5 && argv[4][0] == '@') {
        argv = read_list(argv[4] + 1, argv, &argc);
    }
    if (argc < 5) {
        fprintf(stderr, "usage: %s OUTDIR EXT QUALITY FILE...\n", argv[0]);
        return 2;
    }
    const char* outdir = argv[1];
    const char* ext = argv[2];
    const int quality = atoi(argv[3]);
    char out[4096];
    start();
    snprintf(out, sizeof out, "%s/warmup.%s", outdir, ext);
    convert(argv[4], out, quality);
    remove(out);
    int failures = 0;
    for (int i = 4; i < argc; ++i) {
        output_path(out, sizeof out, outdir, argv[i], ext);
        const double t0 = now_ms();
        const int ok = convert(argv[i], out, quality);
        const double t1 = now_ms();
        struct stat st;
        const long long bytes = (ok && stat(out, &st) == 0) ? (long long)st.st_size : -1;
        printf("%s\t%.3f\t%lld\n", argv[i], t1 - t0, bytes);
        failures += !ok;
    }
    printf("peak_kb\t%ld\n", peak_kb());
    return failures ? 1 : 0;
}
