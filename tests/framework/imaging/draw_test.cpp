#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "platform/qw_random.h"
#include "support/test_support.h"

namespace {

// A byte target whose last byte lies before a page that may not be touched, and whose bytes
// before the first are checked when it goes.
struct Plane {
    int w, h;
    qwtest::GuardedBytes buf;
    Plane(int width, int height, uint8_t fill = 0) : w(width), h(height), buf(static_cast<size_t>(width) * height, fill) {}
    uint8_t* data() { return buf.data(); }
    uint8_t& at(int x, int y) { return data()[static_cast<size_t>(y) * w + x]; }
};

int32_t Trunc(double v) { return static_cast<int32_t>(static_cast<float>(v)); }

// The Bresenham walk exactly as described: error 2m - M, add 2m per step, subtract 2M (and step
// the minor coordinate) when the error is not negative before the addition.
template <typename Plot>
void ReferenceWalk(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Plot plot)
{
    int64_t dx = std::llabs(int64_t{x1} - x0), dy = std::llabs(int64_t{y1} - y0);
    int64_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    int64_t x = x0, y = y0;
    if (dx < dy) {
        int64_t err = 2 * dx - dy;
        for (int64_t i = 0; i < dy; ++i) {
            plot(x, y);
            if (err >= 0) { x += sx; err -= 2 * dy; }
            err += 2 * dx;
            y += sy;
        }
    } else {
        int64_t err = 2 * dy - dx;
        for (int64_t i = 0; i < dx; ++i) {
            plot(x, y);
            if (err >= 0) { y += sy; err -= 2 * dx; }
            err += 2 * dy;
            x += sx;
        }
    }
    plot(int64_t{x1}, int64_t{y1});
}

}  // namespace

TEST(Drawing, AttachNeedsAnAlphaPlane)
{
    CQWF_ImageDrawing d;
    CQWF_Image rgb, rgba;
    ASSERT_TRUE(rgb.Create(8, 8, 1));
    EXPECT_FALSE(d.Attach(&rgb));
    EXPECT_EQ(d.GetError(), QWF_ERR_ARGUMENT);
    ASSERT_TRUE(rgba.Create(30, 20, 2));
    ASSERT_TRUE(rgba.Fill(0));
    ASSERT_TRUE(d.Attach(&rgba));
    EXPECT_EQ(d.GetTarget(), rgba.GetPlane(3));
    d.m_antiAlias = 0;
    EXPECT_TRUE(d.DrawLine(2, 5, 20, 5, 1));
    EXPECT_EQ(rgba.GetPlane(3)[5 * 30 + 10], 255);
    EXPECT_EQ(rgba.GetPlane(0)[5 * 30 + 10], 0);
}

TEST(Drawing, BitLineSetsMostSignificantBitFirst)
{
    std::vector<uint8_t> bits(4 * 3, 0);
    CQWF_ImageDrawing d;
    d.m_oneBit = 1;
    d.m_antiAlias = 0;
    d.SetTarget(bits.data(), 4, 32, 3);
    EXPECT_TRUE(d.DrawLine(0, 0, 9, 0, 1));
    EXPECT_EQ(bits[0], 0xFF);
    EXPECT_EQ(bits[1], 0xC0);
    EXPECT_EQ(bits[2], 0);
    // Drawing never clears bits; a clip keeps the rest.
    d.SetClip(0, 1, 5, 2);
    EXPECT_TRUE(d.DrawLine(0, 1, 31, 1, 1));
    EXPECT_EQ(bits[4], 0xF8);
    EXPECT_EQ(bits[5], 0);
    EXPECT_EQ(bits[0], 0xFF);
    // The bit line's one-bit operation sets pixel (x, y) as bit 7 - x % 8 of byte
    // y * stride + x / 8 and nothing else.
    struct Bits : CQWF_ImageDrawing {
        using CQWF_ImageDrawing::SetBit;
    } b;
    std::vector<uint8_t> one(4 * 3, 0);
    b.SetTarget(one.data(), 4, 32, 3);
    b.SetBit(9, 1);
    b.SetBit(31, 2);
    EXPECT_EQ(one, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0x01}));
}

