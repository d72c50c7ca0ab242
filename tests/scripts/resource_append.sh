#!/usr/bin/env bash
# A built program finds the resources the build appended to it, byte for byte (checked against
# md5sum of the source files), by type and name in any case; the bare program finds none.
set -u
src=$1
bin=$2/bin
probe=$bin/qwres_probe
fail=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1 (wanted '$2', got '$3')"; fail=1; fi
}
expect() {  # expect FILE: "SIZE MD5" of a file
    echo "$(stat -c %s "$1") $(md5sum < "$1" | cut -d' ' -f1)"
}
[ -x "$probe" ] || { echo "qwres_probe is not built"; exit 1; }
check "package found" "$(expect "$src/tools/qwres/probe/probe.cpp")" "$("$probe" qws4 qws4)"
check "case of type and name" "$(expect "$src/tools/qwres/probe/probe.cpp")" "$("$probe" QWS4 Qws4)"
check "second resource" "$(expect "$src/tools/qwres/main.cpp")" "$("$probe" text second)"
out=$("$probe" qws4 other); rc=$?
check "missing name" "missing 1" "$out $rc"
out=$("$2/bare/qwres_probe_bare" qws4 qws4); rc=$?
check "program without a table" "missing 1" "$out $rc"
check "listing" "qws4 qws4 $(stat -c %s "$src/tools/qwres/probe/probe.cpp")" "$("$bin/qwres" list "$probe" | head -n 1)"
exit $fail
