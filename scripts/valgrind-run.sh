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
source scripts/lib.sh
command -v valgrind >/dev/null || orb_die "valgrind is missing"
build=$(orb_abs_dir "${1:-$root/build/valgrind}")
jobs=$(orb_jobs)

orb_ccache_launcher
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORB_SANITIZE=OFF \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/valgrind-exec.sh" "${orb_launcher[@]}" \
  >"$build/configure.log"
orb_quiet "$build/build.log" cmake --build "$build" -j"$jobs"
# The launcher must have reached the test definitions, or this would be a plain run.
grep -q valgrind-exec.sh "$build/tests/archive/archive_decoder_tests[1]_include.cmake" ||
  orb_die "the tests are not started through scripts/valgrind-exec.sh"

# Tests left out of this run: ctest name, then the reason (printed before the run). Only
# what valgrind cannot do, or not in the time CI gives, belongs here, never a finding.
orb_ctest "$build" "$build/ctest.log" 300 \
  ChildProcess.MissingProgramFailsToStart \
  "under valgrind posix_spawn cannot report a failed exec: valgrind runs
    the spawn's vfork as a fork, so the child's exec error never reaches the parent, which
    sees a child that exits with 127 instead" \
  "AllOrNothing\\..*" "the exhaustive install loops run a full install a thousand times over,
    hours under valgrind; the sanitizer build runs them, and every path they take is run here
    once by the fault table and the installer tests"

# The programs the scripted tests start, under valgrind: each process logs to a file of its
# own (their standard error is part of what the scripts check), and a clean process writes
# nothing there (--quiet).
vglogs=$build/valgrind-logs
rm -rf "$vglogs" "$build/wrapped"
mkdir -p "$vglogs" "$build/wrapped"
wrap() { orb_wrapper "$build/wrapped/$2" "$root/scripts/valgrind-exec.sh" "$1"; }
wrap "$build/src/installer/qmvt04-setup" qmvt04-setup
wrap "$build/tools/mkhost/mkhost" mkhost
wrap "$build/tools/arxunzip/arxunzip" arxunzip
export ORB_VALGRIND_OPTS="--log-file=$vglogs/%p.log"
scripted_rc=0
timeout -k 10 1200 /usr/bin/python3 tests/installer/installer_e2e.py check \
  "$build/wrapped/qmvt04-setup" "$build/wrapped/mkhost" "$root" >"$build/e2e.log" 2>&1 ||
  { scripted_rc=1; orb_say "the end-to-end scenarios failed:"; tail -n 60 "$build/e2e.log"; }
WINEPREFIX=$build/test-prefix timeout -k 10 600 sh tests/archive/arxunzip_infozip.sh \
  "$build/wrapped/arxunzip" \
  >"$build/arxunzip.log" 2>&1 ||
  { [ $? -eq 77 ] || { scripted_rc=1; orb_say "arxunzip against Info-ZIP failed:"; tail -n 60 "$build/arxunzip.log"; }; }
unset ORB_VALGRIND_OPTS
found=$(find "$vglogs" -name '*.log' -size +0 | sort)
if [ -n "$found" ]; then
  for f in $found; do echo "== $f"; head -n 80 "$f"; done
  orb_die "valgrind reported errors in the scripted runs"
fi
[ "$scripted_rc" -eq 0 ] || exit 1
orb_say "scripted runs clean ($(find "$vglogs" -name '*.log' | wc -l) processes checked)"
