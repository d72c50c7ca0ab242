// The image preview and its rulers in the compiled Demo window, headless on the virtual clock:
// layout and scroll limits, the mapping from the view to the picture, what a render paints
// (checked against a model of the sampling, compositing, lightening and hatching rules), zoom
// notifications and the one smoothing pass, panning and zooming by the mouse, the pointer watch,
// the navigator, and the rulers' ticks and labels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "framework/imaging/qwf_font.h"
#include "framework/imaging/qwf_image.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_preview.h"
#include "framework/ui/qwf_ruler.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "ui_test_windows.h"

using uitest::Edges;
using uitest::Ltrb;
using uitest::PackagePath;
using uitest::RangeAndPage;

// A point's two coordinates, to compare in one go.
template <class P>
std::pair<int32_t, int32_t> XY(const P& p)
{
    return {p.x, p.y};
}

namespace {

// The Demo window's preview rectangle.
constexpr QWF_Rect kView{29, 57, 429, 357};

// What the preview told the window, in order.
struct PreviewNote {
    int32_t code;
    int32_t x;  // the zoom level for 320
    int32_t y;
};

class PreviewWindow : public CQWF_Window {
public:
    bool OnNotify(int32_t code, int32_t, const char*, uint8_t kind, void* data) override
    {
        if (kind != QWF_CTRL_PREVIEW) return true;
        PreviewNote n{code, 0, 0};
        if (code == QWF_NOTIFY_ZOOM) {
            n.x = *static_cast<uint8_t*>(data);
        } else {
            const auto* p = static_cast<CQWF_CtrlPreview::Point*>(data);
            n.x = p->x;
            n.y = p->y;
        }
        notes.push_back(n);
        return true;
    }
    std::vector<int32_t> Codes() const
    {
        std::vector<int32_t> out;
        for (const PreviewNote& n : notes) out.push_back(n.code);
        return out;
    }
    // The render notifications only.
    std::vector<int32_t> Renders() const
    {
        std::vector<int32_t> out;
        for (const PreviewNote& n : notes)
            if (n.code == QWF_NOTIFY_FINAL_RENDER || n.code == QWF_NOTIFY_DRAFT_RENDER) out.push_back(n.code);
        return out;
    }
    int Count(int32_t code) const
    {
        int k = 0;
        for (const PreviewNote& n : notes) k += n.code == code;
        return k;
    }
    std::vector<PreviewNote> notes;
};

// A picture of RGB with alpha from a function giving 0xAABBGGRR.
template <class F>
void MakePicture(CQWF_Image& image, int32_t w, int32_t h, F colour)
{
    ASSERT_TRUE(image.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), QWF_IMAGE_RGBA));
    const size_t plane = image.GetPlaneSize();
    uint8_t* p = image.GetData();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            const size_t at = static_cast<size_t>(y) * w + x;
            for (int k = 0; k < 4; ++k) p[k * plane + at] = static_cast<uint8_t>(c >> (8 * k));
        }
}

struct Preview : ::testing::Test {
    qwtest::HeadlessUi ui;
    CQWF_CtrlPreview preview;
    PreviewWindow w;
    CQWF_CtrlScrollBar* hbar = nullptr;
    CQWF_CtrlScrollBar* vbar = nullptr;
    CQWF_CtrlRuler* hruler = nullptr;
    CQWF_CtrlRuler* vruler = nullptr;
    CQWF_CtrlStaticImage* nav = nullptr;
    CQWF_Font* font = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
        ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
        hbar = Add<CQWF_CtrlScrollBar>("Demo_HScroll", QWF_CTRL_SCROLLBAR);
        vbar = Add<CQWF_CtrlScrollBar>("Demo_VScroll", QWF_CTRL_SCROLLBAR);
        hruler = Add<CQWF_CtrlRuler>("Demo_HRuler", QWF_CTRL_RULER);
        vruler = Add<CQWF_CtrlRuler>("Demo_VRuler", QWF_CTRL_RULER);
        nav = Add<CQWF_CtrlStaticImage>("Demo_Navigator", QWF_CTRL_STATIC_IMAGE);
        ASSERT_GE(w.AttachControl(&preview), 0);
        font = w.GetFont(w.LoadFont("Small Font"));
        ASSERT_NE(font, nullptr);
        hruler->SetFont(font);
        vruler->SetFont(font);
        w.Show();
        ui.Pump();
    }
    template <class T>
    T* Add(const char* name, uint8_t kind)
    {
        const int32_t i = w.AddControl(name, kind);
        EXPECT_GE(i, 0) << name;
        return static_cast<T*>(w.GetControl(i));
    }
    bool Bind(const CQWF_Image& image, const QWF_Rect& r = kView)
    {
        return preview.SetSource(r.left, r.top, r.right, r.bottom, &image, vbar, hbar, hruler, vruler, nav);
    }
    // The colour the preview painted at a control point, 0xBBGGRR.
    uint32_t Shown(int32_t x, int32_t y)
    {
        CQWF_Layer* layer = w.GetLayer(0);
        const size_t at = static_cast<size_t>(preview.GetRect().top + y) * layer->GetWidth() + preview.GetRect().left + x;
        return layer->GetPlane(0)[at] | layer->GetPlane(1)[at] << 8 | layer->GetPlane(2)[at] << 16;
    }
    void Wait(uint32_t ms)
    {
        for (uint32_t i = 0; i < ms; ++i) ui.Advance(1);
    }
};

// --- the model of a painted view ---

struct ViewModel {
    const CQWF_Image* image;
    int level;
    int32_t scrollX, scrollY;
    bool lightened;  // in effect (final render, not panning)
    bool smooth;
    const uint8_t* mask;
    uint32_t back[4] = {0xFFFFFFFFu, 0xFFC0C0C0u, 0xFFCCCCCCu, 0xFFC8C8C8u};
    uint32_t hatch = 0xFF0000FFu;

