#!/usr/bin/env bash
# The screen-saver daemon runs the installed Linux saver as one of its hacks,
# set up as README.md says: `cmake --install` into a fresh prefix, the hack
# named in the `programs:` list of ~/.xscreensaver. On a private Xvfb screen
# the daemon is started and told to blank now; the picture in its window
# must equal scrtool's placement of the first picture of the show the hack
# should play, pixel for pixel, and when the daemon stops, the hack must be
# gone. Three cases, each a run of the daemon with a home of its own:
#   demo       "kamishibai --root", nothing of the user's: the demo inside
#   user-show  the same, with the user's own show where scrtool pack
#              --install puts it (~/.local/share/kamishibai/show.brsc;
#              the minimal example here): that show
#   archive    "kamishibai --root --archive FILE", as the settings' file
#              field writes it, the user's show still there: FILE (a copy
#              of the demo)
#
#   scripts/xscreensaver-test.sh [--build DIR] [--out DIR] [CASE...]
#
#   CASE...        only those cases; by default every one
#   --build DIR    the build folder to install from (default build/linux,
#                  the linux preset's)
#   --out DIR      where each case's logs and screenshots stay (default
#                  build/xscreensaver-test); emptied first
#
# Needs that build and xscreensaver installed (scripts/install-deps.sh).
# The daemon launches no hacks for root, so as root it runs as the user
# nobody. One PASS/FAIL line per case; the exit status is non-zero if any
# case failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
test_name=xscreensaver-test
program_label=daemon
# Its standard output and error in one log, in the order it wrote them.
program_stdout=daemon.log
program_stderr=daemon.log
# shellcheck source=lib/screen-test.sh
source "$root/scripts/lib/screen-test.sh"

out=$root/build/xscreensaver-test
build=$root/build/linux
asked=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    -h|--help) print_help; exit 0 ;;
    *) asked+=("$1"); shift ;;
  esac
done
scrtool=$build/tools/scrtool/scrtool
demo=$build/demo.brsc
need_tools xscreensaver xscreensaver-command Xvfb import compare
need_files "$scrtool" "$demo"
stop_if_missing "scripts/install-deps.sh installs the tools; build $build first"

all_cases=(demo user-show archive)
select_cases "${asked[@]}"

rm -rf "$out" && mkdir -p "$out/cases"
# Outside the build tree, so that the user nobody can read it.
work=$(mktemp -d /tmp/kamishibai-xscreensaver.XXXXXX)
chmod 755 "$work"
prefix=$work/prefix
home=
remove_work() {
  case_teardown
  rm -rf "$work"
}
exit_hooks+=(remove_work)

