#!/bin/sh
# Prints the engine's instructions per stereo frame (44.1 kHz, 512-frame blocks, 10 s of noise)
# as callgrind counts them: the instruction program with processing, minus the same program
# without it. Then the median time per stereo frame from the Google Benchmark.
#   bench/instructions.sh [BUILD_DIR]     (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
program="$build/bench/flanger_instructions"
timer="$build/bench/flanger_bench"
[ -x "$program" ] || { echo "no $program: build the project first (scripts/build.sh)" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/deps.sh --test)" >&2; exit 1; }

count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program" "$@" 2>&1 |
        sed -n 's/.*Collected : *//p; s/.*I *refs: *//p' | tr -d , | head -n 1
}
frames=$("$program" | sed -n 's/^frames \([0-9]*\).*/\1/p')
for mode in default sync; do
    flag=""
    [ "$mode" = sync ] && flag="--sync"
    with=$(count $flag)
    without=$(count --no-process $flag)
    echo "$mode: $(( (with - without) / frames )) instructions per stereo frame ($frames frames, $with - $without)"
done

if [ -x "$timer" ]; then
    "$timer" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_filter='Engine(Default|Sync|Silence)' 2>/dev/null |
        awk '/_median/ { for (i = 1; i <= NF; i++) if ($i ~ /^per_stereo_frame=/) { sub("per_stereo_frame=", "", $i); print $1 ": " $i " per stereo frame (CPU time)" } }'
fi
