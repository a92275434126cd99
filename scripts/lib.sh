# Sourced by the scripts (bash): what several of them do alike. Defines functions and
# variables only; sourcing it runs nothing else.
#
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#
# orb_me names the calling script in its messages (default: its file name without .sh).

orb_me=${orb_me:-$(basename -- "$0" .sh)}

# The Wine loader that every script, cmake/wine-run.sh and the Python end-to-end runs start
# Windows programs with: Debian's /usr/lib/wine/wine64 (not on PATH), unless the caller's
# environment names another. Its wineserver is the one beside it. The same loader runs the
# 32-bit build: for a PE32 program it starts the 32-bit loader beside it (/usr/lib/wine/wine,
# from wine32:i386) in the same prefix. Wine itself reads WINELOADER too, to start the
# loaders of child processes. Debian's /usr/bin/wine is not used: that wrapper switches to
# the 32-bit loader as soon as wine32 is installed.
export WINELOADER="${WINELOADER:-/usr/lib/wine/wine64}"
WINESERVER="$(dirname "$WINELOADER")/wineserver"

# A message of the calling script, and one that ends it.
orb_say() { echo "$orb_me: $*"; }
orb_die() { orb_say "$@"; exit 1; }

# Parallel jobs: ORB_JOBS, else the number of processors.
orb_jobs() { echo "${ORB_JOBS:-$(nproc 2>/dev/null || echo 2)}"; }

# Makes the folder if need be and prints its absolute path.
orb_abs_dir() { mkdir -p "$1" && (cd "$1" && pwd); }

# Sets the array orb_launcher to CMake's compiler launcher options for ccache, where it is
# installed (empty otherwise).
orb_ccache_launcher() {
  orb_launcher=()
  if command -v ccache >/dev/null; then
    orb_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
}

# orb_quiet LOG COMMAND...: runs COMMAND with its output in LOG; on failure shows the log's
# last 60 lines and fails.
orb_quiet() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -n 60 "$log"; return 1; }
}

# orb_wrapper FILE PROGRAM [ARG...]: writes FILE, a shell script that runs PROGRAM with the
# ARGs and then its own arguments.
orb_wrapper() {
  local file=$1 a
  shift
  {
    printf '#!/bin/sh\nexec'
    for a in "$@"; do printf ' "%s"' "$a"; done
    printf ' "$@"\n'
  } >"$file"
  chmod +x "$file"
}

# orb_ctest TEST-DIR LOG TAIL [NAME REASON]...: the build's tests, every one but the NAMEs
# (ctest names), each left out for its REASON, printed first. Runs ctest with `orb_jobs` jobs
# and a limit of 600 s per test, its output in LOG; prints ctest's summary, or on failure the
# last TAIL lines of the log without the passing tests' lines, and fails.
orb_ctest() {
  local dir=$1 log=$2 tail=$3
  shift 3
  local names=() exclude=()
  while [ $# -ge 2 ]; do
    orb_say "$1 left out: $2"
    names+=("$1")
    shift 2
  done
  if [ ${#names[@]} -gt 0 ]; then
    exclude=(-E "^($(IFS='|'; echo "${names[*]}"))\$")
  fi
  ctest --test-dir "$dir" -j"$(orb_jobs)" --timeout 600 --output-on-failure --no-tests=error \
    "${exclude[@]}" >"$log" 2>&1 || {
    grep -Ev 'Passed +[0-9.]+ sec$' "$log" | tail -n "$tail"; return 1; }
  grep -E '^[0-9]+% tests passed|^Total Test time' "$log"
}
