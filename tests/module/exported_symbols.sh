#!/bin/sh
# The module must export its two entry points and nothing else, so two plug-ins in one
# host process never bind to each other's code.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "VSTPluginMain main " ]; then
    echo "unexpected exports: $symbols"
    exit 1
fi
echo "exports: $symbols"
