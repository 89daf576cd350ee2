#!/usr/bin/env bash
# Screen tests of the Windows screen saver under Wine, checked as a user would
# see them: on a private Xvfb screen (1024x768x24) with a private Wine prefix,
# the saver is started the way Windows starts it, the screen is photographed
# and compared pixel for pixel with what scrtool.exe says must be there, input
# is sent with xdotool, and windows, message boxes and the settings dialog's
# controls are read with the helpers of tests/wine. Sound is watched from
# outside through Wine's relay log of the waveOut calls, with an ALSA null
# sink standing in for a sound card (or an empty ALSA configuration for a
# machine without one).
#
#   scripts/wine-saver-test.sh [--linux DIR] [--win64 DIR] [--out DIR] [CASE...]
#
#   CASE...        only those (names as printed); by default every one
#   --linux DIR    the Linux build (default build/linux: demo archive, scrtool
#                  for making a saver of an edited archive)
#   --win64 DIR    the Windows build (default build/win64: the savers,
#                  scrtool.exe, the helpers)
#   --out DIR      where screenshots, expected pictures, diffs, each case's
#                  logs and the Wine prefix stay (default build/wine-saver)
#
# Screenshots, expected pictures, diffs and each case's logs stay in the out
# folder for a person to look at. One PASS/FAIL line per case (SKIP for a
# case whose saver is not built) and a summary; the exit status is non-zero
# if any case failed.
#
# Programs run as for a Japanese user (LANG=ja_JP.UTF-8; the saver's own
# texts follow the user's UI language); the cases named *-english run as for
# an English one. The two locales are compiled once into the out folder
# (localedef, from Debian's locales package) and found through LOCPATH, so
# that the machine's own locales play no part.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
test_name="wine-saver-test"
program_stdout=saver.out
# Wine's own messages and the relay log as well as the saver's.
program_stderr=wine.log
# A Windows program under Wine has no use for SIGTERM.
stop_signal=KILL
# shellcheck source=lib/screen-test.sh
source "$root/scripts/lib/screen-test.sh"

out=$root/build/wine-saver
win64=$root/build/win64
linux=$root/build/linux
asked=()
while [ $# -gt 0 ]; do
  case "$1" in
    --linux) linux=$(realpath "$2"); shift 2 ;;
    --win64) win64=$(realpath "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    -h|--help) print_help; exit 0 ;;
    *) asked+=("$1"); shift ;;
  esac
done
saver=${KAMISHIBAI_SAVER_DIR:-$win64/shell/win32}/kamishibai.scr
bare_saver=${KAMISHIBAI_SAVER_DIR:-$win64/shell/win32}/kamishibai-bare.scr
registry_saver=${KAMISHIBAI_SAVER_DIR:-$win64/shell/win32}/kamishibai-registry.scr
helpers=${KAMISHIBAI_WINE_HELPERS:-$win64/tests/wine}
scrtool_exe=$win64/tools/scrtool/scrtool.exe
scrtool=$linux/tools/scrtool/scrtool
demo=$linux/demo.brsc
demo_unpacked=$out/demo-unpacked
prefix=$out/prefix
screen_w=1024
screen_h=768
centre_x=$((screen_w / 2))
centre_y=$((screen_h / 2))

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine || true)"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver="$(command -v wineserver || true)"

need_tools Xvfb xdotool import compare convert identify localedef
[ -n "$wine" ] || missing+=(wine64)
[ -n "$wineserver" ] || missing+=(wineserver)
[ -f /usr/share/i18n/locales/ja_JP ] || missing+=("/usr/share/i18n/locales/ja_JP (Debian: locales)")
need_files "$saver" "$bare_saver" "$helpers/registry_store_test.exe" "$helpers/preview_host.exe" "$helpers/owner_host.exe" \
           "$helpers/window_probe.exe" "$scrtool_exe" "$scrtool" "$demo"
stop_if_missing "scripts/install-deps.sh installs the tools; build both presets: cmake --build --preset linux / win64"

all_cases=(s-show s-key s-move-100 s-move-101-y s-click d-show mode-letters
           config-opens config-enter-saves config-cancel config-none-disables-speed config-wait-99
           config-no-version config-owner config-then-show config-registry config-save-fails config-dpi-150
           config-english config-save-fails-english ui-language
           registry-store
           p-preview p-abc p-empty bare-banner bare-banner-english bare-side-file sound-on sound-off sound-no-card)
select_cases "${asked[@]}"

