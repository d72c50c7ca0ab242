#!/usr/bin/env bash
# The test host's own behaviour, shown with a probe module that inverts the image in strips:
# strips within maxSpace, output images, progress, abort, injected failures, descriptors kept
# between runs, the colour picker's answer, and the faults it reports (leaked or
# twice-disposed handles, requests beyond maxSpace, unreleased suites).
. "$(dirname "$0")/lib.sh"
probe=$bin/bin/qwhost_probe.8bf
[ -x "$host" ] && [ -f "$probe" ] || { echo "qwhost or its probe is not built"; exit 1; }
probe() {  # probe NAME RESULT STATUS ARGS...: the probe's run (see ran)
    local name=$1 want=$2 status=$3
    shift 3
    ran "$name" "$want" "$status" --module "$probe" "$@"
}
inverted() {  # inverted A B: B holds 255 minus each byte of A
    python3 -c "import sys; a, b = (open(p, 'rb').read() for p in sys.argv[1:])
sys.exit(len(a) != len(b) or any(x + y != 255 for x, y in zip(a, b)))" "$1" "$2"
}
stat_of() { printf '%s\n' "$out" | sed -n "s/.*$1: \([0-9]*\).*/\1/p" | tail -n 1; }

python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
W, H = 50, 40
open(w + "/rgb.raw", "wb").write(bytes((x * 5 + y + p * 40) % 256 for p in range(3) for y in range(H) for x in range(W)))
open(w + "/cmyk.raw", "wb").write(bytes((x + y * 3 + p * 17) % 256 for p in range(4) for y in range(H) for x in range(W)))
PY

probe "the probe inverts the image" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb \
    --selectors 2,3,5 --output-raw "$work/out.raw" --output "$work/out.png" --max-space 400
check "every byte is inverted" inverted "$work/rgb.raw" "$work/out.raw"
check "small maxSpace gives many strips" test "$(stat_of strips)" -ge 30
check "progress was reported" test "$(stat_of 'progress calls')" -ge 30
check "the output is a PNG of the picture's size" png "$work/out.png" 50 40
# The output PNG read back as input gives the inverted image again.
probe "PNG input round trip" 0 0 --input "$work/out.png" --selectors 2 --output-raw "$work/again.raw"
check "the PNG holds the inverted planes" cmp -s "$work/out.raw" "$work/again.raw"
probe "CMYK raw planes" 0 0 --raw "$work/cmyk.raw" --size 50x40 --mode cmyk --selectors 2,3,5 \
    --output-raw "$work/cmyk.out"
check "CMYK planes inverted" inverted "$work/cmyk.raw" "$work/cmyk.out"

probe "abort after 3 polls" -128 1 --raw "$work/rgb.raw" --size 50x40 --mode rgb --abort-after 3 \
    --max-space 400
check "the host says what -128 means" grep -qx "qwhost: result -128: the filter was cancelled or refused its input" "$work/err.txt"
check "the abort came at the third poll" test "$(stat_of 'abort polls')" = 3
probe "advanceState failing at its 5th call" -128 1 --raw "$work/rgb.raw" --size 50x40 --mode rgb \
    --fail advance:5 --max-space 400
check "four strips were served" test "$(stat_of strips)" = 4
probe "a filter rectangle" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb --rect 10,10,20,20 \
    --output-raw "$work/rect.raw"
