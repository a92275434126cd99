#!/usr/bin/env bash
# Static check of the shipping 32-bit Windows build: it holds also where 32-bit code cannot
# run (and the suite under Wine is not run), and checks what running it would not.
#
#   scripts/check-pe.sh <win32 build dir> [--require-installer]
#
# Every .exe of the build (installer, tools, test programs) must be a 32-bit x86 image
# (Machine 0x14c) that imports only Windows' own DLLs: the runtime is linked statically.
# The installer, QMVT04Setup.exe, must besides carry
#   - a version resource (VS_FIXEDFILEINFO with its signature),
#   - the task package as RCDATA "TASK_ZIP", identical to package/task.zip,
#   - a manifest that asks for requireAdministrator,
#   - the engine's message texts in its string table (id 25102 and on),
#   - the GUI subsystem (no console window), and its texts as GBK bytes.
# Without --require-installer a missing installer is reported but not an error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: check-pe.sh <win32 build dir> [--require-installer]}
require=0
[ "${2:-}" = "--require-installer" ] && require=1
[ -d "$build" ] || { echo "check-pe: no build folder $build"; exit 1; }

# Debian's python3-pefile is visible only to the system interpreter.
exec /usr/bin/python3 "$here/check-pe.py" "$build" "$require" "$here/.."
