// Pre-rendered bitmap font: 8-bit coverage glyphs for one contiguous character range, loaded
// from a compressed "QWF2" block in a resource package.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

class CQWF_Storage;

class CQWF_Font : public CQWF_FrameWork {
public:
    CQWF_Font();
    ~CQWF_Font() override;
    CQWF_Font(const CQWF_Font&) = delete;
    CQWF_Font& operator=(const CQWF_Font&) = delete;

    // Reads the package entry under the key, unpacks it and indexes the glyphs.
    bool Load(CQWF_Storage& package, const char* key);
    // Indexes an unpacked "QWF2" block (copied into the font).
    bool LoadBlock(const uint8_t* bytes, size_t length);

    // Coverage bytes (width x height, row by row) and placement of a character; null with
    // error 177 for a character outside the range.
    const uint8_t* GetGlyph(uint8_t c, int8_t& left, int8_t& spacing, int8_t& top,
                            uint8_t& width, uint8_t& height);
    uint8_t GetFirstChar() const { return m_first; }
    uint8_t GetLastChar() const { return m_last; }
    bool GetLineMetrics(int16_t& baseOffset, int16_t& bottom) const;
    int16_t GetLineHeight() const { return m_lineHeight; }
    bool IsLoaded() const { return m_lineHeight != 0; }
    // Size in pixels of a text whose line feeds each move down by lineStep.
    bool MeasureText(const char* text, int32_t lineStep, int32_t& width, int32_t& height);

private:
    void Reset();
    bool Index();

    uint8_t m_first = 0;
    uint8_t m_last = 0;
    CQWF_Mem m_data;
    const uint8_t* m_glyphs[256] = {};
    int16_t m_lineHeight = 0;
    int16_t m_baseOffset = 0;
    int16_t m_bottom = 0;
};
