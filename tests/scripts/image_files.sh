#!/usr/bin/env bash
# Independent readers check the PSD and PNG files the imaging tests write into
# <build>/test-output: psd-tools and ImageMagick for PSD, pngcheck and PIL for PNG.
# Usage: image_files.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
for tool in "$py" identify convert pngcheck; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
"$py" -c "import psd_tools, numpy, PIL" || { echo "missing python modules"; exit 1; }
# Write the samples first, into a folder of this script's own: ctest runs the same tests in
# parallel, and they write into build/test-output.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QW_SOURCE_DIR="$src" QW_BINARY_DIR="$build" QW_TEST_OUTPUT="$out" \
  "$build/bin/test_framework_imaging" --gtest_filter='PsdSamples.*:PngSamples.*' >/dev/null
"$py" "$src/tests/scripts/check_psd_files.py" "$out/psd"
"$py" "$src/tests/scripts/check_png_files.py" "$out/png"
