#!/bin/bash
# Soak run: ten minutes of audio (or SECONDS) through the module as fast as it runs, with random
# automation every block, a program switch every second, tempo changes and restarts. Prints the
# samples processed, the non-finite and subnormal counts (both must be 0) and the ratio of the
# slowest to the median block time. Not part of CI's pass/fail; exits non-zero on bad samples.
# Usage: bench/soak.sh [SECONDS] [BUILD_DIR]   (env: PLUGIN=path to override the module, SEED=n)
set -euo pipefail
seconds="${1:-600}"
build="${2:-build}"
validator="$build/tools/validate/flanger-validate"
plugin="${PLUGIN:-$build/BrackwaterFlanger.so}"
for need in "$validator" "$plugin"; do
    [ -e "$need" ] || { echo "soak.sh: $need is missing; build first" >&2; exit 1; }
done
exec "$validator" --seed "${SEED:-1}" --soak "$seconds" "$plugin"
