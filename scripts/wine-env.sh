# Sourced: prepares a Wine prefix for the Windows tests and keeps a wineserver running.
#
#   source scripts/wine-env.sh <prefix-dir> [--fresh]
#
# A missing prefix (or any prefix with --fresh) is booted anew with the null display driver,
# so that message boxes and dialogs are created but invisible and can be answered by
# dlgtool.exe. Exports WINEPREFIX, WINEDEBUG, LC_ALL, WINEDLLOVERRIDES and WINELOADER,
# unsets DISPLAY, and defines:
#   wine_run ARGS...   $WINELOADER under a timeout (WINE_TIMEOUT seconds, 120)
#   wine_env_stop      kills the server (which also writes the registry to the prefix's
#                      .reg files); installed as the EXIT trap unless WINE_ENV_NO_TRAP=1.
# Every Wine call has a timeout: a dialog nobody answers must not hang the caller.
#
# WINELOADER, the Wine loader every script starts programs with, and its WINESERVER come from
# scripts/lib.sh, where its default is defined.

# Wine refuses a relative prefix; make it absolute so that callers may name one from here.
case "$1" in
  /*) export WINEPREFIX="$1" ;;
  *) export WINEPREFIX="$PWD/$1" ;;
esac
export WINEDEBUG=-all LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

wine_run() {
  timeout -k 5 "${WINE_TIMEOUT:-120}" "$WINELOADER" "$@"
}

wine_env_stop() {
  timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
}

_wine_env_boot() {
  # The server must not hold our stdout or stderr: started under `| tee` it would keep the
  # pipe open and the caller would never finish. Hence the redirections on every call.
  wine_env_stop
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # "failed to open ...syswow64\rundll32.exe" is expected where wine32 is not installed.
  timeout -k 5 300 "$WINELOADER" wineboot -i >/dev/null 2>&1 </dev/null || true
  timeout -k 5 120 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: wineboot did not create $WINEPREFIX" >&2
    return 1
  fi
  wine_run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f \
    >/dev/null 2>&1 </dev/null || return 1
  # Relay traces (WINEDEBUG=+relay) then show which boxes were shown, with their flags.
  wine_run reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'user32.MessageBoxA;user32.MessageBoxW' /f >/dev/null 2>&1 </dev/null || return 1
  # The driver setting takes effect with a new server.
  wine_env_stop
}

if [ "${2:-}" = "--fresh" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  _wine_env_boot || return 1
fi
timeout -k 5 30 "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
# The first program of a new server starts Wine's own services (services.exe, winedevice,
# plugplay, rpcss), which inherit that program's stdout and stderr and outlive it. Started
# by a test under ctest they would hold ctest's pipe open until the test's timeout. Start
# them here, detached.
wine_run cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
if [ "${WINE_ENV_NO_TRAP:-0}" != 1 ]; then
  trap wine_env_stop EXIT
fi
