#!/usr/bin/env bash
# Window benchmark: the whole window's batch (the real main window, offscreen) against
# the conversion library alone on one core and on every core, for 96 PNG photos to JPG,
# 96 JPG photos to PNG and 4000 (and 40,000) tiny BMP images to PNG. Not part of the tests.
# Usage: bench/window.sh [--readme] [--sets png96,jpg96,tiny4000,tiny40000]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
# A memory file system where there is one: on a disk the cost of creating a small file
# varies tenfold with what was deleted there before, and would decide the small-file rows.
if [ -d /dev/shm ]; then default_work=/dev/shm/vornask-window-bench; else default_work=/tmp/vornask-window-bench; fi
export BENCH_WORK=${BENCH_WORK:-$default_work}
corpus=${VORNASK_CORPUS:-$repo/../shared/corpus}

build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tessaplex vornask-bench-window
mkdir -p "$BENCH_WORK/bin"
cc -O2 -std=c11 -I"$repo" -DTOOL_TESSAPLEX "$here/harness.c" -o "$BENCH_WORK/bin/harness-tessaplex" \
  -L"$build/bin" -ltessaplex -Wl,-rpath,"$build/bin"

# The photo sets: the 24 Kodak photos four times over, each copy under a name of its own.
for kind in png jpg; do
  set_dir="$BENCH_WORK/${kind}96"
  mkdir -p "$set_dir"
  for copy in a b c d; do
    for photo in "$corpus"/photos/kodak/$kind/*.$kind; do
      target="$set_dir/$(basename "$photo" .$kind)$copy.$kind"
      [ -e "$target" ] || cp "$photo" "$target"
    done
  done
done
/usr/bin/python3 "$here/make-tiny.py" "$BENCH_WORK/tiny4000" 4000
/usr/bin/python3 "$here/make-tiny.py" "$BENCH_WORK/tiny40000" 40000

readme=()
args=()
for a in "$@"; do
  if [ "$a" = "--readme" ]; then readme=(--readme "$repo/README.md"); else args+=("$a"); fi
done
/usr/bin/python3 "$here/window.py" --bin "$build/bin" --harness "$BENCH_WORK/bin/harness-tessaplex" \
  --work "$BENCH_WORK" "${readme[@]}" "${args[@]}"
