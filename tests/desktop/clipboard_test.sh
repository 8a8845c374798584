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
trap 'rm -rf "$work"; [ -n "$helper" ] && kill "$helper" 2>/dev/null; kill_servers' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }

# The clipboard servers of this run: our binary with the hidden option, on
# this display.
servers() {
    local pid
    for pid in $(pgrep -f -- '--serve-clipboard'); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$morvel")" ] || continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "DISPLAY=$DISPLAY" && echo "$pid"
    done
}
kill_servers() { local pid; for pid in $(servers); do kill "$pid"; done; }
count_servers() { servers | wc -l; }

put() { xclip -selection clipboard -i "$@"; }
get() { xclip -selection clipboard -o "$@" 2>/dev/null; }

# A run of morvel that must end by itself: its status, or 124 when it had to
# be stopped.
run() { timeout 20 "$morvel" "$@" 2>"$work/err" </dev/null; }

# 1. Conversions: the clipboard's text in, the result back, the program gone.
#    switch(es) | text | expected (by iconv, or the width tables' own pairs)
text='日本語のテキスト、かなカナ漢字。
ABC 123
'
printf '%s' "$text" | put
run /cJ
status=$?
if [ $status -eq 0 ] && [ "$(get | od -An -tx1)" = "$(printf '%s' "$text" | iconv -f UTF-8 -t ISO-2022-JP | od -An -tx1)" ]; then
    ok
else
    fail "/cJ: status $status, clipboard $(get | od -c | head -3)"
fi

printf 'ｶﾞｷﾞabc123' | put
run /c /SS /K /N
[ $? -eq 0 ] && [ "$(get)" = 'ガギａｂｃ１２３' ] && ok || fail "/c /SS /K /N gave $(get)"

# Width folding the other way, and the text stays there after the program ended.
printf 'カタカナＡＢＣ' | put
out=$(run /c /k /n)
status=$?
[ $status -eq 0 ] && [ -z "$out" ] && [ "$(get)" = 'ｶﾀｶﾅABC' ] && ok || fail "/c /k /n: status $status, gave $(get)"

# 2. Large texts both ways (incremental transfers), converted through CP932.
large="$work/large.txt"
line='吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。ABCabc123
'
: >"$large"
for _ in $(seq 1 16); do printf '%s' "$line"; done >"$work/block"
for _ in $(seq 1 500); do cat "$work/block"; done >"$work/chunk"
for _ in $(seq 1 5); do cat "$work/chunk"; done >"$large"   # ~5.6 MB
put <"$large"
run /c
status=$?
get >"$work/large.out"
if [ $status -eq 0 ] && cmp -s "$work/large.out" <(iconv -f UTF-8 -t CP932 "$large" | iconv -f CP932 -t UTF-8); then
    ok
else
    fail "5 MB round trip: status $status, $(wc -c <"$work/large.out") bytes back of $(wc -c <"$large")"
fi

# 3. Nothing to read: no owner, an owner without text, a display that is not
#    there or never answers. The run ends with status 1 and writes nothing.
"$owner" none
run /c
status=$?
[ $status -eq 1 ] && [ ! -s "$work/err" ] && ! get >/dev/null && ok || fail "no owner: status $status, $(cat "$work/err")"

printf '\x89PNG\r\n' | put -t image/png
run /c
status=$?
[ $status -eq 1 ] && [ "$(get -t image/png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a ] && ok ||
    fail "picture only: status $status"

DISPLAY=:65000 run /c
status=$?
grep -q 'no clipboard is available' "$work/err" && [ $status -eq 1 ] && ok || fail "no display: status $status"

# A display that accepts the connection and never answers (a listener on
# the TCP port of display 150 or the first free one after it).
if command -v python3 >/dev/null; then
    python3 -c 'import socket,sys,time
s=socket.socket()
for n in range(150, 200):
    try: s.bind(("127.0.0.1", 6000 + n)); break
    except OSError: pass
s.listen(8); print(n, flush=True)
c=[s.accept() for _ in range(4)]; time.sleep(60)' >"$work/mute" &
    helper=$!
    for _ in $(seq 1 50); do [ -s "$work/mute" ] && break; sleep 0.1; done
    DISPLAY=127.0.0.1:$(cat "$work/mute") run /c
    status=$?
    [ $status -eq 1 ] && grep -q 'no clipboard is available' "$work/err" && ok || fail "mute display: status $status"
    kill "$helper"
    helper=
fi

# 4. Owners that misbehave: the run ends within its bounds with no text, and
#    `out=$(morvel /c)` returns.
for mode in silent garbage stalled; do
    "$owner" "$mode" >"$work/ready" &
    helper=$!
    for _ in $(seq 1 50); do grep -q ready "$work/ready" && break; sleep 0.1; done
    out=$(run /c)
    status=$?
    [ $status -eq 1 ] && [ -z "$out" ] && ok || fail "$mode owner: status $status"
    kill "$helper" 2>/dev/null
    wait "$helper" 2>/dev/null
    helper=
done

# 5. Bytes that are not text: invalid UTF-8 on the clipboard, and EUC-JP
#    output (bytes that are not CP932) still reach the desktop as valid UTF-8.
printf 'a\xff\xfe\x80b\xe3\x81\n' | put
run /c
[ $? -eq 0 ] && get | iconv -f UTF-8 -t UTF-8 >/dev/null && ok || fail "invalid UTF-8 in"
printf '漢字のテキスト' | put
run /cE
[ $? -eq 0 ] && [ -n "$(get)" ] && get | iconv -f UTF-8 -t UTF-8 >/dev/null && ok || fail "EUC-JP out"

# 6. One server at most, and none once another program takes the clipboard.
printf 'x' | put
run /c && run /c
[ "$(count_servers)" -eq 1 ] && ok || fail "$(count_servers) servers after two runs"
printf 'y' | put
for _ in $(seq 1 20); do [ "$(count_servers)" -eq 0 ] && break; sleep 0.1; done
[ "$(count_servers)" -eq 0 ] && ok || fail "server left after another owner took the clipboard"

# 7. A file run loads nothing of the desktop; a clipboard run loads the
#    module; the binary itself links none of it.
printf 'abc' >"$work/in.txt"
LD_DEBUG=files "$morvel" /SS "$work/in.txt" "$work/out.txt" 2>"$work/ld" </dev/null
! grep -q 'libmorvel_desktop\|libxcb' "$work/ld" && ok || fail "a file run loaded the desktop module"
printf 'abc' | put
LD_DEBUG=files "$morvel" /c 2>"$work/ld" </dev/null
grep -q libmorvel_desktop "$work/ld" && ok || fail "a clipboard run did not load the desktop module"
! readelf -d "$morvel" | grep -q 'libxcb' && ok || fail "the morvel binary links libxcb"
exports=$(nm -D --defined-only "$(dirname "$morvel")/libmorvel_desktop.so" | awk '{print $3}')
[ "$exports" = morvel_desktop ] && ok || fail "the module exports $exports"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
