#!/bin/sh
# Runs flanger-validate on two third-party modules from Debian and prints the reports. Their
# failures prove the suite is generic; they never fail this test. Usage: thirdparty_report.sh VALIDATOR [OPTIONS]
# Their editors take tens of milliseconds per open and some leak megabytes per open: 50 editor
# cycles show that as well as a thousand would, and an editor runs in a private Xvfb.
validator="$1"
shift
for module in /usr/lib/vst/PingPongPan-vst.so /usr/lib/vst/lsp-plugins/comp-delay-stereo.so; do
    if [ ! -e "$module" ]; then
        echo "thirdparty_report: $module is not installed; skipped"
        continue
    fi
    "$validator" --xvfb --editor-cycles 50 "$@" "$module"
    echo "thirdparty_report: $module: exit status $? (reported, not fatal)"
    echo
done
exit 0