TEST(Drawing, OneBitTargetNeverTakesTheCoverageWriter)
{
    // The anti-aliased writer treats the target as bytes; on a 1-bit mask that would write past
    // its rows. A 1-bit target always draws plain bit lines.
    Plane p(2 * 8, 1);  // 8 rows of 2 bytes, seen as a 16 x 8 bit mask
    CQWF_ImageDrawing d;
    d.m_oneBit = 1;
    d.m_antiAlias = 1;
    d.SetTarget(p.data(), 2, 16, 8);
    EXPECT_TRUE(d.DrawWideLine(0, 7, 15, 7, 6, 1, 1, 1));
    EXPECT_EQ(p.data()[14], 0xFF);
    EXPECT_EQ(p.data()[15], 0xFF);
}

TEST(Drawing, ThinAndBitLinesMatchTheReferenceWalk)
{
    qwp::SeedRandom(11);
    const int W = 37, H = 29;
    for (int round = 0; round < 300; ++round) {
        // Mostly nearby end points, some far outside (the walk must be cut, not run).
        double span = round % 5 == 0 ? 200000.0 : 60.0;
        auto coord = [&](int size) {
            return (qwp::Random15() / 32767.0) * span * 2 - span + size / 2.0 + 0.37;
        };
        double x0 = coord(W), y0 = coord(H), x1 = coord(W), y1 = coord(H);
        Plane p(W, H);
        CQWF_ImageDrawing d;
        d.m_value = 200;
        d.SetTarget(p.data(), W, W, H);
        d.SetClip(2, 1, W - 3, H);
        ASSERT_TRUE(d.DrawThinLine(x0, y0, x1, y1));
        std::vector<uint8_t> want(static_cast<size_t>(W) * H, 0);
        ReferenceWalk(Trunc(x0), Trunc(y0), Trunc(x1), Trunc(y1), [&](int64_t x, int64_t y) {
            if (x >= 2 && x < W - 3 && y >= 1 && y < H) want[y * W + x] = 200;
        });
        for (int i = 0; i < W * H; ++i) ASSERT_EQ(p.data()[i], want[i]) << "round " << round;

        std::vector<uint8_t> bits(5 * H, 0);
        d.m_oneBit = 1;
        d.SetTarget(bits.data(), 5, W, H);
        d.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
        ASSERT_TRUE(d.DrawBitLine(x0, y0, x1, y1));
        std::vector<uint8_t> wantBits(5 * H, 0);
        ReferenceWalk(Trunc(x0), Trunc(y0), Trunc(x1), Trunc(y1), [&](int64_t x, int64_t y) {
            if (x >= 0 && x < W && y >= 0 && y < H) wantBits[y * 5 + x / 8] |= 0x80 >> (x % 8);
        });
        ASSERT_EQ(bits, wantBits) << "round " << round;
    }
}

TEST(Drawing, ThickLineStampsDiscsAlongTheWalk)
{
    qwp::SeedRandom(5);
    const int W = 40, H = 30;
    for (int round = 0; round < 100; ++round) {
        double x0 = qwp::Random15() % 60 - 10, y0 = qwp::Random15() % 50 - 10;
        double x1 = qwp::Random15() % 60 - 10, y1 = qwp::Random15() % 50 - 10;
        double width = 2 + (qwp::Random15() % 90) / 10.0;
        Plane p(W, H, 0);
        for (int i = 0; i < W * H; ++i) p.data()[i] = static_cast<uint8_t>(i % 3 == 0 ? 250 : 0);
        std::vector<uint8_t> want(p.data(), p.data() + W * H);
        CQWF_ImageDrawing d;
        d.m_value = 180;
        d.m_antiAlias = 0;
        d.SetTarget(p.data(), W, W, H);
        ASSERT_TRUE(d.DrawLine(x0, y0, x1, y1, width));
        int dd = static_cast<int>(width);
        ReferenceWalk(Trunc(x0), Trunc(y0), Trunc(x1), Trunc(y1), [&](int64_t x, int64_t y) {
            for (int64_t j = y - dd / 2; j < y - dd / 2 + dd; ++j)
                for (int64_t i = x - dd / 2; i < x - dd / 2 + dd; ++i)
                    if (i >= 0 && i < W && j >= 0 && j < H &&
                        4 * ((x - i) * (x - i) + (y - j) * (y - j)) <= int64_t{dd} * dd)
                        want[j * W + i] = std::max<uint8_t>(want[j * W + i], 180);
        });
        for (int i = 0; i < W * H; ++i) ASSERT_EQ(p.data()[i], want[i]) << "round " << round;
    }
}