    static int32_t FloorDiv(int32_t a, int32_t b) { return static_cast<int32_t>(std::floor(static_cast<double>(a) / b)); }
    uint8_t Plane(int k, int32_t x, int32_t y) const
    {
        return image->GetPlane(k)[static_cast<size_t>(y) * image->GetWidth() + x];
    }
    // The colour at a control point whose first row over the picture is firstRow.
    uint32_t At(int32_t x, int32_t y, int32_t firstRow) const
    {
        const int32_t zx = x + scrollX, zy = y + scrollY;
        const double scale = std::ldexp(1.0, level - 4);
        const int32_t w = static_cast<int32_t>(image->GetWidth() * scale), h = static_cast<int32_t>(image->GetHeight() * scale);
        const int parity = (FloorDiv(zx, 8) + FloorDiv(zy, 8)) & 1;
        const bool in = zx >= 0 && zx < w && zy >= 0 && zy < h;
        const uint32_t b = in ? back[parity] : back[2 + parity];
        if (!in) return b & 0xFFFFFF;
        int32_t ix, iy;
        uint32_t c[4];
        if (level >= 4) {
            const int32_t v = 1 << (level - 4);
            ix = FloorDiv(zx, v);
            iy = FloorDiv(zy, v);
            for (int k = 0; k < 4; ++k) c[k] = Plane(k, ix, iy);
        } else {
            const int32_t n = 1 << (4 - level);
            const int32_t rx = zx * n + n - 1, ry = zy * n + n - 1;
            const bool first = y == firstRow;
            ix = first ? rx : rx - n / 2;
            iy = first ? ry : ry - n / 2;
            for (int k = 0; k < 4; ++k) {
                if (smooth && !first) {
                    uint32_t sum = 0;
                    for (int32_t j = 0; j < n; ++j)
                        for (int32_t i = 0; i < n; ++i) sum += Plane(k, zx * n + i, zy * n + j);
                    c[k] = sum / (n * n);
                } else {
                    c[k] = Plane(k, ix, iy);
                }
            }
        }
        const bool marked = mask && mask[static_cast<size_t>(iy) * image->GetWidth() + ix];
        if (marked && ((zx % 4) + 4) % 4 == 3) return hatch & 0xFFFFFF;
        uint32_t out = 0;
        for (int k = 0; k < 3; ++k) {
            const int32_t bk = (b >> (8 * k)) & 0xFF;
            int32_t ck = static_cast<int32_t>(c[k]);
            if (marked || lightened) ck = ck / 2 + 128;
            const uint32_t a = c[3];
            const int32_t o = a == 0 ? bk : a == 255 ? ck : bk - FloorDiv((bk - ck) * static_cast<int32_t>(a), 256);
            out |= static_cast<uint32_t>(o) << (8 * k);
        }
        return out;
    }
};

// The control points where the painted view differs from the model.
int Mismatches(Preview& t, const ViewModel& m)
{
    const int32_t W = t.preview.GetRect().right - t.preview.GetRect().left;
    const int32_t H = t.preview.GetRect().bottom - t.preview.GetRect().top;
    const int32_t firstRow = std::max(-m.scrollY, 0);
    int bad = 0;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            if (t.Shown(x, y) != m.At(x, y, firstRow)) {
                if (bad < 3) ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << t.Shown(x, y) << " model " << m.At(x, y, firstRow);
                ++bad;
            }
    return bad;
}

}  // namespace

TEST_F(Preview, LayoutCentresSmallPicturesAndLimitsTheScrollOfLargeOnes)
{
    // 400 x 300 in a 600 x 500 view: centred, fixed, both bars disabled with page = total.
    CQWF_Image small;
    MakePicture(small, 400, 300, [](int32_t, int32_t) { return 0xFF336699u; });
    const QWF_Rect big{10, 10, 610, 510};
    ASSERT_TRUE(Bind(small, big));
    // The control takes the pointer on its rectangle's first and last pixels, not past them.
    for (const auto& [x, y, in] : {std::tuple{10, 10, true}, std::tuple{609, 509, true}, std::tuple{9, 10, false},
                                   std::tuple{10, 9, false}, std::tuple{610, 509, false}, std::tuple{609, 510, false}})
        EXPECT_EQ(preview.HitTest(x, y), in) << x << "," << y;
    EXPECT_EQ(Edges(preview.GetMargins()), (Ltrb{100, 100, 100, 100}));
    preview.SetScroll(30, -400, true);
    EXPECT_EQ(XY(preview.GetScroll()), std::make_pair(-100, -100));
    EXPECT_EQ(RangeAndPage(hbar), std::make_pair(600u, 600u));
    EXPECT_FALSE(hbar->IsEnabled());
    EXPECT_EQ(RangeAndPage(vbar), std::make_pair(500u, 500u));
    EXPECT_FALSE(vbar->IsEnabled());
    // The picture's first pixel sits at the margin, and left of it is the surround; the row and
    // the column past the view (marked here) stay the window's.
    uint8_t* red = w.GetLayer(0)->GetPlane(0);
    const size_t lw = w.GetLayer(0)->GetWidth();
    auto past = [&](size_t i) -> uint8_t& { return i < 600 ? red[510 * lw + 10 + i] : red[(10 + i - 600) * lw + 610]; };
    for (size_t i = 0; i < 1100; ++i) past(i) = 0x5A;
    preview.Render(true);
    for (size_t i = 0; i < 1100; ++i) ASSERT_EQ(past(i), 0x5A) << i;
    EXPECT_EQ(Shown(100, 100), 0x336699u);
    EXPECT_EQ(Shown(99, 100), 0xC8C8C8u);  // the surround, in the odd square

    // 2000 pixels wide in 600: from 50 before the first column to 50 past the last.
    CQWF_Image wide;
    MakePicture(wide, 2000, 300, [](int32_t x, int32_t) { return 0xFF000000u | static_cast<uint32_t>(x & 0xFF); });
    ASSERT_TRUE(Bind(wide, big));
    EXPECT_EQ(preview.GetScrollMin().x, -50);
    EXPECT_EQ(preview.GetScrollMax().x, 1450);
    EXPECT_EQ(RangeAndPage(hbar), std::make_pair(2100u, 600u));
    EXPECT_TRUE(hbar->IsEnabled());
    preview.SetScroll(5000, 0, true);
    EXPECT_EQ(preview.GetScroll().x, 1450);
    EXPECT_EQ(hbar->GetPos(), 1500u);
    // The bar scrolls the view once a render has happened since the bars were set.
    preview.Render(true);
    w.notes.clear();
    hbar->SetPos(100);
    EXPECT_EQ(preview.GetScroll().x, 50);
    EXPECT_EQ(w.Codes(), (std::vector<int32_t>{QWF_NOTIFY_FINAL_RENDER}));
    EXPECT_EQ(Shown(0, 150), 50u);

    // A picture that is not RGB with alpha is refused and nothing is shown.
    CQWF_Image rgb;
    ASSERT_TRUE(rgb.Create(10, 10, QWF_IMAGE_RGB));
    EXPECT_FALSE(Bind(rgb, big));
    w.notes.clear();
    preview.Render(true);
    EXPECT_TRUE(w.notes.empty());
}

