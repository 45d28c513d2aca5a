#!/bin/sh
# Prints what an open editor costs with nothing changing: the flanger module's editor opened
# under a private Xvfb, idled every 20 ms for SECONDS (default 10), with CPU time per second of
# wall time of the idling thread and the pixels presented meanwhile (target: under 1 % of one
# core, nothing presented).
#   bench/editor_idle.sh [BUILD_DIR] [SECONDS] [MODULE]   (default: build, 10, the flanger module)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
seconds=${2:-10}
module=${3:-"$build/BrackwaterFlanger.so"}
program="$build/bench/flanger_editor_idle"
[ -x "$program" ] || { echo "no $program: build the project first (scripts/build.sh)" >&2; exit 1; }
[ -f "$module" ] || { echo "no $module: build the project first (scripts/build.sh)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/deps.sh --test)" >&2; exit 1; }

# Xvfb picks a free display itself and writes its number to the file descriptor given.
work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

echo "module: $module"
"$program" "$module" "$seconds"
