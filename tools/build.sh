#!/usr/bin/env bash
# tools/build.sh [build-dir] [extra cmake options...] [-- target...]: configures and builds
# everything, or the targets named after "--" (and what they need).
set -euo pipefail
root=$(cd -P "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}; shift || true
options=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then
    shift
    targets=("$@")
    break
  fi
  options+=("$1")
  shift
done
# Development and CI builds treat warnings as errors (options given later still win).
cmake -S "$root" -B "$dir" -G Ninja -DQW_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${targets[@]:+--target "${targets[@]}"}
