#!/bin/sh
# Configures and builds one configuration: scripts/build.sh BUILD_DIR [extra cmake args...]
set -eu
dir="$1"; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja "$@"
cmake --build "$dir"
