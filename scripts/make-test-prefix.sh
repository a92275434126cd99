#!/bin/sh
# make-test-prefix.sh <dir>: a minimal Wine-style prefix for the native test suite, so that no
# test touches ~/.wine. Drive C: is <dir>/drive_c, Z: is /, the user's Temp folder exists and
# both hives carry the headers Wine writes (a 64-bit prefix: HKLM\Software of a 32-bit
# program is Software\Wow6432Node). Running it again keeps what is there.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 <prefix-dir>" >&2; exit 2; }
dir=$1
user=$(id -un 2>/dev/null || echo "${USER:-user}")
mkdir -p "$dir/dosdevices" "$dir/drive_c/users/$user/Temp" "$dir/drive_c/windows/system32"
[ -e "$dir/dosdevices/c:" ] || ln -s ../drive_c "$dir/dosdevices/c:"
[ -e "$dir/dosdevices/z:" ] || ln -s / "$dir/dosdevices/z:"
if [ ! -s "$dir/system.reg" ]; then
  printf 'WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n' \
    > "$dir/system.reg"
fi
if [ ! -s "$dir/user.reg" ]; then
  printf 'WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n' \
    > "$dir/user.reg"
fi
