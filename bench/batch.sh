#!/usr/bin/env bash
# Batch benchmark: vornask-convert on folders of photos against the peers' command-line
# tools on all cores (see batch.py). Installs the peers, builds vornask-convert, prepares
# the inputs in BENCH_WORK like run.sh. Not part of the tests.
# Usage: bench/batch.sh [--readme] [batch.py options, e.g. --runs 3 --cases kodak:4:png-jpg]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
export BENCH_WORK=${BENCH_WORK:-/tmp/vornask-bench}

. "$here/peers.sh"

build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vornask-convert
"$here/prepare.sh"

args=()
for a in "$@"; do
  if [ "$a" = "--readme" ]; then args+=(--readme "$repo/README.md"); else args+=("$a"); fi
done
/usr/bin/python3 "$here/batch.py" --program "$build/bin/vornask-convert" "${args[@]}"
