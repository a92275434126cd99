#!/usr/bin/env bash
# Registry cross-check: the native build (which models the registry by reading the Wine
# prefix's system.reg and user.reg itself) and the Windows build (which asks Wine) must
# see the same value bytes in the same prefix.
#
#   scripts/registry-crosscheck.sh <native build dir> <Windows build dir> [prefix]
#
# The Windows build is win64 or win32 (the latter where 32-bit programs run under Wine).
#
# The prefix defaults to $WINEPREFIX (as set up by scripts/wine-env.sh). The values are
# written by Wine's own `reg add` into the 32-bit view of HKLM\Software (where the 32-bit
# host keeps its values, and where both builds of ours look) and into HKCU; then both
# builds read them through the layer with tools/regread. The other way round, a value
# written by each build (RegWriteValue) is read back by the other and by `reg query`.
# Everything is removed again at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
native_dir=$(cd "$1" && pwd)
win_dir=$(cd "$2" && pwd)
prefix=${3:-${WINEPREFIX:?set WINEPREFIX or pass a prefix}}

native=$native_dir/tools/regread/regread
win=$win_dir/tools/regread/regread.exe
# The Windows build's name in the report: win64 or win32, as its build folder is called.
wl=$(printf '%-6s' "$(basename "$win_dir")")
for f in "$native" "$win"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "registry-crosscheck: $f is missing (build regread)"; exit 1; }
done

WINE_ENV_NO_TRAP=1 source "$here/wine-env.sh" "$prefix"
server_start() { timeout -k 5 30 "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true; }

# GBK bytes of UTF-8 text as "HH HH ...", uppercase.
gbk_hex() { printf '%s' "$1" | iconv -f UTF-8 -t GBK | od -An -v -tx1 | tr -s ' \n' ' ' \
  | sed 's/^ //; s/ $//' | tr a-f A-F; }
# The same as regread's "x:" argument.
gbk_arg() { printf 'x:%s' "$(gbk_hex "$1" | tr -d ' ')"; }

base='Software\OrbCrossCheck'
failures=0
check() {  # label, expected line, actual line
  if [ "$2" == "$3" ]; then
    printf 'ok    %s\n' "$1"
  else
    printf 'FAIL  %s\n        expected: %s\n        got:      %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
read_win() { wine_run "$win" "$@" 2>/dev/null | tr -d '\r' || true; }
read_native() { timeout -k 5 60 "$native" "$@" 2>&1 || true; }

# Cases: root | key below $base | value name ("" = default) | reg type | reg add data | expected data
# Data written by `reg add` is UTF-8 on this side; Wine stores it as UTF-16 and the ANSI
# read gives GBK with its terminating zero. 乗 is 81 5C: its trail byte is a backslash.
cases=(
  "HKLM|Zentab2004|RootDir|REG_SZ|C:\\测试\\程序|$(gbk_hex 'C:\测试\程序') 00"
  "HKLM|Zentab2004|路径|REG_SZ|D:\\乗\\数据\\|$(gbk_hex 'D:\乗\数据\') 00"
  "HKLM|Zentab2004||REG_SZ|默认值|$(gbk_hex '默认值') 00"
  "HKLM|Zentab2004|Expand|REG_EXPAND_SZ|%ProgramFiles%\\测试|$(gbk_hex '%ProgramFiles%\测试') 00"
  "HKLM|Zentab2004|Count|REG_DWORD|305419896|78 56 34 12"
  "HKLM|Zentab2004|Bin|REG_BINARY|0102a1b6|01 02 A1 B6"
  "HKLM|Zentab2004|Multi|REG_MULTI_SZ|a\\0测试|61 00 $(gbk_hex '测试') 00 00"
  "HKCU|ZentabE\\Options|DefaultTaskPath|REG_SZ|C:\\任务\\《测试》\\|$(gbk_hex 'C:\任务\《测试》\') 00"
  "HKCU|ZentabE\\Options|Empty|REG_SZ||00"
  "HKCU|中文键|名称|REG_SZ|值《》|$(gbk_hex '值《》') 00"
)
size_of() { echo "$1" | wc -w; }
type_no() { case $1 in REG_SZ) echo 1;; REG_EXPAND_SZ) echo 2;; REG_BINARY) echo 3;;
  REG_DWORD) echo 4;; REG_MULTI_SZ) echo 7;; esac; }

