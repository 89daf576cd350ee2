#!/usr/bin/env bash
# Builds the packages and checks each one as a user gets it:
#   - the .deb (the Linux saver with the demo inside, also as an xscreensaver
#     hack, with its manual page kamishibai(6); scrtool with its manual page
#     and bash completion; the authors' references and example) from the
#     linux preset's build, then unpacked into a scratch folder (dpkg -x,
#     nothing is installed on this machine), where the programs must run
#     (packaging/tests/deb-test.sh);
#   - the .zip for Windows (kamishibai.scr, kamishibai-bare.scr, scrtool.exe,
#     README.txt, the authors' references in docs\ and the example in
#     examples\minimal\) from the win64 preset's build, then unpacked and
#     checked (packaging/tests/zip-test.sh).
#
#   scripts/package.sh [deb] [zip] [--linux-build DIR] [--win64-build DIR]
#
#   deb, zip             the packages to make; by default the .deb, and the
#                        .zip as well when the win64 build folder exists
#   --linux-build DIR    the linux preset's build folder (default build/linux)
#   --win64-build DIR    the win64 preset's build folder (default build/win64)
#
# Each build folder is configured with its preset and brought up to date
# first; the Windows saver gets the demo archive of that Linux build. The
# packages land in DIR/packages/ (with a .sha256 beside each).
set -euo pipefail
cd "$(dirname "$0")/.."

make_deb=0
make_zip=0
asked=0
linux_build=build/linux
linux_build_given=0
win64_build=build/win64
while [ $# -gt 0 ]; do
  case "$1" in
    deb) make_deb=1; asked=1; shift ;;
    zip) make_zip=1; asked=1; shift ;;
    --linux-build) linux_build="$2"; linux_build_given=1; shift 2 ;;
    --win64-build) win64_build="$2"; shift 2 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "package.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
if [ $asked -eq 0 ]; then
  make_deb=1
  [ -f "$win64_build/CMakeCache.txt" ] && make_zip=1
fi

groups=(build package)
[ $make_zip -eq 1 ] && groups+=(cross)
scripts/install-deps.sh "${groups[@]}"
jobs="$(nproc)"

# The newest file matching a pattern, made by the cpack run just before.
made_package() {
  local pattern=$1 file
  file=$(ls -t $pattern 2>/dev/null | head -n 1)
  [ -n "$file" ] || { echo "package.sh: cpack made no $pattern" >&2; exit 1; }
  echo "$file"
}

# Both packages need the Linux build: the .deb is made of it, the Windows
# saver carries its demo archive, and its scrtool checks the savers.
cmake --preset linux -B "$linux_build" >/dev/null
cmake --build "$linux_build" -j"$jobs"
linux_build=$(realpath "$linux_build")

if [ $make_deb -eq 1 ]; then
  echo "=== the .deb ==="
  rm -f "$linux_build"/packages/*.deb "$linux_build"/packages/*.deb.sha256
  cpack --config "$linux_build/CPackConfig.cmake" -G DEB
  deb=$(made_package "$linux_build/packages/*.deb")
  bash packaging/tests/deb-test.sh "$deb"
fi

if [ $make_zip -eq 1 ]; then
  echo "=== the .zip for Windows ==="
  # The preset's own demo archive is build/linux's; another Linux build
  # folder brings its own.
  archive_option=()
  [ $linux_build_given -eq 1 ] && archive_option=("-DKAMISHIBAI_DEMO_ARCHIVE=$linux_build/demo.brsc")
  cmake --preset win64 -B "$win64_build" "${archive_option[@]}" >/dev/null
  cmake --build "$win64_build" -j"$jobs"
  win64_build=$(realpath "$win64_build")
  rm -f "$win64_build"/packages/*.zip "$win64_build"/packages/*.zip.sha256
  cpack --config "$win64_build/CPackConfig.cmake" -G ZIP
  zip=$(made_package "$win64_build/packages/*.zip")
  bash packaging/tests/zip-test.sh "$zip" "$linux_build/tools/scrtool/scrtool"
fi
