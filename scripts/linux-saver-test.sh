#!/usr/bin/env bash
# Screen tests of the Linux saver (build/linux/shell/linux/kamishibai-bare),
# checked as a user would see them: on a private Xvfb screen (1024x768x24),
# with SDL's X11 video and its disk audio driver (the samples the device
# played land in a file), the screen is photographed and compared pixel for
# pixel with what scrtool says must be there, and input is sent with
# xdotool.
#
#   scripts/linux-saver-test.sh [--build DIR] [--out DIR] [CASE...]
#
#   CASE...        only those cases (names as printed); by default every one
#   --build DIR    the build folder to test (default build/linux, the linux
#                  preset's)
#   --out DIR      where screenshots, expected pictures and each case's logs
#                  stay (default build/linux-saver); emptied first
#
# One PASS/FAIL line per case; the exit status is non-zero if any case
# failed. Each case has its own settings and data folders (XDG_CONFIG_HOME,
# XDG_DATA_HOME), so that nothing of the user who runs it takes part.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
test_name=linux-saver-test
# shellcheck source=lib/screen-test.sh
source "$root/scripts/lib/screen-test.sh"

out=$root/build/linux-saver
bin=$root/build/linux
asked=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) bin=$(realpath "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    -h|--help) print_help; exit 0 ;;
    *) asked+=("$1"); shift ;;
  esac
done
saver=$bin/shell/linux/kamishibai-bare
# The same program with the demo appended: for the cases where the order of
# the archives it finds by itself matters.
demo_saver=$bin/shell/linux/kamishibai
host=$bin/tests/x_window_host
scrtool=$bin/tools/scrtool/scrtool
demo=$bin/demo.brsc
screen_w=1024
screen_h=768
centre_x=$((screen_w / 2))
centre_y=$((screen_h / 2))

need_tools Xvfb xdotool import compare convert od
need_files "$saver" "$demo_saver" "$host" "$scrtool" "$demo"
stop_if_missing "scripts/install-deps.sh installs the tools; cmake --build --preset linux builds the rest"

all_cases=(window-first-picture full-first-picture window-resized trace-timing window-input window-escape
           window-close full-key full-click full-move-100 full-move-101 sigterm window-id window-id-missing banner banner-english
           settings-file settings-options sound-samples user-show user-show-broken archive-relative archive-missing)

rm -rf "$out" && mkdir -p "$out/cases"

export SDL_VIDEODRIVER=x11
# The software renderer: what is presented is the texture's bytes, exactly.
export SDL_RENDER_DRIVER=software
export SDL_AUDIODRIVER=disk
# The language of the saver's banner comes from the first of these that is
# set; the banner cases set LANG alone.
unset LC_ALL LC_MESSAGES

# --- for every case -------------------------------------------------------------------
# Settings, data and the played samples of its own; the pointer in the middle.
case_setup() {
  mkdir -p "$case_dir/config" "$case_dir/data"
  export XDG_CONFIG_HOME=$case_dir/config
  export XDG_DATA_HOME=$case_dir/data
  export SDL_DISKAUDIOFILE=$case_dir/audio.raw
  xdotool mousemove "$centre_x" "$centre_y"
}

# start_saver ARGS...: runs the saver in the case's folder (no side file
# there unless the case puts one); PROGRAM=... before it runs another
# build of the saver.
start_saver() { start_program "${PROGRAM:-$saver}" "$@"; }

# wait_saver_window: the saver's window (in window) within 10 s.
wait_saver_window() { wait_window 10000 '^Kamishibai$'; }

# focus_window ID: keys typed from now on go to that window. They are typed
# through the X test extension, pressed and released in the server: a key
# sent to one window only (xdotool key --window) may stay down in the
# server when the window closes on the press, and repeat into later cases.
focus_window() {
  xdotool windowfocus --sync "$1" 2>>"$case_dir/xdotool.log"
}

# ended_cleanly WHAT: the saver ended within 5 s (else reason says WHAT did
# not end it) with status 0.
ended_cleanly() {
  wait_program_end 5000 || { reason="$1 did not end it"; return 1; }
  [ "$program_status" -eq 0 ] || { reason="exit status $program_status"; return 1; }
}

