// Windows from skins: size, outline, face, positions, shadow, captions and dragging, and the
// refusal of broken skins.
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <tuple>
#include <vector>

#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_uiscript.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::SkinBuilder;

namespace {

struct Windows : ::testing::Test {
    HeadlessUi ui;
    SkinBuilder skin;
    void Load() { ASSERT_TRUE(skin.LoadInto(ui.App())) << ui.App().GetError(); }
};

}  // namespace

TEST_F(Windows, SkinGivesSizeOutlineAndFace)
{
    AddWindowSkin(skin, "Demo", 200, 120);
    skin.Image("UIResources>Windows>Offset>Background", {5, 5, 105, 65}, [](int32_t, int32_t) { return 0xFF102030u; });
    Load();
    RecordingWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", QWF_WHOLE, QWF_WHOLE, nullptr, 7));
    EXPECT_EQ(w.GetWidth(), 200);
    EXPECT_EQ(w.GetHeight(), 120);
    EXPECT_EQ(w.GetUserByte(), 7);
    EXPECT_STREQ(w.GetTitle().GetBuffer(), "Demo");
    // Centred in the work area (1366 x 728 above the task bar).
    QWF_Rect r;
    ASSERT_TRUE(w.GetWindowRect(r));
    EXPECT_EQ(r.left, (1366 - 200) / 2);
    EXPECT_EQ(r.top, (728 - 120) / 2);

    // The outline: one run per row without the cut corners, given to the native window.
    ASSERT_TRUE(w.HasAlphaRegion());
    const auto& region = w.GetRegion();
    ASSERT_EQ(region.size(), 120u);
    EXPECT_EQ(Edges(region[0]), (Ltrb{8, 0, 192, 1}));
    EXPECT_EQ(Edges(region[60]), (Ltrb{0, 60, 200, 61}));
    EXPECT_EQ(ui.Ws().ShapeOf(w.GetHWND())->size(), 120u);

    // The face: background without alpha, the active caption above it, its hole showing the
    // background; the inactive caption hidden.
    ASSERT_TRUE(w.Show());
    qwtest::Picture p = ui.Pixels(w);
    ASSERT_EQ(p.width, 200);
    EXPECT_EQ(p.At(100, 60), kFace);
    EXPECT_EQ(p.At(101, 60), kFace + 1);
    EXPECT_TRUE(Near(p.At(20, 10), kCaption));
    EXPECT_EQ(p.At(160, 10), kFace);
    EXPECT_EQ(w.GetFace()->GetLayerCount(), 3);
    ui.Screenshot(w, "window_demo_headless");

    // The window size is right + left by bottom + top of the Background.
    RecordingWindow offset;
    ASSERT_TRUE(offset.CreateFromSkin("Offset", 0, 0, nullptr, 0));
    EXPECT_EQ(offset.GetWidth(), 110);
    EXPECT_EQ(offset.GetHeight(), 70);
    // A second creation of one window is refused.
    EXPECT_FALSE(offset.Create("x", 0, 0, 10, 10, 0, nullptr, 0, false));
    EXPECT_EQ(offset.GetError(), QWF_ERR_WINDOW_EXISTS);

    // A window is a live one from its construction to its destruction, whatever came after it.
    auto first = std::make_unique<RecordingWindow>();
    RecordingWindow second;
    const std::vector<CQWF_Window*> both = QWF_LiveWindows();
    first.reset();
    std::vector<CQWF_Window*> left = both;
    left.erase(left.end() - 2);
    EXPECT_EQ(QWF_LiveWindows(), left);
}

