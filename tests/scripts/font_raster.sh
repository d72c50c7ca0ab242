#!/usr/bin/env bash
# Independent check of the bitmap fonts our rasteriser builds: PIL's FreeType binding draws every
# glyph again, and the text layer's renderings are laid out again from the "QWF2" records.
. "$(dirname "$0")/lib.sh"
needs -- PIL
samples test_platform 'FontRasterSamples.*'
# The classic TrueType interpreter, as our rasteriser selects it.
check "the fonts and their texts" env FREETYPE_PROPERTIES=truetype:interpreter-version=35 \
    "$py" "$src/tests/scripts/font_raster.py" "$work/out/fonts"
exit $fail
