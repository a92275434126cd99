#!/bin/sh
# make-test-prefix.sh [--win32] [--no-user-temp] <dir>: a minimal Wine-style prefix for the
# native test suite, so that no test touches ~/.wine. Drive C: is <dir>/drive_c, Z: is /, the
# user's Temp folder exists and both hives carry the headers Wine writes. By default a 64-bit
# prefix (HKLM\Software of a 32-bit program is Software\Wow6432Node); --win32 makes a 32-bit
# one, whose hives have no #arch line and one view. --no-user-temp leaves the user's Temp
# folder out, so that the temporary folder follows TMPDIR. Running it again keeps what is
# there.
set -eu
usage() { echo "usage: $0 [--win32] [--no-user-temp] <prefix-dir>" >&2; exit 2; }
arch='#arch=win64\n\n'
user_temp=1
while [ $# -gt 1 ]; do
  case $1 in
    --win32) arch= ;;
    --no-user-temp) user_temp= ;;
    *) usage ;;
  esac
  shift
done
[ $# -eq 1 ] || usage
dir=$1
user=$(id -un 2>/dev/null || echo "${USER:-user}")
mkdir -p "$dir/dosdevices" "$dir/drive_c/windows/system32"
[ -z "$user_temp" ] || mkdir -p "$dir/drive_c/users/$user/Temp"
[ -e "$dir/dosdevices/c:" ] || ln -s ../drive_c "$dir/dosdevices/c:"
[ -e "$dir/dosdevices/z:" ] || ln -s / "$dir/dosdevices/z:"
if [ ! -s "$dir/system.reg" ]; then
  printf "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\\\\\Machine\n\n$arch" \
    > "$dir/system.reg"
fi
if [ ! -s "$dir/user.reg" ]; then
  printf "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\\\\\User\\\\\\\\S-1-5-21-0-0-0-1000\n\n$arch" \
    > "$dir/user.reg"
fi