TEST_F(Windows, OutlineKeepsAtMost3999RunsAndIsOtherwiseTheWholeRectangle)
{
    // Alternate pixels opaque: 100 runs a row; 39 rows of 100 and one of 99 runs make 3999.
    auto background = [](int32_t lastRowRuns) {
        return [=](int32_t x, int32_t y) -> uint32_t {
            bool on = (x & 1) == 0 && (y < 39 || x / 2 < lastRowRuns);
            return (on ? 0xFF000000u : 0u) | 0x405060u;
        };
    };
    skin.Image("UIResources>Windows>Runs3999>Background", {0, 0, 200, 40}, background(99));
    skin.Image("UIResources>Windows>Runs4000>Background", {0, 0, 200, 40}, background(100));
    skin.Image("UIResources>Windows>Plain>Background", {0, 0, 50, 30}, [](int32_t, int32_t) { return 0x80405060u; });
    Load();
    RecordingWindow shaped, square, plain;
    ASSERT_TRUE(shaped.CreateFromSkin("Runs3999", 0, 0, nullptr, 0));
    EXPECT_TRUE(shaped.HasAlphaRegion());
    EXPECT_EQ(shaped.GetRegion().size(), 3999u);
    ASSERT_TRUE(square.CreateFromSkin("Runs4000", 0, 0, nullptr, 0));
    EXPECT_EQ(square.GetError(), 0);
    EXPECT_FALSE(square.HasAlphaRegion());
    ASSERT_EQ(square.GetRegion().size(), 1u);
    // Right and bottom exclusive: the whole window, not one pixel less.
    EXPECT_EQ(Edges(square.GetRegion()[0]), (Ltrb{0, 0, 200, 40}));
    // Alpha 128 is outside: a window all of alpha 128 has no pixel inside its outline.
    ASSERT_TRUE(plain.CreateFromSkin("Plain", 0, 0, nullptr, 0));
    EXPECT_TRUE(plain.GetRegion().empty());
    // An outline comes only from a layer with alpha, and only to a window without one yet.
    CQWF_Layer rgb, rgba;
    ASSERT_TRUE(rgb.Create(0, 0, 4, 4, QWF_IMAGE_RGB) && rgba.Create(0, 0, 4, 4, QWF_IMAGE_RGBA));
    rgba.Fill(0xFFFFFFFF);
    RecordingWindow fresh;
    EXPECT_FALSE(fresh.SetRegionFromAlpha(nullptr) || fresh.SetRegionFromAlpha(&rgb));
    EXPECT_TRUE(fresh.SetRegionFromAlpha(&rgba));
    EXPECT_FALSE(fresh.SetRegionFromAlpha(&rgba) || shaped.SetRegionFromAlpha(&rgba));
    EXPECT_EQ(shaped.GetRegion().size(), 3999u);
}

// A skin element's header followed by `count` bytes of `fill`.
static std::vector<uint8_t> WithHeader(std::initializer_list<uint8_t> header, size_t count, uint8_t fill)
{
    std::vector<uint8_t> bytes(header);
    bytes.insert(bytes.end(), count, fill);
    return bytes;
}

TEST_F(Windows, BrokenElementsRefuseTheWindowButABrokenDragAreaIsLeftOut)
{
    const QWF_Rect r{0, 0, 40, 30};
    auto opaque = [](int32_t, int32_t) { return 0xFF336699u; };
    // Good background under every case but the ones that break it.
    for (const char* n : {"NoCaption", "BadCaption", "ShortDrag", "PlainDrag", "KindDrag", "GoodDrag"})
        skin.Image(std::string("UIResources>Windows>") + n + ">Background", r, opaque);
    skin.Blob("UIResources>Windows>NotPacked>Background", std::vector<uint8_t>(64, 7));
    // 10 x 10 declared, 5 x 5 given
    skin.Blob("UIResources>Windows>ShortPixels>Background",
              SkinBuilder::Pack(WithHeader({0, 0, 0, 0, 0, 10, 0, 10}, 4 * 25, 255)));
    skin.Blob("UIResources>Windows>Inverted>Background",
              SkinBuilder::Pack({0, 20, 0, 0, 0, 10, 0, 10}));
    skin.Blob("UIResources>Windows>Empty>Background", SkinBuilder::Pack({}));
    // A window is right + left wide and bottom + top high: at most 32767 either way.
    const auto clear = [](int32_t, int32_t) { return 0u; };
    skin.Image("UIResources>Windows>Widest>Background", {16383, 0, 16384, 1}, clear);
    skin.Image("UIResources>Windows>Highest>Background", {0, 16383, 1, 16384}, clear);
    skin.Image("UIResources>Windows>TooWide>Background", {16383, 0, 16385, 1}, clear);
    skin.Image("UIResources>Windows>TooHigh>Background", {0, 16383, 1, 16385}, clear);
    skin.DWord("UIResources>Windows>Kind>Background", 5);
    skin.Blob("UIResources>Windows>BadCaption>Caption_Active", SkinBuilder::Pack({1, 2, 3}));
    // one row short
    skin.Blob("UIResources>Windows>ShortDrag>Drag_Area",
              SkinBuilder::Pack(WithHeader({0, 0, 0, 0, 0, 40, 0, 30}, 40 * 29, 200)));
    skin.Blob("UIResources>Windows>PlainDrag>Drag_Area", std::vector<uint8_t>(40 * 30 + 8, 200));
    skin.DWord("UIResources>Windows>KindDrag>Drag_Area", 200);
    // 40 x 10, its block running on past the area's bytes (what follows them is not the area).
    std::vector<uint8_t> drag = WithHeader({0, 0, 0, 0, 0, 40, 0, 10}, 40 * 10, 200);
    drag.insert(drag.end(), 40, 255);
    skin.Blob("UIResources>Windows>GoodDrag>Drag_Area", SkinBuilder::Pack(drag));
    Load();
    for (const char* n : {"Missing", "NotPacked", "ShortPixels", "Inverted", "Empty", "Kind", "BadCaption", "TooWide", "TooHigh"}) {
        RecordingWindow w;
        EXPECT_FALSE(w.CreateFromSkin(n, 0, 0, nullptr, 0)) << n;
        EXPECT_EQ(w.GetError(), QWF_ERR_SKIN) << n;
    }
    // A drag area that cannot be read is left out: the window opens without one.
    for (const char* n : {"ShortDrag", "PlainDrag", "KindDrag"}) {
        RecordingWindow w;
        EXPECT_TRUE(w.CreateFromSkin(n, 0, 0, nullptr, 0)) << n;
        EXPECT_EQ(w.GetError(), 0) << n;
        EXPECT_FALSE(w.IsInDragArea(5, 5)) << n;
        EXPECT_FALSE(w.IsInDragArea(39, 28)) << n;
    }
    RecordingWindow widest, highest, good;
    ASSERT_TRUE(widest.CreateFromSkin("Widest", 0, 0, nullptr, 0) && highest.CreateFromSkin("Highest", 0, 0, nullptr, 0));
    EXPECT_TRUE(widest.GetWidth() == 32767 && highest.GetHeight() == 32767);
    ASSERT_TRUE(good.CreateFromSkin("GoodDrag", 100, 100, nullptr, 0));
    // The drag area's first and last pixels drag, those just past it do not.
    for (const auto& [x, y, in] : {std::tuple{0, 0, true}, std::tuple{39, 9, true}, std::tuple{40, 5, false}, std::tuple{5, 10, false}})
        EXPECT_EQ(good.IsInDragArea(x, y), in) << x << "," << y;
    // No package at all.
    CQWF_App bare;
    CQWF_App* saved = CQWF_App::GetApp();
    CQWF_App::SetApp(&bare);
    RecordingWindow none;
    EXPECT_FALSE(none.CreateFromSkin("NoCaption", 0, 0, nullptr, 0));
    EXPECT_EQ(none.GetError(), QWF_ERR_EMPTY);
    EXPECT_EQ(none.LoadFont("Info Font"), -1);
    CQWF_App::SetApp(saved);
}

