// Loads arbitrary font blocks and uses what loaded: every glyph, the metrics and a text
// measurement and rendering over all characters.
#include <cstddef>
#include <cstdint>

#include "framework/imaging/qwf_font.h"
#include "framework/imaging/qwf_textlayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CQWF_Font font;
    if (!font.LoadBlock(data, size)) return 0;
    char text[260];
    size_t n = 0;
    for (int c = 1; c < 256; ++c) {
        int8_t l, s, t;
        uint8_t w, h;
        const uint8_t* g = font.GetGlyph(static_cast<uint8_t>(c), l, s, t, w, h);
        if (g) {
            volatile uint8_t sink = 0;
            for (size_t i = 0; i < size_t(w) * h; ++i) sink = sink ^ g[i];
        }
        text[n++] = static_cast<char>(c == '\n' ? 'A' : c);
        if (c % 64 == 0) text[n++] = '\n';
    }
    text[n] = 0;
    int32_t width, height;
    font.MeasureText(text, 12, width, height);
    CQWF_TextLayer layer;
    layer.m_font = &font;
    if (layer.Create(0, 0, 1, 64, 32)) layer.SetText(text, 0xFF204080, 9, -3, 2);
    return 0;
}
