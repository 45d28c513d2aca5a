#!/bin/sh
# The Windows editor as a user meets it, under Wine on an X server of its own (run through
# tests/windows/on_xvfb.sh, which gives it DISPLAY and the window tests' Wine prefix): flanger-host.exe
# opens the DLL's editor in a Win32 window; the editor must cover its 370 x 216 area and look as
# its golden picture (a raw pixel dump); a value typed into the Rate field is entered; a click on
# the lamp (a press and a release together) turns Switch on; the note menu's popup takes a pick;
# a drag over the Feedback knob in 1-pixel steps edits Feedback within one begin/end edit, and two
# wheel steps over it are two more; a parameter the host keeps moving moves on the screen (the
# editor learns it in its idle: the host's, or a VST3 view's own timer). MODULE is the DLL or the
# VST3 bundle. With GOLDEN-200.ppm, 200 % picked from the size menu (a right click on the title)
# opens the editor at 740 x 432 the next time, as that picture, and a quick click on the lamp lands.
#   tests/windows/on_xvfb.sh tests/windows/editor_check.sh FLANGER-HOST.EXE MODULE GOLDEN.ppm [GOLDEN-200.ppm]
# FLANGER_REGENERATE_GOLDENS=1 rewrites the golden pictures.
set -u
host=$1
module=$2
golden=$3
golden_200=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../scripts/wine-run.sh"
command -v xdotool >/dev/null || { echo "xdotool is not installed (scripts/deps.sh --windows)" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "run it through tests/windows/on_xvfb.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

# Where the editor's client area is on the screen, as the host printed it: left and top.
editor_origin() {
    origin=$(sed -n 's/.*editor window [0-9]*x[0-9]* at \([0-9-]*\),\([0-9-]*\).*/\1 \2/p' "$1" | head -n 1)
    left=${origin% *}
    top=${origin#* }
}

# Waits until the host's window is on the X server and the editor has had time to paint; sets
# left and top to where its client area is.
wait_for_editor() {
    for _ in $(seq 200); do
        grep -q "editor window" "$1" 2>/dev/null && xdotool search --name "flanger-host" >/dev/null 2>&1 && {
            sleep 0.5
            editor_origin "$1"
            return 0
        }
        sleep 0.05
    done
    echo "the editor's window never appeared:" >&2
    cat "$1" >&2
    return 1
}

# The picture against its golden (or written as it, on request).
matches_golden() {
    if [ "${FLANGER_REGENERATE_GOLDENS:-}" = 1 ]; then
        cp "$1" "$2"
        echo "regenerated $2"
    elif [ ! -f "$2" ]; then
        fail "missing golden $2 (FLANGER_REGENERATE_GOLDENS=1 writes it)"
    elif ! cmp -s "$1" "$2"; then
        mkdir -p "${TMPDIR:-/tmp}/brackwater-windows-actual"
        actual="${TMPDIR:-/tmp}/brackwater-windows-actual/$(basename "$2" .ppm)-actual.ppm"
        cp "$1" "$actual"
        fail "the editor's pixels differ from $2 in $(cmp -l "$1" "$2" | wc -l) bytes; see $actual"
    fi
}

# 1. What it looks like, untouched.
"$wine_run" "$host" --editor "$module" --seconds 3 --snapshot "$work/editor.ppm" >"$work/look.out" 2>&1
grep -q "editor window 370x216 at " "$work/look.out" || fail "the editor did not open at 370 x 216: $(cat "$work/look.out")"
matches_golden "$work/editor.ppm" "$golden"

# 2. A typed value, a quick click on the lamp and a drag of a knob, as xdotool's user makes them.
"$wine_run" "$host" --editor "$module" --seconds 6 --edits --parameters >"$work/use.out" 2>&1 &
running=$!
# xdotool works on the screen: the editor's points are offset by where its window's client area is.
click_at() {
    xdotool mousemove $((left + $1)) $((top + $2)) click "$3"
}
if wait_for_editor "$work/use.out"; then
    # The Rate field's edit box: a click opens it, the keys go to it, Return enters the value.
    click_at 237 145 1
    sleep 0.3
    xdotool key --delay 20 BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace 3 Return
    sleep 0.3
    click_at 262 146 1
    sleep 0.3
    # Sync on: the note menu stands where the field was; its popup takes a pick by keys.
    click_at 232 145 1
    sleep 0.5
    xdotool key --delay 50 Down Down Return
    sleep 0.3
    # From the knob's lower left, up and to the right, a pixel at a time.
    xdotool mousemove $((left + 19)) $((top + 184)) mousedown 1
    for step in $(seq 25); do
        xdotool mousemove $((left + 19 + step / 2)) $((top + 184 - step))
    done
    xdotool mouseup 1
    sleep 0.2
    # Two wheel steps away from the user over the same knob: each one an edit of its own.
    xdotool click 4 click 4
fi
wait "$running" || fail "flanger-host ended with $?: $(cat "$work/use.out")"
# Windows programs end their lines with CR LF.
tr -d '\r' <"$work/use.out" >"$work/use.txt" && mv "$work/use.txt" "$work/use.out"
[ -n "${FLANGER_CHECK_VERBOSE:-}" ] && cat "$work/use.out"
grep -Eq "^ +5 Rate +Hz +3.0 " "$work/use.out" || fail "typing 3 and Return into the Rate field did not set 3 Hz"
grep -Eq "^ +6 SyncBeat +beat +1/4 " "$work/use.out" || fail "Down, Down, Return in the note menu's popup did not pick 1/4"
grep -Eq "^ +4 Switch +on " "$work/use.out" || fail "the click on the lamp did not turn Switch on: $(cat "$work/use.out")"
grep -Eq "^ +0 Feedback +% +50.0 " "$work/use.out" && fail "the drag did not change Feedback"
edits=$(grep "^edit " "$work/use.out" | tr '\n' ' ')
# As on Linux: the field reports the click that opens it and then the value entered.
[ "$edits" = "edit begin 5 edit end 5 edit begin 5 edit end 5 edit begin 4 edit end 4 edit begin 6 edit end 6 edit begin 0 edit end 0 edit begin 0 edit end 0 edit begin 0 edit end 0 " ] ||
    fail "the edits reported were not the field's, the lamp's, the menu's, the knob drag's and the two wheel steps': $edits"

# 3. The host moves Depth before every idle: the picture must leave the untouched one.
"$wine_run" "$host" --editor "$module" --seconds 2 --animate Depth --snapshot "$work/moved.ppm" >"$work/moved.out" 2>&1 ||
    fail "flanger-host ended with $? while moving Depth: $(cat "$work/moved.out")"
if [ ! -s "$work/moved.ppm" ]; then
    fail "no snapshot of the editor while the host moved Depth: $(cat "$work/moved.out")"
elif cmp -s "$work/moved.ppm" "$work/editor.ppm"; then
    fail "Depth moved by the host never showed: the editor was not idled"
fi
# 4. 200 % from the size menu: this host cannot resize its window, so the size applies at the next
# open, kept in the user's settings under %APPDATA%.
if [ -n "$golden_200" ]; then
    find "$FLANGER_WINEPREFIX/drive_c/users" -path '*/BrackwaterFlanger/settings' -delete 2>/dev/null
    "$wine_run" "$host" --editor "$module" --seconds 3 >"$work/menu.out" 2>&1 &
    running=$!
    if wait_for_editor "$work/menu.out"; then
        click_at 30 12 3
        sleep 0.5
        # The menu opens at the pointer: "Size", then 100 to 200 %, 16 pixels a line.
        click_at 60 100 1
    fi
    wait "$running" || fail "flanger-host ended with $? while the size menu was used: $(cat "$work/menu.out")"
    "$wine_run" "$host" --editor "$module" --seconds 3 --snapshot "$work/editor-200.ppm" >"$work/look-200.out" 2>&1
    if grep -q "editor window 740x432 at " "$work/look-200.out"; then
        matches_golden "$work/editor-200.ppm" "$golden_200"
    else
        fail "200 % from the size menu did not open the editor at 740 x 432: $(cat "$work/look-200.out")"
    fi
    "$wine_run" "$host" --editor "$module" --seconds 3 --parameters >"$work/click-200.out" 2>&1 &
    running=$!
    if wait_for_editor "$work/click-200.out"; then
        click_at 524 292 1
    fi
    wait "$running" || fail "flanger-host ended with $? at 200 %: $(cat "$work/click-200.out")"
    tr -d '\r' <"$work/click-200.out" | grep -Eq "^ +4 Switch +on " || fail "a quick click on the lamp at 200 % did not turn Switch on"
    find "$FLANGER_WINEPREFIX/drive_c/users" -path '*/BrackwaterFlanger/settings' -delete 2>/dev/null
fi
[ "$status" = 0 ] && echo "the editor opened, matched its golden picture, took the typed value, the click, the menu pick, the drag and the wheel, and showed the host's changes${golden_200:+; at 200 % from the size menu it matched its picture and took a click}"
exit "$status"
