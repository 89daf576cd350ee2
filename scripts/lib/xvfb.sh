# A private Xvfb screen, for the screen-test harness (screen-test.sh) and the
# benchmarks.
# shellcheck shell=bash
#
#   start_xvfb WxH LOG_DIR
#
# Starts Xvfb on a display number it picks itself (-displayfd), so that two
# runs, or another X server, never collide; waits until the screen answers
# and exports DISPLAY. Sets xvfb_pid (the caller stops it). A running
# xvfb_pid is stopped first, so a script may change the screen's size.
# Returns 1 when no screen answered within 15 s.
#
# -noreset: by default the server resets itself whenever its last client
# disconnects, and a program that connects during the reset is turned away
# ("cannot open the display"). Between two cases of a test nothing may be
# connected, so without it the next case's start could fail.

now_ms() { echo $(($(date +%s%N) / 1000000)); }

start_xvfb() {
  local size=$1 log_dir=$2
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  local number_file=$log_dir/xvfb.display
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$number_file" >"$log_dir/xvfb.log" 2>&1 &
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
