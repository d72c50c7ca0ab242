#include "framework/ui/qwf_preview.h"

#include <algorithm>
#include <cmath>

#include "framework/imaging/qwf_image.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"

namespace {

// The number of control-width rows in the row block: four checkerboard rows and the sampled
// and the reference column of each control column.
constexpr size_t kRowCount = 6;

inline uint8_t Channel(uint32_t colour, int plane) { return static_cast<uint8_t>(colour >> (8 * plane)); }

// Composites a sample of colour c and alpha a over the background b.
inline uint8_t Over(uint8_t b, uint8_t c, uint8_t a)
{
    if (a == 0) return b;
    if (a == 255) return c;
    return static_cast<uint8_t>(b - ((static_cast<int32_t>(b) - c) * a >> 8));
}

inline uint8_t Lighten(uint8_t c) { return static_cast<uint8_t>(c / 2 + 128); }

uint16_t ClampToWord(int64_t v) { return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535)); }

}  // namespace

CQWF_CtrlPreview::CQWF_CtrlPreview() { m_kind = QWF_CTRL_PREVIEW; }

CQWF_CtrlPreview::~CQWF_CtrlPreview() = default;

bool CQWF_CtrlPreview::HitTest(int32_t x, int32_t y)
{
    return x >= m_rect.left && x < m_rect.right && y >= m_rect.top && y < m_rect.bottom;
}

void CQWF_CtrlPreview::SetBackColours(uint32_t image1, uint32_t image2, uint32_t around1, uint32_t around2)
{
    m_back[0] = image1;
    m_back[1] = image2;
    m_back[2] = around1;
    m_back[3] = around2;
}

void CQWF_CtrlPreview::SetMarkMask(const uint8_t* mask, uint32_t stride)
{
    m_mask = mask;
    m_maskStride = mask ? stride : 0;
}

// --- binding ---

bool CQWF_CtrlPreview::SetSource(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image,
                                 CQWF_CtrlScrollBar* vertical, CQWF_CtrlScrollBar* horizontal,
                                 CQWF_CtrlRuler* horizontalRuler, CQWF_CtrlRuler* verticalRuler,
                                 CQWF_CtrlStaticImage* navigator)
{
    m_source = image;
    m_vbar = vertical;
    m_hbar = horizontal;
    m_hruler = horizontalRuler;
    m_vruler = verticalRuler;
    m_navigator = navigator;
    return Bind(left, top, right, bottom, image);
}

bool CQWF_CtrlPreview::SetImage(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image)
{
    return Bind(left, top, right, bottom, image ? image : m_source);
}

bool CQWF_CtrlPreview::Bind(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image)
{
    if (!m_window) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    m_target = m_window->GetLayer(0);
    m_rect = {left, top, std::max(left, right), std::max(top, bottom)};
    m_created = true;
    CQWF_Control::SetEnabled(true);
    m_image = nullptr;
    if (!image || image->GetType() != QWF_IMAGE_RGBA || image->IsEmpty()) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (!m_rows.Alloc(static_cast<size_t>(std::max(Width(), 1)) * kRowCount * sizeof(uint32_t))) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    for (size_t k = 0; k < 4; ++k) m_row[k] = reinterpret_cast<uint32_t*>(m_rows.GetData()) + k * static_cast<size_t>(Width());
    m_image = image;
    for (CQWF_Control* c : {static_cast<CQWF_Control*>(m_vbar), static_cast<CQWF_Control*>(m_hbar),
                            static_cast<CQWF_Control*>(m_navigator)}) {
        if (!c) continue;
        c->SetParent(this);
        c->SetNotifyParent(true);
    }
    m_navPixels = m_navigator ? m_navigator->GetStatePixels(CQWF_CtrlStaticImage::kNormal, m_navRect) : nullptr;
    UpdateLayout();
    UpdateScrollBars(false);
    if (!m_pointerWatch) m_pointerWatch = SetTimer(kPointerMs, kPointerSlot);
    return true;
}

// --- geometry ---

CQWF_CtrlPreview::Point CQWF_CtrlPreview::GetZoomedSize() const
{
    if (!m_image) return {0, 0};
    return {ToZoomed(m_image->GetWidth()), ToZoomed(m_image->GetHeight())};
}

int32_t CQWF_CtrlPreview::ToZoomed(int32_t v) const
{
    if (m_zoom >= kOneToOne) return v * (1 << (m_zoom - kOneToOne));
    // Rounding down, also for negative values.
    return v >> (kOneToOne - m_zoom);
}

