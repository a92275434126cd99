#!/usr/bin/env bash
# test32.sh [build-dir]: the test suite as 32-bit Linux code, the width the product ships at.
# Builds GoogleTest from /usr/src/googletest with -m32 (static), the project with g++ -m32 as
# a cross build (i686 Linux), and runs ctest with every test program under qemu-i386
# (user-mode emulation: this machine does not run 32-bit code itself). Needs g++-multilib
# and qemu-user. Tests that need the native 64-bit tools (the end-to-end and package checks)
# are left out by the cross build itself. 64-bit file offsets are a must here, not only for
# large files: under user-mode emulation the kernel hands out 64-bit directory offsets, and
# 32-bit readdir() fails with EOVERFLOW on every folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build/linux32}
jobs=${ORB_JOBS:-$(nproc 2>/dev/null || echo 2)}
mkdir -p "$build"
emu=$(command -v qemu-i386) || { echo "test32: qemu-i386 is missing (qemu-user)"; exit 1; }

cat >"$build/i686-linux.cmake" <<EOT
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_ASM_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_CROSSCOMPILING_EMULATOR $emu)
set(CMAKE_FIND_ROOT_PATH $build/gtest-install)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
EOT

if [ ! -f "$build/gtest-install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/gtest" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$build/i686-linux.cmake" -DCMAKE_INSTALL_PREFIX="$build/gtest-install" \
    -DBUILD_GMOCK=ON -DBUILD_SHARED_LIBS=OFF >"$build/gtest-configure.log"
  cmake --build "$build/gtest" -j"$jobs" >"$build/gtest-build.log"
  cmake --install "$build/gtest" >/dev/null
fi

cmake -S . -B "$build/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$build/i686-linux.cmake" \
  -DGTest_DIR="$build/gtest-install/lib/cmake/GTest" >"$build/configure.log"
cmake --build "$build/main" -j"$jobs" >"$build/build.log" 2>&1 || { tail -n 60 "$build/build.log"; exit 1; }
file "$build/main/tests/archive/archive_decoder_tests" 2>/dev/null | grep -q 'ELF 32-bit' ||
  { echo "test32: the test programs are not 32-bit"; exit 1; }
ctest --test-dir "$build/main" -j"$jobs" --timeout 600 --output-on-failure --no-tests=error \
  >"$build/ctest.log" 2>&1 || {
  grep -Ev 'Passed +[0-9.]+ sec$' "$build/ctest.log" | tail -n 200; exit 1; }
grep -E '^[0-9]+% tests passed|^Total Test time' "$build/ctest.log"
