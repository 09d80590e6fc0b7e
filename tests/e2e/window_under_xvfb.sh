#!/usr/bin/env bash
# Usage: window_under_xvfb.sh <vornask executable> <screenshot.png> [launcher]
# Runs inside its own virtual X server (xvfb-run), so it needs no screen. A launcher
# (such as scripts/windows/wine-run.sh) starts the program through it instead of directly.
set -euo pipefail
exe=$1
shot=$2
launcher=${3:-}
mkdir -p "$(dirname "$shot")"
fail() { echo "$*" >&2; exit 1; }

if [ -z "${VORNASK_IN_XVFB:-}" ]; then
  export VORNASK_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

unset QT_QPA_PLATFORM
if [ -n "$launcher" ]; then
  "$launcher" "$exe" &
else
  export QT_QPA_PLATFORM=xcb
  "$exe" &
fi
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

caption="Vornask 1.07"
info=""
for _ in $(seq 1 300); do
  kill -0 $pid 2>/dev/null || fail "the program ended before its window appeared"
  id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\"" | awk '{print $1}' | head -n 1 || true)
  if [ -n "$id" ]; then
    info=$(xwininfo -id "$id")
    if grep -q "Map State: IsViewable" <<<"$info"; then
      break
    fi
  fi
  sleep 0.2
done
[ -n "$info" ] || fail "no window captioned \"$caption\" appeared"
width=$(awk '/Width:/ {print $2}' <<<"$info")
height=$(awk '/Height:/ {print $2}' <<<"$info")
echo "window \"$caption\": ${width}x${height} pixels"
# 9465 x 4975 twips at 15 twips a pixel.
[ "$width" = 631 ] && [ "$height" = 332 ] || fail "client size ${width}x${height}, expected 631x332"
# The task bar shows the window's icon: xprop prints the size of its first picture.
icon=$(xprop -notype -len 8 -id "$id" _NET_WM_ICON)
grep -q "Icon ([0-9]* x [0-9]*)" <<<"$icon" || fail "the window has no icon: $(head -n 1 <<<"$icon")"
sleep 0.5
import -window "$id" "$shot"
test -s "$shot"
echo "screenshot: $shot"