CQWF_CtrlPreview::Point CQWF_CtrlPreview::WindowToImage(int32_t x, int32_t y) const
{
    const int32_t zx = x + m_scrollX, zy = y + m_scrollY;
    if (m_zoom > kOneToOne) return {zx >> (m_zoom - kOneToOne), zy >> (m_zoom - kOneToOne)};
    const int32_t f = 1 << (kOneToOne - m_zoom);
    return {zx * f, zy * f};
}

CQWF_CtrlPreview::Point CQWF_CtrlPreview::ClientToImage(int32_t x, int32_t y) const
{
    Point p = WindowToImage(x, y);
    const int32_t w = m_image ? m_image->GetWidth() : 0, h = m_image ? m_image->GetHeight() : 0;
    if (p.x < 0) p.x = -1;
    else if (p.x >= w) p.x = kNoPointer;
    if (p.y < 0) p.y = -1;
    else if (p.y >= h) p.y = kNoPointer;
    return p;
}

void CQWF_CtrlPreview::UpdateLayout()
{
    const Point z = GetZoomedSize();
    const int32_t W = Width(), H = Height();
    auto margins = [](int32_t view, int32_t size, int32_t& before, int32_t& after) {
        if (view < size) {
            before = after = kScrollMargin;
        } else {
            before = (view - size) / 2;
            after = view - before - size;
        }
    };
    margins(W, z.x, m_marginLeft, m_marginRight);
    margins(H, z.y, m_marginTop, m_marginBottom);
    m_minX = -m_marginLeft;
    m_minY = -m_marginTop;
    m_maxX = z.x + m_marginRight - W;
    m_maxY = z.y + m_marginBottom - H;
    m_scrollX = std::min(std::max(m_scrollX, m_minX), m_maxX);
    m_scrollY = std::min(std::max(m_scrollY, m_minY), m_maxY);
}

void CQWF_CtrlPreview::SetScroll(int32_t x, int32_t y, bool updateBars)
{
    m_scrollX = std::min(std::max(x, m_minX), m_maxX);
    m_scrollY = std::min(std::max(y, m_minY), m_maxY);
    if (updateBars) UpdateScrollBars(false);
}

void CQWF_CtrlPreview::UpdateScrollBars(bool render)
{
    if (!m_image || !m_target) return;
    m_renderSinceBarUpdate = false;
    m_acceptBars = false;
    auto update = [](CQWF_CtrlScrollBar* bar, int32_t total, int32_t page, int32_t position) {
        if (!bar) return;
        uint32_t range = 0, shown = 0;
        bar->GetRange(range, shown);
        if (range != static_cast<uint32_t>(total) || shown != static_cast<uint32_t>(page)) {
            bar->SetRange(static_cast<uint32_t>(total), static_cast<uint32_t>(page));
            bar->SetEnabled(page < total);
        }
        bar->SetPos(static_cast<uint32_t>(std::max(position, 0)));
    };
    update(m_hbar, m_maxX + Width() - m_minX, Width(), m_marginLeft + m_scrollX);
    update(m_vbar, m_maxY + Height() - m_minY, Height(), m_marginTop + m_scrollY);
    if (render) Render(false, false);
    m_acceptBars = true;
}

// --- zoom ---

void CQWF_CtrlPreview::SetZoom(uint8_t level, int32_t x, int32_t y, bool final, bool force)
{
    level = std::min(level, kMaxZoom);
    if (level == m_zoom && !force) return;
    if (x == -1 || y == -1) {
        x = Width() / 2;
        y = Height() / 2;
    }
    const Point anchor = ClientToImage(x, y);
    m_zoom = level;
    UpdateLayout();
    SetScroll(ToZoomed(anchor.x) - Width() / 2, ToZoomed(anchor.y) - Height() / 2, true);
    uint8_t told = m_zoom;
    Notify(QWF_NOTIFY_ZOOM, &told);
    Render(final, false);
}

void CQWF_CtrlPreview::ZoomIn(int32_t x, int32_t y)
{
    if (m_zoom < kMaxZoom) SetZoom(static_cast<uint8_t>(m_zoom + 1), x, y, true, false);
}

void CQWF_CtrlPreview::ZoomOut(int32_t x, int32_t y)
{
    if (m_zoom > 0) SetZoom(static_cast<uint8_t>(m_zoom - 1), x, y, true, false);
}

