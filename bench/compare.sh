#!/bin/bash
# Whole-program comparison of the morvel binary against cat, glibc iconv, nkf
# and encrs (bench/peers/encoding_rs: a converter of ours over encoding_rs,
# Firefox's codec library) on the ~100 MB EDICT corpus, file to file.
#
# For every conversion morvel and another tool can do, the tools run in turn,
# run by run (RUNS rounds, default 5), reading and writing files on tmpfs so
# that no disk writeback lands in a run; the table shows each tool's best
# (least) wall-clock seconds of the rounds, morvel's best as a fraction of each
# other tool's, and morvel's largest peak resident memory (/usr/bin/time %M).
# A last test times whole short runs on a 1 KB file against iconv's.
#
# Targets, best of RUNS: morvel/cat <= 1.3 for Shift-JIS to and from EUC-JP
# and JIS; morvel/encrs <= 0.5 wherever encrs converts; peak memory within the
# limit shown; the 1 KB run no slower than iconv's.
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
command -v hyperfine >/dev/null || need="$need hyperfine"   # the 1 KB test
[ -x /usr/bin/time ] || need="$need time"
# Debian's Rust and encoding_rs crate for the peer; the crate's
# fast-kanji-encode feature needs no package of its own.
for p in cargo rustc librust-encoding-rs-dev; do
    dpkg -s "$p" >/dev/null 2>&1 || need="$need $p"
done
if [ -n "$need" ]; then
    echo "compare: installing$need" >&2
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >/dev/null
fi

# The encoding_rs peer, built offline from Debian's crates
# (bench/peers/encoding_rs/.cargo/config.toml, read from that directory) into
# its target/, where later runs find it up to date. Debian's cargo and rustc
# even where another Rust comes first on PATH, so that the peer is the same
# build on every machine.
peer=$root/bench/peers/encoding_rs
(cd "$peer" && RUSTC=/usr/bin/rustc /usr/bin/cargo build --release --offline --quiet -j 2) ||
    { echo "compare: cannot build $peer" >&2; exit 1; }
encrs=$peer/target/release/encrs

# Inputs and outputs live on tmpfs: the first of $TMPDIR, /dev/shm and /tmp
# that is one, with room for about twelve times the corpus.
base=""
for d in ${TMPDIR:+"$TMPDIR"} /dev/shm /tmp; do
    if [ -d "$d" ] && [ -w "$d" ] && [ "$(stat -f -c %T "$d")" = tmpfs ]; then base=$d; break; fi
done
if [ -z "$base" ]; then
    echo "compare: no tmpfs among \$TMPDIR, /dev/shm and /tmp for the files" >&2
    exit 1
fi
if [ "$(df -Pk "$base" | awk 'NR == 2 {print $4}')" -lt $((12 * $(stat -c %s "$corpus") / 1024)) ]; then
    echo "compare: too little room on $base (tmpfs) for the files" >&2
    exit 1
fi
tmp=$(mktemp -d "$base/morvel-compare.XXXXXX")
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

load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "compare: corpus $corpus ($(size "$corpus") bytes EUC-JP), best of $runs rounds"
echo "compare: $(nkf --version | head -1)"
echo "compare: encrs over encoding_rs $(dpkg-query -W -f='${Version}' librust-encoding-rs-dev), $(/usr/bin/rustc --version)"
echo "compare: morvel $morvel"
echo "compare: files on $tmp ($(stat -f -c %T "$tmp")); load average $(load) on $(nproc) CPUs"
echo

# ---- Timing -------------------------------------------------------------------

