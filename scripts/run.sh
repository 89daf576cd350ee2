#!/usr/bin/env bash
# The product's main job: build everything, verify the demo archive, then
# open the demo slide show (the Linux saver kamishibai, the demo archive
# appended to it) in a 1280x720 window on your display, with sound; Escape,
# q or closing the window ends it. `scripts/run.sh --full-screen` shows it
# full screen instead (any key, a click or a large mouse movement ends it).
# Without a display ($DISPLAY unset) the same slide show plays headless for a
# minute on virtual time instead: the trace without the frame lines on
# stdout, a snapshot every 10 s in build/linux/play/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
jobs="$(nproc)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"
scrtool=build/linux/tools/scrtool/scrtool
"$scrtool" verify build/linux/demo.brsc

if [ -n "${DISPLAY:-}" ]; then
  if [ "${1:-}" = --full-screen ]; then
    echo "Running kamishibai full screen on $DISPLAY: press any key to end it."
    exec build/linux/shell/linux/kamishibai
  fi
  echo "Running kamishibai in a window on $DISPLAY: Escape or q ends it."
  exec build/linux/shell/linux/kamishibai --window 1280x720
fi

echo "No display (\$DISPLAY is not set): playing the demo slide show headless instead."
mkdir -p build/linux/play
snapshots=()
for seconds in 10 20 30 40 50 60; do
  snapshots+=(--snapshot "${seconds}000:build/linux/play/at-${seconds}s.png")
done
"$scrtool" play build/linux/demo.brsc --size 1280x720 --until 60000 "${snapshots[@]}" | grep -v ' frame '
echo "Snapshots: build/linux/play/at-10s.png ... at-60s.png"