check "only the rectangle changed" python3 -c "
import sys
a = open('$work/rgb.raw','rb').read(); b = open('$work/rect.raw','rb').read()
ok = all((a[i] + b[i] == 255) == (10 <= (i % 2000) % 50 < 20 and 10 <= (i % 2000) // 50 < 20) for i in range(len(a)))
sys.exit(0 if ok else 1)"

# Descriptors persist between runs in the file.
probe "first recorded run" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb --descriptors "$work/d.desc"
check "the descriptor file was written" test -s "$work/d.desc"
probe "second recorded run" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb --descriptors "$work/d.desc" --verbose
check "the second run read the first one's descriptor" grep -q "put integer runs = 2" "$work/err.txt"

probe "a host that refuses to record" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb \
    --fail open-write:1 --descriptors "$work/never.desc"
check "nothing was recorded" test ! -e "$work/never.desc"
probe "a host out of handles" 0 0 --raw "$work/rgb.raw" --size 50x40 --mode rgb --fail alloc:1 --verbose
check "the refused allocation is traced" grep -q "injected failure of alloc" "$work/err.txt"

# The colour picker: the answer given on the command line; headless without one the user cancels.
QWPROBE=pick-color probe "a colour picked from the command line" 0 0 --raw "$work/rgb.raw" --size 50x40 \
    --mode rgb --selectors 2,3,5 --pick-color 0A141E --output-raw "$work/picked.raw"
check "the probe painted the picked colour" planes "$work/picked.raw" 2000 10 20 30
QW_WINDOW_SYSTEM=headless QWPROBE=pick-color probe "headless, nobody picks: cancelled" -128 1 \
    --raw "$work/rgb.raw" --size 50x40 --mode rgb --selectors 2,3,5

# Faults of the module are the host's errors: exit 3 although the result is 0.
QWPROBE=leak probe "a leaked handle is a fault" 0 3 --raw "$work/rgb.raw" --size 50x40 --mode rgb
check "the leak is named" grep -q "never disposed" "$work/err.txt"
QWPROBE=double-dispose probe "a handle disposed twice is a fault" 0 3 --raw "$work/rgb.raw" --size 50x40 --mode rgb
check "the second dispose is named" grep -q "after it was disposed" "$work/err.txt"
QWPROBE=overspace probe "a request beyond maxSpace is refused" -128 1 --raw "$work/rgb.raw" --size 50x40 \
    --mode rgb --max-space 1000
check "the request is named" grep -q "exceeds maxSpace" "$work/err.txt"
QWPROBE=keep-suite probe "an unreleased suite is a fault" 0 3 --raw "$work/rgb.raw" --size 50x40 --mode rgb
check "the suite is named" grep -q "never released" "$work/err.txt"
# Usage and input errors exit 2 and say what was wrong.
said() {  # said NAME TEXT ARGS...: the probe's run exits 2 with TEXT on stderr
    local name=$1 text=$2
    shift 2
    expect "$name" 2 "$host" --module "$probe" "$@"
    check "$name: said" grep -qF -- "$text" "$work/err.txt"
}
said "an unknown option" "unknown option --bogus" --bogus --raw "$work/rgb.raw"
said "an unknown option as the last word" "unknown option --bogus" --raw "$work/rgb.raw" --bogus
said "a known option's missing value" "missing value after --size" --raw "$work/rgb.raw" --size
said "a folder as the picture" "$work: a folder, not a PNG picture" --input "$work"
printf '\377\330\377\340\0\20JFIF\0' >"$work/photo.jpg"
said "a JPEG as the picture" "$work/photo.jpg: Not a PNG file (qwhost reads PNG pictures:" --input "$work/photo.jpg"
said "an output into a missing folder" "cannot write $work/missing/out.png: No such file or directory" \
    --raw "$work/rgb.raw" --size 50x40 --mode rgb --output "$work/missing/out.png"
"$host" --module "$probe" --raw "$work/rgb.raw" --size 50x40 --mode rgb --output "$work/missing/out.png" \
    >"$work/both" 2>&1
check "said before the result line" test "$(grep -n 'cannot write\|^result:' "$work/both" | cut -d: -f2-3 | head -n 1)" = "qwhost: host failure"
# The host's own failures: exit 2 with the reason on stderr, and nothing that stood at an output
# path is removed. A node like /dev/full (every write fails) in the work folder stands for a full
# disk.
if mknod "$work/full" c 1 7 2>/dev/null; then
    said "a PNG that cannot be written" "host failure: cannot write" --raw "$work/rgb.raw" \
        --size 50x40 --mode rgb --output "$work/full"
    check "the node at --output is still there" test -c "$work/full"
    said "raw planes on a full disk" "host failure: cannot write" --raw "$work/rgb.raw" \
        --size 50x40 --mode rgb --output-raw "$work/full"
    said "descriptors on a full disk" "host failure: cannot write" --raw "$work/rgb.raw" \
        --size 50x40 --mode rgb --descriptors "$work/full"
    check "the node is still there" test -c "$work/full"
else
    echo "skipped: no device node can be made here"
fi
cp "$work/rgb.raw" "$work/kept.png"
"$host" --module "$probe" --raw "$work/rgb.raw" --size 50x40 --mode rgb --output "$work/kept.png" \
    >/dev/null 2>&1
check "a written PNG replaces the file whole" png "$work/kept.png" 50 40
check "no temporary file is left beside it" test -z "$(ls -A "$work" | grep '^\.kept')"
printf 'QWHD\0\0\0\5damaged' >"$work/damaged.desc"
said "a damaged descriptors file is the host's input error" "is not a descriptors file" \
    --raw "$work/rgb.raw" --size 50x40 --mode rgb --descriptors "$work/damaged.desc"
# PNG files of a few bytes that declare huge pictures: 30001 x 30001 pixels is refused before its
# pixels are allocated; 30000 x 30000 is allowed, but a file of a few bytes cannot hold it, which
# is said at once without taking the picture's memory (under a limit of the address space, in
# little time). A picture whose data is all there but that is larger than the memory left makes
# the host run out of memory loading it, and say so.
python3 - "$work" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
def png(side, idat):
    head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
    return head + chunk(b"IDAT", idat) + chunk(b"IEND", b"")
for name, side in (("huge.png", 30001), ("large.png", 30000)):
    open(sys.argv[1] + "/" + name, "wb").write(png(side, zlib.compress(b"\0" * 8)))
# 8000 x 8000 black pixels, every row there (192 MB of pixels, about 190 KB of file).
z = zlib.compressobj(9)
row = b"\0" * (1 + 3 * 8000)
data = b"".join(z.compress(row) for _ in range(8000)) + z.flush()
open(sys.argv[1] + "/whole.png", "wb").write(png(8000, data))
PY
# (A sanitizer build reserves far more address space than that for itself: no limit there.)
limit=1000000
grep -q '^QW_SANITIZE:BOOL=ON' "$bin/CMakeCache.txt" 2>/dev/null && limit=unlimited
(ulimit -v "$limit"; said "a PNG declaring more than 30000 x 30000" "larger than 30000" \
    --input "$work/huge.png"; exit $fail) || fail=1
(ulimit -v "$limit"; ulimit -t 20; said "a PNG too short for the picture it declares" \
    "large.png: Not enough image data" --input "$work/large.png"; exit $fail) || fail=1
if [ "$limit" != unlimited ]; then
    (ulimit -v 300000; said "a picture larger than the memory" "out of memory loading the picture" \
        --input "$work/whole.png"; exit $fail) || fail=1
fi
# A module that does not load leaves no staging folder behind.
broken="broken-$$-$RANDOM.8bf"
echo "not a module" >"$work/$broken"
"$host" --module "$work/$broken" --raw "$work/rgb.raw" --size 50x40 --mode rgb \
    --data-dir "$work/data" >/dev/null 2>&1
check "a module that does not load exits 2" test $? = 2
check "its staging folder is gone" test -z "$(ls -d "${TMPDIR:-/tmp}"/qwhost.*/"$broken" 2>/dev/null)"

# A run killed with SIGKILL leaves its staging folder; the next run removes it, but never the
# folder of a run that lives. The runs use a temp folder of their own, and wait on a pipe at
# "last.data" (the layout they replay) until the test writes one into it or kills them.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR" "$work/waits"
mkfifo "$work/waits/last.data"
waiting() {  # waiting: a run in the background that waits on the pipe; its pid in $!
    "$host" --module "$module" --raw "$work/rgb.raw" --size 50x40 --mode rgb --data-dir "$work/waits" \
        >/dev/null 2>&1 &
}
staged() {  # staged COUNT: waits (at most 60 s) until COUNT staging folders hold their module
    for _ in $(seq 600); do
        [ "$(ls "$TMPDIR"/qwhost.*/QWJigcrafter30.8bf 2>/dev/null | wc -l)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
gone() {  # gone PATH: waits (at most 60 s) until PATH is no more
    for _ in $(seq 600); do
        [ -e "$1" ] || return 0
        sleep 0.1
    done
    return 1
}
waiting
killed=$!
check "a waiting run stages the module" staged 1
kill -KILL "$killed"; wait "$killed" 2>/dev/null
left=$(ls "$TMPDIR")
check "killed, it leaves its folder" test -e "$TMPDIR/$left/QWJigcrafter30.8bf"
waiting
living=$!
check "the next run removes it" gone "$TMPDIR/$left"
check "and stages its own" staged 1
"$host" --module "$probe" --raw "$work/rgb.raw" --size 50x40 --mode rgb >/dev/null 2>&1
check "no run removes a living run's folder" staged 1
kill -KILL "$living"; wait "$living" 2>/dev/null
"$host" --module "$probe" --raw "$work/rgb.raw" --size 50x40 --mode rgb >/dev/null 2>&1
check "which goes once it was killed too" test -z "$(ls -A "$TMPDIR")"
exit $fail
