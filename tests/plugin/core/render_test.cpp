// Piece rendering (the effects in their fixed order, the colour chosen per plane layout) and the
// composite of rendered pieces over a target.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "plugin/core/jigcrafter.h"
#include "plugin/core/jigcrafter_test_support.h"
#include "support/test_support.h"

namespace {

// A document of `planes` colour planes, every byte a simple function of its position.
struct Doc {
    int32_t w, h, planes;
    std::vector<uint8_t> data;
    const uint8_t* ptr[4] = {};
    Doc(int32_t width, int32_t height, int32_t n) : w(width), h(height), planes(n)
    {
        data.resize(static_cast<size_t>(w) * h * n);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(20 + (i * 13) % 200);
        for (int p = 0; p < n; ++p) ptr[p] = data.data() + static_cast<size_t>(p) * w * h;
    }
    uint8_t At(int p, int x, int y) const { return ptr[p][static_cast<size_t>(y) * w + x]; }
};

// One piece covering the whole document (razor cut, one cell), every effect off.
void CutWhole(CJigcrafter& e, const Doc& d, uint8_t layout, const uint8_t* mask = nullptr)
{
    e.SetColourLayout(layout);
    ASSERT_TRUE(jigtest::BuildGrid(e, 1, 1, false));
    ASSERT_TRUE(e.Cut(d.w, d.h, mask, d.w, d.ptr, d.w, d.planes, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 1);
    e.GetPiece(0)->bevel[kJigToApply].on = 0;
}

uint8_t Work(const JigPiece* p, int plane, int x, int y)
{
    return p->workPlane[plane][static_cast<int64_t>(y) * p->workStride[plane] + x];
}

TEST(JigRender, PieceWithoutEffectsIsItsPlanesAndCutMask)
{
    for (int planes : {1, 3, 4}) {
        SCOPED_TRACE(planes);
        Doc d(37, 23, planes);
        CJigcrafter e;
        CutWhole(e, d, static_cast<uint8_t>(planes == 1 ? 0 : planes == 3 ? 1 : 2));
        ASSERT_TRUE(e.RenderPiece(0));
        const JigPiece* p = e.GetPiece(0);
        const std::vector<uint8_t> mask = jigtest::CutMask(e, 0);
        for (int y = 0; y < d.h; ++y)
            for (int x = 0; x < d.w; ++x) {
                for (int c = 0; c < planes; ++c) ASSERT_EQ(Work(p, c, x, y), d.At(c, x, y));
                ASSERT_EQ(Work(p, planes, x, y), mask[y * d.w + x]);
            }
        EXPECT_EQ(p->bevel[kJigApplied].on, 0);
    }
    CJigcrafter e;
    EXPECT_FALSE(e.RenderPiece(0));
    EXPECT_FALSE(e.RenderPiece(-1));
}

// Renders that fill more than one block of the render store (8 MB) keep the earlier pieces'
// images whole: six pieces of 400 x 1000, rendered one after the other, are each their planes
// and cut mask.
TEST(JigRender, RendersOverSeveralStoreBlocksKeepEveryImage)
{
    Doc d(2400, 1000, 3);
    CJigcrafter e;
    e.SetColourLayout(1);
    ASSERT_TRUE(jigtest::BuildGrid(e, 6, 1, false));
    ASSERT_TRUE(e.Cut(d.w, d.h, nullptr, d.w, d.ptr, d.w, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 6);
    for (int32_t i = 0; i < 6; ++i) {
        e.GetPiece(i)->bevel[kJigToApply].on = 0;
        ASSERT_TRUE(e.RenderPiece(i));
    }
    for (int32_t i = 0; i < 6; ++i) {
        const JigPiece* p = e.GetPiece(i);
        const std::vector<uint8_t> mask = jigtest::CutMask(e, i);
        for (int y = 0; y < p->Height(); ++y)
            for (int x = 0; x < p->Width(); ++x) {
                const uint8_t m = mask[static_cast<size_t>(y) * p->Width() + x];
                ASSERT_EQ(Work(p, 3, x, y), m) << i;
                for (int c = 0; c < 3 && m; ++c) ASSERT_EQ(Work(p, c, x, y), d.At(c, p->left + x, p->top + y)) << i;
            }
    }
}

// Each effect that runs swaps source and target: one, two and three effects must all end in the
// working image with every step applied once.
TEST(JigRender, EffectsChainThroughScratchAndWorkingImage)
{
    Doc d(19, 11, 3);
    struct Case {
        bool invert, bc, overlay;
    } cases[] = {{true, false, false}, {true, true, false}, {true, true, true}};
    for (const Case& c : cases) {
        CJigcrafter e;
        CutWhole(e, d, 1);
        JigPiece* p = e.GetPiece(0);
        p->invert[kJigToApply] = c.invert;
        p->brightContrast[kJigToApply] = {c.bc, 10, 0};
        p->colourOverlay[kJigToApply].on = c.overlay;
        p->colourOverlay[kJigToApply].opacity = 128;
        ASSERT_TRUE(e.RenderPiece(0));
        for (int y = 0; y < d.h; ++y)
            for (int x = 0; x < d.w; ++x)
                for (int k = 0; k < 3; ++k) {
                    int v = 255 - d.At(k, x, y);
                    if (c.overlay) v = (128 * p->colourOverlay[kJigToApply].rgb[k] + 127 * v) >> 8;
                    if (c.bc) v = v + 10 > 255 ? 255 : v + 10;
                    ASSERT_EQ(Work(p, k, x, y), v) << c.invert << c.bc << c.overlay;
                }
        EXPECT_EQ(p->invert[kJigApplied], 1);
        EXPECT_EQ(p->brightContrast[kJigApplied].on, c.bc ? 1 : 0);
    }
}

TEST(JigRender, OpaqueColourOverlayTurnsTheBlursOff)
{
    Doc d(30, 20, 3);
    CJigcrafter e;
    CutWhole(e, d, 1);
    JigPiece* p = e.GetPiece(0);
    p->colourOverlay[kJigToApply].on = 1;
    p->colourOverlay[kJigToApply].opacity = 255;
    p->blur[kJigToApply] = {1, 5};
    p->motionBlur[kJigToApply] = {1, 20, 9};
    ASSERT_TRUE(e.RenderPiece(0));
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(Work(p, k, x, y), p->colourOverlay[kJigToApply].rgb[k]);
    // The settings count as applied all the same.
    EXPECT_EQ(p->blur[kJigApplied].on, 1);
    EXPECT_EQ(p->blur[kJigApplied].radius, 5);
    EXPECT_EQ(p->motionBlur[kJigApplied].distance, 9);
}

TEST(JigRender, ColourOfAnEffectFollowsThePlaneLayout)
{
    struct Case {
        int planes;
        uint8_t layout;
        uint8_t want[4];
    } cases[] = {{1, 0, {85}}, {3, 1, {255, 0, 0}}, {4, 2, {1, 2, 3, 4}}};
    for (const Case& c : cases) {
        Doc d(9, 7, c.planes);
        CJigcrafter e;
        CutWhole(e, d, c.layout);
        JigPiece* p = e.GetPiece(0);
        JigColourOverlayFx& o = p->colourOverlay[kJigToApply];
        o.on = 1;
        o.opacity = 255;
        const uint8_t cmyk[4] = {1, 2, 3, 4};
        std::memcpy(o.cmyk, cmyk, 4);
        ASSERT_TRUE(e.RenderPiece(0));
        for (int k = 0; k < c.planes; ++k) EXPECT_EQ(Work(p, k, 4, 3), c.want[k]) << c.planes;
    }
    // RGB planes of a document that is not RGB take the grey value.
    Doc d(9, 7, 3);
    CJigcrafter e;
    CutWhole(e, d, 0);
    JigPiece* p = e.GetPiece(0);
    p->colourOverlay[kJigToApply].on = 1;
    ASSERT_TRUE(e.RenderPiece(0));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Work(p, k, 4, 3), 85);
}

TEST(JigRender, HueSaturationOnlyForRgb)
{
    for (int planes : {1, 4}) {
        Doc d(12, 8, planes);
        CJigcrafter e;
        CutWhole(e, d, planes == 1 ? 0 : 2);
        JigPiece* p = e.GetPiece(0);
        p->hsl[kJigToApply] = {1, 90, 20, 10};
        ASSERT_TRUE(e.RenderPiece(0));
        for (int k = 0; k < planes; ++k) EXPECT_EQ(Work(p, k, 5, 5), d.At(k, 5, 5));
        EXPECT_EQ(p->hsl[kJigApplied].on, 1);
        EXPECT_EQ(p->hsl[kJigApplied].hue, 90);
    }
}

// A setting the effect refuses (hue beyond 180, as a damaged layout may carry) leaves the
// image as the steps before it made it, instead of an unwritten buffer.
TEST(JigRender, RefusedEffectKeepsThePreviousResult)
{
    Doc d(15, 9, 3);
    CJigcrafter e;
    CutWhole(e, d, 1);
    JigPiece* p = e.GetPiece(0);
    p->invert[kJigToApply] = 1;
    p->hsl[kJigToApply] = {1, 181, 0, 0};
    ASSERT_TRUE(e.RenderPiece(0));
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) ASSERT_EQ(Work(p, 1, x, y), 255 - d.At(1, x, y));
}

TEST(JigRender, DefaultBevelShadesTheEdgesOnly)
{
    Doc d(40, 30, 3);
    std::vector<uint8_t> mask(static_cast<size_t>(d.w) * d.h, 0);
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 35; ++x) mask[static_cast<size_t>(y) * d.w + x] = 255;
    CJigcrafter e;
    CutWhole(e, d, 1, mask.data());
    JigPiece* p = e.GetPiece(0);
    p->bevel[kJigToApply] = e.GetDefaultEffects().bevel;
    ASSERT_TRUE(e.RenderPiece(0));
    // The box is the mask's; its interior keeps its colours, its border is lit or shaded.
    EXPECT_EQ(p->Width(), 30);
    int changedBorder = 0;
    for (int x = 0; x < 30; ++x)
        changedBorder += Work(p, 0, x, 0) != d.At(0, x + 5, 5);
    EXPECT_GT(changedBorder, 20);
    EXPECT_EQ(Work(p, 0, 15, 10), d.At(0, 20, 15));
    EXPECT_EQ(Work(p, 3, 15, 10), 255);
}

