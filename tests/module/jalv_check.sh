#!/bin/sh
# A real LV2 host runs the bundle with its UI: jalv (a JACK client, here on JACK's dummy
# driver) under a private Xvfb opens the UI five times; each time the lamp gets a quick click
# and jalv is closed as a user closes it. No run may crash or let an X error through.
#   tests/module/jalv_check.sh LV2_DIR      (exit 77: jalv, jackd, Xvfb or xdotool missing)
set -u
here=$(cd "$(dirname "$0")" && pwd)
for tool in jalv.gtk3 jackd Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
. "$here/../support/private_xvfb.sh"
work=$(mktemp -d)
jack_pid=""
cleanup() {
    [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
    private_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
private_xvfb_start "$work" 800x600 || exit 1
export LV2_PATH="$1"
# A server of this run's own, so runs side by side and a user's JACK are left alone.
JACK_DEFAULT_SERVER="flanger-jalv-$$"
export JACK_DEFAULT_SERVER
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$work/jack.log" 2>&1 &
jack_pid=$!

failed=0
for run in 1 2 3 4 5; do
    log="$work/jalv-$run.log"
    jalv.gtk3 urn:brackwater:flanger >"$log" 2>&1 &
    jalv_pid=$!
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --classname '^Plugin' 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        kill -0 "$jalv_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        echo "run $run: the UI did not open"
        cat "$log"
        kill "$jalv_pid" 2>/dev/null
        failed=1
        break
    fi
    # The lamp, in the editor's own pixels: a press and a release together.
    xdotool mousemove --window "$window" 262 146 click 1
    sleep 0.3
    kill -INT "$jalv_pid"
    wait "$jalv_pid"
    status=$?
    if [ "$status" -ne 0 ] || grep -qiE 'X Window System error|X error|BadWindow|BadDrawable|Segmentation' "$log"; then
        echo "run $run: jalv exited with $status"
        cat "$log"
        failed=1
        break
    fi
done
[ "$failed" -eq 0 ] && echo "jalv opened and closed the UI 5 times, a click each time, without an X error"
exit "$failed"