mkdir -p "$out"
rm -rf "$out/cases"
rm -f "$out"/*.png "$out"/*.txt "$out"/*.log "$out"/*.ini
mkdir -p "$out/cases"

# Wine sees every Unix path through its Z: drive.
winpath() { local path; path=$(realpath -m "$1"); printf 'Z:%s' "${path//\//\\}"; }

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH

# The locales Wine takes the user's UI language from: Japanese for every
# program of the run, English for the saver of an *-english case.
export LOCPATH=$out/locales
for locale in ja_JP en_US; do
  if [ ! -d "$LOCPATH/$locale.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    localedef -i "$locale" -f UTF-8 "$LOCPATH/$locale.UTF-8" >"$out/localedef-$locale.log" 2>&1 ||
      { echo "wine-saver-test: localedef $locale.UTF-8 failed (see $out/localedef-$locale.log)" >&2; exit 2; }
  fi
done
unset LC_ALL LC_MESSAGES LANGUAGE
export LANG=ja_JP.UTF-8
japanese_env=(LANG=ja_JP.UTF-8)
english_env=(LANG=en_US.UTF-8)

# The ALSA configurations: a null sink as the default device (a machine with
# a sound card that plays into nothing) and none at all (a machine without).
alsa_null=$out/alsa-null.conf
alsa_none=$out/alsa-none.conf
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$alsa_null"
: >"$alsa_none"

# --- private X screen and Wine server, always taken down on exit -----------------
stop_wine() {
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
}
exit_hooks+=(stop_wine)

start_screen "${screen_w}x${screen_h}"
echo "Xvfb on $DISPLAY, Wine prefix $prefix"
stop_wine
if [ ! -f "$prefix/.kamishibai-ready" ]; then
  rm -rf "$prefix"
  echo "Creating the Wine prefix (once)..."
  "$wine" wineboot -i >"$out/wineboot.log" 2>&1 || { echo "wine-saver-test: wineboot failed (see $out/wineboot.log)" >&2; exit 2; }
  touch "$prefix/.kamishibai-ready"
  "$wineserver" -w
fi
# One server for the whole run (and the system processes it starts, with
# WINEDEBUG=-all, so that the relay logs hold the saver's calls only).
"$wineserver" -p
# Message boxes use the system's UI font, which has no Japanese; Windows
# links Japanese glyphs to it (FontLink\SystemLink), Wine's prefix does not
# until told to: link the IPA font, as a Windows system links its own.
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
  /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1
# With WINEDEBUG=+relay only these calls are logged: how the sound cases see
# the wave device being opened from outside the saver.
"$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'winmm.waveOutOpen;winmm.waveOutClose' /f >/dev/null 2>&1

probe() { "$wine" "$helpers/window_probe.exe" "$@" 2>/dev/null; }
# field LINE KEY: one value of a tab-separated key=value line.
field() { printf '%s\n' "$1" | tr '\t' '\n' | sed -n "s/^$2=//p" | head -n 1; }
viewer_windows() { probe list | grep -P '\tclass=KamishibaiViewer\t'; }
scrun_dialogs() { probe dialogs | grep -P '\tcaption=SCRUN\t'; }
# scrun_dialog_shown: a message box captioned SCRUN is there (in dialog).
scrun_dialog_shown() { dialog=$(scrun_dialogs); [ -n "$dialog" ]; }
config_windows() { probe list | grep -P '\tclass=KamishibaiConfig\t'; }

# --- expected pictures --------------------------------------------------------------
# expect NAME ARCHIVE [play options]: what the slide show of ARCHIVE shows
# first, per scrtool.exe (the Windows build, so the same JPEG decoder as the
# saver): NAME-expected.png, and when (ms after the viewer starts) it stands
# still: from first_still to next_change; first_sound is when a sound starts.
expect() {
  local name=$1 archive=$2
  shift 2
  local trace=$out/$name-play.txt
  "$wine" "$scrtool_exe" play "$(winpath "$archive")" --size "${screen_w}x${screen_h}" --until 30000 "$@" \
    2>/dev/null | tr -d '\r' >"$trace"
  picture_id=$(awk '$2 == "show" { print $3; exit }' "$trace")
  first_still=$(awk '$2 == "show" { shown = 1 } shown && $2 == "finish" { print $1; exit }' "$trace")
  next_change=$(awk '$2 == "show" { n++ } n == 2 { print $1; exit }' "$trace")
  first_sound=$(awk '$2 == "sound" { print $1; exit }' "$trace")
  [ -n "$next_change" ] || next_change=30000
  [ -n "$first_sound" ] || first_sound=0
  if [ -z "$picture_id" ] || [ -z "$first_still" ]; then
    echo "wine-saver-test: scrtool.exe play found no picture in $archive (see $trace)" >&2
    exit 2
  fi
  "$wine" "$scrtool_exe" picture "$(winpath "$archive")" "$picture_id" "$(winpath "$out/$name-expected.png")" \
    --place "${screen_w}x${screen_h}" >/dev/null 2>&1 || { echo "wine-saver-test: scrtool.exe picture failed" >&2; exit 2; }
  note "$name: picture $picture_id still from ${first_still} ms to ${next_change} ms, first sound at ${first_sound} ms"
}

# --- for every case ------------------------------------------------------------------------
# A copy of the saver in the case's folder, so that the settings and side
# files of one case never reach another; a Japanese user with a sound
# device; the first picture of the saver's own show.
case_setup() {
  use_saver "$saver"
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=-all "${japanese_env[@]}")
  first_still=$scr_first_still next_change=$scr_next_change first_sound=$scr_first_sound picture_id=$scr_picture
}

# use_saver FILE: the case runs that build of the saver.
use_saver() {
  case_exe=$case_dir/kamishibai.scr
  cp "$1" "$case_exe"
}

# write_ini KEY=VALUE...: the saver's settings file beside it.
write_ini() {
  {
    printf '[Preference]\r\n'
    local pair
    for pair in "$@"; do printf '%s\r\n' "$pair"; done
  } >"$case_dir/kt5_scr2.ini"
}

# start_saver ARGS...: runs the case's saver in its folder, in the background,
# with the pointer in the middle of the screen.
start_saver() {
  xdotool mousemove "$centre_x" "$centre_y"
  start_program env "${saver_env[@]}" "$wine" "$case_exe" "$@"
}

# start_wine_host STDOUT HOST ARGS...: a helper of tests/wine that starts
# the saver itself, in the case's folder, with the saver's environment
# (wine.log its Wine log); its pid in host_pid.
start_wine_host() {
  local stdout=$1
  shift
  start_in_case "$stdout" "$case_dir/wine.log" env "${saver_env[@]}" "$wine" "$@"
  host_pid=$started_pid
}

# wait_viewer [MS]: waits for the viewer window (15 s unless told);
# viewer_line describes it and viewer_seen_ms is when it was seen.
wait_viewer() {
  local ms=${1:-15000}
  viewer_line=$(probe wait KamishibaiViewer "$ms")
  local status=$?
  viewer_seen_ms=$(now_ms)
  note "$case_name: viewer: $viewer_line"
  [ "$status" -eq 0 ] || reason="no viewer window within $((ms / 1000)) s"
  return $status
}

# Leftovers of a failed case must not cover the next one's screen.
case_teardown() {
  local window
  if probe list | grep -qP '\tclass=(KamishibaiViewer|KamishibaiCover|KamishibaiConfig|KamishibaiOwnerHost|#32770)\t'; then
    probe wait-gone KamishibaiViewer 5000 >/dev/null
    probe wait-gone '#32770' 5000 >/dev/null
    # A saver that the owner host started is known by its window only.
    if ! probe wait-gone KamishibaiConfig 5000 >/dev/null; then
      for window in $(config_windows | sed -n 's/^hwnd=\([0-9]*\).*/\1/p'); do
        note "$case_name: ending the process of a leftover dialog: $(probe end-process "$window")"
      done
    fi
    probe wait-gone KamishibaiOwnerHost 5000 >/dev/null
  fi
}

non_black() {
  convert "$1" -alpha off -fill white +opaque '#000000' -format '%[fx:round(mean*w*h)]' info:
}

# screen_shows SHOT EXPECTED: a screenshot, kept as SHOT, equals EXPECTED;
# counts the screenshots in attempts and the pixels that differ in differ.
screen_shows() {
  attempts=$((attempts + 1))
  screenshot "$1"
  differ=$(differing_pixels "$2" "$1")
  [ "$differ" = 0 ]
}

# shows_picture NAME EXPECTED: takes screenshots while the first picture
# stands still until one equals EXPECTED pixel for pixel. The viewer's clock
# starts before it is seen, so the window is measured from viewer_seen_ms.
shows_picture() {
  local name=$1 expected=$2
  local from=$((viewer_seen_ms + first_still + 200))
  local until=$((viewer_seen_ms + next_change - 300))
  local attempts=0 differ=
  sleep_until "$from"
  poll_every=0.3 wait_for $((until - $(now_ms))) screen_shows "$out/$name-screen.png" "$expected"
  note "$name: $attempts screenshot(s), last one differs from $expected in $differ pixels"
  if [ "$differ" != 0 ]; then
    differing_pixels "$expected" "$out/$name-screen.png" "$out/$name-diff.png" >/dev/null
    reason="the screen differs from picture $picture_id in $differ pixels (see $name-screen.png, $name-diff.png)"
    return 1
  fi
  shown_after_ms=$(($(now_ms) - viewer_seen_ms))
  return 0
}

# The full-screen viewer: borderless, at 0,0 with the screen's size, topmost
# or not as asked, and no cover window on a single monitor. Read again rather
# than from wait_viewer: the viewer is shown first and made topmost a moment
# later, and that moment is not what a user sees.
check_full_screen_viewer() {
  local want_topmost=$1 count
  sleep 0.3
  viewer_line=$(viewer_windows)
  note "$case_name: settled viewer: $viewer_line"
  count=$(printf '%s\n' "$viewer_line" | grep -c 'class=KamishibaiViewer')
  if [ "$count" != 1 ]; then reason="$count viewer windows"; return 1; fi
  local rect title topmost style
  rect=$(field "$viewer_line" rect)
  title=$(field "$viewer_line" title)
  topmost=$(field "$viewer_line" topmost)
  style=$(field "$viewer_line" style)
  if [ "$rect" != "0,0,$screen_w,$screen_h" ]; then reason="viewer at $rect, not 0,0,$screen_w,$screen_h"; return 1; fi
  if [ "$title" != ScreenSaver ]; then reason="viewer titled '$title'"; return 1; fi
  if [ "$topmost" != "$want_topmost" ]; then reason="viewer topmost=$topmost, expected $want_topmost"; return 1; fi
  # WS_CAPTION, WS_THICKFRAME and WS_BORDER
  if (((style & 0x00C40000) != 0)); then reason="viewer has a frame (style $style)"; return 1; fi
  if probe list | grep -qP '\tclass=KamishibaiCover\t'; then reason="a cover window on a single monitor"; return 1; fi
  return 0
}

no_dialog() {
  local dialogs
  dialogs=$(probe dialogs)
  [ -z "$dialogs" ] && return 0
  reason="unexpected message box: $(printf '%s' "$dialogs" | head -n 1 | tr '\t' ' ')"
  return 1
}

# full_screen_shows ARGUMENT TOPMOST NAME EXPECTED: the saver, started with
# ARGUMENT, shows a full-screen viewer (topmost: 1 or 0) and on it EXPECTED
# (screenshots NAME-*.png), and no message box.
full_screen_shows() {
  start_saver "$1"
  wait_viewer || return 1
  check_full_screen_viewer "$2" || return 1
  shows_picture "$3" "$4" || return 1
  no_dialog
}

# --- the cases ---------------------------------------------------------------------------

# /s: the demo's first picture full screen, topmost.
case_s-show() {
  full_screen_shows /s 1 s-show "$out/scr-expected.png" || return 1
  detail="picture $picture_id exact after $shown_after_ms ms, viewer 0,0-${screen_w}x${screen_h} topmost"
}

# wait_ready: the viewer is up and has had a moment to take its starting
# point; the pointer is still where the saver started.
wait_ready() {
  wait_viewer || return 1
  sleep 0.7
  program_running || { reason="the saver ended by itself"; return 1; }
}

