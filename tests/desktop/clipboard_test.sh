#!/usr/bin/env bash
# The clipboard run on a real X server: run under xvfb-run by ctest.
#   clipboard_test.sh MORVEL CLIPBOARD_OWNER
# xclip stands for the other programs of the desktop; iconv gives the
# expected texts.
set -u
morvel=$1
owner=$2
unset WAYLAND_DISPLAY
export LC_ALL=C.UTF-8
work=$(mktemp -d)
helper=
trap 'rm -rf "$work"; [ -n "$helper" ] && kill "$helper" 2>/dev/null; for pid in $(servers); do kill $pid; done' EXIT

# The clipboard servers of this run: our binary with the hidden option, on
# this display.
servers() {
    local pid
    for pid in $(pgrep -f -- '--serve-clipboard'); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$morvel")" ] || continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "DISPLAY=$DISPLAY" && echo "$pid"
    done
}
get() { xclip -selection clipboard -o "$@" 2>/dev/null; }
# xclip -i returns before the X server has its claim (its child in the
# background sends it), so put waits until the text reads back: a run that
# follows reads it, as a run after a user's copy would.
put() {
    cat >"$work/put"
    xclip -selection clipboard -i "$@" "$work/put"
    for _ in $(seq 1 200); do get "$@" | cmp -s - "$work/put" && return 0; sleep 0.01; done
    return 1
}
clear() { "$owner" none; }
run() { timeout 20 "$morvel" "$@" 2>"$work/err" </dev/null; }
# Starts the helper in the background and waits for its first line.
start() {
    "$@" >"$work/ready" &
    helper=$!
    for _ in $(seq 1 50); do [ -s "$work/ready" ] && break; sleep 0.1; done
}
stop() { kill "$helper" 2>/dev/null; wait "$helper" 2>/dev/null; helper=; }

# Conversions, and no owner at all.
. "$(dirname "$0")/clipboard_common.sh"

# Large texts both ways (incremental transfers), converted through CP932.
yes '吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。ABCabc123' | head -n 40000 >"$work/large"  # 4 MB
put <"$work/large"
run /c
status=$?
check "4 MB round trip" \
    '[ $status -eq 0 ] && get | cmp -s - <(iconv -f UTF-8 -t CP932 "$work/large" | iconv -f CP932 -t UTF-8)'

# Nothing to read: an owner without text, a display that is not there or
# never answers (a listener on the TCP port of display 150 or the first free
# one after it). The run ends with status 1 and writes nothing.
printf '\x89PNG\r\n' | put -t image/png
run /c
status=$?
check "picture only" '[ $status -eq 1 ] && [ "$(get -t image/png | od -An -tx1 | tr -d " \n")" = 89504e470d0a ]'
DISPLAY=:65000 run /c
status=$?
check "no display" '[ $status -eq 1 ] && grep -q "no clipboard is available" "$work/err"'
if command -v python3 >/dev/null; then
    start python3 -c 'import socket,time
s=socket.socket()
for n in range(150, 200):
    try: s.bind(("127.0.0.1", 6000 + n)); break
    except OSError: pass
s.listen(8); print(n, flush=True)
c=[s.accept() for _ in range(4)]; time.sleep(60)'
    DISPLAY=127.0.0.1:$(cat "$work/ready") run /c
    status=$?
    check "mute display" '[ $status -eq 1 ] && grep -q "no clipboard is available" "$work/err"'
    stop
fi

# Owners that misbehave: the run ends within its bounds with no text, and
# `out=$(morvel /c)` returns.
for mode in silent garbage stalled; do
    start "$owner" "$mode"
    out=$(run /c)
    status=$?
    check "$mode owner" '[ $status -eq 1 ] && [ -z "$out" ]'
    stop
done

# Bytes that are not text: invalid UTF-8 on the clipboard, and EUC-JP
# output (bytes that are not CP932) still reach the desktop as valid UTF-8.
printf 'a\xff\xfe\x80b\xe3\x81\n' | put
run /c
status=$?
check "invalid UTF-8 in" '[ $status -eq 0 ] && get | iconv -f UTF-8 -t UTF-8 >/dev/null'
printf '漢字のテキスト' | put
run /cE
status=$?
check "EUC-JP out" '[ $status -eq 0 ] && [ -n "$(get)" ] && get | iconv -f UTF-8 -t UTF-8 >/dev/null'

# One server at most, and none once another program takes the clipboard.
printf 'x' | put
run /c && run /c
check "one server after two runs" '[ "$(servers | wc -l)" -eq 1 ]'
# Another program takes the clipboard from our server and a run follows at
# once, 20 times: each run reads that program's text and its result owns
# the clipboard.
missed=
for i in $(seq 1 20); do
    printf '写し%d' "$i" | put
    run /cJ
    status=$?
    [ $status -eq 0 ] && [ "$(get | od -An -tx1)" = "$(printf '写し%d' "$i" | iconv -f UTF-8 -t ISO-2022-JP | od -An -tx1)" ] ||
        missed="$missed $i"
done
check "runs right after another program took the clipboard (missed:${missed:- none})" '[ -z "$missed" ]'
printf 'y' | put
for _ in $(seq 1 20); do [ -z "$(servers)" ] && break; sleep 0.1; done  # a server ends after its loss
check "no server after another owner took the clipboard" '[ -z "$(servers)" ]'
# A program that takes the clipboard anew while the run converts keeps it:
# the run says so and ends with status 1.
start "$owner" handover
run /cJ
status=$?
check "a new owner while converting" \
    '[ $status -eq 1 ] && grep -q "another program took the clipboard" "$work/err" && [ "$(get)" = 新 ]'
stop

# The fallbacks: an owner with Latin-1 text (STRING) alone, and a Wayland
# name without its socket, which leaves the clipboard to the X server.
start "$owner" latin1
WAYLAND_DISPLAY=no-such-socket run /c /N
status=$?
check "STRING alone, no Wayland socket" '[ $status -eq 0 ] && [ "$(get)" = ＡＢＣ ]'
stop

# A file run loads nothing of the desktop; a clipboard run loads the
# module; the binary itself links none of it, and the module exports one name.
printf 'abc' >"$work/in.txt"
LD_DEBUG=files "$morvel" /SS "$work/in.txt" "$work/out.txt" 2>"$work/ld" </dev/null
check "a file run loads no desktop" '! grep -q "libmorvel_desktop\|libxcb" "$work/ld"'
printf 'abc' | put
LD_DEBUG=files "$morvel" /c 2>"$work/ld" </dev/null
check "a clipboard run loads the module" 'grep -q libmorvel_desktop "$work/ld"'
check "the binary links no libxcb" '! readelf -d "$morvel" | grep -q libxcb'
check "the module exports morvel_desktop alone" \
    '[ "$(nm -D --defined-only "$(dirname "$morvel")/libmorvel_desktop.so" | awk "{print \$3}")" = morvel_desktop ]'
finish
