#!/bin/sh
# The editor tried in a real host, as a user would: Ardour under a private Xvfb with its Dummy
# audio backend, the module on a stereo track of a session made headlessly through Ardour's Lua
# tool, its editor open. The editor must look like its golden picture (text may differ slightly);
# a drag of the Depth knob with the real pointer (xdotool) must change the picture and the Depth
# that Ardour saves in the session. Then a quick click (press and release together, as xdotool's
# click 1 or a touchpad tap) opens the Rate field, 3 Return types 3 Hz, and a quick click on the
# lamp turns sync on: both are read back from the saved session.
#   tests/host/ardour_trial.sh MODULE GRAB_TOOL GOLDEN.png [KEEP_DIR]
# Exits 77 (skipped) when Ardour, Xvfb or xdotool is missing. Everything it writes lives in one
# temporary folder (Ardour's configuration, cache and session too); KEEP_DIR keeps the pictures.
set -eu
# shellcheck source=../support/ardour_session.sh
. "$(dirname "$0")/../support/ardour_session.sh"
module=$1
grab=$2
golden=$3
keep=${4:-}
lib=/usr/lib/ardour7
for program in Xvfb xdotool ardour ardour7-lua "$lib/ardour-vst-scanner"; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (Debian packages ardour, xvfb, xdotool)"; exit 77; }
done

ardour_begin
export LXVST_PATH="$work/vst" VST_PATH="$work/vst"
mkdir -p "$LXVST_PATH"
cp "$module" "$LXVST_PATH/BrackwaterFlanger.so"
# The host trusts its cache only when it is newer than the module, to the second: a copy made in
# the same second as the scan would count as changed since.
touch -d '2000-01-01 00:00:00' "$LXVST_PATH/BrackwaterFlanger.so"
# The scanner fills the plug-in cache the session tool and the host read.
LD_LIBRARY_PATH=$lib timeout 120 "$lib/ardour-vst-scanner" -f "$LXVST_PATH/BrackwaterFlanger.so" >"$work/scan.log" 2>&1 ||
    { echo "FAIL: the host's scanner refused the module:"; cat "$work/scan.log"; exit 1; }
ardour_session BrackwaterFlanger LXVST lxvst 'x-size=\"392\" y-size=\"256\" '
ardour_show "$grab" "$golden"

# Depth's knob is centred at (134, 175) in the editor: press there and turn it clockwise.
xdotool mousemove --window "$editor" 134 175 sleep 0.1 mousedown 1 sleep 0.1 \
    mousemove --window "$editor" 138 168 sleep 0.1 mousemove --window "$editor" 145 160 sleep 0.1 \
    mousemove --window "$editor" 155 158 sleep 0.1 mousemove --window "$editor" 160 170 sleep 0.2 mouseup 1
sleep 1
status=0
"$grab" "$work/dragged.png" "$golden" >"$work/grab.out" 2>&1 || status=$?
cat "$work/grab.out"
[ "$status" -eq 3 ] || { echo "FAIL: the picture did not change with the drag"; exit 1; }

# Rate's field (free mode) at (237, 145): a quick click opens its edit box; the old text goes,
# 3 and Return set 3 Hz. Then a quick click on the sync lamp at (262, 146) turns sync on.
xdotool mousemove --window "$editor" 237 145 click 1 sleep 0.3 \
    key --delay 40 End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace \
    type --delay 40 3
xdotool key Return sleep 0.5 mousemove --window "$editor" 262 146 click 1
sleep 1

# Read the values back from the host: save the session (a click into the main window, away from
# the editor, gives it the keyboard) and find the parameters' controls in it.
value_of() { sed -n "s/.*<Controllable name=\"$1\"[^>]* value=\"\([^\"]*\)\".*/\1/p" "$file" | head -n 1; }
before=$(value_of Depth)
rate_before=$(value_of Rate)
switch_before=$(value_of Switch)
depth() { value_of Depth; }
ardour_save_until depth "$before"
echo "Depth in the session: ${before:-?} before the drag, ${after:-?} after"
if [ -z "$after" ] || [ "$after" = "$before" ]; then
    echo "FAIL: the host did not get the new Depth"
    exit 1
fi
rate=$(value_of Rate)
switch=$(value_of Switch)
echo "Rate in the session: ${rate_before:-?} before, ${rate:-?} after typing 3 (3 Hz is 0.6)"
echo "Switch in the session: ${switch_before:-?} before, ${switch:-?} after the lamp's quick click"
awk -v r="${rate:-x}" 'BEGIN { exit !(r + 0 > 0.5999 && r + 0 < 0.6001) }' ||
    { echo "FAIL: the typed Rate did not reach the host"; exit 1; }
awk -v s="${switch:-0}" 'BEGIN { exit !(s + 0 > 0.5) }' ||
    { echo "FAIL: the quick click on the lamp did not turn sync on"; exit 1; }
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp "$work/opened.png" "$work/dragged.png" "$keep"/
fi
echo "the editor opened in the host as its golden, and the drag set Depth"
