#include "framework/imaging/qwf_textlayer.h"

namespace {
constexpr int32_t kMaxTextSize = 30000;
}

CQWF_TextLayer::CQWF_TextLayer() : m_text("") {}

CQWF_TextLayer::~CQWF_TextLayer() = default;

bool CQWF_TextLayer::Create(int16_t x, int16_t y, uint8_t fixedSize, uint16_t width,
                            uint16_t height)
{
    m_fixedSize = fixedSize;
    if (!CQWF_Layer::Create(x, y, fixedSize ? width : 10, fixedSize ? height : 10,
                            QWF_IMAGE_RGBA))
        return false;
    // A fresh layer starts black and transparent.
    return Fill(0, 255);
}

int64_t CQWF_TextLayer::AddTabStop(uint32_t x)
{
    int64_t index = m_tabStops.Add(x);
    if (index < 0) SetError(m_tabStops.GetError());
    return index;
}

bool CQWF_TextLayer::SetText(const char* text, uint32_t colour, int16_t lineHeight,
                             int32_t originX, int32_t originY)
{
    m_text = text ? text : "";
    m_colour = colour;
    m_lineHeight = lineHeight;
    m_originX = originX;
    m_originY = originY;
    return Render();
}

bool CQWF_TextLayer::FillBackground()
{
    if (m_colour != 0) return Fill(m_colour & 0x00FFFFFFu, 255);
    return Fill(0, 8);
}

bool CQWF_TextLayer::Render()
{
    ClearError();
    if (!m_font) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    int32_t w = 0, h = 0;
    if (!m_font->MeasureText(m_text.GetBuffer(), m_lineHeight, w, h)) {
        SetError(m_font->GetError());
        return false;
    }
    if (w <= 0 || h <= 0) return FillBackground();

    int32_t penX = m_originX, penY = m_originY;
    if (!m_fixedSize) {
        if (w > kMaxTextSize) w = kMaxTextSize;
        if (h > kMaxTextSize) h = kMaxTextSize;
        if (IsEmpty() || m_width < w || m_height < h) {
            // Grows to fit; a dimension that is already large enough is kept.
            const int32_t nw = m_width > w ? m_width : w;
            const int32_t nh = m_height > h ? m_height : h;
            if (!CQWF_Layer::Create(m_x, m_y, static_cast<uint16_t>(nw),
                                    static_cast<uint16_t>(nh), QWF_IMAGE_RGBA))
                return false;
            Fill(0, 255);
        }
        penX = 0;
        penY = 0;
    }
    if (!FillBackground()) return false;

    int16_t top = 0, bottom = 0;
    m_font->GetLineMetrics(top, bottom);
    const int32_t lw = m_width, lh = m_height;
    uint8_t* alpha = GetPlane(3);
    int32_t px = penX, py = penY;
    m_tabCursor = 0;
    for (const char* p = m_text.GetBuffer(); *p; ++p) {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (c == '\n') {
            px = penX;
            py += m_lineHeight;
            m_tabCursor = 0;
            continue;
        }
        if (c == '\t') {
            if (m_tabCursor < m_tabStops.GetCount()) {
                px = static_cast<int32_t>(m_tabStops.GetAt(m_tabCursor));
                ++m_tabCursor;
            }
            continue;
        }
        if (c < m_font->GetFirstChar() || c > m_font->GetLastChar()) continue;
        int8_t gx, spacing, gy;
        uint8_t gw, gh;
        const uint8_t* cover = m_font->GetGlyph(c, gx, spacing, gy, gw, gh);
        if (!cover) continue;
        if (px == penX && gx < 0) px -= gx;
        const int32_t x0 = px + gx, y0 = top + gy + py;
        const int32_t cx0 = x0 < 0 ? 0 : x0, cy0 = y0 < 0 ? 0 : y0;
        const int32_t cx1 = x0 + gw > lw ? lw : x0 + gw;
        const int32_t cy1 = y0 + gh > lh ? lh : y0 + gh;
        for (int32_t y = cy0; y < cy1; ++y) {
            const uint8_t* src = cover + static_cast<size_t>(y - y0) * gw;
            uint8_t* dst = alpha + static_cast<size_t>(y) * lw;
            for (int32_t x = cx0; x < cx1; ++x)
                if (const uint8_t v = src[x - x0]) dst[x] = v;
        }
        px += gx + gw + spacing;
    }
    return true;
}
