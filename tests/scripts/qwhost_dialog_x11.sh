#!/usr/bin/env bash
# The filter's dialog on the X11 test display, played by synthetic input through the server: the
# same cut of 4 x 3 and Apply as on the headless system gives the same picture, which the run
# without the dialog gives when it replays the saved layout; rows typed without Enter are the
# rows Cut cuts; the host's colour picker is the desktop's; a second cut after Relayout asks its
# question in the skinned message box; About opens and closes. Screenshots of the screen: the
# main window in Layout mode with the Cutter, in Puzzle mode, the question, and About. Without a
# script, the close boxes end the dialog as cancelled.
. "$(dirname "$0")/lib.sh"
# Without a test display given, a private Xvfb of this script where one is installed.
if [ -z "${QW_TEST_DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 200); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.05
    done
    [ -s "$work/display" ] && QW_TEST_DISPLAY=":$(head -n1 "$work/display")"
fi
if [ -z "${QW_TEST_DISPLAY:-}" ]; then
    echo "no X11 test display (QW_TEST_DISPLAY, or Xvfb to start one)"
    [ -n "${QW_REQUIRE_X11:-}" ] && exit 1
    exit 0
fi
# One X11 test at a time on the display (the lock the test programs take).
exec 9>"/tmp/qw-x11-test$(printf '%s' "$QW_TEST_DISPLAY" | tr -c '[:alnum:]' '_').lock"
flock 9
picture="$src/samples/sample.png"
# run NAME STATUS DATA OUT [options...]: qwhost on the picture, bounded in time; it must exit
# with STATUS.
run() {
    local name=$1 status=$2 data=$3 out=$4
    shift 4
    expect "$name" "$status" env DISPLAY="$QW_TEST_DISPLAY" timeout 300 "$host" --module "$module" \
        --input "$picture" --data-dir "$data" --output-raw "$out" "$@"
}

sed "s|@SHOTS@|$screens/qwhost_x11_dialog|" "$src/tests/scripts/qwhost_dialog/cut_apply.uis" >"$work/cut.uis"
run "X11: open, cut 4 x 3, Apply by synthetic input" 0 "$work/x11" "$work/x11.raw" \
    --selectors 1,2,3,5 --ui x11 --ui-script "$work/cut.uis"
check "X11: the host window was disabled while the dialog ran" \
    grep -q "^host window: disabled during the dialog, enabled after the run" "$work/out.txt"
run "headless: the same script" 0 "$work/headless" "$work/headless.raw" \
    --selectors 1,2,3,5 --ui-script "$work/cut.uis"
check "X11 and headless runs give the same picture" cmp "$work/x11.raw" "$work/headless.raw"
run "the replay of the layout the X11 run saved" 0 "$work/x11" "$work/replay.raw" --selectors 2,3,5
# sample.png is RGB: the window's composite joins the anti-aliased edges by union (see
# qwhost_dialog_apply.sh); away from them the pictures agree.
check "the replay agrees with the dialog away from the pieces' edges" python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
d, r = open(f'{w}/x11.raw', 'rb').read(), open(f'{w}/replay.raw', 'rb').read()
assert len(d) == len(r) == 3 * 1200 * 900
differ = sum(1 for a, b in zip(d, r) if a != b)
assert 0 < differ < len(d) // 50, differ
PY

sed "s|@SHOTS@|$screens/qwhost_x11_dialog|" "$src/tests/scripts/qwhost_dialog/relayout.uis" >"$work/relayout.uis"
run "X11: Relayout, another cut, the question answered Yes, Apply" 0 "$work/relayout" "$work/relayout.raw" \
    --selectors 1,2,3,5 --ui x11 --ui-script "$work/relayout.uis"

run "X11: rows typed as 3 and left by a click on Cut, Apply" 0 "$work/rows" "$work/rows.raw" \
    --selectors 1,2,3,5 --ui x11 --ui-script "$src/tests/scripts/qwhost_dialog/typed_rows.uis"
check "X11: the cut and the saved layout have the 3 rows typed" python3 - "$work/rows/last.data" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
row_lines, = struct.unpack('>H', b[2:4])
assert b[0] == 1 and row_lines == 2, (b[0], row_lines)
PY

# The host's colour picker is the desktop's chooser: a stand-in zenity answers, and the probe
# module paints the colour it was handed, the chooser having started from the probe's colour.
chooser() {  # chooser DIR PAUSE: a zenity in DIR that notes its arguments, waits and answers
    mkdir -p "$1"
    printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s"\nsleep %s\necho "rgb(10,20,30)"\n' "$work/zenity.args" "$2" \
        >"$1/zenity"
    chmod +x "$1/zenity"
}
chooser "$work/bin" 0
python3 -c "open('$work/rgb.raw', 'wb').write(bytes(range(50)) * 120)"
printf '# nothing to play: the chooser answers\n' >"$work/none.uis"
expect "X11: the probe asks the host's colour picker" 0 env DISPLAY="$QW_TEST_DISPLAY" PATH="$work/bin:$PATH" \
    XDG_CURRENT_DESKTOP=GNOME QWPROBE=pick-color timeout 60 "$bin/bin/qwhost" --module "$bin/bin/qwhost_probe.8bf" \
    --raw "$work/rgb.raw" --size 50x40 --mode rgb --selectors 2,3,5 --ui x11 --ui-script "$work/none.uis" --output-raw "$work/picked.raw"
check "X11: zenity's colour selection, titled as the host's picker, started from the asked colour" \
    diff <(printf '%s\n' --color-selection "--title=Color Picker" "--color=#123456") "$work/zenity.args"
check "X11: the picked colour came back" planes "$work/picked.raw" 2000 10 20 30

# Without the host's colour services the colour overlay's swatch runs the same chooser as the
# system's colour dialog: titled "Color", from the swatch's colour (a fresh piece's red); the pieces
# take the colour it answers. The chooser takes its time: the script's next command waits for it.
sed "/^color /d; s|@SHOTS@|$screens/qwhost_x11|" "$src/tests/scripts/qwhost_effects/color.uis" >"$work/color.uis"
python3 -c "open('$work/pic.raw', 'wb').write(bytes(range(240)) * 320 * 3)"
chooser "$work/slow" 1
expect "X11 without colour services: a colour overlay chosen at its swatch, Apply" 0 env DISPLAY="$QW_TEST_DISPLAY" \
    PATH="$work/slow:$PATH" XDG_CURRENT_DESKTOP=GNOME timeout 300 "$host" --module "$module" --raw "$work/pic.raw" \
    --size 320x240 --mode rgb --data-dir "$work/color" --output-raw "$work/color.raw" --selectors 1,2,3,5 \
    --no-color-services --ui x11 --ui-script "$work/color.uis"
check "X11: the system's colour dialog is zenity titled Color, from the swatch's red" \
    diff <(printf '%s\n' --color-selection --title=Color "--color=#FF0000") "$work/zenity.args"
check "X11: the chosen colour is the result's commonest" commonest "$work/color.raw" 10 20 30

printf 'window About\nscreenshot "%s"\nclick About 200,100\n' "$screens/qwhost_x11_about.png" >"$work/about.uis"
run "X11: About opens and a click closes it" 0 "$work/about" "$work/about.raw" \
    --selectors 0 --ui x11 --ui-script "$work/about.uis"
check "About answered 0" grep -q "^selector 0: result 0" "$work/out.txt"

# Without a UI script, as a person runs it: the window manager's close box, played by a client
# of the display, closes the main window (cancelled), then the host window.
closer() { python3 "$src/tests/scripts/x11_close.py" "$QW_TEST_DISPLAY" "$@"; }
# The host window's close box once qwhost waits for it (it says so): not while the filter, whose
# windows are gone, still ends its call.
rm -f "$work/out.txt"
{
    closer still:Main close:Main gone:Main
    for _ in $(seq 1200); do
        grep -qs "^close the host window to end" "$work/out.txt" && break
        sleep 0.1
    done
    closer "close:qwhost:"
} >"$work/closer.txt" 2>&1 &
run "X11 for a person: the main window closed" 1 "$work/person" "$work/person.raw" \
    --selectors 1,2,3,5 --ui x11
wait $! || { echo "FAILED: the windows could not be closed"; cat "$work/closer.txt"; fail=1; }
check "closed by its close box, the dialog ends cancelled" grep -q "^selector 3: result -128" "$work/out.txt"
check "the host window was seen disabled while the dialog ran" \
    grep -q "^host window: disabled during the dialog, enabled after the run" "$work/out.txt"
# The host window closed under the open dialog takes the filter's windows with it: cancelled.
closer still:Main "close:qwhost:" >"$work/closer.txt" 2>&1 &
run "X11 for a person: the host window closed under the dialog" 1 "$work/gone" "$work/gone.raw" \
    --selectors 1,2,3,5 --ui x11
wait $! || { echo "FAILED: the windows could not be closed"; cat "$work/closer.txt"; fail=1; }
check "the dialog whose host window closed ends cancelled" grep -q "^selector 3: result -128" "$work/out.txt"

printf 'window Main\nclick Main Main_Nowhere\n' >"$work/bad.uis"
run "X11: a failing script ends the run with its own status" 4 "$work/bad" "$work/bad.raw" \
    --selectors 1,2,3,5 --ui x11 --ui-script "$work/bad.uis"
check "X11: the windows were closed as cancelled" grep -q "^selector 3: result -128" "$work/out.txt"
exit $fail
