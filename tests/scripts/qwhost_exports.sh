#!/usr/bin/env bash
# The main window's exports and preferences through qwhost, driven by a UI script: 300 pieces of a
# 600 x 450 picture to one layered PSD file and to 300 PNG files, the knives to EPS and Illustrator
# 3, the preferences changed; the three windows photographed as the main window opens them.
. "$(dirname "$0")/lib.sh"

W=600
H=450
mkdir -p "$work/png"
python3 - "$work/rgb.raw" $W $H <<'PY'
import sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, 'wb') as f:
    for c in range(3):
        f.write(bytes((x * (c + 1) + y * (3 - c)) & 255 for y in range(h) for x in range(w)))
PY
sed -e "s|@WORK@|$work|g" -e "s|@SCREENS@|$screens|g" "$src/tests/scripts/qwhost_dialog/exports.uis" >"$work/exports.uis"
expect "the scripted run applies" 0 timeout 300 "$host" --module "$module" --raw "$work/rgb.raw" \
    --size ${W}x$H --mode rgb --selectors 1,2,3,5 --data-dir "$work/data" --ui-script "$work/exports.uis" \
    --output-raw "$work/out.raw"

check "the PSD file holds 300 layers of the picture's size" python3 - "$work/pieces.psd" $W $H <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
w, h = int(sys.argv[2]), int(sys.argv[3])
assert data[:4] == b'8BPS', data[:4]
height, width = struct.unpack('>II', data[14:22])
assert (width, height) == (w, h), (width, height)
at = 26
at += 4 + struct.unpack('>I', data[at:at + 4])[0]  # colour mode data
at += 4 + struct.unpack('>I', data[at:at + 4])[0]  # image resources
count = abs(struct.unpack('>h', data[at + 8:at + 10])[0])
assert count == 300, count
PY
check "300 PNG files with simple names" python3 - "$work/png" <<'PY'
import os, struct, sys
names = sorted(os.listdir(sys.argv[1]))
assert len(names) == 300, len(names)
assert names[0] == 'piece_001.png' and names[-1] == 'piece_300.png', (names[0], names[-1])
for n in names:
    data = open(os.path.join(sys.argv[1], n), 'rb').read(32)
    assert data[:8] == b'\x89PNG\r\n\x1a\n', n
    assert struct.unpack('>II', data[16:24]) == (600, 450), n  # full canvas, piece in place
PY
for f in knives.eps knives.ai; do
    check "$f is PostScript with its bounding box" postscript "$work/$f"
done
check "the preferences were stored" grep -aq AlphaSolid "$work/data/plugin.conf"
exit $fail
