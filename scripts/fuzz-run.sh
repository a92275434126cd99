#!/usr/bin/env bash
# fuzz-run.sh [seconds-per-target] [build-dir]: builds the fuzz targets with clang and
# libFuzzer (the project configured with ORB_FUZZ=libfuzzer in a build folder of its own,
# without the test suite) and runs each one briefly: first every kept regression input
# (fuzz/regressions/<target>/, inputs that once crashed), then fuzzing from its seed corpus
# (fuzz/corpus/<target>/) for the given time (default 20 s). New corpus entries go to a
# scratch folder, never into the repository. Any crash, leak, timeout or out-of-memory fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib.sh
secs=${1:-20}
build=${2:-$root/build/fuzz}
jobs=${ORB_FUZZ_JOBS:-2}

# A folder once configured from fuzz/ alone (a project of its own before) starts afresh.
if [ -f "$build/CMakeCache.txt" ] &&
   ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORB_FUZZ=libfuzzer -DORB_SANITIZE=ON -DORB_BUILD_TESTS=OFF >/dev/null
orb_quiet "$build/build.log" cmake --build "$build" --target fuzz_targets -j"$jobs"

# The targets the build has (fuzz/CMakeLists.txt writes their names).
targets=$(cat "$build/fuzz/targets.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A fixed seed and, per target, a fixed number of inputs (about what 20 s gives on the CI
# machine; the time limit is only a ceiling): CI replays exactly the sequence that was run
# here, so a red run points at code that changed, not at luck. New ground is for the
# campaign script, which explores with fresh seeds; what it finds goes to fuzz/regressions.
opts=(-rss_limit_mb=2048 -timeout=10 -max_len=65536 -print_final_stats=1 -seed=${ORB_FUZZ_SEED:-1})
runs_for() {
  case $1 in
    archive) echo 7000 ;;
    inflate_zlib) echo 35000 ;;
    legacy) echo 230000 ;;
    dbf) echo 30000 ;;
    profile) echo 11000 ;;
    hive) echo 240000 ;;
    pe_version) echo 75000 ;;
    wildcard) echo 7000 ;;
    *) echo 10000 ;;
  esac
}
status=0
for t in $targets; do
  exe=$build/fuzz/fuzz_$t
  reg=fuzz/regressions/$t
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg")" ]; then
    if ! "$exe" "${opts[@]}" "$reg"/* >"$work/$t.reg.log" 2>&1; then
      echo "fuzz_$t: a regression input fails again"; tail -n 40 "$work/$t.reg.log"; status=1
      continue
    fi
  fi
  mkdir -p "$work/corpus-$t"
  if "$exe" "${opts[@]}" -runs="${ORB_FUZZ_RUNS:-$(runs_for "$t")}" -max_total_time="$((secs * 3))" \
       -artifact_prefix="$work/$t-" \
       "$work/corpus-$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
    echo "fuzz_$t: ok (${runs:-?} executions)"
  else
    echo "fuzz_$t: FAILED"; tail -n 60 "$work/$t.log"
    ls "$work"/"$t"-* 2>/dev/null && cp "$work"/"$t"-* "$build/" 2>/dev/null || true
    echo "(crashing inputs copied to $build)"
    status=1
  fi
done
exit $status
