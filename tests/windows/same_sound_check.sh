#!/bin/sh
# The same sound on both systems: the eight factory programs rendered over one fixed input by
# the Linux module and, under Wine, by the Windows DLL, the Windows VST3 bundle and the Windows
# CLAP module, through the same test host code, must be the same bytes. Skips (77) when the Windows build, Wine or sox is
# missing.
#   tests/windows/same_sound_check.sh LINUX_HOST LINUX_MODULE WINDOWS_BUILD_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
host="$1"
module="$2"
windows="$3"
dll="$windows/BrackwaterFlanger.dll"
bundle="$windows/vst3/BrackwaterFlanger.vst3"
clap="$windows/clap/BrackwaterFlanger.clap"
exe="$windows/tools/host/flanger-host.exe"
for f in "$dll" "$bundle/Contents/x86_64-win/BrackwaterFlanger.vst3" "$clap" "$exe"; do
    [ -e "$f" ] || { echo "skipped: no $f (scripts/build-windows.sh builds it)"; exit 77; }
done
command -v wine >/dev/null || { echo "skipped: wine is not installed (scripts/deps.sh --windows)"; exit 77; }
command -v sox >/dev/null || { echo "skipped: sox is not installed (scripts/deps.sh --test)"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

status=0
# Two settings: the default host block, and small blocks at a high rate (the sweep's other cut).
for setting in "44100 512" "96000 64"; do
    set -- $setting
    rate=$1
    block=$2
    # Sweeps under a tremolo and a fade, as the render checksums use: the feedback, the sweep and
    # the tempo-locked programs all have something to act on.
    sox -n -r "$rate" -c 2 -b 32 -e floating-point -t raw "$work/in.f32" \
        synth 2 sine 110-1760 sine 165-2640 tremolo 4 60 fade 0 2 0.5 gain -3
    program=0
    while [ "$program" -lt 8 ]; do
        options="--program $program --rate $rate --block $block --tempo 128"
        "$host" --render "$module" "$work/in.f32" "$work/linux.f32" $options
        linux=$(sha256sum <"$work/linux.f32" | cut -c1-16)
        for plugin in "$dll" "$bundle" "$clap"; do
            name=${plugin##*/}
            "$here/../../scripts/wine-run.sh" "$exe" --render "$plugin" "$work/in.f32" "$work/windows.f32" $options
            if cmp -s "$work/linux.f32" "$work/windows.f32"; then
                echo "rate $rate block $block program $program $name: same ($linux)"
            else
                echo "rate $rate block $block program $program $name: DIFFERENT (linux $linux, windows" \
                    "$(sha256sum <"$work/windows.f32" | cut -c1-16), first difference at byte" \
                    "$(cmp "$work/linux.f32" "$work/windows.f32" | sed -n 's/.* byte \([0-9]*\).*/\1/p'))"
                status=1
            fi
        done
        program=$((program + 1))
    done
done
exit "$status"