// The bevel after no effect (read from the source), after one (run in place on the working
// image) and after two (from the scratch image): the bytes of the bevel applied on its own to
// what the effects before it made. The light goes to the effect as stored, also one not of
// length 1; one of no length or not a number lights from the front.
TEST(JigRender, BevelAfterOtherEffectsGivesTheBytesOfTheStepsAlone)
{
    struct Light {
        float stored[3], lit[3];
    } const lights[] = {{{-0.44f, 0.7f, 0.55f}, {-0.44f, 0.7f, 0.55f}},
                        {{3, -4, 6}, {3, -4, 6}},
                        {{0, 0, 0}, {0, 0, 1}},
                        {{0.2f, NAN, 1}, {0, 0, 1}}};
    Doc d(41, 33, 3);
    std::vector<uint8_t> mask(static_cast<size_t>(d.w) * d.h, 0);
    for (int y = 4; y < 28; ++y)
        for (int x = 3; x < 36; ++x) mask[static_cast<size_t>(y) * d.w + x] = (x + y) % 7 == 0 ? 128 : 255;
    for (int y = 12; y < 20; ++y)
        for (int x = 36; x < 40; ++x) mask[static_cast<size_t>(y) * d.w + x] = 255;
    for (int c = 0; c < 12; ++c) {
        const int before = c % 3;
        const Light& light = lights[c / 3];
        SCOPED_TRACE(c);
        CJigcrafter e;
        CutWhole(e, d, 1, mask.data());
        JigPiece* p = e.GetPiece(0);
        p->invert[kJigToApply] = before >= 1;
        p->brightContrast[kJigToApply] = {static_cast<uint8_t>(before >= 2), 20, 10};
        ASSERT_TRUE(e.RenderPiece(0));
        const int32_t w = p->Width(), h = p->Height();
        const size_t area = static_cast<size_t>(w) * h;
        std::vector<uint8_t> steps(p->work, p->work + 4 * area), expected(4 * area, 0);
        JigBevelFx b = e.GetDefaultEffects().bevel;
        b.size = 3;
        b.depth = 150;
        CQWF_ImageFX fx;
        fx.SetSourceBuffer(steps.data(), w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
        fx.SetTargetBuffer(expected.data(), w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
        ASSERT_TRUE(fx.Bevel(b.size, b.depth, b.soften, light.lit[0], light.lit[1], light.lit[2],
                             b.hlRGB, b.hlOpacity, b.shRGB, b.shOpacity));
        ASSERT_NE(steps, expected);
        std::memcpy(b.light, light.stored, sizeof b.light);
        p->bevel[kJigToApply] = b;
        ASSERT_TRUE(e.RenderPiece(0));
        EXPECT_EQ(std::vector<uint8_t>(p->work, p->work + 4 * area), expected);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(p->workPlane[k], p->work + k * area);
    }
}

// ---------------------------------------------------------------------------------------------
// Composite

// Two pieces made to overlap on the same 4 x 4 box, alpha and colour given.
struct Overlap {
    CJigcrafter e;
    Doc d{40, 20, 3};
    std::vector<uint8_t> target;
    uint8_t* planes[4];
    Overlap()
    {
        e.SetColourLayout(1);
        jigtest::BuildGrid(e, 2, 1, false);
        e.Cut(d.w, d.h, nullptr, 0, d.ptr, d.w, 3, 0, 100, false);
        target.assign(static_cast<size_t>(d.w) * d.h * 4, 50);
        for (int i = 0; i < 4; ++i) planes[i] = target.data() + static_cast<size_t>(i) * d.w * d.h;
    }
    void Shape(int k, uint8_t alpha, uint8_t colour)
    {
        e.RenderPiece(k);  // gives the piece its image, larger than the 4 x 4 box below
        JigPiece* p = e.GetPiece(k);
        p->left = 2;
        p->top = 3;
        p->right = 6;
        p->bottom = 7;
        for (int i = 0; i < 4; ++i) {
            p->workPlane[i] = p->work + 16 * i;
            p->workStride[i] = 4;
            std::memset(p->workPlane[i], i == 3 ? alpha : colour, 16);
        }
    }
    uint8_t T(int plane, int x, int y) const { return target[static_cast<size_t>(plane) * d.w * d.h + y * d.w + x]; }
    bool Run(bool unionMode, int32_t l = QWF_WHOLE, int32_t t = QWF_WHOLE, int32_t r = QWF_WHOLE,
             int32_t b = QWF_WHOLE, const uint8_t* mask = nullptr)
    {
        return e.Composite(d.w, d.h, planes, d.w, 4, mask, d.w, l, t, r, b, unionMode, 0, 100);
    }
};

TEST(JigComposite, OverlappingHalfPiecesUnionAndCover)
{
    for (bool unionMode : {true, false}) {
        Overlap o;
        ASSERT_EQ(o.e.GetPieceCount(), 2);
        o.Shape(0, 128, 100);
        o.Shape(1, 128, 200);
        ASSERT_TRUE(o.Run(unionMode));
        EXPECT_EQ(o.T(3, 3, 4), unionMode ? 192 : 255);
        // The first piece lands as it is, the second blends over it.
        EXPECT_EQ(o.T(0, 3, 4), 100 + ((100 * 128) >> 8));
        // Outside the pieces: transparent, colours untouched.
        EXPECT_EQ(o.T(3, 20, 10), 0);
        EXPECT_EQ(o.T(0, 20, 10), 50);
    }
}

TEST(JigComposite, HiddenOrFullyTransparentPiecesAreSkipped)
{
    Overlap o;
    o.Shape(0, 255, 100);
    o.Shape(1, 255, 200);
    o.e.GetPiece(0)->shown = 0;
    o.e.GetPiece(1)->opacity[kJigApplied] = {1, 0};
    ASSERT_TRUE(o.Run(false));
    EXPECT_EQ(o.T(0, 3, 4), 50);
    EXPECT_EQ(o.T(3, 3, 4), 0);
    // Opacity 128 scales the alpha: 255 x 128 >> 8.
    o.e.GetPiece(1)->opacity[kJigApplied] = {1, 128};
    ASSERT_TRUE(o.Run(false));
    EXPECT_EQ(o.T(3, 3, 4), 127);
    EXPECT_EQ(o.T(1, 3, 4), 200);
}

TEST(JigComposite, RectangleMaskAndEmptyTable)
{
    Overlap o;
    o.Shape(0, 255, 100);
    o.Shape(1, 0, 0);
    // Only the rectangle is cleared and drawn.
    ASSERT_TRUE(o.Run(false, 4, 0, 40, 20));
    EXPECT_EQ(o.T(0, 3, 4), 50);
    EXPECT_EQ(o.T(3, 3, 4), 50);
    EXPECT_EQ(o.T(0, 4, 4), 100);
    EXPECT_EQ(o.T(3, 30, 4), 0);
    // The mask limits the alpha.
    std::vector<uint8_t> mask(static_cast<size_t>(o.d.w) * o.d.h, 90);
    ASSERT_TRUE(o.Run(false, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, mask.data()));
    EXPECT_EQ(o.T(3, 4, 4), 90);
    // An empty rectangle and an empty table change nothing, not even the alpha. The one-pass
    // run refuses planes it cannot take (none, fewer than a colour and the alpha, more than the
    // engine holds, no width or height) unless there is nothing to do.
    std::fill(o.target.begin(), o.target.end(), 77);
    ASSERT_TRUE(o.Run(false, 50, 50, 60, 60));
    const struct {
        bool planes;
        int32_t count, w, h;
    } bad[] = {{false, 4, o.d.w, o.d.h}, {true, 1, o.d.w, o.d.h}, {true, kJigMaxPlanes + 1, o.d.w, o.d.h},
               {true, 4, 0, o.d.h}, {true, 4, o.d.w, 0}};
    for (const bool empty : {false, true}) {
        if (empty) o.e.FreePieces();
        for (const auto& b : bad)
            EXPECT_EQ(o.e.RenderAndComposite(b.w, b.h, b.planes ? o.planes : nullptr, o.d.w, b.count, nullptr, 0,
                                             false, 0, 50, 50, 100),
                      empty)
                << b.count << " planes of " << b.w << " x " << b.h;
    }
    ASSERT_TRUE(o.Run(false));
    for (uint8_t v : o.target) ASSERT_EQ(v, 77);
}

// Pieces cut from one image and rendered without effects lay the image back together: every
// covered pixel has its colour; with opacity the alpha is scaled. Rows of any length and
// offset, so that whole runs of opaque or empty pixels and the pixels between them all occur.
TEST(JigComposite, RenderedPiecesLayTheImageBackTogether)
{
    for (int opacity : {0, 128}) {
        Doc d(203, 61, 3);
        CJigcrafter e;
        e.SetColourLayout(1);
        ASSERT_TRUE(jigtest::BuildGrid(e, 5, 3, true, 0.2f));
        ASSERT_TRUE(e.Cut(d.w, d.h, nullptr, 0, d.ptr, d.w, 3, 0, 100, false));
        for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
            e.GetPiece(k)->bevel[kJigToApply].on = 0;
            e.GetPiece(k)->opacity[kJigToApply] = {uint8_t(opacity ? 1 : 0), uint8_t(opacity)};
            ASSERT_TRUE(e.RenderPiece(k));
        }
        std::vector<uint8_t> target(static_cast<size_t>(d.w) * d.h * 4, 9);
        uint8_t* planes[4];
        for (int i = 0; i < 4; ++i) planes[i] = target.data() + static_cast<size_t>(i) * d.w * d.h;
        ASSERT_TRUE(e.Composite(d.w, d.h, planes, d.w, 4, nullptr, 0, QWF_WHOLE, QWF_WHOLE,
                                QWF_WHOLE, QWF_WHOLE, false, 0, 100));
        int full = 0;
        for (int y = 0; y < d.h; ++y)
            for (int x = 0; x < d.w; ++x) {
                const uint8_t a = planes[3][y * d.w + x];
                ASSERT_NE(a, 0) << x << "," << y;
                for (int c = 0; c < 3; ++c) ASSERT_EQ(planes[c][y * d.w + x], d.At(c, x, y));
                full += opacity ? a == 127 : a == 255;
            }
        EXPECT_GT(full, d.w * d.h * 4 / 5);
    }
}

class CancelAt : public CQWF_Progress {
public:
    int calls = 0, cancelAt;
    explicit CancelAt(int n) : cancelAt(n) {}
    bool IsCancelled() override { return ++calls >= cancelAt; }
};

TEST(JigComposite, CancelStopsTheComposite)
{
    Overlap o;
    o.Shape(0, 255, 100);
    o.Shape(1, 255, 100);
    CancelAt sink(1);
    o.e.SetProgressSink(&sink);
    EXPECT_FALSE(o.Run(false));
    o.e.SetProgressSink(nullptr);
    EXPECT_TRUE(o.Run(false));
}

}  // namespace

