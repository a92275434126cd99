#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the project three ways and runs the test suite
# natively (ASan + UBSan) and as a 64-bit Windows program under Wine; the shipping 32-bit
# Windows build is compiled, linked and checked statically.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup-debian.sh

jobs=$(nproc)

echo "== linux (ASan + UBSan)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"
ctest --preset linux -j"$jobs"

echo "== win64 under Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
source scripts/wine-env.sh "$root/build/win64/wineprefix"
ctest --preset win64 -j"$jobs"

echo "== win32 (shipping build: compiled, linked, checked)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
if [ -x scripts/check-pe.sh ]; then scripts/check-pe.sh build/win32; fi

echo "all tests passed"
