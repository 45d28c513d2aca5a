#!/bin/sh
# The README's two commands in the order a newcomer runs them: the demo configures the build
# folder without tests, the test command then configures the same folder, and its tests must
# be found (ctest would otherwise pass on none).
#   tests/scripts_order_check.sh [SOURCE_DIR]
set -eu
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
"$root/scripts/demo.sh" --configure-only "$scratch/build" >/dev/null
none=$(ctest --test-dir "$scratch/build" -N | sed -n 's/^Total Tests: //p')
"$root/scripts/test.sh" --configure-only "$scratch/build" >/dev/null
found=$(ctest --test-dir "$scratch/build" -N | sed -n 's/^Total Tests: //p')
echo "demo configuration: ${none:-0} tests; then the test configuration: ${found:-0} tests"
[ "${none:-0}" -eq 0 ] && [ "${found:-0}" -gt 0 ]
