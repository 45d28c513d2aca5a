#!/bin/sh
# Runs a Windows program that opens windows under Wine on an X server of its own (Xvfb), so the
# Windows window tests never need, or disturb, the user's display.
#   tests/windows/on_xvfb.sh PROGRAM.exe [arguments...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/deps.sh --windows)" >&2; exit 1; }
work=$(mktemp -d)
# shellcheck source=../support/private_xvfb.sh
. "$here/../support/private_xvfb.sh"
trap 'private_xvfb_stop; rm -rf "$work"' EXIT
private_xvfb_start "$work" 800x600 || exit 1
# A Wine prefix apart from the tests without windows: a window opened while their wineserver runs
# (it started without a display) fails. The server is let go before this X server ends, so the
# next window test meets no desktop left on a display that is gone.
FLANGER_WINEPREFIX="${FLANGER_WINEPREFIX:-"${TMPDIR:-/tmp}/brackwater-wine-$(id -u)"}-windows"
export FLANGER_WINEPREFIX
status=0
"$here/../../scripts/wine-run.sh" "$@" || status=$?
WINEPREFIX="$FLANGER_WINEPREFIX" wineserver -w
exit "$status"