case_s-key() {
  start_saver /s
  wait_ready || return 1
  local window
  find_window --onlyvisible '^ScreenSaver$' && xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key space
  wait_program_end 3000 || { reason="still running 3 s after a key press"; return 1; }
  detail="a key press ended it (status $program_status)"
}

# 100 pixels on both axes, either way, is not a movement; 101 on x is.
case_s-move-100() {
  start_saver /s
  wait_ready || return 1
  local point
  for point in "$((centre_x + 100)) $((centre_y + 100))" "$((centre_x - 100)) $((centre_y - 100))" \
               "$((centre_x + 100)) $((centre_y - 100))" "$((centre_x - 100)) $((centre_y + 100))"; do
    # shellcheck disable=SC2086
    xdotool mousemove $point
    sleep 0.3
  done
  sleep 1
  program_running || { reason="ended by movements of 100 pixels"; return 1; }
  viewer_windows >/dev/null || { reason="the viewer went away after movements of 100 pixels"; return 1; }
  xdotool mousemove "$((centre_x + 101))" "$centre_y"
  wait_program_end 3000 || { reason="not ended by a movement of 101 pixels on x"; return 1; }
  detail="100 on both axes kept it, 101 on x ended it"
}

case_s-move-101-y() {
  start_saver /s
  wait_ready || return 1
  xdotool mousemove "$centre_x" "$((centre_y - 101))"
  wait_program_end 3000 || { reason="not ended by a movement of 101 pixels on y"; return 1; }
  detail="101 on y ended it"
}

case_s-click() {
  start_saver /s
  wait_ready || return 1
  xdotool click 1
  wait_program_end 3000 || { reason="still running 3 s after a click"; return 1; }
  detail="a click ended it (status $program_status)"
}

# /d: shown as /s, but not topmost.
case_d-show() {
  full_screen_shows /d 0 d-show "$out/scr-expected.png" || return 1
  detail="picture $picture_id exact after $shown_after_ms ms, viewer not topmost"
}

