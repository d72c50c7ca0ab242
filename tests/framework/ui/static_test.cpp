// Static images, static texts and the progress bar of the compiled Demo window: letters in the
// skin's colours, the disabled looks, mouse forwarding to a parent control, and the progress
// bar's reveal through its threshold map with the percent it reports.
#include <cmath>

#include "demo_controls.h"

using democtl::DemoWindow;
using democtl::Element;
using democtl::Near;

namespace {

// A parent control that records what its static image forwards.
class Parent : public CQWF_Control {
public:
    bool OnChildNotify(int32_t code, int32_t, const char* name, uint8_t kind, void* data) override
    {
        const auto* p = static_cast<const int32_t*>(data);
        std::string s = std::to_string(code) + ":" + name + ":" + std::to_string(kind) + ":" + std::to_string(p[0]) +
                        "," + std::to_string(p[1]);
        if (code == CQWF_CtrlStaticImage::kForwardWheel)
            s += "," + std::to_string(static_cast<const CQWF_CtrlStaticImage::WheelPoint*>(data)->steps);
        log.push_back(s);
        return true;
    }
    std::vector<std::string> log;
};

// Pixels of the rectangle that differ between two pictures.
int Changed(const qwtest::Picture& a, const qwtest::Picture& b, const QWF_Rect& r)
{
    int n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) n += a.At(x, y) != b.At(x, y);
    return n;
}

}  // namespace

TEST_F(DemoWindow, StaticTextsDrawLettersInTheSkinsColoursAndStaticImagesTakeTheSameOperations)
{
    auto* value = Add<CQWF_CtrlStaticText>("Demo_Value", QWF_CTRL_STATIC_TEXT);
    auto* logo = Add<CQWF_CtrlStaticImage>("Demo_Logo", QWF_CTRL_STATIC_IMAGE);
    ASSERT_TRUE(value && logo);
    Show();
    const qwtest::Picture empty = ui.Pixels(w);
    const QWF_Rect vr = value->GetRect();
    EXPECT_EQ(vr.left, 708);
    EXPECT_FALSE(value->HitTestIfEnabled(720, 248));

    // Without a font a text shows nothing; with one, the letters have the Normal image's colour.
    value->SetText("50");
    EXPECT_EQ(Changed(ui.Pixels(w), empty, vr), 0);
    const int32_t font = w.LoadFont("Info Font");
    ASSERT_GE(font, 0);
    value->SetTextFont(w.GetFont(font));
    value->SetTextAt("50", 4, 5, 14);
    Element normal, disabled;
    ASSERT_TRUE(democtl::ReadElement("UIResources>Static Texts>Demo_Value>Normal", normal));
    ASSERT_TRUE(democtl::ReadElement("UIResources>Static Texts>Demo_Value>Disabled", disabled));
    const uint8_t* alpha = value->GetLayer()->GetPlane(3);
    int solid = 0, left = vr.right, top = vr.bottom;
    qwtest::Picture p = ui.Pixels(w);
    for (int32_t y = vr.top; y < vr.bottom; ++y)
        for (int32_t x = vr.left; x < vr.right; ++x) {
            const uint8_t a = alpha[(y - vr.top) * (vr.right - vr.left) + (x - vr.left)];
            if (a) left = std::min(left, x), top = std::min(top, y);
            if (a == 255) {
                ++solid;
                EXPECT_TRUE(Near(p.At(x, y), normal.Rgb(x, y)));
            } else if (!a) {
                EXPECT_EQ(p.At(x, y), empty.At(x, y));
            }
        }
    EXPECT_GT(solid, 8);
    EXPECT_GE(left, vr.left + 4);
    EXPECT_GE(top, vr.top + 5);
    EXPECT_LT(top, vr.top + 10);
    ui.Screenshot(w, "controls_static_text_headless");

    // Disabled with its own image: its colours at full opacity; SetText keeps the placement.
    value->SetEnabled(false);
    value->SetText("75");
    EXPECT_EQ(value->GetOpacity(), 255);
    p = ui.Pixels(w);
    for (int32_t y = vr.top; y < vr.bottom; ++y)
        for (int32_t x = vr.left; x < vr.right; ++x)
            if (alpha[(y - vr.top) * (vr.right - vr.left) + (x - vr.left)] == 255) {
                EXPECT_TRUE(Near(p.At(x, y), disabled.Rgb(x, y)));
            }
    value->SetOpacity(0);
    EXPECT_EQ(Changed(ui.Pixels(w), empty, vr), 0);
    value->SetTextAt(nullptr, 0, 0, 0);  // ignored
    EXPECT_STREQ(value->GetText(), "75");

    // The static image: hit whether enabled or not; without a parent it forwards nothing.
    const QWF_Rect lr = logo->GetRect();
    EXPECT_EQ(lr.left, 12);
    EXPECT_EQ(lr.bottom, 432);
    QWF_Rect sr;
    const uint8_t* pixels = logo->GetStateRect(CQWF_CtrlStatic::kDisabled, sr);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(sr.left, 12);  // no Disabled image: the Normal one
    EXPECT_EQ(democtl::Unlike(ui.Pixels(w), "UIResources>Static Images>Demo_Logo>Normal"), 0);
    logo->SetEnabled(false);
    EXPECT_EQ(logo->GetLayer()->GetOpacity(), 80);
    EXPECT_TRUE(logo->HitTestIfEnabled(30, 400));
    EXPECT_FALSE(logo->OnMouseDown(30, 400, 0));

    // With a parent, moves, presses, releases and the wheel reach it with their points; not
    // before the notify flag is set.
    Parent parent;
    logo->SetParent(&parent);
    ui.Click(w, 31, 401);
    EXPECT_TRUE(parent.log.empty());
    logo->SetNotifyParent(true);
    ui.MoveTo(w, 30, 400);
    ui.Click(w, 31, 401);
    ui.Wheel(w, 32, 402, -2);
    EXPECT_EQ(parent.log, (std::vector<std::string>{"336:Demo_Logo:2:30,400", "336:Demo_Logo:2:31,401",
                                                    "337:Demo_Logo:2:31,401", "338:Demo_Logo:2:31,401",
                                                    "336:Demo_Logo:2:32,402", "339:Demo_Logo:2:32,402,-2"}));

    // A static image given a text shows its picture through the letters, as a static text does.
    logo->SetEnabled(true);
    logo->SetTextFont(w.GetFont(font));
    logo->SetTextAt("I", 20, 10, 14);
    const uint8_t* la = logo->GetLayer()->GetPlane(3);
    int covered = 0;
    for (int32_t i = 0; i < 48 * 48; ++i) covered += la[i] != 0;
    EXPECT_GT(covered, 5);
    EXPECT_LT(covered, 200);
    logo->SetOpacity(128);
    EXPECT_EQ(logo->GetOpacity(), 128);
}

