// The fast paths of the cut (word-wise hole closing inside the labelling scan, whole-word skips
// of the span fill, the inlined 1-bit line walk) against what every cut must give and the
// reference fill on randomly built layouts, in every mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "jigcrafter_test_support.h"
#include "platform/qw_threads.h"
#include "plugin/core/jigcrafter.h"

namespace {

using jigtest::BuildRandomLayout;
using jigtest::Configure;
using jigtest::Lcg;
using jigtest::MaskPlane;
using jigtest::TableHash;


struct Case {
    uint32_t seed;
    int32_t width;
    int32_t height;
    bool maskPlane;
};

// Widths whose four-fold mask row ends inside a word and exactly on one.
const Case kCases[] = {
    {1, 97, 71, false}, {2, 128, 96, false}, {3, 61, 113, true}, {4, 150, 44, false},
    {5, 33, 33, true},  {6, 176, 130, false}, {7, 83, 99, false}, {8, 112, 64, true},
};

// The (column, row) of the cell whose centre (the crossing of its diagonals) lies nearest to
// (x, y), the first of equally near ones in row order; (1, 1) when no cell has a centre.
std::pair<int32_t, int32_t> NearestCell(const CJigcrafter& e, int32_t w, int32_t h, double x, double y)
{
    std::pair<int32_t, int32_t> best{1, 1};
    double bestDistance = -1;
    for (int32_t r = 0; r + 1 < e.GetKnotRows(); ++r)
        for (int32_t c = 0; c + 1 < e.GetKnotsPerRow(); ++c) {
            double k[8];
            e.GetKnotPosition(c, r, w, h, k[0], k[1]);
            e.GetKnotPosition(c + 1, r + 1, w, h, k[2], k[3]);
            e.GetKnotPosition(c + 1, r, w, h, k[4], k[5]);
            e.GetKnotPosition(c, r + 1, w, h, k[6], k[7]);
            int colinear = 0;
            QWF_DPoint p{0, 0};
            if (!CQWF_2DMath::SegmentIntersection(k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7],
                                                  colinear, p) ||
                colinear)
                continue;
            const double d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = {c + 1, r + 1};
            }
        }
    return best;
}

