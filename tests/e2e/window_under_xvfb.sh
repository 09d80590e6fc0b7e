#!/usr/bin/env bash
# Usage: window_under_xvfb.sh <vornask executable> <screenshot.png> [<caption> <argument>...]
# Runs inside its own virtual X server (xvfb-run), so it needs no screen. With a caption and
# arguments, the program is started with those arguments (as a file manager's "Open with"
# does) and a second window of that caption must appear over the main window. A launcher in
# VORNASK_LAUNCHER (such as the Windows test run's Wine wrapper) starts the program through it.
set -euo pipefail
if [ -z "${VORNASK_IN_XVFB:-}" ]; then
  export VORNASK_IN_XVFB=1
  # Other programs on the machine start virtual X servers too, and two may take the same display
  # number at once: the search for a free one starts at a random number, and when the program
  # could not reach its display (status 75) the whole run is tried again.
  for attempt in 1 2 3; do
    status=0
    xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24" bash "$0" "$@" || status=$?
    [ "$status" = 75 ] || exit "$status"
    echo "attempt $attempt: the virtual X server could not be reached" >&2
  done
  exit 1
fi
exe=$1
shot=$2
expected=${3:-}
shift $(( $# < 3 ? $# : 3 ))
mkdir -p "$(dirname "$shot")"
fail() { echo "$*" >&2; exit 1; }

unset QT_QPA_PLATFORM
errors=$(mktemp)
if [ -n "${VORNASK_LAUNCHER:-}" ]; then
  "$VORNASK_LAUNCHER" "$exe" "$@" 2>"$errors" &
else
  export QT_QPA_PLATFORM=xcb
  "$exe" "$@" 2>"$errors" &
fi
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -f "$errors"' EXIT

# Waits for a mapped window captioned $1; prints its id and xwininfo.
wait_for_window() {
  local id info
  # A minute: Wine takes its time to start the first time.
  for _ in $(seq 1 300); do
    if ! kill -0 $pid 2>/dev/null; then
      cat "$errors" >&2
      ! grep -q "could not connect to display" "$errors" || exit 75
      fail "the program ended before its window \"$1\" appeared"
    fi
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}' | head -n 1 || true)
    if [ -n "$id" ]; then
      info=$(xwininfo -id "$id")
      if grep -q "Map State: IsViewable" <<<"$info"; then
        printf '%s\n%s\n' "$id" "$info"
        return
      fi
    fi
    sleep 0.2
  done
  fail "no window captioned \"$1\" appeared"
}

caption="Vornask 1.07"
found=$(wait_for_window "$caption")
id=$(head -n 1 <<<"$found")
info=$(tail -n +2 <<<"$found")
width=$(awk '/Width:/ {print $2}' <<<"$info")
height=$(awk '/Height:/ {print $2}' <<<"$info")
echo "window \"$caption\": ${width}x${height} pixels"
# 9465 x 4975 twips at 15 twips a pixel.
[ "$width" = 631 ] && [ "$height" = 332 ] || fail "client size ${width}x${height}, expected 631x332"
# The task bar shows the window's icon: xprop prints the size of its first picture.
icon=$(xprop -notype -len 8 -id "$id" _NET_WM_ICON)
grep -q "Icon ([0-9]* x [0-9]*)" <<<"$icon" || fail "the window has no icon: $(head -n 1 <<<"$icon")"
if [ -n "$expected" ]; then
  found=$(wait_for_window "$expected")
  echo "window \"$expected\" over the main window"
  id=root
fi
sleep 0.5
import -window "$id" "$shot"
test -s "$shot"
echo "screenshot: $shot"
