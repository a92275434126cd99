#!/usr/bin/env bash
# The project's whole check, from a fresh Debian machine to a verdict:
#   1. installs what is needed (scripts/setup-debian.sh) and the zh_CN.UTF-8 locale;
#   2. builds the `linux` preset (ASan + UBSan) and runs its tests, then builds the fuzz
#      targets with clang and runs each briefly on its corpus and regression inputs;
#   3. builds `win64`, boots a fresh Wine prefix, runs the same tests under Wine, then the
#      registry cross-check between the two builds, the dialog checks and the installer
#      end to end;
#   4. builds `win32`, the shipping 32-bit build, and checks its executables statically
#      (scripts/check-pe.sh); then, where this machine runs 32-bit code and Wine starts a
#      32-bit program (scripts/i386-probe.sh tries both), runs its tests under Wine in a
#      prefix of its own and the same Wine checks and end-to-end run with the 32-bit
#      programs. Where it cannot, it prints "win32: NOT RUN (<reason>)" and goes on;
#   5. runs the test suite as 32-bit Linux code (scripts/test32.sh: natively where the kernel
#      runs i386 code, under qemu-i386 elsewhere; it says which), so that the shipping width's
#      arithmetic and layouts are exercised, not only compiled, and under valgrind's memcheck
#      in a build without sanitizers (scripts/valgrind-run.sh). They come last: they take
#      the longest, and the stages before them keep giving their verdict as early as before.
# Every stage runs whatever became of the ones before it, so that one red stage hides no
# other verdict; only a stage whose own build failed is skipped, since its tests would run
# stale programs. At the end a table gives each stage's verdict, seconds and ctest counts,
# then a line "N passed, N failed" summed over the ctest runs, then "all tests passed" or
# "FAILED: <stages>" (exit status 1). Every stage is bounded in time, and every Wine call has
# a timeout, so that a dialog nobody answers cannot hang a CI job. Build logs go to
# build/logs/; ctest's summary and the output of failing tests are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exec </dev/null
source scripts/lib.sh

jobs=$(orb_jobs)
logs=$root/build/logs
mkdir -p "$logs"
# The native build whose tools (mkhost, regread) the Wine checks use beside a Windows build.
native=build/linux
# What a stage leaves for the summary (it runs in a subshell): its ctest log, a short note,
# the reason it was not run.
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT

# Runs a command with its output in a log; on failure shows the log's end and fails.
logged() {
  local name=$1 limit=$2 rc=0
  shift 2
  timeout -k 10 "$limit" "$@" >"$logs/$name.log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "FAILED: $* (log: build/logs/$name.log)"
    [ "$rc" -eq 124 ] && echo "$name: TIMED OUT after $limit s"
    tail -n 80 "$logs/$name.log"
    return 1
  fi
  local w
  w=$(grep -c 'warning:' "$logs/$name.log" || true)
  echo "$name: ok ($w compiler warnings)"
}

# ctest with its whole output in a log; prints the summary, and the output of any test that
# did not pass. A run that finds no tests is a failure.
run_ctest() {
  local name=$1 limit=$2
  shift 2
  local rc=0
  echo "$logs/$name.log" >"$state/ctest-log"
  timeout -k 10 "$limit" ctest "$@" --output-on-failure --no-tests=error \
    >"$logs/$name.log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    # Everything but the lines of passing tests: the failures with their output.
    grep -Ev '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$' "$logs/$name.log" \
      | head -n 600 || true
    [ "$rc" -eq 124 ] && echo "ctest $name: TIMED OUT after $limit s"
    echo "ctest $name: FAILED (log: build/logs/$name.log)"
    return 1
  fi
  grep -E '^[0-9]+% tests passed|^Total Test time' "$logs/$name.log" | sed "s/^/[$name] /"
}

# Counts of a ctest log as "passed failed skipped", or nothing when ctest gave no summary
# (killed at its time limit). ctest counts a skipped test among the passed ones.
ctest_counts() {
  local log=$1 line total failed skipped
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1) \
    || return 0
  failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)
  echo "$((total - failed - skipped)) $failed $skipped"
}

# A stage that cannot run on this machine: says so loudly and passes.
not_run() {
  echo "$1" >"$state/not-run"
  echo "!!!!!!!!"
  echo "${2:-win32}: NOT RUN ($1)"
  echo "!!!!!!!!"
}