TEST_F(Preview, WindowToImageAtLevelsZeroFourAndEight)
{
    CQWF_Image image;
    MakePicture(image, 3000, 2000, [](int32_t, int32_t) { return 0xFF808080u; });
    ASSERT_TRUE(Bind(image));
    struct Case {
        uint8_t level;
        int32_t scrollX, scrollY;
        int32_t x, y;
        int32_t ix, iy;
    };
    const Case cases[] = {
        {4, -50, -50, 0, 0, -50, -50},   {4, -50, -50, 49, 50, -1, 0},  {4, 100, 7, -101, -8, -1, -1},
        {8, -50, -50, 0, 0, -4, -4},     {8, -50, -50, 34, 35, -1, -1}, {8, -50, -50, 35, 66, -1, 1},
        {8, 16, 16, -17, -16, -1, 0},    {8, 16, 16, -18, 100, -1, 7},
        // 187 x 125 at 1/16: centred, fixed at (-106, -87).
        {0, -106, -87, 0, 0, -1696, -1392}, {0, -106, -87, 105, 87, -16, 0}, {0, -106, -87, 107, 86, 16, -16},
    };
    for (const Case& c : cases) {
        preview.SetZoom(c.level, -1, -1, true);
        preview.SetScroll(c.scrollX, c.scrollY, true);
        ASSERT_EQ(XY(preview.GetScroll()), std::make_pair(c.scrollX, c.scrollY)) << int(c.level);
        const CQWF_CtrlPreview::Point p = preview.WindowToImage(c.x, c.y);
        EXPECT_EQ(XY(p), std::make_pair(c.ix, c.iy)) << "level " << int(c.level) << " at " << c.x;
    }
    // Clamped: before the picture -1, at or past its end 65535.
    preview.SetZoom(4, -1, -1, true);
    preview.SetScroll(-50, 1750, true);
    EXPECT_EQ(preview.ClientToImage(10, 49).x, -1);
    EXPECT_EQ(preview.ClientToImage(50, 49).x, 0);
    EXPECT_EQ(preview.ClientToImage(50, 249).y, 1999);
    EXPECT_EQ(preview.ClientToImage(50, 250).y, 65535);
    preview.SetScroll(2650, 0, true);
    EXPECT_EQ(preview.ClientToImage(349, 0).x, 2999);
    EXPECT_EQ(preview.ClientToImage(350, 0).x, 65535);
}

TEST_F(Preview, ZoomNotifiesAndSmoothsReducedViewsOnce)
{
    // Stripes one pixel wide: a reduced view samples one of them, the smoothing pass their mean.
    CQWF_Image image;
    MakePicture(image, 1600, 1200, [](int32_t x, int32_t y) {
        return (x & 1) ? 0xFFFFFFFFu : 0xFF000000u | static_cast<uint32_t>(y & 0x7F) << 8;
    });
    ASSERT_TRUE(Bind(image));
    preview.Render(true);
    const CQWF_CtrlPreview::Point centre = preview.ClientToImage(200, 150);
    w.notes.clear();
    preview.SetZoom(5, -1, -1, true);
    EXPECT_EQ(w.Codes(), (std::vector<int32_t>{QWF_NOTIFY_ZOOM, QWF_NOTIFY_FINAL_RENDER}));
    EXPECT_EQ(w.notes[0].x, 5);
    const CQWF_CtrlPreview::Point after = preview.ClientToImage(200, 150);
    EXPECT_EQ(XY(after), XY(centre));
    EXPECT_EQ(XY(w.notes[1]), XY(preview.GetScroll()));
    // The same level again, and past the ends, do nothing.
    w.notes.clear();
    preview.SetZoom(5, -1, -1, true);
    preview.SetZoom(8, -1, -1, true);
    w.notes.clear();
    preview.ZoomIn(-1, -1);
    EXPECT_TRUE(w.notes.empty());
    preview.SetZoom(0, -1, -1, false);
    Wait(1000);
    w.notes.clear();
    preview.ZoomOut(-1, -1);
    EXPECT_TRUE(w.notes.empty());

    // At 1:1 and above no smoothing follows.
    preview.SetZoom(4, -1, -1, true);
    w.notes.clear();
    Wait(1000);
    EXPECT_TRUE(w.notes.empty());

    // Level 3: one final render, then exactly one smoothing pass 200 ms later.
    preview.SetZoom(3, -1, -1, true);
    const int32_t row = 150;
    const int32_t zy = row + preview.GetScroll().y;
    EXPECT_EQ(Shown(200, row) & 0xFF, 0u);  // the even column of the pair
    w.notes.clear();
    Wait(199);
    EXPECT_TRUE(w.notes.empty());
    Wait(1);
    EXPECT_EQ(w.Codes(), (std::vector<int32_t>{QWF_NOTIFY_FINAL_RENDER}));
    Wait(2000);
    EXPECT_EQ(w.Count(QWF_NOTIFY_FINAL_RENDER), 1);
    EXPECT_EQ(Shown(200, row) & 0xFF, 127u);  // (0 + 255) * 2 / 4
    const uint32_t green = ((zy * 2) & 0x7F) + ((zy * 2 + 1) & 0x7F);
    EXPECT_EQ(Shown(200, row) >> 8 & 0xFF, (green + 255 * 2) / 4);
    // A new final render postpones the pass; a draft does not start one.
    w.notes.clear();
    preview.Render(true);
    Wait(150);
    preview.Render(true);
    Wait(150);
    EXPECT_EQ(w.Count(QWF_NOTIFY_FINAL_RENDER), 2);
    Wait(50);
    EXPECT_EQ(w.Count(QWF_NOTIFY_FINAL_RENDER), 3);
    w.notes.clear();
    preview.Render(false);
    Wait(1000);
    EXPECT_EQ(w.Codes(), (std::vector<int32_t>{QWF_NOTIFY_DRAFT_RENDER}));
}

