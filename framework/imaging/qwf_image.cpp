// Planar 8-bit image: creation, conversion, fills, copies and small drawing primitives.
#include "framework/imaging/qwf_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Planes written by fills and copies: alpha only exists in type 2.
int WorkPlanes(uint8_t type) { return type == QWF_IMAGE_RGBA ? 4 : 3; }

uint8_t ColourByte(uint32_t colour, int k) { return static_cast<uint8_t>(colour >> (8 * k)); }

// Row kernels of the alpha-weighted copy, kept apart so that the compiler sees unaliased rows
// and vectorises them.
#if defined(__GNUC__) && !defined(__clang__)
#define QWF_VECTORISE __attribute__((optimize("-ftree-vectorize", "-fvect-cost-model=dynamic")))
#else
#define QWF_VECTORISE
#endif

// d = (s * a + (255 - a) * d) >> 8; the sum never exceeds 255 * 255, so 16 bits suffice.
QWF_VECTORISE void BlendRowFull(uint8_t* __restrict d, const uint8_t* __restrict s,
                                const uint8_t* __restrict sa, int32_t w)
{
    for (int32_t x = 0; x < w; ++x) {
        uint16_t a = sa[x];
        d[x] = static_cast<uint8_t>(static_cast<uint16_t>(s[x] * a + (255 - a) * d[x]) >> 8);
    }
}

// d = d - trunc((d - s) * a * opacity / 25500). With n = |d - s| <= 255, a <= 255 and
// opacity <= 99 the single-precision product n * a * opacity * (1 / 25500), truncated, equals
// the integer quotient for every possible input (checked exhaustively), and vectorises.
QWF_VECTORISE void BlendRowPartial(uint8_t* __restrict d, const uint8_t* __restrict s,
                                   const uint8_t* __restrict sa, int32_t opacity, int32_t w)
{
    const float inv = 1.0f / 25500.0f;
    const float op = static_cast<float>(opacity);
    for (int32_t x = 0; x < w; ++x) {
        int32_t dv = d[x];
        int32_t diff = dv - s[x];
        int32_t n = diff < 0 ? -diff : diff;
        // n * a * opacity < 2^24: the float product of the two exact factors is exact.
        float prod = static_cast<float>(n) * (static_cast<float>(sa[x]) * op);
        int32_t q = static_cast<int32_t>(prod * inv);
        d[x] = static_cast<uint8_t>(diff < 0 ? dv + q : dv - q);
    }
}

// da = da * sa / 255, using x / 255 = (x + 1 + (x >> 8)) >> 8 for x <= 255 * 255.
QWF_VECTORISE void MultiplyAlphaRow(uint8_t* __restrict da, const uint8_t* __restrict sa, int32_t w)
{
    for (int32_t x = 0; x < w; ++x) {
        uint32_t v = static_cast<uint32_t>(da[x]) * sa[x];
        da[x] = static_cast<uint8_t>((v + 1 + (v >> 8)) >> 8);
    }
}

}  // namespace

CQWF_Image::CQWF_Image() = default;

CQWF_Image::~CQWF_Image() { Free(); }

int CQWF_Image::PlaneCount(uint8_t type)
{
    static const int kPlanes[7] = {0, 3, 4, 4, 5, 1, 2};
    return type <= 6 ? kPlanes[type] : 0;
}

void CQWF_Image::Free()
{
    delete m_pMem;
    m_pMem = nullptr;
    m_type = 0;
    m_width = 0;
    m_height = 0;
    ClearError();
}

bool CQWF_Image::Create(uint16_t width, uint16_t height, uint8_t type)
{
    Free();
    if (static_cast<size_t>(width) * height == 0) return false;
    size_t bytesPerPixel;
    if (type == QWF_IMAGE_RGB) bytesPerPixel = 3;
    else if (type == QWF_IMAGE_RGBA) bytesPerPixel = 4;
    else { SetError(QWF_ERR_ARGUMENT); return false; }

    CQWF_Mem* mem = new (std::nothrow) CQWF_Mem();
    if (!mem) { SetError(QWF_ERR_MEMORY); return false; }
    // 64-bit size: 65535 x 65535 x 4 does not wrap.
    if (!mem->Alloc(static_cast<size_t>(width) * height * bytesPerPixel)) {
        SetError(mem->GetError() ? mem->GetError() : static_cast<int16_t>(QWF_ERR_MEMORY));
        delete mem;
        return false;
    }
    m_pMem = mem;
    m_type = type;
    m_width = width;
    m_height = height;
    return true;
}

