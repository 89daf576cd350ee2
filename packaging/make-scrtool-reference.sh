#!/usr/bin/env bash
# Writes scrtool's manual page and its bash completion from what the built
# scrtool says about itself: the overview (`scrtool --help`) and each
# command's own help (`scrtool COMMAND --help`). Neither is kept by hand, so
# a command or an option added to the help texts reaches both with the next
# build, and one that is removed leaves them.
#
#   make-scrtool-reference.sh SCRTOOL VERSION MAN_PAGE COMPLETION
#
# The help texts are read by their shape, which every one of them keeps:
#   - a usage block first: "usage: scrtool ..." and further lines, each
#     either another form ("       scrtool ...") or the continuation of the
#     form above it (indented deeper), up to the first blank line;
#   - then paragraphs separated by blank lines, in which lines at the left
#     margin are running text and indented lines are laid out by hand
#     (tables, examples) and must stay as they are;
#   - in the overview, a "Commands:" paragraph of "  NAME  SUMMARY" lines
#     and an "Exit status: ..." paragraph.
# In a usage form an option followed by a placeholder takes a value
# ("--size WxH", "-o OUT", "--sound on|off"); one followed by nothing, by
# another option or closing its brackets ("[--force]") does not. Words that
# are neither options nor their values are the positional arguments.
#
# Anything else (no usage block, no commands, a help that fails) stops the
# build with a message rather than installing a page that lost a command.
set -euo pipefail
# shellcheck source=lib/roff.sh
source "$(dirname "$0")/lib/roff.sh"

if [ $# -ne 4 ]; then
  echo "usage: $0 SCRTOOL VERSION MAN_PAGE COMPLETION" >&2
  exit 2
fi
scrtool=$1 version=$2 man_page=$3 completion=$4
declare -A option_kind=()

fail() {
  echo "make-scrtool-reference: $*" >&2
  exit 1
}

help_of() {  # [COMMAND] -> the help text on stdout
  local text
  if ! text=$("$scrtool" "$@" --help); then
    fail "'scrtool $* --help' failed"
  fi
  [[ $text == usage:* ]] || fail "'scrtool $* --help' does not start with a usage line"
  printf '%s\n' "$text"
}

# ---------------------------------------------------------------------------
# Reading a help text.

# Splits the help text in $1 into usage_lines (the usage block, "usage: "
# replaced by spaces of the same width so that continuations keep their
# alignment) and body_lines (everything after it, blank lines included).
split_help() {
  local -a lines
  mapfile -t lines <<<"$1"
  usage_lines=() body_lines=()
  local i=0
  while [ $i -lt ${#lines[@]} ] && [ -n "${lines[i]}" ]; do
    usage_lines+=("${lines[i]/#usage: /       }")
    i=$((i + 1))
  done
  body_lines=("${lines[@]:i}")
}

# What a placeholder stands for, as the completion offers it: a choice of
# words ("on|off"), a file, a folder, or something to type (a number, a size).
placeholder_kind() {
  case $1 in
    *'|'*) echo "choice ${1//|/ }" ;;
    *:*) echo word ;;  # MS:OUT: a time before the file name
    # A FOLDER as pack's and init's first argument: pack takes a manifest
    # file there as well, and file completion offers folders too.
    *ARCHIVE | *OUT | *EXE | *FILE | *MANIFEST | *FOLDER) echo file ;;
    *DIR) echo dir ;;
    *) echo word ;;
  esac
}

