#include "framework/imaging/qwf_layer.h"

#include <gtest/gtest.h>

#include "platform/qw_surface.h"

namespace {

// A layer filled with one colour (0xAABBGGRR; the alpha byte only for type 2).
void MakeLayer(CQWF_Layer& l, int16_t x, int16_t y, uint16_t w, uint16_t h, uint8_t type,
               uint32_t colour)
{
    ASSERT_TRUE(l.Create(x, y, w, h, type));
    ASSERT_TRUE(l.Fill(colour, 255));
}

uint8_t At(CQWF_Image* img, int plane, int x, int y)
{
    return img->GetPlane(plane)[static_cast<size_t>(y) * img->GetWidth() + x];
}

}  // namespace

TEST(Layer, SpansFollowPositionClipAndVisibility)
{
    CQWF_Layer l;
    MakeLayer(l, 5, 2, 10, 4, QWF_IMAGE_RGBA, 0xFF000000);
    QWF_Span s;
    l.GetSpan(s, 0, 3, 100);
    ASSERT_EQ(s.empty, 0u);
    EXPECT_EQ(s.start, 5);
    EXPECT_EQ(s.end, 15);
    EXPECT_EQ(s.r, l.GetPlane(0) + 10);  // row 1 of the layer, column 0
    EXPECT_EQ(s.a, l.GetPlane(3) + 10);

    // Request window cutting the layer on both sides, relative to its left.
    l.GetSpan(s, 8, 2, 4);
    ASSERT_EQ(s.empty, 0u);
    EXPECT_EQ(s.start, 0);
    EXPECT_EQ(s.end, 4);
    EXPECT_EQ(s.r, l.GetPlane(0) + 3);

    l.GetSpan(s, 0, 6, 100);  // below the layer
    EXPECT_EQ(s.empty, 1u);
    l.GetSpan(s, 0, 1, 100);  // above
    EXPECT_EQ(s.empty, 1u);

    l.m_clip = {7, 0, 9, 4};
    l.m_clipFlag = 1;
    l.GetSpan(s, 0, 3, 100);
    ASSERT_EQ(s.empty, 0u);
    EXPECT_EQ(s.start, 7);
    EXPECT_EQ(s.end, 9);
    l.GetSpan(s, 0, 4, 100);  // the clip's bottom is exclusive
    EXPECT_EQ(s.empty, 1u);
    l.m_clipFlag = 0;

    CQWF_Layer rgb;
    MakeLayer(rgb, 0, 0, 2, 2, QWF_IMAGE_RGB, 0);
    rgb.SetOpacity(77);
    rgb.GetSpan(s, 0, 0, 2);
    EXPECT_EQ(s.a, nullptr);
    EXPECT_EQ(s.opacity, 77);
    rgb.SetOpacity(0);
    rgb.GetSpan(s, 0, 0, 2);
    EXPECT_EQ(s.empty, 1u);
    rgb.SetOpacity(255);
    rgb.SetVisible(0);
    rgb.GetSpan(s, 0, 0, 2);
    EXPECT_EQ(s.empty, 1u);
}

