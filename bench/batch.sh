#!/usr/bin/env bash
# Batch benchmark: vornask-convert on folders of photos against the peers' command-line
# tools on all cores (see batch.py). Installs the peers, builds vornask-convert, prepares
# the inputs in BENCH_WORK like run.sh. Not part of the tests.
# Usage: bench/batch.sh [--readme] [batch.py options, e.g. --runs 3 --cases kodak:4:png-jpg]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
export BENCH_WORK=${BENCH_WORK:-/tmp/vornask-bench}

peers=(libvips-tools imagemagick graphicsmagick python3-pil)
missing=()
for pkg in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$repo/build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vornask-convert
"$here/prepare.sh"

args=()
for a in "$@"; do
  if [ "$a" = "--readme" ]; then args+=(--readme "$repo/README.md"); else args+=("$a"); fi
done
/usr/bin/python3 "$here/batch.py" --program "$build/bin/vornask-convert" "${args[@]}"