bool CQWF_Image::CreateFrom(const CQWF_Image* source, uint8_t type)
{
    // Creating from itself would free the source before reading it.
    if (!source || source == this) { SetError(QWF_ERR_ARGUMENT); return false; }
    if (type == 0) type = source->m_type;
    if (!Create(source->m_width, source->m_height, type)) return false;
    if (!source->m_pMem) return true;
    uint8_t* dst = m_pMem->GetData();
    const uint8_t* src = source->m_pMem->GetData();
    size_t srcSize = source->m_pMem->GetSize();
    size_t dstSize = m_pMem->GetSize();
    if (type == source->m_type) {
        std::memcpy(dst, src, std::min(srcSize, dstSize));
        return true;
    }
    if (type != QWF_IMAGE_RGB) std::memset(dst, 255, dstSize);
    size_t colour = GetPlaneSize() * 3;
    std::memcpy(dst, src, std::min({colour, srcSize, dstSize}));
    return true;
}

bool CQWF_Image::ConvertType(uint8_t type)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    if (type == m_type) return true;
    size_t plane = GetPlaneSize();
    if (m_type == QWF_IMAGE_RGBA && type == QWF_IMAGE_RGB) {
        if (!m_pMem->Resize(plane * 3)) { SetError(m_pMem->GetError()); return false; }
        m_type = type;
        return true;
    }
    if (m_type == QWF_IMAGE_RGB && type == QWF_IMAGE_RGBA) {
        if (!m_pMem->Resize(plane * 4)) { SetError(m_pMem->GetError()); return false; }
        std::memset(m_pMem->GetData() + plane * 3, 255, plane);
        m_type = type;
        return true;
    }
    return false;
}

bool CQWF_Image::GetSize(int16_t& width, int16_t& height) const
{
    width = static_cast<int16_t>(m_width);
    height = static_cast<int16_t>(m_height);
    return true;
}

bool CQWF_Image::GetSize(int32_t& width, int32_t& height) const
{
    width = m_width;
    height = m_height;
    return true;
}

uint8_t* CQWF_Image::GetPlane(int k) const
{
    if (!m_pMem || k < 0 || k >= PlaneCount(m_type)) return nullptr;
    size_t offset = GetPlaneSize() * static_cast<size_t>(k);
    if (offset >= m_pMem->GetSize()) return nullptr;
    return m_pMem->GetData() + offset;
}

uint8_t* CQWF_Image::GetPixelPtr(uint16_t x, uint16_t y)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return nullptr; }
    if (x >= m_width || y >= m_height) { SetError(QWF_ERR_ARGUMENT); return nullptr; }
    return m_pMem->GetData() + static_cast<size_t>(y) * m_width + x;
}

bool CQWF_Image::GetPlanes(uint8_t** planes, int64_t& stride)
{
    int n = PlaneCount(m_type);
    if (n == 0 || !planes) { SetError(QWF_ERR_ARGUMENT); return false; }
    uint8_t* base = m_pMem ? m_pMem->GetData() : nullptr;
    size_t plane = GetPlaneSize();
    for (int k = 0; k < n; ++k) planes[k] = base ? base + plane * static_cast<size_t>(k) : nullptr;
    stride = m_width;
    return true;
}

bool CQWF_Image::ClipRect(const QWF_Rect& r, QWF_Rect& out) const
{
    if (QWF_IsWholeRect(r)) {
        out = QWF_Rect{0, 0, m_width, m_height};
    } else {
        out.left = std::max<int32_t>(r.left, 0);
        out.top = std::max<int32_t>(r.top, 0);
        out.right = std::min<int32_t>(r.right, m_width);
        out.bottom = std::min<int32_t>(r.bottom, m_height);
    }
    return out.left < out.right && out.top < out.bottom;
}

QWF_Rect CQWF_Image::PixelClip(const QWF_Rect& clip) const
{
    QWF_Rect out;
    ClipRect(clip, out);
    return out;
}

