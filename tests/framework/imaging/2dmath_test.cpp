#include "framework/imaging/qwf_2dmath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/qw_random.h"
#include "support/test_support.h"

TEST(Geometry, SegmentIntersection)
{
    int colinear = -1;
    QWF_DPoint p{-1, -1};
    EXPECT_TRUE(CQWF_2DMath::SegmentIntersection(0, 0, 2, 2, 0, 2, 2, 0, colinear, p));
    EXPECT_EQ(colinear, 0);
    EXPECT_DOUBLE_EQ(p.x, 1);
    EXPECT_DOUBLE_EQ(p.y, 1);
    // On one line, not overlapping: still counts as meeting, without a point.
    p = QWF_DPoint{-1, -1};
    EXPECT_TRUE(CQWF_2DMath::SegmentIntersection(0, 0, 1, 0, 2, 0, 3, 0, colinear, p));
    EXPECT_EQ(colinear, 1);
    EXPECT_EQ(p.x, -1);
    EXPECT_FALSE(CQWF_2DMath::SegmentIntersection(0, 0, 1, 0, 0, 1, 1, 1, colinear, p));
    EXPECT_EQ(colinear, 0);
    // Ends included; just beyond an end is not a meeting.
    EXPECT_TRUE(CQWF_2DMath::SegmentsIntersect(0, 0, 2, 0, 2, -1, 2, 1));
    EXPECT_FALSE(CQWF_2DMath::SegmentsIntersect(0, 0, 2, 0, 2.001, -1, 2.001, 1));
}

