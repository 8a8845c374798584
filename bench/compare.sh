#!/bin/bash
# Whole-program comparison of the morvel binary against cat, glibc iconv and
# nkf on the ~100 MB EDICT corpus, file to file.
#
# For every conversion both tools can do, the tools run in turn, run by run
# (RUNS rounds, default 5), each writing to a file in a temporary directory;
# the table shows the median wall-clock seconds, morvel's time as a
# fraction of each other tool's, and morvel's peak resident memory
# (/usr/bin/time %M). A last test times whole short runs on a 1 KB file
# against iconv's.
#
# Usage: bench/compare.sh [corpus.euc]
#   MORVEL=path   the binary (default build-bench/morvel)
#   RUNS=n        rounds per conversion (default 5)
#   SMALL_RUNS=n  runs of the 1 KB test (default 200)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
morvel=${MORVEL:-$root/build-bench/morvel}
runs=${RUNS:-5}
small_runs=${SMALL_RUNS:-200}
corpus=${1:-$root/bench/corpus/edict.euc}
export LC_ALL=C

if [ ! -s "$corpus" ]; then
    "$root/bench/corpus.sh"
fi
if [ ! -x "$morvel" ]; then
    echo "compare: no morvel binary at $morvel (cmake --build build-bench --target morvel)" >&2
    exit 1
fi
need=""
command -v nkf >/dev/null || need="$need nkf"
[ -x /usr/bin/time ] || need="$need time"
if [ -n "$need" ]; then
    echo "compare: installing$need" >&2
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >/dev/null
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvel-compare.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config" "$tmp/in"
# The recent-file list morvel keeps goes to the temporary directory, and no
# run may try to reach a desktop.
export XDG_CONFIG_HOME=$tmp/config
unset DISPLAY WAYLAND_DISPLAY

# ---- Inputs -------------------------------------------------------------------

# The inputs, each made by iconv straight from the EUC-JP corpus.
cp "$corpus" "$tmp/in/euc"
if ! iconv -f EUC-JP -t CP932 "$corpus" >"$tmp/in/sjis" 2>/dev/null; then
    iconv -f EUC-JP -t SHIFT_JIS "$corpus" >"$tmp/in/sjis"
fi
iconv -f EUC-JP -t ISO-2022-JP "$corpus" >"$tmp/in/jis"
iconv -f EUC-JP -t UTF-8 "$corpus" >"$tmp/in/utf8"
iconv -f EUC-JP -t UTF-16 "$corpus" >"$tmp/in/utf16"   # FF FE, little-endian
# Inputs with much to fold for /K and /n: the corpus after the opposite folding.
nkf -S -s -Z4 -x "$tmp/in/sjis" >"$tmp/in/sjis-halfkana"
"$morvel" /SS /N "$tmp/in/sjis" "$tmp/in/sjis-fullalnum" </dev/null

size() { stat -c %s "$1"; }
head -c 4 "$tmp/in/utf16" | od -An -tx1 | grep -q '^ ff fe' ||
    { echo "compare: iconv's UTF-16 lacks the mark FF FE" >&2; exit 1; }

echo "compare: corpus $corpus ($(size "$corpus") bytes EUC-JP), $runs rounds"
echo "compare: $(nkf --version | head -1)"
echo "compare: morvel $morvel"
echo

# ---- Timing -------------------------------------------------------------------

# run_one TOOLTAG OUTFILE CMD...: runs CMD (stdout to OUTFILE unless the tool
# writes it itself), appends "seconds kib" to $tmp/t.TOOLTAG.
run_one() {
    local tag=$1 out=$2
    shift 2
    rm -f "$out"
    local t0 t1
    t0=$(date +%s%N)
    if [ "$tag" = morvel ]; then
        /usr/bin/time -f %M -o "$tmp/mem" "$@" </dev/null || { echo "FAILED" >"$tmp/failed.$tag"; }
    else
        /usr/bin/time -f %M -o "$tmp/mem" "$@" </dev/null >"$out" || { echo "FAILED" >"$tmp/failed.$tag"; }
    fi
    t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000 )) $(tail -1 "$tmp/mem")" >>"$tmp/t.$tag"
}

median_col() {  # file column -> median
    sort -n -k"$2","$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {print v[int((NR+1)/2)]}'
}

misses=()
printf '%-22s %9s %9s %9s %9s %9s %9s %9s %9s %9s  %s\n' \
    pair morvel iconv nkf cat m/iconv m/nkf m/cat peakMiB limitMiB "targets (m/iconv<=0.33 m/nkf<=0.10 m/cat<=2.5 mem)"

