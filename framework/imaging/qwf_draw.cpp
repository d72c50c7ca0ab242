// Line rasteriser: Bresenham lines into 1-bit and 8-bit targets, discs for thick lines and
// anti-aliased wide segments with flat or round ends.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <emmintrin.h>

#include "framework/imaging/qwf_image.h"

namespace {

constexpr double kMaxDiscDiameter = 16384;

// Points ahead of a plain polyline's walk whose target bytes are fetched early.
constexpr int64_t kFetchAhead = 24;

// Coordinates become integers through single precision, truncated toward zero. Values beyond
// the 32-bit range are held at its edge so the conversion stays defined; such points lie far
// outside every target anyway.
int32_t ToPixel(double v)
{
    float f = static_cast<float>(v);
    if (!(f > -2147483520.0f)) return -2147483520;  // also NaN, which callers reject first
    if (f > 2147483520.0f) return 2147483520;
    return static_cast<int32_t>(f);
}

// A coverage product as an integer in [0, value]; NaN gives 0.
int CoverInt(double v, int value)
{
    if (!(v > 0)) return 0;
    return static_cast<int>(std::min(v, static_cast<double>(value)));
}

bool Finite4(double a, double b, double c, double d)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

// Bresenham walk from (x0, y0) to (x1, y1), end point included. Only the steps whose major
// coordinate lies in [lo, hi) are visited; the minor position and error term of the first such
// step are computed in closed form, so far-away end points cost nothing.
// Step i has minor offset k_i = floor((2 m i + M) / (2 M)) with M, m the major and minor lengths.
template <typename Plot>
void Bresenham(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int64_t lo, int64_t hi, Plot plot)
{
    int64_t dx = static_cast<int64_t>(x1) - x0;
    int64_t dy = static_cast<int64_t>(y1) - y0;
    bool yMajor = std::llabs(dx) < std::llabs(dy);
    int64_t M = yMajor ? std::llabs(dy) : std::llabs(dx);
    int64_t m = yMajor ? std::llabs(dx) : std::llabs(dy);
    int64_t majorStart = yMajor ? y0 : x0;
    int64_t minorStart = yMajor ? x0 : y0;
    int64_t sMajor = (yMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t sMinor = (yMajor ? dx : dy) < 0 ? -1 : 1;
    if (M == 0) {
        if (majorStart >= lo && majorStart < hi) plot(static_cast<int64_t>(x0), static_cast<int64_t>(y0));
        return;
    }
    int64_t first, last;
    if (sMajor > 0) {
        first = std::max<int64_t>(0, lo - majorStart);
        last = std::min<int64_t>(M, hi - 1 - majorStart);
    } else {
        first = std::max<int64_t>(0, majorStart - (hi - 1));
        last = std::min<int64_t>(M, majorStart - lo);
    }
    if (first > last) return;
    // k and err at step `first`; 2 m i can reach 2^65, hence the 128-bit products (not needed
    // for the usual walk from the first end point).
    int64_t k = 0;
    int64_t err = 2 * m - M;
    if (first > 0) {
        __int128 num = static_cast<__int128>(2 * m) * first + M;
        k = static_cast<int64_t>(num / (2 * M));
        __int128 err128 =
            static_cast<__int128>(2 * m) * (first + 1) - M - static_cast<__int128>(2 * M) * k;
        err = static_cast<int64_t>(err128);
    }
    int64_t major = majorStart + sMajor * first;
    int64_t minor = minorStart + sMinor * k;
    for (int64_t i = first; i <= last; ++i) {
        if (yMajor) plot(minor, major);
        else plot(major, minor);
        if (err >= 0) {
            minor += sMinor;
            err -= 2 * M;
        }
        err += 2 * m;
        major += sMajor;
    }
}

// The 1-bit line from (x0, y0) to (x1, y1) within the clip c (not empty). A line with both end
// points inside the clip needs no clipping: its walk is plotted directly.
void PlotBitLine(uint8_t* target, int64_t stride, const QWF_Rect& c, int32_t x0, int32_t y0,
                 int32_t x1, int32_t y1)
{
    const bool yMajor =
        std::llabs(static_cast<int64_t>(x1) - x0) < std::llabs(static_cast<int64_t>(y1) - y0);
    if (x0 >= c.left && x0 < c.right && x1 >= c.left && x1 < c.right && y0 >= c.top &&
        y0 < c.bottom && y1 >= c.top && y1 < c.bottom) {
        const int64_t adx = x1 >= x0 ? static_cast<int64_t>(x1) - x0 : static_cast<int64_t>(x0) - x1;
        const int64_t ady = y1 >= y0 ? static_cast<int64_t>(y1) - y0 : static_cast<int64_t>(y0) - y1;
        const int64_t sx = x1 < x0 ? -1 : 1;
        const int64_t sy = y1 < y0 ? -1 : 1;
        int64_t x = x0, y = y0;
        if (yMajor) {
            const int64_t M = ady, m = adx;
            int64_t err = 2 * m - M;
            for (int64_t i = 0; i <= M; ++i) {
                target[y * stride + (x >> 3)] |= static_cast<uint8_t>(0x80u >> (x & 7));
                if (err >= 0) {
                    x += sx;
                    err -= 2 * M;
                }
                err += 2 * m;
                y += sy;
            }
        } else {
            const int64_t M = adx, m = ady;
            int64_t err = 2 * m - M;
            for (int64_t i = 0; i <= M; ++i) {
                target[y * stride + (x >> 3)] |= static_cast<uint8_t>(0x80u >> (x & 7));
                if (err >= 0) {
                    y += sy;
                    err -= 2 * M;
                }
                err += 2 * m;
                x += sx;
            }
        }
        return;
    }
    const int64_t cl = c.left, cr = c.right, ct = c.top, cb = c.bottom;
    Bresenham(x0, y0, x1, y1, yMajor ? c.top : c.left, yMajor ? c.bottom : c.right,
              [=](int64_t x, int64_t y) {
                  if (x >= cl && x < cr && y >= ct && y < cb)
                      target[y * stride + (x >> 3)] |= static_cast<uint8_t>(0x80u >> (x & 7));
              });
}

// A polyline of plain lines: consecutive points within the minimum distance (squared) of a
// segment's start are merged into the segment, each segment is a plain line. Most segments of a
// densely sampled curve start at the end of the last one, plotted already, and end inside the
// clip at most two steps away: their new pixels are plotted here (plot(x, y) sets one pixel; a
// pixel plotted twice stays as it is). Every other segment goes to line(sx, sy, ex, ey), the
// drawing of one segment, which returns whether it walked the line (it did not when the ends
// are equal, not numbers or the clip is empty); a walk plots its end when that lies inside.
// fetch(x, y) is told of the pixel of a point some way ahead of the walk, inside the clip, so
// that its target bytes are at hand when the walk gets there.
template <typename Plot, typename Line, typename Fetch>
void PlainPolyline(const double* points, int64_t count, double minD, const QWF_Rect& c, Plot plot,
                   Line line, Fetch fetch)
{
    const int64_t last = count - 1;
    // Pixels held at the edge of the 32-bit range (from infinite coordinates) must never
    // count as inside: no clip that reaches them takes the short way.
    const bool quick = c.left < c.right && c.top < c.bottom && c.right <= 2147483520 &&
                       c.bottom <= 2147483520;
    const uint32_t clipW = quick ? static_cast<uint32_t>(c.right - c.left) : 0;
    const uint32_t clipH = quick ? static_cast<uint32_t>(c.bottom - c.top) : 0;
    const uint32_t left = static_cast<uint32_t>(c.left), top = static_cast<uint32_t>(c.top);
    // The pixel of the last walk's end, which starts the next segment, and whether it lies
    // inside the clip (then it is plotted).
    int64_t walked = -1;
    int32_t cx = 0, cy = 0;
    bool plotted = false;
    const __m128d md = _mm_set_sd(minD);
    int64_t start = 0;
    while (start < last) {
        {
            // Densely sampled curves walk on a pixel or two a point: a point this far ahead
            // is some rows (target lines) away on a steep curve.
            const int64_t ahead = start + kFetchAhead < last ? start + kFetchAhead : last;
            const int32_t fx = _mm_cvttss_si32(
                _mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(points[2 * ahead])));
            const int32_t fy = _mm_cvttss_si32(
                _mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(points[2 * ahead + 1])));
            if ((static_cast<uint32_t>(fx) - left < clipW) &
                (static_cast<uint32_t>(fy) - top < clipH))
                fetch(fx, fy);
        }
        // The segment ends at the first point farther than the minimum distance (or at the
        // last point). x and y side by side: dx * dx + dy * dy as the same doubles.
        const __m128d s = _mm_loadu_pd(points + 2 * start);
        int64_t next = start + 1;
        for (; next < last; ++next) {
            const __m128d d = _mm_sub_pd(_mm_loadu_pd(points + 2 * next), s);
            const __m128d d2 = _mm_mul_pd(d, d);
            if (_mm_comigt_sd(_mm_add_sd(d2, _mm_unpackhi_pd(d2, d2)), md)) break;
        }
        const double ex = points[2 * next], ey = points[2 * next + 1];
        const int64_t from = start;
        start = next;
        if (walked == from && plotted) {
            // Such an end is a finite point; equal points give the start pixel. The walk's
            // pixels: the end and the pixel after the first step, which is the end on a walk
            // of one step (or none). In a walk of two steps the minor coordinate moves on the
            // first step whenever it moves at all, so that pixel is the start moved one pixel
            // toward the end on each axis where they differ. Truncation without holding at
            // the range's edges: a pixel beyond them comes out as the lowest value, outside
            // the clip as the held pixel would be. Differences and clip tests in unsigned 32
            // bits, which wrap exactly where the pixel lies outside.
            const int32_t x1 = _mm_cvttss_si32(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(ex)));
            const int32_t y1 = _mm_cvttss_si32(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(ey)));
            const uint32_t dx = static_cast<uint32_t>(x1) - static_cast<uint32_t>(cx) + 2u;
            const uint32_t dy = static_cast<uint32_t>(y1) - static_cast<uint32_t>(cy) + 2u;
            if ((dx <= 4u) & (dy <= 4u) & (static_cast<uint32_t>(x1) - left < clipW) &
                (static_cast<uint32_t>(y1) - top < clipH)) {
                static constexpr int8_t kFirstStep[5] = {-1, -1, 0, 1, 1};
                plot(cx + kFirstStep[dx], cy + kFirstStep[dy]);
                plot(x1, y1);
                walked = next;
                cx = x1;
                cy = y1;
                continue;
            }
        }
        if (!line(points[2 * from], points[2 * from + 1], ex, ey)) continue;
        walked = next;
        cx = ToPixel(ex);
        cy = ToPixel(ey);
        plotted = (static_cast<uint32_t>(cx) - left < clipW) &
                  (static_cast<uint32_t>(cy) - top < clipH);
    }
}

}  // namespace

