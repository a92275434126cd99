#!/usr/bin/env bash
# The project's whole check, from a fresh Debian machine to a verdict:
#   1. installs what is needed (scripts/setup-debian.sh) and the zh_CN.UTF-8 locale;
#   2. builds the `linux` preset (ASan + UBSan) and runs its tests, then builds the fuzz
#      targets with clang and runs each briefly on its corpus and regression inputs;
#   3. builds `win64`, boots a fresh Wine prefix, runs the same tests under Wine, then the
#      registry cross-check between the two builds and the dialog checks;
#   4. builds `win32`, the shipping 32-bit build, which cannot run here, and checks its
#      executables statically (scripts/check-pe.sh);
#   5. runs the test suite as 32-bit Linux code under qemu-i386 (scripts/test32.sh), so that
#      the shipping width's arithmetic and layouts are exercised, not only compiled, and
#      under valgrind's memcheck in a build without sanitizers (scripts/valgrind-run.sh).
#      They come last: they take the longest, and the stages before them keep giving their
#      verdict as early as before.
# Any failure fails the script. Every stage is bounded in time, and every Wine call has a
# timeout, so that a dialog nobody answers cannot hang a CI job. Build logs go to
# build/logs/; ctest's summary and the output of failing tests are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exec </dev/null

jobs=$(nproc 2>/dev/null || echo 2)
logs=$root/build/logs
mkdir -p "$logs"

timings=()
stage_start=0
total_start=$(date +%s)
begin() {
  stage_start=$(date +%s)
  echo
  echo "== $1"
}
end() {
  local s=$(( $(date +%s) - stage_start ))
  timings+=("$(printf '%-34s %5d s' "$1" "$s")")
  echo "-- $1: ${s} s"
}

cleanup() {
  if declare -F wine_env_stop >/dev/null; then wine_env_stop; fi
}
trap cleanup EXIT

# Runs a command with its output in a log; on failure shows the log's end and stops.
logged() {
  local name=$1 limit=$2
  shift 2
  if ! timeout -k 10 "$limit" "$@" >"$logs/$name.log" 2>&1; then
    echo "FAILED: $* (log: build/logs/$name.log)"
    tail -n 80 "$logs/$name.log"
    exit 1
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
  timeout -k 10 "$limit" ctest "$@" --output-on-failure --no-tests=error \
    >"$logs/$name.log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    # Everything but the lines of passing tests: the failures with their output.
    grep -Ev '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$' "$logs/$name.log" \
      | head -n 600 || true
    [ "$rc" -eq 124 ] && echo "ctest $name: TIMED OUT after $limit s"
    echo "ctest $name: FAILED (log: build/logs/$name.log)"
    exit 1
  fi
  grep -E '^[0-9]+% tests passed|^Total Test time' "$logs/$name.log" | sed "s/^/[$name] /"
}

begin "setup (packages, locale)"
scripts/setup-debian.sh
end "setup (packages, locale)"

begin "linux: configure + build (ASan+UBSan)"
logged linux-configure 600 cmake --preset linux
logged linux-build 3600 cmake --build --preset linux -j"$jobs"
end "linux: configure + build (ASan+UBSan)"

begin "linux: ctest"
run_ctest linux-ctest 1800 --preset linux -j"$jobs" --timeout 120
end "linux: ctest"

begin "fuzz: build (clang) + a fixed run per target"
logged fuzz 1200 scripts/fuzz-run.sh 20
grep -E '^fuzz_' "$logs/fuzz.log" || true
end "fuzz: build (clang) + a fixed run per target"

begin "win64: configure + build"
logged win64-configure 600 cmake --preset win64
logged win64-build 3600 cmake --build --preset win64 -j"$jobs"
end "win64: configure + build"

begin "win64: fresh Wine prefix"
WINE_ENV_NO_TRAP=1 source scripts/wine-env.sh "$root/build/win64/wineprefix" --fresh
end "win64: fresh Wine prefix"

begin "win64: ctest under Wine"
# Test programs that Wine failed to start are run again (cmake/wine-run.sh); say which.
export ORB_WINE_RETRY_LOG=$logs/win64-retries.log
rm -f "$ORB_WINE_RETRY_LOG"
run_ctest win64-ctest 2400 --preset win64 -j"$jobs" --timeout 120
if [ -s "$ORB_WINE_RETRY_LOG" ]; then sed 's/^/[win64-ctest] retried: /' "$ORB_WINE_RETRY_LOG"; fi
unset ORB_WINE_RETRY_LOG
end "win64: ctest under Wine"

begin "win64: Wine checks (registry, dialogs)"
scripts/registry-crosscheck.sh build/linux build/win64
scripts/wine-checks.sh build/win64
timeout -k 10 900 /usr/bin/python3 tests/installer/installer_wine_e2e.py check \
  build/win64/src/installer/QMVT04Setup.exe build/win64/dlgtool.exe \
  build/linux/tools/mkhost/mkhost "$root"
wine_env_stop
end "win64: Wine checks (registry, dialogs)"

begin "win32: configure + build (not run)"
logged win32-configure 600 cmake --preset win32
logged win32-build 3600 cmake --build --preset win32 -j"$jobs"
end "win32: configure + build (not run)"

begin "win32: static PE check"
scripts/check-pe.sh build/win32 --require-installer
end "win32: static PE check"

begin "linux32: build + ctest under qemu-i386"
logged linux32 3000 env ORB_JOBS="$jobs" scripts/test32.sh build/linux32
grep -E 'left out|tests passed|^Total Test time' "$logs/linux32.log" | sed 's/^/[linux32] /' || true
end "linux32: build + ctest under qemu-i386"

begin "valgrind: build + ctest under memcheck"
logged valgrind 3000 env ORB_JOBS="$jobs" scripts/valgrind-run.sh build/valgrind
grep -E 'left out|tests passed|^Total Test time|scripted runs' "$logs/valgrind.log" \
  | sed 's/^/[valgrind] /' || true
end "valgrind: build + ctest under memcheck"

echo
echo "== timings ($jobs jobs)"
printf '%s\n' "${timings[@]}"
printf '%-34s %5d s\n' "total" "$(( $(date +%s) - total_start ))"
echo "all tests passed"
