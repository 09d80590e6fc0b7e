#!/bin/sh
# Fuzzes the readers with libFuzzer under AddressSanitizer and UBSan.
#   tests/engine/fuzz/run.sh [seconds] [extra libFuzzer options...]
# Work files go to $FUZZ_WORK (default /tmp/vornask-fuzz): the growing corpus, which
# starts from cases/ and, when present, the public image corpus's small files, and any
# crash files (artifacts/). Copy a crash file worth keeping into cases/ once fixed.
set -eu
seconds=${1:-300}
[ $# -gt 0 ] && shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=${FUZZ_WORK:-/tmp/vornask-fuzz}
mkdir -p "$work/corpus" "$work/artifacts"

if [ ! -x "$work/fuzz_read" ] || [ -n "$(find "$root/engine" "$here/fuzz_read.cpp" -newer "$work/fuzz_read" -name '*.[ch]*' | head -n 1)" ]; then
    echo "building $work/fuzz_read"
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root" "$here/fuzz_read.cpp" "$root"/engine/read/*.cpp "$root"/engine/core/Limits.cpp \
        "$root"/engine/core/Support.cpp "$root"/engine/os/*.cpp \
        -lpng -ljpeg -lgif -lz -o "$work/fuzz_read"
fi

seeds="$here/cases"
corpus_dir=${VORNASK_CORPUS:-$root/../shared/corpus}/conformance
if [ -d "$corpus_dir" ]; then
    seeds="$seeds $corpus_dir"
fi
# shellcheck disable=SC2086
exec "$work/fuzz_read" "$work/corpus" $seeds -max_total_time="$seconds" -max_len=100000 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$@"
