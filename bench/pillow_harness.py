"""In-process benchmark harness for Pillow, same protocol as harness.c:
pillow_harness.py OUTDIR EXT QUALITY FILE... prints "file<TAB>ms<TAB>bytes" per
file and "peak_kb<TAB>N"; the first file is converted once untimed to warm up."""
import os
import sys
import time

from PIL import Image

Image.MAX_IMAGE_PIXELS = None


def peak_kb():
    # The process's own peak (getrusage would carry the parent's over the exec).
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return -1


def convert(src, dst, ext, quality):
    with Image.open(src) as image:
        if ext == "jpg":
            if image.mode not in ("RGB", "L"):
                image = image.convert("RGB")
            image.save(dst, quality=quality)
        else:
            image.save(dst)


def main():
    outdir, ext, quality, files = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
    warm = os.path.join(outdir, "warmup." + ext)
    convert(files[0], warm, ext, quality)
    os.remove(warm)
    for src in files:
        stem = os.path.splitext(os.path.basename(src))[0]
        dst = os.path.join(outdir, stem + "." + ext)
        t0 = time.perf_counter()
        convert(src, dst, ext, quality)
        t1 = time.perf_counter()
        print("%s\t%.3f\t%d" % (src, (t1 - t0) * 1000, os.path.getsize(dst)))
    print("peak_kb\t%d" % peak_kb())


if __name__ == "__main__":
    main()
