#!/usr/bin/env bash
# Regenerates the installer's embedded task package, package/task.zip, from package/.
# With an argument, writes the archive there instead (the tests compare it with the
# committed copy).
set -euo pipefail
cd "$(dirname "$0")/.."
exec /usr/bin/python3 package/make_package.py "$@"
