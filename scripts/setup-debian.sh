#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, the zh_CN.UTF-8
# locale that Wine needs for code page 936 file names, and zh_CN.GBK. Idempotent: on a
# machine that has everything it changes nothing and touches no network.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Wine is installed with its recommended packages (the set it was tried with); everything
# else without, to keep a fresh machine's install short.
wine_pkgs=(wine wine64)
pkgs=(cmake make g++ googletest libgtest-dev libgmock-dev zlib1g-dev locales
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
      binutils-mingw-w64-i686 python3 python3-pefile unzip zip ca-certificates
      clang libclang-rt-14-dev
      python3-dbfread dbview shapelib    # third-party dBASE readers and writers for the table tests
      g++-multilib qemu-user             # the suite as 32-bit code (scripts/test32.sh)
      valgrind)                          # the suite under memcheck (scripts/valgrind-run.sh)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need_wine=($(missing "${wine_pkgs[@]}"))
need=($(missing "${pkgs[@]}"))
if [ ${#need_wine[@]} -gt 0 ] || [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q
  if [ ${#need[@]} -gt 0 ]; then
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" </dev/null
  fi
  if [ ${#need_wine[@]} -gt 0 ]; then
    "${as_root[@]}" apt-get install -y -q "${need_wine[@]}" </dev/null
  fi
fi

# 32-bit Windows programs (the shipping win32 build) run under Wine where this machine runs
# 32-bit x86 code: wine64's loader hands a PE32 program to the 32-bit loader of wine32:i386,
# /usr/lib/wine/wine, in the same prefix. Without it wine64 exits quietly without running the
# program. Where 32-bit code cannot run (IA-32 emulation off in the kernel), wine32 would only
# crash, so it is left out and the win32 stage of scripts/test.sh says NOT RUN. Its
# recommendations (sound, GL, printing, video) serve nothing here and would double the
# download; the 64-bit side keeps its own.
if i386=$("$here/i386-probe.sh"); then
  if [ -n "$(missing wine32:i386)" ]; then
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 ||
      "${as_root[@]}" dpkg --add-architecture i386
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q --no-install-recommends wine32:i386 </dev/null
  fi
else
  echo "setup: wine32:i386 left out: $i386"
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  "${as_root[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
# Info-ZIP makes the interop tests' archives under a GBK locale, so that their names are GBK.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$'; then
  "${as_root[@]}" localedef -i zh_CN -f GBK zh_CN.GBK
fi
