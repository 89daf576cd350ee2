#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only when
# some are missing: one `apt-get update`, then one `apt-get install -y`.
set -euo pipefail

packages=(
  build-essential cmake git pkg-config
  zlib1g-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev libtomlplusplus-dev
  clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  libfreetype-dev fonts-ipafont-gothic
  libsdl2-dev
  wine64
  xvfb xdotool imagemagick
)

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
