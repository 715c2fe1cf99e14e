#!/usr/bin/env bash
# make test-stress: the ctest suites of some presets run several times over while this
# script keeps every core of the machine busy, to find the tests that race the machine's
# speed or load before a busy CI machine does. Not part of `make test`.
# Prints, per preset, each test that failed and in how many of the runs; exits non-zero
# when any failed.
#
# Environment: KORV_STRESS_RUNS (runs of each preset, default 5), KORV_STRESS_TSAN_RUNS
# (runs of the tsan preset, default KORV_STRESS_RUNS), KORV_STRESS_PRESETS (default
# "default tsan"), KORV_STRESS_LOAD (busy workers, default: the number of cores).
set -uo pipefail
cd "$(dirname "$0")/.."

runs="${KORV_STRESS_RUNS:-5}"
presets="${KORV_STRESS_PRESETS:-default tsan}"
workers="${KORV_STRESS_LOAD:-$(nproc)}"

scripts/install-deps.sh build stress || exit 1
for preset in $presets; do
  scripts/preset.sh "$preset" >/dev/null || { echo "stress: the $preset preset does not build" >&2; exit 1; }
done

# The load: stress-ng's CPU workers where it is there, plain busy loops otherwise. Both run
# at the same priority as the tests, as another job on a shared machine would.
load_pids=()
stop_load() {
  [ ${#load_pids[@]} -gt 0 ] && kill "${load_pids[@]}" 2>/dev/null
  wait 2>/dev/null
  load_pids=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM
if command -v stress-ng >/dev/null; then
  stress-ng --cpu "$workers" --quiet >/dev/null 2>&1 &
  load_pids+=($!)
  echo "stress: load of $workers stress-ng CPU workers"
else
  for ((i = 0; i < workers; i++)); do
    (while :; do :; done) &
    load_pids+=($!)
  done
  echo "stress: load of $workers busy loops (stress-ng is not installed)"
fi

logs="build/stress"
mkdir -p "$logs"
status=0
for preset in $presets; do
  n="$runs"
  [ "$preset" = tsan ] && n="${KORV_STRESS_TSAN_RUNS:-$runs}"
  failures="$logs/$preset-failures.txt"
  : >"$failures"
  started=$SECONDS
  for ((run = 1; run <= n; run++)); do
    ctest --preset "$preset" --output-on-failure >"$logs/$preset-run$run.log" 2>&1
    summary="$(grep -E 'tests passed, [0-9]+ tests failed' "$logs/$preset-run$run.log" | tail -n 1)"
    echo "stress: $preset run $run of $n [$((SECONDS - started)) s]: ${summary:-no summary, see $logs/$preset-run$run.log}"
    # ctest's own list of what failed in its last run ("number:name" per line).
    failed_list="build/$preset/Testing/Temporary/LastTestsFailed.log"
    if [ -s "$failed_list" ] && ! grep -q '100% tests passed' "$logs/$preset-run$run.log"; then
      cut -d: -f2- "$failed_list" >>"$failures"
    fi
    if [ -z "$summary" ]; then echo "(no summary)" >>"$failures"; fi
  done
  if [ -s "$failures" ]; then
    status=1
    echo "stress: $preset: tests that failed, and in how many of its $n runs:"
    sort "$failures" | uniq -c | sort -rn | awk -v n="$n" '{c=$1; $1=""; printf "  %s of %d:%s\n", c, n, $0}'
  else
    echo "stress: $preset: no test failed in $n runs"
  fi
done
exit "$status"