TEST_F(Preview, PaintingFollowsSamplingCompositingAndHatchRules)
{
    // Random colours with transparent, opaque and partial alpha; a mask over a band.
    qwp::SeedRandom(1234);
    CQWF_Image image;
    MakePicture(image, 330, 210, [](int32_t, int32_t) {
        const uint32_t r = static_cast<uint32_t>(qwp::Random15()), g = static_cast<uint32_t>(qwp::Random15());
        const uint32_t pick = r % 4;
        const uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : (g >> 3) & 0xFF;
        return a << 24 | (g & 0xFF) << 16 | (r & 0xFF) << 8 | ((r >> 7) & 0xFF);
    });
    std::vector<uint8_t> mask(static_cast<size_t>(330) * 210, 0);
    for (int32_t y = 60; y < 120; ++y)
        for (int32_t x = 30; x < 200; ++x) mask[static_cast<size_t>(y) * 330 + x] = 1;
    ASSERT_TRUE(Bind(image));
    const uint32_t back[4] = {0xFFF0F0F0u, 0xFF303030u, 0xFF102030u, 0xFF405060u};
    preview.SetBackColours(back[0], back[1], back[2], back[3]);
    preview.SetHatchColour(0xFF20C0E0u);
    struct Case {
        uint8_t level;
        int32_t scrollX, scrollY;
        bool final, lightened, withMask;
    };
    const Case cases[] = {
        {4, -35, -45, true, false, false}, {4, -35, -45, true, true, true},  {6, 37, 21, true, false, true},
        {6, 513, 427, false, true, true},  {8, 2601, 1555, true, true, false}, {2, -200, -5, true, false, true},
        {1, 0, 0, true, true, false},      {0, 0, 0, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "level " << int(c.level) << " scroll " << c.scrollX << "," << c.scrollY);
        preview.SetMarkMask(c.withMask ? mask.data() : nullptr, 330);
        preview.SetLightened(c.lightened);
        preview.SetZoom(c.level, -1, -1, false);
        preview.SetScroll(c.scrollX, c.scrollY, true);
        preview.Render(c.final);
        ViewModel m{&image, c.level, preview.GetScroll().x, preview.GetScroll().y, c.final && c.lightened, false,
                    c.withMask ? mask.data() : nullptr};
        std::copy(back, back + 4, m.back);
        m.hatch = 0xFF20C0E0u;
        EXPECT_EQ(Mismatches(*this, m), 0);
        if (c.level < 4 && c.final) {
            // The smoothing pass: the mean of each block, the first row as before.
            Wait(200);
            m.smooth = true;
            EXPECT_EQ(Mismatches(*this, m), 0);
        }
    }
    // A draft shows the picture as it is but leaves the setting alone.
    preview.SetLightened(true);
    preview.Render(false);
    EXPECT_TRUE(preview.IsLightened());
    ui.Screenshot(w, "preview_headless_model");
}

TEST_F(Preview, CheckerboardFollowsTheScroll)
{
    CQWF_Image clear;
    MakePicture(clear, 2000, 2000, [](int32_t, int32_t) { return 0x00FFFFFFu; });
    ASSERT_TRUE(Bind(clear));
    auto expect = [&](int32_t sx, int32_t sy) {
        preview.SetScroll(sx, sy, true);
        preview.Render(true);
        ASSERT_EQ(preview.GetScroll().x, sx);
        int wrong = 0;
        for (int32_t y = 0; y < 300; y += 3)
            for (int32_t x = 0; x < 400; ++x) {
                const int32_t zx = x + sx, zy = y + sy;
                const bool odd = ((zx >> 3) + (zy >> 3)) & 1;
                const bool in = zx >= 0 && zy >= 0;
                const uint32_t want = in ? (odd ? 0xC0C0C0u : 0xFFFFFFu) : (odd ? 0xC8C8C8u : 0xCCCCCCu);
                wrong += Shown(x, y) != want;
            }
        EXPECT_EQ(wrong, 0) << "scroll " << sx << "," << sy;
    };
    expect(0, 0);
    expect(3, 0);
    expect(3, 5);
    expect(-50, -13);
    expect(1005, 17);
    // Three pixels of scroll move the squares three pixels.
    preview.SetScroll(0, 0, true);
    preview.Render(true);
    std::vector<uint32_t> at0;
    for (int32_t x = 3; x < 400; ++x) at0.push_back(Shown(x, 20));
    preview.SetScroll(3, 0, true);
    preview.Render(true);
    for (int32_t x = 0; x + 3 < 400; ++x) ASSERT_EQ(Shown(x, 20), at0[static_cast<size_t>(x)]) << x;
}

