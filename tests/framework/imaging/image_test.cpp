#include "framework/imaging/qwf_image.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/qw_random.h"

namespace {

uint8_t At(CQWF_Image& img, int plane, int x, int y)
{
    return img.GetPlane(plane)[static_cast<size_t>(y) * img.GetWidth() + x];
}

void Set(CQWF_Image& img, int plane, int x, int y, uint8_t v)
{
    img.GetPlane(plane)[static_cast<size_t>(y) * img.GetWidth() + x] = v;
}

// Fills every plane with a pattern that differs per plane and pixel.
void Pattern(CQWF_Image& img)
{
    for (int k = 0; k < CQWF_Image::PlaneCount(img.GetType()); ++k)
        for (int y = 0; y < img.GetHeight(); ++y)
            for (int x = 0; x < img.GetWidth(); ++x)
                Set(img, k, x, y, static_cast<uint8_t>(x * 7 + y * 13 + k * 50));
}

}  // namespace

TEST(Image, CreateRefusesEmptySizesAndOtherTypes)
{
    CQWF_Image img;
    EXPECT_FALSE(img.Create(0, 10, 1));
    EXPECT_EQ(img.GetError(), 0);
    EXPECT_TRUE(img.IsEmpty());
    EXPECT_FALSE(img.Create(4, 4, 3));
    EXPECT_EQ(img.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_TRUE(img.IsEmpty());
    ASSERT_TRUE(img.Create(5, 3, 2));
    EXPECT_EQ(img.GetDataSize(), 5u * 3u * 4u);
    int16_t w = 0, h = 0;
    EXPECT_TRUE(img.GetSize(w, h));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    // Creating again drops the old pixels first.
    ASSERT_TRUE(img.Create(2, 2, 1));
    EXPECT_EQ(img.GetDataSize(), 12u);
}

TEST(Image, LargestSizesDoNotWrapAndAllocationFailureLeavesEmpty)
{
    CQWF_Image img;
    // 65535 x 65535 x 4 bytes is about 17 GB: the size is computed in 64 bits. Whether the
    // allocation succeeds depends on the machine; a failure must be 17 and leave the image empty.
    // (Under the address sanitizer such a block takes far too long to map; it is left out there.)
#if defined(__SANITIZE_ADDRESS__)
    const bool huge = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    const bool huge = false;
#else
    const bool huge = true;
#endif
#else
    const bool huge = true;
#endif
    if (!huge) {
    } else if (img.Create(65535, 65535, 2)) {
        EXPECT_EQ(img.GetDataSize(), size_t{65535} * 65535 * 4);
        img.Free();
    } else {
        EXPECT_EQ(img.GetError(), QWF_ERR_MEMORY);
        EXPECT_TRUE(img.IsEmpty());
        EXPECT_EQ(img.GetWidth(), 0);
    }

    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(img.Create(10, 10, 1));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(img.GetError(), QWF_ERR_MEMORY);
    EXPECT_TRUE(img.IsEmpty());
    EXPECT_EQ(img.GetType(), 0);
    EXPECT_EQ(img.GetWidth(), 0);
    EXPECT_EQ(img.GetHeight(), 0);
}

TEST(Image, CreateFromAndConvertTypeHandleTheAlphaPlane)
{
    CQWF_Image rgb, rgba, back;
    ASSERT_TRUE(rgb.Create(3, 2, 1));
    Pattern(rgb);
    ASSERT_TRUE(rgba.CreateFrom(&rgb, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(At(rgba, 3, x, y), 255);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(At(rgba, k, x, y), At(rgb, k, x, y));
        }
    Set(rgba, 3, 1, 1, 9);
    ASSERT_TRUE(back.CreateFrom(&rgba, 1));
    EXPECT_EQ(back.GetDataSize(), 18u);
    EXPECT_EQ(At(back, 2, 2, 1), At(rgb, 2, 2, 1));
    CQWF_Image same;
    ASSERT_TRUE(same.CreateFrom(&rgba));
    EXPECT_EQ(same.GetType(), 2);
    EXPECT_EQ(At(same, 3, 1, 1), 9);
    EXPECT_FALSE(same.CreateFrom(nullptr));
    EXPECT_EQ(same.GetError(), QWF_ERR_ARGUMENT);
    // From itself: refused instead of reading freed pixels.
    EXPECT_FALSE(rgba.CreateFrom(&rgba));
    EXPECT_EQ(rgba.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_EQ(rgba.GetType(), 2);

    CQWF_Image c;
    EXPECT_FALSE(c.ConvertType(2));
    EXPECT_EQ(c.GetError(), QWF_ERR_EMPTY);
    ASSERT_TRUE(c.CreateFrom(&rgb));
    ASSERT_TRUE(c.ConvertType(2));
    EXPECT_EQ(c.GetDataSize(), 24u);
    EXPECT_EQ(At(c, 3, 2, 1), 255);
    EXPECT_EQ(At(c, 1, 2, 1), At(rgb, 1, 2, 1));
    ASSERT_TRUE(c.ConvertType(1));
    EXPECT_EQ(c.GetDataSize(), 18u);
    EXPECT_FALSE(c.ConvertType(5));
    EXPECT_EQ(c.GetError(), 0);
}

TEST(Image, PixelPointerAndPlanes)
{
    CQWF_Image img;
    EXPECT_EQ(img.GetPixelPtr(0, 0), nullptr);
    EXPECT_EQ(img.GetError(), QWF_ERR_EMPTY);
    uint8_t* planes[6];
    int64_t stride = 0;
    EXPECT_FALSE(img.GetPlanes(planes, stride));
    EXPECT_EQ(img.GetError(), QWF_ERR_ARGUMENT);
    ASSERT_TRUE(img.Create(4, 3, 2));
    EXPECT_EQ(img.GetPixelPtr(3, 2), img.GetData() + 11);
    EXPECT_EQ(img.GetPixelPtr(4, 0), nullptr);
    EXPECT_EQ(img.GetError(), QWF_ERR_ARGUMENT);
    ASSERT_TRUE(img.GetPlanes(planes, stride));
    EXPECT_EQ(stride, 4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(planes[k], img.GetData() + 12 * k);
}

TEST(Image, FillHonoursMaskRectangleAndSentinel)
{
    CQWF_Image img;
    EXPECT_FALSE(img.Fill(0));
    EXPECT_EQ(img.GetError(), QWF_ERR_EMPTY);
    ASSERT_TRUE(img.Create(6, 5, 2));
    ASSERT_TRUE(img.Fill(0x44332211));
    EXPECT_EQ(At(img, 0, 5, 4), 0x11);
    EXPECT_EQ(At(img, 3, 0, 0), 0x44);
    // Only green and alpha, in a rectangle hanging over the edges.
    ASSERT_TRUE(img.Fill(0xAABBCCDD, 0x0A, QWF_Rect{-3, 2, 100, 4}));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            bool in = y >= 2 && y < 4;
            EXPECT_EQ(At(img, 0, x, y), 0x11);
            EXPECT_EQ(At(img, 1, x, y), in ? 0xCC : 0x22);
            EXPECT_EQ(At(img, 2, x, y), 0x33);
            EXPECT_EQ(At(img, 3, x, y), in ? 0xAA : 0x44);
        }
    // Empty after clipping: success, nothing changes.
    EXPECT_TRUE(img.Fill(0, 255, QWF_Rect{6, 0, 10, 5}));
    EXPECT_TRUE(img.Fill(0, 255, QWF_Rect{3, 3, 3, 4}));
    EXPECT_EQ(At(img, 0, 3, 3), 0x11);

    // An RGB image has no plane 3: mask 8 changes nothing.
    CQWF_Image rgb;
    ASSERT_TRUE(rgb.Create(3, 3, 1));
    ASSERT_TRUE(rgb.Fill(0x00102030));
    ASSERT_TRUE(rgb.Fill(0xFFFFFFFF, 8));
    EXPECT_EQ(At(rgb, 0, 1, 1), 0x30);
    EXPECT_EQ(At(rgb, 2, 2, 2), 0x10);
}

TEST(Image, FillCheckerCells)
{
    CQWF_Image img;
    ASSERT_TRUE(img.Create(20, 20, 1));
    const uint32_t white = 0xFFFFFFFF, grey = 0xFF808080;
    ASSERT_TRUE(img.FillChecker(8, 8, white, grey));
    EXPECT_EQ(At(img, 0, 0, 0), 0x80);
    EXPECT_EQ(At(img, 0, 8, 0), 0xFF);
    EXPECT_EQ(At(img, 0, 8, 8), 0x80);
    EXPECT_EQ(At(img, 0, 16, 0), 0x80);
    EXPECT_EQ(At(img, 0, 0, 8), 0xFF);
    EXPECT_EQ(At(img, 1, 19, 19), 0x80);
    EXPECT_FALSE(img.FillChecker(0, 8, white, grey));
    EXPECT_EQ(img.GetError(), QWF_ERR_ARGUMENT);
}

TEST(Image, TileFromMatchesPerPixelReferenceOnRandomRectangles)
{
    // Random source and target rectangles (also hanging over the edges or empty); an RGB source
    // gives the target opaque alpha. Only the clipped target rectangle changes.
    qwp::SeedRandom(7);
    CQWF_Image rgba, rgb, dst;
    ASSERT_TRUE(rgba.Create(13, 9, 2));
    Pattern(rgba);
    ASSERT_TRUE(rgb.CreateFrom(&rgba, 1));
    ASSERT_TRUE(dst.Create(40, 30, 2));
    for (int round = 0; round < 200; ++round) {
        CQWF_Image& src = round % 2 ? rgb : rgba;
        auto r = [](int lo, int hi) { return lo + qwp::Random15() % (hi - lo); };
        QWF_Rect s{r(-3, 14), r(-3, 10), r(-3, 16), r(-3, 12)};
        QWF_Rect t{r(-5, 41), r(-5, 31), r(-5, 45), r(-5, 35)};
        if (round == 0) {
            s = QWF_WHOLE_RECT;
            t = QWF_WHOLE_RECT;
        }
        ASSERT_TRUE(dst.Fill(0x01020304));
        std::vector<uint8_t> before(dst.GetData(), dst.GetData() + dst.GetDataSize());
        ASSERT_TRUE(dst.TileFrom(&src, s, t));
        QWF_Rect cs = QWF_IsWholeRect(s) ? QWF_Rect{0, 0, 13, 9}
                                          : QWF_Rect{std::max(s.left, 0), std::max(s.top, 0), std::min(s.right, 13), std::min(s.bottom, 9)};
        QWF_Rect ct = QWF_IsWholeRect(t) ? QWF_Rect{0, 0, 40, 30}
                                          : QWF_Rect{std::max(t.left, 0), std::max(t.top, 0), std::min(t.right, 40), std::min(t.bottom, 30)};
        bool empty = cs.left >= cs.right || cs.top >= cs.bottom || ct.left >= ct.right || ct.top >= ct.bottom;
        for (int k = 0; k < 4; ++k)
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    uint8_t want = before[static_cast<size_t>(k) * 1200 + y * 40 + x];
                    if (!empty && x >= ct.left && x < ct.right && y >= ct.top && y < ct.bottom) {
                        int sx = cs.left + (x - ct.left) % (cs.right - cs.left);
                        int sy = cs.top + (y - ct.top) % (cs.bottom - cs.top);
                        want = k == 3 && round % 2 ? 255 : At(rgba, k, sx, sy);
                    }
                    ASSERT_EQ(At(dst, k, x, y), want) << "round " << round;
                }
    }
    EXPECT_FALSE(dst.TileFrom(&dst));
    EXPECT_EQ(dst.GetError(), QWF_ERR_ARGUMENT);
    CQWF_Image empty;
    EXPECT_FALSE(dst.TileFrom(&empty));
    EXPECT_FALSE(empty.TileFrom(&rgb));
    EXPECT_EQ(empty.GetError(), QWF_ERR_EMPTY);
}

TEST(Image, BlitClipsAndMovesTheSource)
{
    CQWF_Image src, dst;
    ASSERT_TRUE(src.Create(4, 4, 1));
    Pattern(src);
    ASSERT_TRUE(dst.Create(6, 6, 1));
    ASSERT_TRUE(dst.Fill(0));
    // A negative source position is taken as 0 without moving the target.
    ASSERT_TRUE(dst.Blit(&src, -3, -3, QWF_Rect{1, 1, 6, 6}));
    EXPECT_EQ(At(dst, 0, 1, 1), At(src, 0, 0, 0));
    EXPECT_EQ(At(dst, 0, 4, 4), At(src, 0, 3, 3));
    EXPECT_EQ(At(dst, 0, 5, 5), 0);  // only 4 x 4 copied: no tiling
    EXPECT_EQ(At(dst, 0, 0, 0), 0);
    // A target hanging off the top-left moves the source by the same amount.
    ASSERT_TRUE(dst.Fill(0));
    ASSERT_TRUE(dst.Blit(&src, 0, 0, QWF_Rect{-2, -1, 3, 3}));
    EXPECT_EQ(At(dst, 0, 0, 0), At(src, 0, 2, 1));
    EXPECT_EQ(At(dst, 0, 1, 2), At(src, 0, 3, 3));
    EXPECT_EQ(At(dst, 0, 2, 0), 0);
    // Source position outside the source: success without change.
    EXPECT_TRUE(dst.Blit(&src, 4, 0));
    CQWF_Image empty;
    EXPECT_FALSE(dst.Blit(&empty, 0, 0));
    EXPECT_EQ(dst.GetError(), QWF_ERR_ARGUMENT);
}

TEST(Image, BlitAlphaOfRgbSourcesAndTargets)
{
    CQWF_Image src, dst;
    ASSERT_TRUE(src.Create(3, 1, 2));
    ASSERT_TRUE(dst.Create(3, 1, 2));
    ASSERT_TRUE(src.Fill(0x80C80A64));  // a 128, r 100, g 10, b 200
    ASSERT_TRUE(dst.Fill(0xFF3232FA));
    // An RGB source is a plain blit; an RGB target keeps no alpha.
    CQWF_Image rgbSrc, rgbDst;
    ASSERT_TRUE(rgbSrc.Create(3, 1, 1));
    ASSERT_TRUE(rgbSrc.Fill(0x00010203));
    ASSERT_TRUE(dst.BlitAlpha(&rgbSrc, 0, 0));
    EXPECT_EQ(At(dst, 0, 0, 0), 3);
    EXPECT_EQ(At(dst, 3, 0, 0), 255);
    ASSERT_TRUE(rgbDst.Create(3, 1, 1));
    ASSERT_TRUE(rgbDst.Fill(0));
    ASSERT_TRUE(rgbDst.BlitAlpha(&src, 1, 0, QWF_Rect{0, 0, 3, 1}, 100));
    EXPECT_EQ(At(rgbDst, 0, 0, 0), (100 * 128) >> 8);
    EXPECT_EQ(At(rgbDst, 0, 2, 0), 0);  // source width 3 - 1 = 2 columns only
    EXPECT_FALSE(dst.BlitAlpha(&dst, 0, 0));
    EXPECT_EQ(dst.GetError(), QWF_ERR_ARGUMENT);
}

TEST(Image, BlitAlphaMatchesTheIntegerFormulaForEveryInput)
{
    // Every (target, source) byte pair for every source alpha, at several opacities (100 and
    // above: full), against the integer formulas written out directly.
    CQWF_Image src, dst;
    ASSERT_TRUE(src.Create(256, 256, 2));
    ASSERT_TRUE(dst.Create(256, 256, 2));
    for (int opacity : {1, 37, 50, 99, 100, 200}) {
        for (int a = 0; a < 256; a += (opacity == 50 ? 1 : 5)) {
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    for (int k = 0; k < 3; ++k) {
                        Set(src, k, x, y, static_cast<uint8_t>(x));
                        Set(dst, k, x, y, static_cast<uint8_t>(y));
                    }
                    Set(src, 3, x, y, static_cast<uint8_t>(a));
                    Set(dst, 3, x, y, static_cast<uint8_t>(x ^ y));
                }
            ASSERT_TRUE(dst.BlitAlpha(&src, 0, 0, QWF_WHOLE_RECT, static_cast<uint8_t>(opacity)));
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    int d = y, s = x, want;
                    if (opacity >= 100) want = (s * a + (255 - a) * d) >> 8;
                    else want = d - (d - s) * a * opacity / (255 * 100);
                    ASSERT_EQ(At(dst, 1, x, y), want) << "d " << d << " s " << s << " a " << a << " op " << opacity;
                    ASSERT_EQ(At(dst, 3, x, y), ((x ^ y) * a) / 255);
                }
        }
    }
}