bool CQWF_Image::Fill(uint32_t colour, uint8_t planeMask, const QWF_Rect& rect)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    int planes = WorkPlanes(m_type);
    size_t planeSize = GetPlaneSize();
    uint8_t* base = m_pMem->GetData();
    if (QWF_IsWholeRect(rect)) {
        for (int k = 0; k < planes; ++k)
            if (planeMask & (1u << k))
                std::memset(base + planeSize * k, ColourByte(colour, k), planeSize);
        return true;
    }
    QWF_Rect r;
    if (!ClipRect(rect, r)) return true;
    size_t len = static_cast<size_t>(r.right - r.left);
    for (int k = 0; k < planes; ++k) {
        if (!(planeMask & (1u << k))) continue;
        uint8_t v = ColourByte(colour, k);
        uint8_t* row = base + planeSize * k + static_cast<size_t>(r.top) * m_width + r.left;
        for (int32_t y = r.top; y < r.bottom; ++y, row += m_width) std::memset(row, v, len);
    }
    return true;
}

bool CQWF_Image::FillChecker(int32_t cellWidth, int32_t cellHeight, uint32_t colour1,
                             uint32_t colour2, const QWF_Rect& rect)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    // The two-by-two cell pattern must fit a 16-bit image side.
    if (cellWidth < 1 || cellHeight < 1 || cellWidth > 32767 || cellHeight > 32767) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    CQWF_Image cell;
    if (!cell.Create(static_cast<uint16_t>(2 * cellWidth), static_cast<uint16_t>(2 * cellHeight),
                     QWF_IMAGE_RGBA)) {
        SetError(cell.GetError() ? cell.GetError() : static_cast<int16_t>(QWF_ERR_MEMORY));
        return false;
    }
    cell.Fill(colour1, 255);
    cell.Fill(colour2, 255, QWF_Rect{0, 0, cellWidth, cellHeight});
    cell.Fill(colour2, 255, QWF_Rect{cellWidth, cellHeight, 2 * cellWidth, 2 * cellHeight});
    return TileFrom(&cell, QWF_WHOLE_RECT, rect);
}

bool CQWF_Image::TileFrom(const CQWF_Image* source, const QWF_Rect& sourceRect,
                          const QWF_Rect& targetRect)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    if (!source || !source->m_pMem || source == this) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect t, s;
    if (!ClipRect(targetRect, t)) return true;
    if (!source->ClipRect(sourceRect, s)) return true;

    const int planes = WorkPlanes(m_type);
    const int sourcePlanes = WorkPlanes(source->m_type);
    const size_t planeSize = GetPlaneSize();
    const size_t sourcePlaneSize = source->GetPlaneSize();
    const size_t sw = static_cast<size_t>(s.right - s.left);
    const size_t tw = static_cast<size_t>(t.right - t.left);
    uint8_t* base = m_pMem->GetData();
    const uint8_t* sbase = source->m_pMem->GetData();

    for (int k = 0; k < planes; ++k) {
        uint8_t* trow = base + planeSize * k + static_cast<size_t>(t.top) * m_width + t.left;
        if (k >= sourcePlanes) {
            for (int32_t y = t.top; y < t.bottom; ++y, trow += m_width) std::memset(trow, 255, tw);
            continue;
        }
        const uint8_t* splane = sbase + sourcePlaneSize * k + s.left;
        int32_t sy = s.top;
        for (int32_t y = t.top; y < t.bottom; ++y, trow += m_width) {
            const uint8_t* srow = splane + static_cast<size_t>(sy) * source->m_width;
            if (sw >= tw) {
                std::memcpy(trow, srow, tw);
            } else {
                // Copy the segment once, then double what is written (a tiled row repeats
                // with period sw, so the written prefix is a valid source for the rest).
                std::memcpy(trow, srow, sw);
                size_t done = sw;
                while (done < tw) {
                    size_t n = std::min(done - done % sw, tw - done);
                    std::memcpy(trow + done, trow, n);
                    done += n;
                }
            }
            if (++sy >= s.bottom) sy = s.top;
        }
    }
    return true;
}

