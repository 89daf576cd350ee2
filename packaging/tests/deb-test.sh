#!/usr/bin/env bash
# The .deb as a user gets it: its control fields, its file list, then its
# files unpacked into a scratch folder (dpkg -x: nothing is installed on
# this machine), where the installed programs must run from that folder:
# scrtool says its version, the saver still carries its demo archive after
# stripping, the manual page and bash completion know every command the
# installed scrtool lists, the saver's page kamishibai(6) is there with its
# files, and the installed example packs and speaks of installed paths.
#
#   deb-test.sh PACKAGE.deb
set -uo pipefail
deb=$(realpath "$1")
# shellcheck source=example-checks.sh
source "$(dirname "$0")/example-checks.sh"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

field() { dpkg-deb -f "$deb" "$1"; }
package=$(field Package)
version=$(field Version)
depends=$(field Depends)
upstream=${version%-*}
[ "$package" = kamishibai ] || fail "package name '$package', expected kamishibai"
[[ $upstream =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "version '$version' is not X.Y.Z-RELEASE"
for field_name in Maintainer Section Description Architecture; do
  [ -n "$(field "$field_name")" ] || fail "no $field_name field"
done
long_lines=$(field Description | awk 'length > 80')
[ -z "$long_lines" ] || fail "the description has lines over 80 characters: $long_lines"
# dpkg-shlibdeps ran: the libraries the programs link are dependencies.
dependency_names=" $(sed 's/ *([^)]*)//g; s/,/ /g' <<<"$depends") "
for library_package in libc6 libstdc++6 libsdl2-2.0-0 libx11-6 libjpeg62-turbo libfreetype6 zlib1g; do
  [[ $dependency_names == *" $library_package "* ]] || fail "Depends lacks $library_package: $depends"
done

# Everything under /usr, nothing under /usr/local (that is the admin's).
paths=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
outside=$(grep -vE '^\./(usr/.*)?$' <<<"$paths")
[ -z "$outside" ] || fail "files outside /usr: $outside"
! grep -q '^\./usr/local/' <<<"$paths" || fail "files under /usr/local: $(grep '^\./usr/local/' <<<"$paths" | head -3)"

dpkg -x "$deb" "$root" || { fail "dpkg -x failed"; exit 1; }
scrtool=$root/usr/bin/scrtool
saver=$root/usr/bin/kamishibai
hack=$root/usr/libexec/xscreensaver/kamishibai
man_page=$root/usr/share/man/man1/scrtool.1.gz
saver_page=$root/usr/share/man/man6/kamishibai.6.gz
example=$root/usr/share/doc/kamishibai/examples/minimal
completion=$root/usr/share/bash-completion/completions/scrtool
for file in "$scrtool" "$saver" "$hack"; do
  [ -x "$file" ] || fail "${file#"$root"} is not there as a program"
done
for file in "$man_page" "$saver_page" "$completion" "$root/usr/share/xscreensaver/config/kamishibai.xml" \
            "$root/usr/share/doc/kamishibai/manifest.md" "$root/usr/share/doc/kamishibai/scenario-text.md" \
            "$example/manifest.toml" "$example/README.md"; do
  [ -f "$file" ] || fail "${file#"$root"} is not in the package"
done
[ $failures -eq 0 ] || { echo "$failures check(s) of $deb failed" >&2; exit 1; }

# scrtool from the unpacked folder: "scrtool X.Y.Z", the package's version.
# A scrtool that does not know --version yet (it says so, exit status 2)
# must at least answer --help.
answer=$("$scrtool" --version 2>&1)
status=$?
if [ $status -eq 0 ]; then
  [ "$answer" = "scrtool $upstream" ] || fail "scrtool --version says '$answer', expected 'scrtool $upstream'"
elif [ $status -eq 2 ] && [[ $answer == *"unknown command '--version'"* ]]; then
  echo "note: this scrtool has no --version; checking that --help runs instead"
  [[ $("$scrtool" --help) == "usage: scrtool "* ]] || fail "scrtool --help does not run from the package"
else
  fail "scrtool --version failed ($status): $answer"
fi
answer=$("$saver" --version 2>&1) || fail "kamishibai --version failed: $answer"
[ "$answer" = "kamishibai $upstream" ] || fail "kamishibai --version says '$answer', expected 'kamishibai $upstream'"

# Stripped, and still with the demo archive that the saver plays.
for file in "$scrtool" "$saver"; do
  description=$(file -b "$file")
  [[ $description == *"not stripped"* || $description == *debug_info* ]] && fail "${file#"$root"} is not stripped: $description"
done
"$scrtool" verify "$saver" >/dev/null || fail "the installed saver's archive does not verify"
cmp -s "$saver" "$hack" || fail "the xscreensaver hack differs from ${saver#"$root"}"

# The manual page and completion against the installed scrtool's commands.
mapfile -t commands < <("$scrtool" --help | awk '/^Commands:/ { listing = 1; next } /^$/ { listing = 0 } listing && /^ +[a-z]/ && !/^    / { print $1 }')
[ ${#commands[@]} -gt 0 ] || fail "the installed scrtool lists no command"
gzip -t "$man_page" || fail "${man_page#"$root"} is not a whole gzip file"
page=$(gzip -dc "$man_page")
[[ $page == *".TH SCRTOOL 1 "* ]] || fail "${man_page#"$root"} has no manual page header"
offered=$(bash -c 'source "$1" && complete -p scrtool >/dev/null && printf "%s" "$_scrtool_commands"' _ "$completion") ||
  fail "${completion#"$root"} does not load or does not complete scrtool"
for command in "${commands[@]}"; do
  [[ $page == *".SS \"scrtool $command\""* ]] || fail "the manual page has no section for '$command'"
  [[ " $offered " == *" $command "* ]] || fail "the completion does not offer '$command'"
done

# The saver's page (saver-manpage-test.sh checks it word for word against
# the help at build time): whole, and naming the files the saver reads.
gzip -t "$saver_page" || fail "${saver_page#"$root"} is not a whole gzip file"
saver_page_text=$(gzip -dc "$saver_page")
[[ $saver_page_text == *".TH KAMISHIBAI 6 "* ]] || fail "${saver_page#"$root"} has no manual page header"
for file in kamishibai/show.brsc kamishibai/kt5_scr2.ini SC_TEST.brsc; do
  [[ $saver_page_text == *"$file"* ]] || fail "${saver_page#"$root"} does not name $file"
done

check_example "$example" "$scrtool" "$root/example-check"
[[ $(<"$example/README.md") == *"/usr/share/doc/kamishibai/examples/minimal"* ]] ||
  fail "${example#"$root"}/README.md does not say where the example is installed"

if [ $failures -gt 0 ]; then
  echo "$failures check(s) of $deb failed" >&2
  exit 1
fi
echo "$(basename "$deb"): $package $version, $(dpkg-deb -c "$deb" | grep -vc '/$') files; programs run from the" \
     "unpacked package; manual pages, completion (${#commands[@]} commands) and the example checked"
echo "  Depends: $depends"
