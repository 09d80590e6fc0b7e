#!/usr/bin/env bash
# Hostile inputs against the time bound: builds libtessaplex and tpx-convert, makes
# the hostile files (bench/hostile.py) in BENCH_WORK/hostile and converts each into
# BMP, PNG and JPG, failing when an answer takes a second or more. Not part of the
# tests: the machine's load decides the times.
# Usage: bench/hostile.sh [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
work=${BENCH_WORK:-/tmp/vornask-bench}/hostile
build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tessaplex
mkdir -p "$work"
cc -O2 -std=c11 -I"$repo" "$here/tpx-convert.c" -o "$work/tpx-convert" -L"$build/bin" -ltessaplex \
  -Wl,-rpath,"$build/bin"
/usr/bin/python3 "$here/hostile.py" make "$work/files"
/usr/bin/python3 "$here/hostile.py" time "$work/files" "$work/tpx-convert" "${1:-1}"
