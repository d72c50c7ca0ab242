// Outline fonts rasterised into bitmap-font blocks. The program itself only draws bitmap fonts;
// this module turns a system face (DejaVu, from the distribution's font package) into the
// unpacked "QWF2" block those fonts are read from:
//   "QWF2", u8 first character, u8 last character, then per character from first to last:
//   s8 left offset, s8 spacing, s8 top (row of the bitmap's top relative to the baseline,
//   negative above it), u8 width, u8 height, width x height coverage bytes row by row.
// Characters are Windows-1252 codes. Glyphs are hinted and rendered with 8-bit anti-aliasing;
// the pen advances by left offset + width + spacing, the face's hinted advance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qwp {

struct FontRasterRequest {
    std::string face;        // a face name of FontFaceNames(), e.g. "DejaVu Sans Bold"
    uint32_t pixelSize = 0;  // em size in pixels, 4 to 64
    uint8_t first = 32;      // character range, Windows-1252 codes
    uint8_t last = 255;
};

// Rasterises the request into an unpacked "QWF2" block. False with a readable reason in
// `error` (unknown face, face file missing or unreadable, size out of range, first > last, a
// glyph too large for the record's byte fields). Control codes (below 32 and 127) and the five
// codes Windows-1252 leaves unassigned get empty glyphs that do not move the pen.
bool RasteriseFont(const FontRasterRequest& request, std::vector<uint8_t>& block, std::string& error);

// The file a face is read from; empty when the face is unknown or its file is not installed.
// The folder QW_FONT_DIR names is searched first, then the system's DejaVu folders.
std::string FontFacePath(const std::string& face);

// Unicode code point of a Windows-1252 code; 0 for control codes and unassigned codes.
uint32_t Cp1252ToUnicode(uint8_t code);

}  // namespace qwp
