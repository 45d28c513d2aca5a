#!/bin/sh
# valgrind memcheck over editor open/close cycles: any definitely or indirectly lost block, or any
# memory error, fails. The validator keeps the module loaded to the end (so the statically linked
# C++ runtime's emergency exception pool stays reachable) and runs in this process with a private
# Xvfb. Only process-lifetime caches of system libraries are suppressed (valgrind.supp).
# Usage: editor_leak_check.sh VALIDATOR MODULE [CYCLES]
set -eu
validator="$1"
module="$2"
cycles="${3:-50}"
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v valgrind > /dev/null; then
    echo "editor_leak_check: valgrind is not installed"
    exit 1
fi
started=$(date +%s)
status=0
valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite,indirect --error-exitcode=1 \
    --show-leak-kinds=definite,indirect --num-callers=30 --suppressions="$here/valgrind.supp" \
    "$validator" --no-fork --xvfb --category editor --part cycles --editor-cycles "$cycles" "$module" || status=$?
echo "editor_leak_check: $cycles editor open/close cycles under memcheck in $(( $(date +%s) - started )) s, exit status $status"
exit "$status"
