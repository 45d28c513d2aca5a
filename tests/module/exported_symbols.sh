#!/bin/sh
# A module must export its entry points and nothing else, so two plug-ins in one host process
# never bind to each other's code; it carries no test backend; and it stays under 8 MiB with the
# skin bitmaps of both scales embedded (hosts copy and scan every module they find). Only an
# optimised build without sanitizers is what users get: FLANGER_NO_SIZE_LIMIT=1 leaves the size.
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
bytes=$(wc -c <"$module")
if [ "${FLANGER_NO_SIZE_LIMIT:-}" != 1 ] && [ "$bytes" -ge $((8 * 1024 * 1024)) ]; then
    echo "the module is $bytes bytes, over 8 MiB"
    exit 1
fi
echo "exports: $symbols; $bytes bytes"
