#!/usr/bin/env bash
# The clipboard run in a Wayland session: a headless sway of its own (as an
# unprivileged user when started as root, since sway refuses root), wl-copy
# and wl-paste standing for the other programs, iconv for the expected text.
#   wayland_clipboard_test.sh MORVEL
set -u
morvel=$1
for tool in sway wl-copy wl-paste iconv; do command -v $tool >/dev/null || exit 77; done
work=$(mktemp -d)
as=()
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null && id nobody >/dev/null 2>&1 || exit 77
    as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    chown nobody "$work"
fi
chmod 700 "$work"
session=(env -i "XDG_RUNTIME_DIR=$work" "HOME=$work" PATH=/usr/bin:/bin LC_ALL=C.UTF-8)
"${as[@]}" "${session[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c /dev/null >"$work/sway.log" 2>&1 &
compositor=$!
trap 'kill $compositor 2>/dev/null; wait $compositor 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
    display=$(cd "$work" && ls wayland-? 2>/dev/null | head -1)
    [ -n "$display" ] && break
    sleep 0.05
done
[ -n "$display" ] || { echo "sway did not start:" >&2; cat "$work/sway.log" >&2; exit 77; }

# A command in the session; DISPLAY unset, so nothing but Wayland is there.
in_session() { "${as[@]}" "${session[@]}" "WAYLAND_DISPLAY=$display" timeout 20 "$@"; }
put() { in_session wl-copy; }
get() { in_session wl-paste --no-newline; }
clear() { in_session wl-copy --clear; }
run() { in_session "$morvel" "$@" 2>"$work/err" </dev/null; }
. "$(dirname "$0")/clipboard_common.sh"
finish
