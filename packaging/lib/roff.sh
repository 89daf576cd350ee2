# Writing roff from help texts: what the manual page generators share
# (make-scrtool-reference.sh, make-saver-manpage.sh). Sourced, not run.

# Text as roff reads it literally: backslashes, hyphens (an option's "-"
# must stay the ASCII one a reader can copy), tildes and carets escaped,
# and a control character at the start of a line defused.
roff() {
  local text=${1//\\/\\e}
  text=${text//-/\\-}
  text=${text//\~/\\(ti}
  text=${text//^/\\(ha}
  [[ $text == [.\']* ]] && text="\\&$text"
  printf '%s' "$text"
}

# A word of a usage form or an option's name with its brackets taken off:
# lead ("[" before it), core and trail ("]" and "..." after it).
core_regex='^(\[*)(.*[^].[])([].]*)$'
split_word() {
  if [[ $1 =~ $core_regex ]]; then
    word_lead=${BASH_REMATCH[1]} word_core=${BASH_REMATCH[2]} word_trail=${BASH_REMATCH[3]}
  else
    word_lead="" word_core=$1 word_trail=""
  fi
}

# Paragraphs of body text: running text is filled, indented lines are kept
# as they stand.
body_roff() {
  local line mode=none
  for line in "$@"; do
    if [ -z "$line" ]; then
      [ "$mode" = verbatim ] && echo .fi
      mode=none
    elif [[ $line == ' '* ]]; then
      if [ "$mode" != verbatim ]; then
        [ "$mode" = none ] && echo .PP
        echo .nf
        mode=verbatim
      fi
      roff "$line"
      echo
    else
      if [ "$mode" = verbatim ]; then
        echo .fi
      elif [ "$mode" = none ]; then
        echo .PP
      fi
      mode=text
      roff "$line"
      echo
    fi
  done
  if [ "$mode" = verbatim ]; then echo .fi; fi
}

# The page's one-line summary (NAME section): the first clause, up to ":"
# or ".", of the description's first paragraph (the lines given up to the
# first empty one), starting in lower case; FALLBACK when there is none.
#   page_summary FALLBACK LINE...
page_summary() {
  local fallback=$1 line first_paragraph="" summary
  shift
  for line in "$@"; do
    [ -z "$line" ] && break
    first_paragraph+="${first_paragraph:+ }$line"
  done
  summary=${first_paragraph%%[:.]*}
  summary="$(tr '[:upper:]' '[:lower:]' <<<"${summary:0:1}")${summary:1}"
  printf '%s' "${summary:-$fallback}"
}
