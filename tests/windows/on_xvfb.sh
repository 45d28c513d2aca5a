#!/bin/sh
# Runs a Windows test that opens windows on an X server of its own (Xvfb), so it never needs, or
# disturbs, the user's display: a .exe under Wine, or a script that runs Wine and X tools itself.
#   tests/windows/on_xvfb.sh PROGRAM.exe [arguments...]
#   tests/windows/on_xvfb.sh SCRIPT [arguments...]
# Window tests have a Wine prefix of their own (FLANGER_WINDOW_WINEPREFIX picks another): Wine's
# desktop process stays bound to the X server that was there when it started, so each test ends
# that prefix's Wine session, and the next one starts afresh on its own server. CTest runs them
# one at a time; the other Windows tests keep the usual prefix and run beside them.
set -u
here=$(cd "$(dirname "$0")" && pwd)
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/deps.sh --windows)" >&2; exit 1; }
FLANGER_WINEPREFIX=${FLANGER_WINDOW_WINEPREFIX:-"${TMPDIR:-/tmp}/brackwater-wine-$(id -u)-windows"}
export FLANGER_WINEPREFIX
work=$(mktemp -d)
# shellcheck source=../support/private_xvfb.sh
. "$here/../support/private_xvfb.sh"
end_session() {
    WINEPREFIX=$FLANGER_WINEPREFIX wineserver -k 2>/dev/null
    WINEPREFIX=$FLANGER_WINEPREFIX wineserver -w 2>/dev/null
    private_xvfb_stop
    rm -rf "$work"
}
trap end_session EXIT
# A session left by a test that was killed belongs to a server that is gone.
WINEPREFIX=$FLANGER_WINEPREFIX wineserver -k 2>/dev/null
private_xvfb_start "$work" 800x600 || exit 1
case "$1" in
    *.exe) "$here/../../scripts/wine-run.sh" "$@" ;;
    *) "$@" ;;
esac
