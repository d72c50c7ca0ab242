// Plane geometry: segment tests, distances, offsets, Bezier smoothing and flattening, and the
// scan-line flood fill.
#include "framework/imaging/qwf_2dmath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CQWF_2DMath::CQWF_2DMath() = default;

CQWF_2DMath::~CQWF_2DMath() = default;

// ---------------------------------------------------------------------------------------------
// Segments and distances

bool CQWF_2DMath::SegmentIntersection(double x1, double y1, double x2, double y2, double x3,
                                      double y3, double x4, double y4, int& colinear,
                                      QWF_DPoint& point)
{
    const double d = (x2 - x1) * (y4 - y3) - (y2 - y1) * (x4 - x3);
    const double na = (x4 - x3) * (y1 - y3) - (y4 - y3) * (x1 - x3);
    const double nb = (x2 - x1) * (y1 - y3) - (y2 - y1) * (x1 - x3);
    if (d == 0) {
        // Parallel: they count as meeting when they lie on one line.
        colinear = na == 0 ? 1 : 0;
        return na == 0;
    }
    colinear = 0;
    const double ua = na / d;
    const double ub = nb / d;
    if (ua < 0 || ua > 1 || ub < 0 || ub > 1) return false;
    point.x = x1 + ua * (x2 - x1);
    point.y = y1 + ua * (y2 - y1);
    return true;
}

bool CQWF_2DMath::SegmentsIntersect(double x1, double y1, double x2, double y2, double x3,
                                    double y3, double x4, double y4)
{
    int colinear = 0;
    QWF_DPoint p{0, 0};
    return SegmentIntersection(x1, y1, x2, y2, x3, y3, x4, y4, colinear, p);
}

bool CQWF_2DMath::DistanceToSegment(double x1, double y1, double x2, double y2, double px,
                                    double py, double& distance, double& t)
{
    const double dx = x2 - x1, dy = y2 - y1;
    const double L2 = dx * dx + dy * dy;
    if (L2 == 0) {
        t = 0;
        distance = 0;
        return false;
    }
    t = (dx * (px - x1) + dy * (py - y1)) / L2;
    const double fx = x1 + t * dx - px, fy = y1 + t * dy - py;
    distance = std::sqrt(fx * fx + fy * fy);
    return t >= 0 && t <= 1;
}

bool CQWF_2DMath::PointToSegmentDistance(double x1, double y1, double x2, double y2, double px,
                                         double py, double& distance, double& t)
{
    return DistanceToSegment(x1, y1, x2, y2, px, py, distance, t);
}

bool CQWF_2DMath::SignedDistanceToLine(double x1, double y1, double x2, double y2, double px,
                                       double py, double& distance, double& t)
{
    const double dx = x2 - x1, dy = y2 - y1;
    const double L2 = dx * dx + dy * dy;
    if (L2 == 0) return false;
    const double tt = (dx * (px - x1) + dy * (py - y1)) / L2;
    const double fx = dx * tt - (px - x1);  // foot - P
    const double fy = dy * tt - (py - y1);
    double dist = std::sqrt(fx * fx + fy * fy) / std::sqrt(L2);
    if (dist != 0) {
        bool negative;
        if (dx == 0 || dy == 0) negative = px > x1;
        else negative = fx < 0 || fy < 0;
        if (negative) dist = -dist;
    }
    t = tt;
    distance = dist;
    return true;
}

