#!/usr/bin/env bash
# The library's PNG and JPEG writers against libpng's and libjpeg's own ways (see
# bench/encoders.cpp): converts the prepared PNG inputs (bench/prepare.sh) with each
# variant, best of three runs per file, and prints wall time, CPU time, output size
# and peak memory per set. Not part of the tests.
# Usage: bench/encoders.sh [set...]   (default: kodak large mosaic)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
export BENCH_WORK=${BENCH_WORK:-/tmp/vornask-bench}
build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tessaplex_core
[ -d "$BENCH_WORK/mosaic/png" ] || "$here/prepare.sh"
bin="$BENCH_WORK/bin"
mkdir -p "$bin"
# shellcheck disable=SC2046
c++ -O2 -std=c++20 -I"$repo" "$here/encoders.cpp" "$build/engine/libtessaplex_core.a" -o "$bin/encoders" \
  $(pkg-config --libs libpng libjpeg libdeflate zlib) -lgif -lpthread
/usr/bin/python3 - "$bin/encoders" "${@:-kodak large mosaic}" <<'PY'
import glob, os, subprocess, sys, time
tool, sets = sys.argv[1], " ".join(sys.argv[2:]).split()
work = os.environ["BENCH_WORK"]
out = os.path.join(work, "encoders-out")
os.makedirs(out, exist_ok=True)
print("| set | variant | ms/file | CPU ms/file | output bytes | peak MiB |")
print("|---|---|---:|---:|---:|---:|")
for name in sets:
    files = sorted(glob.glob(os.path.join(work, name, "png", "*.png")))
    for variant in ("png", "libpng", "jpg", "libjpeg-optimize", "libjpeg-standard"):
        wall = cpu = size = peak = 0
        for f in files:
            target = os.path.join(out, "out." + ("png" if "png" in variant else "jpg"))
            best = None
            for _ in range(3):
                start = time.monotonic()
                p = subprocess.Popen([tool, variant, f, target])
                _, status, usage = os.wait4(p.pid, 0)
                seconds = time.monotonic() - start
                if status != 0:
                    sys.exit(f"{variant} failed on {f}")
                run = (seconds, usage.ru_utime + usage.ru_stime)
                best = run if best is None or run < best else best
                peak = max(peak, usage.ru_maxrss)
            wall += best[0]
            cpu += best[1]
            size += os.path.getsize(target)
        n = len(files)
        print(f"| {name} | {variant} | {1000 * wall / n:.1f} | {1000 * cpu / n:.1f} | {size:,} | {peak / 1024:.1f} |")
PY
