#!/usr/bin/env bash
# Screenshots of the preview beside the main dialog under Xvfb: the bundled
# Shift-JIS sample in the text view (English interface) and in the hex view
# (Japanese interface), as docs/screenshots/preview-text.png and
# preview-hex.png. Needs xvfb-run, openbox, xdotool, xprop and imagemagick's
# import (./dev.sh build installs all but imagemagick).
#   ui/preview_screenshots.sh MORVEL [OUTDIR]
set -euo pipefail
here=$(readlink -f "$0")
root=$(dirname "$(dirname "$here")")

if [ "${1:-}" != inner ]; then
    morvel=$(readlink -f "$1")
    outdir=$(readlink -f "${2:-$root/docs/screenshots}")
    mkdir -p "$outdir"
    exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$here" inner "$morvel" "$outdir"
fi
morvel=$2
outdir=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvel-preview-shots.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp XDG_CONFIG_HOME=$tmp/config
unset LC_ALL LC_MESSAGES QT_QPA_PLATFORM WAYLAND_DISPLAY
cp "$root/res/samples/sample-sjis.txt" "$tmp/sample.txt"

openbox >/dev/null 2>&1 &
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

find_window() {  # PATTERN SECONDS
    local i wid
    for ((i = 0; i < $2 * 10; i++)); do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$wid" ] && { echo "$wid"; return 0; }
        sleep 0.1
    done
    echo "preview_screenshots: no window '$1'" >&2
    return 1
}

# click WINDOW X Y: a click at a place of the dialog given in dialog units
# (the template's 315 x 185).
click() {
    local w h
    eval "$(xdotool getwindowgeometry --shell "$1")"
    w=$WIDTH h=$HEIGHT
    xdotool mousemove --window "$1" $(($2 * w / 315)) $(($3 * h / 185)) click 1
    sleep 0.5
}

shot() {  # LANG, hex (0/1), file
    local dlg preview pid
    LANG=$1 "$morvel" "$tmp/sample.txt" </dev/null >/dev/null 2>&1 &
    pid=$!
    dlg=$(find_window '^Morvel Ver' 15)
    xdotool windowmove --sync "$dlg" 8 40
    [ "$2" = 1 ] && click "$dlg" 260 75          # Hex Display
    click "$dlg" 275 51                           # Preview
    preview=$(find_window 'Shift-JIS' 10)
    # Side by side, tops level: the preview right of the dialog, as tall.
    eval "$(xdotool getwindowgeometry --shell "$dlg")"
    local right=$((X + WIDTH)) top=$Y height=$HEIGHT
    xdotool windowsize --sync "$preview" 600 "$height"
    xdotool windowmove --sync "$preview" $((right + 16)) "$top"
    # The window manager counts a move from the frame: set it again by the
    # difference it made.
    eval "$(xdotool getwindowgeometry --shell "$preview")"
    xdotool windowmove --sync "$preview" $((right + 16)) $((top - (Y - top)))
    sleep 0.8
    eval "$(xdotool getwindowgeometry --shell "$preview")"
    import -window root -crop "$((X + WIDTH + 8))x$((height + 80))+0+0" +repage "$outdir/$3"
    xdotool windowactivate --sync "$dlg" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
}

shot C.UTF-8 0 preview-text.png
shot ja_JP.UTF-8 1 preview-hex.png
ls -l "$outdir"/preview-*.png
