#!/bin/sh
# The main job: installs what is needed, builds, renders the bundled demo through every
# factory program into out/demo/ and writes an editor screenshot there.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DFLANGER_BUILD_TESTS=OFF -DFLANGER_BUILD_BENCH=OFF
build/tools/host/flanger-host --info build/BrackwaterFlanger.so | head -n 12
build/tools/demo/flanger-demo --plugin build/BrackwaterFlanger.so --out out/demo
build/tools/screenshot/flanger-screenshot out/demo/editor.png
echo "editor screenshot: out/demo/editor.png"
