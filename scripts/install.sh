#!/usr/bin/env bash
# Sets up, builds and packages Vornask, then installs the Debian package system-wide
# (the program, its menu entry and icon). `apt-get remove vornask` removes it again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" build
(cd "$here/build" && cpack -G DEB)
deb=$(ls -t "$here"/build/vornask_*.deb | head -n 1)
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
# --reinstall: a rebuilt package of the same version replaces the installed one.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --reinstall "$deb"
echo "Installed $(basename "$deb"): start Vornask from the desktop menu (Graphics) or with the command vornask."
