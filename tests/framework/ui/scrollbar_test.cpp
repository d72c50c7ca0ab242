// Scroll bars of the compiled Demo window: the thumb stretched to the page's share of a
// 200-pixel track, its placement, the steps and their limits, paging while the track is held,
// dragging, step buttons, the wheel of a vertical bar, and skins without the thumb's middle or
// without step buttons.
#include "demo_controls.h"

using democtl::DemoWindow;
using democtl::Element;

namespace {
const std::string kScroll = "UIResources>Scroll Bars>Demo_Scroll>";
}  // namespace

TEST_F(DemoWindow, ScrollBarThumbFollowsRangeAndPageAndTheStepsKeepWithinRange)
{
    auto* bar = Add<CQWF_CtrlScrollBar>("Demo_Scroll", QWF_CTRL_SCROLLBAR);
    ASSERT_TRUE(bar);
    EXPECT_TRUE(w.notes.empty());  // creation reports nothing
    EXPECT_FALSE(bar->IsVertical());
    const QWF_Rect track = bar->GetTrack();
    ASSERT_EQ(track.right - track.left, 200);
    Show();

    // A track of 200: range 100 and page 10 give a thumb of 20 pixels, range 3 and page 1 one
    // of 66; a range below the page fills the track.
    EXPECT_EQ(bar->GetThumbLength(), 20);
    bar->SetRange(3, 1);
    EXPECT_EQ(bar->GetThumbLength(), 66);
    bar->SetRange(5, 10);
    EXPECT_EQ(uitest::RangeAndPage(bar), std::make_pair(10u, 10u));
    EXPECT_EQ(bar->GetThumbLength(), 200);
    EXPECT_EQ(bar->GetThumbRect().left, track.left);
    EXPECT_EQ(bar->GetPos(), 0u);

    // The thumb art: four head columns, the middle column repeated, four tail columns.
    bar->SetRange(100, 10);
    bar->SetPos(45);
    const QWF_Rect t = bar->GetThumbRect();
    EXPECT_EQ(t.left, track.left + 90);
    EXPECT_EQ(t.right, track.left + 110);
    Element art;
    ASSERT_TRUE(democtl::ReadElement(kScroll + "Thumb_Normal", art));
    ASSERT_EQ(art.W(), 9);
    CQWF_Layer* layer = bar->GetThumbLayer();
    EXPECT_EQ(layer->GetX(), t.left);
    int wrong = 0;
    for (int32_t i = 0; i < layer->GetWidth(); ++i) {
        const int32_t source = i < 4 ? i : i < 16 ? 4 : i < 20 ? 5 + (i - 16) : -1;
        for (int32_t y = 0; y < art.H(); ++y)
            for (int p = 0; p < 4; ++p) {
                const uint8_t want = source < 0 ? 0 : art.At(p, art.rect.left + source, art.rect.top + y);
                wrong += layer->GetPlane(p)[(y + art.rect.top - layer->GetY()) * layer->GetWidth() + i] != want;
            }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(t.left + 10, (t.top + t.bottom) / 2),
                              art.Rgb(art.rect.left + 4, (art.rect.top + art.rect.bottom) / 2)));

    // Steps: the last position is 90 and stays so, still reported; a page is page - 1, at least 1.
    w.notes.clear();
    bar->SetPos(95);
    EXPECT_EQ(bar->LineDown(), 90u);
    bar->SetPos(0);
    EXPECT_EQ(bar->PageDown(), 0u);
    bar->PageUp();
    bar->PageUp();
    bar->LineUp();
    bar->SetRange(100, 1);
    bar->PageDown();
    bar->SetRange(100, 0);
    bar->PageDown();
    EXPECT_EQ(bar->GetThumbLength(), 8);  // no page: the thumb is its two ends
    EXPECT_EQ(w.Values("Demo_Scroll", QWF_NOTIFY_VALUE), (std::vector<int64_t>{90, 90, 0, 9, 0, 0, 0, 0, 1, 1, 2}));
}

