#!/usr/bin/env bash
# Every test: the GoogleTest suites natively and again under AddressSanitizer
# + UndefinedBehaviorSanitizer, the threaded suites under ThreadSanitizer,
# the Linux saver on a private Xvfb screen (scripts/linux-saver-test.sh),
# then the Windows cross-build, whose scrtool.exe must play the demo under
# Wine exactly as the Linux build does, and whose screen saver is checked
# under Wine on a private virtual screen, as a user would see it; in between,
# the .deb and the Windows .zip are made and checked (scripts/package.sh). Set
# KAMISHIBAI_WERROR=ON to treat warnings as errors (CI does).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
for preset in linux asan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done
# The threads (timer, sound workers, main-thread calls) once more under
# ThreadSanitizer: only the suites that start threads are built.
echo "=== tsan ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs"
ctest --preset tsan -j"$jobs"
echo "=== the Linux saver on a private virtual screen ==="
scripts/linux-saver-test.sh
echo "=== the Linux saver as the screen-saver daemon's hack ==="
scripts/xscreensaver-test.sh
echo "=== win64 ==="
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
# Of the builds above: little more than packing and unpacking.
echo "=== packages ==="
scripts/package.sh deb zip
echo "=== the Windows build under Wine ==="
scripts/wine-smoke.sh
echo "=== the Windows screen saver under Wine ==="
scripts/wine-saver-test.sh
echo "All tests passed."
