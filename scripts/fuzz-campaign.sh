#!/usr/bin/env bash
# fuzz-campaign.sh <seconds-per-target> [target...]: a long fuzzing campaign, one target after
# another (-jobs=1: the machine is shared), growing a working corpus in build/fuzz-campaign/
# (kept between campaigns, never committed). Crashing inputs land in
# build/fuzz-campaign/crashes/; fix the fault, then keep the input under
# fuzz/regressions/<target>/. Prints executions and outcome per target.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:?seconds per target}
shift
build=${ORB_FUZZ_BUILD:-build/fuzz}
scripts/fuzz-run.sh 0 "$build" >/dev/null || true   # builds; a zero-time run checks the seeds
targets=${*:-$(sed -n 's/^set(ORB_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt)}
camp=build/fuzz-campaign
mkdir -p "$camp/crashes"
for t in $targets; do
  mkdir -p "$camp/corpus-$t"
  log=$camp/$t.log
  "$build/fuzz_$t" -jobs=1 -workers=1 -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
    -print_final_stats=1 -max_total_time="$secs" -artifact_prefix="$camp/crashes/$t-" \
    "$camp/corpus-$t" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  # -jobs=1 writes the worker's output to fuzz-0.log.
  [ -f fuzz-0.log ] && mv fuzz-0.log "$log.worker"
  runs=$(cat "$log" "$log.worker" 2>/dev/null | sed -n 's/^stat::number_of_executed_units: *//p' | tail -n 1)
  echo "fuzz_$t: exit $rc, ${runs:-?} executions, corpus $(ls "$camp/corpus-$t" | wc -l) files"
done