TEST(Geometry, Distances)
{
    double d = -1, t = -1;
    EXPECT_FALSE(CQWF_2DMath::DistanceToSegment(0, 0, 1, 0, 3, 4, d, t));
    EXPECT_DOUBLE_EQ(d, 4);
    EXPECT_DOUBLE_EQ(t, 3);
    EXPECT_TRUE(CQWF_2DMath::DistanceToSegment(0, 0, 4, 0, 1, -2, d, t));
    EXPECT_DOUBLE_EQ(d, 2);
    EXPECT_DOUBLE_EQ(t, 0.25);
    EXPECT_FALSE(CQWF_2DMath::DistanceToSegment(1, 1, 1, 1, 5, 5, d, t));
    EXPECT_EQ(d, 0);
    EXPECT_EQ(t, 0);
    CQWF_2DMath m;
    EXPECT_FALSE(m.PointToSegmentDistance(0, 0, 1, 0, 3, 4, d, t));
    EXPECT_DOUBLE_EQ(d, 4);

    struct Case { double x1, y1, x2, y2, px, py, t, d; };
    const Case cases[] = {
        {0, 0, 2, 0, 0.5, 1, 0.25, -0.5}, {0, 0, 2, 2, 0, 2, 0.5, -0.5}, {0, 0, 2, 2, 2, 0, 0.5, -0.5},
        {0, 2, 2, 0, 0, 0, 0.5, 0.5},     {0, 2, 2, 0, 2, 2, 0.5, -0.5}, {0, 0, 0, 2, 1, 1, 0.5, -0.5},
        {0, 0, 0, 2, -1, 1, 0.5, 0.5},    {0, 0, 2, 0, 1, 0, 0.5, 0.0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(CQWF_2DMath::SignedDistanceToLine(c.x1, c.y1, c.x2, c.y2, c.px, c.py, d, t));
        EXPECT_NEAR(t, c.t, 1e-12) << c.px << "," << c.py;
        EXPECT_NEAR(d, c.d, 1e-12) << c.px << "," << c.py;
    }
    d = 9;
    t = 9;
    EXPECT_FALSE(CQWF_2DMath::SignedDistanceToLine(1, 1, 1, 1, 0, 0, d, t));
    EXPECT_EQ(d, 9);
    EXPECT_EQ(t, 9);
}

TEST(Geometry, PointAtOffset)
{
    QWF_DPoint p{0, 0};
    EXPECT_TRUE(CQWF_2DMath::PointAtOffset(0, 0, 10, 0, 0.2, 0.5, p));
    EXPECT_DOUBLE_EQ(p.x, 5);
    EXPECT_DOUBLE_EQ(p.y, 2);
    EXPECT_TRUE(CQWF_2DMath::PointAtOffset(1, 1, 1, 5, 0.5, 1, p));
    EXPECT_DOUBLE_EQ(p.x, -1);
    EXPECT_DOUBLE_EQ(p.y, 5);
    EXPECT_FALSE(CQWF_2DMath::PointAtOffset(3, 3, 3, 3, 1, 1, p));
}

TEST(Geometry, PolylineToBezierControlPoints)
{
    CQWF_2DMath m;
    CQWF_Mem block;
    int64_t count = -1;
    const QWF_PolyPoint two[] = {{0, 0, 0.5f}, {1, 0, 0.5f}};
    EXPECT_FALSE(m.PolylineToBezier(two, 2, &block, count));
    EXPECT_EQ(m.GetError(), QWF_ERR_ARGUMENT);
    const QWF_PolyPoint pts[] = {{0, 0, 0}, {4, 0, 0.5f}, {4, 3, 0}};
    ASSERT_TRUE(m.PolylineToBezier(pts, 3, &block, count));
    EXPECT_EQ(count, 4);
    ASSERT_GE(block.GetSize(), 64u);
    const double* c = reinterpret_cast<const double*>(block.GetData());
    // Segment 0: C1 with s0 = 0 is P0 (B = P0 at the start); C2 from s1 = 0.5, r' = 4/3:
    // A' = (2, 0), B' = (4, 0) - 0.5 * 4/3 * (0, 3) = (4, -2), C2 = B' + (A' - B') / 2 = (3, -1).
    EXPECT_DOUBLE_EQ(c[0], 0);
    EXPECT_DOUBLE_EQ(c[1], 0);
    EXPECT_DOUBLE_EQ(c[2], 3);
    EXPECT_DOUBLE_EQ(c[3], -1);
    // Segment 1: C1 from s1 = 0.5, r = 3/4: A = (4, 1.5), B = (4, 0) - 0.5 * 0.75 * (-4, 0)
    // = (5.5, 0), C1 = (4.75, 0.75); C2 with s2 = 0 is P2.
    EXPECT_DOUBLE_EQ(c[4], 4.75);
    EXPECT_DOUBLE_EQ(c[5], 0.75);
    EXPECT_DOUBLE_EQ(c[6], 4);
    EXPECT_DOUBLE_EQ(c[7], 3);
    // A block that is large enough is reused as it is.
    const uint8_t* before = block.GetData();
    ASSERT_TRUE(m.PolylineToBezier(pts, 3, &block, count));
    EXPECT_EQ(block.GetData(), before);
    // Allocation failure reports the block's code.
    CQWF_Mem fresh;
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(m.PolylineToBezier(pts, 3, &fresh, count));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(m.GetError(), QWF_ERR_MEMORY);
}

TEST(Geometry, BezierToPolylineSampling)
{
    CQWF_2DMath m;
    CQWF_Mem block, segs;
    int64_t count = -1;
    // Two segments of length 1, step 10: each sampled at 3 parameters (0, 1/3, 2/3 and,
    // when the sum stays below 1, one more), then the last input point.
    const QWF_PolyPoint pts[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    ASSERT_TRUE(m.BezierToPolyline(pts, 3, 10, &block, count, &segs));
    double u = 0;
    int perSegment = 0;
    for (; u < 1; u += 1.0 / 3) ++perSegment;
    EXPECT_EQ(count, 2 * perSegment + 1);
    const double* p = reinterpret_cast<const double*>(block.GetData());
    const uint32_t* s = reinterpret_cast<const uint32_t*>(segs.GetData());
    EXPECT_DOUBLE_EQ(p[0], 0);
    // Smoothness 0 puts C2 on P1: the first segment is the quadratic P0, P1, P1 and
    // x(1/3) = 2u(1 - u) + u^2 = 5/9.
    EXPECT_NEAR(p[2], 5.0 / 9, 1e-12);
    EXPECT_DOUBLE_EQ(p[2 * perSegment], 1);
    EXPECT_DOUBLE_EQ(p[2 * (count - 1)], 2);
    EXPECT_EQ(s[0], 0u);
    EXPECT_EQ(s[perSegment], 1u);
    EXPECT_EQ(s[count - 1], 1u);
    EXPECT_GE(block.GetSize(), static_cast<size_t>(3 + 3 + 4) * 16);

    // Density follows the step: 3 * 10 / 0.5 = 60 samples per segment.
    const QWF_PolyPoint longer[] = {{0, 0, 0.3f}, {10, 0, 0.3f}, {10, 10, 0.3f}, {0, 10, 0.3f}};
    ASSERT_TRUE(m.BezierToPolyline(longer, 4, 0.5, &block, count));
    EXPECT_GE(count, 3 * 60 + 1);
    EXPECT_LE(count, 3 * 61 + 1);
    p = reinterpret_cast<const double*>(block.GetData());
    EXPECT_DOUBLE_EQ(p[2 * (count - 1)], 0);
    EXPECT_DOUBLE_EQ(p[2 * (count - 1) + 1], 10);
    // The curve passes through the inner nodes: the first sample of segment 1 is node 1.
    int64_t first1 = 0;
    for (double u = 0; u < 1; u += 1.0 / 60) ++first1;
    EXPECT_DOUBLE_EQ(p[2 * first1], 10);
    EXPECT_DOUBLE_EQ(p[2 * first1 + 1], 0);
}

// The flattening gives the very doubles of the Bernstein sums written out one coordinate at a
// time (control points from PolylineToBezier), on random node lists.
TEST(Geometry, BezierToPolylineMatchesPlainSums)
{
    CQWF_2DMath m;
    CQWF_Mem block, controls;
    qwp::SeedRandom(321);
    for (int round = 0; round < 40; ++round) {
        const int n = 3 + qwp::Random15() % 6;
        std::vector<QWF_PolyPoint> pts(static_cast<size_t>(n));
        for (QWF_PolyPoint& q : pts)
            q = QWF_PolyPoint{(qwp::Random15() - 16384) / 37.0, qwp::Random15() / 91.0,
                              static_cast<float>(qwp::Random15() % 100) / 99.0f};
        const double step = 0.25 + (qwp::Random15() % 40) / 8.0;
        int64_t count = 0, controlCount = 0;
        ASSERT_TRUE(m.BezierToPolyline(pts.data(), n, step, &block, count));
        ASSERT_TRUE(m.PolylineToBezier(pts.data(), n, &controls, controlCount));
        const double* got = reinterpret_cast<const double*>(block.GetData());
        const double* c = reinterpret_cast<const double*>(controls.GetData());
        std::vector<double> want;
        for (int k = 0; k + 1 < n; ++k) {
            const double dx = pts[k + 1].x - pts[k].x, dy = pts[k + 1].y - pts[k].y;
            const float v = static_cast<float>(3.0 * std::sqrt(dx * dx + dy * dy) / step);
            const int64_t samples = std::max<int64_t>(3, static_cast<int64_t>(v));
            double px[4], py[4];
            int deg = 0;
            px[deg] = pts[k].x;
            py[deg++] = pts[k].y;
            if (k != 0) { px[deg] = c[4 * k]; py[deg++] = c[4 * k + 1]; }
            if (k != n - 2) { px[deg] = c[4 * k + 2]; py[deg++] = c[4 * k + 3]; }
            px[deg] = pts[k + 1].x;
            py[deg] = pts[k + 1].y;
            const double du = 1.0 / static_cast<double>(samples);
            for (double u = 0; u < 1; u += du) {
                const double w = 1 - u;
                if (deg == 2) {
                    const double b0 = w * w, b1 = 2 * u * w, b2 = u * u;
                    want.push_back(b0 * px[0] + b1 * px[1] + b2 * px[2]);
                    want.push_back(b0 * py[0] + b1 * py[1] + b2 * py[2]);
                } else {
                    const double b0 = w * w * w, b1 = 3 * u * w * w, b2 = 3 * u * u * w,
                                 b3 = u * u * u;
                    want.push_back(b0 * px[0] + b1 * px[1] + b2 * px[2] + b3 * px[3]);
                    want.push_back(b0 * py[0] + b1 * py[1] + b2 * py[2] + b3 * py[3]);
                }
            }
        }
        want.push_back(pts[n - 1].x);
        want.push_back(pts[n - 1].y);
        ASSERT_EQ(static_cast<size_t>(2 * count), want.size()) << "round " << round;
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
                << "round " << round << " value " << i;
    }
}

// The flattening's work is bounded by the reach of the area it draws into: no segment gets more
// than 3 x reach / step samples. A chain whose points lie closer together than the reach comes
// out exactly as without it.
TEST(Geometry, BezierToPolylineWorkIsBoundedByTheReach)
{
    EXPECT_DOUBLE_EQ(CQWF_2DMath::CurveReach(30, 40), 16 * 50);
    CQWF_2DMath m;
    CQWF_Mem free, bounded;
    int64_t freeCount = 0, boundedCount = 0;
    // Chords of 50, 50 and 41.2: 75, 75 and 61 samples at the step 2, fewer than the 90 allowed.
    const QWF_PolyPoint near[] = {{0, 0, 0}, {30, -40, 0.5f}, {60, 0, 0.5f}, {100, 10, 0}};
    ASSERT_TRUE(m.BezierToPolyline(near, 4, 2.0, &free, freeCount));
    m.SetCurveReach(60);
    ASSERT_TRUE(m.BezierToPolyline(near, 4, 2.0, &bounded, boundedCount));
    ASSERT_EQ(boundedCount, freeCount);
    EXPECT_EQ(std::memcmp(free.GetData(), bounded.GetData(), static_cast<size_t>(freeCount) * 16), 0);
    // A node 1e9 away would ask for 1.5e9 samples on each side: 90 steps each (and the last
    // point).
    const QWF_PolyPoint far[] = {{0, 0, 0}, {0, 1e9, 0.5f}, {100, 0, 0}};
    CQWF_Mem farBlock;
    ASSERT_TRUE(m.BezierToPolyline(far, 3, 2.0, &farBlock, boundedCount));
    int64_t perSegment = 0;
    for (double u = 0; u < 1; u += 1.0 / 90) ++perSegment;
    EXPECT_EQ(boundedCount, 2 * perSegment + 1);
    EXPECT_LE(farBlock.GetSize(), static_cast<size_t>(2 * 90 + 4) * 16);
    const double* p = reinterpret_cast<const double*>(farBlock.GetData());
    EXPECT_EQ(p[2 * perSegment + 1], 1e9);  // the node itself starts the second segment
    EXPECT_EQ(p[4 * perSegment], 100);
    // A chord exactly as long as the reach keeps its own count, taken in single precision:
    // 3 x 49.99999993 / 2 is 74.999999895, 75 as a float (the reach's own count is 74).
    const double reach = 49.99999993;
    m.SetCurveReach(reach);
    const QWF_PolyPoint equal[] = {{0, 0, 0}, {reach, 0, 0}, {2 * reach, 0, 0}};
    ASSERT_TRUE(m.BezierToPolyline(equal, 3, 2.0, &bounded, boundedCount));
    perSegment = 0;
    for (double u = 0; u < 1; u += 1.0 / 75) ++perSegment;
    EXPECT_EQ(boundedCount, 2 * perSegment + 1);
    // Without a reach the work follows the curve's length again.
    m.SetCurveReach(0);
    const QWF_PolyPoint far2[] = {{0, 0, 0}, {0, 1000, 0.5f}, {100, 0, 0}};
    ASSERT_TRUE(m.BezierToPolyline(far2, 3, 2.0, &bounded, boundedCount));
    EXPECT_GT(boundedCount, 2 * 1500);
}

TEST(Geometry, BezierToPolylineRefusesBadInput)
{
    CQWF_2DMath m;
    CQWF_Mem block;
    int64_t count = 7;
    const QWF_PolyPoint pts[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    for (double step : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()}) {
        count = 7;
        EXPECT_FALSE(m.BezierToPolyline(pts, 3, step, &block, count));
        EXPECT_EQ(m.GetError(), QWF_ERR_ARGUMENT);
        EXPECT_EQ(count, 0);
    }
    const QWF_PolyPoint bad[] = {{0, 0, 0}, {std::numeric_limits<double>::infinity(), 0, 0}, {2, 0, 0}};
    EXPECT_FALSE(m.BezierToPolyline(bad, 3, 1, &block, count));
    EXPECT_EQ(m.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_FALSE(m.BezierToPolyline(pts, 2, 1, &block, count));
    EXPECT_FALSE(m.BezierToPolyline(pts, 3, 1, nullptr, count));
    // Absurd sample counts fail as out of memory rather than wrapping a size.
    const QWF_PolyPoint far[] = {{0, 0, 0}, {1e300, 0, 0}, {2e300, 0, 0}};
    EXPECT_FALSE(m.BezierToPolyline(far, 3, 1e-300, &block, count));
    EXPECT_EQ(m.GetError(), QWF_ERR_MEMORY);
}

namespace {

// A byte mask with a test and a span callback that count their calls and record the spans.
struct Mask {
    int w, h;
    std::vector<uint8_t> px;
    std::vector<int> spans;  // x, y, length triples
    long tests = 0;
    Mask(int width, int height) : w(width), h(height), px(static_cast<size_t>(width) * height, 0) {}
    uint8_t& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }

    static bool Test(int32_t x, int32_t y, void* user)
    {
        Mask* m = static_cast<Mask*>(user);
        ++m->tests;
        return x < 0 || y < 0 || x >= m->w || y >= m->h || m->at(x, y) != 0;
    }
    static bool Span(int32_t x, int32_t y, int32_t len, void* user)
    {
        Mask* m = static_cast<Mask*>(user);
        m->spans.insert(m->spans.end(), {x, y, len});
        for (int i = 0; i < len; ++i) m->at(x + i, y) = 2;
        return true;
    }
};

// Random walls (value 1) with some open rooms.
Mask RandomMask(int w, int h, int density)
{
    Mask m(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.at(x, y) = qwp::Random15() % 100 < density ? 1 : 0;
    return m;
}

// Reference: 4-connected breadth-first fill of the free pixels from the seed.
std::vector<uint8_t> ReferenceFill(Mask m, int sx, int sy)
{
    if (m.at(sx, sy) != 0) return m.px;
    std::vector<std::pair<int, int>> queue{{sx, sy}};
    m.at(sx, sy) = 2;
    for (size_t i = 0; i < queue.size(); ++i) {
        auto [x, y] = queue[i];
        const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; ++k)
            if (nx[k] >= 0 && ny[k] >= 0 && nx[k] < m.w && ny[k] < m.h && m.at(nx[k], ny[k]) == 0) {
                m.at(nx[k], ny[k]) = 2;
                queue.push_back({nx[k], ny[k]});
            }
    }
    return m.px;
}

}  // namespace

TEST(FloodFill, FillsExactlyTheEnclosedArea)
{
    Mask m(12, 10);
    // A closed border from (2,2) to (9,7).
    for (int x = 2; x <= 9; ++x) m.at(x, 2) = m.at(x, 7) = 1;
    for (int y = 2; y <= 7; ++y) m.at(2, y) = m.at(9, y) = 1;
    CQWF_2DMath g;
    g.m_test = Mask::Test;
    g.m_span = Mask::Span;
    g.FloodFill(&m, 5, 5);
    // Row by row (the pixels filled are checked against a plain fill on random masks below): one
    // span per inner row, each the whole row's interior; the seed row first.
    ASSERT_EQ(m.spans.size(), 4u * 3);
    EXPECT_EQ(m.spans[0], 3);
    EXPECT_EQ(m.spans[1], 5);
    EXPECT_EQ(m.spans[2], 6);
    // A seed on a border pixel fills nothing.
    Mask n = m;
    n.spans.clear();
    g.FloodFill(&n, 2, 4);
    EXPECT_TRUE(n.spans.empty());
    EXPECT_EQ(n.px, m.px);
    // A missing callback does nothing.
    CQWF_2DMath none;
    none.m_test = Mask::Test;
    Mask o(4, 4);
    none.FloodFill(&o, 1, 1);
    EXPECT_EQ(o.at(1, 1), 0);
}

TEST(FloodFill, FastPathsGiveTheSameSpansAsTheCallback)
{
    qwp::SeedRandom(3);
    for (int round = 0; round < 60; ++round) {
        const int w = 5 + qwp::Random15() % 90, h = 3 + qwp::Random15() % 40;
        Mask base = RandomMask(w, h, round % 3 == 0 ? 10 : 40);
        const int sx = qwp::Random15() % w, sy = qwp::Random15() % h;
        std::vector<uint8_t> want = ReferenceFill(base, sx, sy);

        Mask a = base;
        CQWF_2DMath g;
        g.m_test = Mask::Test;
        g.m_span = Mask::Span;
        g.FloodFill(&a, sx, sy);
        ASSERT_EQ(a.px, want) << "round " << round;

        // Byte plane barrier: a stride wider than the row, the last row ending at a guard page.
        struct Wide {
            Mask* m;
            qwtest::GuardedBytes plane;
            int stride;
        } wide{nullptr, qwtest::GuardedBytes(), w + 7};
        Mask b = base;
        wide.m = &b;
        wide.plane = qwtest::GuardedBytes(static_cast<size_t>(wide.stride) * (h - 1) + w);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) wide.plane[y * wide.stride + x] = b.at(x, y);
        CQWF_2DMath fb;
        fb.m_span = [](int32_t x, int32_t y, int32_t len, void* user) {
            Wide* wd = static_cast<Wide*>(user);
            for (int i = 0; i < len; ++i) wd->plane[y * wd->stride + x + i] = 2;
            return Mask::Span(x, y, len, wd->m);
        };
        fb.SetByteBarrier(wide.plane.data(), wide.stride, w, h);
        fb.FloodFill(&wide, sx, sy);
        ASSERT_EQ(b.spans, a.spans) << "round " << round;

        // Bit plane barrier.
        struct Bits {
            Mask* m;
            qwtest::GuardedBytes plane;
            int stride;
        } bits{nullptr, qwtest::GuardedBytes(), (w + 7) / 8 + 1};
        Mask c = base;
        bits.m = &c;
        bits.plane = qwtest::GuardedBytes(static_cast<size_t>(bits.stride) * (h - 1) + (w + 7) / 8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (c.at(x, y)) bits.plane[y * bits.stride + x / 8] |= 0x80 >> (x % 8);
        CQWF_2DMath fc;
        fc.m_span = [](int32_t x, int32_t y, int32_t len, void* user) {
            Bits* bt = static_cast<Bits*>(user);
            for (int i = 0; i < len; ++i) bt->plane[y * bt->stride + (x + i) / 8] |= 0x80 >> ((x + i) % 8);
            return Mask::Span(x, y, len, bt->m);
        };
        fc.SetBitBarrier(bits.plane.data(), bits.stride, w, h);
        fc.FloodFill(&bits, sx, sy);
        ASSERT_EQ(c.spans, a.spans) << "round " << round;
    }
}

TEST(FloodFill, StaysInsideItsBoundsAndEndsWithABrokenSpanCallback)
{
    // A test callback that never reports a border: only the bounds keep the fill in.
    struct Open {
        long spans = 0;
        int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
        std::vector<uint8_t> filled = std::vector<uint8_t>(100 * 100, 0);
    } open;
    CQWF_2DMath g;
    g.m_test = [](int32_t x, int32_t y, void* user) {
        Open* o = static_cast<Open*>(user);
        if (x < 0 || y < 0 || x >= 100 || y >= 100) return false;  // "free" out there
        return o->filled[y * 100 + x] != 0;
    };
    g.m_span = [](int32_t x, int32_t y, int32_t len, void* user) {
        Open* o = static_cast<Open*>(user);
        ++o->spans;
        o->minX = std::min(o->minX, x);
        o->maxX = std::max(o->maxX, x + len - 1);
        o->minY = std::min(o->minY, y);
        o->maxY = std::max(o->maxY, y);
        for (int i = 0; i < len; ++i) o->filled[y * 100 + x + i] = 1;
        return true;
    };
    g.SetBounds(10, 20, 60, 50);
    g.FloodFill(&open, 30, 30);
    EXPECT_EQ(open.minX, 10);
    EXPECT_EQ(open.maxX, 59);
    EXPECT_EQ(open.minY, 20);
    EXPECT_EQ(open.maxY, 49);
    EXPECT_EQ(open.spans, 30);
    // A seed outside the bounds fills nothing.
    open.spans = 0;
    g.FloodFill(&open, 5, 5);
    EXPECT_EQ(open.spans, 0);

    // A span callback that does not mark its pixels: the fill stops instead of spinning.
    long calls = 0;
    CQWF_2DMath broken;
    broken.m_test = [](int32_t, int32_t, void*) { return false; };
    broken.m_span = [](int32_t, int32_t, int32_t, void* user) {
        ++*static_cast<long*>(user);
        return true;
    };
    broken.SetBounds(0, 0, 50, 50);
    broken.FloodFill(&calls, 3, 3);
    EXPECT_EQ(calls, 1);
}

TEST(FloodFill, ManyRunsGrowTheSeedStack)
{
    // A comb: every other column is a wall open at the bottom, so each row above the bottom
    // has many free runs and the stack must hold far more than 500 seeds.
    const int w = 4001, h = 50;
    Mask m(w, h);
    for (int x = 1; x < w; x += 2)
        for (int y = 0; y < h - 1; ++y) m.at(x, y) = 1;
    CQWF_2DMath g;
    g.m_test = Mask::Test;
    g.m_span = Mask::Span;
    g.FloodFill(&m, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(m.at(x, y), (x % 2 == 1 && y < h - 1) ? 1 : 2);

    // When the stack cannot grow the fill stops part-way, without harm.
    Mask n(w, h);
    for (int x = 1; x < w; x += 2)
        for (int y = 0; y < h - 1; ++y) n.at(x, y) = 1;
    qwf::SetAllocFailureAfter(1);
    g.FloodFill(&n, 0, h - 1);
    qwf::SetAllocFailureAfter(-1);
    long filled = 0;
    for (uint8_t v : n.px) filled += v == 2;
    EXPECT_GT(filled, 0);
    EXPECT_LT(filled, static_cast<long>(w) * h - (w / 2) * (h - 1));
}
