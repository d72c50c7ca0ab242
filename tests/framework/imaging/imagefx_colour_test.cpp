// Colour effects and the effect frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/imaging/qwf_image.h"
#include "imagefx_test.h"
#include "platform/qw_muldiv.h"
#include "support/test_support.h"

using fxtest::Planes;

TEST(ImageFXFrame, PlaneSetsFromBuffersImagesAndPlanes)
{
    CQWF_ImageFX fx;
    // Buffers: planes every stride x height bytes.
    Planes p(4, 5, 3, true, 2);
    p.AsTarget(fx);
    uint8_t* planes[5];
    int32_t stride;
    uint8_t count, alpha;
    uint16_t w, h;
    fx.GetTargetPlanes(planes, &stride, &count, &alpha, &w, &h);
    EXPECT_EQ(stride, 7);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(alpha, 1);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(planes[k], p.Plane(k));

    EXPECT_FALSE(fx.SetSourceBuffer(nullptr, 4, 3, 0, 4, 4));
    EXPECT_EQ(fx.GetError(), 1);

    // Images: planes by type, stride = width.
    CQWF_Image img;
    ASSERT_TRUE(img.Create(6, 2, 2));
    fx.ClearError();
    ASSERT_TRUE(fx.SetSourceImage(&img));
    EXPECT_EQ(fx.Source().count, 4);
    EXPECT_EQ(fx.Source().alpha, 1);
    EXPECT_EQ(fx.Source().stride, 6);
    EXPECT_EQ(fx.Source().planes[3], img.GetData() + 3 * 12);
    EXPECT_FALSE(fx.SetSourceImage(nullptr));
    EXPECT_EQ(fx.GetError(), 1);
    CQWF_Image empty;
    EXPECT_FALSE(fx.SetTargetImage(&empty));

    // Swapping sets through SetSourcePlanes / GetTargetPlanes.
    fx.SetSourcePlanes(planes, stride, count, alpha, w, h);
    EXPECT_EQ(fx.Source().planes[2], p.Plane(2));
    EXPECT_EQ(fx.Source().width, 5);
}

TEST(ImageFXColour, ShapeMismatchIsRefusedWithoutTouchingTheTarget)
{
    CQWF_ImageFX fx;
    Planes a(3, 4, 4, false), b(3, 5, 4, false, 0, 77), c(4, 4, 4, true, 0, 77);
    a.RandomiseAll();
    fxtest::Bind(fx, a, b);
    uint8_t col[3] = {1, 2, 3};
    EXPECT_FALSE(fx.Invert());
    EXPECT_EQ(fx.GetError(), 1);
    EXPECT_FALSE(fx.ColorOverlay(col, 100));
    EXPECT_FALSE(fx.BrightnessContrast(10, 10, 128));
    EXPECT_FALSE(fx.AdjustHSL(10, 0, 0, 1));
    EXPECT_FALSE(fx.BlendSource(100));
    fxtest::Bind(fx, a, c);
    EXPECT_FALSE(fx.Invert());
    for (uint8_t v : b.data) EXPECT_EQ(v, 77);
    for (uint8_t v : c.data) EXPECT_EQ(v, 77);
    // A stride shorter than a row is not a usable plane set.
    fx.SetSourceBuffer(a.Plane(0), 2, 3, 0, 4, 4);
    a.AsTarget(fx);
    EXPECT_FALSE(fx.Invert());
}