TEST_F(DemoWindow, ProgressRevealsPixelsUpToItsThresholdAndReportsThePercent)
{
    auto* bar = Add<CQWF_CtrlProgress>("Demo_Progress", QWF_CTRL_PROGRESS);
    ASSERT_TRUE(bar);
    // The creation itself draws half the bar and reports it.
    EXPECT_EQ(w.Values("Demo_Progress", QWF_NOTIFY_VALUE), (std::vector<int64_t>{50}));
    Show();
    Element normal, data;
    ASSERT_TRUE(democtl::ReadElement("UIResources>Progresses>Demo_Progress>Normal", normal));
    ASSERT_TRUE(democtl::ReadElement("UIResources>Progresses>Demo_Progress>Data", data));
    const QWF_Rect r = bar->GetRect();
    ASSERT_EQ(r.left, normal.rect.left);
    ASSERT_EQ(r.right - r.left, 288);

    // Each position: the pixels whose threshold is at most t = trunc(share x 255) keep their
    // alpha, the others are hidden.
    bar->SetRange(0.0, 10.0);
    struct Case {
        double pos;
        int64_t percent;
        int threshold;
    };
    for (const Case& c : {Case{2.5, 25, 63}, Case{12.0, 100, 255}, Case{-1.0, 0, 0}, Case{10.0 / 3, 33, 85}}) {
        w.notes.clear();
        bar->SetPos(c.pos);
        EXPECT_EQ(w.Values("Demo_Progress", QWF_NOTIFY_VALUE), (std::vector<int64_t>{c.percent})) << c.pos;
        const uint8_t* alpha = bar->GetLayer()->GetPlane(3);
        int wrong = 0, shown = 0, opaque = 0, atThreshold = 0;
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                const bool visible = data.At(0, x, y) <= c.threshold;
                const uint8_t a = alpha[(y - r.top) * (r.right - r.left) + (x - r.left)];
                wrong += a != (visible ? normal.At(3, x, y) : 0);
                shown += visible && a;
                opaque += normal.At(3, x, y) != 0;
                atThreshold += data.At(0, x, y) == c.threshold && a == normal.At(3, x, y) && a;
            }
        EXPECT_EQ(wrong, 0) << c.pos;
        if (c.percent == 0) {
            EXPECT_EQ(shown, 0);
        } else if (c.percent == 100) {
            EXPECT_EQ(shown, opaque);
        } else if (c.percent == 25) {
            EXPECT_GT(atThreshold, 0);  // a threshold of exactly t stays visible
        }
    }
    EXPECT_DOUBLE_EQ(bar->GetPos(), 10.0 / 3);

    // Whole positions of a 0 to 100 range give their own percent; positions are kept in range.
    bar->SetRange(0.0, 100.0);
    w.notes.clear();
    for (double pos : {29.0, 57.0, 150.0}) bar->SetPos(pos);
    EXPECT_EQ(w.Values("Demo_Progress", QWF_NOTIFY_VALUE), (std::vector<int64_t>{29, 57, 100}));
    EXPECT_EQ(bar->GetPos(), 100.0);

    // An empty range shows nothing and reports 0 %.
    bar->SetRange(5.0, 5.0);
    w.notes.clear();
    bar->SetPos(5.0);
    EXPECT_EQ(w.Values("Demo_Progress", QWF_NOTIFY_VALUE), (std::vector<int64_t>{0}));
    const uint8_t* alpha = bar->GetLayer()->GetPlane(3);
    int visible = 0;
    for (int32_t i = 0; i < 288 * 8; ++i) visible += alpha[i] != 0;
    EXPECT_EQ(visible, 0);

    // The bar hides and shows without losing its position.
    bar->SetRange(0.0, 100.0);
    bar->SetPos(60.0);
    const qwtest::Picture shown = ui.Pixels(w);
    bar->SetBarVisible(false);
    EXPECT_GT(Changed(ui.Pixels(w), shown, r), 100);
    bar->SetBarVisible(true);
    EXPECT_EQ(Changed(ui.Pixels(w), shown, r), 0);
    ui.Screenshot(w, "controls_progress_headless");
}

