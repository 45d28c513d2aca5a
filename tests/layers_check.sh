#!/bin/sh
# Holds every quoted #include of the library folders against the layer table: a folder may
# include itself and the folders below it, nothing else. Window-system headers stay in their
# backend, and only module/ picks a backend.
#   tests/layers_check.sh [SOURCE_DIR]
set -eu
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
cd "$root"

# The folders each layer may include besides its own (the most specific layer of a file wins).
allowed() {
    case "$1" in
        params | text) echo "" ;;
        dsp) echo "params" ;;
        resources) echo "text" ;;
        platform) echo "" ;;
        platform/x11 | platform/headless | platform/win32) echo "platform" ;;
        host) echo "params text resources" ;;
        gui) echo "platform resources text" ;;
        gui/editor) echo "gui host params resources text platform" ;;
        effect) echo "host params dsp text resources" ;;
        editor) echo "gui gui/editor host params resources text" ;;
        module) echo "*" ;;
    esac
}

# The layer an included path belongs to.
layer_of() {
    case "$1" in
        platform/x11/*) echo platform/x11 ;;
        platform/headless/*) echo platform/headless ;;
        platform/win32/*) echo platform/win32 ;;
        gui/editor/*) echo gui/editor ;;
        */*) echo "${1%%/*}" ;;
        *) echo "" ;;
    esac
}

fail() { echo "$1"; }

files=$(find params text dsp resources platform host gui effect editor module \
    -name '*.h' -o -name '*.cpp' -o -name '*.in' 2>/dev/null | sort)
[ -n "$files" ] || { echo "no sources under $root" >&2; exit 1; }
problems=$(for file in $files; do
    own=$(layer_of "$file")
    may=$(allowed "$own")
    grep -n '^[[:space:]]*#[[:space:]]*include' "$file" | while IFS= read -r line; do
        number=${line%%:*}
        text=${line#*:}
        case "$text" in
            *'<X11/'*)
                [ "$own" = platform/x11 ] || fail "$file:$number: X11 header outside platform/x11/: $text" ;;
            *'<windows.h>'* | *'<Windows.h>'*)
                [ "$own" = platform/win32 ] || fail "$file:$number: windows.h outside platform/win32/: $text" ;;
        esac
        included=$(printf '%s\n' "$text" | sed -n 's/.*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p')
        [ -n "$included" ] || continue
        target=$(layer_of "$included")
        [ -n "$target" ] || continue
        [ "$target" = "$own" ] && continue
        # A backend is picked only by module/; every other layer sees the platform interface.
        case "$target" in
            platform/x11 | platform/headless | platform/win32)
                [ "$own" = module ] || fail "$file:$number: only module/ picks a backend: $included"
                [ "$target" = platform/headless ] && [ "$own" = module ] &&
                    fail "$file:$number: the module carries no headless backend: $included"
                continue ;;
        esac
        [ "$may" = "*" ] && continue
        ok=no
        for layer in $may; do
            [ "$layer" = "$target" ] && ok=yes
        done
        [ "$ok" = yes ] || fail "$file:$number: $own/ may not include $target/: $included"
    done
done)
if [ -n "$problems" ]; then
    echo "$problems" >&2
    echo "$(echo "$problems" | wc -l) include(s) break the layer table" >&2
    exit 1
fi
echo "every include keeps to the layer table ($(echo "$files" | wc -l) files)"