TEST(Image, BlendPixelAndAlphaPixel)
{
    CQWF_Image img;
    ASSERT_TRUE(img.Create(4, 4, 2));
    ASSERT_TRUE(img.Fill(0x40506070));
    img.BlendPixel(1, 1, 0x00FFFFFF);
    EXPECT_EQ(At(img, 0, 1, 1), 0x70);
    img.BlendPixel(1, 1, 0xFF0A0B0C);
    EXPECT_EQ(At(img, 0, 1, 1), 0x0C);
    EXPECT_EQ(At(img, 2, 1, 1), 0x0A);
    EXPECT_EQ(At(img, 3, 1, 1), 255);
    img.BlendPixel(2, 2, 0x80FF0000);
    EXPECT_EQ(At(img, 0, 2, 2), (0 * 128 + 0x70 * 127) >> 8);
    EXPECT_EQ(At(img, 2, 2, 2), (255 * 128 + 0x50 * 127) >> 8);
    EXPECT_EQ(At(img, 3, 2, 2), 255 - (((255 - 0x40) * 127) >> 8));
    // Both write inside the clip (right and bottom edges outside, cut to the image) and nowhere
    // else: not past a row into the next one either.
    const QWF_Rect clip{1, 1, 3, 3}, all{-5, -5, 100, 100};
    const struct {
        int32_t x, y;
        const QWF_Rect& clip;
        bool inside;
    } points[] = {{1, 1, clip, true},  {2, 2, clip, true},   {0, 1, clip, false}, {1, 0, clip, false},
                  {3, 2, clip, false}, {2, 3, clip, false},  {3, 3, all, true},   {0, 0, all, true},
                  {4, 0, all, false},  {0, 4, all, false},   {-1, 1, all, false}, {1, -1, all, false}};
    for (const auto& p : points) {
        ASSERT_TRUE(img.Fill(0x40506070));
        img.BlendPixel(p.x, p.y, 0xFF000000, p.clip);
        img.SetAlphaPixel(p.x, p.y, 7, p.clip);
        int red = 0, alpha = 0;
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                red += At(img, 0, x, y) != 0x70;
                alpha += At(img, 3, x, y) != 0x40;
            }
        EXPECT_EQ(red, p.inside ? 1 : 0) << p.x << "," << p.y;
        EXPECT_EQ(alpha, p.inside ? 1 : 0) << p.x << "," << p.y;
        if (p.inside) {
            EXPECT_EQ(At(img, 3, p.x, p.y), 7);
        }
    }
    // An RGB image has no alpha plane to write into.
    CQWF_Image rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 1));
    rgb.SetAlphaPixel(1, 1, 9);
    rgb.DrawAlphaLine(0, 0, 1, 1, 9);
}