// Skins without the optional images: a static text without Disabled dims its Normal colours to
// the disabled opacity; a progress bar without Data and a static image without Normal are
// refused. A disabled static image with a Disabled image of its own is hit where that one is.
TEST(StaticSkins, DisabledFallbackAndRequiredImages)
{
    democtl::SmallSkin t(240, 140);
    auto solid = democtl::SmallSkin::Solid;
    t.skin.Image("UIResources>Static Texts>S>Normal", {20, 40, 120, 60}, solid(0xFF00FF00));
    t.skin.Image("UIResources>Progresses>P>Normal", {20, 80, 120, 88}, solid(0xFFFFFFFF));
    t.skin.Image("UIResources>Static Images>I>Disabled", {20, 100, 40, 120}, solid(0xFFFFFFFF));
    t.skin.Image("UIResources>Static Images>J>Normal", {20, 100, 40, 120}, solid(0xFFFFFFFF));
    t.skin.Image("UIResources>Static Images>J>Disabled", {60, 100, 80, 120}, solid(0xFFFFFFFF));
    ASSERT_TRUE(t.Open());
    EXPECT_EQ(t.w.AddControl("P", QWF_CTRL_PROGRESS), -1);
    EXPECT_EQ(t.w.AddControl("I", QWF_CTRL_STATIC_IMAGE), -1);
    EXPECT_EQ(t.w.GetError(), QWF_ERR_SKIN);
    auto* text = t.Add<CQWF_CtrlStaticText>("S", QWF_CTRL_STATIC_TEXT);
    ASSERT_TRUE(text);
    text->SetTextFont(nullptr);
    text->SetEnabled(false);
    EXPECT_EQ(text->GetState(), CQWF_CtrlStatic::kDisabled);
    EXPECT_EQ(text->GetOpacity(), 80);
    text->SetDisabledOpacity(30);
    EXPECT_EQ(text->GetOpacity(), 30);
    text->SetEnabled(true);
    EXPECT_EQ(text->GetOpacity(), 255);
    auto* image = t.Add<CQWF_CtrlStaticImage>("J", QWF_CTRL_STATIC_IMAGE);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->HitTest(30, 110) && !image->HitTest(70, 110));
    image->SetEnabled(false);
    EXPECT_TRUE(image->HitTest(70, 110) && !image->HitTest(30, 110));
}
