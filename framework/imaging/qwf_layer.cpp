#include "framework/imaging/qwf_layer.h"

#include <cstring>

#include "platform/qw_surface.h"

namespace {
inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
}  // namespace

// ---------------------------------------------------------------------------------------------
// CQWF_Layer

CQWF_Layer::CQWF_Layer() : m_name("") {}

CQWF_Layer::~CQWF_Layer() = default;

bool CQWF_Layer::Create(int16_t x, int16_t y, uint16_t width, uint16_t height, uint8_t type)
{
    m_x = x;
    m_y = y;
    return CQWF_Image::Create(width, height, type);
}

bool CQWF_Layer::CreateFrom(int16_t x, int16_t y, const CQWF_Image* source, uint8_t type)
{
    m_x = x;
    m_y = y;
    return CQWF_Image::CreateFrom(source, type);
}

bool CQWF_Layer::SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t type)
{
    // A rectangle with its right or bottom before its left or top has no pixels.
    int32_t w = right > left ? right - left : 0;
    int32_t h = bottom > top ? bottom - top : 0;
    if (w > 65535) w = 65535;
    if (h > 65535) h = 65535;
    return Create(static_cast<int16_t>(left), static_cast<int16_t>(top), static_cast<uint16_t>(w),
                  static_cast<uint16_t>(h), type);
}

void CQWF_Layer::GetRect(QWF_Rect& rect) const
{
    rect.left = m_x;
    rect.top = m_y;
    rect.right = m_x + static_cast<int32_t>(m_width);
    rect.bottom = m_y + static_cast<int32_t>(m_height);
}

void CQWF_Layer::GetSpan(QWF_Span& span, int32_t left, int32_t row, int32_t width) const
{
    span = QWF_Span();
    if (!m_visible || !m_opacity || !m_pMem) return;
    const int32_t x = m_x, y = m_y, w = m_width, h = m_height;
    int32_t top = y, bottom = y + h, first = Max(x, left), end = Min(x + w, left + width);
    if (m_clipFlag) {
        top = Max(m_clip.top, y);
        bottom = Min(m_clip.bottom, y + h);
        first = Max(m_clip.left, first);
        end = Min(m_clip.right, end);
    }
    if (row < top || row >= bottom || first >= end) return;
    const size_t plane = GetPlaneSize();
    const uint8_t* base = m_pMem->GetData() + static_cast<size_t>(row - y) * w + (first - x);
    span.empty = 0;
    span.start = first - left;
    span.end = end - left;
    span.opacity = m_opacity;
    span.r = base;
    span.g = base + plane;
    span.b = base + 2 * plane;
    span.a = m_type == QWF_IMAGE_RGBA ? base + 3 * plane : nullptr;
}

// ---------------------------------------------------------------------------------------------
// CQWF_LayerSet

CQWF_LayerSet::CQWF_LayerSet() = default;

CQWF_LayerSet::~CQWF_LayerSet() { Clear(); }

void CQWF_LayerSet::Clear()
{
    m_width = 0;
    m_height = 0;
    m_layers.RemoveAll();
    m_image.Free();
    m_spans.Free();
}

