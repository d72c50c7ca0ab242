// The Demo window's controls through the X11 backend on the test display: synthetic clicks,
// drags, presses and the wheel reach them; the server shows what their window composed; each
// kind is photographed before and after.
#include "demo_controls.h"

using democtl::NoteWindow;
using qwtest::Picture;
using qwtest::X11Ui;

namespace {

// The window's composed face as RGB.
Picture Face(CQWF_Window& w)
{
    Picture p;
    CQWF_Image* image = w.GetFace()->GetImage();
    p.width = image->GetWidth();
    p.height = image->GetHeight();
    const size_t plane = image->GetPlaneSize();
    p.rgb.resize(plane * 3);
    for (size_t i = 0; i < plane; ++i)
        for (int k = 0; k < 3; ++k) p.rgb[i * 3 + k] = image->GetPlane(k)[i];
    return p;
}

// Pixels inside the window's outline where the screen differs from the face.
int Differences(const Picture& shown, const Picture& face, const std::vector<qwp::ScreenRect>& region)
{
    int n = 0;
    for (const auto& r : region)
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) n += shown.At(x, y) != face.At(x, y);
    return n;
}

Picture Crop(const Picture& p, const QWF_Rect& r)
{
    Picture out;
    out.width = r.right - r.left;
    out.height = r.bottom - r.top;
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) {
            const uint32_t c = p.At(x, y);
            out.rgb.insert(out.rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        }
    return out;
}

struct Shot {
    const char* kind;
    QWF_Rect rect;
};
// Each kind's place in the Demo window, with a margin.
const Shot kShots[] = {
    {"button", {656, 476, 756, 516}},   {"check", {456, 200, 580, 232}},   {"radio", {584, 200, 752, 232}},
    {"slider", {512, 232, 708, 264}},   {"ring", {384, 376, 448, 440}},    {"text", {68, 404, 380, 436}},
    {"value", {704, 232, 752, 264}},    {"image", {8, 380, 64, 436}},      {"progress", {456, 268, 752, 284}},
    {"scrollbar", {456, 432, 688, 452}}, {"vscroll", {425, 53, 445, 361}},
};

void Photograph(const Picture& p, const char* stage)
{
    for (const Shot& s : kShots)
        qwtest::WritePng(qwtest::OutputDir("screens") + "/controls_x11_" + s.kind + "_" + stage + ".png", Crop(p, s.rect));
}

}  // namespace