TEST(ImageFXColour, InvertOverlayAndBlendArithmetic)
{
    CQWF_ImageFX fx;
    Planes src(4, 16, 16, true, 3), dst(4, 16, 16, true, 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int k = 0; k < 4; ++k) src.At(k, x, y) = static_cast<uint8_t>(y * 16 + x + k * 50);
    fxtest::Bind(fx, src, dst);

    ASSERT_TRUE(fx.Invert());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            for (int k = 0; k < 3; ++k) EXPECT_EQ(dst.At(k, x, y), 255 - src.At(k, x, y));
            EXPECT_EQ(dst.At(3, x, y), src.At(3, x, y));  // alpha kept
        }

    const uint8_t colour[3] = {10, 200, 255};
    ASSERT_TRUE(fx.ColorOverlay(colour, 255));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(dst.At(k, 5, 7), colour[k]);
    ASSERT_TRUE(fx.ColorOverlay(colour, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int k = 0; k < 3; ++k) EXPECT_EQ(dst.At(k, x, y), (255 * src.At(k, x, y)) >> 8);
    ASSERT_TRUE(fx.ColorOverlay(colour, 100));
    for (int k = 0; k < 3; ++k) {
        const int s = src.At(k, 3, 9);
        EXPECT_EQ(dst.At(k, 3, 9), (100 * colour[k] + 155 * s) >> 8);
    }
    // Only 255 lays the colour itself: at 254 the formula still holds, so 255 over 0 gives 253.
    ASSERT_TRUE(fx.ColorOverlay(colour, 254));
    ASSERT_EQ(src.At(2, 12, 9), 0);
    EXPECT_EQ(dst.At(2, 12, 9), 253);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int k = 0; k < 3; ++k) EXPECT_EQ(dst.At(k, x, y), (254 * colour[k] + src.At(k, x, y)) >> 8);

    // BlendSource: opaque overlay at 255 stays; with the target alpha as weight otherwise.
    Planes over(4, 16, 16, true, 3);
    over.RandomiseAll();
    over.FillPlane(3, 255);
    Planes t = over;
    fxtest::Bind(fx, src, t);
    ASSERT_TRUE(fx.BlendSource(255));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(t.SamePlane(over, k));
    EXPECT_TRUE(t.SamePlane(src, 3));
    t = over;
    t.Randomise(3);
    Planes before = t;
    fxtest::Bind(fx, src, t);
    ASSERT_TRUE(fx.BlendSource(180));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int w = before.At(3, x, y) * 180 / 255;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(t.At(k, x, y), ((255 - w) * src.At(k, x, y) + before.At(k, x, y) * w) / 255);
            EXPECT_EQ(t.At(3, x, y), src.At(3, x, y));
        }
    // Without alpha the opacity is the weight.
    Planes s3(3, 4, 1, false), t3(3, 4, 1, false);
    s3.FillPlane(0, 0);
    t3.FillPlane(0, 255);
    fxtest::Bind(fx, s3, t3);
    ASSERT_TRUE(fx.BlendSource(128));
    EXPECT_EQ(t3.At(0, 0, 0), 128);
}

namespace {
// The brightness/contrast byte mapping, one value through a 1 x 1 plane.
int BC(int value, int b, int k, int m = 128)
{
    CQWF_ImageFX fx;
    Planes s(1, 1, 1, false), t(1, 1, 1, false);
    s.At(0, 0, 0) = static_cast<uint8_t>(value);
    fxtest::Bind(fx, s, t);
    EXPECT_TRUE(fx.BrightnessContrast(static_cast<int8_t>(b), static_cast<int8_t>(k),
                                      static_cast<uint8_t>(m)));
    return t.At(0, 0, 0);
}
}  // namespace

TEST(ImageFXColour, BrightnessContrastTable)
{
    EXPECT_EQ(BC(127, 0, 100), 0);
    EXPECT_EQ(BC(128, 0, 100), 255);
    EXPECT_EQ(BC(192, 0, 50), 255);
    EXPECT_EQ(BC(100, 0, 50), 72);
    EXPECT_EQ(BC(100, 0, 0), 100);
    EXPECT_EQ(BC(250, 20, 0), 255);
    EXPECT_EQ(BC(5, -20, 0), 0);
    // -100 pulls everything onto the midpoint.
    for (int v : {0, 13, 128, 200, 255}) EXPECT_EQ(BC(v, 0, -100, 90), 90);
    EXPECT_EQ(BC(200, 0, -50), 200 + qwp::MulDiv(128 - 200, 50, 100));
    // 0 < k < 100: d is the truncated k / (100 - k) x 10000.
    EXPECT_EQ(BC(140, 10, 33), 150 + qwp::MulDiv(150 - 128, 4925, 10000));
    EXPECT_EQ(BC(10, 0, 99), 0);
    // Brightness is limited before the contrast step.
    EXPECT_EQ(BC(250, 100, -100, 0), 0);

    // Planes: every colour plane mapped, alpha untouched.
    CQWF_ImageFX fx;
    Planes s(4, 64, 4, true), t(4, 64, 4, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x)
            for (int k = 0; k < 4; ++k) s.At(k, x, y) = static_cast<uint8_t>(x * 4 + y);
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.BrightnessContrast(-7, 40, 128));
    for (int x = 0; x < 64; ++x)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(t.At(k, x, 2), BC(x * 4 + 2, -7, 40));
    EXPECT_TRUE(t.SamePlane(s, 3));
}

