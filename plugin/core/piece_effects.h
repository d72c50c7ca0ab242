// One effect of a piece's settings run through the effects object: the single place where a
// stored setting becomes the arguments of its effect. The piece renderer calls these for the
// pieces, and the effect windows for their samples, so that a window shows what the pieces get.
#pragma once

#include <cstdint>

#include "framework/imaging/qwf_imagefx.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effect_record.h"

namespace qwjig {

// Which form of a colour record an effect's colours take.
enum ColourForm : uint8_t { kGreyColour = 0, kRGBColour, kCMYKColour };

// The form that planes of the piece renderer take: grey with two planes (grey and alpha); with
// four, red, green and blue for an RGB layout, else grey on all three; otherwise cyan, magenta,
// yellow and black.
ColourForm ColourFormOf(int32_t planeCount, uint8_t layout);

// The colour bytes, one per colour plane, of a colour record in a form (grey: the grey byte on
// three planes).
void ColourBytes(ColourForm form, uint8_t grey, const uint8_t* rgb, const uint8_t* cmyk,
                 uint8_t out[4]);

// The light a bevel is lit with: the stored vector as it stands (the effect scales it to length
// 1); one without a length or with a component that is not a finite number lights straight from
// the front, (0, 0, 1). True when the stored vector was usable.
bool BevelLight(const float stored[3], float out[3]);

// A record's effect settings as the engine's piece records hold them.
void EffectsFromRecord(const PieceEffectRecord& r, JigEffectSet& fx);

// Each effect from the effects object's source into its target; false when the effect refused
// (the target is then not written).
bool RunColourOverlay(CQWF_ImageFX& fx, const JigColourOverlayFx& s, ColourForm form);
bool RunHsl(CQWF_ImageFX& fx, const JigHslFx& s);
bool RunBrightContrast(CQWF_ImageFX& fx, const JigBrightContrastFx& s);
bool RunMotionBlur(CQWF_ImageFX& fx, const JigMotionBlurFx& s);
bool RunBlur(CQWF_ImageFX& fx, const JigBlurFx& s);
bool RunStroke(CQWF_ImageFX& fx, const JigStrokeFx& s, ColourForm form);
bool RunBevel(CQWF_ImageFX& fx, const JigBevelFx& s, ColourForm form);

}  // namespace qwjig
