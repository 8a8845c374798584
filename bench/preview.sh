#!/bin/sh
# The preview's speed on large inputs: builds preview_bench (Release, in
# build-bench/ as bench/run.sh does) and runs it on 10 MB and 100 MB of
# Shift-JIS Japanese text made from the SKK dictionary of the corpus.
# Usage: bench/preview.sh [RUNS]   (5 by default)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bench/corpus.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEL_TESTS=OFF -DMORVEL_BENCH=ON >/dev/null
cmake --build build-bench --target preview_bench -- -j2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvel-preview-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
# iconv -c leaves out the few lines CP932 cannot hold and then exits with 1.
iconv -c -f EUC-JP -t CP932 bench/corpus/skk.euc >"$tmp/100mb.txt" 2>/dev/null || true
head -c 10000000 "$tmp/100mb.txt" >"$tmp/10mb.txt"
for size in 10mb 100mb; do
    build-bench/bench/preview_bench "$tmp/$size.txt" "${1:-5}"
done
