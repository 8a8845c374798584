#!/usr/bin/env bash
# The clipboard run in a Wayland session: a headless sway of its own (as an
# unprivileged user when started as root, since sway refuses root), wl-copy
# and wl-paste standing for the other programs, iconv for the expected text.
#   wayland_clipboard_test.sh MORVEL
set -u
morvel=$1
for tool in sway wl-copy wl-paste iconv; do command -v $tool >/dev/null || exit 77; done
runtime=$(mktemp -d)
as=()
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null && id nobody >/dev/null 2>&1 || exit 77
    as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    chown nobody "$runtime"
fi
chmod 700 "$runtime"
session=(env -i "XDG_RUNTIME_DIR=$runtime" "HOME=$runtime" PATH=/usr/bin:/bin LC_ALL=C.UTF-8)
"${as[@]}" "${session[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c /dev/null >"$runtime/sway.log" 2>&1 &
compositor=$!
trap 'kill $compositor 2>/dev/null; wait $compositor 2>/dev/null; rm -rf "$runtime"' EXIT
display=
for _ in $(seq 1 100); do
    display=$(cd "$runtime" && ls wayland-? 2>/dev/null | head -1)
    [ -n "$display" ] && break
    sleep 0.05
done
if [ -z "$display" ]; then
    echo "sway did not start:" >&2
    cat "$runtime/sway.log" >&2
    exit 77
fi
# A command in the session; DISPLAY unset, so nothing but Wayland is there.
in_session() { "${as[@]}" "${session[@]}" "WAYLAND_DISPLAY=$display" timeout 20 "$@"; }
passed=0
failed=0
ok() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }

# The text read, converted, written back, and still there after the run.
text='日本語のテキスト、かなカナ漢字。
ABC 123
'
printf '%s' "$text" | in_session wl-copy
in_session "$morvel" /cJ </dev/null
status=$?
got=$(in_session wl-paste --no-newline | od -An -tx1)
[ $status -eq 0 ] && [ "$got" = "$(printf '%s' "$text" | iconv -f UTF-8 -t ISO-2022-JP | od -An -tx1)" ] && ok ||
    fail "/cJ: status $status, got $got"

printf 'カタカナＡＢＣ' | in_session wl-copy
in_session "$morvel" /c /k /n </dev/null
status=$?
[ $status -eq 0 ] && [ "$(in_session wl-paste --no-newline)" = 'ｶﾀｶﾅABC' ] && ok || fail "/c /k /n: status $status"

# An empty clipboard: no text, nothing written, no message.
in_session wl-copy --clear
err=$(in_session "$morvel" /c 2>&1 </dev/null)
status=$?
[ $status -eq 1 ] && [ -z "$err" ] && ok || fail "empty clipboard: status $status, $err"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