TEST_F(Preview, SpaceDragPansAndSpaceClicksAndTheWheelZoom)
{
    CQWF_Image image;
    MakePicture(image, 1200, 900, [](int32_t x, int32_t y) { return 0xFF000000u | static_cast<uint32_t>((x ^ y) & 0xFF); });
    ASSERT_TRUE(Bind(image));
    preview.Render(true);
    preview.SetScroll(100, 100, true);
    preview.Render(true);

    // A click without Space is the window's: the view stays.
    w.notes.clear();
    ui.Click(w, 200, 200);
    EXPECT_EQ(preview.GetScroll().x, 100);
    EXPECT_EQ(w.Count(QWF_NOTIFY_DRAFT_RENDER) + w.Count(QWF_NOTIFY_FINAL_RENDER), 0);

    // Space-drag: drafts on every move, unlightened, and a final render on release.
    preview.SetLightened(true);
    ui.Ws().KeyDown(qwp::vk::Space);
    w.notes.clear();
    ui.Press(w, 200, 200);
    EXPECT_TRUE(preview.IsPanning());
    ui.MoveTo(w, 190, 180);
    ui.MoveTo(w, 170, 160);
    EXPECT_EQ(XY(preview.GetScroll()), std::make_pair(130, 140));
    EXPECT_EQ(hbar->GetPos(), 180u);
    const uint8_t b = image.GetPlane(0)[static_cast<size_t>(140 + 10) * 1200 + 130 + 10];
    EXPECT_EQ(Shown(10, 10) & 0xFF, b);  // not lightened while panning
    ui.Release(w, 170, 160);
    EXPECT_FALSE(preview.IsPanning());
    const std::vector<int32_t> renders = w.Renders();
    ASSERT_GE(renders.size(), 4u);  // the press and each move, then the release
    EXPECT_EQ(renders.back(), QWF_NOTIFY_FINAL_RENDER);
    for (size_t i = 0; i + 1 < renders.size(); ++i) EXPECT_EQ(renders[i], QWF_NOTIFY_DRAFT_RENDER);
    EXPECT_EQ(Shown(10, 10) & 0xFF, b / 2 + 128u);
    preview.SetLightened(false);

    // Space+Ctrl zooms in and Space+Alt out about the point; the pixel under it stays put.
    const CQWF_CtrlPreview::Point under = preview.ClientToImage(100, 80);
    ui.Ws().KeyDown(qwp::vk::Control);
    ui.Click(w, kView.left + 100, kView.top + 80);
    ui.Ws().KeyUp(qwp::vk::Control);
    EXPECT_EQ(preview.GetZoom(), 5);
    const CQWF_CtrlPreview::Point centre = preview.ClientToImage(200, 150);
    EXPECT_EQ(XY(centre), XY(under));
    ui.Advance(600);
    ui.Ws().KeyDown(qwp::vk::Alt);
    ui.Click(w, kView.left + 200, kView.top + 150);
    ui.Ws().KeyUp(qwp::vk::Alt);
    EXPECT_EQ(preview.GetZoom(), 4);
    ui.Ws().KeyUp(qwp::vk::Space);

    // The wheel needs no Space: two notches in, three out.
    w.notes.clear();
    ui.Wheel(w, kView.left + 50, kView.top + 50, 2);
    EXPECT_EQ(preview.GetZoom(), 6);
    ui.Wheel(w, kView.left + 50, kView.top + 50, -3);
    EXPECT_EQ(preview.GetZoom(), 3);
    EXPECT_EQ(w.Count(QWF_NOTIFY_ZOOM), 5);
    ui.Screenshot(w, "preview_headless_zoomed");
}

TEST_F(Preview, PointerWatchRulersAndNavigator)
{
    CQWF_Image image;
    MakePicture(image, 1000, 800, [](int32_t, int32_t) { return 0xFF4080C0u; });
    ASSERT_TRUE(Bind(image));
    preview.SetUnits(QWF_UNITS_PIXELS);
    preview.Render(true);
    // Over the preview: the image pixel is told, the rulers mark the pointer.
    w.notes.clear();
    ui.MoveTo(w, kView.left + 120, kView.top + 30);
    ASSERT_FALSE(w.notes.empty());
    EXPECT_EQ(w.notes.back().code, QWF_NOTIFY_POINTER);
    EXPECT_EQ(XY(w.notes.back()), std::make_pair(120 + preview.GetScroll().x, 30 + preview.GetScroll().y));
    EXPECT_EQ(hruler->GetView().pointer, 120);
    EXPECT_EQ(vruler->GetView().pointer, 30);
    EXPECT_EQ(hruler->AlphaAt(120, 1), 255);
    EXPECT_EQ(hruler->AlphaAt(120, 0), 0);
    // The view record: at scroll -50 before the image, 50 blank lines lead.
    preview.SetScroll(-50, 0, true);
    preview.Render(true);
    EXPECT_EQ(hruler->GetView().lead, 50);
    EXPECT_EQ(hruler->GetView().first, 0u);
    EXPECT_EQ(hruler->GetView().innerMargin, 1);
    EXPECT_EQ(vruler->GetView().innerMargin, 2);
    preview.SetZoom(6, -1, -1, true);
    preview.SetScroll(1001, 50, true);
    preview.Render(true);
    EXPECT_EQ(hruler->GetView().zoomShift, 2);
    EXPECT_EQ(hruler->GetView().first, 250u);
    EXPECT_EQ(hruler->GetView().phase, 1);
    // Away from the preview for 200 ms: the marks go.
    ui.Ws().MovePointer(5, 5);
    ui.Pump();
    Wait(200);
    EXPECT_EQ(hruler->GetView().pointer, 0xFFFF);
    EXPECT_EQ(hruler->AlphaAt(120, 0), 0);
    EXPECT_EQ(hruler->AlphaAt(120, 1), 0);

    // The navigator: a 1000 x 800 picture in 158 x 118 pixels shows 140 x 112 at (9, 3); the
    // frame of a 400 x 300 view at 1:1 is 57 x 43 pixels.
    preview.SetZoom(4, -1, -1, true);
    preview.SetScroll(0, 0, true);
    preview.Render(true);
    EXPECT_EQ(Edges(preview.GetThumbnailRect()), (Ltrb{9, 3, 9 + 140, 3 + 112}));
    const QWF_Rect frame = preview.GetNavigatorFrame();
    EXPECT_EQ(Edges(frame), (Ltrb{9, 3, 9 + 57, 3 + 43}));
    QWF_Rect r;
    const uint8_t* px = nav->GetStateRect(CQWF_CtrlStaticImage::kNormal, r);
    const int32_t nw = r.right - r.left, nh = r.bottom - r.top;
    auto alpha = [&](int32_t x, int32_t y) { return px[3 * static_cast<size_t>(nw) * nh + static_cast<size_t>(y) * nw + x]; };
    EXPECT_EQ(alpha(frame.left, 100), 255);   // the frame's lines cross the navigator
    EXPECT_EQ(alpha(frame.left + 5, frame.top + 5), 0);
    EXPECT_EQ(alpha(100, 100), 100);
    // Pressing the navigator scrolls the view there (drafts), releasing renders final.
    w.notes.clear();
    ui.Press(w, r.left + 100, r.top + 60);
    EXPECT_GT(preview.GetScroll().x, 400);
    ui.MoveTo(w, r.left + 40, r.top + 30);
    const int32_t sx = preview.GetScroll().x;
    EXPECT_LT(sx, 400);
    ui.Release(w, r.left + 40, r.top + 30);
    EXPECT_EQ(w.notes.back().code, QWF_NOTIFY_FINAL_RENDER);
    EXPECT_GE(w.Count(QWF_NOTIFY_DRAFT_RENDER), 2);
    EXPECT_EQ(preview.GetScroll().x, sx);
    // The wheel over the navigator zooms about the centre, a step a notch.
    ui.Wheel(w, r.left + 40, r.top + 30, 1);
    EXPECT_EQ(preview.GetZoom(), 5);
    ui.Wheel(w, r.left + 40, r.top + 30, -3);
    EXPECT_EQ(preview.GetZoom(), 2);
    // Pictures as wide, or as wide and as high, as the view at 1:1 (the thumbnail's width, or
    // height, is the frame's): pressing the navigator keeps the view where it is.
    for (const int32_t height : {200, 300}) {
        CQWF_Image fits;
        MakePicture(fits, 400, height, [](int32_t, int32_t) { return 0xFF4080C0u; });
        ASSERT_TRUE(Bind(fits));
        preview.SetZoom(4, -1, -1, true);
        preview.Render(true);
        const auto whole = preview.GetScroll();
        ui.Press(w, r.left + 100, r.top + 60);
        ui.Release(w, r.left + 100, r.top + 60);
        EXPECT_EQ(XY(preview.GetScroll()), XY(whole));
    }
    // Bound again without a navigator, the view still renders.
    ASSERT_TRUE(preview.SetSource(kView.left, kView.top, kView.right, kView.bottom, &image, vbar, hbar, hruler, vruler, nullptr));
    w.notes.clear();
    preview.Render(true);
    EXPECT_EQ(w.Codes(), (std::vector<int32_t>{QWF_NOTIFY_FINAL_RENDER}));
}

