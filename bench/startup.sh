#!/bin/bash
# Start-up of the two programs, on this machine:
#   1. a 1 KB file run (Shift-JIS to EUC-JP) against iconv, with hyperfine,
#      once without a desktop session and once with DISPLAY named (a file
#      run must not look for the dialog, let alone load Qt);
#   2. the dialog on screen: from starting morvel with no file names until
#      its window is mapped, under Xvfb with openbox (RUNS starts, median).
# Usage: bench/startup.sh [BUILD_DIR]   (default build-host, else build)
#   RUNS=n  dialog starts (default 20)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-host}
[ -x "$build/morvel" ] || build=$root/build
morvel=$build/morvel
runs=${RUNS:-20}
command -v hyperfine >/dev/null || { echo "startup: hyperfine is needed (apt-get install hyperfine)" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvel-startup.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME=$tmp/config HOME=$tmp LC_ALL=C
# 32 lines of 32 bytes: 日本語のテキスト, ASCII and a line end, in Shift-JIS.
for _ in $(seq 32); do printf '\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67 abc 012345678\r\n'; done >"$tmp/small"
cmp -s <("$morvel" /SE "$tmp/small" /dev/stdout) <(iconv -f CP932 -t EUC-JP "$tmp/small") ||
    { echo "startup: morvel and iconv disagree on the text" >&2; exit 1; }

# On the disk and, where there is one, on a tmpfs: morvel makes its output
# (and the recent-file list) durable before it replaces the old file, which
# costs a flush to the disk that iconv does not make.
places=("$tmp")
if [ -d /dev/shm ] && shm=$(mktemp -d /dev/shm/morvel-startup.XXXXXX 2>/dev/null); then
    places+=("$shm")
    trap 'rm -rf "$tmp" "$shm"' EXIT
fi
echo "1 KB file run (Shift-JIS -> EUC-JP, $(stat -c %s "$tmp/small") bytes), hyperfine medians (a loaded machine: see the fastest):"
for place in "${places[@]}"; do
    cp "$tmp/small" "$place/in" 2>/dev/null || true
    for display in "" ":99"; do
        XDG_CONFIG_HOME=$place/config DISPLAY=$display hyperfine -N --warmup 20 --runs 300 --export-json "$tmp/h.json" \
            "$morvel /SE $place/in $place/out.morvel" \
            "iconv -f CP932 -t EUC-JP -o $place/out.iconv $place/in" >/dev/null 2>&1
        python3 - "$tmp/h.json" "$(df --output=fstype "$place" | tail -1)" "${display:-unset}" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
m, i = r[0]["median"] * 1e6, r[1]["median"] * 1e6
mm, im = r[0]["min"] * 1e6, r[1]["min"] * 1e6
print(f"  on {sys.argv[2]:6} DISPLAY {sys.argv[3]:5}: morvel {m:6.0f} us, iconv {i:6.0f} us,"
      f" morvel/iconv {m / i:.2f} (target <= 1.5); fastest runs {mm:.0f} / {im:.0f} us = {mm / im:.2f}")
PY
    done
done

if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null || [ ! -x "$build/morvel-dialog" ]; then
    echo "dialog start: skipped (needs xvfb-run, xdotool and morvel-dialog)"
    exit 0
fi
cat >"$tmp/inner.sh" <<'INNER'
set -eu
morvel=$1 runs=$2 tmp=$3
openbox >/dev/null 2>&1 &
sleep 1
for ((i = 0; i < runs; i++)); do
    t0=$(date +%s%N)
    "$morvel" </dev/null >/dev/null 2>&1 &
    pid=$!
    # Polled (xdotool's own --sync waits half a second between looks).
    until wid=$(xdotool search --onlyvisible --name '^Morvel Ver' 2>/dev/null | head -1) && [ -n "$wid" ]; do :; done
    t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000000 )) >>"$tmp/dialog.ms"
    xdotool windowactivate --sync "$wid" key Escape 2>/dev/null || kill "$pid"
    wait "$pid" || true
done
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$tmp/inner.sh" "$morvel" "$runs" "$tmp"
sort -n "$tmp/dialog.ms" | awk -v n="$runs" '{v[NR] = $1} END {
    printf "dialog on screen (start to mapped window, %d starts): median %d ms, max %d ms (target <= 300)\n",
        n, v[int((NR + 1) / 2)], v[NR]}'
