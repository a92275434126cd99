#!/bin/bash
# Runs a Windows test program (64- or 32-bit) under Wine's loader, $WINELOADER. The caller
# exports WINEPREFIX (a prepared prefix) and keeps `wineserver -p` running; see
# scripts/wine-env.sh. WINELOADER, when the caller has not exported it (a ctest started by
# hand with only WINEPREFIX set), has its default from scripts/lib.sh.
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG="${WINEDEBUG:--all}"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

case " $* " in
  *" --gtest_filter="*) ;;
  *) exec "$WINELOADER" "$@" ;;
esac

# A test program prints and flushes its banner before it runs any test, so a run that fails
# without a byte of output never reached one: Wine failed to start the process (seen once in
# CI, on a loaded machine, 0.03 s after the start). Such a run is tried once more, and the
# retry is recorded in ORB_WINE_RETRY_LOG for the CI summary. A failure with output, and a
# second silent failure, stand as they are.
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
attempt() {
  "$WINELOADER" "$@" 2>&1 | tee "$out"
  return "${PIPESTATUS[0]}"
}
attempt "$@"
rc=$?
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  if [ -n "${ORB_WINE_RETRY_LOG:-}" ]; then
    echo "$(basename "$1") $2: exit status $rc without output; ran it again" \
      >>"$ORB_WINE_RETRY_LOG"
  fi
  echo "wine-run: exit status $rc without output; running it again" >&2
  attempt "$@"
  rc=$?
fi
exit "$rc"