# run_one TOOLTAG OUTFILE CMD...: runs CMD (stdout to OUTFILE unless the tool
# writes it itself), appends "microseconds KiB" to $tmp/t.TOOLTAG. encrs's
# complaints go to $tmp/err.encrs.
run_one() {
    local tag=$1 out=$2
    shift 2
    rm -f "$out"
    local t0 t1
    t0=$(date +%s%N)
    case $tag in
    morvel)
        /usr/bin/time -f %M -o "$tmp/mem" "$@" </dev/null || { echo "FAILED" >"$tmp/failed.$tag"; } ;;
    encrs)
        /usr/bin/time -f %M -o "$tmp/mem" "$@" </dev/null 2>"$tmp/err.encrs" || { echo "FAILED" >"$tmp/failed.$tag"; } ;;
    *)
        /usr/bin/time -f %M -o "$tmp/mem" "$@" </dev/null >"$out" || { echo "FAILED" >"$tmp/failed.$tag"; } ;;
    esac
    t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000 )) $(tail -1 "$tmp/mem")" >>"$tmp/t.$tag"
}

least() { sort -n -k1,1 "$1" | awk 'NR == 1 {print $1}'; }      # best time
most_mem() { sort -n -k2,2 "$1" | awk 'END {print $2}'; }       # largest peak
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
at_most() { awk -v r="$1" -v t="$2" 'BEGIN {exit !(r <= t)}'; }

misses=()
printf '%-22s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s  %s\n' \
    pair morvel iconv nkf encrs cat m/iconv m/nkf m/encrs m/cat peakMiB limitMiB \
    "targets (best of $runs: m/encrs<=0.5, m/cat<=1.3 Shift-JIS<->EUC-JP/JIS, mem)"

# compare NAME INPUT "MORVEL SWITCHES" "ICONV_FROM ICONV_TO|-" "NKF FLAGS|-"
#         "ENCRS_FROM ENCRS_TO|-" CAT_TARGET(yes/no)
compare() {
    local name=$1 input=$2 msw=$3 iconvp=$4 nkff=$5 encrsp=$6 cattarget=$7
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
    [ "$encrsp" != - ] && tools+=(encrs)
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
            encrs)
                # shellcheck disable=SC2086
                run_one encrs "$tmp/out.encrs" "$encrs" $encrsp "$in" "$tmp/out.encrs" ;;
            esac
        done
    done
    local m c i="-" n="-" e="-" ri="-" rn="-" re="-" rc mem limit marks="" same=""
    m=$(least "$tmp/t.morvel")
    c=$(least "$tmp/t.cat")
    mem=$(most_mem "$tmp/t.morvel")
    local insize
    insize=$(size "$in")
    limit=$(( (3 * insize + 16 * 1048576) / 1024 ))  # KiB
    [ -e "$tmp/failed.morvel" ] && marks+=" morvel-FAILED"
    if [ "$iconvp" != - ]; then
        i=$(least "$tmp/t.iconv")
        ri=$(ratio "$m" "$i")
        cmp -s "$tmp/out.morvel" "$tmp/out.iconv" && same+=" =iconv"
        [ -e "$tmp/failed.iconv" ] && marks+=" (iconv failed)"
    fi
    if [ "$nkff" != - ]; then
        n=$(least "$tmp/t.nkf")
        rn=$(ratio "$m" "$n")
        cmp -s "$tmp/out.morvel" "$tmp/out.nkf" && same+=" =nkf"
    fi
    if [ "$encrsp" != - ]; then
        e=$(least "$tmp/t.encrs")
        re=$(ratio "$m" "$e")
        if at_most "$re" 0.5; then marks+=" encrs:ok"; else marks+=" encrs:MISS"; misses+=("$name: morvel/encrs $re > 0.5"); fi
        cmp -s "$tmp/out.morvel" "$tmp/out.encrs" && same+=" =encrs"
        # encrs exits 1 after replacing what it cannot convert (encoding_rs
        # maps U+301C WAVE DASH to no Shift_JIS or EUC-JP code).
        [ -e "$tmp/failed.encrs" ] && marks+=" ($(tail -1 "$tmp/err.encrs"))"
    fi
    rc=$(ratio "$m" "$c")
    if [ "$cattarget" = yes ]; then
        if at_most "$rc" 1.3; then marks+=" cat:ok"; else marks+=" cat:MISS"; misses+=("$name: morvel/cat $rc > 1.3"); fi
    fi
    if [ "$mem" -le "$limit" ]; then marks+=" mem:ok"; else marks+=" mem:MISS"; misses+=("$name: peak $((mem / 1024)) MiB > $((limit / 1024)) MiB"); fi
    sec() { [ "$1" = - ] && echo - || awk -v u="$1" 'BEGIN {printf "%.3f", u / 1e6}'; }
    printf '%-22s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8d %8d %s%s\n' "$name" \
        "$(sec "$m")" "$(sec "$i")" "$(sec "$n")" "$(sec "$e")" "$(sec "$c")" "$ri" "$rn" "$re" "$rc" \
        $((mem / 1024)) $((limit / 1024)) "$marks" "${same:+  (output$same)}${sjname:+  [iconv $sjname]}"
    rm -f "$tmp"/out.*
}

