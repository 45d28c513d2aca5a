#!/bin/sh
# The main job: installs what is needed, builds, renders the bundled demo through every
# factory program into out/demo/ and writes an editor screenshot there. It builds the same
# folder as the tests, with its own options set explicitly (no tests, no benchmarks).
#   scripts/demo.sh
#   scripts/demo.sh --configure-only BUILD_DIR      (configures only; the order test uses it)
set -eu
cd "$(dirname "$0")/.."
options="-DCMAKE_BUILD_TYPE=Release -DFLANGER_BUILD_TESTS=OFF -DFLANGER_BUILD_BENCH=OFF"
if [ "${1:-}" = "--configure-only" ]; then
    exec cmake -S . -B "$2" -G Ninja $options
fi
scripts/deps.sh
scripts/build.sh build $options
build/tools/host/flanger-host --info build/BrackwaterFlanger.so | head -n 12
build/tools/demo/flanger-demo --plugin build/BrackwaterFlanger.so --out out/demo
build/tools/screenshot/flanger-screenshot out/demo/editor.png
echo "editor screenshot: out/demo/editor.png"
