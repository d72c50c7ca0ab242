# Shared by the qwhost UI-script tests; sourced after they set src (the source tree) and bin (the
# build tree). Gives host and module, a work folder removed at exit, the screenshot folder, the
# failure flag and the two ways of checking.
host="$bin/bin/qwhost"
module="$bin/bin/QWJigcrafter30.8bf"
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
