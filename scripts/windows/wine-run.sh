#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: the cross-built Qt and the
# MinGW run time on its search path, in the project's own Wine prefix (kept in
# the Windows cache, never ~/.wine). CMake uses it as the emulator of the cross
# build, so ctest runs the test programs through it.
# Usage: wine-run.sh program.exe [arguments...]
set -euo pipefail
cache=${VORNASK_WINDOWS_CACHE:-$HOME/.cache/vornask-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts: the programs need neither. No debugger either: a program
# that crashes ends at once with its failure, where Wine's debugger could hang the test run.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
winpthread=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-file-name=libwinpthread-1.dll)")
export WINEPATH="Z:$cache/qt/bin;Z:$mingw_runtime;Z:$winpthread"
export QT_PLUGIN_PATH="Z:$cache/qt/plugins"
# A new prefix gets the fonts a Windows machine has: Wine's own MS Sans Serif and
# Tahoma, and Liberation Mono standing in for Courier New (the same widths).
if [ ! -f "$WINEPREFIX/.vornask-prefix-1" ]; then
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f \
    >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.vornask-prefix-1"
fi
exec /usr/lib/wine/wine64 "$@"
