#!/usr/bin/env bash
# Builds the Windows version (scripts/build-windows.sh) and tests it under Wine in
# a virtual X server: every test program of the cross build (the conversion
# library's conformance and hostile-input tests included), the batch and
# single-file conversions of the main window again on real Windows windows,
# and the zip's own vornask.exe, unpacked on its own: its window "Vornask 1.07",
# client size and icon, with a screenshot in build-windows/screenshots/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=$here/build-windows

if [ -z "${VORNASK_IN_XVFB:-}" ]; then
  bash scripts/build-windows.sh
  export VORNASK_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

cache=${VORNASK_WINDOWS_CACHE:-$HOME/.cache/vornask-windows}
export WINEPREFIX=$cache/wine WINEDEBUG=-all
wine_run=$here/scripts/windows/wine-run.sh
# Prepares the Wine prefix once, then keeps one Wine server for the whole run.
"$wine_run" cmd /c exit 0
/usr/lib/wine/wineserver -p 2>/dev/null || true
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

status=0
# The library exports its one C function and nothing else.
exports=$(x86_64-w64-mingw32-objdump -p "$build/bin/tessaplex.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\t\[ *[0-9]*\] //p')
if [ "$exports" = "_convert_graphics_file_2" ]; then
  echo "tessaplex.dll exports _convert_graphics_file_2 only"
else
  echo "tessaplex.dll exports: $exports" >&2
  status=1
fi
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j "$(nproc)") || status=1
# The few tests that skip themselves under Wine, and why.
awk '/: Skipped$/ { getline why } /^\[  SKIPPED \] / && why { print "  skipped: " $4 " (" why ")"; why = "" }' \
  "$build/Testing/Temporary/LastTest.log"

# The conversions of the main window, shown for real by Qt's Windows platform plugin.
echo "Main window conversions on Windows windows:"
QT_QPA_PLATFORM=windows "$wine_run" "$build/bin/test_app.exe" --gtest_brief=1 \
  --gtest_filter='BatchWindowTest.*:SingleFileTest.*' || status=1

# The zip as a user gets it: unpacked on its own, no build folders on the search path.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
unzip -q "$build/vornask-1.07-windows-x64.zip" -d "$unpacked"
cat >"$unpacked/run.sh" <<RUN
#!/usr/bin/env bash
export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
exec /usr/lib/wine/wine64 "\$@"
RUN
chmod +x "$unpacked/run.sh"
echo "The zip's vornask.exe in a real window:"
VORNASK_LAUNCHER="$unpacked/run.sh" bash tests/e2e/window_under_xvfb.sh \
  "$unpacked/vornask-1.07-windows-x64/vornask.exe" "$build/screenshots/main-window.png" || status=1

[ $status = 0 ] && echo "Windows tests passed" || echo "Windows tests FAILED"
exit $status