TEST_F(DemoWindow, ScrollBarPagesWhileTheTrackIsHeldDragsAndStepsWithItsButtons)
{
    auto* bar = Add<CQWF_CtrlScrollBar>("Demo_Scroll", QWF_CTRL_SCROLLBAR);
    const int32_t left = w.AddControl("Demo_ScrollLeft", QWF_CTRL_BUTTON);
    const int32_t right = w.AddControl("Demo_ScrollRight", QWF_CTRL_BUTTON);
    auto* vertical = Add<CQWF_CtrlScrollBar>("Demo_VScroll", QWF_CTRL_SCROLLBAR);
    ASSERT_TRUE(bar && vertical && left >= 0 && right >= 0);
    EXPECT_FALSE(bar->AttachButtons(left, 99));
    ASSERT_TRUE(bar->AttachButtons(left, right));
    Show();

    // Held on the track beyond the thumb: a page at once, then from 550 ms one every 50 ms
    // until the thumb covers the pointer (its end included).
    const uint32_t t0 = qwp::TickCount();
    ui.Press(w, 600, 442);
    Wait(1000);
    const auto pages = w.Of("Demo_Scroll", QWF_NOTIFY_VALUE);
    ASSERT_EQ(pages.size(), 6u);
    const uint32_t when[] = {0, 550, 600, 650, 700, 750};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(pages[i].value, int64_t(9 * (i + 1)));
        EXPECT_EQ(pages[i].time - t0, when[i]);
    }
    EXPECT_EQ(bar->GetThumbRect().right, 600);
    ui.Release(w, 600, 442);
    bar->SetPos(90);
    bar->SetPos(54);
    Wait(200);
    EXPECT_EQ(w.Of("Demo_Scroll").size(), 8u);

    // A drag reports 261 only when the position changes and 256 once at the release.
    w.notes.clear();
    ui.Press(w, 590, 442);
    EXPECT_TRUE(bar->IsDragging());
    for (int32_t x : {600, 600, 601, 602, 800}) ui.MoveTo(w, x, 442);
    ui.Release(w, 800, 442);
    EXPECT_EQ(w.Values("Demo_Scroll", QWF_NOTIFY_VALUE_CHANGING), (std::vector<int64_t>{59, 60, 90}));
    EXPECT_EQ(w.Values("Demo_Scroll", QWF_NOTIFY_VALUE), (std::vector<int64_t>{90}));
    EXPECT_EQ(bar->GetThumbRect().left, 652);

    // The step buttons step it, held ones repeating; the window hears only the bar.
    bar->SetPos(50);
    w.notes.clear();
    ui.Click(w, 678, 442);
    ui.Press(w, 466, 442);
    Wait(600);
    ui.Release(w, 466, 442);
    EXPECT_EQ(w.Values("Demo_Scroll", QWF_NOTIFY_VALUE), (std::vector<int64_t>{51, 50, 49, 48}));
    EXPECT_TRUE(w.Of("Demo_ScrollLeft").empty());

    // Disabling the bar disables its buttons.
    bar->SetEnabled(false);
    EXPECT_FALSE(w.GetControl(left)->IsEnabled());
    EXPECT_FALSE(w.GetControl(right)->IsEnabled());
    EXPECT_EQ(bar->GetThumbLayer()->GetOpacity(), 80);
    ui.Click(w, 678, 442);
    EXPECT_EQ(bar->GetPos(), 48u);
    bar->SetEnabled(true);
    EXPECT_TRUE(w.GetControl(right)->IsEnabled());

    // A vertical bar reverses the wheel: three notches up are three steps up; it has no buttons.
    EXPECT_TRUE(vertical->IsVertical());
    vertical->SetPos(50);
    w.notes.clear();
    ui.Wheel(w, 435, 200, 3);
    EXPECT_EQ(w.Values("Demo_VScroll", QWF_NOTIFY_VALUE), (std::vector<int64_t>{49, 48, 47}));
    EXPECT_FALSE(vertical->OnChildNotify(QWF_NOTIFY_CLICK, 0, "", QWF_CTRL_BUTTON, nullptr));
    vertical->SetEnabled(false);
    vertical->SetEnabled(true);
    EXPECT_EQ(vertical->GetPos(), 47u);
    ui.Screenshot(w, "controls_scrollbar_headless");
}

// A thumb without middle pixels keeps the length of its ends; a bar without Thumb_Data or
// track words is refused.
TEST(ScrollBarSkins, ThumbWithoutMiddleAndRequiredEntries)
{
    democtl::SmallSkin t(240, 140);
    auto& skin = t.skin;
    auto bar = [&](const std::string& name, bool data, bool words, bool middle) {
        const std::string f = "UIResources>Scroll Bars>" + name + ">";
        skin.Byte(f + "Is Vertical", 1);
        skin.Image(f + "Background_Normal", {20, 20, 32, 120}, [](int32_t, int32_t) { return 0xFF303030u; });
        skin.Image(f + "Thumb_Normal", {22, 20, 30, 30}, [](int32_t, int32_t) { return 0xFFC0C0C0u; });
        if (data)
            skin.Image(f + "Thumb_Data", {22, 20, 30, 30}, [=](int32_t, int32_t y) {
                return y < 24 ? 0xFFFF0000u : (middle && y < 26) ? 0xFF0000FFu : 0xFF00FF00u;
            });
        if (words) {
            skin.Word(f + "Rect Left", 20);
            skin.Word(f + "Rect Top", 20);
            skin.Word(f + "Rect Right", 32);
            skin.Word(f + "Rect Bottom", 120);
        }
    };
    bar("Flat", true, true, false);
    bar("Full", true, true, true);
    bar("NoData", false, true, true);
    bar("NoWords", true, false, true);
    ASSERT_TRUE(t.Open());
    auto& ui = t.ui;
    auto& w = t.w;
    EXPECT_EQ(w.AddControl("NoData", QWF_CTRL_SCROLLBAR), -1);
    EXPECT_EQ(w.AddControl("NoWords", QWF_CTRL_SCROLLBAR), -1);
    EXPECT_EQ(w.GetError(), QWF_ERR_SKIN);
    auto* full = t.Add<CQWF_CtrlScrollBar>("Full", QWF_CTRL_SCROLLBAR);
    auto* flat = t.Add<CQWF_CtrlScrollBar>("Flat", QWF_CTRL_SCROLLBAR);
    ASSERT_TRUE(full && flat);
    w.Show();
    ui.Pump();
    full->SetRange(4, 2);
    EXPECT_EQ(full->GetThumbLength(), 50);
    flat->SetRange(4, 2);
    EXPECT_EQ(flat->GetThumbLength(), 10);  // four head and six tail rows, nothing to stretch
    flat->SetPos(2);
    EXPECT_EQ(flat->GetThumbRect().bottom, 120);
    ui.Press(w, 26, 116);
    ui.MoveTo(w, 26, 20);
    ui.Release(w, 26, 20);
    EXPECT_EQ(flat->GetPos(), 0u);
    flat->SetEnabled(false);  // no step buttons to tell
    flat->SetEnabled(true);
}
