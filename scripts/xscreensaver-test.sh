#!/usr/bin/env bash
# The screen-saver daemon runs the installed Linux saver as one of its hacks,
# set up as README.md says: `cmake --install` into a fresh prefix, the hack
# named in the `programs:` list of ~/.xscreensaver. On a private Xvfb screen
# the daemon is started and told to blank now; the picture in its window
# must equal scrtool's placement of the demo's first picture, pixel for
# pixel, and when the daemon stops, the hack must be gone.
#
#   scripts/xscreensaver-test.sh
#
# Needs the linux preset built and xscreensaver installed (scripts/
# install-deps.sh). The daemon launches no hacks for root, so as root it
# runs as the user nobody. Logs and the screenshot stay in
# build/xscreensaver-test/.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
out=$root/build/xscreensaver-test
scrtool=$root/build/linux/tools/scrtool/scrtool
demo=$root/build/linux/demo.brsc
for tool in xscreensaver xscreensaver-command Xvfb import compare; do
  command -v "$tool" >/dev/null || { echo "xscreensaver-test: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
[ -x "$scrtool" ] && [ -f "$demo" ] || { echo "xscreensaver-test: build the linux preset first" >&2; exit 2; }

rm -rf "$out" && mkdir -p "$out"
# Outside the build tree, so that the user nobody can read it.
work=$(mktemp -d /tmp/kamishibai-xscreensaver.XXXXXX)
chmod 755 "$work"
prefix=$work/prefix
home=$work/home
# shellcheck source=lib/xvfb.sh
source "$root/scripts/lib/xvfb.sh"
xvfb_pid=
daemon_pid=
cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  pkill -KILL -f "$prefix/" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL xscreensaver: $1"; exit 1; }

cmake --install build/linux --prefix "$prefix" >"$out/install.log" 2>&1 || fail "cmake --install failed"
[ -x "$prefix/libexec/xscreensaver/kamishibai" ] || fail "no libexec/xscreensaver/kamishibai installed"
[ -f "$prefix/share/xscreensaver/config/kamishibai.xml" ] || fail "no settings description installed"

mkdir -p "$home"
cat >"$home/.xscreensaver" <<'SETTINGS'
mode:		one
selected:	0
lock:		False
splash:		False
fade:		False
unfade:		False
timeout:	0:30:00
programs:								      \
				kamishibai --root			    \n\

SETTINGS
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$home"
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
else
  as_user() { "$@"; }
fi
chmod -R a+rX "$prefix"

start_xvfb 1024x768 "$out" || fail "could not start Xvfb"
# The daemon looks for its hacks on PATH; the libexec folder is where it
# looks on an installed system.
run() {
  as_user env HOME="$home" PATH="$prefix/libexec/xscreensaver:$PATH" DISPLAY="$DISPLAY" \
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$@"
}
run xscreensaver -no-splash >"$out/daemon.log" 2>&1 &
daemon_pid=$!
deadline=$(($(now_ms) + 10000))
until run xscreensaver-command -time >/dev/null 2>&1; do
  [ "$(now_ms)" -lt "$deadline" ] || fail "the daemon did not answer (see $out/daemon.log)"
  sleep 0.2
done

"$scrtool" play "$demo" --size 1024x768 --until 30000 --sound off >"$out/play.txt" 2>/dev/null
picture=$(awk '$2 == "show" { print $3; exit }' "$out/play.txt")
still_at=$(awk '$2 == "show" { shown = 1 } shown && $2 == "finish" { print $1; exit }' "$out/play.txt")
next_at=$(awk '$2 == "show" { n++ } n == 2 { print $1; exit }' "$out/play.txt")
"$scrtool" picture "$demo" "$picture" "$out/expected.png" --place 1024x768 >/dev/null 2>&1

run xscreensaver-command -activate >/dev/null 2>&1 || fail "the daemon refused to blank"
started=$(now_ms)
deadline=$((started + 10000))
until pgrep -f "kamishibai --root" >/dev/null; do
  [ "$(now_ms)" -lt "$deadline" ] || fail "the daemon started no hack (see $out/daemon.log)"
  sleep 0.1
done
# The first picture stands still from its transition's end to the next
# picture; the daemon's own start of the hack comes on top.
sleep "$(awk -v ms="$((still_at + 1500))" 'BEGIN { printf "%.3f", ms / 1000 }')"
import -window root "$out/shot.png"
[ $(($(now_ms) - started)) -lt "${next_at:-30000}" ] || fail "too late for a still picture"
differing=$(compare -metric AE "$out/shot.png" "$out/expected.png" "$out/diff.png" 2>&1 >/dev/null)
[ "$differing" = "0" ] || fail "$differing pixels differ from scrtool's picture $picture (see $out)"

run xscreensaver-command -exit >/dev/null 2>&1
deadline=$(($(now_ms) + 10000))
while pgrep -f "kamishibai --root" >/dev/null; do
  [ "$(now_ms)" -lt "$deadline" ] || fail "the hack outlived the daemon: $(pgrep -af "kamishibai --root")"
  sleep 0.1
done
echo "PASS xscreensaver: the daemon ran kamishibai --root and it showed picture $picture exactly"
