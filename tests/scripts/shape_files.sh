#!/usr/bin/env bash
# An independent reader checks the knife-shape files, shape sets, the library and the drawings
# the windows tests write; Ghostscript renders the drawings. The
# files are written in a locale whose decimal point is a comma.
# Usage: shape_files.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
for tool in "$py" gs localedef; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
"$py" -c "import numpy, PIL" || { echo "missing python modules"; exit 1; }
# The samples go into a folder of this script's own: ctest runs the same test in parallel.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# localedef builds the locale from the sources of the "locales" package (tools/deps.sh installs
# it). Its exit status says whether it did: 0, or 1 with warnings when the files were still
# written; without the sources it fails and leaves an empty folder behind.
status=0
localedef -i de_DE -f UTF-8 "$work/de_DE.UTF-8" >"$work/localedef.txt" 2>&1 || status=$?
if [ "$status" -gt 1 ]; then
  echo "cannot build the locale de_DE.UTF-8 (decimal comma) with localedef (exit status $status);"
  echo "its sources come with the Debian package \"locales\" (tools/deps.sh installs it):"
  cat "$work/localedef.txt"
  exit 1
fi
LOCPATH="$work" LC_ALL=de_DE.UTF-8 QW_SOURCE_DIR="$src" QW_BINARY_DIR="$build" \
  QW_TEST_OUTPUT="$work/out" "$build/bin/test_plugin_windows" \
  --gtest_filter='ShapeSamples.*' >/dev/null
"$py" "$src/tests/scripts/shape_files.py" "$work/out/shapes" "$src" 1
