#!/usr/bin/env bash
# The product's main job for now (the Windows viewer comes later): build
# everything, verify the demo archive that the build generates and packs, then
# play its slide show for a minute on virtual time at 1280x720, print the
# trace without the frame lines, and write a snapshot every 10 s to
# build/linux/play/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
scrtool=build/linux/tools/scrtool/scrtool
"$scrtool" verify build/linux/demo.brsc
mkdir -p build/linux/play
snapshots=()
for seconds in 10 20 30 40 50 60; do
  snapshots+=(--snapshot "${seconds}000:build/linux/play/at-${seconds}s.png")
done
"$scrtool" play build/linux/demo.brsc --size 1280x720 --until 60000 "${snapshots[@]}" | grep -v ' frame '
echo "Snapshots: build/linux/play/at-10s.png ... at-60s.png"
