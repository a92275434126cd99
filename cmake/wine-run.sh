#!/bin/sh
# Runs a Windows test program under wine64. The caller exports WINEPREFIX (a prepared
# prefix) and keeps `wineserver -p` running; see scripts/wine-env.sh.
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