# compare NAME INPUT "MORVEL SWITCHES" "ICONV_FROM ICONV_TO|-" "NKF FLAGS|-" CAT_TARGET(yes/no)
compare() {
    local name=$1 input=$2 msw=$3 iconvp=$4 nkff=$5 catlimit=$6
    local in=$tmp/in/$input
    rm -f "$tmp"/t.* "$tmp"/failed.*
    # iconv's Shift-JIS (SJ): CP932 where it converts the whole input,
    # otherwise SHIFT_JIS (CP932 lacks the JIS forms of a few characters
    # that EUC-JP and ISO-2022-JP need, such as U+FF5E against U+301C).
    local sjname=""
    if [[ $iconvp == *SJ* ]]; then
        local cand
        for cand in CP932 SHIFT_JIS; do
            # shellcheck disable=SC2086
            set -- ${iconvp//SJ/$cand}
            if iconv -f "$1" -t "$2" "$in" >/dev/null 2>&1; then sjname=$cand; break; fi
        done
        [ -n "$sjname" ] || sjname=CP932
        iconvp=${iconvp//SJ/$sjname}
    fi
    local tools=(morvel cat)
    [ "$iconvp" != - ] && tools+=(iconv)
    [ "$nkff" != - ] && tools+=(nkf)
    local r tool
    for ((r = 0; r < runs; r++)); do
        for tool in "${tools[@]}"; do
            case $tool in
            morvel)
                # shellcheck disable=SC2086
                run_one morvel "$tmp/out.morvel" "$morvel" $msw "$in" "$tmp/out.morvel" ;;
            cat) run_one cat "$tmp/out.cat" cat "$in" ;;
            iconv)
                # shellcheck disable=SC2086
                set -- $iconvp
                run_one iconv "$tmp/out.iconv" iconv -f "$1" -t "$2" "$in" ;;
            nkf)
                # shellcheck disable=SC2086
                run_one nkf "$tmp/out.nkf" nkf $nkff "$in" ;;
            esac
        done
    done
    local m c i="-" n="-" ri="-" rn="-" rc mem limit marks="" same=""
    m=$(median_col "$tmp/t.morvel" 1)
    c=$(median_col "$tmp/t.cat" 1)
    mem=$(median_col "$tmp/t.morvel" 2)
    local insize
    insize=$(size "$in")
    limit=$(( (3 * insize + 16 * 1048576) / 1024 ))  # KiB
    [ -e "$tmp/failed.morvel" ] && marks+=" morvel-FAILED"
    if [ "$iconvp" != - ]; then
        i=$(median_col "$tmp/t.iconv" 1)
        ri=$(awk -v a="$m" -v b="$i" 'BEGIN {printf "%.3f", a / b}')
        if awk -v r="$ri" 'BEGIN {exit !(r <= 1/3)}'; then marks+=" iconv:ok"; else marks+=" iconv:MISS"; misses+=("$name: morvel/iconv $ri > 0.333"); fi
        cmp -s "$tmp/out.morvel" "$tmp/out.iconv" && same+=" =iconv"
        [ -e "$tmp/failed.iconv" ] && marks+=" (iconv failed)"
    fi
    if [ "$nkff" != - ]; then
        n=$(median_col "$tmp/t.nkf" 1)
        rn=$(awk -v a="$m" -v b="$n" 'BEGIN {printf "%.3f", a / b}')
        if awk -v r="$rn" 'BEGIN {exit !(r <= 0.1)}'; then marks+=" nkf:ok"; else marks+=" nkf:MISS"; misses+=("$name: morvel/nkf $rn > 0.100"); fi
        cmp -s "$tmp/out.morvel" "$tmp/out.nkf" && same+=" =nkf"
    fi
    rc=$(awk -v a="$m" -v b="$c" 'BEGIN {printf "%.2f", a / b}')
    if [ "$catlimit" = yes ]; then
        if awk -v r="$rc" 'BEGIN {exit !(r <= 2.5)}'; then marks+=" cat:ok"; else marks+=" cat:MISS"; misses+=("$name: morvel/cat $rc > 2.5"); fi
    fi
    if [ "$mem" -le "$limit" ]; then marks+=" mem:ok"; else marks+=" mem:MISS"; misses+=("$name: peak $((mem / 1024)) MiB > $((limit / 1024)) MiB"); fi
    sec() { [ "$1" = - ] && echo - || awk -v u="$1" 'BEGIN {printf "%.3f", u / 1e6}'; }
    printf '%-22s %9s %9s %9s %9s %9s %9s %9s %9d %9d %s%s\n' "$name" \
        "$(sec "$m")" "$(sec "$i")" "$(sec "$n")" "$(sec "$c")" "$ri" "$rn" "$rc" \
        $((mem / 1024)) $((limit / 1024)) "$marks" "${same:+  (output$same)}${sjname:+  [iconv $sjname]}"
}

