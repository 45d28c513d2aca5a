#!/bin/sh
# Installs the Debian packages the build needs (and, with --test, what the test suite needs),
# skipping what is already there. Every package is explained in the README.
set -eu
BUILD_PKGS="g++ cmake ninja-build pkg-config lv2-dev libsndfile1-dev libx11-dev libxext-dev libfreetype-dev libfontconfig-dev libpng-dev libcairo2-dev fonts-liberation fonts-dejavu-core"
TEST_PKGS="locales lilv-utils sordi clang-format googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool libxtst-dev clang libclang-rt-14-dev valgrind sox jalv jackd2 dpf-plugins-vst lsp-plugins-vst ardour qtractor"
pkgs="$BUILD_PKGS"
[ "${1:-}" = "--test" ] && pkgs="$pkgs $TEST_PKGS"
missing=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