# Reads the usage block of COMMAND ($1) into the globals
#   options            every option, in order of appearance, --help last
#   option_kind[NAME]  flag, or the kind of its value
#   arguments          the kinds of the positional arguments of the first form
read_usage() {
  local command=$1
  options=() arguments=()
  option_kind=()
  local -a words
  local form=0 line i count
  for line in "${usage_lines[@]}"; do
    read -r -a words <<<"$line"
    [ ${#words[@]} -gt 0 ] || continue
    i=0
    if [ "${words[0]}" = scrtool ]; then
      form=$((form + 1))
      i=1
      [ -n "$command" ] && [ "${words[1]:-}" = "$command" ] && i=2
    fi
    count=${#words[@]}
    while [ $i -lt "$count" ]; do
      split_word "${words[i]}"
      if [[ $word_core == -* ]]; then
        local name=$word_core kind=flag
        if [ -z "$word_trail" ] && [ $((i + 1)) -lt "$count" ]; then
          split_word "${words[i + 1]}"
          if [ -z "$word_lead" ] && [[ $word_core != -* ]]; then
            kind=$(placeholder_kind "$word_core")
            i=$((i + 1))
          fi
        fi
        if [ -z "${option_kind[$name]+set}" ]; then
          options+=("$name")
          option_kind[$name]=$kind
        fi
      elif [ "$form" -le 1 ] && [ -z "$word_lead" ] && [[ $word_core =~ ^[A-Z] ]]; then
        arguments+=("$(placeholder_kind "$word_core")")
      fi
      i=$((i + 1))
    done
  done
  if [ -n "$command" ] && [ -z "${option_kind[--help]+set}" ]; then
    options+=(--help)
    option_kind[--help]=flag
  fi
}

# ---------------------------------------------------------------------------
# Writing roff.

# One usage line as roff for no-fill mode: the command in bold, options in
# bold, placeholders in italics, brackets and spacing as they are.
usage_roff() {
  local rest=$1 command=$2 out="" spaces word previous=""
  while [[ $rest =~ ^(\ *)([^ ]+)(.*)$ ]]; do
    spaces=${BASH_REMATCH[1]} word=${BASH_REMATCH[2]} rest=${BASH_REMATCH[3]}
    split_word "$word"
    local core
    core=$(roff "$word_core")
    if [[ $word_core == -* || $word_core == scrtool || ( -n $command && $word_core == "$command" ) ||
          ( $previous == scrtool && $word_core =~ ^[a-z][a-z0-9-]*$ ) ]]; then
      core="\\fB$core\\fR"
    elif [[ $word_core =~ ^[A-Z][A-Za-z0-9_:]*$ ]]; then
      core="\\fI$core\\fR"
    fi
    out+="$spaces$(roff "$word_lead")$core$(roff "$word_trail")"
    previous=$word_core
  done
  printf '%s\n' "$out"
}

usage_block_roff() {  # COMMAND
  local line indent=""
  # The block's own left margin (that of "usage: ") is dropped.
  [[ ${usage_lines[0]} =~ ^(\ *) ]] && indent=${BASH_REMATCH[1]}
  echo .nf
  for line in "${usage_lines[@]}"; do
    usage_roff "${line#"$indent"}" "$1"
  done
  echo .fi
}

# ---------------------------------------------------------------------------
# The overview: description, commands, exit status.

split_help "$(help_of)"
overview_usage=("${usage_lines[@]}")
read_usage ""
top_options=("${options[@]}")
# The overview comes from --help, so that one is there whatever the usage says.
[[ " ${top_options[*]} " == *" --help "* ]] || top_options+=(--help)

# Words of the tool's own that are not commands ("scrtool help [COMMAND]"),
# with the kinds of the arguments their usage form gives them; COMMAND
# stands for a command's name.
top_words=() top_word_arguments=()
for line in "${overview_usage[@]}"; do
  read -r -a words <<<"$line"
  [ "${words[0]:-}" = scrtool ] && [[ ${words[1]:-} =~ ^[a-z][a-z0-9-]*$ ]] || continue
  top_words+=("${words[1]}")
  index=0
  for word in "${words[@]:2}"; do
    split_word "$word"
    if [ "$word_core" = COMMAND ]; then
      top_word_arguments+=("${words[1]} $index command")
    elif [[ $word_core =~ ^[A-Z] ]]; then
      top_word_arguments+=("${words[1]} $index $(placeholder_kind "$word_core")")
    else
      continue
    fi
    index=$((index + 1))
  done
done

commands=() summaries=() description=() exit_status=""
paragraph=()
flush_paragraph() {
  [ ${#paragraph[@]} -gt 0 ] || return 0
  if [ "${paragraph[0]}" = "Commands:" ]; then
    local line
    for line in "${paragraph[@]:1}"; do
      if [[ $line =~ ^\ {1,3}([a-z][a-z0-9-]*)\ +(.*)$ ]]; then
        commands+=("${BASH_REMATCH[1]}")
        summaries+=("${BASH_REMATCH[2]}")
      elif [[ $line =~ ^\ {1,3}(-[-a-z]+) ]]; then
        # An option of the tool itself among the commands.
        [[ " ${top_options[*]} " == *" ${BASH_REMATCH[1]} "* ]] || top_options+=("${BASH_REMATCH[1]}")
      elif [[ $line =~ ^\ {4,}(.*)$ ]] && [ ${#summaries[@]} -gt 0 ]; then
        # A summary that goes on over more lines.
        summaries[-1]+=" ${BASH_REMATCH[1]}"
      else
        fail "overview: cannot read the command line '$line'"
      fi
    done
  elif [[ ${paragraph[0]} == "Exit status:"* ]]; then
    exit_status="${paragraph[*]}"
    exit_status=${exit_status#Exit status: }
  else
    description+=("${paragraph[@]}" "")
  fi
  paragraph=()
}
for line in "${body_lines[@]}"; do
  if [ -z "$line" ]; then flush_paragraph; else paragraph+=("$line"); fi
done
flush_paragraph
[ ${#commands[@]} -gt 0 ] || fail "overview: no \"Commands:\" list in 'scrtool --help'"

summary=$(page_summary "work with resource archives" "${description[@]}")

# ---------------------------------------------------------------------------
# The manual page.

{
  echo ".\\\" Made at build time from scrtool's help texts; changes belong in those."
  echo ".TH SCRTOOL 1 \"\" \"scrtool $version\" \"Kamishibai\""
  echo ".SH NAME"
  echo "scrtool \\- $(roff "$summary")"
  echo ".SH SYNOPSIS"
  usage_lines=("${overview_usage[@]}")
  usage_block_roff ""
  echo ".SH DESCRIPTION"
  body_roff "${description[@]}"
  echo ".SH COMMANDS"
  # Wide enough for the longest name, so that every summary starts on its
  # command's line.
  width=0
  for command in "${commands[@]}"; do
    [ ${#command} -gt $width ] && width=${#command}
  done
  for index in "${!commands[@]}"; do
    echo ".TP $((width + 2))"
    echo ".B ${commands[index]}"
    roff "${summaries[index]}"
    echo
  done
  for command in "${commands[@]}"; do
    split_help "$(help_of "$command")"
    echo ".SS \"scrtool $command\""
    usage_block_roff "$command"
    body_roff "${body_lines[@]}"
  done
  if [ -n "$exit_status" ]; then
    echo ".SH \"EXIT STATUS\""
    roff "${exit_status^}"
    echo
  fi
} >"$man_page.partial"

# ---------------------------------------------------------------------------
# The bash completion.

quote_case() {  # a case pattern or a value, single-quoted
  printf "'%s'" "${1//\'/\'\\\'\'}"
}

{
  cat <<EOF
# bash completion for scrtool $version                       -*- shell-script -*-
# Made at build time from scrtool's help texts; changes belong in those.

_scrtool_commands=$(quote_case "${commands[*]}")
_scrtool_top_words=$(quote_case "${top_words[*]} ${top_options[*]}")

# The options of command \$1, in REPLY.
_scrtool_options()
{
    case \$1 in
EOF
  for command in "${commands[@]}"; do
    split_help "$(help_of "$command")"
    read_usage "$command"
    echo "        $(quote_case "$command")) REPLY=$(quote_case "${options[*]}") ;;"
  done
  cat <<'EOF'
        *) REPLY='' ;;
    esac
}

# What option $2 of command $1 takes, in REPLY: flag (no value), file, dir,
# word (typed, nothing to offer) or "choice WORD...".
_scrtool_option_value()
{
    case "$1 $2" in
EOF
  for command in "${commands[@]}"; do
    split_help "$(help_of "$command")"
    read_usage "$command"
    for option in "${options[@]}"; do
      [ "${option_kind[$option]}" = flag ] && continue
      echo "        $(quote_case "$command $option")) REPLY=$(quote_case "${option_kind[$option]}") ;;"
    done
  done
  cat <<'EOF'
        *) REPLY=flag ;;
    esac
}

# What positional argument $2 (from 0) of command $1 is, in REPLY: file,
# dir, word, "choice WORD...", command (a command's name), or "none" past
# the last one.
_scrtool_argument()
{
    case "$1 $2" in
EOF
  for command in "${commands[@]}"; do
    split_help "$(help_of "$command")"
    read_usage "$command"
    for index in "${!arguments[@]}"; do
      echo "        $(quote_case "$command $index")) REPLY=$(quote_case "${arguments[index]}") ;;"
    done
  done
  for entry in "${top_word_arguments[@]}"; do
    read -r word index kind <<<"$entry"
    echo "        $(quote_case "$word $index")) REPLY=$(quote_case "$kind") ;;"
  done
  cat <<'EOF'
        *) REPLY=none ;;
    esac
}

_scrtool_offer()  # KIND CURRENT-WORD
{
    case $1 in
        file)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$2") ;;
        dir)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$2") ;;
        choice\ *)
            mapfile -t COMPREPLY < <(compgen -W "${1#choice }" -- "$2") ;;
        command)
            mapfile -t COMPREPLY < <(compgen -W "$_scrtool_commands" -- "$2") ;;
        *)
            COMPREPLY=() ;;
    esac
}

_scrtool()
{
    local current=${COMP_WORDS[COMP_CWORD]} REPLY
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        _scrtool_offer "choice $_scrtool_commands $_scrtool_top_words" "$current"
        return 0
    fi
    # The words between the command and the cursor: an option that takes a
    # value uses up the next word, "--" ends the options, the rest are the
    # positional arguments.
    local command=${COMP_WORDS[1]} index=2 argument=0 options_ended=0 word
    while ((index < COMP_CWORD)); do
        word=${COMP_WORDS[index]}
        if ((!options_ended)) && [[ $word == -- ]]; then
            options_ended=1
        elif ((!options_ended)) && [[ $word == -?* ]]; then
            _scrtool_option_value "$command" "$word"
            if [[ $REPLY != flag ]]; then
                # "--size=WxH" comes as three words: bash breaks at "=".
                [[ ${COMP_WORDS[index + 1]-} == = ]] && ((index++))
                if ((index + 1 == COMP_CWORD)); then
                    _scrtool_offer "$REPLY" "$current"
                    return 0
                fi
                ((index++))
            fi
        else
            ((argument++))
        fi
        ((index++))
    done
    if ((!options_ended)) && [[ $current == -* ]]; then
        _scrtool_options "$command"
        _scrtool_offer "choice $REPLY" "$current"
        return 0
    fi
    _scrtool_argument "$command" "$argument"
    if [[ $REPLY == none ]] && ((!options_ended)); then
        # Every positional argument is there: what is left are options.
        _scrtool_options "$command"
        REPLY="choice $REPLY"
    fi
    _scrtool_offer "$REPLY" "$current"
    return 0
}
complete -F _scrtool scrtool
EOF
} >"$completion.partial"

bash -n "$completion.partial" || fail "the completion written is not valid bash"
mv "$man_page.partial" "$man_page"
mv "$completion.partial" "$completion"
