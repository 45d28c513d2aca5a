#!/bin/sh
# Prints one checksum per render of the eight factory programs through the built module, at
# 44.1 and 96 kHz with host blocks of 64 and 512 frames (32 lines). Restructuring the code
# must leave every line as it was: the same sound, to the bit.
#   tests/render_checksums.sh [BUILD_DIR]     (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
render="$build/tools/render/flanger-render"
module="$build/BrackwaterFlanger.so"
for f in "$render" "$module"; do
    [ -e "$f" ] || { echo "no $f: build the project first (scripts/build.sh)" >&2; exit 1; }
done
command -v sox >/dev/null || { echo "sox is not installed (scripts/deps.sh --test)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# A deterministic input: two sine sweeps under a 4 Hz tremolo and a decaying pluck, so the
# feedback, the sweep and the tempo-locked programs all have something to act on.
for rate in 44100 96000; do
    sox -n -r "$rate" -c 2 -b 24 "$work/in-$rate.wav" \
        synth 3 sine 110-1760 sine 165-2640 tremolo 4 60 fade 0 3 0.5 gain -3
done

for rate in 44100 96000; do
    for block in 64 512; do
        program=0
        while [ "$program" -lt 8 ]; do
            out="$work/out.wav"
            "$render" --plugin "$module" --program "$program" --block "$block" --tempo 128 --float \
                "$work/in-$rate.wav" "$out" >/dev/null
            # Only the sample data, bit for bit: the header's peak chunk carries a time stamp.
            data=$(grep -obUa -m1 data "$out" | head -n 1 | cut -d: -f1)
            sum=$(tail -c +$((data + 9)) "$out" | sha256sum | cut -c1-16)
            echo "rate $rate block $block program $program $sum"
            program=$((program + 1))
        done
    done
done
