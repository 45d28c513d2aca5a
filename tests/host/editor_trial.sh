#!/bin/sh
# The editor tried as a user would, in flanger-host under a private Xvfb: the editor opens looking
# like its golden picture (text may differ slightly), a drag of the Depth knob with the real
# pointer (xdotool) changes the picture and the Depth parameter the host reads back afterwards.
# Twice: idled every 20 ms, then every 66 ms with effEditIdle also called back from inside the
# plug-in's audioMasterIdle (the slowest hosts' rhythm, and what some hosts do).
#   tests/host/editor_trial.sh HOST_TOOL MODULE GRAB_TOOL GOLDEN.png [KEEP_DIR]
# Exits 77 (skipped) when Xvfb or xdotool is missing. KEEP_DIR, if given, keeps the two pictures.
set -eu
# shellcheck source=../support/private_xvfb.sh
. "$(dirname "$0")/../support/private_xvfb.sh"
host=$1
module=$2
grab=$3
golden=$4
keep=${5:-}
for program in Xvfb xdotool; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (scripts/deps.sh --test)"; exit 77; }
done

work=$(mktemp -d)
tool=""
cleanup() {
    set +e  # a killed process's wait fails: everything here must still run
    [ -n "$tool" ] && kill "$tool" 2>/dev/null && wait "$tool" 2>/dev/null
    private_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
private_xvfb_start "$work" || exit 1

# One run: the host started with the given options, its editor checked, dragged and read back.
trial() {
    name=$1
    shift
    # The host closes by itself; it then prints the parameters as the editor left them.
    "$host" --editor "$module" --seconds 15 --parameters "$@" >"$work/host.out" 2>"$work/host.err" &
    tool=$!

    # The first picture once the editor has painted it (a few idle periods after its window shows).
    matched=""
    for _ in $(seq 50); do
        sleep 0.1
        if "$grab" "$work/opened.png" "$golden" >"$work/grab.out" 2>&1; then
            matched=yes
            break
        fi
    done
    cat "$work/grab.out"
    [ -n "$matched" ] || { echo "FAIL ($name): the editor as it opened does not match $golden"; exit 1; }

    # Depth's knob is centred at (134, 175) in the editor: press there and turn it clockwise.
    editor=$(sed -n 's/^editor window \([0-9]*\),.*/\1/p' "$work/grab.out")
    xdotool mousemove --window "$editor" 134 175 sleep 0.1 mousedown 1 sleep 0.1 \
        mousemove --window "$editor" 138 168 sleep 0.1 mousemove --window "$editor" 145 160 sleep 0.1 \
        mousemove --window "$editor" 155 158 sleep 0.1 mousemove --window "$editor" 160 170 sleep 0.2 mouseup 1
    sleep 0.5
    status=0
    "$grab" "$work/dragged.png" "$golden" >"$work/grab.out" 2>&1 || status=$?
    cat "$work/grab.out"
    [ "$status" -eq 3 ] || { echo "FAIL ($name): the picture did not change with the drag"; exit 1; }

    wait "$tool" || { echo "FAIL ($name): flanger-host ended badly:"; cat "$work/host.err"; exit 1; }
    tool=""
    # "  2 Depth  %  50.0  value 0.500000": the display text and the normalised value.
    depth_of() { awk '$2 == "Depth" { print $(NF - 2), $NF }' "$1"; }
    "$host" --info "$module" >"$work/info.out"
    before=$(depth_of "$work/info.out")
    after=$(depth_of "$work/host.out")
    echo "$name: Depth (display, normalised): ${before:-?} before the drag, ${after:-?} after"
    if [ -z "$after" ] || [ "$after" = "$before" ]; then
        echo "FAIL ($name): Depth did not change"
        exit 1
    fi
}

trial "idled every 20 ms"
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp "$work/opened.png" "$work/dragged.png" "$keep"/
fi
trial "idled every 66 ms and from audioMasterIdle" --idle-ms 66 --idle-from-host-idle
echo "the editor opened as its golden, and the drag set Depth, in both rhythms"
