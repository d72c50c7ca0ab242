#!/usr/bin/env bash
# tools/fuzz.sh [seconds]: builds the libFuzzer targets with clang and runs each for a bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-30}
dir="$root/build-fuzz"
CC=clang CXX=clang++ "$root/tools/build.sh" "$dir" -DQW_FUZZ=ON -DQW_WERROR=ON -DQW_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
shopt -s nullglob
targets=("$dir"/bin/fuzz_*)
fail=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus="$dir/corpus/$name"; mkdir -p "$corpus"
  seeds="$root/tests/fuzz/seeds/$name"
  args=("$corpus"); [ -d "$seeds" ] && args+=("$seeds")
  echo "-- $name (${secs}s)"
  if ! "$t" -max_total_time="$secs" -rss_limit_mb=4096 -timeout=20 -print_final_stats=0 \
        "${args[@]}" >"$dir/$name.log" 2>&1; then
    echo "FINDING in $name:"; tail -n 60 "$dir/$name.log"; fail=1
  fi
done
echo "fuzz: ${#targets[@]} targets, $([ $fail = 0 ] && echo clean || echo findings)"
exit $fail