TEST(Image, LinesFollowTheFixedPointWalkFromNearAndFar)
{
    // The fixed-point walk: the major axis steps by one, the minor coordinate is
    // ((start << 16) + 0x8000 + i * (minor difference << 16) / major difference) >> 16. Lines
    // inside (shallow, steep and backwards, a single point) and from far outside, which must light
    // exactly the pixels the same line lights when drawn in a large image.
    CQWF_Image img;
    ASSERT_TRUE(img.Create(64, 48, 2));
    const int32_t cases[][4] = {{0, 0, 9, 3},     {5, 9, 3, 0},     {4, 4, 4, 4},     {0, 47, 63, 0},
                                {-30000, 20, 30000, 30},     {-2000000000, -5, 2000000000, 40},
                                {10, -2000000000, 20, 2000000000}, {63, 47, -2147483647, -2147483647},
                                {32767, 32767, -32768, -32768},   {5, 5, 5, 5}};
    for (const auto& c : cases) {
        ASSERT_TRUE(img.Fill(0));
        img.DrawAlphaLine(c[0], c[1], c[2], c[3], 9);
        int64_t dx = int64_t{c[2]} - c[0], dy = int64_t{c[3]} - c[1];
        bool xMajor = std::llabs(dx) >= std::llabs(dy);
        int64_t M = xMajor ? dx : dy, m = xMajor ? dy : dx;
        int64_t step = M == 0 ? 0 : m * 65536 / M;
        int64_t ms = xMajor ? c[0] : c[1], mn = xMajor ? c[1] : c[0];
        int64_t dir = M >= 0 ? 1 : -1;
        std::vector<uint8_t> want(64 * 48, 0);
        auto plot = [&](int64_t major, int64_t minor) {
            int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
            if (x >= 0 && x < 64 && y >= 0 && y < 48) want[y * 64 + x] = 9;
        };
        if (std::llabs(M) < 1000000) {
            // Moderate lengths: the plain accumulating walk over the whole line.
            int64_t acc = (mn << 16) + 0x8000;
            for (int64_t i = 0, p = ms; i <= std::llabs(M); ++i, p += dir, acc += step) plot(p, acc >> 16);
        } else {
            // Huge lengths: only the steps whose major coordinate can land inside.
            for (int64_t p = 0; p < (xMajor ? 64 : 48); ++p) {
                int64_t i = (p - ms) * dir;
                if (i >= 0 && i <= std::llabs(M)) plot(p, ((mn << 16) + 0x8000 + step * i) >> 16);
            }
        }
        for (int i = 0; i < 64 * 48; ++i)
            ASSERT_EQ(img.GetPlane(3)[i], want[i]) << c[0] << "," << c[1] << " pixel " << i;
    }
    // DrawLine blends with the colour.
    ASSERT_TRUE(img.Fill(0xFF000000));
    EXPECT_TRUE(img.DrawLine(0, 9, 9, 9, 0xFF0000FF));
    EXPECT_EQ(At(img, 0, 5, 9), 255);
    EXPECT_EQ(At(img, 0, 5, 8), 0);
}

