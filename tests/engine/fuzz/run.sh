#!/bin/sh
# Fuzzes one target with libFuzzer under AddressSanitizer and UBSan, on one core.
#   tests/engine/fuzz/run.sh [read|convert] [seconds] [extra libFuzzer options...]
# read: the readers alone; convert: the whole conversion into BMP, PNG and JPEG.
# Work files go to $FUZZ_WORK (default /tmp/vornask-fuzz): each target's growing corpus,
# which starts from cases/ and, when present, the public image corpus's small files,
# and any crash files (artifacts-<target>/). A crash file worth keeping goes into cases/
# once fixed, with its line in both manifests (the replay prints the lines it lacks).
set -eu
target=${1:-read}
seconds=${2:-300}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
case "$target" in
    read | convert) ;;
    *) echo "usage: $0 [read|convert] [seconds] [libFuzzer options...]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=${FUZZ_WORK:-/tmp/vornask-fuzz}
bin="$work/fuzz_$target"
mkdir -p "$work/corpus-$target" "$work/artifacts-$target"

if [ ! -x "$bin" ] || [ -n "$(find "$root/engine" "$here" -newer "$bin" -name '*.[ch]*' | head -n 1)" ]; then
    echo "building $bin"
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root" "$here/fuzz_$target.cpp" "$root"/engine/*/*.cpp \
        -lpng -ljpeg -lgif -lz -ldeflate -lpthread -o "$bin"
fi

seeds="$here/cases"
corpus_dir=${VORNASK_CORPUS:-$root/../shared/corpus}/conformance
if [ -d "$corpus_dir" ]; then
    seeds="$seeds $corpus_dir"
fi
# Converting is slower than reading: shorter inputs keep the fuzzer moving.
max_len=100000
[ "$target" = convert ] && max_len=30000
# shellcheck disable=SC2086
exec "$bin" "$work/corpus-$target" $seeds -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$work/artifacts-$target/" -print_final_stats=1 "$@"
