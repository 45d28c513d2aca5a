#!/bin/sh
# The LV2 bundle tried in a real host, as a user would: Ardour under a private Xvfb with its
# Dummy audio backend finds the bundle in its LV2 scan; the plug-in on a stereo track of a
# session made headlessly through Ardour's Lua tool, its LV2 UI open. The UI must look like the
# editor's golden picture (text may differ slightly), and a quick click on the lamp (press and
# release together, as xdotool's click 1) must set "switch", read back from the saved session.
#   tests/host/ardour_lv2_trial.sh LV2_BUNDLE GRAB_TOOL GOLDEN.png
# Exits 77 (skipped) when Ardour, Xvfb or xdotool is missing.
set -eu
# shellcheck source=../support/private_xvfb.sh
. "$(dirname "$0")/../support/private_xvfb.sh"
bundle=$1
grab=$2
golden=$3
for program in Xvfb xdotool ardour ardour7-lua; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (Debian packages ardour, xvfb, xdotool)"; exit 77; }
done

work=$(mktemp -d)
host=""
cleanup() {
    set +e  # a killed process's wait fails: everything here must still run
    if [ -n "$host" ]; then
        for child in $(ps -o pid= --ppid "$host"); do kill "$child" 2>/dev/null; done
        kill "$host" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$host" 2>/dev/null
        wait "$host" 2>/dev/null
    fi
    private_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Ardour keeps everything under these; none of the user's own settings are read or touched.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export LV2_PATH="$work/lv2"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7" "$LV2_PATH"
cp -r "$bundle" "$LV2_PATH/"
# Not a first run (no welcome dialogs); the Dummy backend offered and started without asking.
touch "$XDG_CONFIG_HOME/ardour7/.a7"
cat >"$XDG_CONFIG_HOME/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="try-autostart-engine" value="1"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device="" output-device="" sample-rate="48000" buffer-size="1024" n-periods="0" input-latency="0" output-latency="0" lm-input="" lm-output="" active="1" use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
EOF

session="$work/trial"  # Ardour opens a folder by the snapshot of its own name
cat >"$work/make-session.lua" <<EOF
AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session("$session", "trial", 48000)
assert(s, "no session")
local track = s:new_audio_track(2, 2, nil, 1, "Flanged", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local plugin = ARDOUR.LuaAPI.new_plugin(s, "urn:brackwater:flanger", ARDOUR.PluginType.LV2, "")
assert(not plugin:isnil(), "the host does not know the plug-in")
track:front():add_processor_by_index(plugin, 0, nil, true)
s:save_state("", false, false, false, false, false)
close_session()
EOF
timeout 120 ardour7-lua "$work/make-session.lua" >"$work/lua.log" 2>&1 ||
    { echo "FAIL: the session could not be made:"; tail -n 20 "$work/lua.log"; exit 1; }
file="$session/trial.ardour"
route=$(sed -n 's/.*<Route [^>]*id="\([0-9]*\)" name="Flanged".*/\1/p' "$file")
insert=$(sed -n 's/.*<Processor id="\([0-9]*\)" name="Brackwater Flanger".*type="lv2".*/\1/p' "$file")
if [ -z "$route" ] || [ -z "$insert" ]; then
    echo "FAIL: no track with the plug-in in the session"
    exit 1
fi
# The plug-in's window is saved as open, so the host opens the editor as it loads the session.
sed -i "s|</Session>|  <Extra><UI><Window name=\"P-$route-$insert\" visible=\"1\" x-off=\"140\" y-off=\"80\" custom-ui=\"1\"/></UI></Extra>\n</Session>|" "$file"

private_xvfb_start "$work" 1280x900 || exit 1

# -a: no announcements fetched from the network.
ardour -a -n "$session" >"$work/ardour.log" 2>&1 &
host=$!
matched=""
for _ in $(seq 120); do
    sleep 0.5
    kill -0 "$host" 2>/dev/null || { echo "FAIL: the host ended:"; tail -n 20 "$work/ardour.log"; exit 1; }
    if "$grab" "$work/opened.png" "$golden" >"$work/grab.out" 2>&1; then
        matched=yes
        break
    fi
done
cat "$work/grab.out"
[ -n "$matched" ] || { echo "FAIL: no editor like $golden was shown within a minute"; exit 1; }

editor=$(sed -n 's/^editor window \([0-9]*\),.*/\1/p' "$work/grab.out")
# The sync lamp at (262, 146): a quick click turns sync on.
xdotool mousemove --window "$editor" 262 146 click 1
sleep 1

# Read the values back from the host: save the session (a click into the main window, away from
# the editor, gives it the keyboard) and find the parameters' controls in it.
value_of() { sed -n "s/.*<Port symbol=\"$1\" value=\"\([^\"]*\)\".*/\1/p" "$file" | head -n 1; }
before=$(value_of switch)
after=""
for _ in $(seq 10); do
    xdotool mousemove 900 650 click 1 sleep 0.3 key ctrl+s
    sleep 1
    after=$(value_of switch)
    [ -n "$after" ] && [ "$after" != "$before" ] && break
done
echo "switch in the session: ${before:-?} before the lamp's quick click, ${after:-?} after"
awk -v s="${after:-0}" 'BEGIN { exit !(s + 0 > 0.5) }' ||
    { echo "FAIL: the quick click on the lamp did not set switch"; exit 1; }
echo "the LV2 UI opened in the host as the editor's golden, and a quick click on the lamp set switch"