TEST(Layer, CompositeArithmetic)
{
    // First span is copied whatever its alpha; the next ones blend by the four rules.
    uint8_t r[4] = {9, 9, 9, 9}, g[4] = {9, 9, 9, 9}, b[4] = {9, 9, 9, 9};
    const uint8_t white[4] = {255, 255, 255, 255}, black[4] = {0, 0, 0, 0};
    const uint8_t half[4] = {128, 128, 128, 128}, opaque[4] = {255, 255, 255, 255};
    QWF_Span spans[2];
    spans[0].empty = 0;
    spans[0].r = spans[0].g = spans[0].b = white;
    spans[0].a = half;
    spans[0].start = 0;
    spans[0].end = 4;
    spans[1] = spans[0];
    spans[1].r = spans[1].g = spans[1].b = black;
    spans[1].a = opaque;
    spans[1].start = 1;
    spans[1].end = 3;
    CQWF_LayerSet::CompositeRow(r, g, b, spans, 2);
    EXPECT_EQ(r[0], 255);  // first span copied, alpha ignored
    EXPECT_EQ(r[1], 1);    // 255 - ((255 * 255) >> 8)
    EXPECT_EQ(g[2], 1);
    EXPECT_EQ(b[3], 255);

    // Black under white at full alpha: the arithmetic shift of a negative difference gives 255.
    uint8_t c[1] = {0}, c2[1] = {0}, c3[1] = {0};
    spans[0].r = spans[0].g = spans[0].b = black;
    spans[0].start = 0;
    spans[0].end = 1;
    spans[1].r = spans[1].g = spans[1].b = white;
    spans[1].start = 0;
    spans[1].end = 1;
    CQWF_LayerSet::CompositeRow(c, c2, c3, spans, 2);
    EXPECT_EQ(c[0], 255);

    // Alpha with opacity: w = a * o, c -= ((c - s) * w) >> 16.
    spans[1].a = half;
    spans[1].opacity = 100;
    CQWF_LayerSet::CompositeRow(c, c2, c3, spans, 2);
    EXPECT_EQ(c[0], 0 - ((-255 * (128 * 100)) >> 16));  // 50

    // No alpha, opacity 128: (c * 127 + s * 128) >> 8.
    spans[1].a = nullptr;
    spans[1].opacity = 128;
    CQWF_LayerSet::CompositeRow(c, c2, c3, spans, 2);
    EXPECT_EQ(c[0], 127);
    // No alpha, full opacity: replaced.
    spans[1].opacity = 255;
    spans[1].r = half;
    CQWF_LayerSet::CompositeRow(c, c2, c3, spans, 2);
    EXPECT_EQ(c[0], 128);
    EXPECT_EQ(c2[0], 255);
}

TEST(LayerSet, RenderRectanglesAndLayerSelection)
{
    CQWF_LayerSet set;
    EXPECT_FALSE(set.Render());
    EXPECT_EQ(set.GetError(), QWF_ERR_EMPTY);

    ASSERT_TRUE(set.Create(8, 6));
    set.GetImage()->Fill(0x00112233, 255);
    EXPECT_TRUE(set.Render());  // no layers: unchanged
    EXPECT_EQ(At(set.GetImage(), 0, 0, 0), 0x33);

    CQWF_Layer bottom, top, hidden;
    MakeLayer(bottom, 0, 0, 8, 6, QWF_IMAGE_RGB, 0x000000FF);       // red
    MakeLayer(top, 2, 1, 3, 3, QWF_IMAGE_RGBA, 0x80FF0000);         // blue, half alpha
    MakeLayer(hidden, 0, 0, 8, 6, QWF_IMAGE_RGB, 0x0000FF00);       // green, hidden
    hidden.SetVisible(0);
    EXPECT_EQ(set.AddLayer(&bottom), 0);
    EXPECT_EQ(set.AddLayer(&top), 1);
    EXPECT_EQ(set.AddLayer(&hidden), 2);
    EXPECT_EQ(set.GetLayerCount(), 3);
    EXPECT_EQ(set.GetLayer(1), &top);
    EXPECT_EQ(set.GetLayer(3), nullptr);
    EXPECT_EQ(set.GetLayer(-1), nullptr);

    // Only a rectangle: pixels outside keep their old values.
    ASSERT_TRUE(set.Render({0, 0, 3, 2}));
    EXPECT_EQ(At(set.GetImage(), 0, 0, 0), 255);
    EXPECT_EQ(At(set.GetImage(), 2, 0, 0), 0);
    EXPECT_EQ(At(set.GetImage(), 0, 3, 0), 0x33);  // outside the rectangle
    EXPECT_EQ(At(set.GetImage(), 0, 0, 2), 0x33);
    // (2,1) is under the half-transparent blue: red 255 - ((255 * 128) >> 8) = 128.
    EXPECT_EQ(At(set.GetImage(), 0, 2, 1), 128);
    EXPECT_EQ(At(set.GetImage(), 2, 2, 1), 128);  // 0 - ((-255 * 128) >> 8): the shift floors
    EXPECT_EQ(At(set.GetImage(), 1, 2, 1), 0);

    // A rectangle hanging off the composite is clipped; an empty one changes nothing.
    ASSERT_TRUE(set.Render({-5, -5, 100, 100}));
    EXPECT_EQ(At(set.GetImage(), 0, 7, 5), 255);
    EXPECT_TRUE(set.Render({4, 4, 4, 9}));

    // The clip flag cuts the top layer even inside a larger rendered rectangle.
    top.m_clip = {3, 0, 4, 100};
    top.m_clipFlag = 1;
    ASSERT_TRUE(set.Render());
    EXPECT_EQ(At(set.GetImage(), 2, 2, 1), 0);
    EXPECT_EQ(At(set.GetImage(), 2, 3, 1), 128);
    EXPECT_EQ(At(set.GetImage(), 2, 4, 1), 0);

    EXPECT_FALSE(set.RenderLayerArea(7));
    EXPECT_TRUE(set.RenderLayerArea(1));

    // A lone half-transparent picture shows fully opaque: it is the first span.
    CQWF_LayerSet solo;
    ASSERT_TRUE(solo.Create(3, 3));
    solo.GetImage()->Fill(0, 255);
    solo.AddLayer(&top);
    top.m_clipFlag = 0;
    top.SetPosition(0, 0);
    ASSERT_TRUE(solo.Render());
    EXPECT_EQ(At(solo.GetImage(), 2, 1, 1), 255);

    // Create drops the layer list.
    ASSERT_TRUE(set.Create(2, 2));
    EXPECT_EQ(set.GetLayerCount(), 0);
}