namespace {
void Hsl(uint8_t r, uint8_t g, uint8_t b, int h, int u, int l, uint8_t out[3], bool first = true)
{
    CQWF_ImageFX fx;
    Planes s(3, 1, 1, false), t(3, 1, 1, false);
    s.At(0, 0, 0) = r;
    s.At(1, 0, 0) = g;
    s.At(2, 0, 0) = b;
    fxtest::Bind(fx, s, t);
    EXPECT_TRUE(fx.AdjustHSL(static_cast<int16_t>(h), static_cast<int16_t>(u),
                             static_cast<int16_t>(l), first ? 1 : 0));
    for (int k = 0; k < 3; ++k) out[k] = t.At(k, 0, 0);
}
}  // namespace

TEST(ImageFXColour, AdjustHSLCases)
{
    uint8_t o[3];
    Hsl(255, 0, 0, 120, 0, 0, o);
    EXPECT_EQ(o[0], 0);
    EXPECT_EQ(o[1], 255);
    EXPECT_EQ(o[2], 0);
    Hsl(255, 0, 0, -120, 0, 0, o);
    EXPECT_EQ(o[2], 255);
    Hsl(200, 40, 90, 0, -100, 0, o);  // grey L x 255
    const int grey = static_cast<int>((200 / 255.0 + 40 / 255.0) / 2 * 255);
    EXPECT_EQ(o[0], grey);
    EXPECT_EQ(o[1], grey);
    EXPECT_EQ(o[2], grey);
    Hsl(10, 20, 30, 0, 0, 100, o);  // full lightness
    EXPECT_EQ(o[0], 255);
    EXPECT_EQ(o[2], 255);
    Hsl(10, 20, 30, 0, 0, -100, o);
    EXPECT_EQ(o[1], 0);
    // The lightness step once, before the HSL step or after it.
    auto light = [](int v) { return static_cast<uint8_t>(v + qwp::MulDiv(255 - v, 30, 100)); };
    uint8_t a[3], b[3];
    Hsl(light(200), light(50), light(20), 40, 50, 0, a);
    Hsl(200, 50, 20, 40, 50, 30, o, true);
    EXPECT_TRUE(std::equal(o, o + 3, a));
    Hsl(200, 50, 20, 40, 50, 0, a);
    Hsl(200, 50, 20, 40, 50, 30, b, false);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(b[k], light(a[k])) << k;

    // Parameter and layout checks.
    CQWF_ImageFX fx;
    Planes s(3, 2, 2, false), t(3, 2, 2, false);
    fxtest::Bind(fx, s, t);
    EXPECT_FALSE(fx.AdjustHSL(181, 0, 0, 1));
    EXPECT_EQ(fx.GetError(), 1);
    EXPECT_FALSE(fx.AdjustHSL(0, 101, 0, 1));
    EXPECT_FALSE(fx.AdjustHSL(0, 0, -101, 1));
    EXPECT_TRUE(fx.AdjustHSL(180, -100, 100, 0));
    Planes s4(4, 2, 2, false), t4(4, 2, 2, false);
    fxtest::Bind(fx, s4, t4);
    EXPECT_FALSE(fx.AdjustHSL(10, 0, 0, 1));  // four planes without alpha
    Planes s4a(4, 3, 3, true), t4a(4, 3, 3, true);
    s4a.RandomiseAll();
    fxtest::Bind(fx, s4a, t4a);
    ASSERT_TRUE(fx.AdjustHSL(0, 0, 0, 1));  // plain copy, alpha included
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(t4a.SamePlane(s4a, k));
    ASSERT_TRUE(fx.AdjustHSL(30, 0, 0, 1));
    EXPECT_TRUE(t4a.SamePlane(s4a, 3));
}

