#!/usr/bin/env bash
# Builds the codecs the conversion library uses (zlib, libdeflate, libpng,
# libjpeg-turbo, giflib) as static libraries for 64-bit Windows from Debian's
# own source packages, into <prefix>, with their licence texts in
# <prefix>/licenses. Usage: codecs.sh <work-folder> <prefix> <toolchain-file>
set -euo pipefail
source "$(dirname "$0")/packages.sh"
work=$1 prefix=$2 toolchain=$3
jobs=${VORNASK_WINDOWS_JOBS:-2}
host=x86_64-w64-mingw32
cc=$host-gcc-posix
ar=$host-gcc-ar-posix
cflags="-O2 -DNDEBUG"

rm -rf "$work" && mkdir -p "$work" "$prefix/include" "$prefix/lib/pkgconfig" "$prefix/licenses" && cd "$work"

# Fetches and unpacks Debian's source package $1 into folder $1; prints its version.
unpack() {
  fetch_source "$1"
  dpkg-source -x "$1"_*.dsc "$1" >/dev/null 2>&1
  local version
  version=$(dpkg-parsechangelog -l "$1/debian/changelog" -S Version)
  echo "$1 $version" >>"$prefix/versions.txt"
  echo "$1 $version"
}

# Compiles the C files given into the static library $1.
static_lib() {
  local lib=$1 objects=() src
  shift
  for src in "$@"; do
    $cc $cflags -c "$src" -o "${src%.c}.o"
    objects+=("${src%.c}.o")
  done
  $ar rcs "$prefix/lib/$lib" "${objects[@]}"
}

cmake_build() {
  local src=$1
  shift
  cmake -S "$src" -B "$src/build-windows" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_ROOT_PATH="/usr/$host;$prefix" "$@" >/dev/null
  cmake --build "$src/build-windows" --parallel "$jobs" >/dev/null
  cmake --install "$src/build-windows" >/dev/null
}

unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

unpack zlib
(cd zlib && static_lib libz.a adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c \
   infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c)
cp zlib/zlib.h zlib/zconf.h "$prefix/include/"
sed -n '/^Copyright notice/,$p' zlib/README >"$prefix/licenses/zlib.txt"

unpack libdeflate
(cd libdeflate && cflags="$cflags -I." && static_lib libdeflate.a lib/*.c lib/x86/*.c)
cp libdeflate/libdeflate.h "$prefix/include/"
cp libdeflate/COPYING "$prefix/licenses/libdeflate.txt"
cat >"$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: $(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[^"]*"\(.*\)"/\1/p' libdeflate/libdeflate.h)
Cflags: -I\${prefix}/include
Libs: -L\${prefix}/lib -ldeflate
PC

unpack giflib
(cd giflib && static_lib libgif.a dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c \
   openbsd-reallocarray.c quantize.c)
cp giflib/gif_lib.h "$prefix/include/"
cp giflib/COPYING "$prefix/licenses/giflib.txt"

unpack libpng1.6
cmake_build libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
cp libpng1.6/LICENSE "$prefix/licenses/libpng.txt"

unpack libjpeg-turbo
cmake_build libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON \
  -DCMAKE_ASM_NASM_COMPILER=nasm
{ cat libjpeg-turbo/LICENSE.md; echo; echo "README.ijg:"; cat libjpeg-turbo/README.ijg; } \
  >"$prefix/licenses/libjpeg-turbo.txt"

cd / && rm -rf "$work"
