#!/usr/bin/env bash
# Makes the benchmark's input files in BENCH_WORK (outside the repository) from the
# public corpus: the Kodak photos in all four formats, the large photos as PNG, BMP
# and GIF besides their JPEG, and an 8000x8000 mosaic of the Kodak photos in all
# four formats. Lossless copies are checked to have the same pixels as their source.
# Usage: bench/prepare.sh   (BENCH_WORK defaults to /tmp/vornask-bench)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus=${VORNASK_CORPUS:-$here/../../shared/corpus}
corpus=$(cd "$corpus" && pwd)
work=${BENCH_WORK:-/tmp/vornask-bench}
convert=/usr/bin/convert-im6.q16
compare=/usr/bin/compare-im6.q16

same_pixels() {  # file file: both decode to the same RGB(A) pixels
  local diff
  diff=$($compare -metric AE "$1" "$2" null: 2>&1 || true)
  if [ "$diff" != "0" ]; then
    echo "pixels differ ($diff): $1 $2" >&2
    exit 1
  fi
}

mkdir -p "$work"/kodak/{bmp,png,jpg,gif} "$work"/large/{bmp,png,jpg,gif} "$work"/mosaic/{bmp,png,jpg,gif}

echo "Kodak set"
for png in "$corpus"/photos/kodak/png/*.png; do
  name=$(basename "$png" .png)
  ln -sf "$png" "$work/kodak/png/$name.png"
  ln -sf "$corpus/photos/kodak/jpg/$name.jpg" "$work/kodak/jpg/$name.jpg"
  ln -sf "$corpus/photos/kodak/gif/$name.gif" "$work/kodak/gif/$name.gif"
  bmp="$work/kodak/bmp/$name.bmp"
  if [ ! -s "$bmp" ]; then
    $convert "$png" -type TrueColor "BMP3:$bmp"
    same_pixels "$png" "$bmp"
  fi
done

echo "Large photos"
for jpg in "$corpus"/photos/large/*.jpg; do
  name=$(basename "$jpg" .jpg)
  ln -sf "$jpg" "$work/large/jpg/$name.jpg"
  if [ ! -s "$work/large/png/$name.png" ]; then
    $convert "$jpg" -strip "$work/large/png/$name.png"
    $convert "$jpg" -type TrueColor "BMP3:$work/large/bmp/$name.bmp"
    $convert "$jpg" -strip -dither FloydSteinberg -colors 256 "$work/large/gif/$name.gif"
    same_pixels "$work/large/png/$name.png" "$work/large/bmp/$name.bmp"
  fi
done

echo "Mosaic"
m="$work/mosaic"
if [ ! -s "$m/png/mosaic.png" ]; then
  # The 18 landscape photos, 11 across and 16 down, each row starting one photo later.
  mapfile -t landscape < <(for f in "$corpus"/photos/kodak/png/*.png; do
    [ "$(vipsheader -f width "$f")" = 768 ] && echo "$f"; done)
  tiles=()
  for row in $(seq 0 15); do
    for col in $(seq 0 10); do
      tiles+=("${landscape[$(((row + col) % ${#landscape[@]}))]}")
    done
  done
  vips arrayjoin "${tiles[*]}" "$m/joined.v" --across 11
  vips crop "$m/joined.v" "$m/mosaic.v" 0 0 8000 8000
  rm -f "$m/joined.v"
  vips pngsave "$m/mosaic.v" "$m/png/mosaic.png" --compression 6
  vips jpegsave "$m/mosaic.v" "$m/jpg/mosaic.jpg" --Q 90
  vips gifsave "$m/mosaic.v" "$m/gif/mosaic.gif"
  rm -f "$m/mosaic.v"
  /usr/bin/python3 -c '
import sys
from PIL import Image
Image.MAX_IMAGE_PIXELS = None
Image.open(sys.argv[1]).convert("RGB").save(sys.argv[2])
' "$m/png/mosaic.png" "$m/bmp/mosaic.bmp"
  /usr/bin/python3 -c '
import sys
from PIL import Image
Image.MAX_IMAGE_PIXELS = None
a, b = Image.open(sys.argv[1]).convert("RGB"), Image.open(sys.argv[2]).convert("RGB")
sys.exit(0 if a.size == b.size and a.tobytes() == b.tobytes() else "mosaic BMP and PNG differ")
' "$m/png/mosaic.png" "$m/bmp/mosaic.bmp"
fi
echo "Inputs ready in $work"
