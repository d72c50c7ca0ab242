#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
dir=${QW_BUILD_DIR:-$root/build}
"$root/tools/build.sh" "$dir" "$@"
cd "$dir"
ctest --output-on-failure -j"$(nproc)" --timeout 600