// --- the ruler ---

namespace {

// The tick length of a line: the 255s from the far end across.
int TickAt(const CQWF_CtrlRuler& ruler, int32_t line)
{
    int n = 0;
    for (int32_t b = ruler.GetBreadth() - 1; b >= 0 && ruler.AlphaAt(line, b) == 255; --b) ++n;
    return n;
}

// Whether the ruler shows the text as a label at the line: each glyph's coverage from 2 lines
// after it, at the inner margin.
bool Label(const CQWF_CtrlRuler& ruler, CQWF_Font* font, int32_t line, const std::string& text)
{
    const bool vertical = ruler.IsVertical();
    int32_t pen = line + 2;
    const int32_t inner = ruler.GetView().innerMargin;
    for (char ch : text) {
        int8_t left, spacing, top;
        uint8_t gw, gh;
        const uint8_t* g = font->GetGlyph(static_cast<uint8_t>(ch), left, spacing, top, gw, gh);
        if (!g) return false;
        const int32_t along = vertical ? gh : gw, across = vertical ? gw : gh;
        for (int32_t a = 0; a < along; ++a)
            for (int32_t b = 0; b < across && inner + b < ruler.GetBreadth(); ++b) {
                const uint8_t want = vertical ? g[a * gw + b] : g[b * gw + a];
                if (ruler.AlphaAt(pen + a, inner + b) != want) return false;
            }
        pen += along + 1;
    }
    return true;
}

// The lines with a label tick (as long as the tick area allows).
std::vector<int32_t> Labelled(const CQWF_CtrlRuler& ruler, int32_t from, int32_t to)
{
    const int label = std::min<int>(CQWF_CtrlRuler::kLabelTick, ruler.GetBreadth() - ruler.GetView().innerMargin);
    std::vector<int32_t> out;
    for (int32_t i = from; i < to; ++i)
        if (TickAt(ruler, i) == label) out.push_back(i);
    return out;
}

}  // namespace

TEST_F(Preview, RulerTicksAndLabelsInPixels)
{
    ASSERT_FALSE(hruler->IsVertical());
    ASSERT_EQ(hruler->GetLength(), 400);
    ASSERT_EQ(hruler->GetBreadth(), 16);
    QWF_RulerView v;
    v.innerMargin = 1;

    // 1:1 from 0: labels at 0, 50, 100; 7 at tens, 4 at fives.
    hruler->SetView(v, true);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 50, 100, 150, 200, 250, 300, 350}));
    EXPECT_TRUE(Label(*hruler, font, 0, "0"));
    EXPECT_TRUE(Label(*hruler, font, 50, "50"));
    EXPECT_TRUE(Label(*hruler, font, 100, "100"));
    for (int32_t line : {10, 20, 30, 40}) EXPECT_EQ(TickAt(*hruler, line), 7) << line;
    for (int32_t line : {5, 15, 25, 35, 45}) EXPECT_EQ(TickAt(*hruler, line), 4) << line;
    for (int32_t line : {11, 12, 13, 14, 16}) EXPECT_EQ(TickAt(*hruler, line), 0) << line;
    EXPECT_EQ(hruler->AlphaAt(10, 0), 0);  // the inner margin stays blank

    // 50 %: each line is two pixels; labels every 50 lines read 0, 100, 200.
    v.zoomShift = -1;
    hruler->SetView(v, true);
    EXPECT_EQ(Labelled(*hruler, 0, 160), (std::vector<int32_t>{0, 50, 100, 150}));
    EXPECT_TRUE(Label(*hruler, font, 50, "100"));
    EXPECT_TRUE(Label(*hruler, font, 100, "200"));
    EXPECT_EQ(TickAt(*hruler, 5), 4);
    EXPECT_EQ(TickAt(*hruler, 10), 7);

    // 4x: a 4 at every 4th line, a 7 at every 40th, labels every 80th reading 0, 20, 40.
    v.zoomShift = 2;
    hruler->SetView(v, true);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 80, 160, 240, 320}));
    EXPECT_TRUE(Label(*hruler, font, 80, "20"));
    EXPECT_TRUE(Label(*hruler, font, 160, "40"));
    EXPECT_EQ(TickAt(*hruler, 40), 7);
    EXPECT_EQ(TickAt(*hruler, 44), 4);
    EXPECT_EQ(TickAt(*hruler, 45), 0);
    // Scrolled by a screen pixel and a half image pixel in: the phase shifts every tick.
    v.first = 10;
    v.phase = 1;
    hruler->SetView(v, true);
    EXPECT_EQ(TickAt(*hruler, 3), 4);
    EXPECT_EQ(TickAt(*hruler, 79), 7);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{39, 119, 199, 279, 359}));
    EXPECT_TRUE(Label(*hruler, font, 39, "20"));

    // Lead and trail stay blank; the pointer is a dotted line; the vertical ruler stacks digits.
    v = QWF_RulerView{};
    v.innerMargin = 1;
    v.lead = 30;
    v.trail = 100;
    v.pointer = 200;
    hruler->SetView(v, true);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{30, 80, 130, 180, 230, 280}));
    EXPECT_TRUE(Label(*hruler, font, 80, "50"));
    for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(hruler->AlphaAt(200, b), (b & 1) ? 255 : 0);
    int ink = 0;
    for (int32_t line = 310; line < 400; ++line)
        for (int32_t b = 0; b < 16; ++b) ink += hruler->AlphaAt(line, b) != 0;
    EXPECT_EQ(ink, 0);
    // A label cut by the ruler's end and a pointer at the end draw nothing past it (line 0,
    // the lead, stays blank).
    const int32_t length = hruler->GetLength();
    v = QWF_RulerView{};
    v.lead = 1;
    v.first = 4 + 400 - length;  // coordinate 400 at line length - 3
    v.pointer = static_cast<uint16_t>(length);
    hruler->SetView(v, true);
    ASSERT_EQ(TickAt(*hruler, length - 3), CQWF_CtrlRuler::kLabelTick);
    for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(hruler->AlphaAt(0, b), 0) << b;
    ASSERT_TRUE(vruler->IsVertical());
    QWF_RulerView vv;
    vv.innerMargin = 2;
    vruler->SetView(vv, true);
    EXPECT_EQ(Labelled(*vruler, 0, 300), (std::vector<int32_t>{0, 50, 100, 150, 200, 250}));
    EXPECT_TRUE(Label(*vruler, font, 150, "150"));
    EXPECT_EQ(TickAt(*vruler, 20), 7);
    ui.Screenshot(w, "ruler_headless_pixels");
}

