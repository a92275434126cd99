#!/usr/bin/env bash
# Dialog checks of the Windows build under Wine: the layer's real message box and folder
# dialog (shown by uiprobe.exe) are answered from outside by dlgtool.exe, with the null
# display driver, so nothing needs a screen.
#
#   scripts/wine-checks.sh <Windows build dir: win64, or win32 where 32-bit code runs> [prefix]
#
# The prefix defaults to $WINEPREFIX (see scripts/wine-env.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
prefix=${2:-${WINEPREFIX:?set WINEPREFIX or pass a prefix}}
WINE_ENV_NO_TRAP=1 source "$here/wine-env.sh" "$prefix"

dlg=$build/dlgtool.exe
probe=$build/uiprobe.exe
for f in "$dlg" "$probe"; do
  [ -f "$f" ] || { echo "wine-checks: $f is missing"; exit 1; }
done

failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Shows something with uiprobe, answers it with dlgtool; the outputs land in
# $scratch/probe and $scratch/dlg. Both sides are bounded in time.
scenario() {  # probe args... -- dlgtool args...
  local probe_args=() dlg_args=()
  while [ "$1" != "--" ]; do probe_args+=("$1"); shift; done
  shift
  dlg_args=("$@")
  WINE_TIMEOUT=40 wine_run "$probe" "${probe_args[@]}" >"$scratch/probe" 2>/dev/null &
  local pid=$!
  WINE_TIMEOUT=30 wine_run "$dlg" --timeout 15 "${dlg_args[@]}" >"$scratch/dlg" 2>&1 || true
  wait "$pid" || true
  tr -d '\r' <"$scratch/probe" >"$scratch/probe.txt"
}
expect() {  # label, file, fixed string that must be a whole line of it
  if grep -qxF -- "$3" "$2"; then
    printf 'ok    %s\n' "$1"
  else
    printf 'FAIL  %s\n        wanted the line: %s\n' "$1" "$3"
    sed 's/^/        | /' "$2"
    failures=$((failures + 1))
  fi
}

caption='2004年度企业QMVT考核任务 参数安装'
text=$'《测试》安装完成。\n第二行 English text, 乗 (81 5C)'
echo "dialog checks in $prefix"

# A message box with OK only (MB_ICONINFORMATION): the whole text, the caption and the one
# button reach the screen as Unicode, whatever the ANSI code page.
scenario msgbox "$text" "$caption" 0x40 -- "$caption" list click 1 gone
expect "message box caption" "$scratch/dlg" "dialog caption=[$caption]"
expect "message box text, not cut" "$scratch/dlg" \
  "  id=65535 class=Static visible=1 enabled=1 text=[${text//$'\n'/\\n}]"
expect "message box OK button" "$scratch/dlg" "  id=1 class=Button visible=1 enabled=1 text=[确定]"
expect "message box returns IDOK" "$scratch/probe.txt" "result=1"

# OK/Cancel answered with Cancel.
scenario msgbox "是否重试？" "警告" 0x31 -- "警告" click 2 gone
expect "OK/Cancel box returns IDCANCEL" "$scratch/probe.txt" "result=2"

# Folder dialog: two sibling folders with GBK names.
mkdir -p "$prefix/drive_c/orbcheck/a甲" "$prefix/drive_c/orbcheck/b乙"
scenario browse 'C:\orbcheck\a甲' -- 选择文件夹 waitsel 14145 click 1 gone
expect "folder dialog: OK on the preselected folder" "$scratch/probe.txt" 'ok=C:\orbcheck\a甲'

scenario browse 'C:\orbcheck\a甲' -- 选择文件夹 waitsel 14145 treenext 14145 click 1 gone
expect "folder dialog: OK on the next folder" "$scratch/probe.txt" 'ok=C:\orbcheck\b乙'

scenario browse 'C:\orbcheck\a甲' -- 选择文件夹 click 2 gone
expect "folder dialog: Cancel" "$scratch/probe.txt" 'cancel'

# The request's accept callback sees each selected folder and can disable OK for it.
scenario browse 'C:\orbcheck\a甲' 甲 -- 选择文件夹 waitsel 14145 waitdisabled 1 \
  treenext 14145 waitenabled 1 click 1 gone
expect "folder dialog: accept refuses the first folder" "$scratch/probe.txt" 'accept C:\orbcheck\a甲: 0'
expect "folder dialog: accept takes the second folder" "$scratch/probe.txt" 'accept C:\orbcheck\b乙: 1'
expect "folder dialog: OK disabled, then enabled again" "$scratch/probe.txt" 'ok=C:\orbcheck\b乙'
if grep -q TIMEOUT "$scratch/dlg"; then
  printf 'FAIL  folder dialog: OK state did not follow accept\n'
  sed 's/^/        | /' "$scratch/dlg"
  failures=$((failures + 1))
fi
rm -rf "$prefix/drive_c/orbcheck"

if [ "$failures" -ne 0 ]; then
  echo "dialog checks: $failures FAILED"
  exit 1
fi
echo "dialog checks: all passed"
