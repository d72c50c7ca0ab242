# What the test scripts share, sourced first with the script's own arguments: SOURCE BUILD (the
# checkout and its build folder, as ctest runs it) become src and bin; it gives host and module,
# python3 with the system's modules, a work folder removed at exit, the screenshot folder, the
# failure flag and the ways of checking. Python checks import the modules beside this file.
if [ $# -ne 2 ]; then
    echo "usage: tests/scripts/${0##*/} SOURCE BUILD" \
        "(the checkout and its build folder, as ctest runs it)" >&2
    exit 2
fi
set -u
src=$1
bin=$2
host="$bin/bin/qwhost"
module="$bin/bin/QWJigcrafter30.8bf"
py=/usr/bin/python3
export PYTHONPATH="$src/tests/scripts${PYTHONPATH:+:$PYTHONPATH}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
screens="$bin/test-output/screens"
mkdir -p "$screens"
fail=0
check() {  # check NAME COMMAND...: COMMAND must succeed
    local name=$1
    shift
    if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; fail=1; fi
}
# expect NAME STATUS COMMAND...: COMMAND, its output in $work/out.txt and $work/err.txt, must exit
# with STATUS; otherwise both outputs are shown.
expect() {
    local name=$1 status=$2
    shift 2
    "$@" >"$work/out.txt" 2>"$work/err.txt"
    local got=$?
    if [ "$got" != "$status" ]; then
        echo "FAILED: $name: exit status $got (expected $status)"
        cat "$work/out.txt" "$work/err.txt"
        fail=1
    else
        echo "ok: $name"
    fi
}
# ran NAME RESULT STATUS ARGS...: qwhost with ARGS must print "result: RESULT" last and exit with
# STATUS; its output stays in $out, its error stream in $work/err.txt.
ran() {
    local name=$1 want=$2 status=$3 got last
    shift 3
    out=$("$host" "$@" 2>"$work/err.txt")
    got=$?
    last=$(printf '%s\n' "$out" | tail -n 1)
    if [ "$last" = "result: $want" ] && [ "$got" = "$status" ]; then
        echo "ok: $name"
    else
        echo "FAILED: $name (last line '$last', exit $got; wanted result $want, exit $status)"
        printf '%s\n' "$out" | sed 's/^/    /'
        sed 's/^/    /' "$work/err.txt"
        fail=1
    fi
}
needs() {  # needs TOOL... [-- MODULE...]: the tools on the path and python's modules, or exit 1
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        command -v "$1" >/dev/null || { echo "missing tool: $1"; exit 1; }
        shift
    done
    [ $# -lt 2 ] || (IFS=,; "$py" -c "import ${*:2}") || { echo "missing python modules: ${*:2}"; exit 1; }
}
# samples PROGRAM FILTER [NAME=VALUE...]: the tests of the test program write their files for
# independent readers into $work/out, a folder of this script's own (ctest runs the same tests in
# parallel, writing into build/test-output); the settings are the program's environment.
samples() {
    env QW_SOURCE_DIR="$src" QW_BINARY_DIR="$bin" QW_TEST_OUTPUT="$work/out" "${@:3}" \
        "$bin/bin/$1" --gtest_filter="$2" >"$work/samples.txt" 2>&1 ||
        { echo "FAILED: $1 did not write its samples"; cat "$work/samples.txt"; exit 1; }
}
planes() {  # planes FILE N VALUE...: FILE holds N bytes of each value in turn
    "$py" - "$@" <<'PY'
import sys
n, values = int(sys.argv[2]), sys.argv[3:]
data = open(sys.argv[1], 'rb').read()
assert data == b''.join(bytes([int(v)]) * n for v in values), (len(data), sorted(set(data))[:8])
PY
}
commonest() {  # commonest FILE R G B: the commonest colour of FILE's three planes is R G B
    "$py" - "$@" <<'PY'
import collections, sys
d = open(sys.argv[1], 'rb').read()
n = len(d) // 3
common = collections.Counter(zip(d[:n], d[n:2 * n], d[2 * n:])).most_common(1)[0][0]
assert common == tuple(map(int, sys.argv[2:])), common
PY
}
postscript() {  # postscript FILE: PostScript text that declares its bounding box
    head -c 10 "$1" | grep -q '^%!PS-Adobe' && grep -aq '%%BoundingBox:' "$1"
}
png() {  # png FILE W H: a PNG picture of W x H pixels
    "$py" -c "import struct, sys; d = open(sys.argv[1], 'rb').read(24); size = tuple(map(int, sys.argv[2:]))
assert d[:8] == b'\\x89PNG\\r\\n\\x1a\\n' and struct.unpack('>II', d[16:24]) == size, d" "$@"
}
