# One harness for the screen tests (linux-saver-test.sh, xscreensaver-test.sh,
# wine-saver-test.sh): a private Xvfb screen; the program under test and the
# helpers a case starts, always ended; each case a function run in a folder
# of its own; waits for a condition and for a time; screenshots, window
# lookup and pixel counts; a failed case run once more; one line a case and
# a summary line.
#
# The test script sets test_name (its messages' prefix), out (its output
# folder) and all_cases (every case, in the order they run), defines a
# function case_NAME for each, sources this file, and then calls:
#   select_cases [CASE...]   the cases to run (every one when none is named)
#   need_tools TOOL..., need_files FILE..., stop_if_missing HINT
#   start_screen WxH
#   run_cases                true when no case failed
# A case returns 0 when it passed, with what it saw in detail; otherwise
# non-zero with reason set. skip_case TEXT, then return: what it checks is
# not there (SKIP). Optional hooks of the script: case_setup and
# case_teardown (around each try of a case) and the functions named in
# exit_hooks (on exit, before the screen goes). Settings: program_label
# (default saver), program_stdout and program_stderr (the program's log
# files in the case's folder), stop_signal (how stop_program asks it to end;
# default TERM).
# shellcheck shell=bash
# The variables named above cross between this file and the test script:
# shellcheck disable=SC2034,SC2154

# shellcheck source=xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"  # start_xvfb, now_ms

program_label=${program_label:-saver}
program_stdout=${program_stdout:-stdout.log}
program_stderr=${program_stderr:-stderr.log}
stop_signal=${stop_signal:-TERM}
exit_hooks=()
missing=()
xvfb_pid=
program_pid=
program_status=
case_pids=()
case_name=
case_dir=
reason=
detail=
case_skipped=

# --- the command line and what the test needs ----------------------------------------
# print_help: the script's opening comment, as its --help.
print_help() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; }

