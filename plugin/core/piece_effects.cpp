#include "plugin/core/piece_effects.h"

#include <cmath>
#include <cstring>

namespace qwjig {

ColourForm ColourFormOf(int32_t planeCount, uint8_t layout)
{
    if (planeCount == 4 && layout == 1) return kRGBColour;
    if (planeCount == 2 || planeCount == 4) return kGreyColour;
    return kCMYKColour;
}

void ColourBytes(ColourForm form, uint8_t grey, const uint8_t* rgb, const uint8_t* cmyk,
                 uint8_t out[4])
{
    if (form == kRGBColour) {
        out[0] = rgb[0];
        out[1] = rgb[1];
        out[2] = rgb[2];
        out[3] = 0;
    } else if (form == kGreyColour) {
        out[0] = out[1] = out[2] = grey;
        out[3] = 0;
    } else {
        std::memcpy(out, cmyk, 4);
    }
}

bool BevelLight(const float stored[3], float out[3])
{
    const double x = stored[0], y = stored[1], z = stored[2];
    // In doubles, as the effect scales it: no float vector's squares overflow there.
    const double length = std::sqrt(x * x + y * y + z * z);
    if (std::isfinite(length) && length > 0) {
        out[0] = stored[0];
        out[1] = stored[1];
        out[2] = stored[2];
        return true;
    }
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = 1.0f;
    return false;
}

void EffectsFromRecord(const PieceEffectRecord& r, JigEffectSet& fx)
{
    std::memset(&fx, 0, sizeof fx);
    fx.brightContrast.on = r.bcOn;
    fx.brightContrast.brightness = r.brightness;
    fx.brightContrast.contrast = r.contrast;
    JigBevelFx& b = fx.bevel;
    b.on = r.bevelOn;
    std::memcpy(b.light, r.light, sizeof b.light);
    b.hlOpacity = r.hlOpacity;
    b.hlGrey = r.hlGrey;
    std::memcpy(b.hlRGB, r.hlRGB, 3);
    std::memcpy(b.hlCMYK, r.hlCMYK, 4);
    b.shOpacity = r.shOpacity;
    b.shGrey = r.shGrey;
    std::memcpy(b.shRGB, r.shRGB, 3);
    std::memcpy(b.shCMYK, r.shCMYK, 4);
    b.size = r.bevelSize;
    b.depth = r.bevelDepth;
    b.soften = r.bevelSoften;
    fx.blur.on = r.blurOn;
    fx.blur.radius = r.blurRadius;
    fx.colourOverlay.on = r.ovOn;
    fx.colourOverlay.opacity = r.ovOpacity;
    fx.colourOverlay.grey = r.ovGrey;
    std::memcpy(fx.colourOverlay.rgb, r.ovRGB, 3);
    std::memcpy(fx.colourOverlay.cmyk, r.ovCMYK, 4);
    fx.imageOverlay.on = r.imgOn;
    fx.imageOverlay.opacity = r.imgOpacity;
    fx.imageOverlay.layerChoice = r.imgLayerChoice;
    fx.imageOverlay.layerId = r.layerId;
    fx.stroke.on = r.stOn;
    fx.stroke.opacity = r.stOpacity;
    fx.stroke.size = r.stSize;
    fx.stroke.grey = r.stGrey;
    std::memcpy(fx.stroke.rgb, r.stRGB, 3);
    std::memcpy(fx.stroke.cmyk, r.stCMYK, 4);
    fx.hsl.on = r.hslOn;
    fx.hsl.hue = r.hue;
    fx.hsl.saturation = r.saturation;
    fx.hsl.lightness = r.lightness;
    fx.motionBlur.on = r.mbOn;
    fx.motionBlur.angle = r.mbAngle;
    fx.motionBlur.distance = r.mbDistance;
    fx.opacity.on = r.opOn;
    fx.opacity.value = r.opValue;
    fx.invert = r.invert;
}

bool RunColourOverlay(CQWF_ImageFX& fx, const JigColourOverlayFx& s, ColourForm form)
{
    uint8_t colour[4];
    ColourBytes(form, s.grey, s.rgb, s.cmyk, colour);
    return fx.ColorOverlay(colour, s.opacity);
}

bool RunHsl(CQWF_ImageFX& fx, const JigHslFx& s)
{
    return fx.AdjustHSL(s.hue, s.saturation, s.lightness, 1);
}

bool RunBrightContrast(CQWF_ImageFX& fx, const JigBrightContrastFx& s)
{
    return fx.BrightnessContrast(s.brightness, s.contrast, 128);
}

bool RunMotionBlur(CQWF_ImageFX& fx, const JigMotionBlurFx& s)
{
    return fx.MotionBlur(static_cast<double>(s.angle), static_cast<double>(s.distance), 0, 1);
}

bool RunBlur(CQWF_ImageFX& fx, const JigBlurFx& s)
{
    return fx.Blur(static_cast<double>(s.radius), 0, 1);
}

bool RunStroke(CQWF_ImageFX& fx, const JigStrokeFx& s, ColourForm form)
{
    uint8_t colour[4];
    ColourBytes(form, s.grey, s.rgb, s.cmyk, colour);
    return fx.Stroke(colour, s.opacity, s.size);
}

bool RunBevel(CQWF_ImageFX& fx, const JigBevelFx& s, ColourForm form)
{
    uint8_t highlight[4], shadow[4];
    ColourBytes(form, s.hlGrey, s.hlRGB, s.hlCMYK, highlight);
    ColourBytes(form, s.shGrey, s.shRGB, s.shCMYK, shadow);
    float light[3];
    BevelLight(s.light, light);
    return fx.Bevel(s.size, s.depth, static_cast<double>(s.soften), light[0], light[1], light[2],
                    highlight, s.hlOpacity, shadow, s.shOpacity);
}

}  // namespace qwjig
