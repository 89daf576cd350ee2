#!/usr/bin/env bash
# Writes the saver's manual page, kamishibai(6), from what the built saver
# says about itself (`kamishibai --help`), so that an option or a file added
# to the help reaches the page with the next build.
#
#   make-saver-manpage.sh SAVER VERSION MAN_PAGE
#
# The help is read by its shape:
#   - a usage block first: "usage: kamishibai ..." and the lines under it up
#     to the first blank line (SYNOPSIS);
#   - paragraphs separated by blank lines. "Options:" and "Files:" open
#     lists of "  TERM   TEXT" items, TEXT going on in lines indented deeper
#     (a long TERM may stand alone on its line); they become OPTIONS and
#     FILES. "Exit status: ..." becomes EXIT STATUS. Every other paragraph
#     is DESCRIPTION: lines at the left margin are running text, indented
#     ones are kept as they stand. The description's first clause, up to
#     ":" or ".", is the page's one-line summary.
# A help that fails, has no usage block or no options stops the build with a
# message rather than installing a page that lost them.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 SAVER VERSION MAN_PAGE" >&2
  exit 2
fi
saver=$1 version=$2 man_page=$3

fail() {
  echo "make-saver-manpage: $*" >&2
  exit 1
}

help=$("$saver" --help) || fail "'$saver --help' failed"
[[ $help == usage:* ]] || fail "'$saver --help' does not start with a usage line"
program=$(basename "$saver")
program=${program%-bare}

# ---------------------------------------------------------------------------
# Writing roff.

# shellcheck source=lib/roff.sh
source "$(dirname "$0")/lib/roff.sh"

# Words with the program and options in bold and placeholders (WxH, FILE,
# on|off) in italics; spacing and brackets as they are.
marked_roff() {
  local rest=$1 out="" spaces word core
  while [[ $rest =~ ^(\ *)([^ ]+)(.*)$ ]]; do
    spaces=${BASH_REMATCH[1]} word=${BASH_REMATCH[2]} rest=${BASH_REMATCH[3]}
    split_word "$word"
    core=$(roff "$word_core")
    if [[ $word_core == -* || $word_core == "$program" ]]; then
      core="\\fB$core\\fR"
    elif [[ $word_core =~ ^[A-Z][A-Za-z0-9_]*$ || $word_core =~ ^[a-z]+(\|[a-z]+)+$ ]]; then
      core="\\fI$core\\fR"
    fi
    out+="$spaces$(roff "$word_lead")$core$(roff "$word_trail")"
  done
  printf '%s' "$out"
}

# A list paragraph's items ("  TERM   TEXT", TEXT going on deeper) as
# tagged paragraphs; KIND "options" marks up the terms as options, "files"
# sets them in italics.
item_regex='^  ([^ ]+( [^ ]+)*)( {2,}(.*))?$'
list_roff() {
  local kind=$1 line term="" text=""
  shift
  flush_item() {
    [ -n "$term" ] || return 0
    echo .TP
    if [ "$kind" = files ]; then
      echo "\\fI$(roff "$term")\\fR"
    else
      marked_roff "$term"
      echo
    fi
    roff "$text"
    echo
  }
  for line in "$@"; do
    if [[ $line =~ ^\ {3,}(.*)$ ]]; then
      [ -n "$term" ] || fail "a list line with no item above it: '$line'"
      text+="${text:+ }${BASH_REMATCH[1]}"
    elif [[ $line =~ $item_regex ]]; then
      local next_term=${BASH_REMATCH[1]} next_text=${BASH_REMATCH[4]}
      flush_item
      term=$next_term text=$next_text
    else
      fail "cannot read the list line '$line'"
    fi
  done
  flush_item
}

# ---------------------------------------------------------------------------
# Reading the help.

mapfile -t lines <<<"$help"
usage_lines=()
index=0
while [ $index -lt ${#lines[@]} ] && [ -n "${lines[index]}" ]; do
  usage_lines+=("${lines[index]/#usage: /       }")
  index=$((index + 1))
done

description=() options=() files=() exit_status=""
paragraph=()
flush_paragraph() {
  [ ${#paragraph[@]} -gt 0 ] || return 0
  case ${paragraph[0]} in
    Options:) options+=("${paragraph[@]:1}") ;;
    Files:) files+=("${paragraph[@]:1}") ;;
    "Exit status:"*)
      exit_status="${paragraph[*]}"
      exit_status=${exit_status#Exit status: } ;;
    *) description+=("${paragraph[@]}" "") ;;
  esac
  paragraph=()
}
for line in "${lines[@]:index}"; do
  if [ -z "$line" ]; then flush_paragraph; else paragraph+=("$line"); fi
done
flush_paragraph
[ ${#options[@]} -gt 0 ] || fail "no \"Options:\" list in '$program --help'"

summary=$(page_summary "slide-show screen saver" "${description[@]}")

# ---------------------------------------------------------------------------
# The manual page.

{
  echo ".\\\" Made at build time from $program --help; changes belong in that text."
  echo ".TH ${program^^} 6 \"\" \"$program $version\" \"Kamishibai\""
  echo ".SH NAME"
  echo "$program \\- $(roff "$summary")"
  echo ".SH SYNOPSIS"
  echo .nf
  indent=""
  [[ ${usage_lines[0]} =~ ^(\ *) ]] && indent=${BASH_REMATCH[1]}
  for line in "${usage_lines[@]}"; do
    marked_roff "${line#"$indent"}"
    echo
  done
  echo .fi
  echo ".SH DESCRIPTION"
  body_roff "${description[@]}"
  echo ".SH OPTIONS"
  list_roff options "${options[@]}"
  if [ ${#files[@]} -gt 0 ]; then
    echo ".SH FILES"
    list_roff files "${files[@]}"
  fi
  if [ -n "$exit_status" ]; then
    echo ".SH \"EXIT STATUS\""
    roff "${exit_status^}"
    echo
  fi
  echo ".SH \"SEE ALSO\""
  echo ".BR scrtool (1),"
  echo ".BR xscreensaver (1)"
} >"$man_page.partial"
mv "$man_page.partial" "$man_page"
