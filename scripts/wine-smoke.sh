#!/usr/bin/env bash
# Runs the Windows scrtool.exe under Wine on the demo archive and checks that
# it verifies it and plays the same slide show, event for event, as the
# Linux build. Needs build/linux (demo archive, scrtool) and build/win64.
set -euo pipefail
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"
export WINEDEBUG=-all WINEPREFIX="$PWD/build/wineprefix"
mkdir -p build/wine-smoke
demo=build/linux/demo.brsc
windows_tool=build/win64/tools/scrtool/scrtool.exe
linux_tool=build/linux/tools/scrtool/scrtool

"$wine" "$windows_tool" verify "$demo" 2>/dev/null | tr -d '\r' | tee build/wine-smoke/verify.txt | tail -1
grep -q ' 0 problems' build/wine-smoke/verify.txt

play=(play "$demo" --size 640x480 --until 30000)
"$wine" "$windows_tool" "${play[@]}" 2>/dev/null | tr -d '\r' > build/wine-smoke/play-windows.txt
"$linux_tool" "${play[@]}" > build/wine-smoke/play-linux.txt
if ! cmp -s build/wine-smoke/play-windows.txt build/wine-smoke/play-linux.txt; then
  echo "The Windows build plays the demo differently:" >&2
  diff build/wine-smoke/play-linux.txt build/wine-smoke/play-windows.txt | head -20 >&2
  exit 1
fi
echo "Windows scrtool under Wine: demo verified, slide show trace identical ($(wc -l < build/wine-smoke/play-linux.txt) events)"
