# Sourced: prepares a Wine prefix for the Windows tests and keeps a wineserver running.
# Usage: source scripts/wine-env.sh <prefix-dir>
export WINEPREFIX="$1"
export WINEDEBUG=-all LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null
  /usr/lib/wine/wineserver -k || true
fi
/usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
