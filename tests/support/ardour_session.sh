# shellcheck shell=sh
# Sourced by the Ardour trials: Ardour under a private Xvfb with its Dummy audio backend, with
# everything it writes (configuration, cache, session) in one temporary folder, a session with
# the plug-in on a stereo track made headlessly through its Lua tool, and the plug-in's window
# saved as open so the host shows it as it loads the session.
#   ardour_begin                 makes $work, points Ardour's folders into it, cleans up at exit
#   ardour_session NAME TYPE PROCESSOR_TYPE [WINDOW_ATTRIBUTES]
#                                the session ($session, $file) with plug-in NAME of TYPE (LXVST,
#                                LV2), found in the saved session as a processor of PROCESSOR_TYPE
#   ardour_show GRAB GOLDEN      starts the host and waits until GRAB finds an editor like GOLDEN
#                                (sets $host, and $editor: the editor's window)
#   ardour_save_until FUNCTION BEFORE
#                                saves the session (Ctrl+S in the main window) until FUNCTION
#                                answers something other than BEFORE; the answer is in $after
# shellcheck source=private_xvfb.sh
. "$(dirname "$0")/../support/private_xvfb.sh"

ardour_cleanup() {
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

ardour_begin() {
    work=$(mktemp -d)
    host=""
    trap ardour_cleanup EXIT INT TERM
    # Ardour keeps everything under these; none of the user's own settings are read or touched.
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
    mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7"
    # Not a first run (no welcome dialogs); the Dummy backend offered and started without asking.
    touch "$XDG_CONFIG_HOME/ardour7/.a7"
    cat >"$XDG_CONFIG_HOME/ardour7/config" <<'CONFIG'
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
CONFIG
}

ardour_session() {
    session="$work/trial"  # Ardour opens a folder by the snapshot of its own name
    cat >"$work/make-session.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session("$session", "trial", 48000)
assert(s, "no session")
local track = s:new_audio_track(2, 2, nil, 1, "Flanged", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local plugin = ARDOUR.LuaAPI.new_plugin(s, "$1", ARDOUR.PluginType.$2, "")
assert(not plugin:isnil(), "the host does not know the plug-in")
track:front():add_processor_by_index(plugin, 0, nil, true)
s:save_state("", false, false, false, false, false)
close_session()
LUA
    timeout 120 ardour7-lua "$work/make-session.lua" >"$work/lua.log" 2>&1 ||
        { echo "FAIL: the session could not be made:"; tail -n 20 "$work/lua.log"; exit 1; }
    file="$session/trial.ardour"
    route=$(sed -n 's/.*<Route [^>]*id="\([0-9]*\)" name="Flanged".*/\1/p' "$file")
    insert=$(sed -n "s/.*<Processor id=\"\([0-9]*\)\" name=\"[^\"]*\".*type=\"$3\".*/\1/p" "$file")
    if [ -z "$route" ] || [ -z "$insert" ]; then
        echo "FAIL: no track with the plug-in in the session"
        exit 1
    fi
    sed -i "s|</Session>|  <Extra><UI><Window name=\"P-$route-$insert\" visible=\"1\" x-off=\"140\" y-off=\"80\" ${4:-}custom-ui=\"1\"/></UI></Extra>\n</Session>|" "$file"
}

ardour_show() {
    private_xvfb_start "$work" 1280x900 || exit 1
    # -a: no announcements fetched from the network.
    ardour -a -n "$session" >"$work/ardour.log" 2>&1 &
    host=$!
    matched=""
    for _ in $(seq 120); do
        sleep 0.5
        kill -0 "$host" 2>/dev/null || { echo "FAIL: the host ended:"; tail -n 20 "$work/ardour.log"; exit 1; }
        if "$1" "$work/opened.png" "$2" >"$work/grab.out" 2>&1; then
            matched=yes
            break
        fi
    done
    cat "$work/grab.out"
    [ -n "$matched" ] || { echo "FAIL: no editor like $2 was shown within a minute"; exit 1; }
    editor=$(sed -n 's/^editor window \([0-9]*\),.*/\1/p' "$work/grab.out")
}

ardour_save_until() {
    after=""
    for _ in $(seq 10); do
        xdotool mousemove 900 650 click 1 sleep 0.3 key ctrl+s
        sleep 1
        after=$("$1")
        [ -n "$after" ] && [ "$after" != "$2" ] && break
    done
}
