#!/usr/bin/env bash
# Layers only look down: a header of a higher layer does not compile in a lower one, while the
# layer's own headers do (so the failures come from the include, not from the probe).
# usage: tests/scripts/layers.sh SOURCE BUILD (the checkout and its build folder, as ctest runs it)
[ $# -eq 2 ] || { sed -n "s/^# usage: /usage: /p" "$0" >&2; exit 2; }
set -u
bin=$2
list=$bin/layers/probes.txt
fail=0
count=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
while read -r target expect header; do
    [ -n "$target" ] || continue
    count=$((count + 1))
    if cmake --build "$bin" --target "$target" >"$log" 2>&1; then got=builds; else got=fails; fi
    if [ "$got" != "$expect" ]; then
        echo "FAILED: $target including $header $got (expected: $expect)"
        cat "$log"
        fail=1
    elif [ "$expect" = fails ] && ! grep -q "$header.*No such file" "$log"; then
        echo "FAILED: $target did not fail on its include of $header"
        cat "$log"
        fail=1
    else
        echo "ok: $target ($header $got)"
    fi
done <"$list"
[ "$count" -gt 0 ] || { echo "FAILED: no layer probes in $list"; fail=1; }
exit $fail
