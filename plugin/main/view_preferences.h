// The main window's viewing preferences ("Preferences>" in the settings store) and the value
// conversions of the preferences window.
#pragma once

#include <cstdint>

class CQWF_Storage;

// Colours are 0xAABBGGRR.
struct ViewPreferences {
    uint8_t onLoadZoom = 1;        // zoom out on opening until the image fits
    uint8_t delKnifeOpacity = 70;  // opacity of hidden knives in Layout mode, 0..255
    uint8_t alphaSolid = 0;        // transparent areas in one colour instead of a checkerboard
    uint8_t extAlphaSolid = 0;     // the area around the image in one colour
    uint32_t alphaColor1 = 0xFFFFFFFFu;
    uint32_t alphaColor2 = 0xFFC0C0C0u;
    uint32_t alphaColorSolid = 0xFFFFFFFFu;
    uint32_t extAlphaColor1 = 0xFFCCCCCCu;
    uint32_t extAlphaColor2 = 0xFFC8C8C8u;
    uint32_t extAlphaColorSolid = 0xFFC8C8C8u;
};

namespace qwpref {

// A colour is stored as 4 bytes: its alpha-red-green-blue value in little-endian order, that is
// blue, green, red, alpha.
void ColourToBytes(uint32_t colour, uint8_t out[4]);
uint32_t ColourFromBytes(const uint8_t bytes[4]);

// Reads the four bytes and the six colours; a missing key, a value of another kind or a colour
// that is not exactly 4 bytes long keeps the value already in `prefs`.
void ReadPreferences(CQWF_Storage* store, ViewPreferences& prefs);
// Creates the section and writes the four bytes, then the six colours, in the order of reading.
void WritePreferences(CQWF_Storage* store, const ViewPreferences& prefs);

// The two colours of the preview's transparent areas and of the area around the image (the solid
// colour twice when solid is chosen).
void TransparencyColours(const ViewPreferences& prefs, uint32_t& first, uint32_t& second);
void OutsideColours(const ViewPreferences& prefs, uint32_t& first, uint32_t& second);

// The hidden-knife opacity as the preferences window shows it, in percent (127 -> 50, 25 -> 10).
int OpacityToPercent(uint8_t value);
// A typed percent text: its decimal value limited to 10..50, as an opacity (10 -> 25, 50 -> 127).
uint8_t OpacityFromPercentText(const char* text);
// The percent limited to 10..50, as the edit line shows it when it loses the focus.
int LimitPercent(const char* text);

}  // namespace qwpref
