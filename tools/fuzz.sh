#!/usr/bin/env bash
# usage: tools/fuzz.sh [SECONDS [TARGET...]]
#
# Builds the libFuzzer targets (tests/fuzz/fuzz_*.cpp) with clang in build-fuzz/ and runs each, or
# the named ones (such as fuzz_png), for SECONDS (default 30), QW_FUZZ_JOBS of them at once
# (default: as many as there are processors). A target's findings are left in
# build-fuzz/artifacts/. -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "fuzz.sh is a bash script: run it as tools/fuzz.sh or bash tools/fuzz.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
root=$(cd "$(dirname "$0")/.." && pwd)
refuse() { { echo "fuzz.sh: $1"; usage; } >&2; exit 2; }
count() { [[ $1 =~ ^[0-9]+$ && $1 =~ [1-9] ]]; }  # a whole number from 1 up
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
if [ $# -gt 0 ] && ! count "$1"; then refuse "the seconds are a whole number from 1 up, not \"$1\""; fi
secs=${1:-30}
shift || true
for name in "$@"; do
  case $name in
    -h | --help) usage; exit 0 ;;
  esac
  [ -f "$root/tests/fuzz/$name.cpp" ] && [[ $name == fuzz_* ]] || refuse "no fuzz target $name (tests/fuzz/fuzz_*.cpp)"
done
if [ -n "${QW_FUZZ_JOBS:-}" ] && ! count "$QW_FUZZ_JOBS"; then
  refuse "QW_FUZZ_JOBS is a whole number from 1 up, not \"$QW_FUZZ_JOBS\""
fi
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
