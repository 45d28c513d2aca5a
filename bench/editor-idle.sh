#!/bin/sh
# What an open editor costs while it idles: flanger-host shows the module's editor under a private
# Xvfb and idles it every 20 ms and every 10 ms for SECONDS (default 30), static (nothing changes)
# and animating ("Depth" moved before every idle, as automation would). Each figure is the host's
# CPU time per second of wall time less the same run without the editor opened (the host alone),
# in % of one core; targets: under 1 % static, under 3 % animating. The pixels presented during
# each editor run are counted too (none while static). A measurement, not a test: run it on a
# quiet machine (see uptime) and repeat when in doubt.
#   bench/editor-idle.sh [BUILD_DIR] [SECONDS] [MODULE]   (default: build, 30, the flanger module)
set -eu
# shellcheck source=../tests/support/private_xvfb.sh
. "$(dirname "$0")/../tests/support/private_xvfb.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
seconds=${2:-30}
module=${3:-"$build/BrackwaterFlanger.so"}
host="$build/tools/host/flanger-host"
counter="$build/bench/flanger_present_count"
for program in "$host" "$counter"; do
    [ -x "$program" ] || { echo "no $program: build the project first (scripts/build.sh)" >&2; exit 1; }
done
[ -f "$module" ] || { echo "no $module: build the project first (scripts/build.sh)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/deps.sh --test)" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
    set +e  # a killed process's wait fails: everything here must still run
    private_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
private_xvfb_start "$work" || exit 1

# One run of the host; prints its CPU in ms per wall second. The host measures after its first
# second (the first paint, fonts and shared memory are not idling), so it runs one second longer.
cpu_of() {
    "$host" --editor "$module" --seconds "$((seconds + 1))" --cpu "$@" >"$work/run.out" 2>"$work/run.err" || {
        echo "flanger-host failed:" >&2
        cat "$work/run.err" >&2
        exit 1
    }
    sed -n 's/^cpu: \([0-9.]*\) ms per second.*/\1/p' "$work/run.out"
}

echo "module: $module"
echo "$seconds s per run; CPU in % of one core: with the editor, the host alone, the editor's share"
printf '%-8s %-10s %9s %9s %9s %7s  %s\n' idle case editor host share target presented
for idle in 20 10; do
    for case in static animating; do
        set -- --idle-ms "$idle"
        target=1
        if [ "$case" = animating ]; then
            set -- "$@" --animate Depth
            target=3
        fi
        alone=$(cpu_of --no-open "$@")
        # The counter covers the measured part of the editor run, from after the host's warm-up.
        (sleep 1.5 && "$counter" "$((seconds - 1))" >"$work/present.out" 2>&1) &
        watcher=$!
        with=$(cpu_of "$@")
        wait "$watcher" || true
        presented=$(sed -n 's/^presented: \([0-9]*\) pixels.*/\1 pixels/p' "$work/present.out")
        awk -v idle="$idle ms" -v c="$case" -v with="$with" -v alone="$alone" -v target="$target" \
            -v presented="${presented:-not counted}" 'BEGIN {
                share = (with - alone) / 10
                printf "%-8s %-10s %8.3f%% %8.3f%% %8.3f%% %6s%%  %s%s\n", idle, c, with / 10, alone / 10, share,
                       "<" target, presented, share < target ? "" : "   OVER THE TARGET"
            }'
    done
done
