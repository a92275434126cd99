#!/bin/sh
# Builds the benchmark corpus from files of this Debian machine (never committed):
#   bench/make_corpus.sh <dir>
# text.bin: licence texts and manual pages' sources; elf.bin: program and library code.
set -eu
dir=${1:?usage: make_corpus.sh <dir>}
mkdir -p "$dir"
: > "$dir/text.bin"
for f in /usr/share/common-licenses/GPL-3 /usr/share/common-licenses/GPL-2 \
         /usr/share/common-licenses/LGPL-2.1 /usr/share/common-licenses/Apache-2.0 \
         /usr/share/common-licenses/GFDL-1.3 /usr/share/common-licenses/Artistic; do
  [ -r "$f" ] && cat "$f" >> "$dir/text.bin"
done
for f in /usr/share/doc/*/copyright; do cat "$f"; done 2>/dev/null | head -c 3000000 >> "$dir/text.bin"
: > "$dir/elf.bin"
for f in /usr/bin/cmake /usr/lib/x86_64-linux-gnu/libstdc++.so.6; do
  [ -r "$f" ] && cat "$f" >> "$dir/elf.bin"
done
ls -l "$dir"