namespace {

// Clips a blit: moves the source by as much as the target moved; false when nothing is copied.
bool ClipBlit(const CQWF_Image& target, const CQWF_Image& source, int32_t& sx, int32_t& sy,
              const QWF_Rect& targetRect, QWF_Rect& t)
{
    QWF_Rect whole{0, 0, target.GetWidth(), target.GetHeight()};
    QWF_Rect r = QWF_IsWholeRect(targetRect) ? whole : targetRect;
    t.left = std::max<int32_t>(r.left, 0);
    t.top = std::max<int32_t>(r.top, 0);
    t.right = std::min<int32_t>(r.right, whole.right);
    t.bottom = std::min<int32_t>(r.bottom, whole.bottom);
    int64_t x = static_cast<int64_t>(sx) + (static_cast<int64_t>(t.left) - r.left);
    int64_t y = static_cast<int64_t>(sy) + (static_cast<int64_t>(t.top) - r.top);
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (t.left >= t.right || t.top >= t.bottom) return false;
    if (x >= source.GetWidth() || y >= source.GetHeight()) return false;
    int64_t w = std::min<int64_t>(t.right - t.left, source.GetWidth() - x);
    int64_t h = std::min<int64_t>(t.bottom - t.top, source.GetHeight() - y);
    if (w <= 0 || h <= 0) return false;
    t.right = t.left + static_cast<int32_t>(w);
    t.bottom = t.top + static_cast<int32_t>(h);
    sx = static_cast<int32_t>(x);
    sy = static_cast<int32_t>(y);
    return true;
}

}  // namespace

bool CQWF_Image::Blit(const CQWF_Image* source, int32_t sourceX, int32_t sourceY,
                      const QWF_Rect& targetRect)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    if (!source || !source->m_pMem) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect t;
    if (!ClipBlit(*this, *source, sourceX, sourceY, targetRect, t)) return true;
    QWF_Rect s{sourceX, sourceY, sourceX + (t.right - t.left), sourceY + (t.bottom - t.top)};
    return TileFrom(source, s, t);
}

bool CQWF_Image::BlitAlpha(const CQWF_Image* source, int32_t sourceX, int32_t sourceY,
                           const QWF_Rect& targetRect, uint8_t opacity)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    // Blending an image into itself would read pixels already written.
    if (!source || !source->m_pMem || source == this) { SetError(QWF_ERR_ARGUMENT); return false; }
    if (source->m_type != QWF_IMAGE_RGBA) return Blit(source, sourceX, sourceY, targetRect);
    if (m_type != QWF_IMAGE_RGB && m_type != QWF_IMAGE_RGBA) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect t;
    if (!ClipBlit(*this, *source, sourceX, sourceY, targetRect, t)) return true;

    const size_t planeSize = GetPlaneSize();
    const size_t sourcePlaneSize = source->GetPlaneSize();
    const int32_t w = t.right - t.left;
    uint8_t* base = m_pMem->GetData();
    const uint8_t* sbase = source->m_pMem->GetData();
    const uint8_t* salphaPlane = sbase + sourcePlaneSize * 3;
    for (int32_t y = 0; y < t.bottom - t.top; ++y) {
        size_t toff = static_cast<size_t>(t.top + y) * m_width + t.left;
        size_t soff = static_cast<size_t>(sourceY + y) * source->m_width + sourceX;
        const uint8_t* sa = salphaPlane + soff;
        for (int k = 0; k < 3; ++k) {
            uint8_t* d = base + planeSize * k + toff;
            const uint8_t* s = sbase + sourcePlaneSize * k + soff;
            if (opacity >= 100) BlendRowFull(d, s, sa, w);
            else BlendRowPartial(d, s, sa, opacity, w);
        }
        if (m_type == QWF_IMAGE_RGBA) MultiplyAlphaRow(base + planeSize * 3 + toff, sa, w);
    }
    return true;
}

