# shellcheck shell=sh
# Sourced by the shell scripts that need a real X server of their own (the editor trials, the
# editor idle bench): Xvfb picks a free display itself and writes its number to the descriptor
# it is given, so runs side by side never collide.
#   private_xvfb_start WORK_DIR [WIDTHxHEIGHT]   exports DISPLAY; fails with the server's log
#   private_xvfb_stop                            ends that server (safe to call twice)

private_xvfb_start() {
    # -noreset: the server would reset whenever its last client leaves, and a client connecting
    # during the reset is refused (scripts start and end one client after another).
    Xvfb -displayfd 3 -screen 0 "${2:-640x480}x24" -nolisten tcp -noreset 3>"$1/display" 2>"$1/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$1/display" ] && break
        sleep 0.05
    done
    if ! [ -s "$1/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$1/xvfb.log" >&2
        return 1
    fi
    DISPLAY=":$(head -n 1 "$1/display")"
    export DISPLAY
}

private_xvfb_stop() {
    if [ -n "${xvfb_pid:-}" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    fi
    return 0
}
