#!/usr/bin/env bash
# How long `scrtool pack FOLDER` takes to make a show of large camera photos,
# beside ImageMagick doing the same work on the same files in the same run:
# turn upright by the Exif orientation, shrink to fit 3840x2160, encode at
# quality 90 (`convert -auto-orient -resize 3840x2160> -quality 90`, one
# convert per photo, each with ImageMagick's own threads).
#
# The photos are made once and kept: COUNT (default 12) pictures of
# 6000x4000 at JPEG quality 95, every third with orientation 6 and every
# third with 8, with photo-like detail (a fractal, enlarged, with grain).
# Prints a Markdown table; the goal is that pack takes at most half
# ImageMagick's time.
#
#   scripts/photo-pack-bench.sh [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-12}
scrtool=${KAMISHIBAI_SCRTOOL:-build/linux/tools/scrtool/scrtool}
[ -x "$scrtool" ] || { echo "photo-pack-bench: build the linux preset first ($scrtool)" >&2; exit 2; }
command -v convert >/dev/null || { echo "photo-pack-bench: needs ImageMagick (scripts/install-deps.sh test)" >&2; exit 2; }
out=build/photo-pack-bench
photos=$out/photos-$count
mkdir -p "$out"

if [ ! -f "$photos/.complete" ]; then
  rm -rf "$photos"
  mkdir -p "$photos"
  echo "making $count photos of 6000x4000 in $photos (once) ..." >&2
  convert -size 1500x1000 -seed 7 plasma:fractal -resize 6000x4000! -seed 7 -attenuate 0.4 +noise Gaussian \
    -quality 95 "$out/base.ppm"
  for i in $(seq 1 "$count"); do
    case $((i % 3)) in
      1) orient=RightTop ;;    # Exif orientation 6
      2) orient=LeftBottom ;;  # Exif orientation 8
      *) orient=TopLeft ;;     # 1: upright
    esac
    convert "$out/base.ppm" -roll +$((i * 397))+$((i * 211)) -modulate 100,$((80 + i * 3 % 40)),$((90 + i * 7 % 20)) \
      -orient "$orient" -quality 95 "$photos/photo$(printf %03d "$i").jpg"
  done
  rm -f "$out/base.ppm"
  touch "$photos/.complete"
fi

seconds() { date +%s.%N; }

start=$(seconds)
"$scrtool" pack "$photos" -o "$out/show.brsc" --quiet
pack_time=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }')

rm -rf "$out/magick"
mkdir -p "$out/magick"
start=$(seconds)
for photo in "$photos"/*.jpg; do
  convert "$photo" -auto-orient -resize '3840x2160>' -quality 90 "$out/magick/$(basename "$photo")"
done
magick_time=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }')

pack_size=$(stat -c %s "$out/show.brsc")
magick_size=$(du -cb "$out/magick"/*.jpg | tail -1 | cut -f1)
awk -v count="$count" -v pack="$pack_time" -v magick="$magick_time" -v packSize="$pack_size" \
    -v magickSize="$magick_size" 'BEGIN {
  printf "| %d photos, 6000x4000, q95 | time | output |\n|---|---|---|\n", count
  printf "| scrtool pack (all cores) | %.2f s | %.1f MB archive |\n", pack, packSize / 1e6
  printf "| ImageMagick convert, one per photo | %.2f s | %.1f MB of JPEG |\n", magick, magickSize / 1e6
  printf "| pack / ImageMagick | %.2f (goal <= 0.5) | |\n", pack / magick
}'
