#!/usr/bin/env bash
# Editing a layout in the filter's dialog end to end through the test host, a UI script playing
# the user on a grey picture: a grid line and a knot dragged, an extra knife added, undone and
# redone, a hexagonal mesh made by the Auto layout and undone, the pop-up menus opened, a Cut, pieces taken by a lasso, two hidden from the piece
# pop-up, blur switched on, Apply. What the dialog writes equals the run without the dialog that
# replays the saved "last.data", byte for byte; the saved layout holds the edits.
. "$(dirname "$0")/lib.sh"
run() {  # run NAME OUT [options...]: qwhost on the picture, the planes it ends with in OUT
    local name=$1 out=$2
    shift 2
    expect "$name" 0 timeout 300 "$host" --module "$module" --input "$work/pic.png" --data-dir "$work/data" \
        --output-raw "$out" --output-always --mode gray "$@"
}

python3 - "$work" <<'PY'
import sys
from pictures import png
png(sys.argv[1] + '/pic.png', 480, 360,
    lambda x, y: (((x * 255 // 479) ^ (y * 3)) & 255, (y * 255 // 359), (x + y) & 255))
PY

sed "s|@SHOTS@|$screens/qwhost_edit|" "$src/tests/scripts/qwhost_dialog/edit_layout.uis" >"$work/edit.uis"
run "the picture as it is" "$work/in.raw" --selectors 2
run "open, edit by mouse and keys, cut, select, hide, blur, Apply" "$work/dialog.raw" \
    --selectors 1,2,3,5 --ui-script "$work/edit.uis"
check "the host is told 0" grep -q "^selector 3: result 0" "$work/out.txt"
check "Apply saved the layout" test -s "$work/data/last.data"
cp "$work/data/last.data" "$work/saved.data"
run "the replay of last.data without the dialog" "$work/replay.raw" --selectors 2,3,5
check "the dialog's result equals the replay" cmp "$work/dialog.raw" "$work/replay.raw"
check "the pieces changed the picture" bash -c "! cmp -s '$work/in.raw' '$work/dialog.raw'"
check "the saved layout holds the edits" python3 - "$work/saved.data" <<'PY'
import struct, sys
from pictures import piece_records
b = open(sys.argv[1], 'rb').read()
assert b[0] == 1, 'not a Puzzle-mode layout'
yl, xl = struct.unpack('>HH', b[2:6])
extra, = struct.unpack('>I', b[6:10])
assert (xl, yl, extra) == (3, 2, 1), (xl, yl, extra)
lines = struct.unpack('>%df' % (yl + xl), b[10:10 + 4 * (yl + xl)])
x0 = lines[yl]
assert abs(x0 - 150 / 480) < 0.01, ('the dragged line is at', x0)
at = 10 + 4 * (yl + xl)
knots, = struct.unpack('>I', b[at:at + 4])
offsets = struct.unpack('>%df' % (2 * knots), b[at + 4:at + 4 + 8 * knots])
moved = [i for i in range(knots) if offsets[2 * i] != 0 or offsets[2 * i + 1] != 0]
assert moved == [6], ('knots with offsets', moved)
# The piece records: shown at 89, Gaussian blur on at 44.
recs = piece_records(b)
n = len(recs)
hidden = sum(1 for r in recs if r[89] == 0)
blurred = sum(1 for r in recs if r[44] == 1)
assert hidden == 2, ('hidden pieces', hidden)
assert 0 < blurred < n, ('blurred pieces', blurred)
print('lines', lines, 'knot 6 moved, 1 extra knife,', hidden, 'hidden,', blurred, 'blurred')
PY
exit $fail