# The mode is the second character, lower-cased; an unknown one is full screen.
case_mode-letters() {
  local argument want
  for argument in "-S:1" "/D:0" "/x:1" "/sx:1"; do
    want=${argument##*:}
    argument=${argument%:*}
    start_saver "$argument"
    wait_viewer 15000 || { reason="'$argument': no viewer window"; return 1; }
    check_full_screen_viewer "$want" || { reason="'$argument': $reason"; return 1; }
    end_case
  done
  detail="-S, /D, /x and /sx give full-screen viewers (topmost but for /D)"
}

# --- the settings dialog ----------------------------------------------------------------

config_caption='"紙芝居スライドショー"の設定'
config_wait_items=' 0 秒| 1 秒| 2 秒| 3 秒| 4 秒| 5 秒| 6 秒| 7 秒| 8 秒| 9 秒|10 秒|11 秒|12 秒|13 秒|14 秒|15 秒'
config_effect_items='なし|フェード|矩形平均化|モノクロフェード|セピアフェード'
config_speed_items='激速|速い|普通|遅い|激遅'

# The dialog as designed for the demo, at 96 dpi: one control a line as
# id|class|text|left,top,right,bottom in the client area|shown, "*" where
# the system decides (a closed list's height; a list's text, which is its
# selection). The four information lines stand 48 pixels right of their
# designed 20 (the demo's about picture is 48 wide) and are as much
# narrower; the standard OK and Cancel lie below the 200-pixel client area.
config_design='100|Static|紙芝居スクリーンセーバー デモ|68,104,300,116|1
101|Static|Version 1.0 (demo)|68,116,300,128|1
102|Static|絵も音もプログラムで生成|68,129,300,141|1
103|Static|Demo content: free to share.|68,142,300,154|1
104|KamishibaiFlatButton|OK|127,171,207,193|1
105|KamishibaiFlatButton|キャンセル|217,171,297,193|1
108|Button| 動作内容を設定してください |11,5,299,97|1
109|Static|画像切替間隔|21,27,93,39|1
110|Static|画像切替効果|21,51,93,63|1
111|Static|音　声　再　生|21,73,93,85|1
112|ComboBox|*|112,23,179,*|1
113|ComboBox|*|112,46,240,*|1
114|ComboBox|*|237,46,296,*|1
115|Button|あり|112,71,209,88|1
1|Button|OK|116,224,191,249|1
2|Button|キャンセル|206,224,294,249|1'

# Without a version line its label is hidden and what was below it (the
# notices, the buttons) moves up by its 12 pixels.
config_design_no_version="$(printf '%s\n' "$config_design" | grep -vP '^10[1-5]\|')
101|Static||*|0
102|Static|絵も音もプログラムで生成|68,117,300,129|1
103|Static|Demo content: free to share.|68,130,300,142|1
104|KamishibaiFlatButton|OK|127,159,207,181|1
105|KamishibaiFlatButton|キャンセル|217,159,297,181|1"

# The same dialog for an English user: English texts at the same places, but
# for the speed list, which takes 16 pixels from the effect list.
config_caption_english='"紙芝居スライドショー" Settings'
config_wait_items_english='0 sec|1 sec|2 sec|3 sec|4 sec|5 sec|6 sec|7 sec|8 sec|9 sec|10 sec|11 sec|12 sec|13 sec|14 sec|15 sec'
config_effect_items_english='None|Fade|Mosaic|Grey fade|Sepia fade'
config_speed_items_english='Fastest|Fast|Normal|Slow|Slowest'
config_design_english=$(printf '%s\n' "$config_design" | sed \
  -e 's/^105|KamishibaiFlatButton|キャンセル|/105|KamishibaiFlatButton|Cancel|/' \
  -e 's/^108|Button| 動作内容を設定してください |/108|Button| How the slide show runs |/' \
  -e 's/^109|Static|画像切替間隔|/109|Static|Interval|/' \
  -e 's/^110|Static|画像切替効果|/110|Static|Transition|/' \
  -e 's/^111|Static|音　声　再　生|/111|Static|Sound|/' \
  -e 's/^115|Button|あり|/115|Button|On|/' \
  -e 's/^113|ComboBox|\*|112,46,240,\*|/113|ComboBox|*|112,46,224,*|/' \
  -e 's/^114|ComboBox|\*|237,46,296,\*|/114|ComboBox|*|221,46,296,*|/' \
  -e 's/^2|Button|キャンセル|/2|Button|Cancel|/')

# control_line ID: the line of one control in config_controls.
control_line() { printf '%s\n' "$config_controls" | grep -P "^hwnd=\\d+\\tid=$1\\t"; }
read_controls() { config_controls=$(probe controls "$config_window"); }

# wait_config: waits (15 s at most) until the settings dialog stands where it
# stays (it is shown off the screen and centred a moment later) with the
# keyboard focus on the wait list, then gives it the X server's keyboard
# focus and rests the pointer on the about picture, where no opened list
# reaches (an open list follows the pointer). Sets config_window (its
# number), config_line (probe window) and config_controls.
wait_config() {
  local rect focused
  probe wait KamishibaiConfig 15000 >/dev/null || { reason="no settings dialog within 15 s"; return 1; }
  if ! wait_for 5000 config_settled; then
    focused=$(printf '%s\n' "$config_controls" | grep -P '\tfocus=1\t' | cut -f2-4 | tr '\t' ' ')
    reason="the dialog did not settle at a place with the focus on the wait list (at $rect, focus: ${focused:-none})"
    return 1
  fi
  note "$case_name: dialog: $config_line"
  local origin window
  origin=$(field "$config_line" client_origin)
  xdotool mousemove $((${origin%,*} + 35)) $((${origin#*,} + 128))
  ! find_window --onlyvisible '^".*"(の設定| Settings)$' || xdotool windowfocus --sync "$window" 2>/dev/null
  return 0
}

# config_settled: the dialog (config_window, config_line, config_controls)
# stands on the screen (at rect) with the focus on the wait list.
config_settled() {
  config_window=$(field "$(config_windows | head -n 1)" hwnd)
  config_line=$(probe window "$config_window")
  read_controls
  rect=$(field "$config_line" rect)
  [ -n "$rect" ] && [[ $rect != -* ]] && [ "$(field "$(control_line 112)" focus)" = 1 ]
}

config_keys() { xdotool key --delay 80 "$@"; }

# click_button ID: a click in the middle of a control of the dialog.
click_button() {
  local left top right bottom
  IFS=, read -r left top right bottom <<<"$(field "$(control_line "$1")" rect)"
  xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

# wait_choices WAIT EFFECT SPEED SOUND: waits (3 s at most) until the three
# lists' selections and the check box's state are these ("*" for any).
wait_choices() {
  local want="$*" have
  poll_every=0.2 wait_for 3000 choices_are "$want" && return 0
  reason="the dialog shows wait, effect, speed, sound as $have, expected $want"
  return 1
}

# choices_are PATTERN: the selections and the check box (in have) match.
choices_are() {
  read_controls
  have="$(field "$(control_line 112)" selection) $(field "$(control_line 113)" selection)"
  have+=" $(field "$(control_line 114)" selection) $(field "$(control_line 115)" check)"
  # shellcheck disable=SC2053
  [[ $have == $1 ]]
}

# speed_enabled WANT: waits (3 s at most) until the speed list's enabled state is WANT.
speed_enabled() {
  local have
  poll_every=0.2 wait_for 3000 speed_list_enabled "$1" && return 0
  reason="the speed list has enabled=$have, expected $1 (effect $(field "$(control_line 113)" selection))"
  return 1
}

speed_list_enabled() {
  read_controls
  have=$(field "$(control_line 114)" enabled)
  [ "$have" = "$1" ]
}

# close_config KEY: presses KEY in the dialog, which must then go and its
# saver end (the one start_saver started, or else whichever showed it).
close_config() {
  config_keys "$1"
  if [ -n "$program_pid" ]; then
    wait_program_end 10000 || { reason="still running 10 s after $1"; return 1; }
  else
    probe wait-gone KamishibaiConfig 10000 >/dev/null || { reason="the dialog still there 10 s after $1"; return 1; }
  fi
}

# check_layout TABLE: config_controls against a table as config_design.
# Every control is enabled; there are no others.
check_layout() {
  local id class text place shown line have i problems=() rows=0
  local -a have_parts want_parts
  while IFS='|' read -r id class text place shown; do
    [ -n "$id" ] || continue
    rows=$((rows + 1))
    line=$(control_line "$id")
    if [ -z "$line" ]; then problems+=("no control $id"); continue; fi
    [ "$(field "$line" class)" = "$class" ] || problems+=("$id is a $(field "$line" class), not a $class")
    [ "$text" = "*" ] || [ "$(field "$line" text)" = "$text" ] ||
      problems+=("$id says \"$(field "$line" text)\", not \"$text\"")
    [ "$(field "$line" visible)" = "$shown" ] || problems+=("$id visible=$(field "$line" visible)")
    [ "$(field "$line" enabled)" = 1 ] || problems+=("$id disabled")
    [ "$shown" = 1 ] || continue
    have=$(field "$line" client)
    IFS=, read -r -a have_parts <<<"$have"
    IFS=, read -r -a want_parts <<<"$place"
    for i in 0 1 2 3; do
      if [ "${want_parts[i]}" != "*" ] && [ "${have_parts[i]}" != "${want_parts[i]}" ]; then
        problems+=("$id at $have, not $place")
        break
      fi
    done
  done <<<"$1"
  local count
  count=$(printf '%s\n' "$config_controls" | grep -c '^hwnd=')
  [ "$count" = "$rows" ] || problems+=("$count controls, expected $rows")
  [ ${#problems[@]} -eq 0 ] && return 0
  reason="layout: ${problems[*]}"
  return 1
}

# ini_value FILE KEY: a value of section [Preference].
ini_value() {
  tr -d '\r' <"$1" | awk -v key="$2" '
    substr($0, 1, 1) == "[" { section = $0; next }
    section == "[Preference]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }'
}

# check_ini KEY=VALUE...: the case's kt5_scr2.ini has these in [Preference]
# (kept as build/wine-saver/CASE-kt5_scr2.ini).
check_ini() {
  local file=$case_dir/kt5_scr2.ini pair key value problems=()
  [ -f "$file" ] || { reason="no kt5_scr2.ini beside the saver"; return 1; }
  cp "$file" "$out/$case_name-kt5_scr2.ini"
  for pair in "$@"; do
    key=${pair%%=*}
    value=$(ini_value "$file" "$key")
    [ "$value" = "${pair#*=}" ] || problems+=("$key='$value' (expected ${pair#*=})")
  done
  [ ${#problems[@]} -eq 0 ] && return 0
  reason="kt5_scr2.ini [Preference]: ${problems[*]}"
  return 1
}

# centred_on OUTER INNER: whether rect INNER stands in the middle of rect
# OUTER (to a pixel: an odd difference in size is halved down).
centred_on() {
  local l1 t1 r1 b1 l2 t2 r2 b2
  IFS=, read -r l1 t1 r1 b1 <<<"$1"
  IFS=, read -r l2 t2 r2 b2 <<<"$2"
  local dx=$(((l2 - l1) - (r1 - r2))) dy=$(((t2 - t1) - (b1 - b2)))
  [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ]
}

# dialog_screenshot NAME: the screen as NAME-screen.png, and cropped to the
# dialog's window as NAME.png with a 2x copy NAME-2x.png to read the small
# text by. Without a window manager nobody draws the frame: its strips are black.
dialog_screenshot() {
  local left top right bottom
  IFS=, read -r left top right bottom <<<"$(field "$config_line" rect)"
  screenshot "$out/$1-screen.png"
  convert "$out/$1-screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out/$1.png"
  convert "$out/$1.png" -filter point -resize 200% "$out/$1-2x.png"
}

# The dialog's look (config-dialog.png): the about picture exactly as the
# archive has it at its place, the form's colour beside it.
check_config_screen() {
  local origin ox oy differ colours
  origin=$(field "$config_line" client_origin)
  ox=${origin%,*} oy=${origin#*,}
  dialog_screenshot config-dialog
  local about_id
  about_id=$(sed -n 's/^about-picture *= *//p' "$demo_unpacked/manifest.toml" | head -n 1)
  "$wine" "$scrtool_exe" picture "$(winpath "$demo")" "$about_id" "$(winpath "$out/about-expected.png")" >/dev/null 2>&1 ||
    { reason="scrtool.exe could not write the about picture $about_id"; return 1; }
  convert "$out/config-dialog-screen.png" -crop "48x48+$((ox + 11))+$((oy + 104))" +repage "$out/config-about.png"
  differ=$(differing_pixels "$out/about-expected.png" "$out/config-about.png" "$out/config-about-diff.png")
  [ "$differ" = 0 ] || { reason="the about picture at 11,104 differs from picture $about_id in $differ pixels (see config-about.png)"; return 1; }
  # The strip left of the group box and the about picture.
  colours=$(convert "$out/config-dialog-screen.png" -crop "9x200+$ox+$oy" +repage -format '%k %[pixel:p{0,0}]' info:)
  [ "$colours" = "1 srgb(226,235,250)" ] || { reason="the dialog's left margin is not all RGB(226,235,250): $colours"; return 1; }
}

# "c" (any case, with or without ":NUMBER") and no argument: the dialog.
case_config-opens() {
  local argument title client rect line
  for argument in /c /c:1234 /C ""; do
    if [ -n "$argument" ]; then start_saver "$argument"; else start_saver; fi
    wait_config || { reason="'$argument': $reason"; return 1; }
    title=$(field "$config_line" title)
    client=$(field "$config_line" client)
    rect=$(field "$config_line" rect)
    [ "$title" = "$config_caption" ] || { reason="'$argument': caption \"$title\", expected \"$config_caption\""; return 1; }
    [ "$client" = 310x200 ] || { reason="'$argument': client area $client, expected 310x200"; return 1; }
    # Nothing was in front at the start: in the middle of the screen.
    centred_on "0,0,$screen_w,$screen_h" "$rect" || { reason="'$argument': at $rect, not in the middle of the screen"; return 1; }
    if [ "$argument" = /c ]; then
      check_layout "$config_design" || return 1
      for line in "112|$config_wait_items" "113|$config_effect_items" "114|$config_speed_items"; do
        [ "$(field "$(control_line "${line%%|*}")" items)" = "${line#*|}" ] ||
          { reason="list ${line%%|*} holds \"$(field "$(control_line "${line%%|*}")" items)\""; return 1; }
      done
      check_config_screen || return 1
    fi
    if viewer_windows >/dev/null; then reason="'$argument': a viewer window beside the dialog"; return 1; fi
    close_config Escape || { reason="'$argument': $reason"; return 1; }
    [ ! -e "$case_dir/kt5_scr2.ini" ] || { reason="'$argument': Escape wrote kt5_scr2.ini"; return 1; }
  done
  detail="/c, /c:1234, /C and no argument: caption $config_caption, 310x200 in the middle of the screen, focus on the wait list; controls as designed (see config-dialog.png)"
}

# Keyboard only: Down/Up choose in a list, Tab goes on, space flips the
# check box; Enter in an open list only closes it, Enter then is OK.
case_config-enter-saves() {
  write_ini SlideshowWait=2 SlideshowEffect=1 SlideshowEffectSpeed=2 SlideshowSoundUse=1
  cp "$case_dir/kt5_scr2.ini" "$case_dir/before.ini"
  start_saver /c
  wait_config || return 1
  wait_choices 2 1 2 1 || { reason="as loaded: $reason"; return 1; }
  config_keys Down Down Down Tab Down Down Tab Up Tab space
  wait_choices 5 3 1 0 || return 1
  # Opened with F4, the wait list takes Down and Enter itself.
  config_keys shift+Tab shift+Tab shift+Tab F4 Down Down Return
  wait_choices 7 3 1 0 || { reason="with the list open: $reason"; return 1; }
  sleep 0.5
  if ! program_running || ! config_windows >/dev/null; then reason="Enter in an open list closed the dialog"; return 1; fi
  cmp -s "$case_dir/before.ini" "$case_dir/kt5_scr2.ini" || { reason="Enter in an open list saved"; return 1; }
  close_config Return || return 1
  check_ini SlideshowWait=7 SlideshowEffect=3 SlideshowEffectSpeed=1 SlideshowSoundUse=0 || return 1
  detail="keys chose 7 s, モノクロフェード, 速い, no sound; Enter saved them (ended with status $program_status)"
}

# Escape, and a click on the visible キャンセル, save nothing, whatever was
# chosen: no file is made, an existing one stays as it was to the byte.
case_config-cancel() {
  local how existing
  for how in escape-none click-existing; do
    rm -f "$case_dir/kt5_scr2.ini" "$case_dir/before.ini"
    existing=0
    if [ "$how" = click-existing ]; then
      existing=1
      printf '[Other]\r\nSlideshowWait=9\r\n\r\n[Preference]\r\nSlideshowSoundUse=0\r\nSlideshowWait=3\r\nSlideshowEffect=4\r\nSlideshowEffectSpeed=0\r\n' \
        >"$case_dir/kt5_scr2.ini"
      cp "$case_dir/kt5_scr2.ini" "$case_dir/before.ini"
    fi
    start_saver /c
    wait_config || { reason="$how: $reason"; return 1; }
    if [ "$existing" = 1 ]; then
      wait_choices 3 4 0 0 || { reason="$how: as loaded: $reason"; return 1; }
    fi
    # The last wait, no effect (the speed list is then skipped), the check box flipped.
    config_keys End Tab Home Tab space
    if [ "$existing" = 1 ]; then
      wait_choices 15 0 0 1 || { reason="$how: $reason"; return 1; }
    else
      wait_choices 15 0 '*' '*' || { reason="$how: $reason"; return 1; }
    fi
    if [ "$how" = escape-none ]; then
      close_config Escape || { reason="$how: $reason"; return 1; }
    else
      click_button 105
      wait_program_end 10000 || { reason="$how: still running 10 s after a click on キャンセル at $(field "$(control_line 105)" rect)"; return 1; }
    fi
    if [ "$existing" = 0 ] && [ -e "$case_dir/kt5_scr2.ini" ]; then reason="$how: kt5_scr2.ini was made"; return 1; fi
    if [ "$existing" = 1 ] && ! cmp -s "$case_dir/before.ini" "$case_dir/kt5_scr2.ini"; then
      cp "$case_dir/kt5_scr2.ini" "$out/config-cancel-kt5_scr2.ini"
      reason="$how: kt5_scr2.ini changed (see config-cancel-kt5_scr2.ini)"
      return 1
    fi
  done
  detail="Escape made no file; a click on キャンセル left the file byte for byte"
}

# "なし" disables the speed list, another effect enables it again; the
# speed's index is saved all the same.
case_config-none-disables-speed() {
  write_ini SlideshowWait=2 SlideshowEffect=2 SlideshowEffectSpeed=4 SlideshowSoundUse=1
  start_saver /c
  wait_config || return 1
  wait_choices 2 2 4 1 || { reason="as loaded: $reason"; return 1; }
  speed_enabled 1 || return 1
  config_keys Tab
  # keys in the effect list|the effect then|the speed list enabled
  local step keys effect enabled
  for step in "Up Up|0|0" "Down|1|1" "Up|0|0"; do
    IFS='|' read -r keys effect enabled <<<"$step"
    # shellcheck disable=SC2086
    config_keys $keys
    wait_choices 2 "$effect" 4 1 || return 1
    speed_enabled "$enabled" || return 1
  done
  close_config Return || return 1
  check_ini SlideshowWait=2 SlideshowEffect=0 SlideshowEffectSpeed=4 SlideshowSoundUse=1 || return 1
  detail="なし disabled the speed list, フェード enabled it; saved effect 0 with speed 4"
}

# A wait the list does not hold shows no selection, and OK (the visible
# button, clicked) saves -1.
case_config-wait-99() {
  write_ini SlideshowWait=99 SlideshowEffect=3 SlideshowEffectSpeed=1 SlideshowSoundUse=0
  start_saver /c
  wait_config || return 1
  wait_choices -1 3 1 0 || return 1
  local text
  text=$(field "$(control_line 112)" text)
  [ -z "$text" ] || { reason="the wait list shows \"$text\" with no selection"; return 1; }
  click_button 104
  wait_program_end 10000 || { reason="still running 10 s after a click on OK at $(field "$(control_line 104)" rect)"; return 1; }
  check_ini SlideshowWait=-1 SlideshowEffect=3 SlideshowEffectSpeed=1 SlideshowSoundUse=0 || return 1
  detail="wait 99: no selection; a click on OK saved it as -1 and kept the other three"
}

# A saver whose information has no version line.
case_config-no-version() {
  local folder=$out/no-version
  rm -rf "$folder"
  cp -r "$demo_unpacked" "$folder"
  sed -i 's/^version *=.*/version = ""/' "$folder/manifest.toml"
  "$scrtool" pack "$folder/manifest.toml" -o "$case_dir/kamishibai.scr" --append-to "$bare_saver" >"$out/no-version-pack.log" 2>&1 ||
    { reason="scrtool pack failed: $(tail -n 1 "$out/no-version-pack.log")"; return 1; }
  start_saver /c
  wait_config || return 1
  local client
  client=$(field "$config_line" client)
  [ "$client" = 310x188 ] || { reason="client area $client, expected 310x188"; return 1; }
  check_layout "$config_design_no_version" || return 1
  dialog_screenshot config-dialog-no-version
  close_config Escape || return 1
  detail="version label hidden, notices at 117 and 130, buttons at 159, client area 310x188"
}

# Started in front of another window (as from the display settings): that
# window is disabled while the dialog shows over its middle, and enabled and
# in front again afterwards.
case_config-owner() {
  local report=$case_dir/owner.txt
  xdotool mousemove "$centre_x" "$centre_y"
  start_wine_host "$case_dir/host.out" "$helpers/owner_host.exe" "$(winpath "$report")" "$(winpath "$case_exe")" /c
  wait_config || return 1
  local host host_line rect
  host=$(field "$(probe list | grep -P '\tclass=KamishibaiOwnerHost\t' | head -n 1)" hwnd)
  [ -n "$host" ] || { reason="no owner host window"; return 1; }
  host_line=$(probe window "$host")
  note "$case_name: host while the dialog shows: $host_line"
  rect=$(field "$config_line" rect)
  [ "$(field "$host_line" enabled)" = 0 ] || { reason="the host is enabled while the dialog shows"; return 1; }
  [ "$(field "$config_line" owner)" = "$host" ] || { reason="the dialog's owner is $(field "$config_line" owner), not the host $host"; return 1; }
  centred_on "$(field "$host_line" rect)" "$rect" ||
    { reason="the dialog at $rect is not in the middle of the host at $(field "$host_line" rect)"; return 1; }
  close_config Escape || return 1
  wait_for 10000 test -s "$report" || { reason="the host wrote no report"; return 1; }
  # The host keeps its window three seconds after the report.
  host_line=$(probe window "$host")
  note "$case_name: host after the dialog: $host_line"
  cp "$report" "$out/config-owner-report.txt"
  [ "$(report_value foreground_at_start)" = 1 ] || { reason="the host was not in front when the saver started"; return 1; }
  [ "$(field "$host_line" enabled)" = 1 ] || { reason="the host is still disabled after Escape"; return 1; }
  [ "$(field "$host_line" foreground)" = 1 ] || { reason="the host is not in front after Escape"; return 1; }
  [ "$(report_value enabled_after)" = 1 ] || { reason="the host found itself disabled after the saver ended"; return 1; }
  wait_for 10000 pid_gone "$host_pid"
  detail="host disabled while the dialog stood centred on it at $rect, enabled and in front after Escape"
}

# Effect "なし" saved through the dialog: the first picture is there at
# once, without the 3-second fade of the demo's own effect.
case_config-then-show() {
  write_ini SlideshowWait=5 SlideshowEffect=1 SlideshowEffectSpeed=2 SlideshowSoundUse=1
  start_saver /c
  wait_config || return 1
  config_keys Tab Up
  wait_choices 5 0 2 1 || return 1
  close_config Return || return 1
  check_ini SlideshowEffect=0 || return 1
  start_saver /s
  wait_viewer || return 1
  local fade_at=$((viewer_seen_ms + 1500)) differ attempts=0 exact_after
  wait_for $((fade_at - $(now_ms))) screen_shows "$out/config-then-show-early.png" "$out/scr-expected.png"
  exact_after=$(($(now_ms) - viewer_seen_ms))
  note "$case_name: $attempts screenshot(s) until exact, the last $differ pixels off, $exact_after ms after the viewer"
  [ "$differ" = 0 ] || { reason="not picture $picture_id within 1.5 s: $differ pixels differ (config-then-show-early.png)"; return 1; }
  sleep_until "$fade_at"
  screenshot "$out/config-then-show-1500ms.png"
  differ=$(differing_pixels "$out/scr-expected.png" "$out/config-then-show-1500ms.png" "$out/config-then-show-diff.png")
  [ "$differ" = 0 ] || { reason="at 1.5 s the screen differs from picture $picture_id in $differ pixels"; return 1; }
  detail="effect 0 saved; picture $picture_id exact $exact_after ms after the viewer appeared and at 1.5 s (with the fade: from $first_still ms)"
}

# The registry build: the dialog loads and saves HKCU\Software\Quorvik_Works\
# kt5_scr2\Preference (REG_DWORD values) and makes no ini file.
registry_key='HKCU\Software\Quorvik_Works\kt5_scr2\Preference'
case_config-registry() {
  if [ ! -f "$registry_saver" ]; then
    skip_case "${registry_saver#"$root"/} is not built"
    return 0
  fi
  use_saver "$registry_saver"
  "$wine" reg delete 'HKCU\Software\Quorvik_Works' /f >/dev/null 2>&1
  local pair
  for pair in SlideshowWait=2 SlideshowEffect=1 SlideshowEffectSpeed=2 SlideshowSoundUse=1; do
    "$wine" reg add "$registry_key" /v "${pair%=*}" /t REG_DWORD /d "${pair#*=}" /f >/dev/null 2>&1 ||
      { reason="reg add $pair failed"; return 1; }
  done
  start_saver /c
  wait_config || return 1
  wait_choices 2 1 2 1 || { reason="as loaded from the registry: $reason"; return 1; }
  config_keys Down Down Down Down Down Down Down Down Down Tab Down Tab Down Down Tab space
  wait_choices 11 2 4 0 || return 1
  close_config Return || return 1
  local values problems=() name type value
  values=$("$wine" reg query "$registry_key" 2>/dev/null | tr -d '\r')
  printf '%s\n' "$values" >"$out/config-registry-values.txt"
  for pair in SlideshowWait=0xb SlideshowEffect=0x2 SlideshowEffectSpeed=0x4 SlideshowSoundUse=0x0; do
    read -r name type value <<<"$(printf '%s\n' "$values" | awk -v name="${pair%=*}" '$1 == name')"
    [ "$type $value" = "REG_DWORD ${pair#*=}" ] || problems+=("${pair%=*}: '$type $value' (expected REG_DWORD ${pair#*=})")
  done
  [ ${#problems[@]} -eq 0 ] || { reason="${problems[*]}"; return 1; }
  local made
  made=$(ls "$case_dir"/kt5_scr2.ini "$prefix"/drive_c/users/*/Documents/kt5_scr2.ini 2>/dev/null)
  [ -z "$made" ] || { reason="an ini file was made: $made"; return 1; }
  detail="loaded 2/1/2/1 from the registry; saved 11, 2, 4, 0 as REG_DWORD; no ini file"
}

# A settings file that cannot be written (here a folder of that name, which
# no user can write to, root included): OK says so once, in a box over the
# dialog, and the dialog then closes; nothing is lost.
case_config-save-fails() {
  save_fails_box "$config_caption" 設定を保存できませんでした。
}

# The same box for an English user, in English.
case_config-save-fails-english() {
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=-all "${english_env[@]}")
  save_fails_box "$config_caption_english" "The settings could not be saved."
}

# save_fails_box CAPTION TEXT: OK on a settings file that cannot be written
# gives one box captioned as the dialog, saying TEXT, and then the dialog
# closes.
save_fails_box() {
  local caption=$1 text=$2
  mkdir -p "$case_dir/kt5_scr2.ini"
  start_saver /c
  wait_config || return 1
  config_keys Down
  config_keys Return
  local box
  poll_every=0.2 wait_for 10000 box_captioned "$caption" ||
    { reason="no box captioned $caption: $(probe dialogs | tr '\t' ' ')"; return 1; }
  [ "$(field "$box" text)" = "$text" ] || { reason="the box says \"$(field "$box" text)\", expected \"$text\""; return 1; }
  screenshot "$out/$case_name-screen.png"
  probe dismiss "$caption" >/dev/null
  wait_program_end 10000 || { reason="still running 10 s after the box"; return 1; }
  [ -d "$case_dir/kt5_scr2.ini" ] || { reason="the unwritable settings path was replaced"; return 1; }
  detail="one box \"$text\", then the dialog closed (status $program_status)"
}

# box_captioned CAPTION: a message box of that caption is there (in box).
box_captioned() {
  box=$(probe dialogs | grep -P "\\tcaption=\\Q$1\\E\\t" | head -n 1)
  [ -n "$box" ]
}

# Wine reports the UI language of the locale it runs in, and the saver's
# choice follows it: Japanese for ja_JP.UTF-8, English for en_US.UTF-8 and C.
case_ui-language() {
  local setting have want problems=()
  for setting in ja_JP.UTF-8:0411:japanese en_US.UTF-8:0409:english C:0409:english; do
    want="langid=$(cut -d: -f2 <<<"$setting")	language=$(cut -d: -f3 <<<"$setting")"
    have=$(LANG=${setting%%:*} probe ui-language | tr -d '\r')
    [ "$have" = "$want" ] || problems+=("LANG=${setting%%:*}: $(tr '\t' ' ' <<<"$have"), expected $(tr '\t' ' ' <<<"$want")")
  done
  [ ${#problems[@]} -eq 0 ] || { reason="${problems[*]}"; return 1; }
  detail="ja_JP.UTF-8 gives 0411 and Japanese, en_US.UTF-8 and C give 0409 and English"
}

# At 150 % (144 dots per inch) the dialog grows as a whole: client area,
# places and fonts by 3/2, so nothing is cut.
case_config-dpi-150() {
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  start_saver /c
  local ok=0
  if wait_config; then
    local client wait_rect
    client=$(field "$config_line" client)
    wait_rect=$(field "$(control_line 112)" rect)
    dialog_screenshot config-dialog-150
    if [ "$client" != 465x300 ]; then
      reason="client area $client at 150 %, expected 465x300"
    else
      ok=1
      detail="client area 465x300, wait list at $wait_rect (see config-dialog-150.png)"
    fi
    close_config Escape || ok=0
  fi
  "$wine" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  [ "$ok" = 1 ]
}

# For an English user: caption, labels, buttons and lists in English at the
# Japanese places (see config-dialog-english.png and its 2x copy: nothing
# may be cut off), Escape still cancels.
case_config-english() {
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=-all "${english_env[@]}")
  # The longest items selected: 15 sec, Sepia fade, Slowest.
  write_ini SlideshowWait=15 SlideshowEffect=4 SlideshowEffectSpeed=4 SlideshowSoundUse=1
  start_saver /c
  wait_config || return 1
  wait_choices 15 4 4 1 || return 1
  local title client line
  title=$(field "$config_line" title)
  client=$(field "$config_line" client)
  [ "$title" = "$config_caption_english" ] || { reason="caption \"$title\", expected \"$config_caption_english\""; return 1; }
  [ "$client" = 310x200 ] || { reason="client area $client, expected 310x200"; return 1; }
  check_layout "$config_design_english" || return 1
  for line in "112|$config_wait_items_english" "113|$config_effect_items_english" "114|$config_speed_items_english"; do
    [ "$(field "$(control_line "${line%%|*}")" items)" = "${line#*|}" ] ||
      { reason="list ${line%%|*} holds \"$(field "$(control_line "${line%%|*}")" items)\""; return 1; }
  done
  dialog_screenshot config-dialog-english
  # And the other long speed (config-dialog-english-fastest.png).
  config_keys Tab Tab Home
  wait_choices 15 4 0 1 || return 1
  dialog_screenshot config-dialog-english-fastest
  cp "$case_dir/kt5_scr2.ini" "$case_dir/before.ini"
  close_config Escape || return 1
  cmp -s "$case_dir/before.ini" "$case_dir/kt5_scr2.ini" || { reason="Escape changed kt5_scr2.ini"; return 1; }
  detail="caption $config_caption_english, English texts at the designed places (see config-dialog-english.png)"
}

# The settings' registry store on Wine's registry, by its own test program.
case_registry-store() {
  "$wine" reg delete 'HKCU\Software\Quorvik_Works' /f >/dev/null 2>&1
  local log=$out/registry-store.txt
  if ! "$wine" "$helpers/registry_store_test.exe" >"$log" 2>&1; then
    reason="$(grep -c FAIL "$log") checks failed (see ${log#"$root"/})"
    return 1
  fi
  "$wine" reg query "$registry_key" 2>/dev/null | tr -d '\r' >"$out/registry-store-query.txt"
  grep -Eq '^\s+SlideshowWait\s+REG_DWORD\s+0x7$' "$out/registry-store-query.txt" ||
    { reason="reg query does not show what the store wrote (see registry-store-query.txt)"; return 1; }
  detail="$(grep -c PASS "$log") checks passed; reg query reads the values back"
}

case_p-preview() {
  local report=$case_dir/preview.txt host_seconds=6
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay)
  start_wine_host "$case_dir/host.out" "$helpers/preview_host.exe" "$(winpath "$case_exe")" "$host_seconds" \
    "$(winpath "$report")" --post-input
  # Input at the host window as well, from the X server: the pointer moved onto
  # it, a click, a key and a long movement.
  local window
  wait_window 15000 --onlyvisible '^Preview host$' || { reason="no preview host window"; return 1; }
  local host_window=$window
  sleep 2
  local top_level
  top_level=$(viewer_windows)
  xdotool mousemove 260 220 click 1
  xdotool windowfocus --sync "$host_window" 2>/dev/null
  xdotool key space
  xdotool mousemove 900 700
  screenshot "$out/p-preview-screen.png"
  poll_every=0.2 wait_for $((host_seconds * 1000 + 15000)) pid_gone "$host_pid" ||
    { reason="preview_host did not finish"; return 1; }
  wait "$host_pid" 2>/dev/null
  cp "$report" "$out/p-preview-report.txt" 2>/dev/null
  [ -f "$report" ] || { reason="preview_host wrote no report"; return 1; }
  local value key expected problems=()
  for key in child:1 child_class:KamishibaiViewer child_title:ScreenSaver child_ws_child:1 child_owner_is_saver:1 \
             child_left:0 child_top:0 "child_width:$(report_value host_window_width)" "child_height:$(report_value host_window_height)" \
             input_posted:1 saver_running_before_destroy:1 saver_ended_within_1s:1; do
    expected=${key#*:}
    key=${key%%:*}
    value=$(report_value "$key")
    [ "$value" = "$expected" ] || problems+=("$key=$value (expected $expected)")
  done
  [ -z "$top_level" ] || problems+=("a top-level viewer window during preview")
  grep -q 'trace:relay:load_list' "$case_dir/wine.log" || problems+=("no relay log, sound not observed")
  grep -q 'Call winmm.waveOutOpen' "$case_dir/wine.log" && problems+=("the wave device was opened in preview")
  if [ ${#problems[@]} -gt 0 ]; then reason="${problems[*]}"; return 1; fi
  detail="child $(report_value child_width)x$(report_value child_height) at 0,0 of the host's $(report_value host_window_width)x$(report_value host_window_height) window, input ignored, no sound, ended $(report_value saver_end_after_ms) ms after the host's window went"
}

# report_value KEY: one value of the report a host of tests/wine wrote.
report_value() { sed -n "s/^$1=//p" "$report" | head -n 1; }

# check_bad_preview_number ARGS... TEXT: a message box, no viewer.
check_bad_preview_number() {
  local text=$1
  shift
  start_saver "$@"
  local dialog
  dialog=$(probe wait '#32770' 15000) || { reason="no message box within 15 s"; return 1; }
  sleep 0.5
  screenshot "$out/$case_name-screen.png"
  dialog=$(scrun_dialogs)
  [ -n "$dialog" ] || { reason="no message box captioned SCRUN: $(probe dialogs | tr '\t' ' ')"; return 1; }
  [ "$(printf '%s\n' "$dialog" | wc -l)" = 1 ] || { reason="more than one message box"; return 1; }
  local shown
  shown=$(field "$dialog" text)
  [ "$shown" = "$text" ] || { reason="the box says \"$shown\", expected \"$text\""; return 1; }
  if viewer_windows >/dev/null; then reason="a viewer window exists"; return 1; fi
  probe dismiss SCRUN >/dev/null
  wait_program_end 5000 || { reason="still running 5 s after the box was closed"; return 1; }
  if viewer_windows >/dev/null; then reason="a viewer window after the box"; return 1; fi
  detail="box SCRUN \"$shown\", no viewer, ended after OK"
}

case_p-abc() {
  check_bad_preview_number "'abc' is not a valid integer value" /p abc
}

case_p-empty() {
  check_bad_preview_number "'' is not a valid integer value" /p
}

# The bare saver with no archive anywhere: the text banner drifts on black,
# in the user's language: to the pixel the banner scrtool.exe play draws in
# that language (both cut to their lit pixels below the top 20 rows, where
# the viewer writes the clock's count), and not the other language's.
case_bare-banner() {
  use_saver "$bare_saver"
  shows_banner ja_JP.UTF-8 en_US.UTF-8
}

case_bare-banner-english() {
  use_saver "$bare_saver"
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=-all "${english_env[@]}")
  shows_banner en_US.UTF-8 ja_JP.UTF-8
}

# banner_expected LANG OUT: the banner of a show without a scenario (the
# minimal example without one) as scrtool.exe play draws it for LANG at
# 1.5 s, cut to its lit pixels below the top 20 rows.
banner_expected() {
  local project=$out/no-scenario
  if [ ! -f "$project/no-scenario.brsc" ]; then
    rm -rf "$project" && cp -r "$root/examples/minimal" "$project"
    sed -i '/^\[scenario\]/,/^file *=/d' "$project/manifest.toml"
    "$scrtool" pack "$project/manifest.toml" -o "$project/no-scenario.brsc" >"$out/no-scenario-pack.log" 2>&1 ||
      { reason="scrtool pack failed: $(tail -n 1 "$out/no-scenario-pack.log")"; return 1; }
  fi
  LANG=$1 "$wine" "$scrtool_exe" play "$(winpath "$project/no-scenario.brsc")" --size "${screen_w}x${screen_h}" \
    --until 1500 --events none --snapshot "1500:$(winpath "$out/banner-play-$1.png")" >/dev/null 2>&1 ||
    { reason="scrtool.exe play failed"; return 1; }
  lit_part "$out/banner-play-$1.png" "$2"
}

# lit_part IN OUT: IN without its top 20 rows, cut to its lit pixels.
lit_part() {
  convert "$1" -crop "${screen_w}x$((screen_h - 20))+0+20" +repage -bordercolor black -border 1 -trim +repage "$2"
}

# same_image A B: whether two pictures have the same size and pixels
# (differing_pixels counts pixels of pictures of one size only).
same_image() {
  [ "$(identify -format '%wx%h' "$1")" = "$(identify -format '%wx%h' "$2")" ] && [ "$(differing_pixels "$1" "$2")" = 0 ]
}

# shows_banner LANG OTHER: the case's saver, started full screen, shows the
# banner of LANG, which differs from OTHER's.
shows_banner() {
  local lang=$1 other=$2
  banner_expected "$lang" "$out/$case_name-expected.png" || return 1
  banner_expected "$other" "$out/$case_name-other-language.png" || return 1
  ! same_image "$out/$case_name-expected.png" "$out/$case_name-other-language.png" ||
    { reason="scrtool.exe play draws the same banner in $lang and $other"; return 1; }
  start_saver /s
  wait_viewer || return 1
  check_full_screen_viewer 1 || return 1
  sleep 1.5
  screenshot "$out/$case_name-screen-1.png"
  sleep 1
  screenshot "$out/$case_name-screen-2.png"
  local first second moved limit=$((screen_w * screen_h / 4))
  first=$(non_black "$out/$case_name-screen-1.png")
  second=$(non_black "$out/$case_name-screen-2.png")
  moved=$(differing_pixels "$out/$case_name-screen-1.png" "$out/$case_name-screen-2.png" "$out/$case_name-diff.png")
  note "$case_name: non-black pixels $first and $second, $moved differ"
  if [ "$first" -eq 0 ] || [ "$second" -eq 0 ]; then reason="a screen is all black ($first, $second non-black pixels)"; return 1; fi
  if [ "$first" -gt "$limit" ] || [ "$second" -gt "$limit" ]; then reason="not mostly black ($first, $second non-black pixels)"; return 1; fi
  [ "$moved" -gt 0 ] || { reason="the banner did not move in a second"; return 1; }
  lit_part "$out/$case_name-screen-1.png" "$out/$case_name-banner.png"
  same_image "$out/$case_name-expected.png" "$out/$case_name-banner.png" ||
    { reason="the banner ($case_name-banner.png) is not scrtool.exe's in $lang ($case_name-expected.png)"; return 1; }
  no_dialog || return 1
  detail="the $lang banner exactly, $first and $second non-black pixels on black, $moved pixels changed in a second"
}

case_bare-side-file() {
  use_saver "$bare_saver"
  first_still=$side_first_still next_change=$side_next_change picture_id=$side_picture
  cp "$demo" "$case_dir/SC_TEST.brsc"
  full_screen_shows /s 1 bare-side-file "$out/side-expected.png" || return 1
  detail="picture $picture_id of SC_TEST.brsc exact after $shown_after_ms ms"
}

# wave_open_result: the first waveOutOpen's return value in the relay log, or
# "none" when it was not called.
wave_open_result() {
  local line
  line=$(grep -m 1 'Ret  winmm.waveOutOpen()' "$case_dir/wine.log")
  if [ -n "$line" ]; then
    sed -n 's/.*retval=\([0-9a-fA-F]*\).*/\1/p' <<<"$line"
  elif grep -q 'Call winmm.waveOutOpen' "$case_dir/wine.log"; then
    echo pending
  else
    echo none
  fi
}

# wave_device_answered: waveOutOpen has returned (its result in result).
wave_device_answered() {
  result=$(wave_open_result)
  [ "$result" != none ] && [ "$result" != pending ]
}

# Sound on, with a device: the wave mapper opens and no box appears.
case_sound-on() {
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay)
  start_saver /s
  wait_viewer || return 1
  local result=none
  poll_every=0.2 wait_for $((viewer_seen_ms + first_sound + 4000 - $(now_ms))) wave_device_answered
  sleep_until $((viewer_seen_ms + first_sound + 1000))
  screenshot "$out/sound-on-screen.png"
  grep 'winmm\.' "$case_dir/wine.log" >"$out/sound-on-calls.txt"
  [ "$result" != none ] || { reason="the wave device was never opened"; return 1; }
  [ "$result" = 00000000 ] || { reason="waveOutOpen returned $result"; return 1; }
  grep -q 'Call winmm.waveOutOpen([^,]*,ffffffff,' "$case_dir/wine.log" ||
    { reason="not opened on the wave mapper: $(grep -m 1 'Call winmm.waveOutOpen' "$case_dir/wine.log")"; return 1; }
  no_dialog || return 1
  program_running || { reason="the saver ended"; return 1; }
  detail="waveOutOpen(WAVE_MAPPER) returned 0, no message box"
}

case_sound-off() {
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay)
  write_ini SlideshowSoundUse=0
  start_saver /s
  wait_viewer || return 1
  sleep_until $((viewer_seen_ms + first_sound + 2000))
  screenshot "$out/sound-off-screen.png"
  program_running || { reason="the saver ended"; return 1; }
  grep -q 'trace:relay:load_list' "$case_dir/wine.log" || { reason="no relay log: the check would see nothing"; return 1; }
  [ "$(wave_open_result)" = none ] || { reason="the wave device was opened: $(grep -m 1 'winmm.waveOutOpen' "$case_dir/wine.log")"; return 1; }
  no_dialog || return 1
  detail="no waveOutOpen call past the first sound's time"
}

# Sound on, no device: one box with the system's text, then the show goes on.
case_sound-no-card() {
  saver_env=(ALSA_CONFIG_PATH="$alsa_none" WINEDEBUG=+relay)
  start_saver /s
  wait_viewer || return 1
  local dialog=""
  poll_every=0.2 wait_for $((viewer_seen_ms + first_sound + 5000 - $(now_ms))) scrun_dialog_shown || { reason="no SCRUN message box; dialogs: $(probe dialogs | tr '\t' ' ')"; return 1; }
  local result code expected_text shown
  result=$(wave_open_result)
  case $result in
    none | pending | 00000000) reason="the box came, but waveOutOpen's result is '$result'"; return 1 ;;
  esac
  code=$((16#$result))
  expected_text=$(field "$(probe wave-error-text "$code")" text)
  shown=$(field "$dialog" text)
  sleep 1
  screenshot "$out/sound-no-card-box-screen.png"
  [ "$(scrun_dialogs | wc -l)" = 1 ] || { reason="more than one message box"; return 1; }
  [ "$shown" = "$expected_text" ] ||
    { reason="the box says \"$shown\", the system's text for $code is \"$expected_text\""; return 1; }
  viewer_windows >/dev/null || { reason="no viewer while the box is shown"; return 1; }
  probe dismiss SCRUN >/dev/null
  sleep 1
  program_running || { reason="the saver ended after the box"; return 1; }
  viewer_windows >/dev/null || { reason="no viewer after the box"; return 1; }
  no_dialog || return 1
  # The show went on: the first picture, if it is still standing.
  if [ "$(now_ms)" -lt $((viewer_seen_ms + next_change - 1000)) ]; then
    shows_picture sound-no-card-after "$out/scr-expected.png" || return 1
  fi
  detail="waveOutOpen returned $code, one box \"$shown\", the show went on"
}

# --- run ------------------------------------------------------------------------------------
probe list >/dev/null  # the first start of a Wine program is the slow one
expect scr "$saver"
scr_first_still=$first_still scr_next_change=$next_change scr_first_sound=$first_sound scr_picture=$picture_id
expect side "$demo"
side_first_still=$first_still side_next_change=$next_change side_picture=$picture_id
# The dialog's cases read the demo's information from its manifest.
if [[ " ${cases[*]} " == *" config-"* ]]; then
  rm -rf "$demo_unpacked"
  "$scrtool" unpack "$demo" "$demo_unpacked" >"$out/demo-unpack.log" 2>&1 ||
    { echo "wine-saver-test: scrtool unpack failed (see $out/demo-unpack.log)" >&2; exit 2; }
fi

run_cases
