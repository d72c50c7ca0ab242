#!/usr/bin/env bash
# Independent readers check the files of the piece export that the tests write into
# <build>/test-output/export: psd-tools, ImageMagick and GIMP (batch mode) for the layered PSD
# files, pngcheck and PIL for the PNG files.
# Usage: piece_export.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
for tool in "$py" identify /usr/bin/convert pngcheck gimp-console; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
"$py" -c "import psd_tools, numpy, PIL" || { echo "missing python modules"; exit 1; }
# The samples go into a folder of this script's own: ctest runs the same tests in parallel, and
# they write into build/test-output.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QW_SOURCE_DIR="$src" QW_BINARY_DIR="$build" QW_TEST_OUTPUT="$out" "$build/bin/test_plugin_main" \
  --gtest_filter='PieceExportSamples.*' >/dev/null
"$py" "$src/tests/scripts/check_export_files.py" "$out/export" "$(command -v gimp-console)"
