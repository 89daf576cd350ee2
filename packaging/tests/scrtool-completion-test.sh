#!/usr/bin/env bash
# The bash completion offers what scrtool's help lists: every command of
# `scrtool --help`, and for each command every option of its usage lines;
# the values of options that have a fixed set; files, folders or nothing
# where the usage names a file, a folder or something to type.
#
#   scrtool-completion-test.sh SCRTOOL COMPLETION
#
# The completion function is called as bash calls it on Tab, with
# COMP_WORDS and COMP_CWORD set, in a scratch folder with known files.
set -uo pipefail
scrtool=$(realpath "$1")
completion=$(realpath "$2")
failures=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
touch show.brsc manifest.toml
mkdir out

# shellcheck disable=SC1090
source "$completion" || { echo "FAIL: $completion does not load" >&2; exit 1; }
[[ $(complete -p scrtool 2>/dev/null) == *"-F _scrtool scrtool"* ]] || {
  echo "FAIL: $completion does not register a completion for scrtool" >&2
  exit 1
}

# complete WORD... : what Tab offers after these words (the last one is the
# word being typed, "" for a fresh one), sorted, one per line.
complete_words() {
  COMP_WORDS=(scrtool "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _scrtool scrtool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

expect_offer() {  # EXPECTED (lines) -- WORD...
  local expected=$1
  shift 2
  local offered
  offered=$(complete_words "$@")
  if [ "$offered" != "$(printf '%s' "$expected" | sed '/^$/d' | sort)" ]; then
    echo "FAIL: scrtool $* <Tab> offers [${offered//$'\n'/ }], expected [${expected//$'\n'/ }]" >&2
    failures=$((failures + 1))
  fi
}

expect_included() {  # WANTED -- WORD...
  local wanted=$1
  shift 2
  if ! complete_words "$@" | grep -qxF -- "$wanted"; then
    echo "FAIL: scrtool $* <Tab> does not offer $wanted" >&2
    failures=$((failures + 1))
  fi
}

mapfile -t commands < <("$scrtool" --help | awk '/^Commands:/ { listing = 1; next } /^$/ { listing = 0 } listing && /^ +[a-z]/ && !/^    / { print $1 }')
if [ ${#commands[@]} -eq 0 ]; then
  echo "FAIL: scrtool --help lists no command" >&2
  exit 1
fi

# Words of the tool's own from the overview's usage lines ("scrtool help
# [COMMAND]").
mapfile -t top_words < <("$scrtool" --help | sed -n '1,/^$/p' | sed 's/^usage://' |
                         awk '$1 == "scrtool" && $2 ~ /^[a-z]/ { print $2 }')

# The first word: every command, and nothing but commands, the tool's own
# words and options.
for command in "${commands[@]}"; do
  expect_included "$command" -- ""
done
while read -r offered; do
  if [[ $offered != -* ]] && ! printf '%s\n' "${commands[@]}" "${top_words[@]}" | grep -qxF -- "$offered"; then
    echo "FAIL: scrtool <Tab> offers '$offered', which scrtool --help does not list" >&2
    failures=$((failures + 1))
  fi
done < <(complete_words "")
expect_included --help -- ""
for word in "${top_words[@]}"; do
  expect_included "$word" -- ""
done
# "scrtool help COMMAND": the commands' names.
if printf '%s\n' "${top_words[@]}" | grep -qx help; then
  expect_offer "$(printf '%s\n' "${commands[@]}")" -- help ""
fi
if printf '%s\n' "${commands[@]}" | grep -qx cat; then
  expect_offer "$(printf '%s\n' "${commands[@]}" | grep '^c')" -- c
fi

# Each command's options, as its usage lines write them.
options_total=0
for command in "${commands[@]}"; do
  mapfile -t options < <("$scrtool" "$command" --help | sed -n '1,/^$/p' |
                         grep -oE -- '(^|[[ ])--?[a-z][a-z-]*' | sed 's/^[[ ]*//' | sort -u)
  options+=(--help)
  for option in "${options[@]}"; do
    expect_included "$option" -- "$command" -
    options_total=$((options_total + 1))
  done
done

# Values and arguments.
if printf '%s\n' "${commands[@]}" | grep -qx play; then
  expect_offer $'on\noff' -- play show.brsc --sound ""
  expect_offer $'all\nnone' -- play show.brsc --events ""
  expect_offer "" -- play show.brsc --size ""
  expect_offer "" -- play show.brsc --size 640x480 --until ""
  expect_included --until -- play show.brsc --size 640x480 ""
  expect_offer "show.brsc" -- play sh
  expect_offer "" -- play show.brsc --seed = 3 --until ""  # bash breaks "--seed=3" at "="
fi
if printf '%s\n' "${commands[@]}" | grep -qx verify; then
  expect_offer $'manifest.toml\nout\nshow.brsc' -- verify ""
  expect_offer "" -- verify -- show.brsc ""
fi
if printf '%s\n' "${commands[@]}" | grep -qx cat; then
  expect_offer "" -- cat show.brsc ""  # the group tag is typed
fi
if printf '%s\n' "${commands[@]}" | grep -qx unpack; then
  expect_offer "out" -- unpack show.brsc ""
fi
if printf '%s\n' "${commands[@]}" | grep -qx pack; then
  expect_offer "manifest.toml" -- pack ma
  expect_offer "show.brsc" -- pack manifest.toml -o sh
fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) of the bash completion failed" >&2
  exit 1
fi
echo "bash completion: ${#commands[@]} commands and their $options_total options offered"