TEST(LayerSet, AddLayerFailureLeavesListUnchanged)
{
    CQWF_LayerSet set;
    ASSERT_TRUE(set.Create(4, 4));
    CQWF_Layer a;
    MakeLayer(a, 0, 0, 4, 4, QWF_IMAGE_RGB, 0);
    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(set.AddLayer(&a), -1);
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(set.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(set.GetLayerCount(), 0);
    EXPECT_EQ(set.AddLayer(&a), 0);
}

TEST(Layer, RectOperations)
{
    CQWF_Layer l;
    ASSERT_TRUE(l.SetRect(3, 4, 10, 6, QWF_IMAGE_RGB));
    QWF_Rect r;
    l.GetRect(r);
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.top, 4);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 6);
    EXPECT_FALSE(l.SetRect(10, 4, 3, 6, QWF_IMAGE_RGB));  // inverted: no pixels
    EXPECT_TRUE(l.IsEmpty());

    CQWF_Image src;
    ASSERT_TRUE(src.Create(2, 2, QWF_IMAGE_RGB));
    ASSERT_TRUE(l.CreateFrom(-1, 2, &src, QWF_IMAGE_RGBA));
    int16_t x, y;
    l.GetPosition(x, y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(l.GetType(), QWF_IMAGE_RGBA);
}

