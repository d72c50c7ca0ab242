// The cutting engine on several threads gives the bytes of the one-thread run: crowded random
// layouts cut in every mode (the knife mask and the labelling), their pieces given random
// effects, rendered and laid over the planes they were cut from (the write-back) and over a
// target apart from them, and the Splitter mask of the Layout mode, at 1, 2 and 8 threads.
// The tests run at every vector level.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/qw_threads.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/jigcrafter_test_support.h"

namespace {

using jigtest::Lcg;

struct ThreadCount {
    explicit ThreadCount(int n) { qwp::SetThreadCountForTesting(n); }
    ~ThreadCount() { qwp::SetThreadCountForTesting(0); }
};

// What one run makes: the piece table and masks (as a hash), every piece's applied settings,
// the planes after the composite in place, the target apart, and the Layout-mode mask.
struct Result {
    uint64_t table = 0;
    std::vector<uint8_t> settings, inPlace, apart, splitter;
};

struct Case {
    uint32_t seed;
    int32_t w, h;
    int mode;       // jigtest::Configure
    int maskKind;   // 0 none, 1 partial plane, 2 one row of 255 (row stride 0)
    int planes;     // colour planes
    int grid = 0;   // columns (and rows less one) of a tabbed grid instead of a random layout
};

// Random effects for every piece from the sequence r: blurs, stroke, bevel (on by default),
// invert, colour overlay, hue/saturation, opacity, hidden pieces.
void RandomEffects(CJigcrafter& e, Lcg r)
{
    for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
        JigPiece* p = e.GetPiece(k);
        const uint32_t v = r.Next();
        p->blur[kJigToApply] = {uint8_t(v & 1), uint8_t(1 + (v >> 1) % 3)};
        p->motionBlur[kJigToApply] = {uint8_t((v >> 3) & 1), int8_t(v >> 4), uint8_t(2 + (v >> 11) % 7)};
        p->stroke[kJigToApply].on = (v >> 14) & 1;
        p->stroke[kJigToApply].size = uint8_t(1 + (v >> 15) % 3);
        p->bevel[kJigToApply].on = ((v >> 17) & 3) != 0;
        p->invert[kJigToApply] = ((v >> 19) & 3) == 0;
        p->colourOverlay[kJigToApply].on = ((v >> 21) & 7) == 0;
        p->colourOverlay[kJigToApply].opacity = uint8_t(v >> 3);
        p->hsl[kJigToApply] = {uint8_t(((v >> 12) & 3) == 0), int16_t(v % 360), int8_t(v >> 9), 0};
        p->opacity[kJigToApply] = {uint8_t(((v >> 22) & 3) == 0), uint8_t(v >> 5)};
        p->shown = (v % 13) != 4;
    }
}

