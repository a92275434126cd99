#!/bin/sh
# make_infozip_refs.sh OUTDIR: archives made by Info-ZIP zip, and Info-ZIP unzip's extraction
# of each, for the reader test (arxInterop_test.cpp) on both builds. Runs natively; the
# Windows build under Wine reads OUTDIR through drive Z:.
#
#   OUTDIR/<name>.zip   the archive
#   OUTDIR/<name>/      what Info-ZIP unzip wrote for it
#
# zip and unzip run under the zh_CN.GBK locale, as on a Chinese machine whose file names are
# GBK: the name bytes in the archives are GBK, and so are those unzip writes. Afterwards the
# reference trees' names are re-encoded as UTF-8, the encoding in which both our POSIX layer
# and Wine (LC_ALL=zh_CN.UTF-8) keep GBK names on disk: the GBK name seen through the
# platform layer is unchanged.
#
# A missing tool or locale fails (the check would be lost silently otherwise), unless
# ORB_INFOZIP_OPTIONAL=1, which removes OUTDIR and lets the reader skip.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
out=$1

missing=
for t in zip unzip iconv; do
  command -v "$t" >/dev/null 2>&1 || missing="$missing $t"
done
locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$' || missing="$missing locale:zh_CN.GBK"
if [ -n "$missing" ]; then
  if [ "${ORB_INFOZIP_OPTIONAL:-0}" = 1 ]; then
    echo "make_infozip_refs: missing$missing; ORB_INFOZIP_OPTIONAL=1, no references made"
    rm -rf "$out"
    exit 0
  fi
  echo "make_infozip_refs: FAILED: missing$missing (scripts/setup-debian.sh installs them;" \
       "set ORB_INFOZIP_OPTIONAL=1 to run without this check)" >&2
  exit 1
fi

export LC_ALL=C   # awk writes the binary file's bytes as they are
export TZ=UTC     # zip stores local times; the reader restores them in UTC too
mkdir -p "$(dirname "$out")"
work=$(mktemp -d "$out.tmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Octal GBK bytes, so that this file stays ASCII.
biao_ge=$(printf '\261\355\270\361')        # 表格
bao_biao=$(printf '\261\250\261\355')       # 报表
cheng_fa=$(printf '\201\134\267\250')       # 乗法: the trail byte of 乗 is 0x5C, '\'

# The tree: text with CRLF, incompressible and compressible data, an empty file, a read-only
# file, GBK names for a file and a folder, a name whose GBK bytes hold a backslash, nested
# folders and an empty one. Every date is set, on an even second (the DOS date's step).
mkdir -p src/sub/deeper src/empty "src/$bao_biao"
printf 'hello\r\nworld\r\n' > src/readme.txt
awk 'BEGIN { x = 1; for (i = 0; i < 200000; i++) { x = (x * 69069 + 1) % 4294967296
                                                 printf "%c", int(x / 16777216) } }' \
  > src/sub/data.bin
awk 'BEGIN { for (i = 0; i < 3000; i++) print "line " i " of a compressible text file" }' \
  > src/sub/deeper/text.txt
printf '\271\244\327\367\261\355' > "src/sub/$biao_ge.dbf"
printf 'multiply\r\n' > "src/$bao_biao/$cheng_fa.txt"
: > src/zero.txt
printf 'do not change\r\n' > src/readonly.txt
touch -t 201907312359.58 src/readme.txt
touch -t 202402291200.00 src/sub/data.bin
touch -t 200001010000.00 src/sub/deeper/text.txt
touch -t 201112131415.16 "src/sub/$biao_ge.dbf"
touch -t 202306300830.44 "src/$bao_biao/$cheng_fa.txt"
touch -t 198001010000.02 src/zero.txt
touch -t 203712312359.58 src/readonly.txt
chmod 444 src/readonly.txt

# name | zip options | password given to unzip
export LC_ALL=zh_CN.GBK
zip -q -r -0 stored.zip src                            # stored, with folder entries
zip -q -r -9 deflated.zip src                          # deflated, with folder entries
zip -q -r -D nodirs.zip src                            # no folder entries at all
zip -q -r -P 'pa55 word' encrypted.zip src             # traditional encryption
echo 'an archive comment' | zip -q -r -z commented.zip src
zip -q -r - src | cat > streamed.zip                   # unseekable output: data descriptors
for a in stored deflated nodirs encrypted commented streamed; do
  unzip -q -o -P 'pa55 word' "$a.zip" -d "$a"
done
rm -rf src

# GBK names to UTF-8, deepest first so that a renamed folder's children are renamed before it.
export LC_ALL=C
find . -depth -name '*[! -~]*' | while IFS= read -r p; do
  dir=${p%/*}
  base=${p##*/}
  utf8=$(printf '%s' "$base" | iconv -f GBK -t UTF-8)
  mv "$p" "$dir/$utf8"
done

cat > README <<'EOF'
Made by tests/archive/make_infozip_refs.sh: each NAME.zip was made by Info-ZIP zip, and NAME/
is what Info-ZIP unzip extracted from it (names re-encoded from GBK to UTF-8).
EOF

cd /
rm -rf "$out"
mv "$work" "$out"
trap - EXIT
echo "make_infozip_refs: references in $out"
