#!/usr/bin/env bash
# The dialog's program from the outside, with the real binaries.
#
#   dialog_e2e.sh handover MORVEL VERSION
#       A 1 KB file run maps no Qt library, even with a display named and
#       morvel-dialog beside the binary; a start that needs the dialog hands
#       over to morvel-dialog (beside the binary, or in ../lib/morvel/ as
#       installed), which finds no display it can reach and ends with status
#       2 and the not-available text, as morvel does without morvel-dialog.
#   dialog_e2e.sh xvfb MORVEL VERSION [OUTDIR]
#       Under Xvfb with openbox, in English and in Japanese: morvel started
#       with no file names shows the dialog (caption with VERSION); in
#       Japanese F1 opens the about box and Esc closes it; the two paths are
#       typed into the fields, an output encoding is picked by its mnemonic,
#       Enter presses Execute, and the output file must be what iconv makes
#       of the input. Then a run whose input trickles in through a pipe is
#       stopped from its progress window. With OUTDIR and imagemagick's
#       import: the dialog in English and Japanese and the about box as PNG
#       files there. Skipped (77) without xvfb-run, xdotool or openbox.
#   dialog_e2e.sh package MORVEL VERSION BUILDDIR
#       cmake --install into a scratch root, and cpack's Debian package: the
#       files in their places, the man page with VERSION, the desktop entry
#       valid, and the package's dependencies (Qt, libxcb) found by
#       dpkg-shlibdeps. Skipped (77) without cpack or dpkg-deb.
#   dialog_e2e.sh screenshots MORVEL VERSION OUTDIR
#       The xvfb run, its screenshots required.
set -euo pipefail
mode=$1
morvel=$(readlink -f "$2")
version=$3
here=$(readlink -f "$0")
bindir=$(dirname "$morvel")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvel-dialog-e2e.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp XDG_CONFIG_HOME=$tmp/config
# A sanitizer build: leaks of the desktop's own libraries are not ours.
export LSAN_OPTIONS=suppressions=$(dirname "$here")/dialog_e2e.lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
unset LC_ALL LC_MESSAGES QT_QPA_PLATFORM WAYLAND_DISPLAY
fail() { echo "dialog_e2e: $*" >&2; exit 1; }

# A Shift-JIS text of JIS X 0208 characters: 日本語 abc あア and a line end.
printf '\x93\xfa\x96\x7b\x8c\xea abc \x82\xa0\x83\x41\r\n' >"$tmp/in.txt"

# Runs "$@" with the dynamic loader's library trace; the trace goes to $tmp/libs.
traced() { LD_DEBUG=libs LD_DEBUG_OUTPUT=$tmp/libs "$@"; }
loaded_qt() { cat "$tmp"/libs.* 2>/dev/null | grep -q 'libQt6'; }

