#!/usr/bin/env bash
# The window program under a desktop: Xvfb with openbox, driven by xdotool as
# a user drives it. Checks the progress window's caption buttons, that a
# minimised progress window comes back, that Escape in it cancels, and that
# the window manager's close during a scan cancels and keeps the window (a
# close then asks about the unsaved rows: Escape keeps the window, "Don't
# save" quits with status 0), and that two stop signals during a
# scan end it at once without leaving its private folders. Exits 77
# (skipped) when a tool is missing.
# Usage: desktop.sh PROGRAM
set -uo pipefail
program=$1
for tool in Xvfb openbox xdotool xprop xdpyinfo python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb= wm= app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Waits up to 10 s for a command to succeed.
until_ok() { for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }

# A collection slow enough to act during its NES scan: one archive under
# many names (links cost no space; each is still extracted on its own).
mkdir -p "$work/roms" "$work/tmp" "$work/home" "$work/run"
chmod 700 "$work/run"
python3 - "$work/roms" <<'PY'
import os, sys, zipfile
root = sys.argv[1]
first = os.path.join(root, "g00000.zip")
with zipfile.ZipFile(first, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("g.nes", b"NES\x1a" + bytes(12) + os.urandom(4096))
for i in range(1, 30000):
    os.link(first, os.path.join(root, "g%05d.zip" % i))
PY

export DISPLAY=:$((150 + RANDOM % 100))
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
until_ok xdpyinfo || fail "no display"
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

HOME=$work/home TMPDIR=$work/tmp XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb "$program" &
app=$!
until_ok xdotool search --onlyvisible --name 'Catalogix' || fail "no main window"
main=$(xdotool search --onlyvisible --name 'Catalogix' | head -1)
sleep 0.5

# F5, NES by the mouse, the directory typed into its box, Enter.
start_nes_scan() {
    xdotool windowactivate --sync "$main" >/dev/null 2>&1
    xdotool key F5
    until_ok xdotool search --onlyvisible --name '^Scan files$' || fail "no scan dialog"
    local dialog
    dialog=$(xdotool search --onlyvisible --name '^Scan files$' | head -1)
    xdotool mousemove --window "$dialog" 30 88 click 1
    xdotool mousemove --window "$dialog" 100 34 click 1
    xdotool key ctrl+a
    xdotool type --delay 2 "$work/roms"
    xdotool key Return
    until_ok xdotool search --onlyvisible --name '^Please wait' || fail "no progress window"
    progress=$(xdotool search --onlyvisible --name '^Please wait' | head -1)
}
box_up() { xdotool search --onlyvisible --name '^Information$'; }
normal() { xprop -id "$progress" WM_STATE | grep -q 'window state: Normal'; }

start_nes_scan
# The caption names its decorations without minimise (0x20) and maximise (0x40).
read -r flags _ decorations _ < <(xprop -id "$progress" _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
(( (flags & 2) && !(decorations & 0x60) )) || fail "caption asks for minimise or maximise: $flags $decorations"
xdotool windowminimize "$progress"
sleep 0.3
until_ok normal || fail "the minimised progress window stayed minimised"
xdotool windowactivate --sync "$progress" >/dev/null 2>&1
xdotool key Escape
until_ok box_up || fail "Escape did not cancel the scan"
xdotool key Return
until_ok bash -c "! xdotool search --onlyvisible --name '^Please wait' >/dev/null" || fail "progress window stayed"

# The window manager's close during a scan: cancelled, the window stays.
start_nes_scan
sleep 0.5
xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool key alt+F4
until_ok box_up || fail "closing during the scan did not cancel it"
xdotool key Return
sleep 0.5
kill -0 "$app" 2>/dev/null || fail "the program ended on a close during the scan"
xdotool search --onlyvisible --name 'Catalogix' >/dev/null || fail "the window went away"
leftover=$(ls -A "$work/tmp")
[ -z "$leftover" ] || fail "the scan left $leftover in TMPDIR"
# The scanned rows are unsaved: the close asks; Escape keeps the window,
# "Don't save" (Alt+D) ends the program with status 0.
question_up() { xdotool search --onlyvisible --name '^tabula$'; }
xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool key alt+F4
until_ok question_up || fail "closing with unsaved rows did not ask"
xdotool key Escape
until_ok bash -c "! xdotool search --onlyvisible --name '^tabula\$' >/dev/null" ||
    fail "Escape did not close the question"
sleep 0.3
kill -0 "$app" 2>/dev/null || fail "Escape in the question ended the program"
xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool key alt+F4
until_ok question_up || fail "the second close did not ask"
xdotool key alt+d
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app"
status=$?
app=
[ "$status" -eq 0 ] || fail "the close with \"Don't save\" ended with status $status"

# Asked twice to end during a scan: it ends at once, saying so, after
# removing its private folders.
HOME=$work/home TMPDIR=$work/tmp XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb "$program" \
    2>"$work/err" &
app=$!
until_ok xdotool search --onlyvisible --name 'Catalogix' || fail "no main window the second time"
main=$(xdotool search --onlyvisible --name 'Catalogix' | head -1)
sleep 0.5
start_nes_scan
sleep 0.5
# Two kinds, so that the second is not merged into the first while both wait.
kill -INT "$app"
kill -TERM "$app"
wait "$app"
status=$?
app=
[ "$status" -eq 143 ] || fail "two signals ended it with status $status"
grep -q 'stopped at once' "$work/err" || fail "the second signal did not end it at once"
leftover=$(ls -A "$work/tmp")
[ -z "$leftover" ] || fail "two signals left $leftover in TMPDIR"
echo "desktop checks passed"