fail() { echo "FAIL xscreensaver: $1"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 || fail "cmake --install failed"
[ -x "$prefix/libexec/xscreensaver/kamishibai" ] || fail "no libexec/xscreensaver/kamishibai installed"
[ -f "$prefix/share/xscreensaver/config/kamishibai.xml" ] || fail "no settings description installed"

as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod -R a+rX "$prefix"

# The user's own show, the minimal example, and a copy of the demo for
# --archive.
minimal=$work/minimal.brsc
"$scrtool" pack "$root/examples/minimal/manifest.toml" -o "$minimal" >"$out/pack.log" 2>&1 ||
  fail "scrtool pack of the minimal example failed (see $out/pack.log)"
chosen=$work/chosen/demo-copy.brsc
mkdir -p "$(dirname "$chosen")"
cp "$demo" "$chosen"
chmod -R a+rX "$work/chosen"

# --- for every case -------------------------------------------------------------------
# A home of its own, outside the build tree like the rest of work, and the
# command prefix that runs a program as the user the daemon runs as, in its
# environment. The daemon looks for its hacks on PATH; the libexec folder is
# where it looks on an installed system.
case_setup() {
  home=$work/cases/$case_name/home
  rm -rf "$home" && mkdir -p "$home"
  as_daemon_user=("${as_user[@]}" env HOME="$home" PATH="$prefix/libexec/xscreensaver:$PATH" DISPLAY="$DISPLAY"
                  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null)
}

# What the case's daemon started, known by the HOME they all inherit: its
# helpers and hacks, which are not this shell's children.
home_pids() { grep -lzxF "HOME=$home" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3; }

case_teardown() {
  [ -n "$home" ] || return 0
  local pid
  for pid in $(home_pids); do kill -KILL "$pid" 2>/dev/null; done
}

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

daemon_answers() { "${as_daemon_user[@]}" xscreensaver-command -time >/dev/null 2>&1; }

# hack_pids: the case's hacks that run.
hack_pids() {
  local pid
  for pid in $(pgrep -f "kamishibai --root"); do
    grep -qzxF "HOME=$home" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
  done
}

hack_running() { [ -n "$(hack_pids)" ]; }
no_hack_running() { [ -z "$(hack_pids)" ]; }

install_user_show() {
  user_show=$home/.local/share/kamishibai/show.brsc
  mkdir -p "$(dirname "$user_show")"
  cp "$minimal" "$user_show"
}

# daemon_shows ARCHIVE ARGS...: the daemon, with the hack `kamishibai
# ARGS`, blanks the screen with ARCHIVE's first picture, and the hack ends
# with the daemon.
daemon_shows() {
  local archive=$1
  shift
  write_settings "$@"
  [ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$home"
  start_program "${as_daemon_user[@]}" xscreensaver -no-splash
  poll_every=0.2 wait_for 10000 daemon_answers || { reason="the daemon did not answer (see daemon.log)"; return 1; }

  "$scrtool" play "$archive" --size 1024x768 --until 30000 --sound off >"$case_dir/play.txt" 2>/dev/null
  local picture still_at next_at
  picture=$(awk '$2 == "show" { print $3; exit }' "$case_dir/play.txt")
  still_at=$(awk '$2 == "show" { shown = 1 } shown && $2 == "finish" { print $1; exit }' "$case_dir/play.txt")
  next_at=$(awk '$2 == "show" { n++ } n == 2 { print $1; exit }' "$case_dir/play.txt")
  "$scrtool" picture "$archive" "$picture" "$case_dir/expected.png" --place 1024x768 >/dev/null 2>&1

  "${as_daemon_user[@]}" xscreensaver-command -activate >/dev/null 2>&1 || { reason="the daemon refused to blank"; return 1; }
  local started
  started=$(now_ms)
  wait_for 10000 hack_running || { reason="the daemon started no hack (see daemon.log)"; return 1; }
  # The first picture stands still from its transition's end to the next
  # picture; the daemon's own start of the hack comes on top.
  sleep_until $(($(now_ms) + still_at + 1500))
  screenshot "$case_dir/shot.png"
  [ $(($(now_ms) - started)) -lt "${next_at:-30000}" ] || { reason="too late for a still picture"; return 1; }
  local differing
  differing=$(differing_pixels "$case_dir/shot.png" "$case_dir/expected.png" "$case_dir/diff.png")
  [ "$differing" = 0 ] ||
    { reason="$differing pixels differ from scrtool's picture $picture of $(basename "$archive")"; return 1; }

  "${as_daemon_user[@]}" xscreensaver-command -exit >/dev/null 2>&1
  local leftover
  if ! wait_for 10000 no_hack_running; then
    leftover=$(hack_pids)
    reason="the hack outlived the daemon: $(ps -o pid=,args= -p "${leftover//$'\n'/,}")"
    return 1
  fi
  wait_program_end 10000
  detail="the daemon ran kamishibai $* and it showed picture $picture of $(basename "$archive") exactly"
}

# --- the cases ------------------------------------------------------------------------
case_demo() { daemon_shows "$demo" --root; }

case_user-show() {
  install_user_show
  daemon_shows "$user_show" --root
}

case_archive() {
  install_user_show
  daemon_shows "$chosen" --root --archive "$chosen"
}

# --- run ------------------------------------------------------------------------------
start_screen 1024x768
run_cases
