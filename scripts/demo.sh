#!/usr/bin/env bash
# The installer's main job on its embedded package, against a throw-away demonstration
# machine: a host folder with Zentab04.exe 2.8.11105.3 (unpatched, written by mkhost), the
# host's registry values, and a task folder. The installer runs, shows its messages and
# patches the host; then the script shows what changed: the bytes at the two patch sites
# before and after, the extracted files and the new row of the host catalog CONFIG.TSK.
#
#   bash scripts/demo.sh            the native Linux build (a prefix models the machine)
#   bash scripts/demo.sh --wine     the 64-bit Windows build under Wine, null display driver;
#                                   dlgtool.exe reports each message box and presses OK
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=native
case "${1:-}" in
  --wine) mode=wine ;;
  "") ;;
  *) echo "usage: $0 [--wine]" >&2; exit 2 ;;
esac

scripts/setup-debian.sh

echo "== building (native tools$([ $mode = wine ] && echo ', Windows x64 installer'))"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j2 --target qmvt04_setup mkhost dbfdump >/dev/null
native=$root/build/linux-release
export DBFDUMP=$native/tools/dbfdump/dbfdump

if [ $mode = native ]; then
  exec /usr/bin/python3 tests/installer/installer_e2e.py demo \
    "$native/src/installer/qmvt04-setup" "$native/tools/mkhost/mkhost" "$root"
fi

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target qmvt04_setup dlgtool >/dev/null
win=$root/build/win64
prefix=$(mktemp -d /tmp/qmvt04-wine-demo-XXXXXX)
rmdir "$prefix"
# shellcheck source=wine-env.sh
source scripts/wine-env.sh "$prefix"   # a fresh prefix, null display driver; stops on exit
timeout -k 10 600 /usr/bin/python3 tests/installer/installer_wine_e2e.py demo \
  "$win/src/installer/QMVT04Setup.exe" "$win/dlgtool.exe" "$native/tools/mkhost/mkhost" "$root"
echo "(the demonstration prefix stays in $prefix)"