TEST_F(Preview, RulerTicksAndLabelsInInchesAndCentimetres)
{
    QWF_RulerView v;
    v.innerMargin = 1;
    v.scale = 72;
    // Inches at 72 ppi, 1:1: the finest tick is an eighth (9 lines), a label every inch.
    v.units = QWF_UNITS_INCHES;
    hruler->SetView(v, true);
    const int want[] = {15, 4, 5, 4, 6, 4, 5, 4, 15};
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(TickAt(*hruler, 9 * i), want[i]) << 9 * i;
    EXPECT_EQ(TickAt(*hruler, 4), 0);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 72, 144, 216, 288, 360}));
    EXPECT_TRUE(Label(*hruler, font, 72, "1"));
    EXPECT_TRUE(Label(*hruler, font, 360, "5"));
    // At 4x an inch is 288 lines and every level stays: a 32nd every 9 lines.
    v.zoomShift = 2;
    hruler->SetView(v, true);
    const int fine[] = {15, 2, 3, 2, 4, 2, 3, 2, 5};
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(TickAt(*hruler, 9 * i), fine[i]) << 9 * i;
    EXPECT_EQ(TickAt(*hruler, 144), 6);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 288}));
    v.zoomShift = 0;

    // Centimetres at 72 ppi: ticks every half centimetre (5) and centimetre (7), labels every
    // second centimetre.
    v.units = QWF_UNITS_CM;
    hruler->SetView(v, true);
    EXPECT_EQ(TickAt(*hruler, 15), 5);
    EXPECT_EQ(TickAt(*hruler, 29), 7);
    EXPECT_EQ(TickAt(*hruler, 43), 5);
    EXPECT_EQ(TickAt(*hruler, 14), 0);
    EXPECT_EQ(TickAt(*hruler, 28), 0);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 57, 114, 171, 227, 284, 341, 397}));
    EXPECT_TRUE(Label(*hruler, font, 57, "2"));
    EXPECT_TRUE(Label(*hruler, font, 341, "12"));

    // From an offset: the first line stands at 100 pixels (1.39 in); the next tick is the
    // eighth at 1.5 in (8 lines on), the inch 2 at 44 lines on.
    v.units = QWF_UNITS_INCHES;
    v.first = 100;
    hruler->SetView(v, true);
    EXPECT_EQ(TickAt(*hruler, 8), 6);
    EXPECT_EQ(Labelled(*hruler, 0, 100), (std::vector<int32_t>{44}));
    EXPECT_TRUE(Label(*hruler, font, 44, "2"));

    // Inches without a resolution draw as pixels; percent takes the picture's size.
    v.first = 0;
    v.scale = 0;
    hruler->SetView(v, true);
    EXPECT_EQ(Labelled(*hruler, 0, 120), (std::vector<int32_t>{0, 50, 100}));
    v.units = QWF_UNITS_PERCENT;
    v.scale = 400;  // a line is a quarter percent: ticks every 5 %, labels every 25 %
    hruler->SetView(v, true);
    EXPECT_EQ(TickAt(*hruler, 20), 7);
    EXPECT_EQ(TickAt(*hruler, 10), 0);
    EXPECT_EQ(Labelled(*hruler, 0, 400), (std::vector<int32_t>{0, 100, 200, 300}));
    EXPECT_TRUE(Label(*hruler, font, 100, "25"));
    EXPECT_TRUE(Label(*hruler, font, 300, "75"));
}

// --- the Demo window under X11: every control kind, and a photograph in the preview ---

namespace {

// The sample photograph as RGB with alpha.
bool LoadPhoto(CQWF_Image& photo)
{
    int32_t w = 0, h = 0;
    std::vector<uint8_t> rgba;
    if (!qwtest::ReadPngRgba(qwtest::SourceDir() + "/samples/sample.png", w, h, rgba)) return false;
    if (!photo.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), QWF_IMAGE_RGBA)) return false;
    const size_t plane = photo.GetPlaneSize();
    for (size_t i = 0; i < plane; ++i)
        for (size_t k = 0; k < 4; ++k) photo.GetData()[k * plane + i] = rgba[i * 4 + k];
    return true;
}

}  // namespace

