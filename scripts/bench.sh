#!/bin/sh
# The zip engine's speed goals measured side by side in one run:
#   scripts/bench.sh
# Installs the benchmark's Debian packages (when run as root), builds a release build, builds the
# corpus from files of this machine (bench/make_corpus.sh, never committed), then measures:
#   1. inflate + CRC-32 (engine streaming 32 KiB pieces, zlib streaming 32 KiB pieces + crc32,
#      libdeflate one shot + its crc32) and the CRC-32 variants: Google Benchmark, CPU time;
#   2. whole-process extraction into a RAM folder of the corpus archive (many files) and of the
#      large archive (few large files): arxunzip, unzip, bsdtar, 7-Zip (hyperfine; wall and
#      user+system time);
#   3. peak memory (maximum resident set, /usr/bin/time -v) for a small and a large archive;
#   4. instructions per output byte under callgrind for one text entry (arxunzip -t vs unzip -t):
#      repeatable on a busy machine, unlike the timings.
# Environment: BUILD (build folder), CORPUS (corpus folder), BIG_COPIES (copies of the two big
# corpus files in the large archive), RUNS and WARMUP (hyperfine runs and warm-up runs).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-/tmp/orb-bench-build}
corpus=${CORPUS:-/tmp/orb-bench-corpus}
big_copies=${BIG_COPIES:-40}
runs=${RUNS:-3}
warmup=${WARMUP:-1}
ram=/dev/shm
[ -d "$ram" ] && [ -w "$ram" ] || ram=${TMPDIR:-/tmp}
out="$ram/orb-bench-out"
results="$build/bench-results"

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -q cmake g++ libbenchmark-dev libdeflate-dev zlib1g-dev zip unzip \
    libarchive-tools 7zip hyperfine valgrind time python3 >/dev/null
fi
sevenzip=$(command -v 7zz || command -v 7z || true)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target inflate_bench arxunzip >/dev/null
arxunzip=$(find "$build" -name arxunzip -type f -perm -u+x | head -n1)
# arxunzip resolves paths through a Wine-style prefix (drive Z: is /): a scratch one of its own.
sh "$root/scripts/make-test-prefix.sh" "$build/bench-prefix"
export WINEPREFIX="$build/bench-prefix"
bench=$(find "$build" -name inflate_bench -type f -perm -u+x | head -n1)

if [ ! -f "$corpus/corpus.zip" ]; then
  sh "$root/bench/make_corpus.sh" "$corpus" >/dev/null
fi
# The large archive: the corpus's two big files linked many times into one folder (hard links,
# no extra disk), zip -1 to keep the making quick; only its extraction's peak memory is measured.
if [ ! -f "$corpus/big.zip" ]; then
  rm -rf "$corpus/bigtree"
  mkdir -p "$corpus/bigtree"
  i=0
  while [ "$i" -lt "$big_copies" ]; do
    ln "$corpus/elf.bin" "$corpus/bigtree/elf$i.bin"
    ln "$corpus/text.bin" "$corpus/bigtree/text$i.bin"
    i=$((i + 1))
  done
  (cd "$corpus/bigtree" && zip -1 -q -r ../big.zip .)
  rm -rf "$corpus/bigtree"
fi
mkdir -p "$results"

echo "== 1. inflate + CRC-32 and CRC-32 alone (Google Benchmark, CPU time, median of 5)" >&2
ORB_BENCH_CORPUS="$corpus" "$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/inflate.json" --benchmark_out_format=json >&2

echo "== 2. whole-process extraction into $ram (hyperfine, $runs runs)" >&2
for z in corpus big; do
  set -- -n arxunzip "$arxunzip -o -d $out/x $corpus/$z.zip >/dev/null 2>&1" \
         -n unzip "unzip -q -o $corpus/$z.zip -d $out/x" \
         -n bsdtar "bsdtar -xf $corpus/$z.zip -C $out/x"
  [ -n "$sevenzip" ] && set -- "$@" -n 7-Zip "$sevenzip x -y -o$out/x $corpus/$z.zip >/dev/null 2>&1"
  hyperfine --warmup "$warmup" --runs "$runs" --prepare "rm -rf $out/x && mkdir -p $out/x" \
    --export-json "$results/extract-$z.json" "$@" >&2
done

