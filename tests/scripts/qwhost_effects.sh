#!/usr/bin/env bash
# The effect windows end to end through the test host, a UI script playing the user: on an RGB
# picture with two document layers, a cut of 4 x 3, pieces selected by the red channel, the nine
# effects given through their windows (one cancelled, one reset), the image overlay from the
# layer picker, Apply; the result equals the run without the dialog that replays the saved
# "last.data". A changed and cancelled blur leaves the result of a plain cut. Without the host's
# colour services the colour overlay's colour comes from the system's colour dialog.
. "$(dirname "$0")/lib.sh"
# run NAME DATA OUT [options...]: qwhost on the picture and its layers with the data folder; the
# planes it ends with go to OUT; it must exit 0.
run() {
    local name=$1 data=$2 out=$3
    shift 3
    expect "$name" 0 timeout 300 "$host" --module "$module" --input "$work/pic.png" \
        --layer "Paper=$work/paper.png" --layer "Patch=$work/patch.png@10,10" --data-dir "$data" \
        --output-raw "$out" --output-always "$@"
}

# A 320 x 240 picture whose red is dark on the left half, a layer over all of it and a small one.
python3 - "$work" <<'PY'
import sys
from pictures import png
png(sys.argv[1] + '/pic.png', 320, 240, lambda x, y: (20 if x < 160 else 230, (x + y) % 256, 120))
png(sys.argv[1] + '/paper.png', 320, 240, lambda x, y: ((x * 3) % 256, (y * 5) % 256, 60))
png(sys.argv[1] + '/patch.png', 30, 30, lambda x, y: (200, 200, 200))
PY

sed "s|@SHOTS@|$screens/qwhost_effects|" "$src/tests/scripts/qwhost_effects/effects.uis" >"$work/effects.uis"
run "the picture as it is" "$work/in.data" "$work/in.raw" --selectors 2
run "nine effects, a cancel, a reset, a channel and a layer, Apply" "$work/fx.data" "$work/fx.dialog" \
    --selectors 1,2,3,5 --ui-script "$work/effects.uis"
check "Apply saved the layout" test -s "$work/fx.data/last.data"
run "the replay of last.data without the dialog" "$work/fx.data" "$work/fx.replay" --selectors 2,3,5
check "the dialog's result equals the replay" cmp "$work/fx.dialog" "$work/fx.replay"

# The plain cut: the same script without the blur window's part.
sed '/Main_FXBlur/,/no-window FXblur/d' "$src/tests/scripts/qwhost_effects/cancel.uis" >"$work/plain.uis"
run "a plain cut, Apply" "$work/plain.data" "$work/plain.dialog" --selectors 1,2,3,5 --ui-script "$work/plain.uis"
run "a cut, a blur cancelled, Apply" "$work/cancel.data" "$work/cancel.dialog" --selectors 1,2,3,5 \
    --ui-script "$src/tests/scripts/qwhost_effects/cancel.uis"
check "the cancelled blur left the pieces as they were" cmp "$work/plain.dialog" "$work/cancel.dialog"
check "the effects show against the plain cut" bash -c "! cmp -s '$work/plain.dialog' '$work/fx.dialog'"

sed "s|@SHOTS@|$screens/qwhost_effects|" "$src/tests/scripts/qwhost_effects/typed.uis" >"$work/typed.uis"
run "a depth and an angle typed, other sliders touched, Apply" "$work/typed.data" "$work/typed.dialog" \
    --selectors 1,2,3,5 --ui-script "$work/typed.uis"
check "every piece holds the typed depth and angle" python3 - "$work/typed.data/last.data" <<'PY'
import struct, sys
from pictures import piece_records
recs = piece_records(open(sys.argv[1], 'rb').read())
assert len(recs) >= 12, len(recs)
for i, r in enumerate(recs):
    depth, = struct.unpack('>H', r[40:42])
    angle, = struct.unpack('b', r[83:84])
    assert (r[4], depth) == (1, 500), ('bevel', i, r[4], depth)
    assert (r[82], angle) == (1, 1), ('motion blur', i, r[82], angle)
    assert r[84] > 0 and r[38] > 2, ('the touched sliders', i, r[84], r[38])
PY
# Without the host's colour services the colour overlay's swatch asks the system's colour dialog,
# which the script answers: the pieces take the colour as from the host's picker.
sed "s|@SHOTS@|$screens/qwhost_effects|" "$src/tests/scripts/qwhost_effects/color.uis" >"$work/color.uis"
run "a colour overlay chosen at its swatch without colour services, Apply" "$work/sys.data" "$work/color.sys" \
    --selectors 1,2,3,5 --no-color-services --ui-script "$work/color.uis"
run "the same chosen in the host's picker" "$work/host.data" "$work/color.host" --selectors 1,2,3,5 \
    --pick-color 0A141E --ui-script "$work/color.uis"
check "the system's colour dialog gave the colour the host's picker gives" cmp "$work/color.sys" "$work/color.host"
check "the chosen colour is the result's commonest" commonest "$work/color.sys" 10 20 30
exit $fail
