#!/usr/bin/env bash
# The filter module driven by the test host: selector results (and what the host says they
# mean), requested rectangles, image modes, the layout replayed, the data folder and a module
# folder beyond ASCII.
. "$(dirname "$0")/lib.sh"
[ -x "$host" ] && [ -f "$module" ] || { echo "qwhost or the module is not built"; exit 1; }
run() {  # run NAME RESULT STATUS ARGS...: the module's run (see ran)
    local name=$1 want=$2 status=$3
    shift 3
    ran "$name" "$want" "$status" --module "$module" "$@"
}

# Test images: raw planes written out as PNG by the host itself (Prepare only).
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
W, H = 64, 48
def plane(f): return bytes(f(x, y) % 256 for y in range(H) for x in range(W))
r, g, b = plane(lambda x, y: x * 4), plane(lambda x, y: y * 5), plane(lambda x, y: x + y)
open(w + "/rgb.raw", "wb").write(r + g + b)
open(w + "/rgba.raw", "wb").write(r + g + b + bytes([200]) * (W * H))
open(w + "/gray.raw", "wb").write(bytes([128]) * (W * H))
open(w + "/ink.raw", "wb").write(bytes([30]) * (W * H))
PY
for item in rgb:rgb rgba:rgb gray:gray ink:gray; do
    name=${item%%:*}; mode=${item#*:}
    "$host" --module "$module" --raw "$work/$name.raw" --size 64x48 --mode "$mode" --selectors 2 \
        --output "$work/$name.png" >/dev/null || { echo "cannot make $name.png"; exit 1; }
done
for n in c m y k; do cp "$work/ink.png" "$work/$n.png"; done

check "help documents the contract" bash -c "'$host' --help | grep -q -- '--selectors'"

run "every plain selector answers 0" 0 0 --input "$work/rgb.png" --selectors 0,1,2,4,5
check "the requests stay empty" bash -c "! printf '%s\n' \"\$0\" | grep -q 'requests open'" "$out"
run "selector 6 is bad parameters" -30100 1 --input "$work/rgb.png" --selectors 2,6
check "which the host names" grep -q "^qwhost: result -30100: the filter refused the call" "$work/err.txt"
run "selector 100 is bad parameters" -30100 1 --input "$work/gray.png" --selectors 100
run "an unsupported mode is bad mode" -30101 1 --input "$work/rgb.png" --mode lab --selectors 2,3,5
check "which the host names" grep -q "^qwhost: result -30101: the filter does not take the image's mode" "$work/err.txt"
check "bad mode leaves the requests empty" bash -c "printf '%s\n' \"\$0\" | grep -q 'selector 3: result -30101, requests empty'" "$out"
run "an unsupported filter case is bad mode" -30101 1 --input "$work/rgba.png" --filter-case 8 --selectors 3

# Without a recorded layout or a last layout there is nothing to replay: cancelled.
mkdir -p "$work/data"
run "a replay without a layout is cancelled" -128 1 --input "$work/rgb.png" --data-dir "$work/data" \
    --selectors 2,3,5 --descriptors "$work/none.desc"
check "Start opens plugin.conf in the data folder" test -s "$work/data/plugin.conf"
check "the host says what -128 means" grep -q "^qwhost: result -128: the filter was cancelled or refused its input" "$work/err.txt"
check "and that there was no layout" grep -qF "qwhost: no layout to replay: no --layout was given and the data folder $work/data holds no last.data" "$work/err.txt"
check "no faults on a plain run" bash -c "printf '%s\n' \"\$0\" | grep -q 'faults: 0'" "$out"
run "grey input" -128 1 --input "$work/gray.png" --data-dir "$work/data" --selectors 2,3
run "CMYK from four planes" -128 1 --input "$work/c.png,$work/m.png,$work/y.png,$work/k.png" \
    --mode cmyk --data-dir "$work/data" --selectors 2,3
run "RGBA with a selection" -128 1 --input "$work/rgba.png" --mask "$work/gray.png" \
    --data-dir "$work/data" --selectors 2,3 --channel-names Red,,Blue --ruler-unit 6
run "document layers from PNG files" -128 1 --input "$work/rgb.png" --data-dir "$work/data" \
    --selectors 2,3,5 --layer "Top=$work/rgba.png@5,6" --layer "Grey=$work/gray.png" --icc "$work/ink.raw"
check "no faults with layers" bash -c "printf '%s\n' \"\$0\" | grep -q 'faults: 0'" "$out"
run "a host with fewer services" -128 1 --input "$work/rgba.png" --data-dir "$work/data" \
    --selectors 1,2,3 --host-sig OTHR --no-absolute --no-color-services --no-document-info \
    --fail property:1 --resolution 150,300 --fore 112233 --back 445566 --rect 4,4,40,40 --filter-case 0
check "no faults with fewer services" bash -c "printf '%s\n' \"\$0\" | grep -q 'faults: 0'" "$out"
printf 'not a layout blob' > "$work/bad.layout"
run "a recorded layout that does not parse is cancelled" -128 1 --input "$work/rgb.png" \
    --data-dir "$work/data" --layout "$work/bad.layout" --selectors 2,3,5
check "the host names the layout" grep -qF "qwhost: the layout replayed: $work/bad.layout (--layout)" "$work/err.txt"
cp "$work/bad.layout" "$work/data/last.data"
run "so does a last.data that does not parse" -128 1 --input "$work/rgb.png" --data-dir "$work/data" --selectors 2,3,5
check "which the host names" grep -qF "qwhost: the layout replayed: $work/data/last.data" "$work/err.txt"

# A module installed in a folder whose name is beyond ASCII finds its folders.
plug="$work/Plug-ins ünïcødé ✓"
mkdir -p "$plug"
cp "$module" "$plug/"
module="$plug/QWJigcrafter30.8bf"
run "a module beyond ASCII answers" -128 1 --input "$work/rgb.png" --selectors 2,3,5
check "its data folder is its own folder" test -s "$plug/plugin.conf"
# Without its skin package beside it, its About window cannot open: the message box says so, on
# stderr in a headless run.
run "About without the skin package is cancelled" -128 1 --input "$work/rgb.png" --selectors 0
check "the message box is told" grep -qF "message box: Quarrow. Jigcrafter 3.0 Error: Cannot load the resource file." "$work/err.txt"

"$host" --module "$work/missing.8bf" --input "$work/rgb.png" >/dev/null 2>&1
check "a missing module is a usage error" test $? = 2
exit $fail