# refused STATUS: the saver ended within 5 s with STATUS.
refused() {
  wait_program_end 5000 || { reason="still running"; return 1; }
  [ "$program_status" -eq "$1" ] || { reason="exit status $program_status"; return 1; }
}

# first_still ARCHIVE WxH PLAY_OPTIONS...: when the first picture of ARCHIVE
# stands still (its transition done) at WxH with those options, per scrtool
# play; its id in picture_id, still from still_at to next_at (ms).
first_still() {
  local archive=$1 size=$2
  shift 2
  "$scrtool" play "$archive" --size "$size" --until 30000 "$@" >"$case_dir/play.txt" 2>/dev/null
  picture_id=$(awk '$2 == "show" { print $3; exit }' "$case_dir/play.txt")
  still_at=$(awk '$2 == "show" { shown = 1 } shown && $2 == "finish" { print $1; exit }' "$case_dir/play.txt")
  next_at=$(awk '$2 == "show" { n++ } n == 2 { print $1; exit }' "$case_dir/play.txt")
  if [ -z "$picture_id" ] || [ -z "$still_at" ]; then reason="scrtool play found no picture in $archive"; return 1; fi
}

# expect_first_still OUT ARCHIVE WxH PLAY_OPTIONS...: first_still, and the
# picture as scrtool places it at WxH in OUT.
expect_first_still() {
  local result=$1 archive=$2 size=$3
  shift 3
  first_still "$archive" "$size" "$@" || return 1
  "$scrtool" picture "$archive" "$picture_id" "$result" --place "$size" >/dev/null 2>&1
}

# shows_first_still window|screen ARCHIVE WxH SAVER_ARGS...: the saver,
# started with SAVER_ARGS and the sound off, in a window of WxH or full
# screen, shows ARCHIVE's first picture still exactly as scrtool places it.
shows_first_still() {
  local where=$1 archive=$2 size=$3
  shift 3
  expect_first_still "$case_dir/expected.png" "$archive" "$size" --sound off || return 1
  if [ "$where" = window ]; then
    start_saver --window "$size" --sound off "$@"
  else
    start_saver --sound off "$@"
  fi
  wait_saver_window || return 1
  sleep_until $((program_started_ms + still_at + 400))
  if [ "$where" = window ]; then screenshot "$case_dir/shot.png" "$window"; else screenshot "$case_dir/shot.png"; fi
  [ $(($(now_ms) - program_started_ms)) -lt "${next_at:-30000}" ] || { reason="too late for a still picture"; return 1; }
  same_pixels "$case_dir/shot.png" "$case_dir/expected.png"
}

# --- the cases ------------------------------------------------------------------------
# The first picture, still, equals scrtool's placement of it.
case_window-first-picture() { shows_first_still window "$demo" 640x480 --archive "$demo"; }

# Full screen draws straight into the window's surface: the same pixels.
case_full-first-picture() { shows_first_still screen "$demo" "${screen_w}x${screen_h}" --archive "$demo"; }

# A window made twice as wide shows the picture at its size in the middle,
# between black bars.
case_window-resized() {
  expect_first_still "$case_dir/picture.png" "$demo" 320x240 --sound off || return 1
  convert -size 640x240 xc:black "$case_dir/picture.png" -geometry +160+0 -composite "$case_dir/expected.png"
  start_saver --window 320x240 --archive "$demo" --sound off
  wait_saver_window || return 1
  xdotool windowsize "$window" 640 240
  sleep_until $((program_started_ms + still_at + 400))
  screenshot "$case_dir/shot.png" "$window"
  same_pixels "$case_dir/shot.png" "$case_dir/expected.png"
}

