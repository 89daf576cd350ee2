#!/usr/bin/env bash
# Installs the Debian packages that a job needs, only when some are missing:
# one `apt-get update`, then one `apt-get install -y` (with sudo when not
# run as root).
#
#   scripts/install-deps.sh [GROUP...]     default: every group (what CI runs)
#   scripts/install-deps.sh --list [GROUP...]   print the packages, install nothing
#
# Groups, by job:
#   build    the native build of the linux, asan and tsan presets: compiler,
#            CMake, the libraries, GoogleTest and Google Benchmark (the
#            presets build the tests and benchmarks), and the font the text
#            banner is drawn in
#   test     what scripts/test.sh runs the programs with beyond that: the
#            private X screen and its tools for the screen tests, Wine for the
#            Windows programs, the screen-saver daemon, groff for checking
#            scrtool's manual page
#   cross    the Windows cross-build (win64 preset): the 64-bit mingw-w64
#            compilers with posix threads, and zlib for them
#   fuzz     clang and its libFuzzer runtime (fuzz preset, scripts/fuzz.sh)
#   package  dpkg-shlibdeps and file, which CPack's .deb needs
#            (scripts/package.sh)
set -euo pipefail

declare -A group_packages=(
  [build]="g++ make cmake pkg-config
           zlib1g-dev libjpeg62-turbo-dev libexif-dev libfreetype-dev libfontconfig-dev libsdl2-dev libx11-dev libxext-dev libtomlplusplus-dev libsndfile1-dev libwebp-dev libheif-dev
           libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
           fonts-ipafont-gothic"
  [test]="xvfb xdotool imagemagick wine64 xscreensaver groff-base libxml2-utils libimage-exiftool-perl locales"
  # Only the x86_64 compilers with the posix thread model: the mingw-w64
  # meta package would bring the i686 and win32-thread ones as well.
  [cross]="g++-mingw-w64-x86-64-posix libz-mingw-w64-dev"
  [fuzz]="clang libclang-rt-14-dev"
  [package]="dpkg-dev file"
)
all_groups=(build test cross fuzz package)

list_only=0
groups=()
for argument in "$@"; do
  case "$argument" in
    --list) list_only=1 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    all) groups+=("${all_groups[@]}") ;;
    *)
      if [ -z "${group_packages[$argument]+set}" ]; then
        echo "install-deps.sh: unknown group '$argument' (groups: ${all_groups[*]})" >&2
        exit 2
      fi
      groups+=("$argument") ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=("${all_groups[@]}")

packages=()
for group in "${groups[@]}"; do
  # shellcheck disable=SC2206  # the lists are words
  packages+=(${group_packages[$group]})
done
if [ $list_only -eq 1 ]; then
  printf '%s\n' "${packages[@]}" | awk '!seen[$0]++'
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