TEST(Drawing, AntiAliasedHorizontalLineCoverage)
{
    Plane p(30, 20);
    CQWF_ImageDrawing d;
    d.SetTarget(p.data(), 30, 30, 20);
    EXPECT_TRUE(d.DrawWideLine(2, 10.5, 20, 10.5, 1, 0, 1, 1));
    const int edge = 255 - static_cast<int>((0.5 / 1.414213 + 0.5) * 255);
    EXPECT_EQ(edge, 38);
    for (int x = 5; x < 18; ++x) {
        EXPECT_EQ(p.at(x, 10), 255) << x;
        EXPECT_EQ(p.at(x, 9), 38) << x;
        EXPECT_EQ(p.at(x, 11), 38) << x;
        EXPECT_EQ(p.at(x, 8), 0) << x;
        EXPECT_EQ(p.at(x, 12), 0) << x;
    }
    // Flat ends: the pixel just past the end gets no more than half coverage.
    EXPECT_LE(p.at(20, 10), 128);
    EXPECT_EQ(p.at(23, 10), 0);
}

TEST(Drawing, ReplaceModeRewritesTheBoxAndMaxModeKeeps)
{
    Plane a(30, 20, 77), b(30, 20, 77);
    CQWF_ImageDrawing d;
    d.SetTarget(a.data(), 30, 30, 20);
    EXPECT_TRUE(d.DrawWideLine(5, 10, 15, 10, 3, 0, 0, 0));  // replace
    d.SetTarget(b.data(), 30, 30, 20);
    EXPECT_TRUE(d.DrawWideLine(5, 10, 15, 10, 3, 0, 1, 0));  // max
    // Box x 2..17, y 7..12: outside pixels become 0 in replace mode, keep 77 in max mode.
    EXPECT_EQ(a.at(2, 7), 0);
    EXPECT_EQ(b.at(2, 7), 77);
    EXPECT_EQ(a.at(17, 12), 0);
    EXPECT_EQ(a.at(18, 12), 77);  // outside the box: untouched in both
    EXPECT_EQ(a.at(10, 6), 77);
    EXPECT_EQ(a.at(10, 10), 255);
    EXPECT_EQ(b.at(10, 10), 255);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) EXPECT_GE(b.at(x, y), a.at(x, y) == 0 ? 77 : std::min<int>(a.at(x, y), 77));
}

TEST(Drawing, RoundCapsReachPastTheEnds)
{
    Plane flat(40, 20), round(40, 20);
    CQWF_ImageDrawing d;
    d.SetTarget(flat.data(), 40, 40, 20);
    EXPECT_TRUE(d.DrawWideLine(10, 10, 30, 10, 8, 0, 1, 1));
    d.SetTarget(round.data(), 40, 40, 20);
    EXPECT_TRUE(d.DrawWideLine(10, 10, 30, 10, 8, 1, 1, 1));
    // 2 pixels beyond the end next to the axis: inside the round cap only.
    EXPECT_EQ(flat.at(32, 9), 0);
    EXPECT_EQ(round.at(32, 9), 255);
    EXPECT_GT(round.at(33, 9), 0);
    // Corner of the square end: outside the round cap's disc.
    EXPECT_EQ(round.at(33, 13), 0);
    // The round cap is symmetric about the segment's axis (y = 10 sits between rows 9 and 10,
    // samples at row + 0.5).
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 10; ++y) EXPECT_EQ(round.at(x, y), round.at(x, 19 - y)) << x << "," << y;
}

