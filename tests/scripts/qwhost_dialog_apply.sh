#!/usr/bin/env bash
# The filter's dialog end to end through the test host, a UI script playing the user: on grey,
# RGB and CMYK pictures, open -> 3 rows and 4 columns in the Cutter -> Cut -> Apply writes what
# the run without the dialog writes when it replays the saved "last.data". Grey and CMYK pieces
# are cut again from the host's planes either way and must come out byte for byte the same. An
# RGB picture takes the main window's own composite instead, which joins the anti-aliased edges
# of neighbouring pieces by union where the write-back covers them fully; so with transparency
# the colour planes are equal and the alpha differs only where the replay is opaque and the
# window is not, and without it the window's colours are exactly the replay's blended over the
# background by that alpha. A link planted at "last.data" is replaced by the saved layout, what
# it names untouched. Cancel, the close box and the window manager's close end with -128 and
# leave the picture untouched.
. "$(dirname "$0")/lib.sh"
# run NAME STATUS PICTURE DATA OUT [options...]: qwhost on the picture with the data folder,
# bounded in time, the planes it ends with written to OUT; it must exit with STATUS.
run() {
    local name=$1 status=$2 picture=$3 data=$4 out=$5
    shift 5
    expect "$name" "$status" timeout 300 "$host" --module "$module" --input "$picture" --data-dir "$data" \
        --output-raw "$out" --output-always "$@"
}

# Two pictures of 480 x 360: rings over a colour ramp, opaque RGB and the same with an alpha plane
# of 255 (transparency the filter may edit).
python3 - "$work" <<'PY'
import math, sys
from pictures import png
def pixel(x, y):
    r = math.hypot(x - 240, y - 180)
    ring = 40 if int(r / 12) % 2 else 0
    return (min(255, x * 255 // 479 + ring), min(255, y * 255 // 359 + ring), max(0, 200 - ring), 255)
png(sys.argv[1] + '/rgb.png', 480, 360, pixel)
png(sys.argv[1] + '/rgba.png', 480, 360, pixel, 4)
PY

script() {  # script SHOTS: the cut-and-apply script with its screenshots named SHOTS_...
    sed "s|@SHOTS@|$1|" "$src/tests/scripts/qwhost_dialog/cut_apply.uis" >"$work/cut.uis"
}
# apply NAME PICTURE [options]: the dialog run and the replay of its "last.data" in a fresh data
# folder; the picture before (NAME.in), after the dialog (NAME.dialog) and after the replay
# (NAME.replay).
apply() {
    local name=$1 picture=$2
    shift 2
    rm -rf "$work/$name.data"
    run "$name: the picture as it is" 0 "$picture" "$work/$name.data" "$work/$name.in" --selectors 2 "$@"
    # A link planted at the last layout's name: Apply replaces it, never writes through it.
    echo mine >"$work/$name.mine"
    ln -s "$work/$name.mine" "$work/$name.data/last.data"
    run "$name: open, cut 4 x 3, Apply" 0 "$picture" "$work/$name.data" "$work/$name.dialog" \
        --selectors 1,2,3,5 --ui-script "$work/cut.uis" "$@"
    check "$name: the host window was disabled while the dialog ran" \
        grep -q "^host window: disabled during the dialog, enabled after the run" "$work/out.txt"
    check "$name: Apply saved the layout" test -s "$work/$name.data/last.data"
    check "$name: in place of the link" test ! -L "$work/$name.data/last.data"
    check "$name: whose file stays as it was" cmp -s "$work/$name.mine" <(echo mine)
    run "$name: the replay of last.data without the dialog" 0 "$picture" "$work/$name.data" \
        "$work/$name.replay" --selectors 2,3,5 "$@"
    check "$name: the pieces changed the picture" bash -c "! cmp -s '$work/$name.in' '$work/$name.dialog'"
}

script "$screens/qwhost_dialog_grey"
apply grey "$work/rgb.png" --mode gray
check "grey: the dialog's result equals the replay" cmp "$work/grey.dialog" "$work/grey.replay"
script "$screens/qwhost_dialog_cmyk"
apply cmyk "$work/rgb.png" --mode cmyk
check "cmyk: the dialog's result equals the replay" cmp "$work/cmyk.dialog" "$work/cmyk.replay"
script "$screens/qwhost_dialog_rgb"
apply rgb "$work/rgb.png"
script "$work/rgba"
apply rgba "$work/rgba.png"
check "rgb: the dialog differs from the replay exactly by the union of the anti-aliased edges" \
    python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
n = 480 * 360
read = lambda name: open(f'{w}/{name}', 'rb').read()
d4, r4, d3, r3 = read('rgba.dialog'), read('rgba.replay'), read('rgb.dialog'), read('rgb.replay')
assert len(d4) == len(r4) == 4 * n and len(d3) == len(r3) == 3 * n
assert d4[:3 * n] == r4[:3 * n], 'the colour planes differ with transparency'
seams = 0
for i in range(n):
    a, b = d4[3 * n + i], r4[3 * n + i]
    if a == b:
        for c in range(3):
            assert d3[c * n + i] == r3[c * n + i], ('a colour differs away from the edges', i, c)
        continue
    assert b == 255 and a < 255, ('the alpha differs otherwise than by union', i, a, b)
    seams += 1
    for c in range(3):
        want = ((255 - a) * 255 + r3[c * n + i] * a) // 255
        assert d3[c * n + i] == want, ('the window blends otherwise', i, c, d3[c * n + i], want)
assert seams > 100, f'only {seams} edge pixels differ: anti-aliasing did not take part'
print(f'{seams} edge pixels differ by union, as they should')
PY

# Relayout and a cut of another grid: the question comes once, Yes resets the effects, the status
# line does not stay on the render's progress; what Apply writes is again what the replay writes.
sed "s|@SHOTS@|$screens/qwhost_dialog|" "$src/tests/scripts/qwhost_dialog/relayout.uis" >"$work/cut.uis"
apply relayout "$work/rgb.png" --mode gray
check "relayout: the dialog's result equals the replay" cmp "$work/relayout.dialog" "$work/relayout.replay"

# The same with two pieces hidden before Relayout: Yes shows them again with the defaults, so the
# result is the one without hiding, and again what the replay writes.
sed "s|@SHOTS@|$screens/qwhost_dialog|" "$src/tests/scripts/qwhost_dialog/hidden_reset.uis" >"$work/cut.uis"
apply hidden "$work/rgb.png" --mode gray
check "hidden: the dialog's result equals the replay" cmp "$work/hidden.dialog" "$work/hidden.replay"
check "hidden: Yes showed the hidden pieces again" cmp "$work/hidden.dialog" "$work/relayout.dialog"

# Ending without Apply: the picture stays as it was, the result is -128.
for end in "click Main Main_Cancel" "click Main Main_CloseX" "close Main"; do
    printf 'window Main\nwindow Cutter\n%s\n' "$end" >"$work/end.uis"
    run "$end: the run ends cancelled" 1 "$work/rgb.png" "$work/end.data" "$work/end.raw" \
        --selectors 1,2,3,5 --ui-script "$work/end.uis"
    check "$end: the host is told -128" grep -q "^selector 3: result -128" "$work/out.txt"
    check "$end: the picture is untouched" cmp "$work/rgb.in" "$work/end.raw"
    check "$end: nothing was saved as the last layout" test ! -e "$work/end.data/last.data"
done
exit $fail
