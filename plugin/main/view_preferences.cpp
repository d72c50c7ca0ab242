#include "plugin/main/view_preferences.h"

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_storage.h"

namespace {

struct ByteKey {
    const char* key;
    uint8_t ViewPreferences::*field;
};
struct ColourKey {
    const char* key;
    uint32_t ViewPreferences::*field;
};

constexpr ByteKey kByteKeys[] = {
    {"Preferences>OnLoadZoom", &ViewPreferences::onLoadZoom},
    {"Preferences>DelKnifeOpacity", &ViewPreferences::delKnifeOpacity},
    {"Preferences>AlphaSolid", &ViewPreferences::alphaSolid},
    {"Preferences>ExtAlphaSolid", &ViewPreferences::extAlphaSolid},
};
constexpr ColourKey kColourKeys[] = {
    {"Preferences>AlphaColor1", &ViewPreferences::alphaColor1},
    {"Preferences>AlphaColor2", &ViewPreferences::alphaColor2},
    {"Preferences>AlphaColorSolid", &ViewPreferences::alphaColorSolid},
    {"Preferences>ExtAlphaColor1", &ViewPreferences::extAlphaColor1},
    {"Preferences>ExtAlphaColor2", &ViewPreferences::extAlphaColor2},
    {"Preferences>ExtAlphaColorSolid", &ViewPreferences::extAlphaColorSolid},
};

}  // namespace

namespace qwpref {

void ColourToBytes(uint32_t colour, uint8_t out[4])
{
    out[0] = static_cast<uint8_t>(colour >> 16);  // blue
    out[1] = static_cast<uint8_t>(colour >> 8);   // green
    out[2] = static_cast<uint8_t>(colour);        // red
    out[3] = static_cast<uint8_t>(colour >> 24);  // alpha
}

uint32_t ColourFromBytes(const uint8_t bytes[4])
{
    return static_cast<uint32_t>(bytes[3]) << 24 | static_cast<uint32_t>(bytes[0]) << 16 |
           static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
}

void ReadPreferences(CQWF_Storage* store, ViewPreferences& prefs)
{
    if (!store) return;
    for (const ByteKey& k : kByteKeys) store->GetByte(k.key, prefs.*k.field);
    CQWF_Mem value;
    for (const ColourKey& k : kColourKeys)
        if (store->GetBinary(k.key, value) && value.GetSize() == 4)
            prefs.*k.field = ColourFromBytes(value.GetData());
}

void WritePreferences(CQWF_Storage* store, const ViewPreferences& prefs)
{
    if (!store) return;
    store->CreateFolder("Preferences");
    for (const ByteKey& k : kByteKeys) store->SetByte(k.key, prefs.*k.field);
    uint8_t bytes[4];
    for (const ColourKey& k : kColourKeys) {
        ColourToBytes(prefs.*k.field, bytes);
        store->SetBinary(k.key, bytes, 4);
    }
}

void TransparencyColours(const ViewPreferences& prefs, uint32_t& first, uint32_t& second)
{
    first = prefs.alphaSolid ? prefs.alphaColorSolid : prefs.alphaColor1;
    second = prefs.alphaSolid ? prefs.alphaColorSolid : prefs.alphaColor2;
}

void OutsideColours(const ViewPreferences& prefs, uint32_t& first, uint32_t& second)
{
    first = prefs.extAlphaSolid ? prefs.extAlphaColorSolid : prefs.extAlphaColor1;
    second = prefs.extAlphaSolid ? prefs.extAlphaColorSolid : prefs.extAlphaColor2;
}

int OpacityToPercent(uint8_t value)
{
    const int p = value * 1000 / 255;
    return p / 10 + (p % 10 > 5 ? 1 : 0);
}

int LimitPercent(const char* text)
{
    // A decimal integer with an optional sign; anything after the digits is ignored, and text
    // without digits counts as 0.
    long v = 0;
    bool negative = false;
    const char* p = text ? text : "";
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    for (; *p >= '0' && *p <= '9'; ++p)
        if (v < 1000) v = v * 10 + (*p - '0');
    if (negative) v = -v;
    return static_cast<int>(v < 10 ? 10 : (v > 50 ? 50 : v));
}

uint8_t OpacityFromPercentText(const char* text)
{
    return static_cast<uint8_t>(LimitPercent(text) * 255 / 100);
}

}  // namespace qwpref
