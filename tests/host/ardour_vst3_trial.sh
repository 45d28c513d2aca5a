#!/bin/sh
# The VST3 bundle tried in a real host, as a user would: Ardour's VST3 scanner lists it; on a track
# of a session made headlessly through Ardour's Lua tool, playing a test signal, it exports the
# same samples as the VST 2.x module at the same settings (a still sweep: Depth and Rate at 0), and
# again after both picked the same factory program; saved and loaded again, its values and
# program come back; exported disabled, it passes the input through. Then Ardour under a private
# Xvfb shows its editor like the golden picture, and a quick click on the lamp (press and release
# together, as xdotool's click 1) turns sync on, read back from the saved session.
#   tests/host/ardour_vst3_trial.sh VST3_BUNDLE VST_MODULE GRAB_TOOL GOLDEN.png
# Exits 77 (skipped) when Ardour, Xvfb, xdotool or sox is missing.
set -eu
# shellcheck source=../support/ardour_session.sh
. "$(dirname "$0")/../support/ardour_session.sh"
bundle=$1
module=$2
grab=$3
golden=$4
lib=/usr/lib/ardour7
for program in Xvfb xdotool ardour ardour7-lua sox soxi "$lib/ardour-vst3-scanner" "$lib/ardour-vst-scanner"; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (Debian packages ardour, xvfb, xdotool, sox)"; exit 77; }
done
started=$(date +%s)
uid=4277466C616E6765725633019E3779B9

ardour_begin
export VST3_PATH="$work/vst3" LXVST_PATH="$work/vst" VST_PATH="$work/vst"
mkdir -p "$VST3_PATH" "$LXVST_PATH"
cp -r "$bundle" "$VST3_PATH/BrackwaterFlanger.vst3"
cp "$module" "$LXVST_PATH/BrackwaterFlanger.so"
# The host trusts its cache only when it is newer than the module, to the second: a copy made in
# the same second as the scan would count as changed since.
find "$VST3_PATH" "$LXVST_PATH" -exec touch -d '-10 seconds' {} +

# Both scanners fill the cache the Lua tool and the host read. The VST3 one ends with 0 even when
# a module fails, so what it printed and wrote is what counts; it is given the path the host uses.
LD_LIBRARY_PATH=$lib timeout 120 "$lib/ardour-vst3-scanner" -f "$VST3_PATH/BrackwaterFlanger.vst3" >"$work/scan3.log" 2>&1 || true
cache=$(find "$XDG_CACHE_HOME/ardour7/vst" -name '*.v3i' 2>/dev/null | head -n 1)
if ! grep -q "Found Plugin" "$work/scan3.log" || [ -z "$cache" ] || ! grep -q "$uid" "$cache"; then
    echo "FAIL: the host's VST3 scanner did not list the bundle:"
    cat "$work/scan3.log"
    exit 1
fi
[ -n "$(find "$cache" -newer "$VST3_PATH/BrackwaterFlanger.vst3/Contents/x86_64-linux/BrackwaterFlanger.so")" ] ||
    { echo "FAIL: the scan cache is not newer than the module: the host would not trust it"; exit 1; }
LD_LIBRARY_PATH=$lib timeout 120 "$lib/ardour-vst-scanner" -f "$LXVST_PATH/BrackwaterFlanger.so" >"$work/scan.log" 2>&1 ||
    { echo "FAIL: the host's scanner refused the VST 2.x module:"; cat "$work/scan.log"; exit 1; }
echo "the VST3 scanner lists the bundle ($(basename "$cache"))"

# Two seconds of pink noise, each channel its own, the same every run (-R).
sox -R -n -r 48000 -c 2 -b 32 -e floating-point "$work/input.wav" synth 2 pinknoise pinknoise vol 0.3
frames=96000
# A session for each format, so neither plug-in is switched off and on while the engine runs.
ardour_session BrackwaterFlanger LXVST lxvst
ardour_play "$work/input.wav"
mv "$session" "$work/reference"
ardour_session "$uid" VST3 vst3
ardour_play "$work/input.wav"

# What both sessions' scripts share: parameters by name, in the plug-in's own units (VST3: the
# display units; VST 2.x: 0 … 1).
cat >"$work/common.lua" <<'LUA'
local plugin = session:route_by_name("Flanged"):nth_plugin(0)
assert(not plugin:isnil(), "no plug-in on the track")
local names = {"Feedback", "Delay", "Depth", "Stereo", "Switch", "Rate", "SyncBeat", "TmpSync", "ShapeSync", "Output", "Mix"}
local function index_of(name)
    local p = plugin:to_insert():plugin(0)
    for i = 0, p:parameter_count() - 1 do
        if p:parameter_label(i) == name then return i end
    end
    error("no parameter " .. name)