TEST(Image, CircleBlendsEveryOctantPoint)
{
    CQWF_Image img;
    ASSERT_TRUE(img.Create(9, 9, 1));
    // Radius 0 blends the centre eight times.
    ASSERT_TRUE(img.Fill(0));
    img.DrawCircle(4, 4, 0, 0x80FFFFFF);
    int v = 0;
    for (int i = 0; i < 8; ++i) v = (255 * 128 + v * 127) >> 8;
    EXPECT_EQ(At(img, 0, 4, 4), v);
    // Radius 3 with an opaque colour: the midpoint circle's points, symmetric, nothing inside.
    ASSERT_TRUE(img.Fill(0));
    img.DrawCircle(4, 4, 3, 0xFFFFFFFF);
    EXPECT_EQ(At(img, 0, 4, 7), 255);
    EXPECT_EQ(At(img, 0, 7, 4), 255);
    EXPECT_EQ(At(img, 0, 1, 4), 255);
    EXPECT_EQ(At(img, 0, 4, 1), 255);
    EXPECT_EQ(At(img, 0, 6, 6), 255);
    EXPECT_EQ(At(img, 0, 4, 4), 0);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(At(img, 0, x, y), At(img, 0, 8 - x, y));
    // Clipped to the image even when the circle reaches outside.
    img.DrawCircle(0, 0, 5, 0xFFFFFFFF);
    img.DrawCircle(-100, 3, 32767, 0xFFFFFFFF);
}