CQWF_ImageDrawing::CQWF_ImageDrawing() = default;

CQWF_ImageDrawing::~CQWF_ImageDrawing() = default;

bool CQWF_ImageDrawing::SetTarget(uint8_t* plane, int32_t bitStride, int32_t width, int32_t height)
{
    m_target = plane;
    m_bitStride = bitStride;
    m_width = width;
    m_height = height;
    return true;
}

bool CQWF_ImageDrawing::Attach(CQWF_Image* image)
{
    if (!image || (image->GetType() != QWF_IMAGE_RGBA && image->GetType() != QWF_IMAGE_4A)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    int last = CQWF_Image::PlaneCount(image->GetType()) - 1;
    return SetTarget(image->GetPlane(last), image->GetWidth(), image->GetWidth(),
                     image->GetHeight());
}

void CQWF_ImageDrawing::SetClip(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    m_clip = QWF_Rect{left, top, right, bottom};
}

QWF_Rect CQWF_ImageDrawing::EffectiveClip() const
{
    int32_t w = std::max<int32_t>(m_width, 0);
    int32_t h = std::max<int32_t>(m_height, 0);
    // A 1-bit row holds at most 8 pixels per byte of its stride.
    if (m_oneBit) w = static_cast<int32_t>(std::min<int64_t>(w, static_cast<int64_t>(std::max(m_bitStride, 0)) * 8));
    if (!m_target) return QWF_Rect{0, 0, 0, 0};
    if (QWF_IsWholeRect(m_clip)) return QWF_Rect{0, 0, w, h};
    return QWF_Rect{std::max(m_clip.left, 0), std::max(m_clip.top, 0), std::min(m_clip.right, w),
                    std::min(m_clip.bottom, h)};
}

void CQWF_ImageDrawing::SetBit(int32_t x, int32_t y)
{
    m_target[static_cast<int64_t>(y) * m_bitStride + (x >> 3)] |= static_cast<uint8_t>(0x80u >> (x & 7));
}

void CQWF_ImageDrawing::StampDisc(int32_t x, int32_t y, int32_t d)
{
    QWF_Rect c = EffectiveClip();
    int64_t left = static_cast<int64_t>(x) - d / 2;
    int64_t top = static_cast<int64_t>(y) - d / 2;
    int64_t r = std::min<int64_t>(left + d, c.right);
    int64_t b = std::min<int64_t>(top + d, c.bottom);
    int64_t l = std::max<int64_t>(left, c.left);
    int64_t t = std::max<int64_t>(top, c.top);
    if (l >= r || t >= b) return;
    const int64_t d2 = static_cast<int64_t>(d) * d;
    const uint8_t value = m_value;
    for (int64_t j = t; j < b; ++j) {
        int64_t dj = y - j;
        int64_t rest = d2 - 4 * dj * dj;  // 4 (x - i)^2 must not exceed this
        if (rest < 0) continue;
        int64_t a = static_cast<int64_t>(std::sqrt(static_cast<double>(rest) / 4.0));
        while (4 * (a + 1) * (a + 1) <= rest) ++a;
        while (a > 0 && 4 * a * a > rest) --a;
        int64_t i0 = std::max<int64_t>(l, x - a);
        int64_t i1 = std::min<int64_t>(r, x + a + 1);
        uint8_t* row = m_target + j * m_width;
        for (int64_t i = i0; i < i1; ++i)
            if (row[i] < value) row[i] = value;
    }
}

bool CQWF_ImageDrawing::DrawBitLine(double x0, double y0, double x1, double y1)
{
    if (!m_target) { SetError(QWF_ERR_EMPTY); return false; }
    if (!Finite4(x0, y0, x1, y1)) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect c = EffectiveClip();
    if (c.left >= c.right || c.top >= c.bottom) return true;
    PlotBitLine(m_target, m_bitStride, c, ToPixel(x0), ToPixel(y0), ToPixel(x1), ToPixel(y1));
    return true;
}

bool CQWF_ImageDrawing::DrawThinLine(double x0, double y0, double x1, double y1)
{
    if (!m_target) { SetError(QWF_ERR_EMPTY); return false; }
    if (!Finite4(x0, y0, x1, y1)) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect c = EffectiveClip();
    if (c.left >= c.right || c.top >= c.bottom) return true;
    int32_t ix0 = ToPixel(x0), iy0 = ToPixel(y0), ix1 = ToPixel(x1), iy1 = ToPixel(y1);
    bool yMajor = std::llabs(static_cast<int64_t>(ix1) - ix0) < std::llabs(static_cast<int64_t>(iy1) - iy0);
    const uint8_t value = m_value;
    Bresenham(ix0, iy0, ix1, iy1, yMajor ? c.top : c.left, yMajor ? c.bottom : c.right,
              [&](int64_t x, int64_t y) {
                  if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) {
                      uint8_t& p = m_target[y * m_width + x];
                      if (p < value) p = value;
                  }
              });
    return true;
}