rows=()
failed_stages=()
notes=()
declare -A verdict_of=()
total_passed=0 total_failed=0 total_skipped=0
total_start=$(date +%s)

# stage NAME FUNCTION [STAGE THAT MUST HAVE PASSED]...
# Runs FUNCTION in a subshell with errexit, so that a failing command ends this stage only.
stage() {
  local name=$1 fn=$2 need rc=0 verdict=ok counts="" note="" start
  shift 2
  echo
  echo "== $name"
  rm -f "$state/ctest-log" "$state/note" "$state/not-run"
  start=$(date +%s)
  for need in "$@"; do
    if [ "${verdict_of[$need]:-}" != ok ]; then
      verdict=skipped
      note="needs \"$need\""
      echo "skipped: $need did not pass"
    fi
  done
  if [ "$verdict" = ok ]; then
    set +e
    ( set -e; "$fn" )
    rc=$?
    set -e
    [ "$rc" -eq 0 ] || verdict=FAILED
    [ -f "$state/note" ] && note=$(cat "$state/note")
    if [ "$rc" -eq 0 ] && [ -f "$state/not-run" ]; then
      verdict="NOT RUN"
      notes+=("$name: NOT RUN ($(cat "$state/not-run"))")
    fi
    if [ -f "$state/ctest-log" ] && [ -f "$(cat "$state/ctest-log")" ]; then
      counts=$(ctest_counts "$(cat "$state/ctest-log")")
    fi
  fi
  local s=$(( $(date +%s) - start )) p="" f="" k=""
  if [ -n "$counts" ]; then
    read -r p f k <<<"$counts"
    total_passed=$((total_passed + p)) total_failed=$((total_failed + f))
    total_skipped=$((total_skipped + k))
  fi
  verdict_of[$name]=$verdict
  [ "$verdict" = FAILED ] && failed_stages+=("$name")
  rows+=("$(printf '%-34s %-8s %5d %7s %7s %7s  %s' "$name" "$verdict" "$s" "$p" "$f" "$k" "$note")")
  echo "-- $name: $verdict, ${s} s${counts:+ (passed, failed, skipped: $counts)}"
}

# The stages.

st_setup() {
  scripts/setup-debian.sh
}

st_linux_build() {
  logged linux-configure 600 cmake --preset linux
  logged linux-build 3600 cmake --build --preset linux -j"$jobs"
}

st_linux_ctest() {
  run_ctest linux-ctest 1800 --preset linux -j"$jobs" --timeout 120
}

st_fuzz() {
  local rc=0
  logged fuzz 1200 scripts/fuzz-run.sh 20 || rc=$?
  grep -E '^fuzz_' "$logs/fuzz.log" || true
  return "$rc"
}

st_win64_build() {
  logged win64-configure 600 cmake --preset win64
  logged win64-build 3600 cmake --build --preset win64 -j"$jobs"
}

# A fresh prefix for a Windows build, its server kept running until the stage ends.
fresh_prefix() {
  local t=$(date +%s)
  source scripts/wine-env.sh "$1" --fresh
  echo "Wine prefix $1 ready in $(( $(date +%s) - t )) s"
}

# ctest of a Windows build in the current prefix. Test programs that Wine failed to start
# are run again (cmake/wine-run.sh); say which.
wine_ctest() {  # preset
  local rc=0
  export ORB_WINE_RETRY_LOG=$logs/$1-retries.log
  rm -f "$ORB_WINE_RETRY_LOG"
  run_ctest "$1-ctest" 2400 --preset "$1" -j"$jobs" --timeout 120 || rc=$?
  if [ -s "$ORB_WINE_RETRY_LOG" ]; then sed "s/^/[$1-ctest] retried: /" "$ORB_WINE_RETRY_LOG"; fi
  unset ORB_WINE_RETRY_LOG
  return "$rc"
}

# The registry cross-check against the native build, the dialog checks and the installer end
# to end, each with its own verdict; a Windows build's programs only (the dialog driver must
# have the bitness of the dialogs it reads).
wine_checks() {  # windows build dir
  local win=$1 failed=()
  source scripts/wine-env.sh "$root/$win/wineprefix"
  timeout -k 10 600 scripts/registry-crosscheck.sh "$native" "$win" ||
    failed+=("registry cross-check")
  timeout -k 10 600 scripts/wine-checks.sh "$win" || failed+=("dialog checks")
  timeout -k 10 900 /usr/bin/python3 tests/installer/installer_wine_e2e.py check \
    "$win/src/installer/QMVT04Setup.exe" "$win/dlgtool.exe" \
    "$native/tools/mkhost/mkhost" "$root" || failed+=("installer end to end")
  if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: $(IFS=,; echo "${failed[*]}")"
    return 1
  fi
}

