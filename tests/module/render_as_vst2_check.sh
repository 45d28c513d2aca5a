#!/bin/sh
# flanger-host renders the eight factory programs through another format's plug-in (a VST3 bundle
# or a CLAP module) and through the VST 2.x module to the same bytes, at a tempo of its own (the
# tempo-locked programs hear it) and at both block settings. Skips (77) without sox.
#   tests/module/render_as_vst2_check.sh HOST MODULE PLUGIN
set -eu
host="$1"
module="$2"
plugin="$3"
command -v sox >/dev/null || { echo "skipped: sox is not installed (scripts/deps.sh --test)"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

status=0
for setting in "44100 512" "96000 64"; do
    set -- $setting
    sox -n -r "$1" -c 2 -b 32 -e floating-point -t raw "$work/in.f32" \
        synth 2 sine 110-1760 sine 165-2640 tremolo 4 60 fade 0 2 0.5 gain -3
    program=0
    while [ "$program" -lt 8 ]; do
        options="--program $program --rate $1 --block $2 --tempo 128"
        "$host" --render "$module" "$work/in.f32" "$work/vst2.f32" $options
        "$host" --render "$plugin" "$work/in.f32" "$work/other.f32" $options
        if cmp -s "$work/vst2.f32" "$work/other.f32"; then
            echo "rate $1 block $2 program $program: same"
        else
            echo "rate $1 block $2 program $program: DIFFERENT ($(cmp "$work/vst2.f32" "$work/other.f32" || true))"
            status=1
        fi
        program=$((program + 1))
    done
done
# A program the plug-in does not have is refused, as the module refuses it.
if "$host" --render "$plugin" "$work/in.f32" "$work/other.f32" --program 8 2>/dev/null; then
    echo "program 8 was rendered"
    status=1
fi
exit "$status"