bool CQWF_ImageDrawing::DrawThickLine(double x0, double y0, double x1, double y1, double width)
{
    if (!m_target) { SetError(QWF_ERR_EMPTY); return false; }
    if (!Finite4(x0, y0, x1, y1) || !std::isfinite(width)) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect c = EffectiveClip();
    if (c.left >= c.right || c.top >= c.bottom) return true;
    // Discs are stamped at every step of the walk, also at steps outside the target whose disc
    // reaches in; beyond this diameter that work would not end in reasonable time.
    if (width > kMaxDiscDiameter) { SetError(QWF_ERR_ARGUMENT); return false; }
    int32_t d = static_cast<int32_t>(width);
    int32_t ix0 = ToPixel(x0), iy0 = ToPixel(y0), ix1 = ToPixel(x1), iy1 = ToPixel(y1);
    bool yMajor = std::llabs(static_cast<int64_t>(ix1) - ix0) < std::llabs(static_cast<int64_t>(iy1) - iy0);
    // Steps whose disc can reach the clip: the disc spans [p - d/2, p - d/2 + d).
    int64_t lo = (yMajor ? c.top : c.left) - (static_cast<int64_t>(d) - d / 2);
    int64_t hi = (yMajor ? c.bottom : c.right) + d / 2;
    int64_t mlo = (yMajor ? c.left : c.top) - (static_cast<int64_t>(d) - d / 2);
    int64_t mhi = (yMajor ? c.right : c.bottom) + d / 2;
    Bresenham(ix0, iy0, ix1, iy1, lo, hi, [&](int64_t x, int64_t y) {
        int64_t minor = yMajor ? x : y;
        if (minor < mlo || minor >= mhi) return;
        StampDisc(static_cast<int32_t>(x), static_cast<int32_t>(y), d);
    });
    return true;
}

