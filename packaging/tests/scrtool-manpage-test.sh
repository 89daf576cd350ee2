#!/usr/bin/env bash
# The manual page says what scrtool's help says, all of it: groff reads it
# without a warning, every command of `scrtool --help` has its section, and
# each section, as a reader sees it, holds exactly the words of that
# command's --help in their order (so no paragraph, table row or escaped
# character such as the backslash of "\xNN" is lost or mangled).
#
#   scrtool-manpage-test.sh SCRTOOL MAN_PAGE
set -uo pipefail
scrtool=$1 page=$2
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

check "$page: no manual page header" grep -q '^\.TH SCRTOOL 1 ' "$page"
groff -man -ww -z -Tutf8 "$page" 2>"$work/warnings"
check "groff warns about $page: $(head -3 "$work/warnings")" test ! -s "$work/warnings"

# One very long line per paragraph, no hyphenation, no bold or underlining:
# words can be compared with the help texts.
groff -man -Tascii -P-cbou -rHY=0 -rLL=2000n "$page" >"$work/page.txt" 2>/dev/null

mapfile -t commands < <("$scrtool" --help | awk '/^Commands:/ { listing = 1; next } /^$/ { listing = 0 } listing && /^ +[a-z]/ && !/^    / { print $1 }')
check "scrtool --help lists no command" test ${#commands[@]} -gt 0
for command in "${commands[@]}"; do
  if ! grep -q "^\.SS \"scrtool $command\"$" "$page"; then
    check "no section for '$command'" false
    continue
  fi
  # The section: from its heading to the next heading of either level.
  awk -v heading="   scrtool $command" '
    $0 == heading { inside = 1; next }
    inside && (/^   scrtool [a-z]/ || /^[A-Z]/) { exit }
    inside { print }' "$work/page.txt" | tr -s ' \n' '\n\n' | sed '/^$/d' >"$work/shown"
  "$scrtool" "$command" --help | sed '1s/^usage: //' | tr -s ' \n' '\n\n' | sed '/^$/d' >"$work/expected"
  if ! cmp -s "$work/expected" "$work/shown"; then
    check "the section of '$command' differs from its --help (help < > page):
$(diff "$work/expected" "$work/shown" | head -10)" false
  fi
done

# The exit statuses, which the overview states in its last paragraph.
grep -q '^\.SH "EXIT STATUS"$' "$page" || check "no EXIT STATUS section" false

if [ $failures -gt 0 ]; then
  echo "$failures check(s) of the manual page failed" >&2
  exit 1
fi
echo "manual page: ${#commands[@]} commands, each section word for word as its --help"
