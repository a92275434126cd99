#!/usr/bin/env bash
# Can this machine run 32-bit x86 code? Decided by trying, not by asking: some x86-64
# kernels have IA-32 emulation switched off, and there a 32-bit program dies at its first
# system call although everything installs fine.
#
#   scripts/i386-probe.sh          a tiny static i386 Linux program must run, natively
#   scripts/i386-probe.sh --wine   besides, Wine must start a tiny PE32 program and hear it;
#                                  the caller has sourced scripts/wine-env.sh (prefix, server)
#
# Exit status 0 when it can, and prints what ran; 1 when it cannot, with the reason on
# stdout as one line (the callers print it in their "NOT RUN" verdicts).
# Needs gcc -m32 (g++-multilib) and, for --wine, i686-w64-mingw32-gcc.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cat >"$scratch/probe.c" <<'C'
#include <stdio.h>
#include <sys/utsname.h>
int main(void) {
  struct utsname u;
  if (uname(&u) != 0) return 2;
  puts(u.machine);
  return 0;
}
C
if ! gcc -m32 -static -O0 -o "$scratch/probe" "$scratch/probe.c" >"$scratch/cc.log" 2>&1; then
  echo "cannot build a 32-bit Linux program (gcc -m32 -static: $(head -n 1 "$scratch/cc.log"))"
  exit 1
fi
machine=$(timeout -k 2 20 "$scratch/probe" 2>/dev/null)
rc=$?
if [ "$rc" -ne 0 ]; then
  echo "a static i386 Linux program does not run here (exit status $rc: IA-32 emulation is off in this kernel?)"
  exit 1
fi
# A 32-bit process on an x86-64 kernel is told the kernel's machine. Under an emulator that
# the kernel starts by itself (binfmt_misc), uname says i386..i686 instead: that runs, but
# it is not the native run that the callers want.
host=$(uname -m)
if [ "$machine" != "$host" ]; then
  echo "i386 programs run here only through an emulator (the program's uname says $machine, the kernel's $host)"
  exit 1
fi

if [ "${1:-}" = "--wine" ]; then
  loader=$WINELOADER
  [ -n "${WINEPREFIX:-}" ] || { echo "no Wine prefix (source scripts/wine-env.sh first)"; exit 1; }
  printf '#include <stdio.h>\nint main(void) { puts("pe32 ran"); return 0; }\n' >"$scratch/hello.c"
  if ! i686-w64-mingw32-gcc -O0 -static -o "$scratch/hello.exe" "$scratch/hello.c" \
      >"$scratch/cc.log" 2>&1; then
    echo "cannot build a PE32 program (i686-w64-mingw32-gcc: $(head -n 1 "$scratch/cc.log"))"
    exit 1
  fi
  # Without a working 32-bit loader, wine64 falls back to its experimental WoW64 mode, fails
  # to load the 32-bit ntdll and still exits with status 0: only the program's own output
  # tells. The loader's errors are kept for the reason.
  out=$(WINEDEBUG=-all,err+module timeout -k 5 120 "$loader" "$scratch/hello.exe" \
        2>"$scratch/wine.err" </dev/null | tr -d '\r')
  rc=$?
  if [ "$rc" -ne 0 ] || [ "$out" != "pe32 ran" ]; then
    err=$( (grep -m1 'err:module' "$scratch/wine.err" || grep -m1 -E 'err:|^wine: failed' \
           "$scratch/wine.err") | tr -d '\r' | sed 's/^[0-9a-f]*://')
    echo "Wine ($loader) does not run a 32-bit program: exit status $rc, output [${out:0:60}]${err:+, $err} (is wine32:i386 installed?)"
    exit 1
  fi
  echo "i386 runs natively ($machine kernel), and Wine ($loader) starts 32-bit programs"
  exit 0
fi
echo "i386 runs natively ($machine kernel)"
