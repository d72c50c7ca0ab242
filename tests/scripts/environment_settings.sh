#!/usr/bin/env bash
# A setting of the environment that names none of its values (QW_ISA, QW_WINDOW_SYSTEM), or a
# QW_THREADS that is no whole number from 1 up, is an error for every program: it says so on
# stderr, naming what the setting takes, ends with status 2 and does nothing (the filter module's own refusal is tested in the entry test).
. "$(dirname "$0")/lib.sh"

isa="QW_ISA is \"avx3\", which is not a vector level: use plain, avx2 or avx512, or leave it unset"
ws="QW_WINDOW_SYSTEM is \"wayland\", which is not a window system: use headless or x11, or leave it unset"
threads="QW_THREADS is \"abc\", which is not a thread count: use a whole number from 1 up, or leave it unset"
said() {  # said PROGRAM: stderr is exactly the program's lines for the three settings
    printf '%s: %s\n%s: %s\n%s: %s\n' "$1" "$isa" "$1" "$ws" "$1" "$threads" | cmp -s - "$work/err.txt"
}
bad() { QW_ISA=avx3 QW_WINDOW_SYSTEM=wayland QW_THREADS=abc "$@"; }

"$bin/bin/makesample" "$work/sample" 200 150 2 2 >/dev/null
expect "qwhost refuses" 2 bad "$host" --module "$module" --input "$work/sample/sample.png" \
    --layout "$work/sample/sample.layout" --data-dir "$work/data" --output "$work/out.png"
check "and says why" said qwhost
check "without an output or a data folder" test ! -e "$work/out.png" -a ! -e "$work/data"
expect "the setup program refuses" 2 bad "$bin/bin/QWSetup"
check "and says why" said QWSetup
expect "the uninstall program refuses" 2 bad "$bin/bin/QWUninstall"
check "and says why" said QWUninstall
expect "makesample refuses" 2 bad "$bin/bin/makesample" "$work/again"
check "and says why" said makesample
check "and writes nothing" test ! -e "$work/again"
expect "a test program refuses" 2 bad "$bin/bin/test_platform" --gtest_filter='CpuLevel*'
check "and says why" said test_platform
if [ -x "$bin/bin/bench_core_sort" ]; then  # a build without benchmarks has none to ask
    expect "a benchmark refuses" 2 bad "$bin/bin/bench_core_sort" --benchmark_list_tests
    check "and says why" said bench_core_sort
fi
expect "one setting alone" 2 env QW_ISA=avx3 "$bin/bin/makesample" "$work/again"
check "is said alone" bash -c "printf 'makesample: %s\n' '$isa' | cmp -s - '$work/err.txt'"
expect "a thread count alone" 2 env QW_THREADS=0 "$host" --module "$module" --input "$work/sample/sample.png" \
    --layout "$work/sample/sample.layout" --output "$work/out.png"
check "is said alone" bash -c "printf 'qwhost: %s\n' '${threads//abc/0}' | cmp -s - '$work/err.txt'"
expect "known values run" 0 env QW_ISA=plain QW_WINDOW_SYSTEM=headless QW_THREADS=3 "$bin/bin/makesample" "$work/again"
exit $fail