bool CQWF_ImageDrawing::DrawLine(double x0, double y0, double x1, double y1, double width)
{
    if (m_oneBit) return DrawBitLine(x0, y0, x1, y1);
    if (width < 2) return DrawThinLine(x0, y0, x1, y1);
    return DrawThickLine(x0, y0, x1, y1, width);
}

bool CQWF_ImageDrawing::DrawSegment(double x0, double y0, double x1, double y1, double width,
                                    uint8_t roundCaps, uint8_t mode, uint8_t footprint)
{
    return DrawWideLine(x0, y0, x1, y1, width, roundCaps, mode, footprint);
}

bool CQWF_ImageDrawing::DrawWideLine(double x0, double y0, double x1, double y1, double width,
                                     uint8_t roundCaps, uint8_t mode, uint8_t footprint)
{
    if (x0 == x1 && y0 == y1) return true;
    // A 1-bit target has no coverage bytes: it always takes the plain line.
    if (!m_antiAlias || m_oneBit) return DrawLine(x0, y0, x1, y1, width);
    if (!m_target) { SetError(QWF_ERR_EMPTY); return false; }
    if (!Finite4(x0, y0, x1, y1) || !std::isfinite(width)) { SetError(QWF_ERR_ARGUMENT); return false; }
    QWF_Rect c = EffectiveClip();
    if (c.left >= c.right || c.top >= c.bottom) return true;

    const double t = width / 2;
    // Box in doubles first, then clipped, so far-away points convert safely.
    auto clampBox = [](double v, int32_t lo, int32_t hi) -> int64_t {
        if (v < lo) return lo;
        if (v > hi) return hi;
        return static_cast<int64_t>(v);  // truncation toward zero
    };
    int64_t bx0 = clampBox(std::min(x0, x1) - t - 1, c.left, c.right);
    int64_t bx1 = std::min<int64_t>(clampBox(std::max(x0, x1) + t + 1, c.left, c.right), c.right - 1);
    int64_t by0 = clampBox(std::min(y0, y1) - t - 1, c.top, c.bottom);
    int64_t by1 = std::min<int64_t>(clampBox(std::max(y0, y1) + t + 1, c.top, c.bottom), c.bottom - 1);
    if (bx0 > bx1 || by0 > by1) return true;

    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double L2 = dx * dx + dy * dy;
    const double L = std::sqrt(L2);
    // Beyond the double range the coverage cannot be computed.
    if (!std::isfinite(L2)) { SetError(QWF_ERR_ARGUMENT); return false; }
    if (L2 == 0) return true;  // end points too close to tell apart: as a zero-length line
    double f;
    double offX;
    if (footprint) {
        f = 1.414213;
        offX = 0.5;
    } else {
        f = L / std::max(std::fabs(dx), std::fabs(dy));
        offX = 0.0;
    }
    const double h = f / 2;
    const double inner2 = (t - h) * (t - h);
    const double outer2 = (t + h) * (t + h);
    const double e = h / L;
    const bool flat = width < 2.1 || roundCaps == 0;
    const double E = flat ? e : t / L + e;
    const int value = m_value;
    const bool maxMode = mode != 0;

    for (int64_t row = by0; row <= by1; ++row) {
        uint8_t* line = m_target + row * m_width;
        const double sy = static_cast<double>(row) + 0.5;
        for (int64_t col = bx0; col <= bx1; ++col) {
            uint8_t& p = line[col];
            // Max mode never lowers a pixel, and nothing computed below exceeds the value: a
            // pixel already at the value keeps it whatever the sample gives.
            if (maxMode && p >= value) continue;
            const double sx = static_cast<double>(col) + offX;
            const double u = ((sx - x0) * dx + (sy - y0) * dy) / L2;
            const double fx = x0 + u * dx - sx;
            const double fy = y0 + u * dy - sy;
            double v2 = fx * fx + fy * fy;
            if (!(u >= -E && u <= 1 + E && v2 <= outer2)) {
                if (!maxMode) p = 0;
                continue;
            }
            if (u < e || u > 1 - e) {
                if (flat) {
                    double w = u < e ? u : 1 - u;
                    double cover = 0.5 + w / (2 * e);
                    if (v2 >= inner2) cover = std::min(cover, 0.5 - (std::sqrt(v2) - t) / f);
                    int nv = CoverInt(cover * value, value);
                    if (!maxMode || nv >= p) p = static_cast<uint8_t>(nv);
                    continue;
                }
                const double ax = sx - x0, ay = sy - y0, bx = sx - x1, by = sy - y1;
                v2 = std::min(ax * ax + ay * ay, bx * bx + by * by);
                if (!(v2 <= outer2)) {
                    if (!maxMode) p = 0;
                    continue;
                }
            }
            int nv;
            if (v2 < inner2) {
                nv = value;
            } else {
                nv = value - CoverInt(((std::sqrt(v2) - t) / f + 0.5) * value, value);
            }
            if (!maxMode) p = static_cast<uint8_t>(nv);
            else if (nv > p) p = static_cast<uint8_t>(nv);
        }
    }
    return true;
}

