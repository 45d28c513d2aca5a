#!/bin/sh
# The whole test suite: installs what it needs, builds the Release configuration, runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh --test
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release "$@"
ctest --test-dir build --output-on-failure -j2
