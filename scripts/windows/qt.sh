#!/usr/bin/env bash
# Builds Qt 6 (qtbase: Core, Gui, Widgets, Concurrent, Test and the Windows
# platform and style plugins) for 64-bit Windows from Debian's own source
# package, into <prefix>. Debian's host Qt of the same version supplies moc, rcc
# and uic. Usage: qt.sh <work-folder> <prefix> <toolchain-file>
set -euo pipefail
source "$(dirname "$0")/packages.sh"
work=$1 prefix=$2 toolchain=$3
jobs=${VORNASK_WINDOWS_JOBS:-2}

rm -rf "$work" && mkdir -p "$work" && cd "$work"
fetch_source qt6-base
dpkg-source -x qt6-base_*.dsc qtbase >/dev/null
version=$(dpkg-parsechangelog -l qtbase/debian/changelog -S Version)
echo "Qt source: Debian qt6-base $version"

# Everything Qt bundles comes from its own tree (zlib, pcre2, harfbuzz, freetype,
# libpng, libjpeg, double-conversion), so the DLLs need nothing beyond Windows.
# Debian's source drops wintab.h, hence no tablet events; the Windows platform
# plugin of 6.4 does not compile without OpenGL, so desktop OpenGL stays on.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
cmake -S qtbase -B build -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_fontconfig=OFF -DFEATURE_tabletevent=OFF \
  > configure.log
cmake --build build --parallel "$jobs"
cmake --install build >/dev/null
cp qtbase/LICENSES/LGPL-3.0-only.txt "$prefix/LGPL-3.0-only.txt" 2>/dev/null || cp qtbase/LICENSE.LGPL3 "$prefix/LGPL-3.0-only.txt"
cp qtbase/LICENSES/GPL-3.0-only.txt "$prefix/GPL-3.0-only.txt" 2>/dev/null || true
cp qtbase/debian/copyright "$prefix/qt6-base.copyright"
echo "qt6-base $version" > "$prefix/qt6-base.version"
cd / && rm -rf "$work"
