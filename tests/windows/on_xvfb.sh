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
"$here/../../scripts/wine-run.sh" "$@"