Result RunCase(const Case& c, int threads)
{
    ThreadCount count(threads);
    Result out;
    Lcg r{c.seed * 7 + 1};
    const size_t area = static_cast<size_t>(c.w) * c.h;
    std::vector<uint8_t> picture(area * c.planes);
    for (uint8_t& b : picture) b = static_cast<uint8_t>(r.Next());
    const std::vector<uint8_t> maskPlane = jigtest::MaskPlane(c.w, c.h);
    const std::vector<uint8_t> opaqueRow(static_cast<size_t>(c.w), 255);
    const uint8_t* mask = c.maskKind == 1 ? maskPlane.data() : c.maskKind == 2 ? opaqueRow.data() : nullptr;
    const int64_t maskStride = c.maskKind == 1 ? c.w : 0;

    for (int target = 0; target < 2; ++target) {
        // Colour planes (a copy of the picture) and an alpha plane of 0.
        std::vector<uint8_t> planes(area * (c.planes + 1), 0);
        std::memcpy(planes.data(), picture.data(), picture.size());
        uint8_t* p[kJigMaxPlanes] = {};
        for (int i = 0; i <= c.planes; ++i) p[i] = planes.data() + area * i;
        CJigcrafter e;
        e.SetColourLayout(static_cast<uint8_t>(c.planes == 1 ? 0 : c.planes == 3 ? 1 : 2));
        EXPECT_TRUE(c.grid ? jigtest::BuildGrid(e, c.grid, c.grid - 1, true, 0.25f, 3)
                           : jigtest::BuildRandomLayout(e, c.seed));
        jigtest::Configure(e, c.mode);
        EXPECT_TRUE(e.Cut(c.w, c.h, mask, maskStride, p, c.w, c.planes, 0, 100, false));
        out.table = jigtest::TableHash(e);
        RandomEffects(e, r);
        std::vector<uint8_t> apart;
        uint8_t* t[kJigMaxPlanes] = {};
        for (int i = 0; i <= c.planes; ++i) t[i] = p[i];
        if (target == 1) {
            apart = planes;
            for (int i = 0; i <= c.planes; ++i) t[i] = apart.data() + area * i;
        }
        EXPECT_TRUE(e.RenderAndComposite(c.w, c.h, t, c.w, c.planes + 1, mask, maskStride, false,
                                         0, 80, 80, 100));
        (target == 0 ? out.inPlace : out.apart) = target == 0 ? planes : apart;
        if (target == 0) {
            for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
                const JigPiece* q = e.GetPiece(k);
                EXPECT_EQ(q->work, nullptr) << "every image is given back";
                const uint8_t* from = reinterpret_cast<const uint8_t*>(&q->colourOverlay[0]);
                const uint8_t* to = reinterpret_cast<const uint8_t*>(&q->invert[2]);
                out.settings.insert(out.settings.end(), from, to);
            }
            // The Splitter mask of the Layout mode: 8 bits, anti-aliased or not.
            out.splitter.assign(area, 0);
            EXPECT_TRUE(e.DrawSplitterMask(c.w, c.h, out.splitter.data(), c.w, 5, 95));
        }
    }
    return out;
}

}  // namespace

TEST(JigThreads, RandomLayoutsCutAndRenderAlikeOnAnyNumberOfThreads)
{
    Lcg r{2024};
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        const Case c{seed, 40 + r.Below(360), 30 + r.Below(250), static_cast<int>(seed % 4),
                     r.Below(3), r.Below(3) == 0 ? 1 : r.Below(2) ? 3 : 4};
        SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << c.w << " x " << c.h
                                          << ", mode " << c.mode << ", mask " << c.maskKind
                                          << ", planes " << c.planes);
        const Result one = RunCase(c, 1);
        ASSERT_FALSE(one.inPlace.empty());
        // The engine keeps small or repetitive work on one thread; shared anyway, it gives the
        // same bytes too.
        for (bool shareAll : {false, true})
            for (int threads : {2, 8}) {
                CJigcrafter::ShareAllWorkForTesting(shareAll);
                const Result more = RunCase(c, threads);
                CJigcrafter::ShareAllWorkForTesting(false);
                const std::string what = std::to_string(threads) + " threads" + (shareAll ? ", all shared" : "");
                EXPECT_EQ(more.table, one.table) << what;
                EXPECT_EQ(more.settings, one.settings) << what;
                EXPECT_TRUE(more.inPlace == one.inPlace) << what << ": the write-back";
                EXPECT_TRUE(more.apart == one.apart) << what << ": a target apart";
                EXPECT_TRUE(more.splitter == one.splitter) << what << ": the Splitter mask";
            }
    }
}

// A picture large enough that the engine shares every step out by its own measures (the knife
// bands, the run table, the regions, the render and its strips), in the anti-aliased 1-bit mode,
// gives the bytes of the one-thread run.
TEST(JigThreads, ALargePictureSharesEveryStepAndCutsAndRendersAlike)
{
    const Case c{7, 1600, 1200, 0, 1, 3, 6};
    const Result one = RunCase(c, 1);
    const Result eight = RunCase(c, 8);
    EXPECT_EQ(eight.table, one.table);
    EXPECT_EQ(eight.settings, one.settings);
    EXPECT_TRUE(eight.inPlace == one.inPlace);
    EXPECT_TRUE(eight.apart == one.apart);
    EXPECT_TRUE(eight.splitter == one.splitter);
}
