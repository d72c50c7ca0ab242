#!/usr/bin/env bash
# The filter run without its dialog, end to end through the test host: a layout handed over as
# scripting parameters or as "last.data" is replayed on grey, RGB and CMYK documents, with and
# without a selection and transparency, in Layout mode (the Splitter lines) and Puzzle mode (the
# rendered pieces); cancels and missing layouts leave the document untouched.
. "$(dirname "$0")/lib.sh"
[ -x "$host" ] && [ -f "$module" ] || { echo "qwhost or the module is not built"; exit 1; }
samples=$src/samples
run() {  # run NAME RESULT ARGS...: the module's run (see ran), 0 ending well, without faults
    local name=$1 want=$2
    shift 2
    ran "$name" "$want" "$([ "$want" = 0 ] && echo 0 || echo 1)" --module "$module" "$@"
    grep -q 'faults: 0' <<<"$out" || { echo "FAILED: $name: the host saw faults"; fail=1; }
}
# py SCRIPT ARGS...: a check in Python over raw planar files (plain bytes only).
py() { python3 -c "$@"; }

W=160 H=120
python3 - "$work" $W $H <<'PY'
import sys
w, W, H = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def plane(f): return bytes(f(x, y) % 256 for y in range(H) for x in range(W))
r = plane(lambda x, y: 40 + x)
g = plane(lambda x, y: 30 + 2 * y)
b = plane(lambda x, y: (x * y) // 64)
open(w + "/rgb.raw", "wb").write(r + g + b)
open(w + "/gray.raw", "wb").write(r)
open(w + "/cmyk.raw", "wb").write(r + g + b + plane(lambda x, y: 20))
# Transparency: a frame of 20 pixels fully transparent, the rest opaque.
alpha = plane(lambda x, y: 255 if 20 <= x < W - 20 and 20 <= y < H - 20 else 0)
open(w + "/rgba.raw", "wb").write(r + g + b + alpha)
open(w + "/graya.raw", "wb").write(r + alpha)
open(w + "/cmyka.raw", "wb").write(r + g + b + plane(lambda x, y: 20) + alpha)
# Selection: the left half unselected.
sel = plane(lambda x, y: 0 if x < W // 2 else 255)
open(w + "/sel.raw", "wb").write(sel)
PY
"$host" --module "$module" --raw "$work/sel.raw" --size ${W}x$H --mode gray --selectors 2 \
    --output "$work/sel.png" >/dev/null || { echo "cannot make the mask PNG"; exit 1; }
"$bin/bin/makesample" "$work" $W $H 6 5 >/dev/null || { echo "makesample failed"; exit 1; }

common="--size ${W}x$H --selectors 2,3,5 --output-always"

# --- Puzzle mode -------------------------------------------------------------------------------
# Each mode with its planes and background (white; CMYK: no ink): plainly, with a selection and
# with editable transparency.
for item in gray:1:255 rgb:3:255 cmyk:4:0; do
    IFS=: read -r mode planes back <<< "$item"
    mkdir -p "$work/d-$mode"
    run "Puzzle mode, $mode" 0 --raw "$work/$mode.raw" --mode $mode $common \
        --layout "$work/sample.layout" --data-dir "$work/d-$mode" --output-raw "$work/p-$mode.out"
    # The hidden piece (row 3, column 3) shows the background, which the input never has.
    check "Puzzle mode, $mode: the pieces rendered (bevels change it), the hidden one clear" py "
import sys
W, H, P, B = $W, $H, $planes, $back
n = W * H
a = open('$work/$mode.raw','rb').read(); b = open('$work/p-$mode.out','rb').read()
changed = sum(x != y for x, y in zip(a, b))
clear = sum(1 for i in range(n) if all(b[p*n + i] == B for p in range(P)))
sys.exit(0 if len(a) == len(b) and changed > len(a) // 50 and clear > n // 30 * 2 // 3 else 1)"

    # With a selection: the unselected half is left transparent by the composite, so it is the
    # background; the selected half holds the pieces.
    run "Puzzle mode with a selection, $mode" 0 --raw "$work/$mode.raw" --mode $mode $common \
        --mask "$work/sel.png" --layout "$work/sample.layout" --data-dir "$work/d-$mode" \
        --output-raw "$work/p-sel-$mode.out"
    check "$mode: the unselected half is the background, the selected half is not" py "
import sys
W, H, P, B = $W, $H, $planes, $back
b = open('$work/p-sel-$mode.out','rb').read()
left = all(b[p*W*H + y*W + x] == B for p in range(P) for y in range(H) for x in range(W // 2))
right = sum(b[y*W + x] != B for y in range(H) for x in range(W // 2, W))
sys.exit(0 if left and right > W * H // 4 else 1)"

    # With editable transparency: the pieces are cut within the opaque pixels; the transparent
    # frame stays transparent and its pixels are not touched.
    run "Puzzle mode with transparency, $mode" 0 --raw "$work/${mode}a.raw" --mode $mode $common \
        --layout "$work/sample.layout" --data-dir "$work/d-$mode" --output-raw "$work/p-a-$mode.out"
    check "$mode: the transparent frame is untouched, the inside is opaque pieces" py "
import sys
W, H, P = $W, $H, $planes
a = open('$work/${mode}a.raw','rb').read(); b = open('$work/p-a-$mode.out','rb').read()
inside = lambda x, y: 20 <= x < W - 20 and 20 <= y < H - 20
frame = all(a[p*W*H + y*W + x] == b[p*W*H + y*W + x] for p in range(P + 1) for y in range(H) for x in range(W) if not inside(x, y))
opaque = sum(b[P*W*H + y*W + x] == 255 for y in range(H) for x in range(W) if inside(x, y))
changed = sum(a[y*W + x] != b[y*W + x] for y in range(H) for x in range(W) if inside(x, y))
sys.exit(0 if len(a) == len(b) and frame and opaque > (W - 40) * (H - 40) * 9 // 10 and changed > 100 else 1)"
done

# The same layout as "last.data" in the data folder gives the same pixels.
mkdir -p "$work/d-last"
cp "$work/sample.layout" "$work/d-last/last.data"
run "Puzzle mode from last.data" 0 --raw "$work/rgb.raw" --mode rgb $common \
    --data-dir "$work/d-last" --output-raw "$work/p-last.out"
check "last.data replays like the scripting parameters" cmp -s "$work/p-last.out" "$work/p-rgb.out"

# --- Layout mode -------------------------------------------------------------------------------
# Red lines on green: every pixel is a blend of the two colours, some are fully red.
run "Layout mode, rgb" 0 --raw "$work/rgb.raw" --mode rgb $common --fore FF0000 --back 00FF00 \
    --layout "$work/sample-lines.layout" --data-dir "$work/d-rgb" --output-raw "$work/l-rgb.out"
check "Layout mode, rgb: the lines in the foreground colour over the background" py "
import sys
W, H = $W, $H
b = open('$work/l-rgb.out','rb').read()
n = W * H
blend = all(b[i] + b[n + i] == 255 and b[2*n + i] == 0 for i in range(n))
lines = sum(b[i] > 128 for i in range(n))
sys.exit(0 if blend and W < lines < n // 3 else 1)"
run "Layout mode, gray" 0 --raw "$work/gray.raw" --mode gray $common --fore 00 --back FF \
    --layout "$work/sample-lines.layout" --data-dir "$work/d-gray" --output-raw "$work/l-gray.out"
check "Layout mode, gray: black lines on white" py "
import sys
b = open('$work/l-gray.out','rb').read()
sys.exit(0 if sum(v < 128 for v in b) > $W and b.count(255) > len(b) // 2 else 1)"
run "Layout mode, cmyk" 0 --raw "$work/cmyk.raw" --mode cmyk $common \
    --layout "$work/sample-lines.layout" --data-dir "$work/d-cmyk" --output-raw "$work/l-cmyk.out"
check "Layout mode, cmyk: black-ink lines, no other ink" py "
import sys
n = $W * $H
b = open('$work/l-cmyk.out','rb').read()
sys.exit(0 if all(v == 0 for v in b[:3*n]) and sum(v > 128 for v in b[3*n:]) > $W else 1)"
# With editable transparency the lines are the only opaque pixels, every colour plane is the
# foreground colour.
for item in gray:1:40 rgb:3:0A141E cmyk:4:01020304; do
    IFS=: read -r mode planes fore <<< "$item"
    run "Layout mode with transparency, $mode" 0 --raw "$work/${mode}a.raw" --mode $mode $common \
        --fore $fore --layout "$work/sample-lines.layout" --data-dir "$work/d-$mode" \
        --output-raw "$work/l-a-$mode.out"
    check "$mode: the lines in the transparency, the foreground colour in the planes" py "
import sys
W, H, P = $W, $H, $planes
fore = bytes.fromhex('$fore')
n = W * H
b = open('$work/l-a-$mode.out','rb').read()
inside = lambda i: 20 <= i % W < W - 20 and 20 <= i // W < H - 20
alpha = b[P*n:]
lines = sum(1 for i in range(n) if inside(i) and alpha[i] > 128)
clear = sum(1 for i in range(n) if inside(i) and alpha[i] == 0)
colour = all(b[p*n + i] == fore[p] for p in range(P) for i in range(n) if inside(i))
sys.exit(0 if colour and lines > W and clear > lines else 1)"
done
run "Layout mode with a selection" 0 --raw "$work/rgb.raw" --mode rgb $common --mask "$work/sel.png" \
    --layout "$work/sample-lines.layout" --data-dir "$work/d-rgb" --output-raw "$work/l-sel.out"
check "Layout mode ignores the selection: the lines as without it" py "
import sys
a = open('$work/l-sel.out','rb').read()
sys.exit(0 if sum(v < 128 for v in a[:$W * $H]) > $W else 1)"

# --- Failures leave the document untouched ------------------------------------------------------
run "an abort part-way is a cancel" -128 --raw "$work/rgb.raw" --mode rgb $common --abort-after 20 \
    --layout "$work/sample.layout" --data-dir "$work/d-rgb" --output-raw "$work/abort.out"
check "the aborted run wrote nothing" cmp -s "$work/abort.out" "$work/rgb.raw"
check "the abort was asked part-way" py "
import re, sys
sys.exit(0 if re.search(r'abort polls: 20,', '''$out''') else 1)"
run "an abort while drawing the lines is a cancel" -128 --raw "$work/rgb.raw" --mode rgb $common \
    --abort-after 2 --layout "$work/sample-lines.layout" --data-dir "$work/d-rgb" --output-raw "$work/abort2.out"
check "the aborted Layout-mode run wrote nothing" cmp -s "$work/abort2.out" "$work/rgb.raw"
mkdir -p "$work/d-none"
run "no stored layout is a cancel" -128 --raw "$work/rgb.raw" --mode rgb $common \
    --data-dir "$work/d-none" --output-raw "$work/none.out"
check "without a layout the image is untouched" cmp -s "$work/none.out" "$work/rgb.raw"
run "Finish clears the show-dialog flag: the next Start replays" 0 --raw "$work/rgb.raw" --mode rgb \
    --size ${W}x$H --selectors 1,5,2,3,5 --layout "$work/sample.layout" --data-dir "$work/d-rgb" \
    --output-raw "$work/again.out"
check "the replay after Finish gives the replayed pixels" cmp -s "$work/again.out" "$work/p-rgb.out"

# --- Too little memory --------------------------------------------------------------------------
# Under limits of the address space from too small to load the module to enough for the run, the
# replay and the dialog end with the filter's result (exit 1) or the host's own failure (exit 2,
# said on stderr), never by an abort. A filter run that fails for memory says so, also when the
# dialog's windows cannot be made; one whose windows opened was closed by nobody. (A sanitizer
# build reserves far more address space than that for itself: not there.)
if ! grep -q '^QW_SANITIZE:BOOL=ON' "$bin/CMakeCache.txt" 2>/dev/null; then
    bad=0
    for limit in $(seq 16000 4000 96000); do
        for selectors in 2,3,5 1,2,3,5; do
            (ulimit -v "$limit"; "$host" --module "$module" --input "$samples/sample.png" \
                --layout "$samples/sample.layout" --selectors "$selectors" --data-dir "$work/d-mem" \
                >"$work/mem.out" 2>"$work/mem.err")
            rc=$?
            case $rc in
            0) ok=1 ;;
            1) grep -q -e "Memory allocation problem\.\.\." -e "nobody answered" "$work/mem.err" && ok=1 || ok=0 ;;
            2) grep -q "^qwhost: " "$work/mem.err" && ok=1 || ok=0 ;;
            *) ok=0 ;;
            esac
            if [ $ok = 0 ]; then
                echo "FAILED: under $limit KB, selectors $selectors: exit $rc"
                sed 's/^/    /' "$work/mem.out" "$work/mem.err" | tail -n 6
                bad=1
            fi
        done
    done
    check "every run under too little memory ends with a result or the host's failure, said" test $bad = 0
fi
exit $fail
