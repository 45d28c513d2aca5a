#!/bin/sh
# The Windows modules, cross-built here: installs mingw-w64 and Wine if missing, configures the
# build folder (default build-windows) with the mingw-w64 toolchain and builds the DLL, the VST3
# bundle, the Windows test host, the validator and the Windows tests (run them with ctest
# --test-dir build-windows).
#   scripts/build-windows.sh [BUILD_DIR] [extra cmake args...]
set -eu
cd "$(dirname "$0")/.."
dir=${1:-build-windows}
[ $# -gt 0 ] && shift
scripts/deps.sh --windows
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DFLANGER_BUILD_TESTS=ON -DFLANGER_BUILD_BENCH=OFF "$@"
cmake --build "$dir"
echo "built $dir/BrackwaterFlanger.dll and $dir/vst3/BrackwaterFlanger.vst3"