// --- rendering ---

void CQWF_CtrlPreview::Render(bool final, bool smooth)
{
    m_smooth = smooth;
    m_renderSinceBarUpdate = true;
    if (!m_image || !m_target) return;
    // A draft never shows the picture lightened.
    const bool lightened = m_lightened;
    if (!final) m_lightened = false;
    Paint();
    m_lightened = lightened;
    m_smooth = false;
    Point scroll{m_scrollX, m_scrollY};
    if (final) {
        // The smooth pass follows a reduced final render once; the pass itself starts none.
        if (m_zoom < kOneToOne && !smooth) {
            KillTimer(kSmoothSlot);
            SetTimer(kSmoothMs, kSmoothSlot);
        }
        Notify(QWF_NOTIFY_FINAL_RENDER, &scroll);
        if (m_window) {
            m_window->InvalidateRect(m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
            m_window->Redraw(m_rect);
        }
        m_fullRedrawOwed = false;
    } else {
        Notify(QWF_NOTIFY_DRAFT_RENDER, &scroll);
        if (m_window) m_window->DrawImage(m_target, m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
        m_fullRedrawOwed = true;
    }
    UpdateRulers();
    DrawNavigator();
}

void CQWF_CtrlPreview::Paint()
{
    QWF_Rect layer;
    m_target->GetRect(layer);
    const int32_t W = Width();
    // The part of the control the target layer holds.
    const int32_t x0 = std::max(m_rect.left, layer.left) - m_rect.left, x1 = std::min(m_rect.right, layer.right) - m_rect.left;
    const int32_t y0 = std::max(m_rect.top, layer.top) - m_rect.top, y1 = std::min(m_rect.bottom, layer.bottom) - m_rect.top;
    if (x0 >= x1 || y0 >= y1 || CQWF_Image::PlaneCount(m_target->GetType()) < 3) return;
    const int32_t lw = layer.right - layer.left;
    uint8_t* out[3];
    for (int k = 0; k < 3; ++k) out[k] = m_target->GetPlane(k);

    const Point z = GetZoomedSize();
    const int32_t iw = m_image->GetWidth();
    const uint8_t* src[4];
    for (int k = 0; k < 4; ++k) src[k] = m_image->GetPlane(k);
    const bool lighten = m_lightened && !m_panning;
    const int32_t up = m_zoom > kOneToOne ? m_zoom - kOneToOne : 0;
    const int32_t down = m_zoom < kOneToOne ? kOneToOne - m_zoom : 0;
    const int32_t block = 1 << down;
    const bool smooth = m_smooth && down > 0;

    // Checkerboard rows (the picture's two colours and the surround's, in both phases) and, for
    // each column over the picture, the picture column it samples and its reference column.
    int32_t* sample = reinterpret_cast<int32_t*>(m_rows.GetData()) + 4 * static_cast<size_t>(W);
    int32_t* reference = sample + W;
    for (int32_t x = 0; x < W; ++x) {
        const int32_t zx = x + m_scrollX;
        const uint32_t odd = static_cast<uint32_t>(zx >> 3) & 1;
        m_row[0][x] = m_back[odd];
        m_row[1][x] = m_back[odd ^ 1];
        m_row[2][x] = m_back[2 + odd];
        m_row[3][x] = m_back[3 - odd];
        const int32_t ref = zx * block + block - 1;
        sample[x] = up ? zx >> up : ref - block / 2;
        reference[x] = up ? sample[x] : ref;
        if (!down) sample[x] = reference[x] = up ? zx >> up : zx;
    }
    // The columns over the picture.
    const int32_t c0 = std::clamp(-m_scrollX, x0, x1), c1 = std::clamp(z.x - m_scrollX, c0, x1);

    bool firstRow = true;
    for (int32_t y = y0; y < y1; ++y) {
        const int32_t zy = y + m_scrollY;
        const uint32_t odd = static_cast<uint32_t>(zy >> 3) & 1;
        const size_t at = static_cast<size_t>(m_rect.top + y - layer.top) * lw + (m_rect.left - layer.left);
        uint8_t* o[3] = {out[0] + at, out[1] + at, out[2] + at};
        const bool inside = zy >= 0 && zy < z.y;
        const uint32_t* around = m_row[2 + odd];
        auto fill = [&](int32_t from, int32_t to, const uint32_t* row) {
            for (int32_t x = from; x < to; ++x) {
                o[0][x] = Channel(row[x], 0);
                o[1][x] = Channel(row[x], 1);
                o[2][x] = Channel(row[x], 2);
            }
        };
        if (!inside || c0 >= c1) {
            fill(x0, x1, around);
            continue;
        }
        fill(x0, c0, around);
        fill(c1, x1, around);
        const uint32_t* under = m_row[odd];
        // The picture row sampled; the first row painted takes the reference row.
        const int32_t refRow = zy * block + block - 1;
        const int32_t row = up ? zy >> up : !down ? zy : firstRow ? refRow : refRow - block / 2;
        const int32_t* cols = down && firstRow ? reference : sample;
        const bool average = smooth && !firstRow;
        firstRow = false;
        const size_t rowAt = static_cast<size_t>(row) * iw;
        const uint8_t* maskRow = m_mask ? m_mask + static_cast<size_t>(row) * m_maskStride : nullptr;
        for (int32_t x = c0; x < c1; ++x) {
            const int32_t ix = cols[x];
            uint8_t c[4];
            if (average) {
                // The mean of the whole block (the reference is its bottom-right pixel).
                const int32_t bx = reference[x] - block + 1, by = refRow - block + 1;
                uint32_t sum[4] = {0, 0, 0, 0};
                for (int32_t j = 0; j < block; ++j) {
                    const size_t r = static_cast<size_t>(by + j) * iw + bx;
                    for (int k = 0; k < 4; ++k) {
                        const uint8_t* p = src[k] + r;
                        for (int32_t i = 0; i < block; ++i) sum[k] += p[i];
                    }
                }
                for (int k = 0; k < 4; ++k) c[k] = static_cast<uint8_t>(sum[k] >> (2 * down));
            } else {
                const size_t p = rowAt + static_cast<size_t>(ix);
                for (int k = 0; k < 4; ++k) c[k] = src[k][p];
            }
            const uint32_t b = under[x];
            if (maskRow && maskRow[ix]) {
                if (((x + m_scrollX) & 3) == 3) {
                    for (int k = 0; k < 3; ++k) o[k][x] = Channel(m_hatch, k);
                    continue;
                }
                for (int k = 0; k < 3; ++k) o[k][x] = Over(Channel(b, k), Lighten(c[k]), c[3]);
                continue;
            }
            for (int k = 0; k < 3; ++k) o[k][x] = Over(Channel(b, k), lighten ? Lighten(c[k]) : c[k], c[3]);
        }
    }
}

// --- companions ---

void CQWF_CtrlPreview::UpdateRulers()
{
    if (!m_image) return;
    const Point z = GetZoomedSize();
    const Point first = ClientToImage(0, 0);
    const int32_t v = m_zoom > kOneToOne ? 1 << (m_zoom - kOneToOne) : 1;
    auto update = [&](CQWF_CtrlRuler* ruler, bool horizontal) {
        if (!ruler) return;
        const QWF_Rect R = ruler->GetRect();
        QWF_RulerView view;
        view.units = m_units;
        const int32_t scroll = horizontal ? m_scrollX : m_scrollY;
        const int32_t size = horizontal ? Width() : Height();
        const int32_t zoomed = horizontal ? z.x : z.y;
        if (horizontal) {
            view.lead = ClampToWord(int64_t{m_rect.left} - R.left + std::max(-scroll, 0));
            view.trail = ClampToWord(int64_t{R.right} - m_rect.right + std::max(scroll + size - zoomed, 0));
            view.innerMargin = 1;
        } else {
            view.lead = ClampToWord(int64_t{m_rect.top} - R.top + std::max(-scroll, 0));
            view.trail = ClampToWord(int64_t{R.bottom} - m_rect.bottom + std::max(scroll + size - zoomed, 0));
            view.innerMargin = 2;
        }
        view.outerMargin = 0;
        view.zoomShift = static_cast<int8_t>(m_zoom - kOneToOne);
        view.first = static_cast<uint32_t>(std::max(horizontal ? first.x : first.y, 0));
        view.phase = m_zoom > kOneToOne && scroll >= 0 ? static_cast<uint8_t>(scroll % v) : 0;
        const int32_t at = horizontal ? m_pointerX : m_pointerY;
        const int64_t pointer = int64_t{at} - (horizontal ? R.left : R.top);
        view.pointer = at == kNoPointer || pointer < 0 ? 0xFFFF : ClampToWord(pointer);
        view.scale = m_units == QWF_UNITS_PERCENT ? (horizontal ? m_image->GetWidth() : m_image->GetHeight())
                                                  : (horizontal ? m_resolutionX : m_resolutionY);
        if (!ruler->HasView() || !(view == ruler->GetView())) ruler->SetView(view, true);
    };
    update(m_hruler, true);
    update(m_vruler, false);
}

void CQWF_CtrlPreview::DrawNavigator()
{
    // Without a navigator there are no navigator pixels; Render draws it only with a picture.
    if (!m_navPixels) return;
    const int32_t nw = m_navRect.right - m_navRect.left, nh = m_navRect.bottom - m_navRect.top;
    if (nw <= 6 || nh <= 6) return;
    const int32_t iw = m_image->GetWidth(), ih = m_image->GetHeight();
    double o = std::min(static_cast<double>(nw - 6) / iw, static_cast<double>(nh - 6) / ih);
    const int32_t tw = static_cast<int32_t>(std::min<double>(nw - 6, iw * o));
    const int32_t th = static_cast<int32_t>(std::min<double>(nh - 6, ih * o));
    const int32_t xOffset = (nw - 6 - tw) / 2, yOffset = (nh - 6 - th) / 2;
    o = m_zoom < kOneToOne ? o * (1 << (kOneToOne - m_zoom)) : o / (1 << (m_zoom - kOneToOne));
    const Point z = GetZoomedSize();
    const int32_t W = Width(), H = Height();
    int32_t fw = tw, fh = th;
    const int32_t visibleW = std::min(z.x, W + m_scrollX) - std::max(m_scrollX, 0);
    const int32_t visibleH = std::min(z.y, H + m_scrollY) - std::max(m_scrollY, 0);
    if (visibleW != z.x) fw = std::max(std::min(static_cast<int32_t>(o * visibleW) + 1, tw), 1);
    if (visibleH != z.y) fh = std::max(std::min(static_cast<int32_t>(o * visibleH) + 1, th), 1);
    const int32_t left = static_cast<int32_t>(o * std::max(m_scrollX, 0)) + xOffset + 3;
    const int32_t top = static_cast<int32_t>(o * std::max(m_scrollY, 0)) + yOffset + 3;
    const int32_t right = left + fw, bottom = top + fh;
    m_navFrame = {left, top, right, bottom};
    m_navVisibleW = static_cast<int32_t>(o * W);
    m_navVisibleH = static_cast<int32_t>(o * H);
    m_thumbLeft = xOffset + 3;
    m_thumbTop = yOffset + 3;
    m_thumbRight = nw - xOffset - 3;
    m_thumbBottom = nh - yOffset - 3;

    // The frame's lines cross the whole navigator; inside it the thumbnail shows clear, outside
    // it under a grey veil.
    const size_t plane = static_cast<size_t>(nw) * nh;
    for (int32_t y = 0; y < nh; ++y)
        for (int32_t x = 0; x < nw; ++x) {
            const size_t at = static_cast<size_t>(y) * nw + x;
            uint8_t grey = 200, alpha = 100;
            if (x == left || x == right || y == top || y == bottom) grey = 0, alpha = 255;
            else if (x > left && x < right && y > top && y < bottom) grey = 0, alpha = 0;
            m_navPixels[at] = m_navPixels[plane + at] = m_navPixels[2 * plane + at] = grey;
            m_navPixels[3 * plane + at] = alpha;
        }
    m_navigator->Redraw(true);
}

void CQWF_CtrlPreview::ScrollToNavigatorPoint(int32_t x, int32_t y)
{
    const int32_t tw = m_thumbRight - m_thumbLeft, th = m_thumbBottom - m_thumbTop;
    int32_t sx = m_scrollX, sy = m_scrollY;
    if (m_navVisibleW < tw)
        sx = static_cast<int32_t>(m_minX + int64_t{m_maxX - m_minX} * (x - m_navVisibleW / 2 - m_thumbLeft) / (tw - m_navVisibleW));
    if (m_navVisibleH < th)
        sy = static_cast<int32_t>(m_minY + int64_t{m_maxY - m_minY} * (y - m_navVisibleH / 2 - m_thumbTop) / (th - m_navVisibleH));
    SetScroll(sx, sy, true);
    Render(false, false);
}

// --- input ---

bool CQWF_CtrlPreview::OnChildNotify(int32_t code, int32_t index, const char*, uint8_t, void* data)
{
    const bool fromBar = (m_hbar && index == m_hbar->GetIndex()) || (m_vbar && index == m_vbar->GetIndex());
    if (fromBar) {
        if ((code != QWF_NOTIFY_VALUE && code != QWF_NOTIFY_VALUE_CHANGING) || !m_acceptBars) return false;
        const int32_t hx = m_hbar ? static_cast<int32_t>(m_hbar->GetPos()) : m_marginLeft + m_scrollX;
        const int32_t vy = m_vbar ? static_cast<int32_t>(m_vbar->GetPos()) : m_marginTop + m_scrollY;
        SetScroll(hx - m_marginLeft, vy - m_marginTop, false);
        if (m_renderSinceBarUpdate) Render(code == QWF_NOTIFY_VALUE, false);
        return false;
    }
    if (!m_navigator || index != m_navigator->GetIndex() || !data) return false;
    const auto* p = static_cast<const CQWF_CtrlStaticImage::Point*>(data);
    switch (code) {
    case CQWF_CtrlStaticImage::kForwardDown:
        m_navDragging = true;
        ScrollToNavigatorPoint(p->x - m_navRect.left, p->y - m_navRect.top);
        break;
    case CQWF_CtrlStaticImage::kForwardMove:
        if (m_navDragging) ScrollToNavigatorPoint(p->x - m_navRect.left, p->y - m_navRect.top);
        break;
    case CQWF_CtrlStaticImage::kForwardUp:
        m_navDragging = false;
        Render(true, false);
        break;
    case CQWF_CtrlStaticImage::kForwardWheel: {
        const int32_t steps = static_cast<const CQWF_CtrlStaticImage::WheelPoint*>(data)->steps;
        for (int32_t i = 0; i < steps; ++i) ZoomIn(-1, -1);
        for (int32_t i = 0; i < -steps; ++i) ZoomOut(-1, -1);
        break;
    }
    default: break;
    }
    return false;
}

bool CQWF_CtrlPreview::OnMouseDown(int32_t x, int32_t y, uint32_t)
{
    const uint32_t keys = m_window ? m_window->GetModifierKeys() : 0;
    if (!(keys & QWF_MOD_SPACE)) return false;
    if (keys & QWF_MOD_ALT) {
        ZoomOut(x - m_rect.left, y - m_rect.top);
    } else if (keys & QWF_MOD_CTRL) {
        ZoomIn(x - m_rect.left, y - m_rect.top);
    } else {
        m_panMouseX = x;
        m_panMouseY = y;
        m_panScrollX = m_scrollX;
        m_panScrollY = m_scrollY;
        m_panning = true;
        Render(false, false);
    }
    return true;
}

bool CQWF_CtrlPreview::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    m_pointerX = x;
    m_pointerY = y;
    if (m_panning) {
        SetScroll(m_panScrollX + m_panMouseX - x, m_panScrollY + m_panMouseY - y, true);
        Render(false, false);
        return true;
    }
    Point at = ClientToImage(x - m_rect.left, y - m_rect.top);
    Notify(QWF_NOTIFY_POINTER, &at);
    UpdateRulers();
    return true;
}

bool CQWF_CtrlPreview::OnMouseUp(int32_t, int32_t, uint32_t)
{
    m_renderSinceBarUpdate = true;
    if (m_panning) {
        m_panning = false;
        Render(true, false);
    }
    if (m_fullRedrawOwed && m_window) {
        m_fullRedrawOwed = false;
        m_window->InvalidateRect(m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
        m_window->Redraw(m_rect);
    }
    return false;
}

bool CQWF_CtrlPreview::OnMouseWheel(int32_t x, int32_t y, uint32_t, int32_t steps)
{
    for (int32_t i = 0; i < steps; ++i) ZoomIn(x - m_rect.left, y - m_rect.top);
    for (int32_t i = 0; i < -steps; ++i) ZoomOut(x - m_rect.left, y - m_rect.top);
    return true;
}

bool CQWF_CtrlPreview::OnTimer(uint32_t slot)
{
    if (slot == kPointerSlot) {
        int32_t x = 0, y = 0;
        if ((!GetCursorPos(x, y) || !HitTest(x, y)) && (m_pointerX != kNoPointer || m_pointerY != kNoPointer)) {
            m_pointerX = m_pointerY = kNoPointer;
            UpdateRulers();
        }
    } else if (slot == kSmoothSlot) {
        KillTimer(kSmoothSlot);
        Render(true, true);
    }
    return true;
}
