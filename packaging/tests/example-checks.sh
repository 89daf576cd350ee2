# shellcheck shell=bash
# The minimal example as a package installs it, checked the same way for
# the .deb and the .zip (sourced by their tests, which define fail):
#
#   check_example FOLDER SCRTOOL WORK
#
# FOLDER's README.md speaks of the package's own folders, never of a build
# tree, and every relative link in it leads to a file that is there; a copy
# of FOLDER (installed folders are read-only) made in WORK packs with
# SCRTOOL into an archive that verifies.
check_example() {
  local folder=$1 scrtool=$2 work=$3 readme=$1/README.md
  if [ ! -f "$readme" ]; then
    fail "$readme is not there"
    return
  fi
  local built
  built=$(grep -n 'build/' "$readme")
  [ -z "$built" ] || fail "$readme speaks of a build tree: $built"
  local target
  while IFS= read -r target; do
    target=${target%%#*}
    [ -n "$target" ] || continue
    [[ $target == *://* ]] && continue
    [ -e "$folder/$target" ] || fail "$readme links to $target, which is not there"
  done < <(grep -o '](\([^)]*\))' "$readme" | sed 's/^](//; s/)$//')
  mkdir -p "$work"
  cp -r "$folder" "$work/example"
  "$scrtool" pack "$work/example/manifest.toml" -o "$work/example.brsc" >"$work/pack.log" 2>&1 ||
    fail "the example does not pack: $(head -3 "$work/pack.log")"
  "$scrtool" verify "$work/example.brsc" >/dev/null 2>&1 || fail "the example's archive does not verify"
}
