#!/usr/bin/env bash
# The screen-saver daemon runs the installed Linux saver as one of its hacks,
# set up as README.md says: `cmake --install` into a fresh prefix, the hack
# named in the `programs:` list of ~/.xscreensaver. On a private Xvfb screen
# the daemon is started and told to blank now; the picture in its window
# must equal scrtool's placement of the first picture of the show the hack
# should play, pixel for pixel, and when the daemon stops, the hack must be
# gone. Three runs of the daemon:
#   demo       "kamishibai --root", nothing of the user's: the demo inside
#   user-show  the same, with the user's own show where scrtool pack
#              --install puts it (~/.local/share/kamishibai/show.brsc;
#              the minimal example here): that show
#   archive    "kamishibai --root --archive FILE", as the settings' file
#              field writes it, the user's show still there: FILE (a copy
#              of the demo)
#
#   scripts/xscreensaver-test.sh [--build DIR]
#
#   --build DIR    the build folder to install from (default build/linux,
#                  the linux preset's)
#
# Needs that build and xscreensaver installed (scripts/install-deps.sh).
# The daemon launches no hacks for root, so as root it runs as the user
# nobody. Logs and the screenshots stay in build/xscreensaver-test/.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
out=$root/build/xscreensaver-test
build=$root/build/linux
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "xscreensaver-test: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
scrtool=$build/tools/scrtool/scrtool
demo=$build/demo.brsc
for tool in xscreensaver xscreensaver-command Xvfb import compare; do
  command -v "$tool" >/dev/null || { echo "xscreensaver-test: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
[ -x "$scrtool" ] && [ -f "$demo" ] || { echo "xscreensaver-test: build $build first" >&2; exit 2; }

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

cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 || fail "cmake --install failed"
[ -x "$prefix/libexec/xscreensaver/kamishibai" ] || fail "no libexec/xscreensaver/kamishibai installed"
[ -f "$prefix/share/xscreensaver/config/kamishibai.xml" ] || fail "no settings description installed"

mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
else
  as_user() { "$@"; }
fi
chmod -R a+rX "$prefix"

# The daemon's settings with one hack: `kamishibai ARGS`.
write_settings() {
  cat >"$home/.xscreensaver" <<SETTINGS
mode:		one
selected:	0
lock:		False
splash:		False
fade:		False
unfade:		False
timeout:	0:30:00
programs:								      \\
				kamishibai $*			    \\n\\

SETTINGS
}

# The user's own show, the minimal example, and a copy of the demo for
# --archive.
minimal=$work/minimal.brsc
"$scrtool" pack "$root/examples/minimal/manifest.toml" -o "$minimal" >"$out/pack.log" 2>&1 ||
  fail "scrtool pack of the minimal example failed (see $out/pack.log)"
chosen=$work/chosen/demo-copy.brsc
mkdir -p "$(dirname "$chosen")"
cp "$demo" "$chosen"
chmod -R a+rX "$work/chosen"

start_xvfb 1024x768 "$out" || fail "could not start Xvfb"
# The daemon looks for its hacks on PATH; the libexec folder is where it
# looks on an installed system.
run() {
  as_user env HOME="$home" PATH="$prefix/libexec/xscreensaver:$PATH" DISPLAY="$DISPLAY" \
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$@"
}

# daemon_shows NAME ARCHIVE ARGS...: the daemon, with the hack
# `kamishibai ARGS`, blanks the screen with ARCHIVE's first picture, and
# the hack ends with the daemon.
daemon_shows() {
  local name=$1 archive=$2
  shift 2
  write_settings "$@"
  [ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$home"
  run xscreensaver -no-splash >"$out/$name-daemon.log" 2>&1 &
  daemon_pid=$!
  local deadline=$(($(now_ms) + 10000))
  until run xscreensaver-command -time >/dev/null 2>&1; do
    [ "$(now_ms)" -lt "$deadline" ] || fail "$name: the daemon did not answer (see $out/$name-daemon.log)"
    sleep 0.2
  done

  "$scrtool" play "$archive" --size 1024x768 --until 30000 --sound off >"$out/$name-play.txt" 2>/dev/null
  picture=$(awk '$2 == "show" { print $3; exit }' "$out/$name-play.txt")
  local still_at next_at
  still_at=$(awk '$2 == "show" { shown = 1 } shown && $2 == "finish" { print $1; exit }' "$out/$name-play.txt")
  next_at=$(awk '$2 == "show" { n++ } n == 2 { print $1; exit }' "$out/$name-play.txt")
  "$scrtool" picture "$archive" "$picture" "$out/$name-expected.png" --place 1024x768 >/dev/null 2>&1

  run xscreensaver-command -activate >/dev/null 2>&1 || fail "$name: the daemon refused to blank"
  local started
  started=$(now_ms)
  deadline=$((started + 10000))
  until pgrep -f "kamishibai --root" >/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || fail "$name: the daemon started no hack (see $out/$name-daemon.log)"
    sleep 0.1
  done
  # The first picture stands still from its transition's end to the next
  # picture; the daemon's own start of the hack comes on top.
  sleep "$(awk -v ms="$((still_at + 1500))" 'BEGIN { printf "%.3f", ms / 1000 }')"
  import -window root "$out/$name-shot.png"
  [ $(($(now_ms) - started)) -lt "${next_at:-30000}" ] || fail "$name: too late for a still picture"
  local differing
  differing=$(compare -metric AE "$out/$name-shot.png" "$out/$name-expected.png" "$out/$name-diff.png" 2>&1 >/dev/null)
  [ "$differing" = "0" ] ||
    fail "$name: $differing pixels differ from scrtool's picture $picture of $(basename "$archive") (see $out)"

  run xscreensaver-command -exit >/dev/null 2>&1
  deadline=$(($(now_ms) + 10000))
  while pgrep -f "kamishibai --root" >/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || fail "$name: the hack outlived the daemon: $(pgrep -af "kamishibai --root")"
    sleep 0.1
  done
  wait "$daemon_pid" 2>/dev/null
  daemon_pid=
  echo "PASS xscreensaver $name: the daemon ran kamishibai $* and it showed picture $picture of" \
       "$(basename "$archive") exactly"
}

daemon_shows demo "$demo" --root
# Where scrtool pack --install puts the user's show.
user_show=$home/.local/share/kamishibai/show.brsc
mkdir -p "$(dirname "$user_show")"
cp "$minimal" "$user_show"
daemon_shows user-show "$user_show" --root
daemon_shows archive "$chosen" --root --archive "$chosen"
