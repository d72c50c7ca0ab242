#!/usr/bin/env bash
# tools/fuzz.sh [seconds] [target...]: builds the libFuzzer targets with clang and runs each (or
# the named ones) for a bounded time, QW_FUZZ_JOBS of them at once (default: one a processor). A
# target's findings are left in build-fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-30}
shift || true
jobs=${QW_FUZZ_JOBS:-$(nproc)}
dir="$root/build-fuzz"
CC=clang CXX=clang++ "$root/tools/build.sh" "$dir" -DQW_FUZZ=ON -DQW_WERROR=ON -DQW_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
shopt -s nullglob
targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do targets+=("$dir/bin/$name"); done
else
  targets=("$dir"/bin/fuzz_*)
fi
mkdir -p "$dir/artifacts"
# The targets' own files (their packages, registries, records) in memory when the machine has a
# memory file system: a target syncs what it replaces, and a disk's syncs would take most of a
# run's time.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# One target: its corpus, its seeds, every path absolute (a target may change its working folder).
run() {
  local t=$1 name corpus seeds
  name=$(basename "$t")
  corpus="$dir/corpus/$name"; mkdir -p "$corpus"
  seeds="$root/tests/fuzz/seeds/$name"
  local args=("$corpus"); [ -d "$seeds" ] && args+=("$seeds")
  local rc=0
  "$t" -max_total_time="$secs" -rss_limit_mb=4096 -timeout=20 -print_final_stats=0 \
    -artifact_prefix="$dir/artifacts/$name-" "${args[@]}" >"$dir/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$dir/$name.rc"
}

echo "-- ${#targets[@]} targets, ${secs}s each, $jobs at once"
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run "$t" &
done
wait

fail=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  if [ "$(cat "$dir/$name.rc" 2>/dev/null || echo 1)" != 0 ]; then
    echo "FINDING in $name:"; tail -n 60 "$dir/$name.log"; fail=1
  else
    echo "-- $name clean"
  fi
done
echo "fuzz: ${#targets[@]} targets, $([ $fail = 0 ] && echo clean || echo findings)"
exit $fail