TEST_F(Windows, PositionsStayReachableOnTheNearestMonitor)
{
    // Two monitors side by side; the second is taller and has no task bar.
    ui.Ws().SetMonitors({{0, 0, 1366, 768}, {1366, 0, 2646, 1024}}, {{0, 0, 1366, 728}, {1366, 0, 2646, 1024}});
    struct Case {
        int32_t x, y, left, top;
    } cases[] = {
        {5000, 100, 2646 - 20, 100},   // far right: the left edge 20 pixels inside
        {-5000, 100, -100 + 20, 100},  // far left: 20 pixels stay visible
        {100, -50, 100, 0},            // above the top
        {100, 900, 100, 728 - 20},     // below the first monitor's work area
        {1500, 900, 1500, 900},        // fine on the second monitor
        {QWF_WHOLE, 100, -100 + 20, 100},  // an ordinary position, clamped
    };
    for (const Case& c : cases) {
        RecordingWindow w;
        ASSERT_TRUE(w.Create("t", c.x, c.y, 100, 50, 0, nullptr, 0, false));
        QWF_Rect r;
        w.GetWindowRect(r);
        EXPECT_EQ(r.left, c.left) << c.x << "," << c.y;
        EXPECT_EQ(r.top, c.top) << c.x << "," << c.y;
    }
}

TEST_F(Windows, ShadowIsTheBlurredOutlineBesideTheWindow)
{
    // The kernel for the default size 4: 15 weights of 640 / sqrt(2 pi) x exp(-d^2 / 32).
    std::vector<uint32_t> k;
    CQWF_Window::ShadowKernel(4, k);
    EXPECT_EQ(k, (std::vector<uint32_t>{55, 82, 116, 154, 192, 225, 247, 255, 247, 225, 192, 154, 116, 82, 55}));
    CQWF_Window::ShadowKernel(1, k);
    EXPECT_EQ(k.size(), 5u);  // 2 + 3 = 5

    skin.Image("UIResources>Windows>Box>Background", {0, 0, 100, 80}, [](int32_t, int32_t) { return 0xFF202020u; });
    Load();
    ui.App().m_shadow = 1;
    RecordingWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Box", 300, 200, nullptr, 0));
    ASSERT_TRUE(w.HasShadow());
    const qwp::WindowHandle s = w.GetShadowHWND();
    qwp::ScreenRect sr;
    ASSERT_TRUE(ui.Ws().GetWindowRect(s, sr));
    EXPECT_EQ(Edges(sr), (Ltrb{292, 192, 292 + 122, 192 + 102}));
    // Its pixels, the outline blurred by this kernel, are checked whole on the Demo window.
    // The shadow's outline leaves out the window itself, 8 pixels in; the pointer passes it.
    for (const auto& [x, y, in] : {std::tuple{0, 0, true}, std::tuple{121, 101, true}, std::tuple{7, 50, true},
                                   std::tuple{8, 50, false}, std::tuple{107, 87, false}, std::tuple{108, 87, true},
                                   std::tuple{50, 88, true}})
        EXPECT_EQ(Inside(*ui.Ws().ShapeOf(s), x, y), in) << x << "," << y;

    // Shown with the window and behind it; it follows a move.
    w.Show();
    EXPECT_TRUE(ui.Ws().IsVisible(s));
    ui.Ws().MoveWindow(w.GetHWND(), 400, 250);
    ui.Ws().GetWindowRect(s, sr);
    EXPECT_EQ(sr.left, 392);
    EXPECT_EQ(sr.top, 242);
    qwtest::Picture screen = ui.Screen();
    EXPECT_EQ(screen.At(400 + 50, 250 + 40), 0x202020u);
    EXPECT_LT(screen.At(400 + 50, 250 + 80 + 2) & 0xFF, 0x40u);  // darker below the window
    ui.ScreenScreenshot("window_shadow_headless");

    // Without blending there is no shadow window.
    ui.Ws().SetCanBlend(false);
    RecordingWindow flat;
    ASSERT_TRUE(flat.CreateFromSkin("Box", 0, 0, nullptr, 0));
    EXPECT_FALSE(flat.HasShadow());
}