end
local function get(name) return ARDOUR.LuaAPI.get_processor_param(plugin, index_of(name), true) end
local function set(name, value)
    assert(ARDOUR.LuaAPI.set_processor_param(plugin, index_of(name), value), "cannot set " .. name)
end
-- A value in 0 … 1, through the range the plug-in states.
local function normalised(name, value)
    local _, t = plugin:to_insert():plugin(0):get_parameter_descriptor(index_of(name), ARDOUR.ParameterDescriptor())
    return (value - t[2].lower) / (t[2].upper - t[2].lower)
end
-- A factory program, picked through the host's program list (for the VST3: its Program parameter).
local function pick(label)
    local p = plugin:to_insert():plugin(0)
    local preset = p:preset_by_label(label)
    assert(preset, "the host lists no program " .. label)
    assert(p:load_preset(preset), "the program did not load")
end
-- Parameter and program changes reach a plug-in with the engine's next cycles.
local function settle() ARDOUR.LuaAPI.usleep(300000) end
LUA

# The VST3: a still sweep (Depth and Rate at 0) with everything else away from its default; the
# program Siren with the sweep stilled; disabled by the host's enable button. Nothing is saved, so
# a run the host crashed in starts again from the same session.
{
    cat "$work/common.lua"
    cat <<'LUA'
for name, value in pairs({Depth = 0, Rate = 0, Feedback = 70, Delay = 2.5, Stereo = 80, Mix = 60, Output = 90}) do
    set(name, value)
end
settle()
-- All eleven as the VST 2.x module is to have them.
for _, name in ipairs(names) do print(string.format("still %s %.17g", name, normalised(name, get(name)))) end
export_wav("vst3", FRAMES)
pick("Siren")
settle()
for _, name in ipairs(names) do print(string.format("program %s %.5f", name, normalised(name, get(name)))) end
set("Depth", 0)
set("Rate", 0)
settle()
export_wav("program-vst3", FRAMES)
plugin:to_insert():enable(false)
settle()
print(string.format("bypass active=%s Bypass=%g", tostring(plugin:active()), get("Bypass")))
export_wav("bypassed", FRAMES)
LUA
} | sed "s/FRAMES/$frames/g" >"$work/vst3.lua"
ardour_lua "$work/vst3.lua"
cp "$work/lua.log" "$work/vst3.log"

# The VST 2.x module in the same session, at the same settings in its own 0 … 1.
{
    cat "$work/common.lua"
    sed -n 's/^still \([A-Za-z]*\) \(.*\)$/set("\1", \2)/p' "$work/vst3.log"
    cat <<'LUA'
settle()
export_wav("vst2", FRAMES)
pick("Siren")
settle()
for _, name in ipairs(names) do print(string.format("program %s %.5f", name, get(name))) end
set("Depth", 0)
set("Rate", 0)
settle()
export_wav("program-vst2", FRAMES)
LUA
} | sed "s/FRAMES/$frames/g" >"$work/vst2.lua"
vst3_session=$session
session="$work/reference"
ardour_lua "$work/vst2.lua"
cp "$work/lua.log" "$work/vst2.log"
session=$vst3_session

raw() { sox "$1" -t f32 "$2" 2>/dev/null; }
for name in vst3 vst2 program-vst3 program-vst2 bypassed; do
    [ -s "$export_dir/$name.wav" ] || { echo "FAIL: the host exported no $name.wav"; exit 1; }
    raw "$export_dir/$name.wav" "$work/$name.f32"
done
raw "$work/input.wav" "$work/input.f32"
! cmp -s "$work/vst3.f32" "$work/input.f32" || { echo "FAIL: the VST3 did not change the sound"; exit 1; }
# The samples, not the files: the float WAV's PEAK chunk carries the time of writing.
cmp "$work/vst3.f32" "$work/vst2.f32" ||
    { echo "FAIL: the VST3 export differs from the VST 2.x module's at the same settings"; exit 1; }
echo "exported at the same settings, the VST3 and the VST 2.x module give the same samples, bit for bit"

# The program's values as both plug-ins report them, in 0 … 1, then its sound.
grep '^program' "$work/vst3.log" >"$work/program.vst3"
grep '^program' "$work/vst2.log" >"$work/program.vst2"
if [ "$(wc -l <"$work/program.vst3")" -ne 11 ] || ! cmp -s "$work/program.vst3" "$work/program.vst2"; then
    echo "FAIL: the program's values differ (VST3, then VST 2.x):"
    paste "$work/program.vst3" "$work/program.vst2"
    exit 1
fi
cmp "$work/program-vst3.f32" "$work/program-vst2.f32" ||
    { echo "FAIL: the program picked in the VST3 does not sound as in the VST 2.x module"; exit 1; }
