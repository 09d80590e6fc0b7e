#!/usr/bin/env bash
# Installs what the Windows cross build and its tests need: the MinGW-w64
# cross compilers, Wine, and a deb-src line for the Debian archive the machine
# already uses, so that `apt-get source` fetches Debian's own sources of Qt and
# the codecs. Sourced by build-windows.sh and test-windows.sh.

windows_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                  mingw-w64-x86-64-dev wine64 wine fonts-wine xvfb xauth x11-utils xdotool imagemagick zip unzip
                  dpkg-dev cmake ninja-build pkg-config nasm perl python3 qt6-base-dev qt6-base-dev-tools
                  googletest librsvg2-bin icoutils)

apt_get() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# Adds deb-src entries that mirror the machine's own deb entries (same archive,
# same suites), unless apt already has some.
ensure_deb_src() {
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 1
  fi
  local sudo="" target=/etc/apt/sources.list.d/vornask-deb-src.sources
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$target" >/dev/null
  else
    grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null | sed -E 's/^deb /deb-src /' \
      | $sudo tee /etc/apt/sources.list.d/vornask-deb-src.list >/dev/null
  fi
  echo "Added deb-src entries for Debian's sources"
  return 0
}

install_windows_packages() {
  local missing=() pkg updated=0
  for pkg in "${windows_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  if ensure_deb_src; then
    apt_get update -qq
    updated=1
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    [ $updated = 1 ] || apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Downloads Debian's source package $1 into the current folder: the newest
# version apt knows that the archive still serves (a mirror may lag behind the
# security index).
fetch_source() {
  local version
  for version in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -Vru); do
    apt-get source --download-only "$1=$version" >/dev/null 2>&1 && return 0
    rm -f "$1"_*
  done
  echo "No source of $1 could be fetched" >&2
  return 1
}