TEST_F(Windows, ActivationSwitchesCaptionsAndTheCaptionDragsTheWindow)
{
    AddWindowSkin(skin, "Demo", 200, 120);
    AddWindowSkin(skin, "Plain", 100, 60, false);
    skin.Image("UIResources>Windows>Plain>Caption_Inactive", {0, 0, 100, 20}, [](int32_t, int32_t) { return 0xFFFF0000u; });
    Load();
    ui.App().m_shadow = 1;
    RecordingWindow a, b, plain;
    ASSERT_TRUE(a.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    ASSERT_TRUE(b.CreateFromSkin("Demo", 600, 100, &a, 0));
    EXPECT_EQ(a.GetOwner(), nullptr);
    EXPECT_EQ(b.GetOwner(), &a);
    // Without an active caption the inactive one is not looked for.
    ASSERT_TRUE(plain.CreateFromSkin("Plain", 100, 400, nullptr, 0));
    EXPECT_EQ(plain.GetFace()->GetLayerCount(), 1);

    a.Show();
    ui.Pump();
    EXPECT_TRUE(Near(ui.Pixels(a).At(20, 10), kCaption));
    b.Show();
    ui.Pump();
    EXPECT_TRUE(Near(ui.Pixels(a).At(20, 10), kCaptionOff));
    EXPECT_TRUE(Near(ui.Pixels(b).At(20, 10), kCaption));
    ui.Click(a, 100, 80);  // a click on the face activates
    EXPECT_TRUE(Near(ui.Pixels(a).At(20, 10), kCaption));
    EXPECT_TRUE(Near(ui.Pixels(b).At(20, 10), kCaptionOff));

    // Dragging by the caption moves the window and its shadow; the caption's hole does not drag.
    ui.Drag(a, 20, 10, 70, 40);
    QWF_Rect r;
    a.GetWindowRect(r);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 130);
    qwp::ScreenRect sr;
    ui.Ws().GetWindowRect(a.GetShadowHWND(), sr);
    EXPECT_EQ(sr.left, 142);
    EXPECT_TRUE(ui.Ws().IsVisible(a.GetShadowHWND()));
    a.log.clear();
    ui.Drag(a, 160, 10, 100, 60);
    a.GetWindowRect(r);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(a.Only("ldown"), (std::vector<std::string>{"ldown:160,10"}));

    // The drag layer is a face layer by index, the active caption here; -1 or an index past
    // the face's layers is none, and the caption drags no more.
    CQWF_Layer* caption = a.GetDragLayer();
    ASSERT_NE(caption, nullptr);
    int64_t index = 0;
    while (index < a.GetFace()->GetLayerCount() && a.GetFace()->GetLayer(index) != caption) ++index;
    for (const int64_t none : {int64_t{-1}, a.GetFace()->GetLayerCount()}) {
        a.SetDragLayer(none);
        EXPECT_EQ(a.GetDragLayer(), nullptr) << none;
        ui.Drag(a, 20, 10, 70, 40);
        a.GetWindowRect(r);
        EXPECT_EQ(r.left, 150) << none;
    }
    a.SetDragLayer(0);  // the first, the background
    EXPECT_EQ(a.GetDragLayer(), a.GetFace()->GetLayer(0));
    a.SetDragLayer(index);
    EXPECT_EQ(a.GetDragLayer(), caption);
    ui.Drag(a, 20, 10, 70, 40);
    a.GetWindowRect(r);
    EXPECT_EQ(r.left, 200);
}
