#!/bin/sh
# A Windows module's export table holds exactly its format's entry points (the VST 2.x DLL's two,
# the VST3 module's three: a .vst3 file, the CLAP module's one: a .clap file), and its import table names system DLLs only: the
# compiler's runtime (winpthread, libstdc++, libgcc) is linked in, so the DLL loads in a host's
# folder that carries none of them. And no aligned 32-byte move touches the stack: Windows aligns
# it to 16 bytes only, and this compiler does not realign it for AVX locals, so such a move would
# crash in the AVX2 sweep on some calls. With a version, the DLL's version resource must carry it
# (what the file's properties show), and the eleven skin bitmaps must be there as bitmap
# resources 1000-1010 and, drawn at 200 %, 2000-2010. The file stays under 8 MiB.
#   tests/windows/module_tables_check.sh BrackwaterFlanger.dll|.vst3|.clap [OBJDUMP [WINDRES VERSION]]
set -eu
dll="$1"
objdump=${2:-x86_64-w64-mingw32-objdump}
windres=${3:-}
version=${4:-}
tables=$(mktemp)
trap 'rm -f "$tables"' EXIT INT TERM
"$objdump" -p "$dll" >"$tables"

case "$dll" in
    *.vst3) expected="ExitDll GetPluginFactory InitDll " ;;
    *.clap) expected="clap_entry " ;;
    *) expected="VSTPluginMain main " ;;
esac
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tables" | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort | tr '\n' ' ')
if [ "$exports" != "$expected" ]; then
    echo "exports are \"$exports\", expected exactly $expected" >&2
    exit 1
fi

imports=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' "$tables" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no import table found in $dll" >&2; exit 1; }
status=0
for name in $imports; do
    case "$name" in
        kernel32.dll | user32.dll | gdi32.dll | ole32.dll | shell32.dll | version.dll | advapi32.dll | \
            msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
        *) echo "imports $name, which is no system DLL" >&2; status=1 ;;
    esac
done
bytes=$(wc -c <"$dll")
if [ "$bytes" -ge $((8 * 1024 * 1024)) ]; then
    echo "$dll is $bytes bytes, over 8 MiB" >&2
    status=1
fi
aligned=$("$objdump" -d "$dll" | grep -E 'vmov(aps|apd|dqa)[[:space:]].*ymm' | grep -E '\(%(rsp|rbp)' || true)
if [ -n "$aligned" ]; then
    echo "aligned AVX moves on the stack:" >&2
    echo "$aligned" | head -n 5 >&2
    status=1
fi
if [ -n "$version" ]; then
    resources=$("$windres" -i "$dll" -O rc 2>/dev/null || true)
    numbers=$(echo "$version" | sed 's/\./, /g')
    for expected in "FILEVERSION $numbers, 0" "VALUE \"FileVersion\", \"$version\"" \
        "VALUE \"ProductVersion\", \"$version\""; do
        case "$resources" in
            *"$expected"*) ;;
            *) echo "the version resource lacks: $expected" >&2; status=1 ;;
        esac
    done
    for id in 1000 1001 1002 1003 1004 1005 1006 1007 1008 1009 1010 \
        2000 2001 2002 2003 2004 2005 2006 2007 2008 2009 2010; do
        case "$resources" in
            *"$id 2 /* RT_BITMAP */"*) ;;
            *) echo "no bitmap resource $id" >&2; status=1 ;;
        esac
    done
fi
[ "$status" -eq 0 ] && echo "exports: $exports; imports: $(echo $imports); $bytes bytes"
exit "$status"
