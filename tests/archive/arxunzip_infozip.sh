#!/bin/sh
# arxunzip against Info-ZIP: archives made by zip (stored, deflated, encrypted, with a comment,
# with folder entries and a GBK name) extract to the same files as Info-ZIP unzip writes; test
# mode passes; a wrong password fails with a non-zero status. Exit 77 (skipped) without zip.
# usage: arxunzip_infozip.sh ARXUNZIP
set -eu
tool=$1
for t in zip unzip iconv cksum; do
  command -v "$t" >/dev/null 2>&1 || { echo "SKIPPED: $t not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p src/sub src/empty
printf 'hello\r\n' > src/readme.txt
seq 1 30000 > src/sub/numbers.txt
printf '\271\244\327\367' > "src/sub/$(printf '\261\355\270\361').dbf"
: > src/zero.txt
export LC_ALL=C
zip -q -r -0 stored.zip src
zip -q -r deflated.zip src
zip -q -r -P secret encrypted.zip src
echo 'a comment' | zip -q -r -z commented.zip src
for a in stored deflated encrypted commented; do
  unzip -q -o -P secret $a.zip -d ref_$a
  "$tool" -o -P secret -d "$work/ours_$a" $a.zip >/dev/null 2>&1 || { echo "FAILED: extract $a"; exit 1; }
  (cd ref_$a && find . -type f -exec cksum {} + | iconv -f GBK -t UTF-8 | sort) > ref.lst
  (cd ours_$a && find . -type f -exec cksum {} + | sort) > ours.lst
  cmp ref.lst ours.lst || { echo "FAILED: $a differs"; diff ref.lst ours.lst; exit 1; }
  "$tool" -t -P secret $a.zip >/dev/null 2>&1 || { echo "FAILED: test $a"; exit 1; }
done
if "$tool" -t -P wrong encrypted.zip </dev/null >/dev/null 2>&1; then
  echo "FAILED: a wrong password passed"; exit 1
fi
"$tool" -l deflated.zip | grep -q 'numbers.txt' || { echo "FAILED: listing"; exit 1; }
echo "arxunzip matches Info-ZIP unzip on 4 archives"
