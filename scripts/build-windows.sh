#!/usr/bin/env bash
# Cross-builds Vornask for 64-bit Windows and packs build-windows/vornask-1.07-windows-x64.zip.
#
# Installs what is missing (MinGW-w64, Wine, Debian's source packages), builds
# the codecs and Qt for Windows once into a cache outside the repository
# (VORNASK_WINDOWS_CACHE, by default ~/.cache/vornask-windows; rebuilt only when
# missing or when its recipe changes), then builds tessaplex.dll, vornask.exe
# and the test programs into build-windows/ and packs the zip.
# The first run takes about 20 minutes on two cores (Qt); later runs a few.
#
# Usage: scripts/build-windows.sh [--deps-only]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
source scripts/windows/packages.sh

cache=${VORNASK_WINDOWS_CACHE:-$HOME/.cache/vornask-windows}
build=$here/build-windows
toolchain=$here/cmake/mingw-w64-x86_64.cmake
# The codecs and Qt each have a folder of their own in the cache.
export VORNASK_WINDOWS_PREFIX="$cache/codecs;$cache/qt"

# Runs recipe scripts/windows/<name>.sh into the cache unless the cache holds a
# result of the same recipe (the recipe and the toolchain file, hashed).
cached_build() {
  local name=$1 recipe=$here/scripts/windows/$1.sh
  local stamp=$cache/$name.recipe hash
  hash=$(cat "$recipe" "$toolchain" | sha256sum | cut -d' ' -f1)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$hash" ]; then
    return 0
  fi
  echo "Building $name for Windows into $cache (log: $cache/$name.log)"
  rm -rf "$stamp" "${cache:?}/$name"
  mkdir -p "$cache"
  if ! bash "$recipe" "$cache/work-$name" "$cache/$name" "$toolchain" >"$cache/$name.log" 2>&1; then
    tail -n 40 "$cache/$name.log" >&2
    echo "Building $name for Windows failed; the whole log is $cache/$name.log" >&2
    exit 1
  fi
  echo "$hash" >"$stamp"
}

mkdir -p "$cache"
exec 9>"$cache/.lock"
# One build at a time: a second run waits here.
flock 9
install_windows_packages
cached_build codecs
cached_build qt
[ "${1:-}" = "--deps-only" ] && exit 0

# The program, the library and the test programs.
export PKG_CONFIG_LIBDIR=$cache/codecs/lib/pkgconfig
unset PKG_CONFIG_PATH
cmake -S . -B "$build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVORNASK_WINDOWS_PREFIX="$VORNASK_WINDOWS_PREFIX" \
  -DCMAKE_PREFIX_PATH="$VORNASK_WINDOWS_PREFIX" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/windows/wine-run.sh" >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# The zip: what vornask.exe needs to run on Windows and nothing else, found by
# following the DLL imports of the program, the library and the two plugins.
name=vornask-1.07-windows-x64
stage=$build/zip/$name
rm -rf "$build/zip" "$build/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/licenses"
objdump=x86_64-w64-mingw32-objdump
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
winpthread=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-file-name=libwinpthread-1.dll)")
dll_folders=("$cache/qt/bin" "$mingw_runtime" "$winpthread")

add_with_imports() {
  local file=$1 dest=$2 dll folder
  [ -f "$dest/$(basename "$file")" ] && return 0
  cp "$file" "$dest/"
  x86_64-w64-mingw32-strip --strip-unneeded "$dest/$(basename "$file")"
  for dll in $($objdump -p "$file" | sed -n 's/^\tDLL Name: //p'); do
    for folder in "${dll_folders[@]}"; do
      # Anything not found here is part of Windows itself.
      if [ -f "$folder/$dll" ]; then
        add_with_imports "$folder/$dll" "$stage"
        break
      fi
    done
  done
}
add_with_imports "$build/bin/vornask.exe" "$stage"
add_with_imports "$build/bin/tessaplex.dll" "$stage"
add_with_imports "$cache/qt/plugins/platforms/qwindows.dll" "$stage/platforms"
add_with_imports "$cache/qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles"

# Licences, with Windows line ends so that Notepad shows them as written.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf LICENSE "$stage/LICENSE.txt"
crlf "$cache/qt/LGPL-3.0-only.txt" "$stage/licenses/Qt-LGPL-3.0.txt"
crlf "$cache/qt/GPL-3.0-only.txt" "$stage/licenses/Qt-GPL-3.0.txt"
crlf "$cache/qt/qt6-base.copyright" "$stage/licenses/Qt-copyright.txt"
qt_version=$(cut -d' ' -f2 "$cache/qt/qt6-base.version")
cat >"$stage/licenses/Qt-source.txt.tmp" <<TEXT
The Qt libraries in this folder (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the
plugins in platforms\\ and styles\\) are Qt $qt_version, used under the GNU Lesser
General Public License version 3 (Qt-LGPL-3.0.txt, which builds on the GNU General
Public License version 3 in Qt-GPL-3.0.txt). Qt-copyright.txt lists the authors and
the licences of the parts Qt bundles (zlib, libpng, libjpeg, FreeType, HarfBuzz,
PCRE2, double-conversion and others).

They were built without changes from Debian's source package qt6-base, version
$qt_version, with the MinGW-w64 cross compiler. Its source is available from
Debian: "apt-get source qt6-base=$qt_version" on Debian 12, or
https://snapshot.debian.org/package/qt6-base/$qt_version/
The upstream source is at https://download.qt.io/archive/qt/6.4/
The build recipe is scripts/windows/qt.sh in Vornask's source.

You may replace these DLLs with other builds of Qt 6.4 that are binary compatible.
TEXT
crlf "$stage/licenses/Qt-source.txt.tmp" "$stage/licenses/Qt-source.txt"
rm "$stage/licenses/Qt-source.txt.tmp"
for codec in zlib libpng libjpeg-turbo giflib libdeflate; do
  crlf "$cache/codecs/licenses/$codec.txt" "$stage/licenses/$codec.txt"
done
{
  echo "libstdc++-6.dll and libgcc_s_seh-1.dll: the GCC run-time libraries, GPL-3 with the"
  echo "GCC Runtime Library Exception. libwinpthread-1.dll: MinGW-w64's winpthreads."
  echo "The copyright notes of Debian's MinGW-w64 packages follow."
  echo
  cat /usr/share/doc/gcc-mingw-w64-base/copyright
  echo
  cat /usr/share/doc/mingw-w64-common/copyright
} >"$stage/licenses/mingw-w64-runtime.txt.tmp"
crlf "$stage/licenses/mingw-w64-runtime.txt.tmp" "$stage/licenses/mingw-w64-runtime.txt"
rm "$stage/licenses/mingw-w64-runtime.txt.tmp"

(cd "$build/zip" && zip -q -r -X "$build/$name.zip" "$name")
echo "Windows build: $build/$name.zip ($(du -h "$build/$name.zip" | cut -f1))"
