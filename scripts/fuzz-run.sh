#!/usr/bin/env bash
# fuzz-run.sh [seconds-per-target] [build-dir]: builds the fuzz targets with clang (fuzz/,
# a build folder of its own) and runs each one briefly: first every kept regression input
# (fuzz/regressions/<target>/, inputs that once crashed), then fuzzing from its seed corpus
# (fuzz/corpus/<target>/) for the given time (default 20 s). New corpus entries go to a
# scratch folder, never into the repository. Any crash, leak, timeout or out-of-memory fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${1:-20}
build=${2:-$root/build/fuzz}
jobs=${ORB_FUZZ_JOBS:-2}

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1 || { tail -n 60 "$build/build.log"; exit 1; }

targets=$(sed -n 's/^set(ORB_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A fixed seed: the CI run replays the same sequence of inputs each time (it only gets further
# on a faster machine), so a red run points at code that changed, not at luck. The campaign
# script explores with fresh seeds.
opts=(-rss_limit_mb=2048 -timeout=10 -max_len=65536 -print_final_stats=1 -seed=${ORB_FUZZ_SEED:-1})
status=0
for t in $targets; do
  exe=$build/fuzz_$t
  reg=fuzz/regressions/$t
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg")" ]; then
    if ! "$exe" "${opts[@]}" "$reg"/* >"$work/$t.reg.log" 2>&1; then
      echo "fuzz_$t: a regression input fails again"; tail -n 40 "$work/$t.reg.log"; status=1
      continue
    fi
  fi
  mkdir -p "$work/corpus-$t"
  if "$exe" "${opts[@]}" -max_total_time="$secs" -artifact_prefix="$work/$t-" \
       "$work/corpus-$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
    echo "fuzz_$t: ok (${runs:-?} executions in ${secs} s)"
  else
    echo "fuzz_$t: FAILED"; tail -n 60 "$work/$t.log"
    ls "$work"/"$t"-* 2>/dev/null && cp "$work"/"$t"-* "$build/" 2>/dev/null || true
    echo "(crashing inputs copied to $build)"
    status=1
  fi
done
exit $status