namespace {

int32_t RandomCoord()
{
    switch (qwp::Random15() % 6) {
    case 0: return -32000;
    case 1: return (qwp::Random15() % 2 ? 1 : -1) * (qwp::Random15() * 65536 + qwp::Random15());
    case 2: return qwp::Random15() % 2 ? 2147483647 : -2147483647 - 1;
    default: return qwp::Random15() % 60 - 10;
    }
}

QWF_Rect RandomRect()
{
    if (qwp::Random15() % 8 == 0) return QWF_WHOLE_RECT;
    return QWF_Rect{RandomCoord(), RandomCoord(), RandomCoord(), RandomCoord()};
}

bool InRect(const QWF_Rect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

}  // namespace

TEST(Image, RandomOperationsNeverTouchPixelsOutsideTheirRectangle)
{
    // Random sizes, rectangles and coordinates, including the extremes of the 32-bit range.
    // The sanitizer build checks memory; here every pixel outside the operation's clipped
    // rectangle must keep its value.
    qwp::SeedRandom(2024);
    for (int round = 0; round < 3000; ++round) {
        CQWF_Image dst, src;
        const int w = 1 + qwp::Random15() % 40, h = 1 + qwp::Random15() % 30;
        ASSERT_TRUE(dst.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint8_t>(1 + qwp::Random15() % 2)));
        ASSERT_TRUE(src.Create(static_cast<uint16_t>(1 + qwp::Random15() % 40), static_cast<uint16_t>(1 + qwp::Random15() % 30),
                               static_cast<uint8_t>(1 + qwp::Random15() % 2)));
        Pattern(dst);
        Pattern(src);
        std::vector<uint8_t> before(dst.GetData(), dst.GetData() + dst.GetDataSize());
        QWF_Rect r = RandomRect();
        QWF_Rect area = QWF_IsWholeRect(r) ? QWF_Rect{0, 0, w, h} : r;
        const uint32_t colour = static_cast<uint32_t>(qwp::Random15()) << 17 ^ static_cast<uint32_t>(qwp::Random15());
        const int32_t a = RandomCoord(), b = RandomCoord(), c = RandomCoord(), d = RandomCoord();
        const int op = qwp::Random15() % 10;
        switch (op) {
        case 0: EXPECT_TRUE(dst.Fill(colour, static_cast<uint8_t>(qwp::Random15()), r)); break;
        case 1: dst.FillChecker(1 + qwp::Random15() % 9, 1 + qwp::Random15() % 9, colour, ~colour, r); break;
        case 2: EXPECT_TRUE(dst.TileFrom(&src, RandomRect(), r)); break;
        case 3: EXPECT_TRUE(dst.Blit(&src, a, b, r)); break;
        case 4: EXPECT_TRUE(dst.BlitAlpha(&src, a, b, r, static_cast<uint8_t>(qwp::Random15() % 120))); break;
        case 5: dst.BlendPixel(a, b, colour, r); break;
        case 6: dst.SetAlphaPixel(a, b, 7, r); break;
        case 7: EXPECT_TRUE(dst.DrawLine(a, b, c, d, colour, r)); break;
        case 8: dst.DrawAlphaLine(a, b, c, d, 9, r); break;
        case 9: dst.DrawCircle(a % 100, b % 100, qwp::Random15() % 50, colour, r); break;
        }
        const int planes = CQWF_Image::PlaneCount(dst.GetType());
        for (int k = 0; k < planes; ++k)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (!InRect(area, x, y)) {
                        ASSERT_EQ(At(dst, k, x, y), before[static_cast<size_t>(k) * w * h + y * w + x])
                            << "round " << round << " op " << op;
                    }
    }
}