TEST(OffscreenBitmap, CreateCopyAndBlit)
{
    CQWF_OffscreenBitmap bmp;
    EXPECT_FALSE(bmp.Create(0, 5));
    EXPECT_EQ(bmp.GetError(), QWF_ERR_ARGUMENT);
    ASSERT_TRUE(bmp.Create(3, 2));
    EXPECT_EQ(bmp.GetStride(), 12u);
    EXPECT_EQ(bmp.GetRowGap(), 3u);

    CQWF_Image img;
    ASSERT_TRUE(img.Create(3, 2, QWF_IMAGE_RGBA));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int p = 0; p < 4; ++p)
                img.GetPlane(p)[y * 3 + x] = static_cast<uint8_t>(p * 100 + y * 10 + x);
    ASSERT_TRUE(bmp.CopyImage(&img, 0, 0));
    const uint8_t* bits = bmp.GetBits();
    // Image row 0 is the last memory row; each pixel is B, G, R.
    EXPECT_EQ(bits[12 + 0], 200);
    EXPECT_EQ(bits[12 + 1], 100);
    EXPECT_EQ(bits[12 + 2], 0);
    EXPECT_EQ(bits[12 + 3 * 2 + 2], 2);
    EXPECT_EQ(bits[0 + 2], 10);

    // A bitmap rectangle with an image offset: bitmap (1..3, 0..1) takes image from (2, 1).
    CQWF_OffscreenBitmap b2;
    ASSERT_TRUE(b2.Create(3, 2));
    ASSERT_TRUE(b2.CopyImage(&img, 2, 1, {1, 0, 3, 1}));
    EXPECT_EQ(b2.GetBits()[12 + 3 + 2], 12);  // only one column of the image is left
    EXPECT_EQ(b2.GetBits()[12 + 6 + 2], 0);   // untouched
    // Negative image coordinates are raised to 0 without moving the target.
    ASSERT_TRUE(b2.CopyImage(&img, -4, -4, {2, 1, 3, 2}));
    EXPECT_EQ(b2.GetBits()[6 + 1], 100);

    // Blit into a target bitmap selected into a memory context.
    qwp::DrawContext* screen = qwp::GetScreenContext();
    ASSERT_NE(screen, nullptr);
    uint8_t* tbits = nullptr;
    qwp::Bitmap* target = qwp::CreateBitmap(screen, 5, 4, &tbits);
    qwp::DrawContext* dc = qwp::CreateMemoryContext(screen);
    ASSERT_TRUE(qwp::SelectBitmap(dc, target, nullptr));
    ASSERT_TRUE(bmp.Blit(dc, 2, 1, {1, 0, 3, 2}));
    const uint32_t ts = qwp::BitmapStride(5);
    // Bitmap (1, 0) lands at target (2 + 1 - 1, 1 + 0) = (2, 1): memory row 4 - 1 - 1.
    EXPECT_EQ(tbits[2 * ts + 2 * 3 + 2], 1);
    EXPECT_EQ(tbits[2 * ts + 3 * 3 + 2], 2);
    EXPECT_EQ(tbits[1 * ts + 2 * 3 + 2], 11);
    EXPECT_EQ(tbits[2 * ts + 4 * 3 + 2], 0);  // outside the copied block

    EXPECT_FALSE(bmp.Blit(nullptr, 0, 0));
    EXPECT_EQ(bmp.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_TRUE(bmp.Blit(nullptr, 0, 0, {5, 5, 9, 9}));  // empty after clipping

    qwp::InjectSurfaceFault(qwp::SurfaceFault::MemoryContext);
    EXPECT_FALSE(bmp.Blit(dc, 0, 0));
    EXPECT_EQ(bmp.GetError(), 128);
    qwp::InjectSurfaceFault(qwp::SurfaceFault::SelectBitmap);
    EXPECT_FALSE(bmp.Blit(dc, 0, 0));
    EXPECT_EQ(bmp.GetError(), 128);
    qwp::InjectSurfaceFault(qwp::SurfaceFault::CopyArea);
    EXPECT_FALSE(bmp.Blit(dc, 0, 0));
    EXPECT_EQ(bmp.GetError(), 129);
    EXPECT_TRUE(bmp.Blit(dc, 0, 0));

    qwp::InjectSurfaceFault(qwp::SurfaceFault::ScreenContext);
    EXPECT_FALSE(b2.Create(4, 4));
    EXPECT_EQ(b2.GetError(), 128);
    qwp::InjectSurfaceFault(qwp::SurfaceFault::CreateBitmap);
    EXPECT_FALSE(b2.Create(4, 4));
    EXPECT_EQ(b2.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(b2.GetBits(), nullptr);
    qwp::InjectSurfaceFault(qwp::SurfaceFault::None);

    qwp::SelectBitmap(dc, nullptr, nullptr);
    qwp::DeleteMemoryContext(dc);
    qwp::DeleteBitmap(target);
    qwp::ReleaseScreenContext(screen);
}