// What a cut must make of a layout, checked piece by piece and pixel by pixel against the
// knife mask (drawn by DrawSplitterMask, single holes closed as the cut closes them):
//  - every piece: a box within the picture that its cut mask fills to every edge, a pixel
//    count of its mask's non-zero bytes, the cell nearest to its box centre, not selected,
//    shown, the bevel on and every other effect off in both copies; with a selection mask no
//    byte above the mask's;
//  - the knife-lines piece first exactly when razor cut is off: the knife mask (weighed by the
//    selection mask);
//  - every free pixel (no knife, no hole) in exactly one region, 255 there (weighed), no region
//    on a full knife pixel; with razor cut and without anti-aliasing no pixel in two pieces;
//    with both, every pixel two pixels clear of the knives in exactly one piece, 255 (weighed).
void ExpectCutProperties(const CJigcrafter& e, int32_t w, int32_t h, const uint8_t* mp, int mode)
{
    const bool razor = mode < 2, aa = mode == 0 || mode == 3;
    const size_t area = static_cast<size_t>(w) * h;
    auto weigh = [&](size_t i, uint32_t v) { return mp ? v * mp[i] / 255 : v; };
    // The knife mask of the 8-bit modes, its single holes closed.
    std::vector<uint8_t> knife(area, 0);
    {
        CJigcrafter& d = const_cast<CJigcrafter&>(e);
        ASSERT_TRUE(d.DrawSplitterMask(w, h, knife.data(), w, 0, 100));
    }
    auto at = [&](int64_t x, int64_t y) -> int {
        return x < 0 || y < 0 || x >= w || y >= h ? -1 : knife[static_cast<size_t>(y) * w + x];
    };
    std::vector<uint8_t> closed = knife;
    std::vector<bool> hole(area, false);
    if (mode != 0) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                if (at(x, y) != 0) continue;
                const int n[4] = {at(x - 1, y), at(x + 1, y), at(x, y - 1), at(x, y + 1)};
                int inside = 0, sum = 0;
                bool barriers = true;
                for (int v : n) {
                    barriers &= v != 0;
                    if (v > 0) sum += v, ++inside;
                }
                if (!barriers) continue;
                hole[static_cast<size_t>(y) * w + x] = true;
                closed[static_cast<size_t>(y) * w + x] =
                    static_cast<uint8_t>(aa ? (inside ? sum / inside : 255) : 255);
            }
    }
    ASSERT_EQ(e.GetKnifeLinesFlag(), !razor);
    std::vector<int> covering(area, 0), region255(area, 0);
    std::vector<uint32_t> regionSum(area, 0);
    const JigEffectSet& fx = e.GetDefaultEffects();
    for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
        SCOPED_TRACE(::testing::Message() << "piece " << k);
        const JigPiece& p = *e.GetPiece(k);
        ASSERT_TRUE(p.left >= 0 && p.top >= 0 && p.right <= w && p.bottom <= h &&
                    p.left < p.right && p.top < p.bottom);
        const std::vector<uint8_t> m = jigtest::CutMask(e, k);
        const int32_t bw = p.Width(), bh = p.Height();
        int32_t count = 0;
        bool top = false, bottom = false, left = false, right = false;
        for (int32_t y = 0; y < bh; ++y)
            for (int32_t x = 0; x < bw; ++x) {
                const uint8_t v = m[static_cast<size_t>(y) * bw + x];
                if (!v) continue;
                ++count;
                top |= y == 0, bottom |= y == bh - 1, left |= x == 0, right |= x == bw - 1;
                const size_t i = static_cast<size_t>(p.top + y) * w + p.left + x;
                if (mp) {
                    ASSERT_LE(v, mp[i]);
                }
                ++covering[i];
                if (k == 0 && !razor) continue;
                regionSum[i] += v;
                region255[i] += v == weigh(i, 255);
            }
        EXPECT_EQ(count, p.pixelCount);
        // The knife lines without a selection mask lie over the whole picture.
        if (k > 0 || razor || mp) {
            EXPECT_TRUE(top && bottom && left && right) << "a box the mask fills to every edge";
        }
        const auto cell = NearestCell(e, w, h, (p.left + p.right) / 2.0, (p.top + p.bottom) / 2.0);
        EXPECT_EQ(std::make_pair(p.column, p.row), cell);
        EXPECT_EQ(p.selected, 0);
        EXPECT_EQ(p.shown, 1);
        for (int copy = 0; copy < 2; ++copy) {
            JigEffectSet got{};
            p.GetEffects(got, copy);
            EXPECT_EQ(std::memcmp(&got, &fx, sizeof got), 0) << "copy " << copy;
        }
        if (k == 0 && !razor) {
            // The knife lines: the knife mask weighed by the selection mask.
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const size_t i = static_cast<size_t>(y) * w + x;
                    const bool in = x >= p.left && x < p.right && y >= p.top && y < p.bottom;
                    const uint8_t v = in ? m[static_cast<size_t>(y - p.top) * bw + (x - p.left)] : 0;
                    ASSERT_EQ(v, weigh(i, closed[i])) << x << "," << y;
                }
        }
    }
    EXPECT_FALSE(fx.colourOverlay.on || fx.imageOverlay.on || fx.stroke.on || fx.hsl.on ||
                 fx.opacity.on || fx.blur.on || fx.motionBlur.on || fx.brightContrast.on ||
                 fx.invert);
    EXPECT_TRUE(fx.bevel.on);
    int32_t interior = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const uint32_t full = weigh(i, 255);
            if (mode == 0) {
                // Two pixels clear of every knife: inside one region.
                bool clear = true;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) clear &= at(x + dx, y + dy) <= 0;
                if (!clear || !full) continue;
                ++interior;
                ASSERT_EQ(covering[i], 1) << x << "," << y;
                ASSERT_EQ(region255[i], 1) << x << "," << y;
                continue;
            }
            if (knife[i] == 0 && !hole[i]) {
                if (!full) continue;
                ++interior;
                ASSERT_EQ(region255[i], 1) << "a free pixel in one region: " << x << "," << y;
                ASSERT_EQ(regionSum[i], full) << x << "," << y;
            } else if (closed[i] == 255) {
                if (!razor) {
                    ASSERT_EQ(regionSum[i], 0u) << "no region on a knife: " << x << "," << y;
                }
            }
            if (razor) {
                ASSERT_LE(covering[i], 1) << "no pixel in two pieces: " << x << "," << y;
            }
        }
    EXPECT_GT(interior, 0);
}

