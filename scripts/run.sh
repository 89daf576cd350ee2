#!/usr/bin/env bash
# The product's main job for now (the viewer comes later): build everything,
# then verify and list the demo archive that the build generates and packs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
build/linux/tools/scrtool/scrtool verify build/linux/demo.brsc
build/linux/tools/scrtool/scrtool list build/linux/demo.brsc
