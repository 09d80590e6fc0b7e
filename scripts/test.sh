#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole program (warnings as errors in our own
# code), then the conversion library's tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the whole program once more built another way packagers
# build it (Clang, Release, Makefiles; scripts/build-matrix.sh builds every way).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh" build -DVORNASK_WERROR=ON
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)")

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNASK_ENGINE_ONLY=ON -DVORNASK_SANITIZE=ON -DVORNASK_WERROR=ON
cmake --build build-asan --parallel "$(nproc)"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure --timeout 900 -j "$(nproc)")

"$here/scripts/build-matrix.sh" --compilers clang --generators Makefiles --types Release
