#!/bin/sh
# Installs the Debian packages the build needs (with --test, what the test suite needs; with
# --windows, the mingw-w64 cross compiler and Wine for the Windows module), skipping what is
# already there. Every package is explained in the README.
#   scripts/deps.sh [--test] [--windows]
set -eu
BUILD_PKGS="g++ cmake ninja-build pkg-config lv2-dev libsndfile1-dev libx11-dev libxext-dev libfreetype-dev libfontconfig-dev libpng-dev libcairo2-dev fonts-liberation fonts-dejavu-core"
TEST_PKGS="locales lilv-utils sordi clang-format googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool libxtst-dev clang libclang-rt-14-dev valgrind sox jalv jackd2 dpf-plugins-vst lsp-plugins-vst ardour qtractor"
WINDOWS_PKGS="g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest xvfb xdotool"
pkgs="$BUILD_PKGS"
for option in "$@"; do
    case "$option" in
        --test) pkgs="$pkgs $TEST_PKGS" ;;
        --windows) pkgs="$pkgs $WINDOWS_PKGS" ;;
        *) echo "usage: scripts/deps.sh [--test] [--windows]" >&2; exit 2 ;;
    esac
done
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