// The one-pass render and composite of the run without a dialog against rendering every piece
// and then compositing, both over the very planes the pieces were cut from (the write-back's
// case): every mode of the cut, effects that read beyond a pixel (blurs, stroke, bevel),
// hidden and half-transparent pieces, grids with rows of every length, a partial mask plane and
// the mask of 255 everywhere given as one row with a row stride of 0.
TEST(JigComposite, OnePassRunGivesRenderAllThenComposite)
{
    struct Case {
        int32_t w, h, columns, rows;
        int mode;  // 0 razor + anti-aliasing, 1 razor, 2 neither, 3 anti-aliasing
        int mask;  // 0 none, 1 partial plane, 2 one row of 255 (stride 0)
        int planes;
    } cases[] = {{211, 97, 6, 3, 0, 0, 3}, {160, 150, 9, 8, 1, 1, 3}, {97, 201, 2, 11, 2, 2, 1},
                 {180, 120, 5, 4, 3, 1, 4}, {64, 64, 1, 1, 0, 2, 3},  {250, 40, 12, 2, 2, 0, 3}};
    uint32_t seed = 99;
    auto next = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w * 1000 + c.columns);
        const size_t area = static_cast<size_t>(c.w) * c.h;
        std::vector<uint8_t> maskPlane(area), opaqueRow(static_cast<size_t>(c.w), 255);
        for (size_t i = 0; i < area; ++i)
            maskPlane[i] = (i / c.w) % 7 == 3 ? static_cast<uint8_t>(i * 29) : 255;
        const uint8_t* mask = c.mask == 1 ? maskPlane.data() : c.mask == 2 ? opaqueRow.data() : nullptr;
        const int64_t maskStride = c.mask == 1 ? c.w : 0;
        Doc doc(c.w, c.h, c.planes);
        std::vector<uint8_t> out[3];
        for (int run = 0; run < 3; ++run) {
            // Colour planes and alpha (all 0 for the one-pass run, anything for Composite),
            // the colour planes a copy of the document. The third run lays the pieces over a
            // copy apart from the planes they are cut from.
            out[run].assign(area * (c.planes + 1), run == 0 ? 0x5A : 0);
            std::memcpy(out[run].data(), doc.data.data(), area * c.planes);
            uint8_t* planes[5] = {};
            for (int i = 0; i <= c.planes; ++i) planes[i] = out[run].data() + area * i;
            CJigcrafter e;
            e.SetColourLayout(static_cast<uint8_t>(c.planes == 1 ? 0 : c.planes == 3 ? 1 : 2));
            ASSERT_TRUE(jigtest::BuildGrid(e, c.columns, c.rows, true, 0.25f, 2));
            e.SetRazorCut(c.mode < 2);
            e.SetAntiAliasing(c.mode == 0 || c.mode == 3);
            ASSERT_TRUE(e.Cut(c.w, c.h, mask, maskStride, planes, c.w, c.planes, 0, 100, false));
            seed = 99;
            for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
                JigPiece* p = e.GetPiece(k);
                const uint32_t r = next();
                p->blur[kJigToApply] = {uint8_t(r & 1), uint8_t(1 + (r >> 1) % 4)};
                p->motionBlur[kJigToApply] = {uint8_t((r >> 4) & 1), int8_t(r >> 5), uint8_t(2 + (r >> 12) % 9)};
                p->stroke[kJigToApply].on = (r >> 16) & 1;
                p->stroke[kJigToApply].size = uint8_t(1 + (r >> 17) % 3);
                p->bevel[kJigToApply].on = (r >> 19) & 1;
                p->invert[kJigToApply] = (r >> 20) & 1;
                p->opacity[kJigToApply] = {uint8_t((r >> 21) & 1), uint8_t(r >> 22)};
                p->shown = (r % 11) != 5;
            }
            if (run == 0) {
                for (int32_t k = 0; k < e.GetPieceCount(); ++k) ASSERT_TRUE(e.RenderPiece(k));
                ASSERT_TRUE(e.Composite(c.w, c.h, planes, c.w, c.planes + 1, mask, maskStride,
                                        QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, false, 0, 100));
            } else {
                std::vector<uint8_t> apart;
                // The table of the target's planes ends where its mapping does: a read past
                // its last plane faults.
                qwtest::GuardedBytes table(static_cast<size_t>(c.planes + 1) * sizeof(uint8_t*));
                uint8_t** target = reinterpret_cast<uint8_t**>(table.data());
                for (int i = 0; i <= c.planes; ++i) target[i] = planes[i];
                if (run == 2) {
                    apart = out[run];
                    for (int i = 0; i <= c.planes; ++i) target[i] = apart.data() + area * i;
                }
                ASSERT_EQ(e.TargetHoldsSources(target, c.w, c.planes + 1, c.w, c.h), run == 1);
                ASSERT_TRUE(e.RenderAndComposite(c.w, c.h, target, c.w, c.planes + 1, mask,
                                                 maskStride, false, 0, 80, 80, 100));
                for (int32_t k = 0; k < e.GetPieceCount(); ++k)
                    ASSERT_EQ(e.GetPiece(k)->work, nullptr) << "every image is given back";
                if (run == 2) out[run] = apart;
            }
        }
        ASSERT_EQ(out[0], out[1]);
        ASSERT_EQ(out[0], out[2]);
    }
}

