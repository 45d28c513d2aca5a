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
#   ardour_play WAV              puts the stereo WAV (at the session's 48 kHz) on the track as one
#                                region at the start, without fades: what the track plays
#   ardour_lua FILE              runs the Lua in FILE headlessly on the saved $session, with
#                                `session` loaded and export_wav(NAME, FRAMES) to export the first
#                                FRAMES of the master bus to $work/export/NAME.wav (32-bit float,
#                                no dither, no normalising); closes the session without saving;
#                                runs it again where the host's tool crashed
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
-- The host connects new tracks from a thread of its own, which a save right away may miss: the
-- track's sound reaches the master bus whatever that thread has done by then.
for c = 0, 1 do
    local out = track:front():output():audio(c)
    local master = s:master_out():input():audio(c):name()
    if not out:connected_to(master) then out:connect(master) end
end
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


ardour_play() {
    audio="$session/interchange/trial/audiofiles"
    mkdir -p "$audio"
    # One mono file per channel, named as the host names its own takes.
    sox "$1" -e floating-point -b 32 "$audio/input%L.wav" remix 1
    sox "$1" -e floating-point -b 32 "$audio/input%R.wav" remix 2
    # Lengths and positions are in the host's superclock, 282240000 ticks a second.
    length=$(($(soxi -s "$1") * 282240000 / 48000))
    # IDs far above the session's counter, so nothing the host makes later collides with them.
    sources='    <Source name="input%L.wav" type="audio" flags="" id="9000001" captured-for="" channel="0" origin="" gain="1"/>\n    <Source name="input%R.wav" type="audio" flags="" id="9000002" captured-for="" channel="0" origin="" gain="1"/>'
    region() {
        echo "<Region name=\"$1\" muted=\"0\" opaque=\"1\" locked=\"0\" automatic=\"0\" whole-file=\"$2\" start=\"a0\" length=\"a$length@a0\" sync-position=\"a0\" layering-index=\"0\" fade-in-active=\"0\" fade-out-active=\"0\" id=\"$3\" type=\"audio\" source-0=\"9000001\" source-1=\"9000002\" master-source-0=\"9000001\" master-source-1=\"9000002\" channels=\"2\"/>"
    }
    sed -i -e "s|<Sources/>|<Sources>\n$sources\n  </Sources>|" \
        -e "s|<Regions/>|<Regions>\n    $(region input 1 9000003)\n  </Regions>|" \
        -e "s|\(<Playlist [^>]*name=\"Flanged\"[^>]*\)/>|\1>\n      $(region input.1 0 9000004)\n    </Playlist>|" "$file"
    grep -q 'id="9000004"' "$file" || { echo "FAIL: the input could not be put on the track"; exit 1; }
}

ardour_lua() {
    export_dir="$work/export"
    # The host finds export formats and presets in its configuration folder: one of our own, so
    # two exports of the same signal are the same bytes.
    mkdir -p "$XDG_CONFIG_HOME/ardour7/export" "$export_dir"
    cat >"$XDG_CONFIG_HOME/ardour7/export/trial.format" <<'FORMAT'
<?xml version="1.0" encoding="UTF-8"?>
<ExportFormatSpecification name="Trial float WAV" id="6b1e3c2a-7f4d-4c1b-9a55-0d2f8e7c4b11" with-cue="false" with-toc="false" with-mp4chaps="false" command="" analyse="false" soundcloud-upload="false">
  <Encoding id="F_WAV" type="T_Sndfile" extension="wav" name="WAV" has-sample-format="true" channel-limit="256"/>
  <SampleRate rate="SR_Session"/>
  <SRCQuality quality="SRC_SincBest"/>
  <EncodingOptions>
    <Option name="sample-format" value="SF_Float"/>
    <Option name="dithering" value="D_None"/>
    <Option name="tag-metadata" value="false"/>
    <Option name="tag-support" value="false"/>
    <Option name="broadcast-info" value="false"/>
  </EncodingOptions>
  <Processing>
    <Normalize enabled="false" loudness="no" dbfs="0" lufs="-23" dbtp="-1"/>
    <Silence>
      <Start><Trim enabled="false"/><Add enabled="false"><Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/></Add></Start>
      <End><Trim enabled="false"/><Add enabled="false"><Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/></Add></End>
    </Silence>
  </Processing>
</ExportFormatSpecification>
FORMAT
    cat >"$XDG_CONFIG_HOME/ardour7/export/trial.preset" <<'PRESET'
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="3c9d5e1f-2a4b-4e6d-8f10-5b7a9c2e4d01" name="Trial float WAV">
  <ExportFormat id="6b1e3c2a-7f4d-4c1b-9a55-0d2f8e7c4b11"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="1"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
PRESET
    {
        cat <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
session = load_session("$session", "trial")
assert(session, "the session did not load")
-- Each export has an exporter of its own (one run again leaves its later exports empty), collected
-- before the next is made, while no export runs.
function export_wav(name, frames)
    local exporter = session:simple_export()
    assert(exporter:set_preset("3c9d5e1f-2a4b-4e6d-8f10-5b7a9c2e4d01"), "the host lacks the export preset")
    exporter:set_folder("$export_dir")
    exporter:set_name(name)
    exporter:set_range(0, frames)
    local done = exporter:run_export()
    exporter = nil
    collectgarbage()
    assert(done, "the export failed")
end
LUA
        # In a block of its own, so nothing of the session is still held when it closes.
        echo "do"
        cat "$1"
        # The host's Lua tool may end well after an error: the last line proves the script ran.
        printf '\nend\ncollectgarbage()\nclose_session()\nprint("lua: the script ran to its end")\n'
    } >"$work/run.lua"
    # Ardour 7.3's tools crash now and then in their export code, with no plug-in in the session
    # as well (a third of the runs here): a script the host itself crashed in runs again.
    for attempt in 1 2 3 4 5 6 7 8; do
        status=0
        timeout 120 ardour7-lua "$work/run.lua" >"$work/lua.log" 2>&1 || status=$?
        grep -q '^lua: the script ran to its end' "$work/lua.log" && return 0
        [ "$status" -gt 128 ] && [ "$status" -ne 124 ] || break
        echo "the host's Lua tool crashed (status $status, attempt $attempt): running $(basename "$1") again"
    done
    if [ "$status" -eq 124 ]; then
        echo "FAIL: the Lua script $1 did not end within two minutes: the host hung. It printed:"
    else
        echo "FAIL: the Lua script $1 did not run through (status $status):"
    fi
    grep -v '^\[ERROR\]: Ignored format' "$work/lua.log" | tail -n 20
    exit 1
}