bool CQWF_2DMath::PointAtOffset(double x1, double y1, double x2, double y2, double across,
                                double along, QWF_DPoint& point)
{
    const double dx = x2 - x1, dy = y2 - y1;
    if (dx == 0 && dy == 0) return false;
    point.x = x1 + dx * along - dy * across;
    point.y = y1 + dy * along + dx * across;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Bezier smoothing

namespace {

double Dist(const QWF_PolyPoint& a, const QWF_PolyPoint& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

// The two control points of segment k (from P[k] to P[k+1]).
void ControlPoints(const QWF_PolyPoint* p, int64_t n, int64_t k, QWF_DPoint& c1, QWF_DPoint& c2)
{
    const QWF_PolyPoint& pk = p[k];
    const QWF_PolyPoint& pk1 = p[k + 1];
    const QWF_PolyPoint& prev = p[std::max<int64_t>(k - 1, 0)];
    const QWF_PolyPoint& next = p[std::min<int64_t>(k + 2, n - 1)];
    const double len = Dist(pk, pk1);
    const double sk = pk.s, sk1 = pk1.s;

    double ax = pk.x + sk * (pk1.x - pk.x), ay = pk.y + sk * (pk1.y - pk.y);
    const double dPrev = Dist(prev, pk);
    const double r = dPrev == 0 ? 0 : len / dPrev;
    double bx = pk.x - sk * r * (prev.x - pk.x), by = pk.y - sk * r * (prev.y - pk.y);
    c1.x = ax + 0.5 * (bx - ax);
    c1.y = ay + 0.5 * (by - ay);

    ax = pk1.x - sk1 * (pk1.x - pk.x);
    ay = pk1.y - sk1 * (pk1.y - pk.y);
    const double dNext = Dist(next, pk1);
    const double r2 = dNext == 0 ? 0 : len / dNext;
    bx = pk1.x - sk1 * r2 * (next.x - pk1.x);
    by = pk1.y - sk1 * r2 * (next.y - pk1.y);
    c2.x = bx + 0.5 * (ax - bx);
    c2.y = by + 0.5 * (ay - by);
}

bool PointsFinite(const QWF_PolyPoint* p, int64_t n)
{
    for (int64_t i = 0; i < n; ++i)
        if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y) || !std::isfinite(p[i].s)) return false;
    return true;
}

// Largest point count whose blocks still fit comfortably in a 64-bit size.
constexpr int64_t kMaxPoints = int64_t{1} << 56;

}  // namespace

double CQWF_2DMath::CurveReach(double width, double height) { return 16.0 * std::hypot(width, height); }

bool CQWF_2DMath::PolylineToBezier(const QWF_PolyPoint* points, int64_t n, CQWF_Mem* block,
                                   int64_t& count)
{
    if (!points || n < 3 || !block) { SetError(QWF_ERR_ARGUMENT); return false; }
    if (n > kMaxPoints) { SetError(QWF_ERR_MEMORY); return false; }
    count = 2 * (n - 1);
    const size_t need = static_cast<size_t>(n - 1) * 32;
    if (!block->Reserve(need)) {
        SetError(block->GetError());
        return false;
    }
    double* out = reinterpret_cast<double*>(block->GetData());
    for (int64_t k = 0; k + 1 < n; ++k) {
        QWF_DPoint c1, c2;
        ControlPoints(points, n, k, c1, c2);
        out[4 * k + 0] = c1.x;
        out[4 * k + 1] = c1.y;
        out[4 * k + 2] = c2.x;
        out[4 * k + 3] = c2.y;
    }
    return true;
}

namespace {

// One point of a quadratic (deg 2) or cubic Bezier at u, as x then y (the two-at-a-time path
// beside it computes the same products and sums in the same order).
inline void BezierSample(int deg, double u, const double* px, const double* py, double* xy)
{
    const double w = 1 - u;
    if (deg == 2) {
        const double b0 = w * w, b1 = 2 * u * w, b2 = u * u;
        xy[0] = b0 * px[0] + b1 * px[1] + b2 * px[2];
        xy[1] = b0 * py[0] + b1 * py[1] + b2 * py[2];
    } else {
        const double b0 = w * w * w, b1 = 3 * u * w * w, b2 = 3 * u * u * w, b3 = u * u * u;
        xy[0] = b0 * px[0] + b1 * px[1] + b2 * px[2] + b3 * px[3];
        xy[1] = b0 * py[0] + b1 * py[1] + b2 * py[2] + b3 * py[3];
    }
}

}  // namespace

