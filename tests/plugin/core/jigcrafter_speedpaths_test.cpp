// The fast paths of the cut (word-wise hole closing inside the labelling scan, whole-word skips
// of the span fill, the inlined 1-bit line walk) against fixed results and the reference fill on
// randomly built layouts, in every mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "jigcrafter_test_support.h"
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

// Results of the straightforward implementation (a separate hole-closing pass over the whole
// mask, word by word, before the labelling), one per case and mode.
const uint64_t kExpected[8][4] = {
    {0x651a41c01270eadbULL, 0xe48e4fac97c3307dULL, 0xa7ff8755d06faafaULL, 0x7f5fc1a926c01bffULL},
    {0xf6b026c3d7ba7f13ULL, 0xbb9b5ee61a301df6ULL, 0x771762d377e45b0aULL, 0x114b7d6d0dfa5f48ULL},
    {0x2e0a8c4769851968ULL, 0x43fce45d44f8f4b2ULL, 0x57a95a9edca762beULL, 0x75987f76c723790cULL},
    {0xe0307ae2832a0a2aULL, 0x4b1488c912e0c648ULL, 0xa445921add4f417cULL, 0x631c85295d49bdcdULL},
    {0xbf45a7a2d8e4f8e7ULL, 0xb79fbd9cfdef479eULL, 0xc632135c11d2c849ULL, 0x026483e33d6214beULL},
    {0xa1abb62d643b77beULL, 0x28ce018b548f1179ULL, 0xcb63e97213298d9cULL, 0x5e93e0e8691fa373ULL},
    {0x42e041b8f8d9471dULL, 0xd8c2c6a5fdffa3cfULL, 0xa5a4b9f764d4aa9eULL, 0xfe68a0566be751d1ULL},
    {0x16cb45ed0a50b835ULL, 0xed1af7ce4c14752bULL, 0xfabfb8c7df7046daULL, 0x06a9cf6c882abb05ULL},
};

TEST(JigcrafterSpeedPaths, RandomLayoutsGiveTheKnownPieceTables)
{
    const bool print = std::getenv("QW_PRINT_CUT_HASHES") != nullptr;
    for (size_t c = 0; c < sizeof kCases / sizeof kCases[0]; ++c) {
        const Case& k = kCases[c];
        jigtest::Planes img(k.width, k.height);
        const std::vector<uint8_t> mp = MaskPlane(k.width, k.height);
        for (int mode = 0; mode < 4; ++mode) {
            CJigcrafter e;
            ASSERT_TRUE(BuildRandomLayout(e, k.seed));
            Configure(e, mode);
            ASSERT_TRUE(e.Cut(k.width, k.height, k.maskPlane ? mp.data() : nullptr, k.width,
                              img.ptr, k.width, 3, 0, 100, false));
            const uint64_t h = TableHash(e);
            if (print) std::printf("0x%016llxULL, ", static_cast<unsigned long long>(h));
            else
                EXPECT_EQ(h, kExpected[c][mode]) << "case " << c << " mode " << mode;
        }
        if (print) std::printf("\n");
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
// the run table takes, which the bit fill labels instead.
TEST(JigcrafterSpeedPaths, RunLabellingMatchesReferenceFill)
{
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