TEST(Drawing, DegenerateAndFarAwaySegments)
{
    Plane p(20, 20);
    CQWF_ImageDrawing d;
    d.SetTarget(p.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawWideLine(5, 5, 5, 5, 6, 1, 1, 0));
    for (int i = 0; i < 400; ++i) ASSERT_EQ(p.data()[i], 0);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(d.DrawWideLine(0, 0, inf, 3, 2, 1, 1, 0));
    EXPECT_FALSE(d.DrawWideLine(nan, 0, 4, 3, 2, 1, 1, 0));
    EXPECT_FALSE(d.DrawLine(0, 0, nan, 3, 1));
    d.m_antiAlias = 0;
    EXPECT_FALSE(d.DrawLine(0, 0, 3, inf, 5));
    d.m_antiAlias = 1;
    // Far-away coordinates that still cross the target.
    EXPECT_TRUE(d.DrawWideLine(-1e15, 10, 1e15, 10, 2, 1, 1, 1));
    EXPECT_GT(p.at(10, 10), 200);
    EXPECT_GT(p.at(10, 9), 200);
    EXPECT_EQ(p.at(10, 12), 0);
    // Too long to measure in doubles: refused, nothing written.
    std::vector<uint8_t> before = p.buf.Copy();
    EXPECT_FALSE(d.DrawWideLine(-1e300, -1e300, 1e300, 1e300, 2, 1, 0, 1));
    EXPECT_EQ(p.buf.Copy(), before);
    d.m_antiAlias = 0;
    EXPECT_TRUE(d.DrawLine(-3e9, 4, 3e9, 4, 1));
    EXPECT_TRUE(d.DrawLine(-3e9, -3e9, 3e9, 3e9, 4));
    // No target: nothing to draw into.
    CQWF_ImageDrawing none;
    EXPECT_FALSE(none.DrawLine(0, 0, 5, 5, 1));
}

TEST(Drawing, PolylineSkipsPointsWithinTheMinimumDistance)
{
    // Three points, the second at exactly the minimum distance of the first (not farther): one
    // segment from the first to the third, identical to drawing that segment alone.
    const double pts[] = {2, 2, 3, 2, 15, 12};
    Plane a(20, 20), b(20, 20);
    CQWF_ImageDrawing d;
    d.SetTarget(a.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawPolyline(pts, 3, 2, 1, 1, 0, 1.0));
    d.SetTarget(b.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawSegment(2, 2, 15, 12, 2, 1, 1, 0));
    EXPECT_EQ(a.buf.Copy(), b.buf.Copy());
    // With a small minimum distance both segments are drawn, which differs.
    Plane c(20, 20);
    d.SetTarget(c.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawPolyline(pts, 3, 2, 1, 1, 0, 0.01));
    EXPECT_NE(c.buf.Copy(), b.buf.Copy());
    // The final point is never skipped.
    const double close[] = {2, 2, 2.1, 2, 2.2, 2};
    Plane e(20, 20), f(20, 20);
    d.SetTarget(e.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawPolyline(close, 3, 2, 1, 1, 0, 100.0));
    d.SetTarget(f.data(), 20, 20, 20);
    EXPECT_TRUE(d.DrawSegment(2, 2, 2.2, 2, 2, 1, 1, 0));
    EXPECT_EQ(e.buf.Copy(), f.buf.Copy());
    EXPECT_FALSE(d.DrawPolyline(pts, 1, 2, 1, 1, 0, 1.0));
}

