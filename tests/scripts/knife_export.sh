#!/usr/bin/env bash
# Ghostscript renders the knife-path files the tests write into <build>/test-output/knives: the
# EPS file inks the engine's knives inside its bounding box, the Illustrator 3 file (after a
# stand-in prolog for its procedure sets) gives the same pixels.
# Usage: knife_export.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
command -v gs >/dev/null || { echo "missing tool: gs"; exit 1; }
"$py" -c "import numpy" || { echo "missing python module numpy"; exit 1; }
# The samples go into a folder of this script's own: ctest runs the same tests in parallel, and
# they write into build/test-output.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QW_SOURCE_DIR="$src" QW_BINARY_DIR="$build" QW_TEST_OUTPUT="$out" "$build/bin/test_plugin_main" \
  --gtest_filter='KnifeSamples.*' >/dev/null
"$py" "$src/tests/scripts/check_knife_files.py" "$out/knives"
