#!/usr/bin/env bash
# Independent check of the bitmap fonts our rasteriser builds: PIL's FreeType binding draws every
# glyph again, and the text layer's renderings are laid out again from the "QWF2" records.
# Usage: font_raster.sh <source dir> <build dir>
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
py=/usr/bin/python3
"$py" -c "import PIL" || { echo "missing python module PIL"; exit 1; }
# The samples are this test's fixture (font_raster_samples in tests/CMakeLists.txt): ctest writes
# them into build/test-output/fonts first.
out="$build/test-output/fonts"
[ -f "$out/manifest.tsv" ] || { echo "no font samples in $out: run through ctest, whose font_raster_samples writes them"; exit 1; }
# The classic TrueType interpreter, as our rasteriser selects it.
FREETYPE_PROPERTIES=truetype:interpreter-version=35 "$py" "$src/tests/scripts/font_raster.py" "$out"