bool CQWF_2DMath::BezierToPolyline(const QWF_PolyPoint* points, int64_t n, double step,
                                   CQWF_Mem* block, int64_t& count, CQWF_Mem* segmentBlock)
{
    count = 0;
    if (!points || n < 3 || !block) { SetError(QWF_ERR_ARGUMENT); return false; }
    // A step of 0 or less, or coordinates that are not numbers, would ask for endless samples.
    if (!(step > 0) || !std::isfinite(step) || !PointsFinite(points, n)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (n > kMaxPoints) { SetError(QWF_ERR_MEMORY); return false; }

    // Samples per segment: three a step of its chord, at least 3; a chord longer than the reach
    // gets those of the reach. Summed in doubles so that an absurd total is caught before sizing.
    const double reach = m_curveReach;
    auto capped = [reach, step] { return std::max(3.0, std::trunc(3.0 * reach / step)); };
    double total = 2.0 * static_cast<double>(n - 1);
    for (int64_t k = 0; k + 1 < n; ++k) {
        const double d = Dist(points[k], points[k + 1]);
        if (reach > 0 && d > reach) {
            total += capped();
            continue;
        }
        const float v = static_cast<float>(3.0 * d / step);
        total += std::max(3.0, std::trunc(static_cast<double>(v)));
    }
    if (!(total < static_cast<double>(kMaxPoints))) { SetError(QWF_ERR_MEMORY); return false; }
    const int64_t capacity = static_cast<int64_t>(total);

    if (!block->Reserve(static_cast<size_t>(capacity) * 16)) {
        SetError(block->GetError());
        return false;
    }
    if (segmentBlock && !segmentBlock->Reserve(static_cast<size_t>(capacity) * 4)) {
        SetError(segmentBlock->GetError());
        return false;
    }
    double* out = reinterpret_cast<double*>(block->GetData());
    uint32_t* seg = segmentBlock ? reinterpret_cast<uint32_t*>(segmentBlock->GetData()) : nullptr;
    int64_t written = 0;

    for (int64_t k = 0; k + 1 < n; ++k) {
        const double d = Dist(points[k], points[k + 1]);
        const int64_t m = reach > 0 && d > reach
                              ? static_cast<int64_t>(capped())
                              : std::max<int64_t>(3, static_cast<int64_t>(static_cast<float>(3.0 * d / step)));
        QWF_DPoint c1, c2;
        ControlPoints(points, n, k, c1, c2);
        // Control polygon: the first segment leaves out C1, the last leaves out C2.
        double px[4], py[4];
        int deg = 0;
        px[deg] = points[k].x;
        py[deg++] = points[k].y;
        if (k != 0) { px[deg] = c1.x; py[deg++] = c1.y; }
        if (k != n - 2) { px[deg] = c2.x; py[deg++] = c2.y; }
        px[deg] = points[k + 1].x;
        py[deg] = points[k + 1].y;

        const double du = 1.0 / static_cast<double>(m);
#if defined(__SSE2__)
        // Two samples at a time: their x in one vector, their y in another, each the same
        // products and sums in the same order as the single sample after them, so the same
        // doubles.
        __m128d cx[4], cy[4];
        for (int i = 0; i < 4; ++i) {
            cx[i] = _mm_set1_pd(i <= deg ? px[i] : 0.0);
            cy[i] = _mm_set1_pd(i <= deg ? py[i] : 0.0);
        }
        const __m128d one = _mm_set1_pd(1.0), two = _mm_set1_pd(2.0), three = _mm_set1_pd(3.0);
        double u = 0;
        while (u < 1 && written < capacity) {
            const double u1 = u + du;
            if (u1 < 1 && written + 1 < capacity) {
                const __m128d uu = _mm_set_pd(u1, u);
                const __m128d w = _mm_sub_pd(one, uu);
                __m128d x, y;
                if (deg == 2) {
                    const __m128d b0 = _mm_mul_pd(w, w);
                    const __m128d b1 = _mm_mul_pd(_mm_mul_pd(two, uu), w);
                    const __m128d b2 = _mm_mul_pd(uu, uu);
                    x = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, cx[0]), _mm_mul_pd(b1, cx[1])),
                                   _mm_mul_pd(b2, cx[2]));
                    y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, cy[0]), _mm_mul_pd(b1, cy[1])),
                                   _mm_mul_pd(b2, cy[2]));
                } else {
                    const __m128d u3 = _mm_mul_pd(three, uu);
                    const __m128d b0 = _mm_mul_pd(_mm_mul_pd(w, w), w);
                    const __m128d b1 = _mm_mul_pd(_mm_mul_pd(u3, w), w);
                    const __m128d b2 = _mm_mul_pd(_mm_mul_pd(u3, uu), w);
                    const __m128d b3 = _mm_mul_pd(_mm_mul_pd(uu, uu), uu);
                    x = _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, cx[0]),
                                                         _mm_mul_pd(b1, cx[1])),
                                              _mm_mul_pd(b2, cx[2])),
                                   _mm_mul_pd(b3, cx[3]));
                    y = _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, cy[0]),
                                                         _mm_mul_pd(b1, cy[1])),
                                              _mm_mul_pd(b2, cy[2])),
                                   _mm_mul_pd(b3, cy[3]));
                }
                _mm_storeu_pd(out + 2 * written, _mm_unpacklo_pd(x, y));
                _mm_storeu_pd(out + 2 * written + 2, _mm_unpackhi_pd(x, y));
                if (seg) seg[written] = seg[written + 1] = static_cast<uint32_t>(k);
                written += 2;
                u = u1 + du;
                continue;
            }
            BezierSample(deg, u, px, py, out + 2 * written);
            if (seg) seg[written] = static_cast<uint32_t>(k);
            ++written;
            u = u1;
        }
