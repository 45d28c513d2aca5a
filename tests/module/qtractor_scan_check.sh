#!/bin/sh
# Qtractor's plug-in scanner must list the module as it always has: a stereo effect with no MIDI,
# 11 parameters, and the flags GUI (an editor), EXT and RT. A file named *.clap is scanned as CLAP
# (the scanner then offers it no host extensions at all), anything else as VST 2.x.
#   tests/module/qtractor_scan_check.sh MODULE
# Exits 77 (skipped) when the scanner is missing (Debian package qtractor).
set -eu
module="$1"
case "$module" in
*.clap) type=CLAP ;;
*) type=VST ;;
esac
scanner=""
for candidate in /usr/lib/*/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan; do
    [ -x "$candidate" ] && scanner=$candidate && break
done
[ -n "$scanner" ] || { echo "SKIP: the Qtractor scanner is not installed (Debian package qtractor)"; exit 77; }
# The scanner reads "TYPE:FILE" lines on its input and writes one line per plug-in it finds:
# type|name|audio in:out|MIDI in:out|controls in:out|flags|file|index|unique ID (a CLAP plug-in's
# changes from run to run).
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
line=$(printf '%s:%s\n' "$type" "$module" | timeout 60 "$scanner" 2>"$errors") || true
echo "$line"
cat "$errors"
case "$line" in
"$type|BrackwaterFlanger|2:2|0:0|11:0|GUI,EXT,RT|$module|0|"*) echo "listed as a stereo effect with an editor" ;;
*)
    echo "FAIL: expected $type|BrackwaterFlanger|2:2|0:0|11:0|GUI,EXT,RT|$module|0|..."
    exit 1
    ;;
esac
