#!/bin/sh
# The module must export its two entry points and nothing else, so two plug-ins in one
# host process never bind to each other's code; and it carries no test backend.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "VSTPluginMain main " ]; then
    echo "unexpected exports: $symbols"
    exit 1
fi
if nm -C "$1" | grep -q 'HeadlessPlatform\|HeadlessWindow'; then
    echo "the module carries the headless backend"
    exit 1
fi
echo "exports: $symbols"