TEST(Drawing, RandomLinesStayInsideTheClip)
{
    // Random end points (also far outside and not finite), widths, modes and clips on 8-bit and
    // 1-bit targets: pixels outside the clip and the guard bytes never change.
    qwp::SeedRandom(99);
    auto coord = []() -> double {
        switch (qwp::Random15() % 7) {
        case 0: return (qwp::Random15() - 16384) * 1e5;
        case 1: return (qwp::Random15() - 16384) * 1e12;
        case 2: return qwp::Random15() % 50 == 0 ? std::nan("") : 1e300;
        default: return (qwp::Random15() % 800) / 10.0 - 20;
        }
    };
    for (int round = 0; round < 4000; ++round) {
        const int w = 1 + qwp::Random15() % 50, h = 1 + qwp::Random15() % 40;
        const bool oneBit = qwp::Random15() % 4 == 0;
        const int stride = oneBit ? (w + 7) / 8 : w;
        Plane p(stride, h);
        for (size_t i = 0; i < p.buf.size(); ++i) p.buf[i] = static_cast<uint8_t>(i * 37);
        std::vector<uint8_t> before = p.buf.Copy();
        CQWF_ImageDrawing d;
        d.SetTarget(p.data(), stride, w, h);
        d.m_oneBit = oneBit;
        d.m_antiAlias = static_cast<uint8_t>(qwp::Random15() % 3 != 0);
        d.m_value = static_cast<uint8_t>(qwp::Random15());
        QWF_Rect clip{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};
        if (qwp::Random15() % 2) {
            clip = QWF_Rect{qwp::Random15() % 70 - 10, qwp::Random15() % 60 - 10, qwp::Random15() % 70 - 10, qwp::Random15() % 60 - 10};
            d.SetClip(clip.left, clip.top, clip.right, clip.bottom);
        } else {
            clip = QWF_Rect{0, 0, w, h};
        }
        const double width = qwp::Random15() % 10 == 0 ? (qwp::Random15() % 3000) / 10.0 : (qwp::Random15() % 80) / 10.0;
        if (qwp::Random15() % 3 == 0) {
            double pts[10];
            for (double& v : pts) v = coord();
            d.DrawPolyline(pts, 5, width, static_cast<uint8_t>(qwp::Random15() % 2), static_cast<uint8_t>(qwp::Random15() % 2),
                           static_cast<uint8_t>(qwp::Random15() % 2), (qwp::Random15() % 100) / 10.0);
        } else {
            d.DrawWideLine(coord(), coord(), coord(), coord(), width, static_cast<uint8_t>(qwp::Random15() % 2),
                           static_cast<uint8_t>(qwp::Random15() % 2), static_cast<uint8_t>(qwp::Random15() % 2));
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
                if (inside) continue;
                if (oneBit) {
                    size_t i = static_cast<size_t>(y) * stride + x / 8;
                    uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                    ASSERT_EQ(p.buf[i] & bit, before[i] & bit) << "round " << round;
                } else {
                    size_t i = static_cast<size_t>(y) * stride + x;
                    ASSERT_EQ(p.buf[i], before[i]) << "round " << round;
                }
            }
    }
}