# The saver's own trace keeps scrtool play's timeline for the first records,
# up to the first picture shown: the same events in the same order, each
# within one transition frame step (48 ms). Later events drift with the
# machine's load, by the show's own rule: every delay counts from the step
# that actually ran.
case_trace-timing() {
  "$scrtool" play "$demo" --size 320x240 --until 5000 --seed 1 --sound off 2>/dev/null |
    awk '$2 != "frame" { print } $2 == "show" { exit }' >"$case_dir/expected.txt"
  start_saver --window 320x240 --archive "$demo" --seed 1 --sound off --trace "$case_dir/trace.txt"
  wait_for 10000 grep -q " show " "$case_dir/trace.txt" 2>/dev/null
  stop_program
  awk '$2 != "frame" { print } $2 == "show" { exit }' "$case_dir/trace.txt" >"$case_dir/actual.txt"
  local report
  report=$(paste -d ' ' "$case_dir/expected.txt" "$case_dir/actual.txt" | awk '
    { n = NF / 2
      if (NF % 2 != 0) { print "line " NR " differs: " $0; exit }
      for (i = 2; i <= n; i++) if ($i != $(i + n)) { print "line " NR " differs: " $0; exit }
      d = $(n + 1) - $1; if (d < 0) d = -d
      if (d > 48) { print "line " NR " is " d " ms off: " $0; exit } }')
  [ -z "$report" ] || { reason=$report; return 1; }
  [ "$(wc -l <"$case_dir/expected.txt")" -ge 2 ] || { reason="scrtool play shows no picture"; return 1; }
  cmp -s <(cut -d ' ' -f 2- "$case_dir/expected.txt") <(cut -d ' ' -f 2- "$case_dir/actual.txt") ||
    { reason="the trace has other events than scrtool play"; return 1; }
}

# In a window, keys other than Escape and q, clicks and moves do nothing.
case_window-input() {
  start_saver --window 320x240 --archive "$demo" --sound off
  wait_saver_window || return 1
  focus_window "$window"
  xdotool mousemove --window "$window" 10 10 click 1 key a space Return
  xdotool mousemove 900 700
  still_running_after 1 || { reason="ended on input other than Escape or q"; return 1; }
  xdotool key q
  ended_cleanly q
}

case_window-escape() {
  start_saver --window 320x240 --archive "$demo" --sound off
  wait_saver_window || return 1
  sleep 0.5
  focus_window "$window"
  xdotool key Escape
  wait_program_end 5000 || { reason="Escape did not end it"; return 1; }
}

# Closing the window (the window manager's close button) ends it.
case_window-close() {
  start_saver --window 320x240 --archive "$demo" --sound off
  wait_saver_window || return 1
  sleep 0.5
  "$host" --close "$window"
  ended_cleanly "closing the window"
}

# full_screen_running: the saver, full screen, has run for a while by itself.
full_screen_running() {
  start_saver --archive "$demo" --sound off
  wait_saver_window || return 1
  sleep 1
  still_running_after 0.5 || { reason="ended by itself"; return 1; }
}

case_full-key() {
  full_screen_running || return 1
  xdotool key a
  ended_cleanly "a key"
}

case_full-click() {
  full_screen_running || return 1
  xdotool click 1
  ended_cleanly "a click"
}

case_full-move-100() {
  full_screen_running || return 1
  xdotool mousemove $((centre_x + 100)) $((centre_y - 100))
  still_running_after 1 || { reason="a move of 100 pixels ended it"; return 1; }
}

case_full-move-101() {
  full_screen_running || return 1
  xdotool mousemove "$centre_x" $((centre_y + 101))
  ended_cleanly "a move of 101 pixels"
}

case_sigterm() {
  start_saver --archive "$demo"
  wait_saver_window || return 1
  sleep 1
  kill -TERM "$program_pid"
  ended_cleanly SIGTERM
}

# host_window_id: the window the host made, in host_window, once it has
# said which.
host_window_id() {
  host_window=$(head -n 1 "$case_dir/host.txt" 2>/dev/null)
  [ -n "$host_window" ]
}

# A window made by another program: filled with the show, deaf to input.
case_window-id() {
  start_in_case "$case_dir/host.txt" "$case_dir/host.log" "$host" 320x240
  poll_every=0.05 wait_for 5000 host_window_id || { reason="the host made no window"; return 1; }
  expect_first_still "$case_dir/expected.png" "$demo" 320x240 --sound off || return 1
  start_saver --window-id "$host_window" --archive "$demo" --sound off
  sleep_until $((program_started_ms + still_at + 400))
  screenshot "$case_dir/shot.png" "$host_window"
  same_pixels "$case_dir/shot.png" "$case_dir/expected.png" || return 1
  xdotool mousemove --window "$host_window" 20 20 click 1 key a Escape q
  still_running_after 1 || { reason="input ended it"; return 1; }
  kill -TERM "$program_pid"
  ended_cleanly SIGTERM
}

case_window-id-missing() {
  start_saver --window-id 0x7ffffff --archive "$demo"
  refused 1 || return 1
  grep -q "cannot draw into window 0x7ffffff" "$case_dir/stderr.log" || { reason="no clear message"; return 1; }
}

# banner_expected LANG OUT: the banner as scrtool play draws it for LANG on a
# 640x480 screen, cut to its lit pixels. The archive has pictures but no
# scenario (the minimal example without one). The viewer writes the clock's
# count in the top-left corner, which the banner has left at 1.5 s: the top
# 20 rows are cut off first, in the saver's screenshot as well.
banner_expected() {
  local lang=$1 result=$2 project=$case_dir/no-scenario
  if [ ! -f "$project/no-scenario.brsc" ]; then
    rm -rf "$project" && cp -r "$root/examples/minimal" "$project"
    sed -i '/^\[scenario\]/,/^file *=/d' "$project/manifest.toml"
    "$scrtool" pack "$project/manifest.toml" -o "$project/no-scenario.brsc" >"$case_dir/pack.log" 2>&1 ||
      { reason="scrtool pack failed: $(head -n 1 "$case_dir/pack.log")"; return 1; }
  fi
  LANG=$lang "$scrtool" play "$project/no-scenario.brsc" --size 640x480 --until 1500 --events none \
    --snapshot "1500:$case_dir/play-$lang.png" >/dev/null 2>&1 || { reason="scrtool play failed"; return 1; }
  convert "$case_dir/play-$lang.png" -crop 640x460+0+20 +repage -bordercolor black -border 1 -trim +repage "$result"
}

# shows_banner LANG OTHER: no archive anywhere: the drifting notice, white
# text on black, in the user's language (LANG, with LC_ALL and LC_MESSAGES
# unset). It must be the banner scrtool play draws in that language, which
# is not OTHER's, to the pixel, wherever it has drifted to: both are cut to
# their lit pixels and compared.
shows_banner() {
  local lang=$1 other=$2
  banner_expected "$lang" "$case_dir/expected.png" || return 1
  banner_expected "$other" "$case_dir/other-language.png" || return 1
  same_pixels "$case_dir/expected.png" "$case_dir/other-language.png" 2>/dev/null &&
    { reason="scrtool play draws the same banner in $lang and $other"; return 1; }
  LANG=$lang start_saver --window 640x480 --sound off
  wait_saver_window || return 1
  sleep 1.5
  screenshot "$case_dir/shot.png" "$window"
  local lit
  lit=$(convert "$case_dir/shot.png" -threshold 50% -format '%[fx:mean*w*h]' info:)
  [ "${lit%.*}" -gt 50 ] || { reason="the window is black ($lit lit pixels)"; return 1; }
  convert "$case_dir/shot.png" -crop 640x460+0+20 +repage -bordercolor black -border 1 -trim +repage \
    "$case_dir/banner.png"
  same_pixels "$case_dir/banner.png" "$case_dir/expected.png" || { reason="$lang: $reason"; return 1; }
}

case_banner() { shows_banner ja_JP.UTF-8 en_US.UTF-8; }
case_banner-english() { shows_banner en_US.UTF-8 ja_JP.UTF-8; }

# shows_effect_none SAVER_OPTIONS...: effect 0 (none), from the ini file or
# from the command line: the first picture stands still at once, where the
# default fade takes a second.
shows_effect_none() {
  expect_first_still "$case_dir/expected.png" "$demo" 320x240 --wait 2 --effect 0 --sound off || return 1
  start_saver --window 320x240 --archive "$demo" "$@"
  wait_saver_window || return 1
  sleep_until $((program_started_ms + still_at + 500))
  screenshot "$case_dir/shot.png" "$window"
  same_pixels "$case_dir/shot.png" "$case_dir/expected.png"
}

case_settings-file() {
  mkdir -p "$case_dir/config/kamishibai"
  printf '[Preference]\nSlideshowWait=2\nSlideshowEffect=0\nSlideshowEffectSpeed=2\nSlideshowSoundUse=0\n' \
    >"$case_dir/config/kamishibai/kt5_scr2.ini"
  shows_effect_none
}

case_settings-options() { shows_effect_none --wait 2 --effect 0 --sound off; }

# The first sound's samples reach the device unchanged, in order.
case_sound-samples() {
  "$scrtool" play "$demo" --size 320x240 --until 30000 >"$case_dir/play.txt" 2>/dev/null
  local sound_id
  sound_id=$(awk '$2 == "sound" { print $3; exit }' "$case_dir/play.txt")
  [ -n "$sound_id" ] || { reason="the demo plays no sound in its first 30 s"; return 1; }
  local sound_at
  sound_at=$(awk '$2 == "sound" { print $1; exit }' "$case_dir/play.txt")
  "$scrtool" unpack "$demo" "$case_dir/unpacked" >/dev/null 2>&1
  local wav
  wav=$(find "$case_dir/unpacked" -name "*${sound_id}*.wav" | head -n 1)
  [ -n "$wav" ] || { reason="no unpacked wave for sound $sound_id"; return 1; }
  start_saver --window 320x240 --archive "$demo" --sound on --seed 1
  wait_saver_window || return 1
  sleep_until $((program_started_ms + sound_at + 1500))
  stop_program
  # 16 samples from 1000 bytes into the sound's data chunk (16-bit), as the
  # device gets them: at the player's volume of 0x8000, the samples are
  # scaled by 0x8000 / 0xFFFF, rounded toward zero.
  local data_at wanted
  data_at=$(grep -obUa data "$wav" | head -n 1 | cut -d: -f1)
  wanted=$(od -An -td2 -v -j $((data_at + 8 + 1000)) -N 32 "$wav" |
    awk '{ for (i = 1; i <= NF; i++) { v = int($i * 32768 / 65535); if (v < 0) v += 65536;
           printf "%02x%02x", v % 256, int(v / 256) } }')
  [ -s "$case_dir/audio.raw" ] || { reason="the disk driver wrote nothing"; return 1; }
  od -An -tx1 -v "$case_dir/audio.raw" | tr -d ' \n' | grep -q "$wanted" ||
    { reason="sound $sound_id's samples are not in what the device played"; return 1; }
}

