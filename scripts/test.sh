#!/bin/sh
# The whole test suite: installs what it needs, builds the Release configuration with tests and
# benchmarks, runs every test. The options are set whatever the build folder's cache holds (the
# demo builds the same folder without tests), and a run that finds no test fails.
#   scripts/test.sh [extra cmake args...]
#   scripts/test.sh --configure-only BUILD_DIR      (configures only; the order test uses it)
set -eu
cd "$(dirname "$0")/.."
options="-DCMAKE_BUILD_TYPE=Release -DFLANGER_BUILD_TESTS=ON -DFLANGER_BUILD_BENCH=ON"
if [ "${1:-}" = "--configure-only" ]; then
    exec cmake -S . -B "$2" -G Ninja $options
fi
scripts/deps.sh --test
scripts/build.sh build $options "$@"
ctest --test-dir build --output-on-failure -j2 --no-tests=error
