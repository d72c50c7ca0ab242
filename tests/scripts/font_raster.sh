#!/usr/bin/env bash
# Independent check of the bitmap fonts our rasteriser builds: PIL's FreeType binding draws every
# glyph again, and the text layer's renderings are laid out again from the "QWF2" records.
# Usage: font_raster.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
"$py" -c "import PIL" || { echo "missing python module PIL"; exit 1; }
out="$build/test-output/fonts"
rm -rf "$out"
QW_SOURCE_DIR="$src" QW_BINARY_DIR="$build" "$build/bin/test_platform" \
  --gtest_filter='FontRasterSamples.*' >/dev/null
# The classic TrueType interpreter, as our rasteriser selects it.
FREETYPE_PROPERTIES=truetype:interpreter-version=35 "$py" "$src/tests/scripts/font_raster.py" "$out"
