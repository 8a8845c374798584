#!/bin/sh
# Builds the corpus and the Release build of the benchmark, then runs it.
# Usage: bench/run.sh [engine_bench options, e.g. --quick or --filter SjisToJis]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bench/corpus.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEL_TESTS=OFF -DMORVEL_BENCH=ON >/dev/null
cmake --build build-bench --target engine_bench -- -j2
exec build-bench/bench/engine_bench "$@"