TEST(JigcrafterSpeedPaths, RandomLayoutsGivePieceTablesWithTheCutsProperties)
{
    for (size_t c = 0; c < sizeof kCases / sizeof kCases[0]; ++c) {
        const Case& k = kCases[c];
        jigtest::Planes img(k.width, k.height);
        const std::vector<uint8_t> mp = MaskPlane(k.width, k.height);
        for (int mode = 0; mode < 4; ++mode) {
            SCOPED_TRACE(::testing::Message() << "case " << c << " mode " << mode);
            CJigcrafter e;
            ASSERT_TRUE(BuildRandomLayout(e, k.seed));
            Configure(e, mode);
            ASSERT_TRUE(e.Cut(k.width, k.height, k.maskPlane ? mp.data() : nullptr, k.width,
                              img.ptr, k.width, 3, 0, 100, false));
            ExpectCutProperties(e, k.width, k.height, k.maskPlane ? mp.data() : nullptr, mode);
        }
    }
}

// A grid of straight knives between jittered knots (no hidden or extra knife) gives one piece
// a cell, each found at its own cell, after the knife-lines piece when razor cut is off; one
// cell is the whole picture.
TEST(JigcrafterSpeedPaths, GridsGiveOnePieceACell)
{
    const struct {
        int columns, rows;
    } grids[] = {{1, 1}, {2, 2}, {5, 4}, {7, 3}};
    for (const auto& g : grids)
        for (int mode = 0; mode < 4; ++mode) {
            SCOPED_TRACE(::testing::Message() << g.columns << " x " << g.rows << ", mode " << mode);
            const int32_t w = 53 * g.columns + 7, h = 47 * g.rows + 5;
            jigtest::Planes img(w, h);
            CJigcrafter e;
            ASSERT_TRUE(jigtest::BuildGrid(e, g.columns, g.rows, false, 0.3f, 1 + mode % 3));
            Configure(e, mode);
            ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
            const int first = mode < 2 ? 0 : 1;
            ASSERT_EQ(e.GetPieceCount(), first + g.columns * g.rows);
            std::vector<int> seen(static_cast<size_t>(g.columns * g.rows), 0);
            for (int32_t k = first; k < e.GetPieceCount(); ++k) {
                const JigPiece& p = *e.GetPiece(k);
                ASSERT_TRUE(p.column >= 1 && p.column <= g.columns && p.row >= 1 && p.row <= g.rows);
                ++seen[static_cast<size_t>((p.row - 1) * g.columns + p.column - 1)];
            }
            EXPECT_EQ(seen, std::vector<int>(seen.size(), 1));
            if (g.columns * g.rows == 1 && mode < 2) {
                const JigPiece& p = *e.GetPiece(0);
                EXPECT_EQ(p.pixelCount, w * h) << "one cell is the whole picture";
            }
            ExpectCutProperties(e, w, h, nullptr, mode);
        }
}