// Whole rows go four colours at a time; single colours one by one: both must agree exactly.
TEST(ImageFXColour, AdjustHSLRowsMatchSingleColours)
{
    qwp::SeedRandom(99);
    const int kAdjust[][4] = {{45, 30, 20, 1}, {-100, -40, -30, 0}, {180, 100, 0, 1},
                              {0, 0, 55, 0},   {7, 99, -100, 1},    {-180, -100, 10, 1}};
    for (const auto& a : kAdjust) {
        // 269 = eight groups of 32 colours, one of 8, one of 4 and a single colour.
        Planes s(3, 269, 9, false), t(3, 269, 9, false);
        s.RandomiseAll();
        for (int x = 0; x < 8; ++x) {  // greys and ties between the largest bytes
            s.At(0, x, 1) = s.At(1, x, 1) = static_cast<uint8_t>(x * 31);
            s.At(0, x, 2) = s.At(1, x, 2) = s.At(2, x, 2) = static_cast<uint8_t>(x * 36);
            s.At(1, x, 3) = s.At(2, x, 3) = static_cast<uint8_t>(255 - x);
        }
        for (int x = 0; x < 256; ++x) {  // every byte in every channel
            s.At(0, x, 4) = static_cast<uint8_t>(x);
            s.At(1, x, 4) = static_cast<uint8_t>(255 - x);
            s.At(2, x, 4) = static_cast<uint8_t>(x * 7);
        }
        CQWF_ImageFX fx;
        fxtest::Bind(fx, s, t);
        ASSERT_TRUE(fx.AdjustHSL(static_cast<int16_t>(a[0]), static_cast<int16_t>(a[1]),
                                 static_cast<int16_t>(a[2]), static_cast<uint8_t>(a[3])));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 269; ++x) {
                uint8_t o[3];
                Hsl(s.At(0, x, y), s.At(1, x, y), s.At(2, x, y), a[0], a[1], a[2], o, a[3] != 0);
                for (int k = 0; k < 3; ++k) ASSERT_EQ(t.At(k, x, y), o[k]) << x << "," << y;
            }
    }
}

// Samples colours and adjustments into a file that tests/scripts/imagefx_hsl_colorsys.sh checks
// against python's colorsys. Every colour is converted in a picture full of other colours, so the
// converted-colour cache is exercised too.
TEST(ImageFXColour, HSLSamplesForColorsys)
{
    const std::string path = qwtest::OutputDir("imagefx") + "/hsl_samples.txt";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    qwp::SeedRandom(4242);
    const int kAdjust[][3] = {{0, 0, 0},    {120, 0, 0},  {-75, 0, 0},  {33, 40, 0}, {0, -60, 0},
                              {0, 100, 0},  {-180, 25, 0}, {90, -100, 0}, {180, 99, 0}, {17, 0, 0}};
    for (const auto& adj : kAdjust) {
        Planes s(3, 97, 41, false), t(3, 97, 41, false);
        s.RandomiseAll();
        // Some exact greys and primaries.
        for (int x = 0; x < 10; ++x) {
            const uint8_t v = static_cast<uint8_t>(x * 28);
            s.At(0, x, 0) = s.At(1, x, 0) = s.At(2, x, 0) = v;
        }
        CQWF_ImageFX fx;
        fxtest::Bind(fx, s, t);
        ASSERT_TRUE(fx.AdjustHSL(static_cast<int16_t>(adj[0]), static_cast<int16_t>(adj[1]), 0, 1));
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 97; ++x)
                std::fprintf(f, "%d %d %d %d %d %d %d %d\n", adj[0], adj[1], s.At(0, x, y),
                             s.At(1, x, y), s.At(2, x, y), t.At(0, x, y), t.At(1, x, y),
                             t.At(2, x, y));
    }
    std::fclose(f);
}

TEST(ImageFXColour, DesaturateWorksInPlaceOnThreeColourPlanes)
{
    CQWF_ImageFX fx;
    Planes s(4, 8, 2, true);
    s.RandomiseAll();
    Planes before = s;
    s.AsSource(fx);
    ASSERT_TRUE(fx.Desaturate());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = (before.At(0, x, y) + before.At(1, x, y) + before.At(2, x, y)) / 3;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(s.At(k, x, y), v);
        }
    EXPECT_TRUE(s.SamePlane(before, 3));
    Planes g(2, 4, 4, true);
    g.AsSource(fx);
    fx.ClearError();
    EXPECT_FALSE(fx.Desaturate());
    EXPECT_EQ(fx.GetError(), 0);
}