# select_cases [CASE...]: sets cases; a name that is not in all_cases ends
# the script (status 2).
select_cases() {
  cases=("$@")
  [ ${#cases[@]} -gt 0 ] || cases=("${all_cases[@]}")
  local name
  for name in "${cases[@]}"; do
    [[ " ${all_cases[*]} " == *" $name "* ]] || { echo "$test_name: no case '$name' (cases: ${all_cases[*]})" >&2; exit 2; }
  done
}

need_tools() {
  local tool
  for tool; do command -v "$tool" >/dev/null || missing+=("$tool"); done
}

need_files() {
  local file
  for file; do [ -f "$file" ] || missing+=("$file"); done
}

# stop_if_missing HINT: ends the script (status 2) when anything is missing,
# with HINT on how to get it.
stop_if_missing() {
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "$test_name: missing: ${missing[*]}" >&2
  echo "($1)" >&2
  exit 2
}

# note TEXT: a line of the run's details.log, for a person to read later.
note() { printf '%s\n' "$*" >>"$out/details.log"; }

# --- the screen and the processes, always taken down on exit -----------------------
start_screen() {
  start_xvfb "$1" "$out" || { echo "$test_name: could not start Xvfb" >&2; exit 2; }
}

# end_child PID: kills PID and collects it, if it is still a child of this
# shell; a pid that ended may already belong to another program.
end_child() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  # After the name in parentheses: the state, then the parent's pid.
  read -r _ stat _ <<<"${stat##*) }"
  [ "$stat" = "$$" ] || return 0
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

screen_test_cleanup() {
  local pid hook
  for pid in $program_pid "${case_pids[@]}"; do end_child "$pid"; done
  for hook in "${exit_hooks[@]}"; do "$hook"; done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap screen_test_cleanup EXIT
trap 'exit 130' INT TERM

# start_in_case STDOUT STDERR COMMAND...: COMMAND in the background in the
# case's folder (both outputs in one file when STDOUT is STDERR), its pid in
# started_pid; killed when the case ends, if it has not ended by then.
start_in_case() {
  local stdout=$1 stderr=$2
  shift 2
  if [ "$stdout" = "$stderr" ]; then
    (cd "$case_dir" && exec "$@") >"$stdout" 2>&1 &
  else
    (cd "$case_dir" && exec "$@") >"$stdout" 2>"$stderr" &
  fi
  started_pid=$!
  case_pids+=("$started_pid")
}

# start_program COMMAND...: the program under test, as start_in_case with
# its logs program_stdout and program_stderr; program_pid, and
# program_started_ms just before it started.
start_program() {
  program_started_ms=$(now_ms)
  start_in_case "$case_dir/$program_stdout" "$case_dir/$program_stderr" "$@"
  program_pid=$started_pid
  note "$case_name: started $* (pid $program_pid)"
}

program_running() { [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; }

# program_ended: whether the program under test has ended (or none runs);
# sets program_status the first time it sees the end.
program_ended() {
  program_running && return 1
  if [ -n "$program_pid" ]; then
    wait "$program_pid" 2>/dev/null
    program_status=$?
    note "$case_name: the $program_label ended with status $program_status"
    program_pid=
  fi
  return 0
}

# wait_program_end MS: whether the program ended within MS; its status in
# program_status.
wait_program_end() { poll_every=0.05 wait_for "$1" program_ended; }

# still_running_after SECONDS: whether the program still runs after that time.
still_running_after() {
  sleep "$1"
  program_running
}

# stop_program: asks the program to end (stop_signal), waits 5 s for it,
# then kills it.
stop_program() {
  [ -n "$program_pid" ] || return 0
  kill -"$stop_signal" "$program_pid" 2>/dev/null
  wait_program_end 5000 && return 0
  end_child "$program_pid"
  program_pid=
}

# --- waiting -------------------------------------------------------------------------
# wait_for MS CONDITION...: runs CONDITION (a command) until it succeeds,
# for MS at the most (at least once), every poll_every seconds (0.1 unless
# set). A condition that knows success cannot come any more calls
# give_up_waiting. Status 0 when it succeeded.
wait_for() {
  local deadline=$(($(now_ms) + $1))
  shift
  waiting_given_up=
  until "$@"; do
    [ -z "$waiting_given_up" ] && [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep "${poll_every:-0.1}"
  done
  return 0
}

give_up_waiting() { waiting_given_up=1; }

# sleep_until MS: lets time pass until now_ms reaches MS (no time if it has).
sleep_until() {
  local left=$(($1 - $(now_ms)))
  [ "$left" -le 0 ] || sleep "$(awk -v ms="$left" 'BEGIN { printf "%.3f", ms / 1000 }')"
}

pid_gone() { ! kill -0 "$1" 2>/dev/null; }

# --- windows and pictures ------------------------------------------------------------
# find_window [--onlyvisible] REGEX: the first X window whose name matches,
# in window.
find_window() {
  window=$(xdotool search "${@:1:$#-1}" --name "${!#}" 2>/dev/null | head -n 1)
  [ -n "$window" ]
}

# wait_window MS [--onlyvisible] REGEX: find_window within MS; gives up
# early, saying so, when the program under test ends first.
wait_window() {
  local ms=$1
  shift
  wait_for "$ms" window_or_program_end "$@" && return 0
  [ -n "$waiting_given_up" ] || reason="no window named ${!#} within $((ms / 1000)) s"
  return 1
}

window_or_program_end() {
  find_window "$@" && return 0
  if [ -n "$program_pid" ] && program_ended; then
    reason="the $program_label ended (status $program_status) before its window appeared"
    give_up_waiting
  fi
  return 1
}

# screenshot FILE [WINDOW]: the whole screen, or one window, as FILE.
screenshot() { import -window "${2:-root}" "$1" 2>>"$out/details.log"; }

# differing_pixels A B [DIFF]: how many pixels of A and B differ (with the
# differences drawn into DIFF); compare's message instead when it could not
# count, so that a picture that is not there never counts as equal.
differing_pixels() {
  local result
  result=$(compare -metric AE "$1" "$2" "${3:-null:}" 2>&1 >/dev/null)
  if [[ ${result%% *} =~ ^[0-9]+(\.[0-9]+)?(e\+?[0-9]+)?$ ]]; then
    awk -v n="${result%% *}" 'BEGIN { printf "%d\n", n }'
  else
    printf '%s\n' "${result:-compare said nothing}"
  fi
}

# same_pixels SHOT EXPECTED [DIFF]: whether no pixel differs; else reason
# says how many (the differences drawn into DIFF, the case's diff.png unless
# given).
same_pixels() {
  local count
  count=$(differing_pixels "$1" "$2" "${3:-$case_dir/diff.png}")
  [ "$count" = 0 ] || { reason="$count pixels differ from $(basename "$2")"; return 1; }
}

# --- the cases -----------------------------------------------------------------------
skip_case() { case_skipped=1 reason=$1; }

begin_case() {
  case_name=$1
  case_dir=$out/cases/$1
  rm -rf "$case_dir" && mkdir -p "$case_dir"
  reason='' detail='' case_skipped='' program_pid='' program_status=''
  case_pids=()
  if declare -F case_setup >/dev/null; then case_setup; fi
}

# end_case: the program under test and every helper of the case ended.
end_case() {
  stop_program
  local pid
  for pid in "${case_pids[@]}"; do end_child "$pid"; done
  case_pids=()
  if declare -F case_teardown >/dev/null; then case_teardown; fi
}

try_case() {
  begin_case "$1"
  "case_$1"
  local status=$?
  end_case
  return $status
}

# program_log_tail DIR WHEN: the last lines the program wrote to its
# standard error in DIR, for a report.
program_log_tail() {
  [ -s "$1/$program_stderr" ] && tail -n 5 "$1/$program_stderr" | sed "s/^/    $program_label ($2): /"
  return 0
}

# A case that fails is run once more, on a fresh start: a shared virtual
# screen on a loaded machine can miss a deadline now and then. A second
# failure fails the run; a pass on the second try is reported with the
# first try's reason and what the program wrote to its standard error then,
# so that nothing intermittent goes unseen.
run_cases() {
  local name result message first_reason started run_started failed=0 skipped=0 first_try
  for name in "${all_cases[@]}"; do
    declare -F "case_$name" >/dev/null || { echo "$test_name: case '$name' has no function case_$name" >&2; exit 2; }
  done
  run_started=$(now_ms)
  for name in "${cases[@]}"; do
    started=$(now_ms)
    first_try=
    if try_case "$name" && [ -z "$case_skipped" ]; then
      result=PASS message=$detail
    elif [ -n "$case_skipped" ]; then
      result=SKIP message=$reason skipped=$((skipped + 1))
    else
      first_reason=${reason:-see ${case_dir#"$PWD"/}}
      first_try=$case_dir.first-try
      rm -rf "$first_try" && mv "$case_dir" "$first_try"
      if try_case "$name"; then
        result=PASS message="${detail:+$detail }(on the second try; the first failed: $first_reason)"
      else
        result=FAIL message="${reason:-see ${case_dir#"$PWD"/}} (the first try: $first_reason)"
        failed=$((failed + 1))
      fi
    fi
    printf '%s %-26s %s(%d.%d s)\n' "$result" "$name" "${message:+$message }" \
      $((($(now_ms) - started) / 1000)) $(((($(now_ms) - started) % 1000) / 100))
    note "$result $name: $message"
    if [ -n "$first_try" ]; then
      program_log_tail "$first_try" "first try"
      [ "$result" = PASS ] || program_log_tail "$case_dir" "second try"
    fi
  done
  echo "$((${#cases[@]} - failed - skipped)) of ${#cases[@]} cases passed ($skipped skipped)" \
       "in $((($(now_ms) - run_started) / 1000)) s; screenshots and logs in ${out#"$PWD"/}/"
  [ "$failed" -eq 0 ]
}
