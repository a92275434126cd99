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

# tree/: a mixed folder of text, manual pages, scripts and program code for the whole-process
# extraction runs; corpus.zip is made from it with zip -9 (the usual maker of zip archives).
# A fixed list, so runs on other Debian 12 machines compare like with like; missing ones skip.
rm -rf "$dir/tree" "$dir/corpus.zip"
mkdir -p "$dir/tree"
for src in /usr/share/common-licenses /usr/share/doc/cmake /usr/share/doc/git \
           /usr/share/man/man1 /usr/share/perl/5.36/unicore /usr/share/perl/5.36/Pod \
           /usr/share/i18n/charmaps /usr/lib/x86_64-linux-gnu/perl-base \
           /usr/bin/cmake /usr/bin/ctest /usr/bin/git /usr/bin/perl /usr/bin/gdb \
           /usr/lib/x86_64-linux-gnu/libstdc++.so.6 /usr/lib/x86_64-linux-gnu/libc.so.6; do
  [ -e "$src" ] || continue
  dest="$dir/tree$(dirname "$src")"
  mkdir -p "$dest"
  cp -rL "$src" "$dest/" 2>/dev/null || true
done
(cd "$dir/tree" && zip -9 -q -r ../corpus.zip .)
(cd "$dir" && zip -9 -q text.zip text.bin)
du -sh "$dir/tree" "$dir/corpus.zip"