// Colour planes of one row stride are read in place; planes of different strides go through
// the scratch image. Both give every piece the same working planes, whatever its effects
// (none, one, several) and plane count.
TEST(JigRender, PlanesReadInPlaceRenderAsCopiedOnes)
{
    uint32_t seed = 7;
    auto next = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int planes : {1, 3, 4}) {
        SCOPED_TRACE(planes);
        Doc d(157, 93, planes);
        std::vector<uint8_t> wide;  // plane 0 again, in rows 11 bytes longer
        const int64_t wideStride = d.w + 11;
        wide.assign(static_cast<size_t>(wideStride) * d.h, 0);
        for (int y = 0; y < d.h; ++y)
            std::memcpy(wide.data() + y * wideStride, d.ptr[0] + static_cast<size_t>(y) * d.w, d.w);
        std::vector<std::vector<uint8_t>> out[2];
        for (int run = 0; run < 2; ++run) {
            CJigcrafter e;
            e.SetColourLayout(static_cast<uint8_t>(planes == 1 ? 0 : planes == 3 ? 1 : 2));
            ASSERT_TRUE(jigtest::BuildGrid(e, 4, 3, true, 0.25f, 2));
            ASSERT_TRUE(e.Cut(d.w, d.h, nullptr, 0, d.ptr, d.w, planes, 0, 100, false));
            seed = 7;
            for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
                JigPiece* p = e.GetPiece(k);
                const uint32_t r = next();
                p->blur[kJigToApply] = {uint8_t(r & 1), uint8_t(1 + (r >> 1) % 4)};
                p->stroke[kJigToApply].on = (r >> 4) & 1;
                p->stroke[kJigToApply].size = uint8_t(1 + (r >> 5) % 3);
                p->bevel[kJigToApply].on = (r >> 7) & 1;
                p->invert[kJigToApply] = (r >> 8) & 1;
                p->hsl[kJigToApply].on = (r >> 9) & 1;
                p->hsl[kJigToApply].hue = 40;
                p->brightContrast[kJigToApply] = {uint8_t((r >> 10) & 1), 20, -15};
                p->colourOverlay[kJigToApply].on = (r >> 11) & 1;
                p->colourOverlay[kJigToApply].opacity = uint8_t(r >> 12);
                if (k == 0) {  // no effect at all: the source goes to the working planes as it is
                    p->bevel[kJigToApply].on = 0;
                    p->blur[kJigToApply].on = 0;
                    p->stroke[kJigToApply].on = 0;
                    p->invert[kJigToApply] = 0;
                    p->hsl[kJigToApply].on = 0;
                    p->brightContrast[kJigToApply].on = 0;
                    p->colourOverlay[kJigToApply].on = 0;
                }
                if (run == 1) {
                    const int64_t x = p->left, y = p->top;
                    p->source[0] = wide.data() + y * wideStride + x;
                    p->sourceStride[0] = wideStride;
                }
                ASSERT_TRUE(e.RenderPiece(k));
                const int64_t area = static_cast<int64_t>(p->Width()) * p->Height();
                for (int i = 0; i <= planes; ++i) {
                    std::vector<uint8_t> plane(static_cast<size_t>(area));
                    for (int32_t y = 0; y < p->Height(); ++y)
                        std::memcpy(plane.data() + static_cast<int64_t>(y) * p->Width(),
                                    p->workPlane[i] + y * p->workStride[i], p->Width());
                    out[run].push_back(std::move(plane));
                }
            }
        }
        ASSERT_EQ(out[0].size(), out[1].size());
        for (size_t i = 0; i < out[0].size(); ++i) ASSERT_EQ(out[0][i], out[1][i]) << i;
    }
}