server_start
echo "registry cross-check in $prefix"
for c in "${cases[@]}"; do
  IFS='|' read -r root key name type data expected <<<"$c"
  args=("$root\\$base\\$key")
  if [ -n "$name" ]; then args+=(/v "$name"); else args+=(/ve); fi
  args+=(/t "$type" /d "$data" /f /reg:32)
  wine_run reg add "${args[@]}" >/dev/null 2>&1 || { echo "FAIL  reg add ${args[*]}"; exit 1; }
done

# Each build writes one value through RegWriteValue (GBK in, UTF-16 stored).
written_text='C:\写入\乗《测试》'
written_hex="$(gbk_hex "$written_text") 00"
out=$(wine_run "$win" --write HKLM "$(gbk_arg "$base\\Written")" "$(gbk_arg '窗口')" 1 \
  "$(echo "$written_hex" | tr -d ' ')" 2>&1 | tr -d '\r' || true)
check "$wl RegWriteValue HKLM $base\\Written" "ok" "$out"

# The Windows build reads while the server runs.
for c in "${cases[@]}"; do
  IFS='|' read -r root key name type data expected <<<"$c"
  want="type=$(type_no "$type") size=$(size_of "$expected") data=$expected"
  got=$(read_win "$root" "$(gbk_arg "$base\\$key")" "$(gbk_arg "$name")")
  check "$wl $root $base\\$key [$name] $type" "$want" "$got"
done

# The prefix's files are written when the server exits; the native build reads them.
wine_env_stop
for c in "${cases[@]}" "HKLM|Written|窗口|REG_SZ|-|$written_hex"; do
  IFS='|' read -r root key name type data expected <<<"$c"
  want="type=$(type_no "$type") size=$(size_of "$expected") data=$expected"
  got=$(read_native "$root" "$(gbk_arg "$base\\$key")" "$(gbk_arg "$name")")
  check "native $root $base\\$key [$name] $type" "$want" "$got"
done

# The native build writes (server stopped: it edits the hive file itself), Wine reads.
native_text='D:\本机\乗写入'
native_hex="$(gbk_hex "$native_text") 00"
out=$(timeout -k 5 60 "$native" --write HKLM "$(gbk_arg "$base\\Native")" "$(gbk_arg '本机')" 1 \
  "$(echo "$native_hex" | tr -d ' ')" 2>&1 || true)
check "native RegWriteValue HKLM $base\\Native" "ok" "$out"
server_start
got=$(read_win HKLM "$(gbk_arg "$base\\Native")" "$(gbk_arg '本机')")
check "$wl HKLM $base\\Native [本机] (written by native)" \
  "type=1 size=$(size_of "$native_hex") data=$native_hex" "$got"

# `reg query` shows the characters each build stored, not mojibake.
for w in "Written|窗口|$written_text" "Native|本机|$native_text"; do
  IFS='|' read -r key name text <<<"$w"
  line=$(wine_run reg query "HKLM\\$base\\$key" /v "$name" /reg:32 2>/dev/null \
    | iconv -f GBK -t UTF-8 2>/dev/null | tr -d '\r' | grep -F "$name" || true)
  got=$(echo "$line" | sed -E 's/^ *[^ ]+ +REG_SZ +//')
  check "reg query HKLM $base\\$key [$name] shows the text" "$text" "$got"
done

# RegDeleteTree in the 32-bit view removes the whole key; HKCU's copy is removed the same way.
check "$wl RegDeleteTree HKLM $base" "ok" \
  "$(wine_run "$win" --delete HKLM "$(gbk_arg "$base")" 2>&1 | tr -d '\r' || true)"
check "$wl RegDeleteTree HKCU $base" "ok" \
  "$(wine_run "$win" --delete HKCU "$(gbk_arg "$base")" 2>&1 | tr -d '\r' || true)"
check "$wl reads a deleted key" "error=2" \
  "$(read_win HKLM "$(gbk_arg "$base\\Zentab2004")" RootDir)"
check "$wl deleting a missing key succeeds" "ok" \
  "$(wine_run "$win" --delete HKLM "$(gbk_arg "$base")" 2>&1 | tr -d '\r' || true)"

if [ "$failures" -ne 0 ]; then
  echo "registry cross-check: $failures FAILED"
  exit 1
fi
echo "registry cross-check: all passed"