TEST(PreviewX11, DemoWindowShowsAPhotographZoomedAndPannedBySyntheticInput)
{
    qwtest::X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    CQWF_Image photo;
    ASSERT_TRUE(LoadPhoto(photo));
    CQWF_Layer thumbnail;
    CQWF_CtrlPreview preview;
    PreviewWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 40, 40, nullptr, 0));
    auto add = [&](const char* name, uint8_t kind) {
        const int32_t i = w.AddControl(name, kind);
        EXPECT_GE(i, 0) << name;
        return w.GetControl(i);
    };
    // The preview with its bars, rulers and navigator, and the status text (the other kinds show
    // in controls_x11_test.cpp and text_controls_test.cpp).
    auto* text = static_cast<CQWF_CtrlStaticText*>(add("Demo_Text", QWF_CTRL_STATIC_TEXT));
    auto* hbar = static_cast<CQWF_CtrlScrollBar*>(add("Demo_HScroll", QWF_CTRL_SCROLLBAR));
    auto* vbar = static_cast<CQWF_CtrlScrollBar*>(add("Demo_VScroll", QWF_CTRL_SCROLLBAR));
    auto* hruler = static_cast<CQWF_CtrlRuler*>(add("Demo_HRuler", QWF_CTRL_RULER));
    auto* vruler = static_cast<CQWF_CtrlRuler*>(add("Demo_VRuler", QWF_CTRL_RULER));
    // The thumbnail lies beneath the navigator's veil and frame.
    ASSERT_TRUE(thumbnail.Create(461, 41, 158, 118, QWF_IMAGE_RGBA));
    ASSERT_GE(w.AddLayer(&thumbnail), 0);
    auto* nav = static_cast<CQWF_CtrlStaticImage*>(add("Demo_Navigator", QWF_CTRL_STATIC_IMAGE));
    ASSERT_GE(w.AttachControl(&preview), 0);
    ASSERT_FALSE(::testing::Test::HasFailure());
    CQWF_Font* small = w.GetFont(w.LoadFont("Small Font"));
    CQWF_Font* info = w.GetFont(w.LoadFont("Info Font"));
    ASSERT_TRUE(small && info);
    hruler->SetFont(small);
    vruler->SetFont(small);
    text->SetTextFont(info);

    QWF_Rect view;
    ASSERT_TRUE(w.LoadRect("Demo_Preview", view));
    ASSERT_TRUE(preview.SetSource(view.left, view.top, view.right, view.bottom, &photo, vbar, hbar, hruler, vruler, nav));
    preview.SetBackColours(0xFFFFFFFFu, 0xFFC0C0C0u, 0xFF2C2724u, 0xFF322D2Au);
    preview.SetResolution(72, 72);
    preview.SetUnits(QWF_UNITS_CM);
    // The highest level at which the whole picture fits: 1200 x 900 in 400 x 300 is 1/4.
    preview.SetZoom(2, -1, -1, true);
    EXPECT_EQ(preview.GetScroll().x, -50);
    const QWF_Rect t = preview.GetThumbnailRect();
    for (int32_t y = t.top; y < t.bottom; ++y)
        for (int32_t x = t.left; x < t.right; ++x) {
            const size_t sx = static_cast<size_t>(x - t.left) * photo.GetWidth() / (t.right - t.left);
            const size_t sy = static_cast<size_t>(y - t.top) * photo.GetHeight() / (t.bottom - t.top);
            const size_t at = static_cast<size_t>(y) * 158 + x;
            for (int k = 0; k < 3; ++k) thumbnail.GetPlane(k)[at] = photo.GetPlane(k)[sy * photo.GetWidth() + sx];
            thumbnail.GetPlane(3)[at] = 255;
        }
    text->SetTextAt("1200 x 900 at 25 %", 0, 5, 14);
    ASSERT_TRUE(w.Show());
    ui.Pump();
    ui.Screenshot(w, "preview_x11_fit");

    // Two wheel notches over the picture: 1:1 about the pointer.
    ui.Wheel(w, view.left + 200, view.top + 150, 2);
    EXPECT_EQ(preview.GetZoom(), 4);
    // Space-drag pans: the picture follows the pointer.
    const CQWF_CtrlPreview::Point before = preview.GetScroll();
    ui.Ws().FakeKey(qwp::vk::Space, true);
    ui.Pump();
    ui.Drag(w, view.left + 300, view.top + 200, view.left + 180, view.top + 110, 6);
    ui.Ws().FakeKey(qwp::vk::Space, false);
    ui.Pump();
    EXPECT_FALSE(preview.IsPanning());
    EXPECT_EQ(XY(preview.GetScroll()), std::make_pair(before.x + 120, before.y + 90));
    EXPECT_EQ(w.notes.back().code, QWF_NOTIFY_FINAL_RENDER);
    text->SetTextAt("Panned at 1:1", 0, 5, 14);
    ui.Pump();
    const qwtest::Picture panned = ui.Pixels(w);
    ui.Screenshot(w, "preview_x11_panned");
    // What the server shows in the preview is the photograph at the scroll position.
    const CQWF_CtrlPreview::Point s = preview.GetScroll();
    int wrong = 0;
    for (int32_t y = 0; y < 300; y += 7)
        for (int32_t x = 0; x < 400; x += 5) {
            const size_t at = static_cast<size_t>(y + s.y) * photo.GetWidth() + (x + s.x);
            const uint32_t want = uint32_t(photo.GetPlane(0)[at]) << 16 | uint32_t(photo.GetPlane(1)[at]) << 8 | photo.GetPlane(2)[at];
            wrong += panned.At(view.left + x, view.top + y) != want;
        }
    EXPECT_EQ(wrong, 0);

    // Space+Ctrl click zooms in about the point.
    ui.Ws().FakeKey(qwp::vk::Space, true);
    ui.Ws().FakeKey(qwp::vk::Control, true);
    ui.Pump();
    ui.Click(w, view.left + 100, view.top + 100);
    ui.Ws().FakeKey(qwp::vk::Control, false);
    ui.Ws().FakeKey(qwp::vk::Space, false);
    ui.Pump();
    EXPECT_EQ(preview.GetZoom(), 5);
    ui.MoveTo(w, view.left + 250, view.top + 120);
    text->SetTextAt("200 % about the click", 0, 5, 14);
    ui.Pump();
    ui.Screenshot(w, "preview_x11_zoomed");
    w.Close();
}