echo "== 3. peak memory (maximum resident set)" >&2
peak() {  # archive -> kB
  rm -rf "$out/m" && mkdir -p "$out/m"
  /usr/bin/time -v -o "$results/time.txt" "$arxunzip" -o -d "$out/m" "$1" >/dev/null 2>&1
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$results/time.txt"
}
echo "small $(stat -c %s "$corpus/text.zip") $(peak "$corpus/text.zip")" > "$results/memory.txt"
echo "large $(stat -c %s "$corpus/big.zip") $(peak "$corpus/big.zip")" >> "$results/memory.txt"
rm -rf "$out/m"

echo "== 4. instructions per output byte (callgrind, text entry, test mode)" >&2
irs() {  # command... -> total instructions
  valgrind --tool=callgrind --callgrind-out-file="$results/cg.out" "$@" >/dev/null 2>&1
  sed -n 's/^summary: //p' "$results/cg.out" | awk '{print $1}'
}
echo "arxunzip $(irs "$arxunzip" -t "$corpus/text.zip")" > "$results/callgrind.txt"
echo "unzip $(irs unzip -tq "$corpus/text.zip")" >> "$results/callgrind.txt"
rm -rf "$out"

python3 - "$results" "$corpus" <<'EOF'
import json, os, sys
res, corpus = sys.argv[1], sys.argv[2]
bench = json.load(open(os.path.join(res, "inflate.json")))
rate = {}
for b in bench["benchmarks"]:
    if b.get("aggregate_name") == "median":
        rate[b["run_name"]] = b["bytes_per_second"] / 1e9
print("\n### Inflate + CRC-32 (GB/s of output, CPU time, median of 5)\n")
print("| data | engine | zlib | libdeflate | engine/zlib | libdeflate/zlib | engine/libdeflate |")
print("|---|---|---|---|---|---|---|")
for s in ("text.bin", "elf.bin"):
    e, z, l = (rate.get(f"inflate+crc/{k}/{s}") for k in ("engine", "zlib", "libdeflate"))
    if e and z and l:
        print(f"| {s} | {e:.3f} | {z:.3f} | {l:.3f} | {e/z:.2f}x | {l/z:.2f}x | {e/l:.2f} |")
print("\n### CRC-32 (GB/s, text.bin)\n")
print("| variant | GB/s | / libdeflate |")
print("|---|---|---|")
ld = rate.get("crc32/libdeflate/text.bin")
for k in ("bytewise", "slicing8", "slicing16", "clmul", "zlib", "libdeflate"):
    v = rate.get(f"crc32/{k}/text.bin")
    if v: print(f"| {k} | {v:.2f} | {v/ld:.2f} |")
for z, what in (("corpus", "zip -9, %d files" % sum(len(f) for _, _, f in os.walk(os.path.join(corpus, "tree")))),
                ("big", "zip -1, few large files")):
    t = {r["command"]: r for r in json.load(open(os.path.join(res, f"extract-{z}.json")))["results"]}
    print("\n### Extracting %s.zip (%.1f MB, %s) into a RAM folder\n" % (
        z, os.path.getsize(os.path.join(corpus, z + ".zip")) / 1e6, what))
    print("| tool | wall mean (s) | wall min (s) | user+sys (s) | wall / unzip |")
    print("|---|---|---|---|---|")
    base = t["unzip"]["mean"]
    for name, r in t.items():
        print(f"| {name} | {r['mean']:.3f} ± {r['stddev'] or 0:.3f} | {r['min']:.3f} | {r['user'] + r['system']:.3f} | {r['mean']/base:.2f} |")
print("\n### Peak memory of arxunzip (maximum resident set)\n")
print("| archive | size (MB) | peak (KiB) |")
print("|---|---|---|")
for line in open(os.path.join(res, "memory.txt")):
    n, size, kb = line.split()
    print(f"| {n} | {int(size)/1e6:.1f} | {kb} |")
print("\n### Instructions per output byte (callgrind, test of text.bin, whole process)\n")
raw = os.path.getsize(os.path.join(corpus, "text.bin"))
print("| tool | instructions | per byte |")
print("|---|---|---|")
for line in open(os.path.join(res, "callgrind.txt")):
    n, ir = line.split()
    print(f"| {n} | {int(ir):,} | {int(ir)/raw:.2f} |")
EOF
