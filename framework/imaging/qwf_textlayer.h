// A layer whose pixels are a text drawn with a bitmap font: flat colour planes and the glyph
// coverage in the alpha plane.
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_font.h"
#include "framework/imaging/qwf_layer.h"

class CQWF_TextLayer : public CQWF_Layer {
public:
    CQWF_TextLayer();
    ~CQWF_TextLayer() override;

    // Fixed size: a layer of width x height; otherwise 10 x 10 that grows to fit the text.
    bool Create(int16_t x, int16_t y, uint8_t fixedSize, uint16_t width, uint16_t height);
    int64_t AddTabStop(uint32_t x);
    void ClearTabStops() { m_tabStops.RemoveAll(); }
    bool SetText(const char* text, uint32_t colour, int16_t lineHeight, int32_t originX,
                 int32_t originY);
    bool Render();

    const CQWF_String& GetText() const { return m_text; }

    // Set directly by the owning control; not owned.
    CQWF_Font* m_font = nullptr;

private:
    bool FillBackground();

    CQWF_String m_text;
    int16_t m_lineHeight = 15;
    uint8_t m_fixedSize = 0;
    int32_t m_originX = 0;
    int32_t m_originY = 0;
    uint32_t m_colour = 0;
    CQWF_DWordArray m_tabStops;
    size_t m_tabCursor = 0;
};