// A scratch image that could not be had (the cut's, or a render's own) is not used afterwards:
// with memory back, every piece renders as on an engine that never ran out, and the composite
// of a fresh table is that engine's.
TEST(JigRender, RendersAfterTheScratchImageRanOutOfMemoryAreWhole)
{
    Doc d(140, 90, 3);
    auto layout = [&](CJigcrafter& e) {
        e.SetColourLayout(1);
        ASSERT_TRUE(jigtest::BuildGrid(e, 4, 3, true, 0.2f, 2));
    };
    // Invert, then brightness and contrast: the second effect writes the scratch image.
    auto cut = [&](CJigcrafter& e) {
        const bool ok = e.Cut(d.w, d.h, nullptr, 0, d.ptr, d.w, 3, 0, 100, false);
        for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
            e.GetPiece(k)->invert[kJigToApply] = 1;
            e.GetPiece(k)->brightContrast[kJigToApply] = {1, 30, -20};
        }
        return ok;
    };
    auto image = [](const CJigcrafter& e, int32_t k) {
        const JigPiece* p = e.GetPiece(k);
        std::vector<uint8_t> out;
        for (int i = 0; i < 4; ++i)
            for (int32_t y = 0; y < p->Height(); ++y)
                out.insert(out.end(), p->workPlane[i] + y * p->workStride[i],
                           p->workPlane[i] + y * p->workStride[i] + p->Width());
        return out;
    };
    CJigcrafter good;
    layout(good);
    ASSERT_TRUE(cut(good));
    for (int32_t k = 0; k < good.GetPieceCount(); ++k) ASSERT_TRUE(good.RenderPiece(k));
    int failedCuts = 0, failedRenders = 0;
    for (long n = 0; n < 60; ++n) {
        CJigcrafter e;
        layout(e);
        // The cut's scratch image, made last, is among the allocations that fail.
        qwf::SetAllocFailureAfter(n);
        const bool cutOk = cut(e);
        qwf::SetAllocFailureAfter(-1);
        failedCuts += !cutOk;
        if (!cutOk || e.GetPieceCount() != good.GetPieceCount()) continue;
        // A render whose scratch image must grow runs out, once.
        e.GetPiece(0)->right = e.GetPiece(0)->left + d.w;  // wider than any piece
        qwf::SetAllocFailureAfter(0);
        failedRenders += !e.RenderPiece(0);
        qwf::SetAllocFailureAfter(-1);
        e.GetPiece(0)->right = good.GetPiece(0)->right;
        for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
            ASSERT_TRUE(e.RenderPiece(k)) << n << " " << k;
            ASSERT_EQ(image(e, k), image(good, k)) << "allocation " << n << ", piece " << k;
        }
    }
    EXPECT_GT(failedCuts, 0);
    EXPECT_GT(failedRenders, 0);
}
