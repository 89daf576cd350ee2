#!/usr/bin/env bash
# Screen tests of the Windows screen saver under Wine, checked as a user would
# see them: on a private Xvfb screen (1024x768x24) with a private Wine prefix,
# the saver is started the way Windows starts it, the screen is photographed
# and compared pixel for pixel with what scrtool.exe says must be there, input
# is sent with xdotool, and windows and message boxes are read with the
# helpers of tests/wine. Sound is watched from outside through Wine's relay
# log of the waveOut calls, with an ALSA null sink standing in for a sound
# card (or an empty ALSA configuration for a machine without one).
#
#   scripts/wine-saver-test.sh            every case
#   scripts/wine-saver-test.sh CASE...    only those (names as printed)
#
# Needs both presets built: build/linux (demo archive) and build/win64 (the
# savers, scrtool.exe, the helpers). Screenshots, expected pictures, diffs and
# each case's logs stay in build/wine-saver/ for a person to look at. One
# PASS/FAIL line per case; the exit status is non-zero if any case failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD

out=$root/build/wine-saver
win64=$root/build/win64
saver=${KAMISHIBAI_SAVER_DIR:-$win64/shell/win32}/kamishibai.scr
bare_saver=${KAMISHIBAI_SAVER_DIR:-$win64/shell/win32}/kamishibai-bare.scr
helpers=${KAMISHIBAI_WINE_HELPERS:-$win64/tests/wine}
scrtool_exe=$win64/tools/scrtool/scrtool.exe
demo=$root/build/linux/demo.brsc
prefix=$out/prefix
screen_w=1024
screen_h=768
centre_x=$((screen_w / 2))
centre_y=$((screen_h / 2))

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine || true)"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver="$(command -v wineserver || true)"

missing=()
for tool in Xvfb xdotool import compare convert; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ -n "$wine" ] || missing+=(wine64)
[ -n "$wineserver" ] || missing+=(wineserver)
for file in "$saver" "$bare_saver" "$helpers/preview_host.exe" "$helpers/window_probe.exe" "$scrtool_exe" "$demo"; do
  [ -f "$file" ] || missing+=("$file")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "wine-saver-test: missing: ${missing[*]}" >&2
  echo "(scripts/install-deps.sh installs the tools; build both presets: cmake --build --preset linux / win64)" >&2
  exit 2
fi

all_cases=(s-show s-key s-move-100 s-move-101-y s-click d-show mode-letters config-ends
           p-preview p-abc p-empty bare-banner bare-side-file sound-on sound-off sound-no-card)
