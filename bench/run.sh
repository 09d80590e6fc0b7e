#!/usr/bin/env bash
# Benchmark: installs the peers (libvips, ImageMagick, Pillow, GraphicsMagick) from
# Debian, builds libtessaplex and the harnesses, prepares the inputs in BENCH_WORK
# and runs every conversion pair. Not part of the tests.
# Usage: bench/run.sh [--readme] [run.py options, e.g. --sets kodak --pairs jpg-png]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
export BENCH_WORK=${BENCH_WORK:-/tmp/vornask-bench}

. "$here/peers.sh"

build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tessaplex
lib="$build/bin"
bin="$BENCH_WORK/bin"
mkdir -p "$bin"
cflags=(-O2 -std=c11 -I"$repo")
cc "${cflags[@]}" -DTOOL_TESSAPLEX "$here/harness.c" -o "$bin/harness-tessaplex" -L"$lib" -ltessaplex -Wl,-rpath,"$lib"
cc "${cflags[@]}" "$here/tpx-convert.c" -o "$bin/tpx-convert" -L"$lib" -ltessaplex -Wl,-rpath,"$lib"
# shellcheck disable=SC2046
cc "${cflags[@]}" -DTOOL_VIPS "$here/harness.c" -o "$bin/harness-vips" $(pkg-config --cflags --libs vips)
# shellcheck disable=SC2046
cc "${cflags[@]}" -DTOOL_MAGICK "$here/harness.c" -o "$bin/harness-magick" $(pkg-config --cflags --libs MagickWand)

"$here/prepare.sh"

readme=()
args=()
for a in "$@"; do
  if [ "$a" = "--readme" ]; then readme=(--readme "$repo/README.md"); else args+=("$a"); fi
done
/usr/bin/python3 "$here/run.py" --bin "$bin" "${readme[@]}" "${args[@]}"
