#!/usr/bin/env bash
# The saver's manual page says what its help says, all of it: groff reads it
# without a warning; as a reader sees it, from SYNOPSIS to EXIT STATUS, it
# holds exactly the words of `kamishibai --help` in their order (only the
# help's "usage:", "Options:", "Files:" and "Exit status:" give way to the
# page's headings); and its FILES name the user's show, the settings file
# and SC_TEST.brsc.
#
#   saver-manpage-test.sh SAVER MAN_PAGE
set -uo pipefail
saver=$1 page=$2
failures=0
check() {  # MESSAGE CONDITION...
  local message=$1
  shift
  if "$@"; then return 0; fi
  echo "FAIL: $message" >&2
  failures=$((failures + 1))
}

command -v groff >/dev/null || { echo "FAIL: groff is missing (scripts/install-deps.sh test)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check "$page: no manual page header for section 6" grep -q '^\.TH KAMISHIBAI 6 ' "$page"
groff -man -ww -z -Tutf8 "$page" 2>"$work/warnings"
check "groff warns about $page: $(head -3 "$work/warnings")" test ! -s "$work/warnings"

# One very long line per paragraph, no hyphenation, no bold or underlining:
# words can be compared with the help text.
groff -man -Tascii -P-cbou -rHY=0 -rLL=2000n "$page" >"$work/page.txt" 2>/dev/null
awk '/^SYNOPSIS$/ { inside = 1; next } /^SEE ALSO$/ { exit } inside && !/^[A-Z][A-Z ]*$/ { print }' \
  "$work/page.txt" | tr -s ' \n' '\n\n' | sed '/^$/d' >"$work/shown"
"$saver" --help | sed '1s/^usage: //; /^Options:$/d; /^Files:$/d; s/^Exit status: //' |
  tr -s ' \n' '\n\n' | sed '/^$/d' >"$work/expected"
check "the page differs from the help (help < > page):
$(diff "$work/expected" "$work/shown" | head -10)" cmp -s "$work/expected" "$work/shown"

files=$(awk '/^FILES$/ { inside = 1; next } /^[A-Z]/ { inside = 0 } inside' "$work/page.txt")
for file in kamishibai/show.brsc kamishibai/kt5_scr2.ini SC_TEST.brsc; do
  [[ $files == *"$file"* ]] || check "FILES does not name $file" false
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES '"EXIT STATUS"'; do
  grep -q "^\.SH $section\$" "$page" || check "no $section section" false
done

if [ $failures -gt 0 ]; then
  echo "$failures check(s) of the saver's manual page failed" >&2
  exit 1
fi
echo "saver's manual page: word for word as kamishibai --help, with its files"
