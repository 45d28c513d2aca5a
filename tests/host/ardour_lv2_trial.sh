#!/bin/sh
# The LV2 bundle tried in a real host, as a user would: Ardour under a private Xvfb with its
# Dummy audio backend finds the bundle in its LV2 scan; the plug-in on a stereo track of a
# session made headlessly through Ardour's Lua tool, its LV2 UI open. The UI must look like the
# editor's golden picture (text may differ slightly), and a quick click on the lamp (press and
# release together, as xdotool's click 1) must set "switch", read back from the saved session.
#   tests/host/ardour_lv2_trial.sh LV2_BUNDLE GRAB_TOOL GOLDEN.png
# Exits 77 (skipped) when Ardour, Xvfb or xdotool is missing.
set -eu
# shellcheck source=../support/ardour_session.sh
. "$(dirname "$0")/../support/ardour_session.sh"
bundle=$1
grab=$2
golden=$3
for program in Xvfb xdotool ardour ardour7-lua; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (Debian packages ardour, xvfb, xdotool)"; exit 77; }
done

ardour_begin
export LV2_PATH="$work/lv2"
mkdir -p "$LV2_PATH"
cp -r "$bundle" "$LV2_PATH/"
ardour_session urn:brackwater:flanger LV2 lv2
ardour_show "$grab" "$golden"

# The sync lamp at (262, 146): a quick click turns sync on.
xdotool mousemove --window "$editor" 262 146 click 1
sleep 1

# Read the values back from the host: save the session (a click into the main window, away from
# the editor, gives it the keyboard) and find the parameters' controls in it.
value_of() { sed -n "s/.*<Port symbol=\"$1\" value=\"\([^\"]*\)\".*/\1/p" "$file" | head -n 1; }
before=$(value_of switch)
switch_value() { value_of switch; }
ardour_save_until switch_value "$before"
echo "switch in the session: ${before:-?} before the lamp's quick click, ${after:-?} after"
awk -v s="${after:-0}" 'BEGIN { exit !(s + 0 > 0.5) }' ||
    { echo "FAIL: the quick click on the lamp did not set switch"; exit 1; }
echo "the LV2 UI opened in the host as the editor's golden, and a quick click on the lamp set switch"