#else
        for (double u = 0; u < 1; u += du) {
            if (written >= capacity) break;
            BezierSample(deg, u, px, py, out + 2 * written);
            if (seg) seg[written] = static_cast<uint32_t>(k);
            ++written;
        }
#endif
    }
    if (written < capacity) {
        out[2 * written] = points[n - 1].x;
        out[2 * written + 1] = points[n - 1].y;
        if (seg) seg[written] = static_cast<uint32_t>(n - 2);
        ++written;
    }
    count = written;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Flood fill

void CQWF_2DMath::SetBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    m_bounded = true;
    m_boundLeft = left;
    m_boundTop = top;
    m_boundRight = right;
    m_boundBottom = bottom;
}

void CQWF_2DMath::SetByteBarrier(const uint8_t* plane, int64_t stride, int32_t width, int32_t height)
{
    m_barrierKind = plane ? 1 : 0;
    m_barrier = plane;
    m_barrierStride = stride;
    m_barrierWidth = width;
    m_barrierHeight = height;
}

void CQWF_2DMath::SetBitBarrier(const uint8_t* bits, int64_t stride, int32_t width, int32_t height)
{
    m_barrierKind = bits ? 2 : 0;
    m_barrier = bits;
    m_barrierStride = stride;
    m_barrierWidth = width;
    m_barrierHeight = height;
}

