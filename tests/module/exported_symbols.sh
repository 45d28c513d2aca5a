#!/bin/sh
# A module must export its entry points and nothing else, so two plug-ins in one host process
# never bind to each other's code; and it carries no test backend.
#   exported_symbols.sh MODULE [EXPECTED...]   (default: the VST 2.x module's two entry points)
set -eu
module="$1"
shift
[ $# -gt 0 ] || set -- VSTPluginMain main
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
symbols=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "$expected" ]; then
    echo "unexpected exports: $symbols"
    exit 1
fi
if nm -C "$module" | grep -q 'HeadlessPlatform\|HeadlessWindow'; then
    echo "the module carries the headless backend"
    exit 1
fi
echo "exports: $symbols"
