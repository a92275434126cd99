#!/usr/bin/env bash
# test32.sh [build-dir]: the test suite as 32-bit Linux code, the width the product ships at.
# Builds GoogleTest from /usr/src/googletest with -m32 (static), the project with g++ -m32 as
# a cross build (cmake/linux-i686.cmake), and runs ctest. Where the kernel runs 32-bit code
# itself (scripts/i386-probe.sh tries a tiny static i386 program), the programs run natively;
# elsewhere (IA-32 emulation off) every one runs under qemu-i386, user-mode emulation, which
# is several times slower. The first line of output says which. Needs g++-multilib, and
# qemu-user for the emulated run. Tests that need the native 64-bit tools (the end-to-end and
# package checks) are left out by the cross build itself.
# Environment: ORB_JOBS (parallel jobs, default: the number of processors);
# ORB_LINUX32_RUNNER=qemu forces the emulated run where the native one would do (to try the
# emulator's path); ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib.sh
build=$(orb_abs_dir "${1:-$root/build/linux32}")
jobs=$(orb_jobs)

if [ "${ORB_LINUX32_RUNNER:-}" = qemu ]; then
  runner=qemu why="ORB_LINUX32_RUNNER=qemu"
elif why=$("$root/scripts/i386-probe.sh"); then
  runner=native
else
  runner=qemu
fi
if [ "$runner" = native ]; then
  orb_say "running natively: $why"
else
  orb_say "running under qemu-i386: $why"
  command -v qemu-i386 >/dev/null || orb_die "qemu-i386 is missing (qemu-user)"
fi

toolchain=$root/cmake/linux-i686.cmake
orb_ccache_launcher

# Tests left out of the 32-bit run: ctest name, then the reason (printed before the run).
# Only what the emulator cannot do, or not in the time CI gives, belongs here, never a
# failure of the code under test.
excluded=("AllOrNothing\\..*" "the exhaustive install loops (a full install a thousand times
    over) run in the native and Windows suites; their 32-bit arithmetic is the same code the
    other installer tests run here")
if [ "$runner" = qemu ]; then
  excluded+=(ChildProcess.MissingProgramFailsToStart
    "under qemu-user posix_spawn cannot report a failed exec: the emulator
    runs the spawn's vfork as a fork, so the child's exec error never reaches the parent,
    which sees a child that exits with 127 instead")
fi

gtest=$build/gtest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/gtest" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${orb_launcher[@]}" -DCMAKE_INSTALL_PREFIX="$gtest" \
    -DBUILD_GMOCK=ON -DBUILD_SHARED_LIBS=OFF >"$build/gtest-configure.log"
  cmake --build "$build/gtest" -j"$jobs" >"$build/gtest-build.log"
  cmake --install "$build/gtest" >/dev/null
fi

cmake -S . -B "$build/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${orb_launcher[@]}" -DORB_GTEST32_PREFIX="$gtest" \
  -DORB_I386_NATIVE="$([ "$runner" = native ] && echo ON || echo OFF)" \
  -DGTest_DIR="$gtest/lib/cmake/GTest" >"$build/configure.log"
orb_quiet "$build/build.log" cmake --build "$build/main" -j"$jobs"
file "$build/main/tests/archive/archive_decoder_tests" 2>/dev/null | grep -q 'ELF 32-bit' ||
  orb_die "the test programs are not 32-bit"

# Programs that the tests start themselves (a second process holding a file open, arxunzip
# under the Info-ZIP comparison) are 32-bit too. Under emulation the kernel cannot run them:
# each one becomes a small script that starts it under qemu-i386 (the kernel runs scripts
# natively), and the program itself moves beside it as NAME.i686. Test programs are left as
# they are: ctest starts them under qemu-i386 itself; GoogleTest's programs are known by
# the name of its test-listing flag inside them, the fuzz targets by the name of their entry
# point. A later build that relinks a program replaces the script with the program again,
# and this step wraps it anew. A native run puts back the programs that an earlier emulated
# run in this build folder wrapped.
wrapped=0
is_wrapper() { [ -f "$1.i686" ] && head -c 2 "$1" | grep -q '#!' && grep -qE 'exec "?qemu-i386"? ' "$1"; }
while IFS= read -r -d '' exe; do
  if [ "$runner" = native ]; then
    if is_wrapper "$exe"; then mv -f "$exe.i686" "$exe"; wrapped=$((wrapped + 1)); fi
    continue
  fi
  file -b "$exe" | grep -q '^ELF 32-bit' || continue
  grep -qE 'gtest_list_tests|LLVMFuzzerTestOneInput' "$exe" && continue
  mv -f "$exe" "$exe.i686"
  orb_wrapper "$exe" qemu-i386 "$exe.i686"
  wrapped=$((wrapped + 1))
done < <(find "$build/main" -path '*/CMakeFiles' -prune -o -type f -perm -u+x ! -name '*.i686' -print0)
if [ "$runner" = native ]; then
  [ "$wrapped" -eq 0 ] || orb_say "$wrapped programs wrapped by an earlier emulated run put back"
else
  orb_say "$wrapped programs started by the tests now run under qemu-i386"
fi

orb_ctest "$build/main" "$build/ctest.log" 200 "${excluded[@]}"
