#!/usr/bin/env bash
# Builds and tests Vornask the ways packagers build it: every build type with the Makefile
# and Ninja generators and with GCC and Clang, each in a folder of its own under
# build-matrix/ (or $VORNASK_MATRIX_DIR), with warnings as errors in our own code.
#
# Usage: scripts/build-matrix.sh [--types "Release Debug"] [--generators "Ninja"] [--compilers "clang"]
#        (each list defaults to all: Release Debug RelWithDebInfo MinSizeRel; Ninja Makefiles; gcc clang)
# Installs the missing Debian packages first; prints one line per configuration and a summary,
# and exits non-zero when any configuration fails to configure, build or pass its tests.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

types="Release Debug RelWithDebInfo MinSizeRel"
generators="Ninja Makefiles"
compilers="gcc clang"
while [ $# -gt 0 ]; do
  case "$1" in
    --types) types=$2; shift 2 ;;
    --generators) generators=$2; shift 2 ;;
    --compilers) compilers=$2; shift 2 ;;
    *) echo "usage: $0 [--types LIST] [--generators LIST] [--compilers LIST]" >&2; exit 2 ;;
  esac
done

"$here/scripts/setup.sh" --packages-only
root=${VORNASK_MATRIX_DIR:-$here/build-matrix}
mkdir -p "$root"
jobs=$(nproc)
failed=()
for compiler in $compilers; do
  case "$compiler" in
    gcc) cc=gcc; cxx=g++ ;;
    clang) cc=clang; cxx=clang++ ;;
    *) echo "unknown compiler $compiler (gcc or clang)" >&2; exit 2 ;;
  esac
  for generator in $generators; do
    case "$generator" in
      Ninja) gen=Ninja ;;
      Makefiles) gen="Unix Makefiles" ;;
      *) echo "unknown generator $generator (Ninja or Makefiles)" >&2; exit 2 ;;
    esac
    for type in $types; do
      name=$compiler-$generator-$type
      dir=$root/$name
      log=$root/$name.log
      start=$SECONDS
      step=configure
      # A folder configured by another generator cannot be reused.
      if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=$gen" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
      fi
      {
        CC=$cc CXX=$cxx cmake -S . -B "$dir" -G "$gen" -DCMAKE_BUILD_TYPE="$type" -DVORNASK_WERROR=ON &&
          step=build && cmake --build "$dir" --parallel "$jobs" &&
          step=test && (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$jobs") &&
          step=ok
      } >"$log" 2>&1 || true
      if [ "$step" = ok ]; then
        printf '%-36s ok      %4ds\n' "$name" $((SECONDS - start))
      else
        printf '%-36s FAILED  %4ds  (%s; see %s)\n' "$name" $((SECONDS - start)) "$step" "$log"
        tail -n 40 "$log" | sed 's/^/    /'
        failed+=("$name")
      fi
    done
  done
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
echo "every configuration configured, built and passed its tests"