handover() {
    export DISPLAY=:977 LANG=C.UTF-8   # named, but no server there
    [ -x "$bindir/morvel-dialog" ] || fail "no morvel-dialog beside $morvel"

    # A 1 KB file run: converted, and no Qt library mapped.
    head -c 1024 /dev/zero | tr '\0' 'a' >"$tmp/small.txt"
    rm -f "$tmp"/libs.*
    traced "$morvel" /SE "$tmp/small.txt" "$tmp/small.out" || fail "1 KB run failed"
    cmp -s "$tmp/small.txt" "$tmp/small.out" || fail "1 KB run: wrong output"
    cat "$tmp"/libs.* | grep -q 'libc\.so' || fail "LD_DEBUG gave no trace: the check would prove nothing"
    if loaded_qt; then fail "a file run loaded Qt: $(cat "$tmp"/libs.* | grep -m3 libQt6)"; fi

    # Starts that need the dialog: from the build tree, from an installed
    # layout (bin/ and lib/morvel/), and without morvel-dialog.
    mkdir -p "$tmp/inst/bin" "$tmp/inst/lib/morvel" "$tmp/alone"
    cp "$morvel" "$tmp/inst/bin/morvel"
    cp "$bindir/morvel-dialog" "$tmp/inst/lib/morvel/"
    cp "$morvel" "$tmp/alone/morvel"
    local program expect_qt status
    for program in "$morvel:yes" "$tmp/inst/bin/morvel:yes" "$tmp/alone/morvel:no"; do
        expect_qt=${program##*:}
        program=${program%:*}
        for args in "" "$tmp/in.txt"; do
            rm -f "$tmp"/libs.*
            status=0
            # shellcheck disable=SC2086
            traced "$program" $args >"$tmp/out" 2>"$tmp/err" </dev/null || status=$?
            [ "$status" = 2 ] || fail "$program $args: status $status, expected 2 ($(cat "$tmp/err"))"
            grep -q '^morvel: the dialog cannot be shown' "$tmp/err" ||
                fail "$program $args: no not-available text: $(cat "$tmp/err")"
            if [ "$expect_qt" = yes ]; then
                loaded_qt || fail "$program $args: did not hand over to morvel-dialog"
            elif loaded_qt; then
                fail "$program $args: loaded Qt without morvel-dialog"
            fi
        done
    done
    # The Japanese text.
    LANG=ja_JP.UTF-8 "$morvel" >/dev/null 2>"$tmp/err" </dev/null || true
    grep -q 'ダイアログを表示できません' "$tmp/err" || fail "no Japanese not-available text: $(cat "$tmp/err")"
    echo "dialog_e2e: handover checks passed"
}

package() {
    local build=$1 deb control files f
    for tool in cpack dpkg-deb dpkg-shlibdeps; do
        command -v "$tool" >/dev/null || { echo "dialog_e2e: $tool missing, skipped" >&2; exit 77; }
    done
    cmake --install "$build" --prefix "$tmp/root" >/dev/null || fail "cmake --install failed"
    grep -q "^\.TH MORVEL 1 .*\"morvel $version\"" "$tmp/root/share/man/man1/morvel.1" || fail "man page without version $version"
    grep -qx 'Exec=morvel %f' "$tmp/root/share/applications/morvel.desktop" || fail "desktop entry: Exec"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$tmp/root/share/applications/morvel.desktop" || fail "desktop entry not valid"
    fi
    [ "$("$tmp/root/bin/morvel" --version)" = "morvel $version" ] || fail "installed morvel --version"

    (cd "$tmp" && cpack -G DEB -B "$tmp/pkg" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1) ||
        fail "cpack failed: $(tail -5 "$tmp/cpack.log")"
    deb=$(ls "$tmp"/pkg/morvel_"$version"_*.deb) || fail "no morvel_${version} package"
    control=$(dpkg-deb -I "$deb")
    files=$(dpkg-deb -c "$deb")
    for f in libqt6widgets6 libqt6gui6 libqt6core6 libxcb1 libxcb-xfixes0 libxcb-xtest0 libc6; do
        grep -q "^ Depends:.*\b$f\b" <<<"$control" || fail "package does not depend on $f: $(grep Depends <<<"$control")"
    done
    for f in bin/morvel lib/morvel/morvel-dialog lib/morvel/libmorvel_desktop.so share/applications/morvel.desktop \
        share/icons/hicolor/scalable/apps/morvel.svg share/man/man1/morvel.1; do
        [ -f "$tmp/root/$f" ] || fail "not installed: $f"
        grep -q " \./usr/$f\$" <<<"$files" || fail "package lacks /usr/$f"
    done
    echo "dialog_e2e: installed files and package $(basename "$deb") checked"
}

# waitfor SECONDS COMMAND...: true as soon as COMMAND is, asked every 0.1 s.
waitfor() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do
        "${@:2}" && return 0
        sleep 0.1
    done
    return 1
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
exited() { ! kill -0 "$1" 2>/dev/null; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
# Whether a visible window's name matches $1 (the first such in $found).
shown() { found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$found" ]; }

# find_window PATTERN SECONDS: the first visible window whose name matches,
# asked again until it appears. A search can fail outright while a window is
# being destroyed (the X server's BadWindow), so no single search decides.
find_window() { waitfor "$2" shown "$1" && echo "$found"; }

# The dialog's window, once it is on screen: its id on standard output.
dialog_window() {
    local wid
    wid=$(find_window "^Morvel Ver ?${version//./\\.}\$" 15) ||
        fail "no window captioned 'Morvel Ver${version}' appeared"
    xdotool windowactivate --sync "$wid" 2>/dev/null || true
    echo "$wid"
}

# shoot WID NAME: the window with its frame as OUTDIR/NAME.png, when
# screenshots are taken.
shoot() {
    [ -n "$outdir" ] || return 0
    sleep 0.5  # painted
    import -window "$1" -frame "$outdir/$2.png" || fail "no screenshot $2"
}

# ends PID SECONDS: waits for the process; its status in $ended.
ends() {
    if ! waitfor "$2" exited "$1"; then
        [ -z "$outdir" ] || import -window root "$outdir/stuck.png" 2>/dev/null || true
        kill "$1"
        fail "morvel did not end after Execute"
    fi
    ended=0
    wait "$1" || ended=$?
}

# The dialog in LANG, shot as NAME; with ABOUT, F1 opens the about box (the
# active window, under its Japanese caption), shot as ABOUT, and Esc gives
# the dialog back. Then a run with typed paths and the output encoding
# picked by KEY, whose output must be what iconv makes for ICONVNAME.
dialog_run() {  # LANG, output-encoding key, iconv name, screenshot name [, about's]
    local lang=$1 key=$2 iconvname=$3 name=$4 about=${5:-}
    local out=$tmp/out-$key.txt pid wid box
    # xdotool's search matches no name outside ASCII: the about box is the
    # active window of its name.
    about_box() {
        box=$(xdotool getactivewindow) && [ "$(xdotool getwindowname "$box")" = 'Morvelのバージョン情報' ]
    }
    LANG=$lang "$morvel" >"$tmp/stdout" 2>"$tmp/stderr" </dev/null &
    pid=$!
    wid=$(dialog_window)
    shoot "$wid" "$name"
    if [ -n "$about" ]; then
        xdotool key --clearmodifiers F1
        waitfor 5 about_box || fail "$lang: F1 opened no about box"
        shoot "$box" "$about"
        xdotool key --clearmodifiers Escape
        waitfor 5 active_is "$wid" || fail "$lang: Esc did not close the about box"
    fi
    xdotool key --clearmodifiers alt+i
    xdotool type --delay 5 "$tmp/in.txt"
    xdotool key --clearmodifiers alt+o
    xdotool type --delay 5 "$out"
    xdotool key --clearmodifiers "alt+$key"
    # Qt clicks a button reached by its mnemonic as an animated click, 100 ms
    # after the key: Enter pressed before that would execute without it.
    sleep 0.3
    xdotool key --clearmodifiers Return
    ends "$pid" 20
    [ "$ended" = 0 ] || fail "$lang: status $ended: $(cat "$tmp/stderr")"
    iconv -f SHIFT_JIS -t "$iconvname" "$tmp/in.txt" >"$tmp/expected"
    cmp "$out" "$tmp/expected" || { od -An -c "$out" | head -3 >&2; fail "$lang: the output is not what iconv makes ($iconvname)"; }
    echo "dialog_e2e: $lang: ${about:+F1 about box, Esc; }typed paths, alt+$key, Execute: $iconvname output as iconv's"
}

# A run from the dialog whose input (a pipe) trickles in: the progress
# window appears, Esc on it stops the run, the existing output stays as it
# was with nothing left beside it, and the dialog comes back.
dialog_cancel() {
    local pid wid question progress writer
    mkfifo "$tmp/slow.fifo"
    printf 'old\n' >"$tmp/kept.txt"
    LANG=C.UTF-8 "$morvel" /SE "$tmp/slow.fifo" >"$tmp/stdout" 2>"$tmp/stderr" </dev/null &
    pid=$!
    wid=$(dialog_window)
    xdotool key --clearmodifiers alt+o
    xdotool type --delay 5 "$tmp/kept.txt"
    xdotool key --clearmodifiers Return
    # The output exists: the question, answered Yes.
    question=$(find_window '^Morvel$' 10) || fail "no overwrite question"
    xdotool key --clearmodifiers Return
    gone() { ! xdotool search --onlyvisible --name '^Morvel$' 2>/dev/null | grep -qx "$question"; }
    waitfor 5 gone || true
    (for _ in $(seq 200); do head -c 1048576 /dev/zero | tr '\0' a || break; sleep 0.1; done) >"$tmp/slow.fifo" 2>/dev/null &
    writer=$!
    progress=$(find_window '^Morvel$' 10) || fail "no progress window"
    [ "$progress" != "$question" ] || fail "the question stayed on screen"
    xdotool windowactivate --sync "$progress" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    find_window '^Morvel Ver' 10 >/dev/null || fail "the dialog did not come back"
    kill "$writer" 2>/dev/null || true
    [ "$(cat "$tmp/kept.txt")" = old ] || fail "a stopped run changed the output"
    if ls -A "$tmp" | grep -q '^\.morvel-'; then fail "a stopped run left a file: $(ls -A "$tmp")"; fi
    kill -0 "$pid" 2>/dev/null || fail "the program ended after the run was stopped"
    xdotool windowactivate --sync "$wid" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    ends "$pid" 10
    [ "$ended" = 0 ] || fail "status $ended after Cancel: $(cat "$tmp/stderr")"
    echo "dialog_e2e: progress window, Esc: run stopped, old output whole, dialog again"
}

outdir=
case $mode in
    handover) handover ;;
    xvfb | screenshots)
        for tool in xvfb-run xdotool openbox xprop; do
            command -v "$tool" >/dev/null || { echo "dialog_e2e: $tool missing, skipped" >&2; exit 77; }
        done
        [ -x "$bindir/morvel-dialog" ] || fail "no morvel-dialog beside $morvel"
        if [ -n "${4:-}" ] && { command -v import >/dev/null || [ "$mode" = screenshots ]; }; then
            outdir=$(readlink -f "$4")
            mkdir -p "$outdir"
        fi
        [ "$mode" = xvfb ] || [ -n "$outdir" ] || fail "screenshots: no OUTDIR"
        xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" xvfb-inner "$morvel" "$version" "$outdir"
        ;;
    xvfb-inner)
        outdir=${4:-}
        openbox >/dev/null 2>&1 &
        waitfor 5 wm_running || fail "openbox did not start"
        dialog_run C.UTF-8 f EUC-JP dialog-en
        dialog_run ja_JP.UTF-8 k ISO-2022-JP dialog-ja about
        dialog_cancel
        ;;
    package) package "$(readlink -f "$4")" ;;
    *) fail "unknown mode $mode" ;;
esac
