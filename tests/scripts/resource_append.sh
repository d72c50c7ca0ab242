#!/usr/bin/env bash
# A built program finds the resources the build appended to it, byte for byte (checked against
# md5sum of the source files), by type and name in any case; the bare program finds none.
. "$(dirname "$0")/lib.sh"
probe=$bin/bin/qwres_probe
[ -x "$probe" ] || { echo "qwres_probe is not built"; exit 1; }
said() {  # said NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1 (wanted '$2', got '$3')"; fail=1; fi
}
sized() {  # sized FILE: "SIZE MD5" of a file
    echo "$(stat -c %s "$1") $(md5sum < "$1" | cut -d' ' -f1)"
}
said "package found" "$(sized "$src/tools/qwres/probe/probe.cpp")" "$("$probe" qws4 qws4)"
said "case of type and name" "$(sized "$src/tools/qwres/probe/probe.cpp")" "$("$probe" QWS4 Qws4)"
said "second resource" "$(sized "$src/tools/qwres/main.cpp")" "$("$probe" text second)"
out=$("$probe" qws4 other); rc=$?
said "missing name" "missing 1" "$out $rc"
out=$("$bin/bare/qwres_probe_bare" qws4 qws4); rc=$?
said "program without a table" "missing 1" "$out $rc"
said "listing" "qws4 qws4 $(stat -c %s "$src/tools/qwres/probe/probe.cpp")" "$("$bin/bin/qwres" list "$probe" | head -n 1)"
exit $fail