void CQWF_Image::SetAlphaPixel(int32_t x, int32_t y, uint8_t value, const QWF_Rect& clip)
{
    // Only a type-2 image has an alpha plane to write.
    if (!m_pMem || m_type != QWF_IMAGE_RGBA) return;
    QWF_Rect c = PixelClip(clip);
    if (x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
    m_pMem->GetData()[GetPlaneSize() * 3 + static_cast<size_t>(y) * m_width + x] = value;
}

void CQWF_Image::BlendPixel(int32_t x, int32_t y, uint32_t colour, const QWF_Rect& clip)
{
    if (!m_pMem) return;
    QWF_Rect c = PixelClip(clip);
    if (x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
    uint32_t m = colour >> 24;
    if (m == 0) return;
    size_t planeSize = GetPlaneSize();
    uint8_t* p = m_pMem->GetData() + static_cast<size_t>(y) * m_width + x;
    if (m == 255) {
        for (int k = 0; k < 3; ++k) p[planeSize * k] = ColourByte(colour, k);
        if (m_type == QWF_IMAGE_RGBA) p[planeSize * 3] = 255;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        uint8_t& c8 = p[planeSize * k];
        c8 = static_cast<uint8_t>((ColourByte(colour, k) * m + c8 * (255 - m)) >> 8);
    }
    if (m_type == QWF_IMAGE_RGBA) {
        uint8_t& a = p[planeSize * 3];
        a = static_cast<uint8_t>(255 - (((255 - a) * (255 - m)) >> 8));
    }
}

namespace {

// Digital differential analyser in 16.16 fixed point; calls put(x, y) for every pixel of the
// line that lies inside the clip. The stepping is done in 64 bits and the major range is cut to
// the clip first, so far-away end points neither overflow nor loop for long.
template <typename Put>
void WalkDDA(int32_t x0, int32_t y0, int32_t x1, int32_t y1, const QWF_Rect& c, Put put)
{
    if (c.left >= c.right || c.top >= c.bottom) return;
    int64_t dx = static_cast<int64_t>(x1) - x0;
    int64_t dy = static_cast<int64_t>(y1) - y0;
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    int64_t majorStart = xMajor ? x0 : y0;
    int64_t majorEnd = xMajor ? x1 : y1;
    int64_t majorDiff = xMajor ? dx : dy;
    int64_t minorStart = xMajor ? y0 : x0;
    int64_t minorDiff = xMajor ? dy : dx;
    int64_t step = majorDiff == 0 ? 0 : (minorDiff * 65536) / majorDiff;
    int64_t minor0 = minorStart * 65536 + 0x8000;
    int64_t dir = majorEnd >= majorStart ? 1 : -1;
    int64_t count = (majorEnd - majorStart) * dir + 1;
    int64_t lo = xMajor ? c.left : c.top;
    int64_t hi = xMajor ? c.right : c.bottom;  // exclusive
    int64_t mlo = xMajor ? c.top : c.left;
    int64_t mhi = xMajor ? c.bottom : c.right;
    // Steps i in [0, count) with lo <= majorStart + dir * i < hi.
    int64_t first, last;
    if (dir > 0) {
        first = std::max<int64_t>(0, lo - majorStart);
        last = std::min<int64_t>(count - 1, hi - 1 - majorStart);
    } else {
        first = std::max<int64_t>(0, majorStart - (hi - 1));
        last = std::min<int64_t>(count - 1, majorStart - lo);
    }
    for (int64_t i = first; i <= last; ++i) {
        int64_t minor = (minor0 + step * i) >> 16;
        if (minor < mlo || minor >= mhi) continue;
        int64_t major = majorStart + dir * i;
        if (xMajor) put(static_cast<int32_t>(major), static_cast<int32_t>(minor));
        else put(static_cast<int32_t>(minor), static_cast<int32_t>(major));
    }
}

}  // namespace

void CQWF_Image::DrawAlphaLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t value,
                               const QWF_Rect& clip)
{
    if (!m_pMem || m_type != QWF_IMAGE_RGBA) return;
    QWF_Rect c = PixelClip(clip);
    uint8_t* alpha = m_pMem->GetData() + GetPlaneSize() * 3;
    const size_t w = m_width;
    WalkDDA(x0, y0, x1, y1, c, [&](int32_t x, int32_t y) {
        alpha[static_cast<size_t>(y) * w + x] = value;
    });
}

bool CQWF_Image::DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                          const QWF_Rect& clip)
{
    if (!m_pMem) { SetError(QWF_ERR_EMPTY); return false; }
    QWF_Rect c = PixelClip(clip);
    WalkDDA(x0, y0, x1, y1, c, [&](int32_t x, int32_t y) { BlendPixel(x, y, colour, c); });
    return true;
}

void CQWF_Image::DrawCircle(int32_t cx, int32_t cy, int32_t radius, uint32_t colour,
                            const QWF_Rect& clip)
{
    // Radii beyond the 16-bit range would only spin through points far outside any image.
    if (!m_pMem || radius < 0 || radius > 32767) return;
    QWF_Rect c = PixelClip(clip);
    if (c.left >= c.right || c.top >= c.bottom) return;
    auto put = [&](int64_t x, int64_t y) {
        if (x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
        BlendPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), colour, c);
    };
    int64_t x = 0, y = radius, d = 3 - 2 * static_cast<int64_t>(radius);
    while (y >= x) {
        put(cx + x, cy + y);
        put(cx - x, cy + y);
        put(cx + x, cy - y);
        put(cx - x, cy - y);
        put(cx + y, cy + x);
        put(cx - y, cy + x);
        put(cx + y, cy - x);
        put(cx - y, cy - x);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * x + 10 - 4 * y;
            --y;
        }
        ++x;
    }
}
