#!/usr/bin/env bash
# Layers only look down: a header of a higher layer does not compile in a lower one, while the
# layer's own headers do (so the failures come from the include, not from the probe).
. "$(dirname "$0")/lib.sh"
list=$bin/layers/probes.txt
log=$work/build.txt
count=0
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
check "the layer probes are listed in $list" test "$count" -gt 0
exit $fail
