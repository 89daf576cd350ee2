#!/usr/bin/env bash
# Runs the libFuzzer targets and prints a summary table; any crash, leak,
# timeout or sanitizer report fails the run.
#
#   scripts/fuzz.sh [DURATION] [--runs N] [--jobs J] [--merge] [--work DIR] [TARGET...]
#
#   DURATION   how long each target runs: 90s, 20m, 2h, or a plain number of
#              hours (scripts/fuzz.sh 8 fuzzes every target for 8 hours);
#              default 60s
#   --runs N   stop each target after N executions instead (DURATION, when
#              also given, still bounds it)
#   --jobs J   targets run J at a time (default 1)
#   --merge    afterwards, fold the inputs that found new coverage into the
#              committed corpus fuzz/corpus/TARGET/, minimised
#   --work DIR where new inputs, findings, logs and the summary go (default
#              fuzz-corpus; give each of two runs at once its own)
#   TARGET     names such as picture_fuzz or picture; default every target
#
# Each target starts from its committed corpus (fuzz/corpus/TARGET/), the
# seeds make_fuzz_seeds writes, and what earlier runs here found
# (WORK/TARGET/, not committed). New inputs go to WORK/TARGET/, findings to
# WORK/TARGET-findings/, logs to WORK/logs/; the table is also written to
# WORK/summary.md.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=""
runs=""
jobs=1
merge=0
work=fuzz-corpus
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --merge) merge=1; shift ;;
    --work) work="$2"; shift 2 ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [0-9]*s) seconds="${1%s}"; shift ;;
    [0-9]*m) seconds=$(( ${1%m} * 60 )); shift ;;
    [0-9]*h) seconds=$(awk -v h="${1%h}" 'BEGIN { printf "%d", h * 3600 }'); shift ;;
    [0-9]*) seconds=$(awk -v h="$1" 'BEGIN { printf "%d", h * 3600 }'); shift ;;
    *) targets+=("${1%_fuzz}_fuzz"); shift ;;
  esac
done
if [ -z "$seconds" ]; then
  if [ -n "$runs" ]; then seconds=0; else seconds=60; fi  # --runs alone: no time bound
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
bin=build/fuzz/fuzz
if [ ${#targets[@]} -eq 0 ]; then
  for target in "$bin"/*_fuzz; do targets+=("$(basename "$target")"); done
fi

mkdir -p "$work/logs"
rm -rf "$work/seeds"
"$bin/make_fuzz_seeds" "$work/seeds"

fuzz_one() {
  local name="$1"
  local committed="fuzz/corpus/$name" seeds="$work/seeds/$name" found="$work/$name"
  mkdir -p "$committed" "$seeds" "$found" "$work/$name-findings"
  local before
  before=$(find "$found" -type f | wc -l)
  local limits=(-max_total_time="$seconds")
  [ -n "$runs" ] && limits+=(-runs="$runs")
  local status=0
  "$bin/$name" "${limits[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/$name-findings/" "$found" "$committed" "$seeds" \
    >"$work/logs/$name.log" 2>&1 || status=$?
  local after
  after=$(find "$found" -type f | wc -l)
  echo "$status $((after - before))" >"$work/logs/$name.result"
}

running=0
for name in "${targets[@]}"; do
  [ -x "$bin/$name" ] || { echo "no fuzz target $name" >&2; exit 2; }
  bounds=()
  [ "$seconds" -gt 0 ] && bounds+=("${seconds}s")
  [ -n "$runs" ] && bounds+=("$runs runs")
  echo "=== fuzzing $name (${bounds[*]})"
  fuzz_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

# The committed corpus, minimised: the inputs that add coverage to what the
# seeds already reach (seeds are made afresh each run and are not committed).
merge_one() {
  local name="$1" committed="fuzz/corpus/$name" seeds="$work/seeds/$name"
  local scratch="$work/merge/$name"
  rm -rf "$scratch" && mkdir -p "$scratch"
  cp "$seeds"/* "$scratch"/ 2>/dev/null || true
  local seeded
  seeded=$(ls "$scratch")
  "$bin/$name" -merge=1 -timeout=10 -rss_limit_mb=2048 "$scratch" "$committed" "$work/$name" \
    >"$work/logs/$name.merge.log" 2>&1
  for seed in $seeded; do rm -f "$scratch/$seed"; done
  rm -rf "$committed" && mkdir -p "$committed"
  cp "$scratch"/* "$committed"/ 2>/dev/null || true
}

failed=0
summary="$work/summary.md"
{
  echo "| target | executions | exec/s | coverage (edges) | features | corpus | new inputs | findings |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|"
  for name in "${targets[@]}"; do
    log="$work/logs/$name.log"
    read -r status new <"$work/logs/$name.result"
    units=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    last=$(grep -E '^#[0-9]+' "$log" | grep ' cov: ' | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$last")
    findings=$(find "$work/$name-findings" -type f | wc -l)
    verdict="none"
    if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
      verdict="**$findings (exit $status), see $log**"
      failed=1
    fi
    echo "| $name | ${units:-?} | ${speed:-?} | ${cov:-?} | ${ft:-?} | ${corp:-?} | $new | $verdict |"
  done
} >"$summary"
cat "$summary"

if [ "$merge" -eq 1 ] && [ "$failed" -eq 0 ]; then
  for name in "${targets[@]}"; do
    merge_one "$name"
    echo "fuzz/corpus/$name: $(find "fuzz/corpus/$name" -type f | wc -l) inputs"
  done
fi
exit "$failed"