bool CQWF_LayerSet::Create(uint16_t width, uint16_t height)
{
    ClearError();
    Clear();
    if (!m_image.Create(width, height, QWF_IMAGE_RGB)) {
        SetError(m_image.GetError());
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

int64_t CQWF_LayerSet::AddLayer(CQWF_Layer* layer)
{
    int64_t index = m_layers.Add(layer);
    if (index < 0) {
        SetError(m_layers.GetError());
        return -1;
    }
    if (!m_spans.Resize(m_layers.GetCount() * sizeof(QWF_Span))) {
        // Without room for every layer's span the set cannot render it: take it out again.
        m_layers.RemoveAt(static_cast<size_t>(index));
        SetError(m_spans.GetError());
        return -1;
    }
    return index;
}

CQWF_Layer* CQWF_LayerSet::GetLayer(int64_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_layers.GetCount()) return nullptr;
    return static_cast<CQWF_Layer*>(m_layers.GetAt(static_cast<size_t>(index)));
}

bool CQWF_LayerSet::RenderLayerArea(int64_t index)
{
    CQWF_Layer* layer = GetLayer(index);
    if (!layer) return false;
    QWF_Rect r;
    layer->GetRect(r);
    return Render(r);
}

void CQWF_LayerSet::CompositeRow(uint8_t* r, uint8_t* g, uint8_t* b, const QWF_Span* spans,
                                 size_t count)
{
    if (!count) return;
    const QWF_Span& first = spans[0];
    const size_t n0 = static_cast<size_t>(first.end - first.start);
    std::memcpy(r + first.start, first.r, n0);
    std::memcpy(g + first.start, first.g, n0);
    std::memcpy(b + first.start, first.b, n0);
    for (size_t k = 1; k < count; ++k) {
        const QWF_Span& s = spans[k];
        const int32_t n = s.end - s.start;
        uint8_t* cr = r + s.start;
        uint8_t* cg = g + s.start;
        uint8_t* cb = b + s.start;
        const int32_t o = s.opacity;
        if (s.a) {
            if (o == 255) {
                for (int32_t i = 0; i < n; ++i) {
                    const int32_t a = s.a[i];
                    cr[i] = static_cast<uint8_t>(cr[i] - (((cr[i] - s.r[i]) * a) >> 8));
                    cg[i] = static_cast<uint8_t>(cg[i] - (((cg[i] - s.g[i]) * a) >> 8));
                    cb[i] = static_cast<uint8_t>(cb[i] - (((cb[i] - s.b[i]) * a) >> 8));
                }
            } else {
                for (int32_t i = 0; i < n; ++i) {
                    const int32_t w = (s.a[i] * o) & 0xFFFF;
                    cr[i] = static_cast<uint8_t>(cr[i] - (((cr[i] - s.r[i]) * w) >> 16));
                    cg[i] = static_cast<uint8_t>(cg[i] - (((cg[i] - s.g[i]) * w) >> 16));
                    cb[i] = static_cast<uint8_t>(cb[i] - (((cb[i] - s.b[i]) * w) >> 16));
                }
            }
        } else if (o == 255) {
            std::memcpy(cr, s.r, static_cast<size_t>(n));
            std::memcpy(cg, s.g, static_cast<size_t>(n));
            std::memcpy(cb, s.b, static_cast<size_t>(n));
        } else {
            const int32_t io = 255 - o;
            for (int32_t i = 0; i < n; ++i) {
                cr[i] = static_cast<uint8_t>((cr[i] * io + s.r[i] * o) >> 8);
                cg[i] = static_cast<uint8_t>((cg[i] * io + s.g[i] * o) >> 8);
                cb[i] = static_cast<uint8_t>((cb[i] * io + s.b[i] * o) >> 8);
            }
        }
    }
}

bool CQWF_LayerSet::Render(const QWF_Rect& rect)
{
    ClearError();
    if (m_image.IsEmpty()) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    const size_t count = m_layers.GetCount();
    if (!count) return true;
    QWF_Rect r = QWF_IsWholeRect(rect) ? QWF_Rect{0, 0, m_width, m_height} : rect;
    r.left = Max(r.left, 0);
    r.top = Max(r.top, 0);
    r.right = Min(r.right, m_width);
    r.bottom = Min(r.bottom, m_height);
    if (r.left >= r.right || r.top >= r.bottom) return true;

    m_renderList.RemoveAll();
    for (size_t i = 0; i < count; ++i) {
        const CQWF_Layer* l = static_cast<const CQWF_Layer*>(m_layers.GetAt(i));
        if (!l || !l->IsVisible() || !l->GetOpacity()) continue;
        QWF_Rect lr;
        l->GetRect(lr);
        if (lr.left >= r.right || lr.right <= r.left || lr.top >= r.bottom || lr.bottom <= r.top)
            continue;
        if (m_renderList.Add(static_cast<uint32_t>(i)) < 0) {
            SetError(m_renderList.GetError());
            return false;
        }
    }
    const size_t listed = m_renderList.GetCount();
    if (!listed) return true;
    if (m_spans.GetSize() < count * sizeof(QWF_Span) && !m_spans.Resize(count * sizeof(QWF_Span))) {
        SetError(m_spans.GetError());
        return false;
    }
    QWF_Span* spans = reinterpret_cast<QWF_Span*>(m_spans.GetData());
    const int32_t width = r.right - r.left;
    const size_t plane = m_image.GetPlaneSize();
    uint8_t* data = m_image.GetData();
    for (int32_t row = r.top; row < r.bottom; ++row) {
        size_t used = 0;
        for (size_t k = 0; k < listed; ++k) {
            const CQWF_Layer* l =
                static_cast<const CQWF_Layer*>(m_layers.GetAt(m_renderList.GetAt(k)));
            l->GetSpan(spans[used], r.left, row, width);
            if (!spans[used].empty) ++used;
        }
        if (!used) continue;
        uint8_t* base = data + static_cast<size_t>(row) * m_width + r.left;
        CompositeRow(base, base + plane, base + 2 * plane, spans, used);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// CQWF_OffscreenBitmap

CQWF_OffscreenBitmap::~CQWF_OffscreenBitmap() { Free(); }

void CQWF_OffscreenBitmap::Free()
{
    qwp::DeleteBitmap(m_handle);
    m_handle = nullptr;
    m_bits = nullptr;
    m_width = 0;
    m_height = 0;
    m_rowGap = 0;
    m_stride = 0;
}

bool CQWF_OffscreenBitmap::Create(uint16_t width, uint16_t height)
{
    ClearError();
    if (!width || !height) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    Free();
    qwp::DrawContext* screen = qwp::GetScreenContext();
    if (!screen) {
        SetError(QWF_ERR_BITMAP_CONTEXT);
        return false;
    }
    uint8_t* bits = nullptr;
    qwp::Bitmap* bmp = qwp::CreateBitmap(screen, width, height, &bits);
    qwp::ReleaseScreenContext(screen);
    if (!bmp || !bits) {
        qwp::DeleteBitmap(bmp);
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    m_handle = bmp;
    m_bits = bits;
    m_width = width;
    m_height = height;
    m_stride = qwp::BitmapStride(width);
    m_rowGap = m_stride - 3u * width;
    return true;
}

bool CQWF_OffscreenBitmap::ClipToBitmap(const QWF_Rect& rect, QWF_Rect& out) const
{
    out = QWF_IsWholeRect(rect) ? QWF_Rect{0, 0, m_width, m_height} : rect;
    out.left = Max(out.left, 0);
    out.top = Max(out.top, 0);
    out.right = Min(out.right, m_width);
    out.bottom = Min(out.bottom, m_height);
    return out.left < out.right && out.top < out.bottom;
}

bool CQWF_OffscreenBitmap::CopyImage(const CQWF_Image* image, int32_t imageX, int32_t imageY,
                                     const QWF_Rect& rect)
{
    QWF_Rect c;
    if (!image || image->IsEmpty() || !m_bits || !ClipToBitmap(rect, c)) return true;
    const QWF_Rect& r = QWF_IsWholeRect(rect) ? c : rect;
    int32_t sx = Max(imageX + c.left - r.left, 0);
    int32_t sy = Max(imageY + c.top - r.top, 0);
    const int32_t iw = image->GetWidth(), ih = image->GetHeight();
    const int32_t w = Min(c.right - c.left, iw - sx);
    const int32_t h = Min(c.bottom - c.top, ih - sy);
    const size_t plane = image->GetPlaneSize();
    const uint8_t* data = image->GetData();
    for (int32_t i = 0; i < h; ++i) {
        const size_t src = static_cast<size_t>(sy + i) * iw + sx;
        const uint8_t* pr = data + src;
        const uint8_t* pg = pr + plane;
        const uint8_t* pb = pr + 2 * plane;
        uint8_t* dst = m_bits + static_cast<size_t>(m_height - 1 - (c.top + i)) * m_stride +
                       static_cast<size_t>(c.left) * 3;
        for (int32_t j = 0; j < w; ++j) {
            dst[0] = pb[j];
            dst[1] = pg[j];
            dst[2] = pr[j];
            dst += 3;
        }
    }
    return true;
}

bool CQWF_OffscreenBitmap::Blit(qwp::DrawContext* dc, int32_t x, int32_t y, const QWF_Rect& rect)
{
    ClearError();
    QWF_Rect c;
    if (!ClipToBitmap(rect, c)) return true;
    if (!dc) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    const QWF_Rect& r = QWF_IsWholeRect(rect) ? c : rect;
    qwp::DrawContext* mem = qwp::CreateMemoryContext(dc);
    if (!mem) {
        SetError(QWF_ERR_BITMAP_CONTEXT);
        return false;
    }
    qwp::Bitmap* previous = nullptr;
    if (!qwp::SelectBitmap(mem, m_handle, &previous)) {
        qwp::DeleteMemoryContext(mem);
        SetError(QWF_ERR_BITMAP_CONTEXT);
        return false;
    }
    qwp::FlushDrawing();
    bool ok = qwp::CopyArea(dc, x + c.left - r.left, y + c.top - r.top, c.right - c.left,
                            c.bottom - c.top, mem, c.left, c.top);
    if (!ok) SetError(QWF_ERR_BITMAP_COPY);
    qwp::SelectBitmap(mem, previous, nullptr);
    qwp::DeleteMemoryContext(mem);
    return ok;
}
