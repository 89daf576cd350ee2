#!/usr/bin/env bash
# What the Linux saver costs, measured on private Xvfb screens with SDL's
# software renderer and its disk audio driver:
#   - the CPU it takes while a still picture shows (1920x1080, no effect,
#     15 s between pictures), from 3 s to 13 s after start;
#   - the CPU of fades at 3840x2160 (slowest fade, so that the measured
#     stretch is all fade), over the first fade;
#   - how long after start the demo's first picture is drawn at 1920x1080
#     (median of 5 starts);
#   - its resident memory after 40 s of show at 1920x1080, and the highest
#     it was in that time, beside the budget of three screen buffers, two
#     sound blocks, one picture and 10 MB.
# CPU is the process's user + system time over the stretch (from /proc),
# as a share of one core. Prints a Markdown table.
#
#   scripts/linux-saver-bench.sh
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
saver=build/linux/shell/linux/kamishibai
scrtool=build/linux/tools/scrtool/scrtool
demo=build/linux/demo.brsc
[ -x "$saver" ] && [ -x "$scrtool" ] || { echo "build the linux preset first" >&2; exit 2; }
out=build/linux-saver-bench
mkdir -p "$out"
# shellcheck source=lib/xvfb.sh
source scripts/lib/xvfb.sh
export SDL_VIDEODRIVER=x11 SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
export XDG_CONFIG_HOME=$out/config

xvfb_pid=
saver_pid=
cleanup() {
  [ -n "$saver_pid" ] && kill -KILL "$saver_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# CPU time of all the saver's threads so far, in nanoseconds.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ n += $1 } END { printf "%d", n }'; }
# cpu_share FROM_S TO_S: the saver's CPU share of one core between those
# seconds after its start.
cpu_share() {
  sleep "$1"
  local a b
  a=$(cpu_ns "$saver_pid")
  sleep "$(awk -v a="$1" -v b="$2" 'BEGIN { print b - a }')"
  b=$(cpu_ns "$saver_pid")
  awk -v a="$a" -v b="$b" -v s="$(awk -v a="$1" -v b="$2" 'BEGIN { print b - a }')" \
    'BEGIN { printf "%.1f %%", 100 * (b - a) / 1e9 / s }'
}
stop() { kill -TERM "$saver_pid" 2>/dev/null; wait "$saver_pid" 2>/dev/null; saver_pid=; }

start_xvfb 1920x1080 "$out"
"$saver" --effect 0 --wait 15 --sound off >/dev/null 2>&1 &
saver_pid=$!
still=$(cpu_share 3 13)
stop

# The second fade at the slowest speed (the first one shares its time with
# the start), when it runs per scrtool play.
"$scrtool" play "$demo" --size 3840x2160 --until 30000 --speed 0 --sound off >"$out/fade.txt"
fade_from=$(awk '$2 == "show" { n++ } n == 2 && $2 == "frame" { print $1; exit }' "$out/fade.txt")
fade_to=$(awk '$2 == "show" { n++ } n == 2 && $2 == "finish" { print $1; exit }' "$out/fade.txt")
frames=$(awk -v from="$fade_from" -v to="$fade_to" '$2 == "frame" && $1 >= from && $1 <= to { n++ } END { print n }' "$out/fade.txt")
start_xvfb 3840x2160 "$out"
"$saver" --speed 0 --sound off >/dev/null 2>&1 &
saver_pid=$!
# From a little after the fade starts to a little before it ends: the
# real show runs a little behind scrtool's timeline.
fade=$(cpu_share "$(awk -v f="$fade_from" 'BEGIN { print f / 1000 + 0.3 }')" \
                 "$(awk -v t="$fade_to" 'BEGIN { print t / 1000 - 0.1 }')")
stop

start_xvfb 1920x1080 "$out"
starts=()
for _ in 1 2 3 4 5; do
  KAMISHIBAI_REPORT_START=1 "$saver" --sound off 2>"$out/start.txt" >/dev/null &
  saver_pid=$!
  for _ in $(seq 50); do grep -q "first drawing" "$out/start.txt" && break; sleep 0.1; done
  starts+=("$(sed -n 's/.*screen \([0-9.]*\) ms.*/\1/p' "$out/start.txt")")
  stop
done
first=$(printf '%s\n' "${starts[@]}" | sort -n | sed -n 3p)

"$saver" --sound on >/dev/null 2>&1 &
saver_pid=$!
sleep 40
rss_kb=$(awk '/VmRSS/ { print $2 }' "/proc/$saver_pid/status")
# The highest it ever was: a picture loading beside the screens.
peak_kb=$(awk '/VmHWM/ { print $2 }' "/proc/$saver_pid/status")
stop
# Three 1920x1080 32-bit buffers, two sound blocks of at most 1 s of 44.1 kHz
# 16-bit stereo, one 1920x1080 32-bit picture and 10 MB.
budget_kb=$(( (4 * 1920 * 1080 * 4 + 2 * 176400) / 1024 + 10240 ))

echo "| measure | goal | measured |"
echo "|---|---|---|"
echo "| CPU while a still picture shows (1920x1080) | < 1 % of a core | $still |"
echo "| CPU of a fade at 3840x2160 ($frames frames over $((fade_to - fade_from)) ms) | <= 15 % | $fade |"
echo "| first picture drawn after start (1920x1080, median of 5) | <= 150 ms | $first ms |"
echo "| resident memory after 40 s at 1920x1080 | <= $budget_kb KiB | $rss_kb KiB |"
echo "| highest resident memory in those 40 s | <= $budget_kb KiB | $peak_kb KiB |"
