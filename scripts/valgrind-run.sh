#!/usr/bin/env bash
# valgrind-run.sh [build-dir]: the test suite under valgrind's memcheck.
# Valgrind and the sanitizers do not mix, so this is a build of its own without them, at -O1
# with debug information (fast enough under valgrind, and its reports name source lines).
# Every test program runs through scripts/valgrind-exec.sh, named as the build's test
# launcher (CMAKE_CROSSCOMPILING_EMULATOR: with the project's cmake_minimum_required below
# 3.28, CMake prefixes it to the tests of built programs even in a native build, and
# GoogleTest's discovery passes it on to every test case). Tests that are scripts (the
# end-to-end run, the Info-ZIP comparison) are not wrapped; the end-to-end scenarios then run
# once more with python3 and the installer under valgrind, each process logging to a file of
# its own, and the run fails if any log holds an error.
# Environment: ORB_JOBS (parallel jobs, default: the number of processors); ccache is used
# when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build/valgrind}
jobs=${ORB_JOBS:-$(nproc 2>/dev/null || echo 2)}
command -v valgrind >/dev/null || { echo "valgrind-run: valgrind is missing"; exit 1; }
mkdir -p "$build"
build=$(cd "$build" && pwd)

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORB_SANITIZE=OFF \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/valgrind-exec.sh" "${launcher[@]}" \
  >"$build/configure.log"
cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1 || { tail -n 60 "$build/build.log"; exit 1; }
# The launcher must have reached the test definitions, or this would be a plain run.
grep -q valgrind-exec.sh "$build/tests/archive/archive_decoder_tests[1]_include.cmake" ||
  { echo "valgrind-run: the tests are not started through scripts/valgrind-exec.sh"; exit 1; }

# Tests left out of this run, by ctest name, each with its reason (printed below). Only what
# valgrind cannot do belongs here, never a finding.
excluded_tests=(ChildProcess.MissingProgramFailsToStart)
excluded_reasons=("under valgrind posix_spawn cannot report a failed exec: valgrind runs
    the spawn's vfork as a fork, so the child's exec error never reaches the parent, which
    sees a child that exits with 127 instead")
exclude=()
if [ ${#excluded_tests[@]} -gt 0 ]; then
  for i in "${!excluded_tests[@]}"; do
    echo "valgrind-run: ${excluded_tests[$i]} left out: ${excluded_reasons[$i]}"
  done
  exclude=(-E "^($(IFS='|'; echo "${excluded_tests[*]}"))\$")
fi
ctest --test-dir "$build" -j"$jobs" --timeout 600 --output-on-failure --no-tests=error \
  "${exclude[@]}" >"$build/ctest.log" 2>&1 || {
  grep -Ev 'Passed +[0-9.]+ sec$' "$build/ctest.log" | tail -n 300; exit 1; }
grep -E '^[0-9]+% tests passed|^Total Test time' "$build/ctest.log"

# The programs the scripted tests start, under valgrind: each process logs to a file of its
# own (their standard error is part of what the scripts check), and a clean process writes
# nothing there (--quiet).
vglogs=$build/valgrind-logs
rm -rf "$vglogs" "$build/wrapped"
mkdir -p "$vglogs" "$build/wrapped"
wrap() {
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$root/scripts/valgrind-exec.sh" "$1" >"$build/wrapped/$2"
  chmod +x "$build/wrapped/$2"
}
wrap "$build/src/installer/qmvt04-setup" qmvt04-setup
wrap "$build/tools/mkhost/mkhost" mkhost
wrap "$build/tools/arxunzip/arxunzip" arxunzip
export ORB_VALGRIND_OPTS="--log-file=$vglogs/%p.log"
scripted_rc=0
timeout -k 10 1200 /usr/bin/python3 tests/installer/installer_e2e.py check \
  "$build/wrapped/qmvt04-setup" "$build/wrapped/mkhost" "$root" >"$build/e2e.log" 2>&1 ||
  { scripted_rc=1; echo "valgrind-run: the end-to-end scenarios failed:"; tail -n 60 "$build/e2e.log"; }
WINEPREFIX=$build/test-prefix timeout -k 10 600 sh tests/archive/arxunzip_infozip.sh \
  "$build/wrapped/arxunzip" \
  >"$build/arxunzip.log" 2>&1 ||
  { [ $? -eq 77 ] || { scripted_rc=1; echo "valgrind-run: arxunzip against Info-ZIP failed:"; tail -n 60 "$build/arxunzip.log"; }; }
unset ORB_VALGRIND_OPTS
found=$(find "$vglogs" -name '*.log' -size +0 | sort)
if [ -n "$found" ]; then
  for f in $found; do echo "== $f"; head -n 80 "$f"; done
  echo "valgrind-run: valgrind reported errors in the scripted runs"
  exit 1
fi
[ "$scripted_rc" -eq 0 ] || exit 1
echo "valgrind-run: scripted runs clean ($(find "$vglogs" -name '*.log' | wc -l) processes checked)"