// The engine's span fill and the plane geometry's flood fill with the callbacks give the same
// table on every random layout, also when the engine is reused for a second, smaller cut.
TEST(JigcrafterSpeedPaths, SpanFillMatchesReferenceFillOnRandomLayouts)
{
    for (uint32_t seed = 20; seed < 32; ++seed) {
        for (int mode = 0; mode < 4; ++mode) {
            CJigcrafter a, b;
            ASSERT_TRUE(BuildRandomLayout(a, seed));
            ASSERT_TRUE(BuildRandomLayout(b, seed));
            Configure(a, mode);
            Configure(b, mode);
            b.SetReferenceFill(true);
            for (int32_t w : {121, 64}) {
                const int32_t h = w - 17;
                jigtest::Planes img(w, h);
                ASSERT_TRUE(a.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
                ASSERT_TRUE(b.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
                ASSERT_EQ(TableHash(a), TableHash(b)) << "seed " << seed << " mode " << mode
                                                      << " width " << w;
            }
        }
    }
}

// The anti-aliased cut labels the runs of free sub-pixels in the order of the span fill: its
// pieces (order, boxes, every coverage value) are those of the reference fill on crowded
// random layouts at sizes that are no multiple of 4, 16 or 64, with and without a selection
// mask, one engine cutting one size after another. A grid of tiny pieces has more runs than
// the run table takes, which the bit fill labels instead. On one thread the table is made in
// one band of rows, on three in many.
TEST(JigcrafterSpeedPaths, RunLabellingMatchesReferenceFill)
{
    struct Threads {
        ~Threads() { qwp::SetThreadCountForTesting(0); }
    } restore;
    for (int threads : {1, 3}) {
        qwp::SetThreadCountForTesting(threads);
        SCOPED_TRACE(::testing::Message() << threads << " threads");
        Lcg sizes{77};
        for (uint32_t seed = 100; seed < 136; ++seed) {
            CJigcrafter a, b;
            const bool dense = seed % 9 == 0;
            if (dense) {
                ASSERT_TRUE(jigtest::BuildGrid(a, 30 + sizes.Below(10), 25, true, 0.2f));
                ASSERT_TRUE(jigtest::BuildGrid(b, a.GetXLineCount() + 1, 25, true, 0.2f));
            } else {
                ASSERT_TRUE(BuildRandomLayout(a, seed));
                ASSERT_TRUE(BuildRandomLayout(b, seed));
            }
            Configure(a, 0);
            Configure(b, 0);
            b.SetReferenceFill(true);
            for (int cut = 0; cut < 2; ++cut) {
                const int32_t w = dense ? 150 + sizes.Below(30) : 17 + sizes.Below(200);
                const int32_t h = dense ? 120 + sizes.Below(30) : 13 + sizes.Below(170);
                const bool withMask = (seed + cut) % 3 == 0;
                jigtest::Planes img(w, h);
                const std::vector<uint8_t> mp = MaskPlane(w, h);
                ASSERT_TRUE(a.Cut(w, h, withMask ? mp.data() : nullptr, w, img.ptr, w, 3, 0, 100,
                                  false));
                ASSERT_TRUE(b.Cut(w, h, withMask ? mp.data() : nullptr, w, img.ptr, w, 3, 0, 100,
                                  false));
                ASSERT_GT(a.GetPieceCount(), 0);
                ASSERT_EQ(TableHash(a), TableHash(b))
                    << "seed " << seed << " cut " << cut << " size " << w << " x " << h;
            }
        }
    }
}

class CancelAt : public CQWF_Progress {
public:
    explicit CancelAt(int n) : m_left(n) {}
    void SetPercent(uint8_t) override
    {
        if (--m_left == 0) Cancel();
    }

private:
    int m_left;
};

// An engine reused for cut after cut of the same size (its buffers come back cleared from the
// last cut, or dirty from a cancelled one) gives what a new engine gives.
TEST(JigcrafterSpeedPaths, ReusedEngineMatchesNewEngine)
{
    const int32_t w = 103, h = 77;
    jigtest::Planes img(w, h);
    const std::vector<uint8_t> mp = MaskPlane(w, h);
    for (int mode = 0; mode < 4; ++mode) {
        CJigcrafter reused;
        for (uint32_t seed = 40; seed < 47; ++seed) {
            const bool withMask = seed % 3 == 1;
            ASSERT_TRUE(BuildRandomLayout(reused, seed));
            Configure(reused, mode);
            if (seed % 3 == 2) {
                // A cut cancelled in the middle of the labelling leaves its buffers behind.
                CancelAt cancel(70);
                reused.SetProgressSink(&cancel);
                EXPECT_FALSE(reused.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
                reused.SetProgressSink(nullptr);
            } else if (seed % 3 == 0) {
                // So does a cut that runs out of memory somewhere.
                qwf::SetAllocFailureAfter(static_cast<long>(seed % 9));
                reused.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false);
                qwf::SetAllocFailureAfter(-1);
            }
            ASSERT_TRUE(reused.Cut(w, h, withMask ? mp.data() : nullptr, w, img.ptr, w, 3, 0,
                                   100, false));
            CJigcrafter fresh;
            ASSERT_TRUE(BuildRandomLayout(fresh, seed));
            Configure(fresh, mode);
            ASSERT_TRUE(fresh.Cut(w, h, withMask ? mp.data() : nullptr, w, img.ptr, w, 3, 0,
                                  100, false));
            ASSERT_GT(fresh.GetPieceCount(), 0);
            ASSERT_EQ(TableHash(reused), TableHash(fresh)) << "mode " << mode << " seed " << seed;
        }
    }
}

// Exposes the 1-bit target for inspection.
class BitDrawing : public CQWF_ImageDrawing {};

// A 1-bit line sets exactly the pixels the 8-bit thin line sets, whatever the end points
// (inside, on the edge, far outside the target, clipped).
TEST(JigcrafterSpeedPaths, BitLineSetsThePixelsOfTheThinLine)
{
    const int32_t w = 75, h = 50;
    const int32_t stride = (w + 7) / 8 + 2;
    Lcg r{99};
    for (int i = 0; i < 400; ++i) {
        const double span = i < 200 ? 100.0 : 5000.0;
        const double x0 = (r.Unit() * 2 - 0.5) * span, y0 = (r.Unit() * 2 - 0.5) * span;
        const double x1 = (r.Unit() * 2 - 0.5) * (i & 1 ? span : 100.0);
        const double y1 = (r.Unit() * 2 - 0.5) * (i & 2 ? span : 100.0);
        const bool clip = (i % 5) == 0;
        std::vector<uint8_t> bits(static_cast<size_t>(stride) * h, 0);
        std::vector<uint8_t> bytes(static_cast<size_t>(w) * h, 0);
        BitDrawing d1, d8;
        d1.m_oneBit = 1;
        d1.m_antiAlias = 0;
        d8.m_antiAlias = 0;
        d1.SetTarget(bits.data(), stride, w, h);
        d8.SetTarget(bytes.data(), w, w, h);
        if (clip) {
            d1.SetClip(7, 3, 60, 41);
            d8.SetClip(7, 3, 60, 41);
        }
        ASSERT_TRUE(d1.DrawLine(x0, y0, x1, y1, 1));
        ASSERT_TRUE(d8.DrawLine(x0, y0, x1, y1, 1));
        if (span < 1000) {
            // Short lines: the plain walk from the first end point, clipped pixel by pixel.
            std::vector<uint8_t> ref(static_cast<size_t>(w) * h, 0);
            const int32_t ax = static_cast<int32_t>(static_cast<float>(x0));
            const int32_t ay = static_cast<int32_t>(static_cast<float>(y0));
            const int32_t bx = static_cast<int32_t>(static_cast<float>(x1));
            const int32_t by = static_cast<int32_t>(static_cast<float>(y1));
            const bool yMajor = std::abs(bx - ax) < std::abs(by - ay);
            const int64_t M = yMajor ? std::abs(by - ay) : std::abs(bx - ax);
            const int64_t m = yMajor ? std::abs(bx - ax) : std::abs(by - ay);
            int64_t px = ax, py = ay, err = 2 * m - M;
            const int sx = bx < ax ? -1 : 1, sy = by < ay ? -1 : 1;
            const int32_t cl = clip ? 7 : 0, ct = clip ? 3 : 0, cr = clip ? 60 : w,
                          cb = clip ? 41 : h;
            for (int64_t s = 0; s <= M; ++s) {
                if (px >= cl && px < cr && py >= ct && py < cb)
                    ref[static_cast<size_t>(py) * w + static_cast<size_t>(px)] = 1;
                if (err >= 0 && M > 0) {
                    if (yMajor) px += sx;
                    else py += sy;
                    err -= 2 * M;
                }
                err += 2 * m;
                if (yMajor) py += sy;
                else px += sx;
            }
            for (size_t k = 0; k < ref.size(); ++k)
                ASSERT_EQ(ref[k] != 0, bytes[k] != 0) << "line " << i << " pixel " << k;
        }
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < stride * 8; ++x) {
                const bool bit = (bits[static_cast<size_t>(y) * stride + (x >> 3)] >> (7 - (x & 7))) & 1;
                const bool byte = x < w && bytes[static_cast<size_t>(y) * w + x] != 0;
                ASSERT_EQ(bit, byte) << "line " << i << " at " << x << "," << y;
            }
        }
    }
}

