#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, made once in a temporary folder
# (never the user's ~/.wine), with Wine's debug output off. CTest uses it as the emulator.
#   scripts/wine-run.sh PROGRAM.exe [arguments...]
# FLANGER_WINEPREFIX chooses another prefix folder.
set -eu
prefix=${FLANGER_WINEPREFIX:-"${TMPDIR:-/tmp}/brackwater-wine-$(id -u)"}
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
command -v wine >/dev/null || { echo "wine is not installed (scripts/deps.sh --windows)" >&2; exit 1; }
if [ ! -f "$prefix/.brackwater-ready" ]; then
    mkdir -p "$prefix"
    # Parallel tests share the prefix: the first one makes it, the others wait for it.
    (
        flock 9
        if [ ! -f "$prefix/.brackwater-ready" ]; then
            wineboot --init >/dev/null 2>&1
            wineserver -w
            touch "$prefix/.brackwater-ready"
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
