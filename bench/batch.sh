#!/bin/bash
# Batch rendering on every core: wall-clock time of flanger-render --out-dir over 8 generated
# 60 s stereo files with -j 1 and with one job per core, the speed-up, and a check that both
# runs wrote the same bytes.   Usage: bench/batch.sh [BUILD_DIR]   (env: FILES=8, SECONDS_EACH=60)
set -euo pipefail
build="${1:-build}"
files="${FILES:-8}"
length="${SECONDS_EACH:-60}"
render="$build/tools/render/flanger-render"
[ -x "$render" ] || { echo "batch.sh: $render is missing; build first" >&2; exit 1; }
command -v sox >/dev/null || { echo "batch.sh: sox is not installed" >&2; exit 1; }
cores=$(nproc)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
inputs=()
for i in $(seq "$files"); do
    sox -n -r 44100 -c 2 -b 16 "$work/in-$i.wav" synth "$length" sine $((100 * i))-1760 pinknoise vol 0.4
    inputs+=("$work/in-$i.wav")
done

# The best of three runs: the machine's other work only ever adds time.
wall() {
    local best="" start end t
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$render" --gain -3 "$@" >/dev/null
        end=$(date +%s.%N)
        t=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
        best=$(awk -v b="$best" -v t="$t" 'BEGIN { print (b == "" || t < b) ? t : b }')
    done
    echo "$best"
}
one=$(wall --out-dir "$work/j1" -j 1 "${inputs[@]}")
all=$(wall --out-dir "$work/jn" -j "$cores" "${inputs[@]}")
same=yes
for i in $(seq "$files"); do cmp -s "$work/j1/in-$i.wav" "$work/jn/in-$i.wav" || same=no; done
awk -v a="$one" -v b="$all" -v n="$files" -v c="$cores" -v l="$length" -v same="$same" 'BEGIN {
    speedup = b > 0 ? a / b : 0
    printf "%d files of %d s: -j 1 %.2f s, -j %d %.2f s, speed-up %.2fx (target >= 1.8 on 2 cores); outputs identical: %s\n",
        n, l, a, c, b, speedup, same
}'
[ "$same" = yes ]
