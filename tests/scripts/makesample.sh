#!/usr/bin/env bash
# makesample: it makes the folder it writes into (with its parents) and says clearly when it
# cannot; --help or an unknown option gives its usage and makes nothing; by default it writes the shipped sample layouts; a grid smaller than the sample's still
# gets pieces with effects: in a 2 x 2 grid the overlaid piece keeps its cell (row 2, column 2)
# and the stroked, hidden and inverted ones take the free cells in reading order, so the filter
# shows the background in row 1, column 2 and turns the colours over in row 2, column 1.
. "$(dirname "$0")/lib.sh"

expect "a folder that does not exist is made, with its parents" 0 "$bin/bin/makesample" "$work/new/deeper"
check "the default layouts are the shipped samples" \
    cmp -s "$work/new/deeper/sample.layout" "$src/samples/sample.layout"
check "and the Layout-mode one" cmp -s "$work/new/deeper/sample-lines.layout" "$src/samples/sample-lines.layout"

touch "$work/file"
expect "a folder that cannot be made is an error" 1 "$bin/bin/makesample" "$work/file/below"
check "which names the folder" grep -q "cannot make the folder $work/file/below" "$work/err.txt"
check "and writes nothing" test ! -e "$work/file/below"

# Asked for its usage, or given an option it does not take, it says how it is used and makes
# nothing (not a folder named after the word).
mkdir "$work/cwd"
for word in --help -h; do
    expect "$word prints the usage" 0 env -C "$work/cwd" "$bin/bin/makesample" "$word"
    check "$word: the usage on stdout" grep -q "^usage: makesample OUTDIR" "$work/out.txt"
done
for word in --bogus -x -5; do
    expect "$word is refused" 2 env -C "$work/cwd" "$bin/bin/makesample" "$word"
    check "$word: named with the usage" grep -q "^makesample: unknown option $word" "$work/err.txt"
    check "$word: with the usage" grep -q "^usage: makesample OUTDIR" "$work/err.txt"
done
expect "an option after the folder too" 2 env -C "$work/cwd" "$bin/bin/makesample" out 300 200 -2 2
check "nothing was made" test -z "$(ls -A "$work/cwd")"

expect "a 2 x 2 grid" 0 "$bin/bin/makesample" "$work/small" 300 200 2 2
expect "renders" 0 "$host" --module "$module" --input "$work/small/sample.png" --layout "$work/small/sample.layout" \
    --data-dir "$work/data" --output "$work/small/out.png"
check "with a hidden and an inverted piece" /usr/bin/python3 - "$work/small" <<'PY'
import sys
from PIL import Image
d = sys.argv[1]
a = Image.open(d + "/sample.png").convert("RGB")
b = Image.open(d + "/out.png").convert("RGB")
# Boxes inside the two cells that no other piece's tab reaches; a few pixels of the inverted one
# are bevelled.
hidden = [(x, y) for x in range(190, 290) for y in range(5, 35)]
inverted = [(x, y) for x in range(15, 60) for y in range(160, 190)]
assert all(b.getpixel(p) == (255, 255, 255) for p in hidden)
assert not any(a.getpixel(p) == (255, 255, 255) for p in hidden)
turned = sum(all(abs(255 - u - v) <= 1 for u, v in zip(a.getpixel(p), b.getpixel(p))) for p in inverted)
assert turned > len(inverted) * 4 // 5, (turned, len(inverted))
PY
exit $fail
