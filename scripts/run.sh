#!/usr/bin/env bash
# The product's main job for now: build everything and list the sample
# archive that the build makes, through the authoring tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
build/linux/tools/scrtool/scrtool list build/linux/sample.brsc
