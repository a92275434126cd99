#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages (idempotent).
set -euo pipefail
pkgs=(cmake g++ make googletest libgtest-dev libgmock-dev zlib1g-dev locales
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 python3-pefile
      unzip zip python3-dbfread dbview shapelib)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
