#!/usr/bin/env bash
# The Windows .zip as a user gets it: one folder holding exactly the savers,
# scrtool.exe, README.txt, the authors' references in docs\ and the minimal
# example in examples\minimal\; the programs are stripped 64-bit Windows
# programs (the savers for the Windows subsystem, scrtool for the console);
# kamishibai.scr is kamishibai-bare.scr with the demo archive appended, and
# the archive verifies; README.txt has Windows line ends, names the version,
# names only files the zip has and does not deny scrtool its pack and
# unpack; the example packs into an archive that verifies, and its README
# speaks of the zip's folders, not of a build, with links that lead
# somewhere.
#
#   zip-test.sh PACKAGE.zip SCRTOOL
#
# SCRTOOL is the Linux build's scrtool: it reads archives appended to
# Windows programs as well.
set -uo pipefail
zip=$(realpath "$1")
scrtool=$(realpath "$2")
source_root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=example-checks.sh
source "$(dirname "$0")/example-checks.sh"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

folder=$(basename "$zip" .zip)
version=${folder#kamishibai-}
version=${version%-win64}
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
mapfile -t example_files < <(cd "$source_root/examples" && find minimal -type f | sed "s:^:$folder/examples/:")
expected=$(printf '%s\n' "$folder/README.txt" "$folder/kamishibai-bare.scr" "$folder/kamishibai.scr" \
                         "$folder/scrtool.exe" "$folder/docs/manifest.md" "$folder/docs/scenario-text.md" \
                         "${example_files[@]}" | sort)
[ "$listing" = "$expected" ] || fail "the zip holds
$listing
expected
$expected"
cmake -E tar xf "$zip" || { fail "the zip does not unpack"; exit 1; }
cd "$folder" || exit 1

for program in kamishibai.scr kamishibai-bare.scr scrtool.exe; do
  [ -f "$program" ] || continue
  description=$(file -b "$program")
  case $program in
    *.scr) wanted="PE32+ executable (GUI) x86-64" ;;
    *) wanted="PE32+ executable (console) x86-64" ;;
  esac
  [[ $description == "$wanted"* ]] || fail "$program is '$description', expected '$wanted'"
  [[ $description == *stripped* ]] || fail "$program is not stripped: $description"
done
"$scrtool" verify kamishibai.scr >/dev/null || fail "kamishibai.scr's demo archive does not verify"
"$scrtool" list kamishibai-bare.scr >/dev/null 2>&1 && fail "kamishibai-bare.scr carries an archive"
# The two savers are one program: the demo is only appended.
if [ -f kamishibai-bare.scr ] && [ -f kamishibai.scr ]; then
  cmp -s -n "$(stat -c %s kamishibai-bare.scr)" kamishibai-bare.scr kamishibai.scr ||
    fail "kamishibai.scr does not start with kamishibai-bare.scr's program"
fi

if [ -f README.txt ]; then
  lines=$(wc -l <README.txt)
  windows_lines=$(grep -c $'\r$' README.txt)
  [ "$lines" -gt 0 ] && [ "$lines" -eq "$windows_lines" ] ||
    fail "README.txt: $windows_lines of $lines lines end in CR LF"
  grep -q "Kamishibai $version " README.txt || fail "README.txt does not name version $version"
  grep -q '@[A-Z_]*@' README.txt && fail "README.txt has a placeholder left: $(grep -o '@[A-Z_]*@' README.txt | head -1)"
  denial=$(grep -Ein 'does not have|lacks|nor "?(un)?pack' README.txt)
  [ -z "$denial" ] || fail "README.txt denies scrtool.exe a command it has: $denial"
  # Every file of the folder that README.txt names (docs\..., examples\...).
  for named in $(grep -Eo '(docs|examples)\\[A-Za-z0-9_.\\-]*[A-Za-z0-9_]' README.txt | tr -d '\r' | sort -u); do
    [ -e "${named//\\//}" ] || fail "README.txt names $named, which the zip does not hold"
  done
fi

check_example examples/minimal "$scrtool" "$work/example"

if [ $failures -gt 0 ]; then
  echo "$failures check(s) of $zip failed" >&2
  exit 1
fi
echo "$(basename "$zip"):"
cmake -E tar tvf "$zip" | sed 's/^/  /'
