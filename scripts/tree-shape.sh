#!/usr/bin/env bash
# The shape of the source tree, for reviewing a restructuring: the largest
# source files, then the include graph between folders (an edge "a -> b 12"
# is twelve #include lines in a/ that name a header of b/). Reads only
# tracked files, so the build folder and its Wine prefix are never walked.
set -euo pipefail
cd "$(dirname "$0")/.."
most="${1:-15}"
mapfile -t sources < <(git ls-files -- '*.cpp' '*.h' '*.sh' | grep -v '^fuzz/corpus/')
echo "## Largest files (lines)"
wc -l "${sources[@]}" | grep -v ' total$' | sort -rn | head -n "$most"
echo
echo "## Include graph between folders (#include lines)"
# A folder is the first path component, or the first two under shell/,
# platform/ and tools/, where the subfolders are separate layers.
folder_of() {
  case "$1" in
    shell/*/*|platform/*/*|tools/*/*|tests/*/*) echo "$1" | cut -d/ -f1-2 ;;
    */*) echo "${1%%/*}" ;;
    *) echo "." ;;
  esac
}
declare -A header_home
while read -r header; do
  header_home["$header"]="$(folder_of "$header")"
done < <(git ls-files -- '*.h')
declare -A edges
for file in "${sources[@]}"; do
  [[ "$file" == *.sh ]] && continue
  from="$(folder_of "$file")"
  while read -r included; do
    to="${header_home[$included]:-}"
    if [[ -z "$to" ]]; then
      # An include relative to the including file's own folder.
      to="${header_home[$(dirname "$file")/$included]:-}"
    fi
    [[ -z "$to" || "$to" == "$from" ]] && continue
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done
for edge in "${!edges[@]}"; do
  echo "$edge ${edges[$edge]}"
done | sort
