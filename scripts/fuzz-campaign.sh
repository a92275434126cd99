#!/usr/bin/env bash
# fuzz-campaign.sh <seconds-per-target> [target...]: a long fuzzing campaign, one target after
# another in one process each (the machine is shared), growing a working corpus in build/fuzz-campaign/
# (kept between campaigns, never committed). Crashing inputs land in
# build/fuzz-campaign/crashes/; fix the fault, then keep the input under
# fuzz/regressions/<target>/. Prints executions and outcome per target.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:?seconds per target}
shift
build=${ORB_FUZZ_BUILD:-build/fuzz}
[ -n "${ORB_FUZZ_NO_BUILD:-}" ] || scripts/fuzz-run.sh 0 "$build" >/dev/null || true  # builds
targets=${*:-$(cat "$build/fuzz/targets.txt")}
camp=build/fuzz-campaign
mkdir -p "$camp/crashes"
for t in $targets; do
  mkdir -p "$camp/corpus-$t"
  log=$camp/$t.log
  # The time limit per input is wall time: a campaign run at a low priority on a busy
  # machine needs a longer one (ORB_FUZZ_TIMEOUT) to report only real hangs.
  # A target stops at its time or at ORB_FUZZ_RUNS executions, whichever comes first: the fast
  # targets reach ten million long before the slow ones reach their hour.
  "$build/fuzz/fuzz_$t" -rss_limit_mb=2048 -timeout="${ORB_FUZZ_TIMEOUT:-10}" -max_len=65536 \
    -print_final_stats=1 -max_total_time="$secs" -runs="${ORB_FUZZ_RUNS:--1}" \
    -artifact_prefix="$camp/crashes/$t-" \
    "$camp/corpus-$t" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  echo "fuzz_$t: exit $rc, ${runs:-?} executions in ${took:-?} s, corpus $(ls "$camp/corpus-$t" | wc -l) files"
done