// A 1-bit polyline sets the pixels of the 8-bit polyline of plain lines, point merging and
// clipping included; a point that is not a number is refused in both.
TEST(JigcrafterSpeedPaths, BitPolylineSetsThePixelsOfThePlainPolyline)
{
    const int32_t w = 90, h = 70;
    const int32_t stride = (w + 7) / 8;
    Lcg r{7};
    for (int i = 0; i < 60; ++i) {
        std::vector<double> pts;
        const int n = 2 + r.Below(40);
        double x = r.Unit() * 120 - 15, y = r.Unit() * 100 - 15;
        for (int k = 0; k < n; ++k) {
            pts.push_back(x);
            pts.push_back(y);
            x += (r.Unit() - 0.5) * (k & 1 ? 3.0 : 25.0);
            y += (r.Unit() - 0.5) * (k & 2 ? 3.0 : 25.0);
        }
        const bool nan = i % 7 == 3;
        if (nan) pts[2 * (n - 1) + 1] = std::nan("");  // the last point always ends a segment
        std::vector<uint8_t> bits(static_cast<size_t>(stride) * h, 0);
        std::vector<uint8_t> bytes(static_cast<size_t>(w) * h, 0);
        BitDrawing d1, d8;
        d1.m_oneBit = 1;
        d1.m_antiAlias = 0;
        d8.m_antiAlias = 0;
        d1.SetTarget(bits.data(), stride, w, h);
        d8.SetTarget(bytes.data(), w, w, h);
        if (i % 3 == 0) {
            d1.SetClip(5, 9, 70, 50);
            d8.SetClip(5, 9, 70, 50);
        }
        const double spacing = i % 2 ? 1.0 : 4.0;
        ASSERT_TRUE(d1.DrawPolyline(pts.data(), n, 1.0, 1, 1, 1, spacing));
        ASSERT_TRUE(d8.DrawPolyline(pts.data(), n, 1.0, 1, 1, 1, spacing));
        EXPECT_EQ(d1.HasError(), d8.HasError()) << i;
        EXPECT_EQ(d1.HasError(), nan) << i;
        for (int32_t yy = 0; yy < h; ++yy)
            for (int32_t xx = 0; xx < w; ++xx) {
                const bool bit = (bits[static_cast<size_t>(yy) * stride + (xx >> 3)] >> (7 - (xx & 7))) & 1;
                ASSERT_EQ(bit, bytes[static_cast<size_t>(yy) * w + xx] != 0)
                    << "polyline " << i << " at " << xx << "," << yy;
            }
    }
}

}  // namespace