# encrs's Shift_JIS is Windows' form of it (CP932).
compare "EUC-JP -> Shift-JIS" euc "/ES" "EUC-JP SJ" "-E -s -x" "EUC-JP Shift_JIS" yes
compare "Shift-JIS -> EUC-JP" sjis "/SE" "SJ EUC-JP" "-S -e -x" "Shift_JIS EUC-JP" yes
compare "Shift-JIS -> JIS" sjis "/SJ" "SJ ISO-2022-JP" "-S -j -x" "Shift_JIS ISO-2022-JP" yes
compare "JIS -> Shift-JIS" jis "/JS" "ISO-2022-JP SJ" "-J -s -x" "ISO-2022-JP Shift_JIS" yes
compare "Shift-JIS -> UTF-8" sjis "/ST" "SJ UTF-8" "-S -w -x" "Shift_JIS UTF-8" no
compare "UTF-8 -> Shift-JIS" utf8 "/TS" "UTF-8 SJ" "-W -s -x" "UTF-8 Shift_JIS" no
compare "EUC-JP -> UTF-8" euc "/ET" "EUC-JP UTF-8" "-E -w -x" "EUC-JP UTF-8" no
compare "Shift-JIS -> UTF-16" sjis "/SU" "SJ UTF-16" "-S -w16L -x" "Shift_JIS UTF-16LE" no
compare "UTF-16 -> Shift-JIS" utf16 "/US" "UTF-16 SJ" "-W16L -s -x" "UTF-16LE Shift_JIS" no
# Width folding, Shift-JIS to Shift-JIS, which encoding_rs does not do. nkf
# folds half-width katakana to full width by default (/K); -Z4 folds katakana
# to half width, but also letters and digits (/k); -Z1 folds letters, digits
# and the ideographic space to ASCII (/n). Nothing else folds ASCII to full
# width (/N).
compare "/K half->full kana" sjis-halfkana "/SS /K" - "-S -s" - no
compare "/k full->half kana" sjis "/SS /k" - "-S -s -Z4 -x" - no
compare "/N ASCII->full" sjis "/SS /N" - - - no
compare "/n full->ASCII" sjis-fullalnum "/SS /n" - "-S -s -Z1 -x" - no

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
rs=$(ratio "$sm" "$si")
if at_most "$rs" 1.0; then mark=ok; else mark=MISS; misses+=("1 KB run: morvel/iconv $rs > 1.0"); fi
printf '1 KB run (%s): morvel %s us, iconv %s us, morvel/iconv %s (target <= 1.0) %s\n' \
    "$how" "$sm" "$si" "$rs" "$mark"

echo
echo "compare: load average $(load) at the end"
if [ ${#misses[@]} -eq 0 ]; then
    echo "All targets met."
else
    echo "${#misses[@]} target(s) missed:"
    for m in "${misses[@]}"; do echo "  MISS $m"; done
fi
