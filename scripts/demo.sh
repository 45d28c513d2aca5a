#!/bin/sh
# The main job: installs what is needed, builds, and runs the bundled demo.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DFLANGER_BUILD_TESTS=OFF -DFLANGER_BUILD_BENCH=OFF
build/tools/host/flanger-host --info build/BrackwaterFlanger.so
