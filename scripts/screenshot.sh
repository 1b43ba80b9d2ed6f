#!/usr/bin/env bash
# Starts tabula under a private Xvfb display, waits for its main window,
# writes a PNG of the screen area the main window covers (with any window
# shown over it, such as the progress window), and stops everything it started.
# Usage: scripts/screenshot.sh [OUTPUT.png] [PROGRAM]
#   scripts/screenshot.sh docs/progress.png build/bin/progress_demo
# With SCAN_DIR set, the picture is taken after File > Scan for roms ... has
# scanned that directory, driven by the keyboard as a user does it.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
program=${2:-build/bin/tabula}
caption="Catalogix Datafile Maker"

[ -x "$program" ] || { echo "screenshot: $program is not built (run scripts/build.sh)" >&2; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=
cleanup() {
    local status=$?
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    exit "$status"
}
trap cleanup EXIT

export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
QT_QPA_PLATFORM=xcb "$program" &
app_pid=$!

window=
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk -v c="$caption" 'index($0, c) { print $1; exit }')
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: no window appeared" >&2; exit 1; }
sleep 1 # let the first paint finish

if [ -n "${SCAN_DIR:-}" ]; then
    # Alt+F opens the File menu, Down Enter picks "Scan for roms ...", the
    # focus starts on Scan: Shift+Tab reaches the directory box, Enter scans.
    xdotool windowfocus --sync "$window"
    xdotool key --delay 150 alt+f Down Return
    sleep 1
    xdotool key shift+Tab
    xdotool type --delay 10 "$SCAN_DIR"
    xdotool key Return
    sleep 2
fi

mkdir -p "$(dirname "$out")"
geometry=$(xwininfo -id "$window" | awk '
    /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF }
    END { printf "%dx%d+%d+%d", w, h, x, y }')
import -window root -crop "$geometry" +repage "$out"
echo "screenshot: $out"
