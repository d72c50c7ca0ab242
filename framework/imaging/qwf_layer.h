// Layers (images placed with an opacity, a visibility flag and a clip rectangle), layer sets that
// composite them into one RGB image, and the offscreen bitmap a composite is shown through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_image.h"

namespace qwp {
struct Bitmap;
struct DrawContext;
}

// What one layer contributes to one composite row; columns are relative to the left edge of the
// rendered rectangle, end exclusive.
struct QWF_Span {
    uint32_t empty = 1;
    const uint8_t* r = nullptr;
    const uint8_t* g = nullptr;
    const uint8_t* b = nullptr;
    const uint8_t* a = nullptr;  // null for a layer without alpha
    int32_t start = 0;
    int32_t end = 0;
    uint8_t opacity = 255;
};

class CQWF_Layer : public CQWF_Image {
public:
    CQWF_Layer();
    ~CQWF_Layer() override;

    using CQWF_Image::Create;
    using CQWF_Image::CreateFrom;
    bool Create(int16_t x, int16_t y, uint16_t width, uint16_t height, uint8_t type);
    bool CreateFrom(int16_t x, int16_t y, const CQWF_Image* source, uint8_t type);
    bool SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t type);

    void SetPosition(int16_t x, int16_t y) { m_x = x; m_y = y; }
    void GetPosition(int16_t& x, int16_t& y) const { x = m_x; y = m_y; }
    int16_t GetX() const { return m_x; }
    int16_t GetY() const { return m_y; }
    void GetRect(QWF_Rect& rect) const;
    void SetOpacity(uint8_t opacity) { m_opacity = opacity; }
    uint8_t GetOpacity() const { return m_opacity; }
    void SetVisible(uint8_t visible) { m_visible = visible; }
    uint8_t IsVisible() const { return m_visible; }

    // The part of composite row `row` between left and left + width that this layer covers.
    void GetSpan(QWF_Span& span, int32_t left, int32_t row, int32_t width) const;

    // Set directly by the owner; the clip rectangle counts only with the clip flag set.
    QWF_Rect m_clip = QWF_WHOLE_RECT;
    uint8_t m_clipFlag = 0;
    CQWF_String m_name;

protected:
    int16_t m_x = 0;
    int16_t m_y = 0;
    uint8_t m_opacity = 255;
    uint8_t m_visible = 1;
};

class CQWF_LayerSet : public CQWF_FrameWork {
public:
    CQWF_LayerSet();
    ~CQWF_LayerSet() override;
    CQWF_LayerSet(const CQWF_LayerSet&) = delete;
    CQWF_LayerSet& operator=(const CQWF_LayerSet&) = delete;

    void Clear();
    bool Create(uint16_t width, uint16_t height);
    int64_t AddLayer(CQWF_Layer* layer);
    CQWF_Layer* GetLayer(int64_t index) const;
    int64_t GetLayerCount() const { return static_cast<int64_t>(m_layers.GetCount()); }
    CQWF_Image* GetImage() { return &m_image; }
    uint16_t GetWidth() const { return m_width; }
    uint16_t GetHeight() const { return m_height; }

    bool Render(const QWF_Rect& rect = QWF_WHOLE_RECT);
    bool RenderLayerArea(int64_t index);

    // Lays the spans over one composite row (planes r, g, b from the rendered left edge).
    static void CompositeRow(uint8_t* r, uint8_t* g, uint8_t* b, const QWF_Span* spans,
                             size_t count);

private:
    CQWF_Image m_image;
    uint16_t m_width = 0;
    uint16_t m_height = 0;
    CQWF_PtrArray m_layers;
    CQWF_DWordArray m_renderList;
    CQWF_Mem m_spans;
};

// A 24-bit bottom-up bitmap (B, G, R bytes; rows padded to 4 bytes) that a composite is copied
// into and drawn from.
class CQWF_OffscreenBitmap : public CQWF_FrameWork {
public:
    CQWF_OffscreenBitmap() = default;
    ~CQWF_OffscreenBitmap() override;
    CQWF_OffscreenBitmap(const CQWF_OffscreenBitmap&) = delete;
    CQWF_OffscreenBitmap& operator=(const CQWF_OffscreenBitmap&) = delete;

    bool Create(uint16_t width, uint16_t height);
    void Free();
    bool CopyImage(const CQWF_Image* image, int32_t imageX, int32_t imageY,
                   const QWF_Rect& rect = QWF_WHOLE_RECT);
    bool Blit(qwp::DrawContext* dc, int32_t x, int32_t y, const QWF_Rect& rect = QWF_WHOLE_RECT);

    uint16_t GetWidth() const { return m_width; }
    uint16_t GetHeight() const { return m_height; }
    uint8_t* GetBits() const { return m_bits; }
    uint32_t GetRowGap() const { return m_rowGap; }
    uint32_t GetStride() const { return m_stride; }
    qwp::Bitmap* GetHandle() const { return m_handle; }

private:
    // Clips rect (sentinel = whole bitmap) to the bitmap; false when empty.
    bool ClipToBitmap(const QWF_Rect& rect, QWF_Rect& out) const;

    uint16_t m_width = 0;
    uint16_t m_height = 0;
    uint8_t* m_bits = nullptr;
    uint32_t m_rowGap = 0;
    uint32_t m_stride = 0;
    qwp::Bitmap* m_handle = nullptr;
};