echo "the program picked through the host sets the same values and sounds the same in both"

grep -q '^bypass active=true Bypass=1$' "$work/vst3.log" ||
    { echo "FAIL: the enable button did not bypass the running plug-in:"; grep '^bypass' "$work/vst3.log"; exit 1; }
# 10 ms at 48 kHz are 480 stereo frames of 8 bytes.
cmp -i 3840 "$work/bypassed.f32" "$work/input.f32" ||
    { echo "FAIL: disabled, the VST3 does not pass its input through after 10 ms"; exit 1; }
echo "disabled, the VST3 passes its input through"

# The program Siren picked and every value away from it, saved for the next load.
{
    cat "$work/common.lua"
    cat <<'LUA'
pick("Siren")
settle()
for name, value in pairs({Feedback = 35, Delay = 12.5, Depth = 40, Stereo = 65, Rate = 1.5, SyncBeat = 5,
                          TmpSync = 3, ShapeSync = 4, Output = 80, Mix = 70}) do
    set(name, value)
end
settle()
for _, name in ipairs(names) do print(string.format("saved %s %.5f", name, get(name))) end
session:save_state("", false, false, false, false, false)
LUA
} >"$work/save.lua"
ardour_lua "$work/save.lua"
grep '^saved' "$work/lua.log" >"$work/values.before"

# The plug-in's own state as the host stores it in the session: inside a preset container of the
# host's, our block of "BWFS", version and size of what follows (little-endian), the bank, then
# the current program (int32).
state_of() {
    tr -d '\n' <"$1" | sed -n 's/.*type="vst3"[^>]*>.*<chunk>\([^<]*\)<\/chunk>.*/\1/p' | base64 -d >"$work/container"
    at=$(grep -obUa BWFS "$work/container" | head -n 1 | cut -d: -f1)
    if [ -z "$at" ]; then
        : >"$2"
        return
    fi
    size=$(od -An -tu4 -j $((at + 8)) -N 4 "$work/container" | tr -d ' ')
    tail -c +$((at + 1)) "$work/container" | head -c $((12 + size)) >"$2"
}
state_of "$file" "$work/saved.state"
cat >"$work/reload.lua" <<'LUA'
local vst3 = session:route_by_name("Flanged"):nth_plugin(0)
assert(not vst3:isnil(), "no VST3 on the track after loading")
local plugin = vst3:to_insert():plugin(0)
for i = 0, plugin:parameter_count() - 1 do
    local name = plugin:parameter_label(i)
    if name ~= "Bypass" then
        print(string.format("saved %s %.5f", name, ARDOUR.LuaAPI.get_processor_param(vst3, i, true)))
    end
end
print("program " .. plugin:last_preset().label)
-- Saved again, the host asks the plug-in for its state afresh.
session:save_state("", false, false, false, false, false)
LUA
ardour_lua "$work/reload.lua"
state_of "$file" "$work/reloaded.state"
grep '^saved' "$work/lua.log" >"$work/values.after"
if ! cmp -s "$work/values.before" "$work/values.after"; then
    echo "FAIL: the values did not come back after loading:"
    diff "$work/values.before" "$work/values.after" || true
    exit 1
fi
program=$(tail -c 4 "$work/reloaded.state" | od -An -td4 | tr -d ' ')
if ! [ -s "$work/saved.state" ] ||
    ! grep -q '^program Siren$' "$work/lua.log" || [ "$program" != 2 ] ||
    ! cmp -s "$work/saved.state" "$work/reloaded.state"; then
    echo "FAIL: the program or state did not come back after loading (program ${program:-?})"
    exit 1
fi
echo "saved and loaded again, every value and the program (Siren) came back"

# The editor, at the defaults its golden picture shows: a fresh session, saved with it open.
mv "$session" "$work/saved"
ardour_session "$uid" VST3 vst3
ardour_show "$grab" "$golden"
# The sync lamp at (262, 146): a quick click turns sync on.
xdotool mousemove --window "$editor" 262 146 click 1
sleep 1
value_of() { sed -n "s/.*<Controllable name=\"$1\"[^>]* value=\"\([^\"]*\)\".*/\1/p" "$file" | head -n 1; }
before=$(value_of Switch)
switch_value() { value_of Switch; }
ardour_save_until switch_value "$before"
echo "Switch in the session: ${before:-?} before the lamp's quick click, ${after:-?} after"
awk -v s="${after:-0}" 'BEGIN { exit !(s + 0 > 0.5) }' ||
    { echo "FAIL: the quick click on the lamp did not turn sync on"; exit 1; }
echo "the VST3 editor opened in the host as its golden, and a quick click on the lamp turned sync on"
echo "the trial took $(($(date +%s) - started)) s"