# The user's own show, where scrtool pack --install puts it, plays with no
# option, before the demo appended to the saver: here the minimal example,
# whose first picture is not the demo's.
case_user-show() {
  local show=$XDG_DATA_HOME/kamishibai/show.brsc
  mkdir -p "$(dirname "$show")"
  "$scrtool" pack "$root/examples/minimal/manifest.toml" -o "$show" >"$case_dir/pack.log" 2>&1 ||
    { reason="scrtool pack failed: $(head -n 1 "$case_dir/pack.log")"; return 1; }
  PROGRAM=$demo_saver shows_first_still window "$show" 640x480 || return 1
  [ ! -s "$case_dir/stderr.log" ] || { reason="the saver complained: $(head -n 1 "$case_dir/stderr.log")"; return 1; }
}

# A show that is not an archive is named on standard error, and the next
# archive, the appended demo, plays.
case_user-show-broken() {
  local show=$XDG_DATA_HOME/kamishibai/show.brsc
  mkdir -p "$(dirname "$show")"
  printf 'a shopping list, not a slide show\n' >"$show"
  PROGRAM=$demo_saver shows_first_still window "$demo" 640x480 || return 1
  grep -qF "kamishibai: your show $show: not a valid archive: " "$case_dir/stderr.log" ||
    { reason="no clear message about the broken show"; return 1; }
}

# --archive with a bare name plays that file from the current folder.
case_archive-relative() {
  cp "$demo" "$case_dir/mine.brsc"
  shows_first_still window "$case_dir/mine.brsc" 640x480 --archive mine.brsc
}

# A named archive that is not there: a message and status 1, no window.
case_archive-missing() {
  start_saver --window 320x240 --archive missing.brsc
  refused 1 || return 1
  grep -qx "kamishibai: missing.brsc: no such file" "$case_dir/stderr.log" ||
    { reason="no clear message: $(head -n 1 "$case_dir/stderr.log")"; return 1; }
  ! find_window '^Kamishibai$' || { reason="a window was opened"; return 1; }
}

# --- run ------------------------------------------------------------------------------
select_cases "${asked[@]}"
start_screen "${screen_w}x${screen_h}"
echo "Xvfb on $DISPLAY"
run_cases