// A 1-bit polyline, and an 8-bit one of plain lines, against the drawing they stand for,
// segment by segment: points within the minimum distance of a segment's start merged, equal
// end points skipped, a segment with a point that is not a number left out (and reported),
// every other segment the reference walk of its truncated end points, plotted where it lies
// inside the clip. Dense points as the knives of a cut bring them (steps of a pixel or two),
// sparse ones, clips at every edge and row widths that are not whole bytes or words.
TEST(Drawing, PlainPolylinesMatchTheSegmentBySegmentReference)
{
    qwp::SeedRandom(23);
    auto unit = [] { return qwp::Random15() / 32767.0; };
    const int widths[] = {1, 7, 8, 61, 64, 77, 130};
    for (int round = 0; round < 700; ++round) {
        const int W = widths[round % 7];
        const int H = 1 + qwp::Random15() % 50;
        const int stride = (W + 7) / 8 + static_cast<int>(qwp::Random15() % 3);
        // Points start anywhere around the target and wander off every edge.
        const int n = 2 + qwp::Random15() % 120;
        const double scale = round % 4 == 0 ? 12.0 : (round % 4 == 1 ? 3.0 : 1.3);
        std::vector<double> pts;
        double x = unit() * (W + 20) - 10, y = unit() * (H + 20) - 10;
        for (int k = 0; k < n; ++k) {
            pts.push_back(x);
            pts.push_back(y);
            x += (unit() - 0.5) * scale;
            y += (unit() - 0.5) * scale;
            if (round % 9 == 0 && qwp::Random15() % 10 == 0) {
                pts.push_back(x);  // a repeated point
                pts.push_back(y);
                ++k;
            }
        }
        const int64_t count = static_cast<int64_t>(pts.size() / 2);
        if (round % 31 == 5) pts[2 * (qwp::Random15() % count) + qwp::Random15() % 2] = std::nan("");
        if (round % 37 == 6) pts[2 * (qwp::Random15() % count)] = HUGE_VAL;
        const double spacings[] = {0.0, 0.3, 1.0, 2.25, 4.0, -1.0};
        const double minD = spacings[round % 6];
        QWF_Rect clip = QWF_WHOLE_RECT;
        if (round % 3 != 0) {
            clip.left = static_cast<int32_t>(qwp::Random15() % (W + 4)) - 2;
            clip.top = static_cast<int32_t>(qwp::Random15() % (H + 4)) - 2;
            clip.right = clip.left + static_cast<int32_t>(qwp::Random15() % (W + 4));
            clip.bottom = clip.top + static_cast<int32_t>(qwp::Random15() % (H + 4));
        }

        std::vector<uint8_t> bits(static_cast<size_t>(stride) * H + 16, 0);
        CQWF_ImageDrawing d;
        d.m_oneBit = 1;
        d.SetTarget(bits.data() + 8, stride, W, H);
        d.SetClip(clip.left, clip.top, clip.right, clip.bottom);
        ASSERT_TRUE(d.DrawPolyline(pts.data(), count, 1.0, 1, 1, 1, minD));
        // The same polyline as plain lines of one value into bytes holding other values.
        Plane bytes(W, H);
        for (int i = 0; i < W * H; ++i) bytes.data()[i] = static_cast<uint8_t>(qwp::Random15() % 3 * 100);
        Plane wantBytes = bytes;
        CQWF_ImageDrawing d8;
        d8.m_antiAlias = 0;
        d8.m_value = 150;
        d8.SetTarget(bytes.data(), W, W, H);
        d8.SetClip(clip.left, clip.top, clip.right, clip.bottom);
        ASSERT_TRUE(d8.DrawPolyline(pts.data(), count, round % 2 ? 1.0 : 1.9, 1, 1, 1, minD));

        std::vector<uint8_t> want(bits.size(), 0);
        const int32_t cl = QWF_IsWholeRect(clip) ? 0 : std::max(clip.left, 0);
        const int32_t ct = QWF_IsWholeRect(clip) ? 0 : std::max(clip.top, 0);
        const int32_t cr = QWF_IsWholeRect(clip) ? W : std::min(clip.right, W);
        const int32_t cb = QWF_IsWholeRect(clip) ? H : std::min(clip.bottom, H);
        bool error = false;
        for (int64_t start = 0; start < count - 1;) {
            const double sx = pts[2 * start], sy = pts[2 * start + 1];
            int64_t next = start + 1;
            for (; next < count - 1; ++next) {
                const double dx = pts[2 * next] - sx, dy = pts[2 * next + 1] - sy;
                if (dx * dx + dy * dy > minD) break;
            }
            const double ex = pts[2 * next], ey = pts[2 * next + 1];
            start = next;
            if (sx == ex && sy == ey) continue;
            if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(ex) || !std::isfinite(ey)) {
                error = true;
                continue;
            }
            ReferenceWalk(Trunc(sx), Trunc(sy), Trunc(ex), Trunc(ey), [&](int64_t px, int64_t py) {
                if (px >= cl && px < cr && py >= ct && py < cb) {
                    want[8 + py * stride + px / 8] |= static_cast<uint8_t>(0x80 >> (px % 8));
                    uint8_t& p = wantBytes.at(static_cast<int>(px), static_cast<int>(py));
                    if (p < 150) p = 150;
                }
            });
        }
        ASSERT_EQ(bits, want) << "round " << round;
        EXPECT_EQ(d.HasError(), error) << "round " << round;
        ASSERT_EQ(bytes.buf.Copy(), wantBytes.buf.Copy()) << "round " << round;
        EXPECT_EQ(d8.HasError(), error) << "round " << round;
    }
}