if [ $# -gt 0 ]; then cases=("$@"); else cases=("${all_cases[@]}"); fi
for name in "${cases[@]}"; do
  [[ " ${all_cases[*]} " == *" $name "* ]] || { echo "wine-saver-test: no case '$name' (cases: ${all_cases[*]})" >&2; exit 2; }
done

mkdir -p "$out"
rm -rf "$out/cases"
rm -f "$out"/*.png "$out"/*.txt "$out"/*.log
mkdir -p "$out/cases"

# Wine sees every Unix path through its Z: drive.
winpath() { local path; path=$(realpath -m "$1"); printf 'Z:%s' "${path//\//\\}"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
note() { printf '%s\n' "$*" >>"$out/details.log"; }

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH

# The ALSA configurations: a null sink as the default device (a machine with
# a sound card that plays into nothing) and none at all (a machine without).
alsa_null=$out/alsa-null.conf
alsa_none=$out/alsa-none.conf
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$alsa_null"
: >"$alsa_none"

# --- private X screen and Wine server, always taken down on exit -----------------
xvfb_pid=
saver_pid=
background_pids=()
cleanup() {
  local pid
  for pid in $saver_pid "${background_pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null
  done
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number itself (-displayfd), so two runs, or
# another X server on the machine, never collide.
start_xvfb() {
  local number_file=$out/xvfb.display
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$number_file" >"$out/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local deadline=$(($(now_ms) + 15000)) number
  while [ "$(now_ms)" -lt "$deadline" ] && kill -0 "$xvfb_pid" 2>/dev/null; do
    number=$(tr -dc 0-9 <"$number_file")
    if [ -n "$number" ] && DISPLAY=":$number" xdotool getmouselocation >/dev/null 2>&1; then
      export DISPLAY=":$number"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

start_xvfb || { echo "wine-saver-test: could not start Xvfb" >&2; exit 2; }
echo "Xvfb on $DISPLAY, Wine prefix $prefix"
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
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
# With WINEDEBUG=+relay only these calls are logged: how the sound cases see
# the wave device being opened from outside the saver.
"$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'winmm.waveOutOpen;winmm.waveOutClose' /f >/dev/null 2>&1

probe() { "$wine" "$helpers/window_probe.exe" "$@" 2>/dev/null; }
# field LINE KEY: one value of a tab-separated key=value line.
field() { printf '%s\n' "$1" | tr '\t' '\n' | sed -n "s/^$2=//p" | head -n 1; }
viewer_windows() { probe list | grep -P '\tclass=KamishibaiViewer\t'; }
scrun_dialogs() { probe dialogs | grep -P '\tcaption=SCRUN\t'; }

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

# --- one case ----------------------------------------------------------------------------
# new_case NAME [SAVER]: a folder of its own with a copy of the saver, so that
# the settings and side files of one case never reach another.
new_case() {
  case_name=$1
  case_dir=$out/cases/$1
  mkdir -p "$case_dir"
  case_exe=$case_dir/kamishibai.scr
  cp "${2:-$saver}" "$case_exe"
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=-all)
  saver_pid=
  reason=
}

# write_ini KEY=VALUE...: the saver's settings file beside it.
write_ini() {
  {
    printf '[Preference]\r\n'
    local pair
    for pair in "$@"; do printf '%s\r\n' "$pair"; done
  } >"$case_dir/kt5_scr2.ini"
}

# start_saver ARGS...: runs the case's saver in its folder, in the background.
start_saver() {
  xdotool mousemove "$centre_x" "$centre_y"
  (cd "$case_dir" && exec env "${saver_env[@]}" "$wine" "$case_exe" "$@" >"$case_dir/saver.out" 2>"$case_dir/wine.log") &
  saver_pid=$!
  note "$case_name: started kamishibai.scr $* (pid $saver_pid)"
}

# wait_exit SECONDS: whether the saver ended in that time; saver_rc its status.
wait_exit() {
  local deadline=$(($(now_ms) + $1 * 1000))
  while kill -0 "$saver_pid" 2>/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
  wait "$saver_pid" 2>/dev/null
  saver_rc=$?
  note "$case_name: the saver ended with status $saver_rc"
  saver_pid=
  return 0
}

saver_running() { [ -n "$saver_pid" ] && kill -0 "$saver_pid" 2>/dev/null; }

# wait_viewer [MS]: waits for the viewer window; viewer_line describes it and
# viewer_seen_ms is when it was seen.
wait_viewer() {
  viewer_line=$(probe wait KamishibaiViewer "${1:-15000}")
  local status=$?
  viewer_seen_ms=$(now_ms)
  note "$case_name: viewer: $viewer_line"
  return $status
}

end_case() {
  if saver_running; then
    kill -KILL "$saver_pid" 2>/dev/null
    wait "$saver_pid" 2>/dev/null
  fi
  saver_pid=
  # Leftovers of a failed case must not cover the next one's screen.
  if probe list | grep -qP '\tclass=(KamishibaiViewer|KamishibaiCover|#32770)\t'; then
    probe wait-gone KamishibaiViewer 5000 >/dev/null
    probe wait-gone '#32770' 5000 >/dev/null
  fi
}

screenshot() { import -window root "$out/$1.png" 2>>"$out/details.log"; }

# differing A.png B.png [DIFF.png]: the number of pixels that differ.
differing() {
  local result
  result=$(compare -metric AE "$1" "$2" "${3:-null:}" 2>&1)
  awk -v r="$result" 'BEGIN { n = split(r, f, " "); printf "%d\n", f[n] }'
}

non_black() {
  convert "$1" -alpha off -fill white +opaque '#000000' -format '%[fx:round(mean*w*h)]' info:
}

# sleep_until MS: sleeps until now_ms reaches MS.
sleep_until() {
  local left=$(($1 - $(now_ms)))
  [ "$left" -le 0 ] || sleep "$(awk -v ms="$left" 'BEGIN { printf "%.3f", ms / 1000 }')"
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
  while :; do
    attempts=$((attempts + 1))
    screenshot "$name-screen"
    differ=$(differing "$expected" "$out/$name-screen.png")
    [ "$differ" = 0 ] && break
    [ "$(now_ms)" -lt "$until" ] || break
    sleep 0.3
  done
  note "$name: $attempts screenshot(s), last one differs from $expected in $differ pixels"
  if [ "$differ" != 0 ]; then
    differing "$expected" "$out/$name-screen.png" "$out/$name-diff.png" >/dev/null
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

# --- the cases ---------------------------------------------------------------------------

# /s: the demo's first picture full screen, topmost.
case_s-show() {
  new_case s-show
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  check_full_screen_viewer 1 || return 1
  shows_picture s-show "$out/scr-expected.png" || return 1
  no_dialog || return 1
  reason="picture $picture_id exact after $shown_after_ms ms, viewer 0,0-${screen_w}x${screen_h} topmost"
}

# wait_ready: the viewer is up and has had a moment to take its starting
# point; the pointer is still where the saver started.
wait_ready() {
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  sleep 0.7
  saver_running || { reason="the saver ended by itself"; return 1; }
}

case_s-key() {
  new_case s-key
  start_saver /s
  wait_ready || return 1
  local window
  window=$(xdotool search --onlyvisible --name '^ScreenSaver$' | head -n 1)
  [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key space
  wait_exit 3 || { reason="still running 3 s after a key press"; return 1; }
  reason="a key press ended it (status $saver_rc)"
}

# 100 pixels on both axes, either way, is not a movement; 101 on x is.
case_s-move-100() {
  new_case s-move-100
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
  saver_running || { reason="ended by movements of 100 pixels"; return 1; }
  viewer_windows >/dev/null || { reason="the viewer went away after movements of 100 pixels"; return 1; }
  xdotool mousemove "$((centre_x + 101))" "$centre_y"
  wait_exit 3 || { reason="not ended by a movement of 101 pixels on x"; return 1; }
  reason="100 on both axes kept it, 101 on x ended it"
}

case_s-move-101-y() {
  new_case s-move-101-y
  start_saver /s
  wait_ready || return 1
  xdotool mousemove "$centre_x" "$((centre_y - 101))"
  wait_exit 3 || { reason="not ended by a movement of 101 pixels on y"; return 1; }
  reason="101 on y ended it"
}

case_s-click() {
  new_case s-click
  start_saver /s
  wait_ready || return 1
  xdotool click 1
  wait_exit 3 || { reason="still running 3 s after a click"; return 1; }
  reason="a click ended it (status $saver_rc)"
}

# /d: shown as /s, but not topmost.
case_d-show() {
  new_case d-show
  start_saver /d
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  check_full_screen_viewer 0 || return 1
  shows_picture d-show "$out/scr-expected.png" || return 1
  no_dialog || return 1
  reason="picture $picture_id exact after $shown_after_ms ms, viewer not topmost"
}

# The mode is the second character, lower-cased; an unknown one is full screen.
case_mode-letters() {
  new_case mode-letters
  local argument want
  for argument in "-S:1" "/D:0" "/x:1" "/sx:1"; do
    want=${argument##*:}
    argument=${argument%:*}
    start_saver "$argument"
    wait_viewer 15000 || { reason="'$argument': no viewer window"; return 1; }
    check_full_screen_viewer "$want" || { reason="'$argument': $reason"; return 1; }
    end_case
  done
  reason="-S, /D, /x and /sx give full-screen viewers (topmost but for /D)"
}

# "c" and no argument: the configuration, which for now ends at once.
case_config-ends() {
  new_case config-ends
  local argument
  for argument in /c /C ""; do
    if [ -n "$argument" ]; then start_saver "$argument"; else start_saver; fi
    wait_exit 10 || { reason="'$argument' still running after 10 s"; return 1; }
    if viewer_windows >/dev/null; then reason="'$argument' left a viewer window"; return 1; fi
  done
  reason="/c, /C and no argument end at once without a viewer"
}

case_p-preview() {
  new_case p-preview
  local report=$case_dir/preview.txt host_seconds=6
  (cd "$case_dir" && exec env ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay \
    "$wine" "$helpers/preview_host.exe" "$(winpath "$case_exe")" "$host_seconds" "$(winpath "$report")" --post-input \
    >"$case_dir/host.out" 2>"$case_dir/wine.log") &
  local host_pid=$!
  background_pids+=("$host_pid")
  # Input at the host window as well, from the X server: the pointer moved onto
  # it, a click, a key and a long movement.
  local host_window="" deadline=$(($(now_ms) + 15000))
  while [ -z "$host_window" ] && [ "$(now_ms)" -lt "$deadline" ]; do
    host_window=$(xdotool search --onlyvisible --name '^Preview host$' 2>/dev/null | head -n 1)
    [ -n "$host_window" ] || sleep 0.1
  done
  [ -n "$host_window" ] || { reason="no preview host window"; return 1; }
  sleep 2
  local top_level
  top_level=$(viewer_windows)
  xdotool mousemove 260 220 click 1
  xdotool windowfocus --sync "$host_window" 2>/dev/null
  xdotool key space
  xdotool mousemove 900 700
  screenshot p-preview-screen
  deadline=$(($(now_ms) + host_seconds * 1000 + 15000))
  while kill -0 "$host_pid" 2>/dev/null && [ "$(now_ms)" -lt "$deadline" ]; do sleep 0.2; done
  if kill -0 "$host_pid" 2>/dev/null; then reason="preview_host did not finish"; return 1; fi
  wait "$host_pid" 2>/dev/null
  cp "$report" "$out/p-preview-report.txt" 2>/dev/null
  [ -f "$report" ] || { reason="preview_host wrote no report"; return 1; }
  local value key expected problems=()
  report_value() { sed -n "s/^$1=//p" "$report" | head -n 1; }
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
  reason="child $(report_value child_width)x$(report_value child_height) at 0,0 of the host's $(report_value host_window_width)x$(report_value host_window_height) window, input ignored, no sound, ended $(report_value saver_end_after_ms) ms after the host's window went"
}

# check_bad_preview_number ARGS... TEXT: a message box, no viewer.
check_bad_preview_number() {
  local text=$1
  shift
  start_saver "$@"
  local dialog
  dialog=$(probe wait '#32770' 15000) || { reason="no message box within 15 s"; return 1; }
  sleep 0.5
  screenshot "$case_name-screen"
  dialog=$(scrun_dialogs)
  [ -n "$dialog" ] || { reason="no message box captioned SCRUN: $(probe dialogs | tr '\t' ' ')"; return 1; }
  [ "$(printf '%s\n' "$dialog" | wc -l)" = 1 ] || { reason="more than one message box"; return 1; }
  local shown
  shown=$(field "$dialog" text)
  [ "$shown" = "$text" ] || { reason="the box says \"$shown\", expected \"$text\""; return 1; }
  if viewer_windows >/dev/null; then reason="a viewer window exists"; return 1; fi
  probe dismiss SCRUN >/dev/null
  wait_exit 5 || { reason="still running 5 s after the box was closed"; return 1; }
  if viewer_windows >/dev/null; then reason="a viewer window after the box"; return 1; fi
  reason="box SCRUN \"$shown\", no viewer, ended after OK"
}

case_p-abc() {
  new_case p-abc
  check_bad_preview_number "'abc' is not a valid integer value" /p abc
}

case_p-empty() {
  new_case p-empty
  check_bad_preview_number "'' is not a valid integer value" /p
}

# The bare saver with no archive anywhere: the text banner drifts on black.
case_bare-banner() {
  new_case bare-banner "$bare_saver"
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  check_full_screen_viewer 1 || return 1
  sleep 1.5
  screenshot bare-banner-screen-1
  sleep 1
  screenshot bare-banner-screen-2
  local first second moved limit=$((screen_w * screen_h / 4))
  first=$(non_black "$out/bare-banner-screen-1.png")
  second=$(non_black "$out/bare-banner-screen-2.png")
  moved=$(differing "$out/bare-banner-screen-1.png" "$out/bare-banner-screen-2.png" "$out/bare-banner-diff.png")
  note "bare-banner: non-black pixels $first and $second, $moved differ"
  if [ "$first" -eq 0 ] || [ "$second" -eq 0 ]; then reason="a screen is all black ($first, $second non-black pixels)"; return 1; fi
  if [ "$first" -gt "$limit" ] || [ "$second" -gt "$limit" ]; then reason="not mostly black ($first, $second non-black pixels)"; return 1; fi
  [ "$moved" -gt 0 ] || { reason="the banner did not move in a second"; return 1; }
  no_dialog || return 1
  reason="$first and $second non-black pixels on black, $moved pixels changed in a second"
}

case_bare-side-file() {
  new_case bare-side-file "$bare_saver"
  cp "$demo" "$case_dir/SC_TEST.brsc"
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  check_full_screen_viewer 1 || return 1
  shows_picture bare-side-file "$out/side-expected.png" || return 1
  no_dialog || return 1
  reason="picture $picture_id of SC_TEST.brsc exact after $shown_after_ms ms"
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

# Sound on, with a device: the wave mapper opens and no box appears.
case_sound-on() {
  new_case sound-on
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay)
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  local deadline=$((viewer_seen_ms + first_sound + 4000)) result=none
  while :; do
    result=$(wave_open_result)
    [ "$result" = none ] || [ "$result" = pending ] || break
    [ "$(now_ms)" -lt "$deadline" ] || break
    sleep 0.2
  done
  sleep_until $((viewer_seen_ms + first_sound + 1000))
  screenshot sound-on-screen
  grep 'winmm\.' "$case_dir/wine.log" >"$out/sound-on-calls.txt"
  [ "$result" != none ] || { reason="the wave device was never opened"; return 1; }
  [ "$result" = 00000000 ] || { reason="waveOutOpen returned $result"; return 1; }
  grep -q 'Call winmm.waveOutOpen([^,]*,ffffffff,' "$case_dir/wine.log" ||
    { reason="not opened on the wave mapper: $(grep -m 1 'Call winmm.waveOutOpen' "$case_dir/wine.log")"; return 1; }
  no_dialog || return 1
  saver_running || { reason="the saver ended"; return 1; }
  reason="waveOutOpen(WAVE_MAPPER) returned 0, no message box"
}

case_sound-off() {
  new_case sound-off
  saver_env=(ALSA_CONFIG_PATH="$alsa_null" WINEDEBUG=+relay)
  write_ini SlideshowSoundUse=0
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  sleep_until $((viewer_seen_ms + first_sound + 2000))
  screenshot sound-off-screen
  saver_running || { reason="the saver ended"; return 1; }
  grep -q 'trace:relay:load_list' "$case_dir/wine.log" || { reason="no relay log: the check would see nothing"; return 1; }
  [ "$(wave_open_result)" = none ] || { reason="the wave device was opened: $(grep -m 1 'winmm.waveOutOpen' "$case_dir/wine.log")"; return 1; }
  no_dialog || return 1
  reason="no waveOutOpen call past the first sound's time"
}

# Sound on, no device: one box with the system's text, then the show goes on.
case_sound-no-card() {
  new_case sound-no-card
  saver_env=(ALSA_CONFIG_PATH="$alsa_none" WINEDEBUG=+relay)
  start_saver /s
  wait_viewer || { reason="no viewer window within 15 s"; return 1; }
  local dialog="" deadline=$((viewer_seen_ms + first_sound + 5000))
  while [ -z "$dialog" ] && [ "$(now_ms)" -lt "$deadline" ]; do
    dialog=$(scrun_dialogs)
    [ -n "$dialog" ] || sleep 0.2
  done
  [ -n "$dialog" ] || { reason="no SCRUN message box; dialogs: $(probe dialogs | tr '\t' ' ')"; return 1; }
  local result code expected_text shown
  result=$(wave_open_result)
  case $result in
    none | pending | 00000000) reason="the box came, but waveOutOpen's result is '$result'"; return 1 ;;
  esac
  code=$((16#$result))
  expected_text=$(field "$(probe wave-error-text "$code")" text)
  shown=$(field "$dialog" text)
  sleep 1
  screenshot sound-no-card-box-screen
  [ "$(scrun_dialogs | wc -l)" = 1 ] || { reason="more than one message box"; return 1; }
  [ "$shown" = "$expected_text" ] ||
    { reason="the box says \"$shown\", the system's text for $code is \"$expected_text\""; return 1; }
  viewer_windows >/dev/null || { reason="no viewer while the box is shown"; return 1; }
  probe dismiss SCRUN >/dev/null
  sleep 1
  saver_running || { reason="the saver ended after the box"; return 1; }
  viewer_windows >/dev/null || { reason="no viewer after the box"; return 1; }
  no_dialog || return 1
  # The show went on: the first picture, if it is still standing.
  if [ "$(now_ms)" -lt $((viewer_seen_ms + next_change - 1000)) ]; then
    shows_picture sound-no-card-after "$out/scr-expected.png" || return 1
  fi
  reason="waveOutOpen returned $code, one box \"$shown\", the show went on"
}

# --- run ------------------------------------------------------------------------------------
probe list >/dev/null  # the first start of a Wine program is the slow one
expect scr "$saver"
scr_first_still=$first_still scr_next_change=$next_change scr_first_sound=$first_sound scr_picture=$picture_id
expect side "$demo"
side_first_still=$first_still side_next_change=$next_change side_picture=$picture_id

failed=0
run_started=$(now_ms)
for name in "${cases[@]}"; do
  if [ "$name" = bare-side-file ]; then
    first_still=$side_first_still next_change=$side_next_change picture_id=$side_picture
  else
    first_still=$scr_first_still next_change=$scr_next_change first_sound=$scr_first_sound picture_id=$scr_picture
  fi
  started=$(now_ms)
  if "case_$name"; then
    result=PASS
  else
    result=FAIL
    failed=$((failed + 1))
  fi
  printf '%s %-16s %s (%d.%d s)\n' "$result" "$name" "$reason" $((($(now_ms) - started) / 1000)) $(((($(now_ms) - started) % 1000) / 100))
  note "$result $name: $reason"
  end_case
done
echo "$((${#cases[@]} - failed)) of ${#cases[@]} cases passed in $((($(now_ms) - run_started) / 1000)) s; screenshots and logs in ${out#"$root"/}/"
[ "$failed" -eq 0 ]