TEST(X11Controls, DemoWindowTakesSyntheticInputAndShowsEachKindInTwoStates)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(democtl::PackagePath().c_str(), true));
    NoteWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 60, 60, nullptr, 0));
    auto add = [&](const char* name, uint8_t kind) {
        const int32_t i = w.AddControl(name, kind);
        EXPECT_GE(i, 0) << name;
        return w.GetControl(i);
    };
    auto* ok = static_cast<CQWF_CtrlButton*>(add("Demo_OK", QWF_CTRL_BUTTON));
    add("Demo_Cancel", QWF_CTRL_BUTTON);
    auto* check = static_cast<CQWF_CtrlCheckBox*>(add("Demo_Check", QWF_CTRL_CHECKBOX));
    auto* rows = static_cast<CQWF_CtrlRadioButton*>(add("Demo_Rows", QWF_CTRL_RADIO));
    auto* columns = static_cast<CQWF_CtrlRadioButton*>(add("Demo_Columns", QWF_CTRL_RADIO));
    auto* amount = static_cast<CQWF_CtrlSlider*>(add("Demo_Slider", QWF_CTRL_SLIDER));
    auto* angle = static_cast<CQWF_CtrlSlider*>(add("Demo_Angle", QWF_CTRL_SLIDER));
    auto* value = static_cast<CQWF_CtrlStaticText*>(add("Demo_Value", QWF_CTRL_STATIC_TEXT));
    auto* text = static_cast<CQWF_CtrlStaticText*>(add("Demo_Text", QWF_CTRL_STATIC_TEXT));
    auto* logo = static_cast<CQWF_CtrlStaticImage*>(add("Demo_Logo", QWF_CTRL_STATIC_IMAGE));
    auto* progress = static_cast<CQWF_CtrlProgress*>(add("Demo_Progress", QWF_CTRL_PROGRESS));
    auto* bar = static_cast<CQWF_CtrlScrollBar*>(add("Demo_Scroll", QWF_CTRL_SCROLLBAR));
    const int32_t left = w.AddControl("Demo_ScrollLeft", QWF_CTRL_BUTTON);
    const int32_t right = w.AddControl("Demo_ScrollRight", QWF_CTRL_BUTTON);
    auto* vertical = static_cast<CQWF_CtrlScrollBar*>(add("Demo_VScroll", QWF_CTRL_SCROLLBAR));
    ASSERT_FALSE(::testing::Test::HasFailure());
    ASSERT_TRUE(bar->AttachButtons(left, right));
    const int32_t font = w.LoadFont("Info Font");
    ASSERT_GE(font, 0);
    for (CQWF_CtrlStaticText* t : {value, text}) t->SetTextFont(w.GetFont(font));
    value->SetTextAt("0", 4, 5, 14);
    text->SetTextAt("Ready to cut", 0, 5, 14);
    progress->SetPos(20);
    vertical->SetRange(100, 30);
    w.Show();
    ui.Pump();
    ASSERT_TRUE(ui.Ws().IsOnScreen(w.GetHWND()));
    Picture before = ui.Pixels(w);
    EXPECT_EQ(Differences(before, Face(w), w.GetRegion()), 0);
    Photograph(before, "a");
    ui.Screenshot(w, "controls_x11_demo_a");

    // Clicks: the check box, a radio button.
    ui.Click(w, 466, 216);
    ui.Click(w, 594, 216);
    EXPECT_TRUE(check->GetCheck());
    EXPECT_TRUE(rows->GetCheck());
    EXPECT_FALSE(columns->GetCheck());
    EXPECT_EQ(w.Values("Demo_Check", QWF_NOTIFY_CLICK), (std::vector<int64_t>{1}));
    // A drag of the slider's thumb to point 60; the ring's thumb to its bottom.
    const CQWF_CtrlSlider::Point* p60 = amount->GetPoint(60);
    ui.Drag(w, amount->GetPoint(0)->x, 248, p60->x, 250, 6);
    EXPECT_EQ(amount->GetValue(), 60u);
    EXPECT_EQ(w.Values("Demo_Slider", QWF_NOTIFY_VALUE), (std::vector<int64_t>{0, 60}));
    EXPECT_FALSE(w.Of("Demo_Slider", QWF_NOTIFY_VALUE_CHANGING).empty());
    ui.Drag(w, 416, 388, 416, 429, 3);
    EXPECT_EQ(angle->GetValue(), 180u);
    // The wheel on the vertical bar (reversed: up is back), a step button and a thumb drag.
    vertical->SetPos(50);
    ui.Wheel(w, 435, 200, 3);
    EXPECT_EQ(vertical->GetPos(), 47u);
    ui.Click(w, 678, 442);
    EXPECT_GE(bar->GetPos(), 1u);  // more only when the press outlasted the repeat delay
    ui.Drag(w, bar->GetThumbRect().left + 5, 442, 600, 442, 5);
    EXPECT_GT(bar->GetPos(), 50u);
    EXPECT_EQ(w.Of("Demo_Scroll", QWF_NOTIFY_VALUE).back().value, int64_t(bar->GetPos()));
    // Values set in code, disabled looks.
    progress->SetPos(85);
    value->SetText("60");
    text->SetEnabled(false);
    logo->SetEnabled(false);
    // The OK button held down, then released inside: one click.
    ui.Press(w, 706, 496);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kPressed);
    const Picture after = ui.Pixels(w);
    EXPECT_EQ(Differences(after, Face(w), w.GetRegion()), 0);
    Photograph(after, "b");
    ui.Screenshot(w, "controls_x11_demo_b");
    ui.Release(w, 706, 496);
    EXPECT_EQ(w.Of("Demo_OK", QWF_NOTIFY_CLICK).size(), 1u);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kHighlighted);
    // Every kind changed its look.
    for (const Shot& s : kShots) {
        const Picture a = Crop(before, s.rect), b = Crop(after, s.rect);
        EXPECT_NE(a.rgb, b.rgb) << s.kind;
    }
    w.Close();
}
