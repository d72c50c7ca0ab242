#!/usr/bin/env bash
# The Cutter through qwhost, driven by a UI script: a shape edited, saved as a knife-shape file
# and as EPS and loaded back, kept in the library under a name, cloned with high mutation onto a
# 6 x 4 grid, cut and applied. The library then holds the named shape as one 836-byte record,
# and the run without the dialog (the saved layout replayed)
# writes the same pixels as the run with it.
. "$(dirname "$0")/lib.sh"

W=240
H=180
python3 - "$work/gray.raw" $W $H <<'PY'
import sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, 'wb') as f:
    f.write(bytes(((x * 7 + y * 3) ^ (x * y)) & 255 for y in range(h) for x in range(w)))
PY
sed -e "s|@SCREENS@|$screens|g" -e "s|@WORK@|$work|g" "$src/tests/scripts/qwhost_dialog/shape_clone.uis" >"$work/shape.uis"
expect "the scripted run applies" 0 timeout 300 "$host" --module "$module" --raw "$work/gray.raw" \
    --size ${W}x$H --mode gray --selectors 1,2,3,5 --data-dir "$work/data" --ui-script "$work/shape.uis" \
    --output-raw "$work/dialog.out"
check "the library holds the named shape" python3 - "$work/data/ckss.data" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
assert len(data) == 836, len(data)
name = data[:64].split(b'\0')[0]
assert name == b'Script Shape', name
n = data[64]
assert n == 5, n
h = struct.unpack('<64f', data[324:580])[:n]
# Aligned to the edge, then dragged off it: every node lies off the edge, all alike.
assert all(abs(v - h[0]) < 1e-6 for v in h) and abs(h[0]) > 0.1, h
PY
check "the saved layout has 4 rows and 6 columns" python3 - "$work/data/last.data" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
rows, columns = struct.unpack('>HH', data[2:6])
assert (rows + 1, columns + 1) == (4, 6), (rows, columns)
PY
check "the Save menu wrote the shape file" test -s "$work/edited.qwjh"
check "and its EPS" postscript "$work/edited.eps"
check "the last shape is stored for the next run" grep -q . "$work/data/plugin.conf"

expect "the run without the dialog replays the layout" 0 timeout 300 "$host" --module "$module" \
    --raw "$work/gray.raw" --size ${W}x$H --mode gray --selectors 2,3,5 --data-dir "$work/data" \
    --output-raw "$work/replay.out"
check "and writes the same pixels" cmp -s "$work/dialog.out" "$work/replay.out"
check "the pieces changed the picture" bash -c "! cmp -s '$work/gray.raw' '$work/dialog.out'"
exit $fail
