#!/bin/bash
# Side by side with a peer: CPU time of whole processes rendering the same generated 60 s
# stereo 44.1 kHz file with sox's flanger and with flanger-render (default program), and the
# render tool's floor: the same render through a module that only copies (processing skipped).
# Usage: bench/peers.sh [BUILD_DIR]   (env: RUNS=5, PLUGIN=path to override the module)
set -euo pipefail
build="${1:-build}"
runs="${RUNS:-5}"
render="$build/tools/render/flanger-render"
plugin="${PLUGIN:-$build/BrackwaterFlanger.so}"
floor="$build/bench/libflanger_passthrough.so"
for need in "$render" "$plugin" "$floor"; do
    [ -e "$need" ] || { echo "peers.sh: $need is missing; build first" >&2; exit 1; }
done
command -v sox >/dev/null || { echo "peers.sh: sox is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A sweep with noise on both channels: broadband like music, the same for both tools.
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 sine 110-1760 pinknoise vol 0.4

# Total user + system seconds of RUNS runs of the command.
cpu_seconds() {
    local total=0 one
    for _ in $(seq "$runs"); do
        one=$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 )
        total=$(awk -v t="$total" -v o="$one" 'BEGIN { split(o, p, " "); printf "%.3f", t + p[1] + p[2] }')
    done
    echo "$total"
}

# All write 32-bit float WAV, so only the processing differs.
sox_time=$(cpu_seconds sox "$work/in.wav" -e floating-point -b 32 "$work/sox.wav" flanger)
render_time=$(cpu_seconds "$render" "$work/in.wav" "$work/render.wav" --float --plugin "$plugin")
floor_time=$(cpu_seconds "$render" "$work/in.wav" "$work/floor.wav" --float --plugin "$floor")

awk -v s="$sox_time" -v r="$render_time" -v f="$floor_time" -v n="$runs" 'BEGIN {
    ratio = s > 0 ? r / s : 0
    printf "sox flanger:    %.3f s CPU per run (%d runs)\n", s / n, n
    printf "flanger-render: %.3f s CPU per run\n", r / n
    printf "floor:          %.3f s CPU per run (the render through a module that only copies)\n", f / n
    floorRatio = s > 0 ? f / s : 0
    overFloor = f > 0 ? r / f : 0
    printf "ratio flanger-render / sox = %.2f, floor / sox = %.2f, render / floor = %.2f\n", ratio, floorRatio, overFloor
    printf "target <= 0.30 of sox: %s\n", (ratio <= 0.30 ? "met" : "not met")
}'
