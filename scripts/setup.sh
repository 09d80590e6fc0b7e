#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds into build/.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
#        scripts/setup.sh --packages-only   (installs the missing packages, builds nothing)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

missing=()
while read -r pkg; do
  case "$pkg" in ''|'#'*) continue ;; esac
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done < scripts/packages.txt
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" != --packages-only ] || exit 0

build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" --parallel "$(nproc)"