bool CQWF_ImageDrawing::DrawPolyline(const double* points, int64_t count, double width,
                                     uint8_t roundCaps, uint8_t mode, uint8_t footprint,
                                     double minDistanceSquared)
{
    if (!points || count < 2) { SetError(QWF_ERR_ARGUMENT); return false; }
    if (m_target && (m_oneBit || (!m_antiAlias && width < 2))) {
        // Every segment is a plain line (DrawSegment would take the same path one segment at
        // a time): the clip is worked out once.
        const QWF_Rect c = EffectiveClip();
        const bool empty = c.left >= c.right || c.top >= c.bottom;
        if (m_oneBit) {
            uint8_t* const target = m_target;
            const int64_t stride = m_bitStride;
            PlainPolyline(
                points, count, minDistanceSquared, c,
                [=](int64_t x, int64_t y) {
                    target[y * stride + (x >> 3)] |= static_cast<uint8_t>(0x80u >> (x & 7));
                },
                [&](double sx, double sy, double ex, double ey) {
                    if (sx == ex && sy == ey) return false;
                    if (!Finite4(sx, sy, ex, ey)) {
                        SetError(QWF_ERR_ARGUMENT);
                        return false;
                    }
                    if (empty) return false;
                    PlotBitLine(target, stride, c, ToPixel(sx), ToPixel(sy), ToPixel(ex),
                                ToPixel(ey));
                    return true;
                },
                [=](int64_t x, int64_t y) { __builtin_prefetch(target + y * stride + (x >> 3), 1); });
        } else {
            uint8_t* const target = m_target;
            const int64_t stride = m_width;
            const uint8_t value = m_value;
            PlainPolyline(
                points, count, minDistanceSquared, c,
                [=](int64_t x, int64_t y) {
                    uint8_t& p = target[y * stride + x];
                    if (p < value) p = value;
                },
                [&](double sx, double sy, double ex, double ey) {
                    // DrawSegment's checks, in its order.
                    if (sx == ex && sy == ey) return false;
                    if (!Finite4(sx, sy, ex, ey)) {
                        SetError(QWF_ERR_ARGUMENT);
                        return false;
                    }
                    if (empty) return false;
                    DrawThinLine(sx, sy, ex, ey);
                    return true;
                },
                [=](int64_t x, int64_t y) { __builtin_prefetch(target + y * stride + x, 1); });
        }
        return true;
    }
    int64_t start = 0;
    const int64_t last = count - 1;
    while (start < last) {
        const double sx = points[2 * start], sy = points[2 * start + 1];
        int64_t next = start + 1;
        for (; next < last; ++next) {
            double ddx = points[2 * next] - sx, ddy = points[2 * next + 1] - sy;
            if (ddx * ddx + ddy * ddy > minDistanceSquared) break;
        }
        DrawSegment(sx, sy, points[2 * next], points[2 * next + 1], width, roundCaps, mode, footprint);
        start = next;
    }
    return true;
}
