#!/usr/bin/env bash
# tools/build.sh [build-dir] [extra cmake options...]: configures and builds everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}; shift || true
# Development and CI builds treat warnings as errors (options given later still win).
cmake -S "$root" -B "$dir" -G Ninja -DQW_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
