#!/usr/bin/env bash
# Runs the Windows scrtool.exe under Wine and holds it to the Linux build:
#   - it verifies the demo archive and plays the same slide show, event for
#     event;
#   - it packs the demo project and the minimal example into the same bytes
#     (pack is deterministic: the key comes from the manifest's key seed);
#   - it unpacks the demo archive into the same files;
#   - it writes bytes to standard output unchanged (cat, picture and pack
#     with "-"), with no line ends translated;
#   - the photo seams on WIC (Exif orientation, JPEG encoding, scaled
#     decoding) pass tests/wine/photo_codecs_check.exe, which holds them to
#     the Linux suite's fixtures.
# Needs build/linux (demo archive, its generated project, scrtool) and
# build/win64; KAMISHIBAI_LINUX_BUILD and KAMISHIBAI_WIN64_BUILD name other
# build folders of those presets, KAMISHIBAI_WINE_SMOKE_DIR another folder for
# what the check writes (build/wine-smoke).
set -euo pipefail
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"
export WINEDEBUG=-all WINEPREFIX="$PWD/build/wineprefix"
linux_build=${KAMISHIBAI_LINUX_BUILD:-build/linux}
win64_build=${KAMISHIBAI_WIN64_BUILD:-build/win64}
out=${KAMISHIBAI_WINE_SMOKE_DIR:-build/wine-smoke}
demo=$linux_build/demo.brsc
demo_project=$linux_build/demo-content/manifest.toml
windows_tool=$win64_build/tools/scrtool/scrtool.exe
linux_tool=$linux_build/tools/scrtool/scrtool
for file in "$demo" "$demo_project" "$windows_tool" "$linux_tool"; do
  [ -f "$file" ] || { echo "wine-smoke: missing $file (build the linux and win64 presets)" >&2; exit 2; }
done
mkdir -p "$out"
rm -rf "$out/unpacked-linux" "$out/unpacked-windows"  # unpack writes only into a new or empty folder

# Wine sees every Unix path through its Z: drive.
winpath() { local path; path=$(realpath -m "$1"); printf 'Z:%s' "${path//\//\\}"; }
windows() { "$wine" "$windows_tool" "$@"; }
fail() { echo "wine-smoke: $*" >&2; exit 1; }

windows verify "$(winpath "$demo")" 2>/dev/null | tr -d '\r' | tee "$out/verify.txt" | tail -1
grep -q ' 0 problems' "$out/verify.txt"

play=(--size 640x480 --until 30000)
windows play "$(winpath "$demo")" "${play[@]}" 2>/dev/null | tr -d '\r' >"$out/play-windows.txt"
"$linux_tool" play "$demo" "${play[@]}" >"$out/play-linux.txt"
if ! cmp -s "$out/play-windows.txt" "$out/play-linux.txt"; then
  echo "The Windows build plays the demo differently:" >&2
  diff "$out/play-linux.txt" "$out/play-windows.txt" | head -20 >&2
  exit 1
fi
echo "slide show trace identical ($(wc -l <"$out/play-linux.txt") events)"

