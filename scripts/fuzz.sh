#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 60) on a corpus seeded
# by make_fuzz_seeds; any crash, leak or sanitizer report fails the run.
# A longer run: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
corpus=fuzz-corpus
mkdir -p "$corpus"
build/fuzz/fuzz/make_fuzz_seeds "$corpus"
for target in build/fuzz/fuzz/*_fuzz; do
  name="$(basename "$target")"
  mkdir -p "$corpus/$name" "$corpus/$name-findings"
  echo "=== fuzzing $name for ${seconds}s ==="
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$corpus/$name-findings/" "$corpus/$name"
done
