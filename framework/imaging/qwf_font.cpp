#include "framework/imaging/qwf_font.h"

#include <cstring>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"

CQWF_Font::CQWF_Font() = default;

CQWF_Font::~CQWF_Font() = default;

void CQWF_Font::Reset()
{
    m_data.Free();
    m_first = 0;
    m_last = 0;
    std::memset(m_glyphs, 0, sizeof m_glyphs);
    m_lineHeight = 0;
    m_baseOffset = 0;
    m_bottom = 0;
}

bool CQWF_Font::Load(CQWF_Storage& package, const char* key)
{
    ClearError();
    Reset();
    CQWF_Mem packed;
    if (!package.GetBinary(key, packed)) {
        SetError(package.GetError());
        return false;
    }
    CQWF_ZipBlock zip;
    zip.SetInputMem(packed);
    zip.SetOutputMem(&m_data);
    zip.SetMode(0);
    if (!zip.Process()) {
        SetError(zip.GetError());
        Reset();
        return false;
    }
    return Index();
}

bool CQWF_Font::LoadBlock(const uint8_t* bytes, size_t length)
{
    ClearError();
    Reset();
    if (!bytes || !length) {
        SetError(QWF_ERR_FONT_MALFORMED);
        return false;
    }
    if (!m_data.Alloc(length)) {
        SetError(m_data.GetError());
        Reset();
        return false;
    }
    std::memcpy(m_data.GetData(), bytes, length);
    return Index();
}

bool CQWF_Font::Index()
{
    const uint8_t* d = m_data.GetData();
    const size_t size = m_data.GetSize();
    if (!d || size < 6 || std::memcmp(d, "QWF2", 4) != 0) {
        Reset();
        SetError(QWF_ERR_FONT_MALFORMED);
        return false;
    }
    const int first = d[4], last = d[5];
    int16_t minTop = 10000, maxBottom = -10000;
    size_t pos = 6;
    for (int c = first; c <= last; ++c) {
        // Every header and every coverage block must lie inside the block.
        if (size - pos < 5) {
            Reset();
            SetError(QWF_ERR_FONT_MALFORMED);
            return false;
        }
        const size_t cover = static_cast<size_t>(d[pos + 3]) * d[pos + 4];
        if (size - pos - 5 < cover) {
            Reset();
            SetError(QWF_ERR_FONT_MALFORMED);
            return false;
        }
        m_glyphs[c] = d + pos;
        const int16_t top = static_cast<int8_t>(d[pos + 2]);
        const int16_t bottom = static_cast<int16_t>(top + d[pos + 4]);
        if (top < minTop) minTop = top;
        if (bottom > maxBottom) maxBottom = bottom;
        pos += 5 + cover;
    }
    m_first = static_cast<uint8_t>(first);
    m_last = static_cast<uint8_t>(last);
    m_baseOffset = static_cast<int16_t>(-minTop);
    m_bottom = maxBottom;
    m_lineHeight = static_cast<int16_t>(maxBottom - minTop + 1);
    return true;
}

const uint8_t* CQWF_Font::GetGlyph(uint8_t c, int8_t& left, int8_t& spacing, int8_t& top,
                                   uint8_t& width, uint8_t& height)
{
    const uint8_t* g = (c >= m_first && c <= m_last) ? m_glyphs[c] : nullptr;
    if (!g) {
        SetError(QWF_ERR_FONT_RANGE);
        return nullptr;
    }
    left = static_cast<int8_t>(g[0]);
    spacing = static_cast<int8_t>(g[1]);
    top = static_cast<int8_t>(g[2]);
    width = g[3];
    height = g[4];
    return g + 5;
}

bool CQWF_Font::GetLineMetrics(int16_t& baseOffset, int16_t& bottom) const
{
    baseOffset = m_baseOffset;
    bottom = m_bottom;
    return true;
}

bool CQWF_Font::MeasureText(const char* text, int32_t lineStep, int32_t& width, int32_t& height)
{
    if (!m_lineHeight) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    width = 0;
    height = 0;
    int32_t line = 0, pen = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (c == 10) {
            line += lineStep;
            pen = 0;
            continue;
        }
        const uint8_t* g = (c >= m_first && c <= m_last) ? m_glyphs[c] : nullptr;
        if (!g) continue;
        const int32_t left = static_cast<int8_t>(g[0]);
        const int32_t spacing = static_cast<int8_t>(g[1]);
        const int32_t top = static_cast<int8_t>(g[2]);
        if (pen == 0 && left < 0) pen = -left;
        pen += left + g[3];
        if (pen > width) width = pen;
        const int32_t bottom = m_baseOffset + top + g[4] + line;
        if (bottom > height) height = bottom;
        pen += spacing;
    }
    return true;
}