# The same manifest packed by both builds: the same archive, byte for byte.
for project in demo:"$demo_project" minimal:examples/minimal/manifest.toml; do
  name=${project%%:*} manifest=${project#*:}
  windows pack "$(winpath "$manifest")" -o "$(winpath "$out/$name-windows.brsc")" >"$out/$name-pack.log" 2>&1 ||
    fail "scrtool.exe pack $manifest failed: $(tr -d '\r' <"$out/$name-pack.log" | tail -1)"
  "$linux_tool" pack "$manifest" -o "$out/$name-linux.brsc"
  cmp "$out/$name-linux.brsc" "$out/$name-windows.brsc" ||
    fail "the $name archive packed on Windows differs from the Linux one"
  echo "$name project packed into the same $(wc -c <"$out/$name-linux.brsc") bytes"
done
windows pack "$(winpath examples/minimal/manifest.toml)" -o - >"$out/minimal-stdout.brsc" 2>"$out/minimal-stdout.log" ||
  fail "scrtool.exe pack -o - failed: $(tr -d '\r' <"$out/minimal-stdout.log" | tail -1)"
cmp "$out/minimal-linux.brsc" "$out/minimal-stdout.brsc" || fail "scrtool.exe pack -o - wrote other bytes than pack -o FILE"

# Unpacked by both builds: the same files.
windows unpack "$(winpath "$demo")" "$(winpath "$out/unpacked-windows")" >"$out/unpack-windows.log" 2>&1 ||
  fail "scrtool.exe unpack failed: $(tr -d '\r' <"$out/unpack-windows.log" | tail -1)"
"$linux_tool" unpack "$demo" "$out/unpacked-linux" >"$out/unpack-linux.log"
diff -r "$out/unpacked-linux" "$out/unpacked-windows" >"$out/unpack.diff" ||
  fail "scrtool.exe unpacks the demo into other files (see $out/unpack.diff)"
echo "demo unpacked into the same $(find "$out/unpacked-linux" -type f | wc -l) files"

# Names beyond ASCII, as Japanese authors write them: a project in a folder
# and with files of Japanese names packs into the same bytes, and the
# archive verifies and unpacks by its Japanese name. Wine passes the
# command line in the UTF-8 locale; what the tool prints is UTF-8.
named="$out/作品 ひらがな"
rm -rf "$named" "$out/展開-linux" "$out/展開-windows"
cp -r examples/minimal "$named"
mv "$named/pictures/dawn.png" "$named/pictures/夜明け.png"
mv "$named/sounds/chime.wav" "$named/sounds/鐘の音.wav"
sed -i 's|pictures/dawn.png|pictures/夜明け.png|; s|sounds/chime.wav|sounds/鐘の音.wav|' "$named/manifest.toml"
export LC_ALL=C.UTF-8
windows pack "$(winpath "$named/manifest.toml")" -o "$(winpath "$named/見本-windows.brsc")" >"$out/named-pack.log" 2>&1 ||
  fail "scrtool.exe pack of a project with Japanese names failed: $(tr -d '\r' <"$out/named-pack.log" | tail -1)"
"$linux_tool" pack "$named/manifest.toml" -o "$named/見本-linux.brsc"
cmp -s "$named/見本-linux.brsc" "$named/見本-windows.brsc" ||
  fail "the project with Japanese names packed on Windows differs from the Linux one"
windows verify "$(winpath "$named/見本-windows.brsc")" 2>&1 | tr -d '\r' >"$out/named-verify.txt" || true
grep -q "見本-windows.brsc: .* 0 problems" "$out/named-verify.txt" ||
  fail "scrtool.exe verify of 見本-windows.brsc: $(tail -1 "$out/named-verify.txt")"
windows unpack "$(winpath "$named/見本-windows.brsc")" "$(winpath "$out/展開-windows")" >"$out/named-unpack.log" 2>&1 ||
  fail "scrtool.exe unpack into 展開-windows failed: $(tr -d '\r' <"$out/named-unpack.log" | tail -1)"
"$linux_tool" unpack "$named/見本-linux.brsc" "$out/展開-linux" >/dev/null
diff -r "$out/展開-linux" "$out/展開-windows" >"$out/named-unpack.diff" ||
  fail "scrtool.exe unpacks 見本-windows.brsc into other files (see $out/named-unpack.diff)"
message=$(windows verify "$(winpath "$named/無い.brsc")" 2>&1 | tr -d '\r' || true)
[[ "$message" == *"無い.brsc: no such file"* ]] || fail "scrtool.exe names a missing 無い.brsc as: $message"
unset LC_ALL
echo "a project with Japanese names packed into the same bytes, verified and unpacked"

# A folder of photos dropped on scrtool.exe (Explorer starts it with the
# folder alone): FOLDER.scr beside the folder, from the kamishibai-bare.scr
# beside scrtool.exe. Its photos upright as their Exif data asks (WIC reads
# the orientation), and an upright JPEG that fits stored byte for byte as
# the Linux build stores it. The folder's name is Japanese.
bare_saver=$win64_build/shell/win32/kamishibai-bare.scr
[ -f "$bare_saver" ] || fail "missing $bare_saver (build the win64 preset)"
photos="$out/写真 2026"
rm -rf "$photos" "$photos.scr" "$out/package"
mkdir -p "$photos" "$out/package"
cp "$windows_tool" "$bare_saver" "$out/package/"
convert -size 80x60 xc:blue -quality 92 "$photos/a-upright.jpg"
# 64 x 48, red on the left and green on the right, with orientation 6: seen
# upright it is 48 x 64, red above green.
convert -size 64x48 xc:red -size 32x48 xc:green -geometry +32+0 -composite -quality 92 "$photos/b-turned.jpg"
exiftool -q -n -Orientation=6 -overwrite_original "$photos/b-turned.jpg"
export LC_ALL=C.UTF-8
"$wine" "$out/package/scrtool.exe" "$(winpath "$photos")" </dev/null >"$out/dropped.log" 2>&1 ||
  fail "scrtool.exe with a dropped folder failed: $(tr -d '\r' <"$out/dropped.log" | tail -1)"
[ -f "$photos.scr" ] || fail "a dropped folder made no $photos.scr: $(tr -d '\r' <"$out/dropped.log" | tail -2)"
"$linux_tool" verify "$photos.scr" | grep -q ' 0 problems' || fail "$photos.scr does not verify"
"$linux_tool" picture "$photos.scr" 1001 "$out/dropped-1001.png"
seen=$(convert "$out/dropped-1001.png" -format '%wx%h %[pixel:p{24,8}] %[pixel:p{24,56}]' info:)
[[ "$seen" == "48x64 srgb(25"*",0,0) srgb(0,12"* ]] ||
  fail "the photo with orientation 6 packed on Windows is not upright: $seen (size, above, below)"
"$linux_tool" pack "$photos" -o "$out/photos-linux.brsc" --quiet
cmp -s <("$linux_tool" cat "$out/photos-linux.brsc" SGBm 1000) <("$linux_tool" cat "$photos.scr" SGBm 1000) ||
  fail "the upright JPEG is stored differently by the Windows build"
unset LC_ALL
echo "a folder dropped on scrtool.exe made $(basename "$photos").scr, its photos upright"

# Binary data through standard output: an entry, and a picture that no
# JPEG decoder touches (the two builds' decoders may differ slightly).
windows cat "$(winpath "$demo")" SGBm 1003 >"$out/cat-windows.bin" 2>/dev/null
"$linux_tool" cat "$demo" SGBm 1003 >"$out/cat-linux.bin"
cmp "$out/cat-linux.bin" "$out/cat-windows.bin" || fail "scrtool.exe cat changes the bytes it writes"
windows picture "$(winpath "$demo")" 1003 - --format pam >"$out/picture-windows.pam" 2>/dev/null
"$linux_tool" picture "$demo" 1003 "$out/picture-linux.pam"
cmp "$out/picture-linux.pam" "$out/picture-windows.pam" || fail "scrtool.exe picture - writes other bytes than the Linux file"

# The photo seams on WIC. Its NOTE lines say where Wine's WIC falls short of
# Windows' (the encoder ignores its quality).
photo_check=$win64_build/tests/wine/photo_codecs_check.exe
[ -f "$photo_check" ] || fail "missing $photo_check (build the win64 preset with its tests)"
if ! "$wine" "$photo_check" 2>/dev/null | tr -d '\r' >"$out/photo-codecs.txt"; then
  grep '^FAIL' "$out/photo-codecs.txt" >&2 || true
  fail "photo_codecs_check.exe failed (see $out/photo-codecs.txt)"
fi
grep '^NOTE' "$out/photo-codecs.txt" || true
tail -1 "$out/photo-codecs.txt"
echo "Windows scrtool under Wine: verify, play, pack, unpack, cat and picture agree with the Linux build"
