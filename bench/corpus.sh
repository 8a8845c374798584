#!/bin/sh
# Builds the real-text benchmark corpus in bench/corpus/ (not versioned):
#   edict.euc  the EDICT Japanese-English dictionary, EUC-JP, repeated to ~100 MB
#   skk.euc    the SKK-JISYO.L kana-kanji dictionary, EUC-JP, repeated to ~100 MB
# Both come from Debian's edict and skkdic packages, installed when missing.
# The Shift-JIS, JIS, UTF-8 and UTF-16 forms are made from these by the
# benchmarks themselves.
#
# Lines holding JIS X 0212 characters (EUC-JP 0x8F, about 90 of EDICT's
# 267,000 lines) are left out: Shift-JIS cannot hold them, and without them
# every tool compared in compare.sh converts the whole corpus without error.
#
# Usage: bench/corpus.sh [corpus-dir]   (size: MORVEL_CORPUS_BYTES, default 100000000)
# Does nothing for a file that exists and is newer than its dictionary and
# this script.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/corpus}
target=${MORVEL_CORPUS_BYTES:-100000000}
export LC_ALL=C

need=""
dpkg -s edict >/dev/null 2>&1 || need="$need edict"
dpkg -s skkdic >/dev/null 2>&1 || need="$need skkdic"
if [ -n "$need" ]; then
    echo "corpus: installing$need" >&2
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >/dev/null
fi

# Finds a package's file by name among the files it installed.
pkgfile() {  # package, basename pattern (grep -E, anchored)
    dpkg -L "$1" | grep -E "/$2\$" | while read -r f; do
        [ -f "$f" ] && { echo "$f"; break; }
    done
}

# The dictionary as plain EUC-JP text on stdout (decompressed if need be).
plain() {
    case "$1" in
        *.gz) gzip -dc "$1" ;;
        *.xz) xz -dc "$1" ;;
        *.bz2) bzip2 -dc "$1" ;;
        *) cat "$1" ;;
    esac
}

# make NAME SOURCE: writes $out/NAME as SOURCE's text repeated to ~target
# bytes, cut at a line end.
make_corpus() {
    dst=$out/$1
    src=$2
    if [ -s "$dst" ] && [ "$dst" -nt "$src" ] && [ "$dst" -nt "$0" ]; then
        echo "corpus: $dst is up to date" >&2
        return
    fi
    mkdir -p "$out"
    one=$dst.one.tmp
    plain "$src" | grep -av "$(printf '\217')" >"$one"
    size=$(wc -c <"$one")
    [ "$size" -gt 0 ] || { echo "corpus: $src is empty" >&2; exit 1; }
    copies=$((target / size))
    rest=$((target - copies * size))
    tmp=$dst.tmp
    : >"$tmp"
    i=0
    while [ "$i" -lt "$copies" ]; do
        cat "$one" >>"$tmp"
        i=$((i + 1))
    done
    # A partial copy up to its last complete line.
    if [ "$rest" -gt 0 ]; then
        head -c "$rest" "$one" | sed '$d' >>"$tmp"
    fi
    rm -f "$one"
    mv -f "$tmp" "$dst"
    echo "corpus: wrote $dst ($(wc -c <"$dst") bytes from $src)" >&2
}

edict=$(pkgfile edict 'edict(\.(gz|xz|bz2))?')
skk=$(pkgfile skkdic 'SKK-JISYO\.L(\.(gz|xz|bz2))?')
[ -n "$edict" ] || { echo "corpus: no edict file in package edict" >&2; exit 1; }
[ -n "$skk" ] || { echo "corpus: no SKK-JISYO.L in package skkdic" >&2; exit 1; }

make_corpus edict.euc "$edict"
make_corpus skk.euc "$skk"
