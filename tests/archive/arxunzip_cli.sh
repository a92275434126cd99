#!/bin/sh
# arxunzip as a tester uses it: relative folders resolve against the current folder (not the
# drive's root), another archive type ends with exit 9 and the engine's message, a cut
# archive never tests clean, and names with control characters reach the terminal escaped.
# usage: arxunzip_cli.sh ARXUNZIP
set -eu
tool=$1
for t in zip python3 gzip; do
  command -v "$t" >/dev/null 2>&1 || { echo "SKIPPED: $t not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAILED: $*"; exit 1; }

printf 'hello\n' > f.txt
zip -q a.zip f.txt
mkdir sub
cp a.zip sub/a.zip

# A relative -d folder, and a relative archive path whose folder is the default target.
root_had_outdir=no; [ -e /outdir ] && root_had_outdir=yes
"$tool" -o -d outdir a.zip >/dev/null 2>&1 || fail "-d outdir exited $?"
[ "$(cat outdir/f.txt)" = hello ] || fail "-d outdir did not write ./outdir/f.txt"
[ $root_had_outdir = yes ] || [ ! -e /outdir ] || fail "-d outdir wrote /outdir"
rm -f sub/f.txt
"$tool" -o sub/a.zip >/dev/null 2>&1 || fail "sub/a.zip exited $?"
[ "$(cat sub/f.txt)" = hello ] || fail "sub/a.zip did not write ./sub/f.txt"

# Another archive type: exit 9 with the engine's message, for every mode.
printf 'not a zip\n' | gzip > x.gz
for mode in "" -t -l; do
  rc=0
  # shellcheck disable=SC2086
  "$tool" $mode -o -d gz x.gz >out.txt 2>err.txt || rc=$?
  [ $rc -eq 9 ] || fail "gzip with '$mode' exited $rc: $(cat err.txt)"
  grep -q 'error 25242' err.txt || fail "gzip with '$mode' gave no engine message"
done

# An archive cut after its first entry does not test clean.
printf 'second\n' > g.txt
zip -q two.zip f.txt g.txt
head -c 60 two.zip > cut.zip
rc=0
"$tool" -t cut.zip >out.txt 2>&1 || rc=$?
[ $rc -ne 0 ] || fail "-t of a cut archive exited 0"
if grep -q 'no errors detected' out.txt; then fail "-t of a cut archive said no errors"; fi

# ESC and BEL in a stored name are shown escaped, never sent raw.
python3 - <<'EOF'
import zipfile
with zipfile.ZipFile("ctl.zip", "w") as z:
    z.writestr("bell\x07and\x1b[2Jesc.txt", "x")
EOF
"$tool" -l ctl.zip >out.txt 2>&1 || true
if LC_ALL=C grep -q "$(printf '\033')" out.txt; then fail "-l printed a raw ESC"; fi
if LC_ALL=C grep -q "$(printf '\007')" out.txt; then fail "-l printed a raw BEL"; fi
grep -q 'bell\\x07and\\x1B\[2Jesc.txt' out.txt || fail "-l did not show the escaped name: $(cat out.txt)"
echo "arxunzip: relative folders, other archive types, a cut archive and control characters"