compare "EUC-JP -> Shift-JIS" euc "/ES" "EUC-JP SJ" "-E -s -x" yes
compare "Shift-JIS -> EUC-JP" sjis "/SE" "SJ EUC-JP" "-S -e -x" yes
compare "Shift-JIS -> JIS" sjis "/SJ" "SJ ISO-2022-JP" "-S -j -x" yes
compare "JIS -> Shift-JIS" jis "/JS" "ISO-2022-JP SJ" "-J -s -x" yes
compare "Shift-JIS -> UTF-8" sjis "/ST" "SJ UTF-8" "-S -w -x" no
compare "UTF-8 -> Shift-JIS" utf8 "/TS" "UTF-8 SJ" "-W -s -x" no
compare "EUC-JP -> UTF-8" euc "/ET" "EUC-JP UTF-8" "-E -w -x" no
compare "Shift-JIS -> UTF-16" sjis "/SU" "SJ UTF-16" "-S -w16L -x" no
compare "UTF-16 -> Shift-JIS" utf16 "/US" "UTF-16 SJ" "-W16L -s -x" no
# Width folding, Shift-JIS to Shift-JIS. nkf folds half-width katakana to
# full width by default (/K); -Z4 folds katakana to half width, but also
# letters and digits (/k); -Z1 folds letters, digits and the ideographic
# space to ASCII (/n). Nothing else folds ASCII to full width (/N).
compare "/K half->full kana" sjis-halfkana "/SS /K" - "-S -s" no
compare "/k full->half kana" sjis "/SS /k" - "-S -s -Z4 -x" no
compare "/N ASCII->full" sjis "/SS /N" - - no
compare "/n full->ASCII" sjis-fullalnum "/SS /n" - "-S -s -Z1 -x" no

# ---- Start-up on a small file -------------------------------------------------

echo
head -c 1100 "$tmp/in/sjis" | sed '$d' >"$tmp/in/small"
echo "1 KB test: Shift-JIS -> EUC-JP on $(size "$tmp/in/small") bytes, $small_runs runs each"
if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 10 --runs "$small_runs" --export-json "$tmp/small.json" \
        "$morvel /SE $tmp/in/small $tmp/small.morvel" \
        "iconv -f SHIFT_JIS -t EUC-JP -o $tmp/small.iconv $tmp/in/small" >/dev/null 2>&1
    read -r sm si < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"]
print(" ".join("%.0f" % (x["median"] * 1e6) for x in r))' "$tmp/small.json")
    how="hyperfine medians"
else
    t0=$(date +%s%N)
    for ((r = 0; r < small_runs; r++)); do "$morvel" /SE "$tmp/in/small" "$tmp/small.morvel" </dev/null; done
    t1=$(date +%s%N)
    for ((r = 0; r < small_runs; r++)); do iconv -f SHIFT_JIS -t EUC-JP -o "$tmp/small.iconv" "$tmp/in/small"; done
    t2=$(date +%s%N)
    sm=$(( (t1 - t0) / 1000 / small_runs ))
    si=$(( (t2 - t1) / 1000 / small_runs ))
    how="loop means"
fi
rs=$(awk -v a="$sm" -v b="$si" 'BEGIN {printf "%.2f", a / b}')
if awk -v r="$rs" 'BEGIN {exit !(r <= 1.5)}'; then mark=ok; else mark=MISS; misses+=("1 KB run: morvel/iconv $rs > 1.5"); fi
printf '1 KB run (%s): morvel %s us, iconv %s us, morvel/iconv %s (target <= 1.5) %s\n' \
    "$how" "$sm" "$si" "$rs" "$mark"

echo
if [ ${#misses[@]} -eq 0 ]; then
    echo "All targets met."
else
    echo "${#misses[@]} target(s) missed:"
    for m in "${misses[@]}"; do echo "  MISS $m"; done
fi