namespace {

// The area a fill may visit: [left, right) x [top, bottom) in 64 bits.
struct FillArea {
    int64_t left, top, right, bottom;
    bool Inside(int64_t x, int64_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Row access through the test callback. All searches stay within [lo, hi] and answer lo - 1
// or hi + 1 when nothing is found.
struct CallbackRows {
    QWF_FillTestFn test;
    void* user;
    FillArea area;
    bool Blocked(int64_t x, int64_t y) const
    {
        return !area.Inside(x, y) || test(static_cast<int32_t>(x), static_cast<int32_t>(y), user);
    }
    // Nearest blocked pixel at or left of x, not below lo.
    int64_t BlockedLeft(int64_t x, int64_t y, int64_t lo) const
    {
        for (; x >= lo; --x)
            if (Blocked(x, y)) return x;
        return lo - 1;
    }
    int64_t FreeLeft(int64_t x, int64_t y, int64_t lo) const
    {
        for (; x >= lo; --x)
            if (!Blocked(x, y)) return x;
        return lo - 1;
    }
    int64_t BlockedRight(int64_t x, int64_t y, int64_t hi) const
    {
        for (; x <= hi; ++x)
            if (Blocked(x, y)) return x;
        return hi + 1;
    }
};

// Row access straight into a byte plane: non-zero bytes are barriers. Runs of eight bytes are
// tested at once. The fill asks only about rows inside the area, within [lo, hi] inside it.
struct ByteRows {
    const uint8_t* plane;
    int64_t stride;
    FillArea area;
    bool Blocked(int64_t x, int64_t y) const
    {
        return !area.Inside(x, y) || plane[y * stride + x] != 0;
    }
    static uint64_t Load(const uint8_t* p)
    {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    int64_t BlockedLeft(int64_t x, int64_t y, int64_t lo) const
    {
        const uint8_t* row = plane + y * stride;
        while (x >= lo) {
            if (x - 7 >= lo && Load(row + x - 7) == 0) { x -= 8; continue; }
            if (row[x]) return x;
            --x;
        }
        return lo - 1;
    }
    int64_t FreeLeft(int64_t x, int64_t y, int64_t lo) const
    {
        const uint8_t* row = plane + y * stride;
        while (x >= lo) {
            if (x - 7 >= lo) {
                uint64_t v = Load(row + x - 7);
                // All eight bytes non-zero: no free pixel among them.
                if (((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) == 0) { x -= 8; continue; }
            }
            if (!row[x]) return x;
            --x;
        }
        return lo - 1;
    }
    int64_t BlockedRight(int64_t x, int64_t y, int64_t hi) const
    {
        const uint8_t* row = plane + y * stride;
        while (x <= hi) {
            if (x + 7 <= hi && Load(row + x) == 0) { x += 8; continue; }
            if (row[x]) return x;
            ++x;
        }
        return hi + 1;
    }
};

// Row access into a 1-bit plane, most significant bit first: set bits are barriers. Whole
// bytes of 0x00 or 0xFF are skipped at once.
struct BitRows {
    const uint8_t* plane;
    int64_t stride;
    FillArea area;
    bool Bit(const uint8_t* row, int64_t x) const { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
    bool Blocked(int64_t x, int64_t y) const
    {
        return !area.Inside(x, y) || Bit(plane + y * stride, x);
    }
    // Nearest x in [stop, from] going left whose bit equals `want`, else stop - 1.
    int64_t FindLeft(const uint8_t* row, int64_t x, int64_t stop, bool want) const
    {
        const uint8_t skip = want ? 0x00 : 0xFF;
        while (x >= stop) {
            if ((x & 7) == 7 && x - 7 >= stop && row[x >> 3] == skip) { x -= 8; continue; }
            if (Bit(row, x) == want) return x;
            --x;
        }
        return stop - 1;
    }
    int64_t BlockedLeft(int64_t x, int64_t y, int64_t lo) const
    {
        return FindLeft(plane + y * stride, x, lo, true);
    }
    int64_t FreeLeft(int64_t x, int64_t y, int64_t lo) const
    {
        return FindLeft(plane + y * stride, x, lo, false);
    }
    int64_t BlockedRight(int64_t x, int64_t y, int64_t hi) const
    {
        const uint8_t* row = plane + y * stride;
        while (x <= hi) {
            if ((x & 7) == 0 && x + 7 <= hi && row[x >> 3] == 0) { x += 8; continue; }
            if (Bit(row, x)) return x;
            ++x;
        }
        return hi + 1;
    }
};

struct Seed {
    int32_t x, y;
};

// The scan-line fill over one kind of row access.
template <typename Rows>
void FillRuns(const Rows& rows, QWF_FillSpanFn span, void* user, int32_t sx, int32_t sy,
              int64_t spanBudget)
{
    if (rows.Blocked(sx, sy)) return;
    const int64_t kStep = 500;
    CQWF_Mem stack;
    if (!stack.Alloc(static_cast<size_t>(kStep) * sizeof(Seed))) return;
    int64_t capacity = kStep;
    int64_t top = 0;
    Seed* seeds = reinterpret_cast<Seed*>(stack.GetData());
    bool stopped = false;

    auto push = [&](int64_t x, int64_t y) {
        seeds[top++] = Seed{static_cast<int32_t>(x), static_cast<int32_t>(y)};
        if (top == capacity) {
            // Grow by steps of 500 seeds, larger steps for large stacks.
            int64_t grow = std::max<int64_t>(kStep, (capacity / 2) / kStep * kStep);
            if (!stack.Resize(static_cast<size_t>(capacity + grow) * sizeof(Seed))) {
                stopped = true;
                return;
            }
            capacity += grow;
            seeds = reinterpret_cast<Seed*>(stack.GetData());
        }
    };
    // Each free run of row y within [left, right), taken from the right, gets one seed at its
    // rightmost pixel.
    auto scanRow = [&](int64_t y, int64_t left, int64_t right) {
        int64_t x = right - 1;
        while (x >= left && !stopped) {
            int64_t f = rows.FreeLeft(x, y, left);
            if (f < left) break;
            push(f, y);
            x = rows.BlockedLeft(f, y, left);
        }
    };

    push(sx, sy);
    while (top > 0 && !stopped) {
        const Seed s = seeds[--top];
        const int64_t x = s.x, y = s.y;
        if (rows.Blocked(x, y)) continue;
        if (spanBudget-- <= 0) break;
        const int64_t left = rows.BlockedLeft(x, y, rows.area.left) + 1;
        const int64_t right = rows.BlockedRight(x + 1, y, rows.area.right - 1);
        span(static_cast<int32_t>(left), static_cast<int32_t>(y), static_cast<int32_t>(right - left), user);
        // A span callback that leaves its seed free breaks the contract; stop rather than spin.
        if (!rows.Blocked(x, y)) break;
        if (y - 1 >= rows.area.top) scanRow(y - 1, left, right);
        if (y + 1 < rows.area.bottom) scanRow(y + 1, left, right);
    }
}

}  // namespace

void CQWF_2DMath::FloodFill(void* user, int32_t x, int32_t y)
{
    if (!m_span) return;
    // Without bounds the fill may use the whole 32-bit plane, kept one short of its ends so
    // that neighbours never overflow.
    FillArea area{std::numeric_limits<int32_t>::min() + 1, std::numeric_limits<int32_t>::min() + 1,
                  std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
    if (m_bounded) {
        area.left = std::max<int64_t>(area.left, m_boundLeft);
        area.top = std::max<int64_t>(area.top, m_boundTop);
        area.right = std::min<int64_t>(area.right, m_boundRight);
        area.bottom = std::min<int64_t>(area.bottom, m_boundBottom);
    }
    if (m_barrierKind != 0) {
        area.left = std::max<int64_t>(area.left, 0);
        area.top = std::max<int64_t>(area.top, 0);
        area.right = std::min<int64_t>(area.right, m_barrierWidth);
        area.bottom = std::min<int64_t>(area.bottom, m_barrierHeight);
    }
    if (area.left >= area.right || area.top >= area.bottom) return;
    // Every span fills at least its seed, so a fill never needs more spans than pixels.
    const double pixels = static_cast<double>(area.right - area.left) *
                          static_cast<double>(area.bottom - area.top);
    const int64_t budget = pixels < 9.0e18 ? static_cast<int64_t>(pixels)
                                           : std::numeric_limits<int64_t>::max();
    if (m_barrierKind == 1) {
        FillRuns(ByteRows{m_barrier, m_barrierStride, area}, m_span, user, x, y, budget);
    } else if (m_barrierKind == 2) {
        FillRuns(BitRows{m_barrier, m_barrierStride, area}, m_span, user, x, y, budget);
    } else if (m_test) {
        FillRuns(CallbackRows{m_test, user, area}, m_span, user, x, y, budget);
    }
}
