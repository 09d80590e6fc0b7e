#!/usr/bin/env bash
# Usage: convert_test.sh <vornask-convert> <case>
# Drives the command-line converter as a script would, over images this script makes.
set -uo pipefail
prog=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# make_bmp FILE WIDTH HEIGHT: a 24-bit BMP of random pixels; WIDTH a multiple of 4, so rows need no padding.
make_bmp() {
  local size=$(($2 * $3 * 3))
  { printf "BM$(le32 $((54 + size)))$(le32 0)$(le32 54)$(le32 40)$(le32 "$2")$(le32 "$3")\\x01\\x00\\x18\\x00"
    printf "$(le32 0)$(le32 $size)$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)"
    head -c "$size" /dev/urandom; } >"$1"
}
# run ARGS...: runs the program; its status, standard output and error land in $status, out and err.
run() { "$prog" "$@" >out 2>err; status=$?; }
expect_status() { [ "$status" = "$1" ] || { cat err >&2; fail "exit status $status, expected $1 ($2)"; }; }
expect_lines() { diff <(printf '%s\n' "${@:2}") "$1" >&2 || fail "$1 differs from the lines above"; }
is_png() { [ "$(head -c 4 "$1" | tail -c 3)" = PNG ] || fail "$1 is not a PNG"; }

case $2 in
naming)  # names beside the input, into -o and -O; lines in input order although the first input finishes last
  mkdir -p "in dir" results
  make_bmp "in dir/Big Ünï.BMP" 1600 1600
  make_bmp "in dir/b.x.bmp" 8 4
  make_bmp c 8 4
  run -t png -j 3 "in dir/Big Ünï.BMP" "in dir/b.x.bmp" c
  expect_status 0 "three conversions"
  expect_lines out "in dir/Big Ünï.BMP -> in dir/big ünï.png" "in dir/b.x.bmp -> in dir/b.x.png" "c -> c.png"
  expect_lines err "3 converted, 0 failed"
  for f in "in dir/big ünï.png" "in dir/b.x.png" c.png; do is_png "$f"; done
  run -t jpg -q 95 -o results/ "in dir/b.x.bmp" c
  expect_status 0 "-o"
  expect_lines out "in dir/b.x.bmp -> results/b.x.jpg" "c -> results/c.jpg"
  run -t jpeg -O "results/Named.JPEG" c
  expect_status 0 "-O"
  expect_lines out "c -> results/Named.JPEG"
  [ "$(ls results | tr '\n' ' ')" = "Named.JPEG b.x.jpg c.jpg " ] || fail "results holds $(ls results)"
  ;;
existing)  # an existing result is kept unless --overwrite; the input itself and a result twice never
  make_bmp a.bmp 8 4
  cp a.bmp A.BMP
  echo old >a.png
  run -t png a.bmp
  expect_status 1 "existing result"
  expect_lines err "a.bmp: not converted: a.png exists (--overwrite replaces it)" "0 converted, 1 failed"
  [ "$(cat a.png)" = old ] || fail "a.png was replaced without --overwrite"
  run -t png --skip-existing a.bmp
  expect_status 0 "--skip-existing"
  expect_lines out "a.bmp: skipped: a.png exists"
  run -t png --overwrite a.bmp
  expect_status 0 "--overwrite"
  is_png a.png
  rm a.png
  run -t png --overwrite a.bmp A.BMP
  expect_status 1 "two inputs with one result"
  expect_lines out "a.bmp -> a.png"
  expect_lines err "A.BMP: not converted: a.png is already the result of a.bmp" "1 converted, 1 failed"
  cp a.bmp keep
  run -t bmp --overwrite a.bmp
  expect_status 1 "result is the input"
  expect_lines err "a.bmp: not converted: the result would replace the input" "0 converted, 1 failed"
  cmp -s a.bmp keep || fail "the input was changed"
  ;;
usage)  # usage errors: status 2, a message on standard error, nothing converted
  make_bmp a.bmp 8 4
  while IFS='|' read -r args words; do
    eval "run $args"
    expect_status 2 "$args"
    [ ! -s out ] && grep -q "^vornask-convert: .*$words" err || fail "'$args' printed: $(cat out err)"
  done <<'CASES'
a.bmp|target format is missing
-t gif a.bmp|unknown target format 'gif'
-t jpg -q 9 a.bmp|quality
-t jpg -j 0 a.bmp|jobs
-t png|no input files
-t png --bogus a.bmp|bogus
-t png -o missing a.bmp|'missing' does not exist
-t png -O x.png a.bmp a.bmp|exactly one input
-t png -O x.jpg a.bmp|must end in .png
CASES
  [ "$(ls)" = "a.bmp
err
out" ] || fail "a usage error left files: $(ls)"
  ;;
stdin)  # "-" reads paths from standard input, one a line, in its place among the arguments
  for f in first "with space" "ünï" last; do make_bmp "$f.bmp" 8 4; done
  printf 'with space.bmp\n\nünï.bmp\n' | "$prog" -t jpg first.bmp - last.bmp >out 2>err
  status=$?
  expect_status 0 "paths from standard input"
  expect_lines out "first.bmp -> first.jpg" "with space.bmp -> with space.jpg" "ünï.bmp -> ünï.jpg" "last.bmp -> last.jpg"
  ;;
errors)  # one line per failure with the library's message and whether reading or writing failed
  make_bmp good.bmp 8 4
  head -c 300 /dev/urandom >corrupt.png
  mkdir locked && chmod 555 locked
  # The administrator writes into any folder; the program runs without that right.
  [ "$(id -u)" = 0 ] && prog_as_user=(setpriv --bounding-set=-dac_override,-dac_read_search,-fowner "$prog") || prog_as_user=("$prog")
  "${prog_as_user[@]}" -t png -o locked missing.bmp corrupt.png good.bmp >out 2>err
  status=$?
  expect_status 1 "three failures"
  grep -qx "missing.bmp: read error: Cannot open the input file (No such file or directory)." err || fail "missing: $(cat err)"
  grep -qx "corrupt.png: read error: .*[a-z].*\." err || fail "corrupt: $(cat err)"
  grep -qx "good.bmp: write error: .*Permission denied.*" err || fail "unwritable folder: $(cat err)"
  [ "$(tail -1 err)" = "0 converted, 3 failed" ] || fail "summary: $(tail -1 err)"
  [ -z "$(ls -A locked)" ] || fail "locked holds $(ls -A locked)"
  ;;
interrupt)  # Ctrl+C during a batch: the conversions under way finish, none is left half-written
  make_bmp big.bmp 2000 1500
  mkdir out
  for i in $(seq -w 1 24); do ln big.bmp "p$i.bmp"; done
  set -m  # or the shell starts the program with Ctrl+C ignored, as it does every background command
  "$prog" -t png -j 2 -o out p*.bmp >out.txt 2>err &
  pid=$!
  for _ in $(seq 600); do [ -s out.txt ] && break; sleep 0.05; done
  kill -INT "$pid"
  wait "$pid"
  status=$?
  expect_status 130 "interrupted"
  ls -A out | grep -v '^p[0-9]*\.png$' && fail "out holds files other than results"
  n=$(ls out | wc -l)
  [ "$n" -lt 24 ] && [ "$(wc -l <out.txt)" -eq "$n" ] || fail "$n results, $(wc -l <out.txt) lines"
  grep -qx "interrupted: $n converted, 0 failed, $((24 - n)) not started" err || fail "summary: $(cat err)"
  for f in out/*; do tail -c 8 "$f" | grep -q IEND || fail "$f is incomplete"; done
  ;;
*) fail "no case $2" ;;
esac
echo "ok: $2"
