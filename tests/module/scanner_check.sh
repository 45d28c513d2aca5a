#!/bin/sh
# A real host's plug-in scanner must list the module as an effect with 2 inputs and 2 outputs.
set -eu
module="$1"
scanner=/usr/lib/ardour7/ardour-vst-scanner
if [ ! -x "$scanner" ]; then
    echo "the host scanner is not installed (Debian package ardour)"
    exit 1
fi
cache=$(mktemp -d)
trap 'rm -rf "$cache"' EXIT
LD_LIBRARY_PATH=/usr/lib/ardour7 XDG_CACHE_HOME="$cache" timeout 120 "$scanner" -f "$module"
info=$(cat "$cache"/ardour7/vst/*.v2i)
echo "$info"
echo "$info" | grep -q 'category="Effect"' && echo "$info" | grep -q 'n_inputs="2"' && echo "$info" | grep -q 'n_outputs="2"' && echo "$info" | grep -q 'is_instrument="0"'
