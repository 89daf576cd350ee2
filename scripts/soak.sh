#!/usr/bin/env bash
# A soak of the slide show: HOURS (default 24) of the demo show at 640 x 480
# with sound, on virtual time (24 hours take a few minutes), with the memory
# the process holds sampled every virtual hour. The show must not grow: the
# run fails when the last sample is more than 1 MiB above the first hour's.
#
#   scripts/soak.sh [HOURS] [ARCHIVE]
#
# Builds the Linux preset when scrtool or the demo archive is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
hours="${1:-24}"
archive="${2:-build/linux/demo.brsc}"
scrtool=build/linux/tools/scrtool/scrtool
if [ ! -x "$scrtool" ] || [ ! -f "$archive" ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j"$(nproc)" --target scrtool demo_archive
fi

hour=3600000
samples="$("$scrtool" play "$archive" --size 640x480 --sound on --until $((hours * hour)) \
  --events none --memory-every "$hour")"
echo "| virtual hour | resident KiB |"
echo "|---:|---:|"
awk -v hour="$hour" '$2 == "memory" { printf "| %d | %s |\n", $1 / hour, $3 }' <<<"$samples"
awk '$2 == "memory" { if (first == "") first = $3; last = $3 }
     END {
       growth = last - first
       printf "growth from the first hour to the last: %d KiB\n", growth
       if (growth > 1024) { print "memory grows: the soak fails"; exit 1 }
     }' <<<"$samples"