st_win64_ctest() {
  fresh_prefix "$root/build/win64/wineprefix"
  wine_ctest win64
}

st_win64_checks() {
  wine_checks build/win64
}

st_win32_build() {
  logged win32-configure 600 cmake --preset win32
  logged win32-build 3600 cmake --build --preset win32 -j"$jobs"
}

st_win32_pe() {
  scripts/check-pe.sh build/win32 --require-installer
}

st_win32_ctest() {
  local why
  rm -f "$state/win32-not-run"
  if ! why=$(scripts/i386-probe.sh); then
    not_run "$why"
    cp "$state/not-run" "$state/win32-not-run"
    return 0
  fi
  echo "$why"
  fresh_prefix "$root/build/win32/wineprefix"
  if ! why=$(scripts/i386-probe.sh --wine); then
    not_run "$why"
    cp "$state/not-run" "$state/win32-not-run"
    return 0
  fi
  echo "$why"
  wine_ctest win32
}

st_win32_checks() {
  if [ -f "$state/win32-not-run" ]; then
    not_run "$(cat "$state/win32-not-run")"
    return 0
  fi
  wine_checks build/win32
}

st_linux32() {
  local rc=0
  rm -f build/linux32/ctest.log
  echo "$root/build/linux32/ctest.log" >"$state/ctest-log"
  logged linux32 3000 env ORB_JOBS="$jobs" scripts/test32.sh build/linux32 || rc=$?
  grep -E '^test32: running|left out|tests passed|^Total Test time' "$logs/linux32.log" \
    | sed 's/^/[linux32] /' || true
  if grep -q '^test32: running natively' "$logs/linux32.log"; then
    echo native >"$state/note"
  elif grep -q '^test32: running under qemu-i386' "$logs/linux32.log"; then
    echo "under qemu-i386" >"$state/note"
  fi
  return "$rc"
}

st_valgrind() {
  local rc=0
  rm -f build/valgrind/ctest.log
  echo "$root/build/valgrind/ctest.log" >"$state/ctest-log"
  logged valgrind 3000 env ORB_JOBS="$jobs" scripts/valgrind-run.sh build/valgrind || rc=$?
  grep -E 'left out|tests passed|^Total Test time|scripted runs' "$logs/valgrind.log" \
    | sed 's/^/[valgrind] /' || true
  return "$rc"
}

stage "setup (packages, locale)" st_setup
stage "linux: build (ASan+UBSan)" st_linux_build
stage "linux: ctest" st_linux_ctest "linux: build (ASan+UBSan)"
stage "fuzz: build (clang) + fixed runs" st_fuzz
stage "win64: build" st_win64_build
stage "win64: ctest under Wine" st_win64_ctest "win64: build"
stage "win64: Wine checks + end to end" st_win64_checks "win64: build" "linux: build (ASan+UBSan)"
stage "win32: build" st_win32_build
stage "win32: static PE check" st_win32_pe "win32: build"
stage "win32: ctest under Wine" st_win32_ctest "win32: build"
stage "win32: Wine checks + end to end" st_win32_checks "win32: build" "linux: build (ASan+UBSan)"
stage "linux32: build + ctest" st_linux32
stage "valgrind: build + ctest (memcheck)" st_valgrind

echo
echo "== summary ($jobs jobs)"
printf '%-34s %-8s %5s %7s %7s %7s  %s\n' stage verdict s passed failed skipped note
printf '%s\n' "${rows[@]}"
printf '%-34s %-8s %5d %7d %7d %7d\n' total "$([ ${#failed_stages[@]} -eq 0 ] && echo ok || echo FAILED)" \
  "$(( $(date +%s) - total_start ))" "$total_passed" "$total_failed" "$total_skipped"
if [ ${#notes[@]} -gt 0 ]; then
  echo
  printf '%s\n' "${notes[@]}"
fi
echo
echo "$total_passed passed, $total_failed failed"
if [ ${#failed_stages[@]} -gt 0 ]; then
  echo "FAILED: $(printf '%s; ' "${failed_stages[@]}" | sed 's/; $//')"
  exit 1
fi
echo "all tests passed"
