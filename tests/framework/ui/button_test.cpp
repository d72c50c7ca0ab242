// Buttons, check boxes and radio buttons of the compiled Demo window on the virtual clock: their
// looks follow the pointer, the hit mask and the enabling; clicks, auto-repeat and the
// notify-at-press mode report 272 with their data; the checked states and radio groups.
#include "demo_controls.h"

using democtl::DemoWindow;

namespace {
const std::string kOk = "UIResources>Buttons>Demo_OK>";
const std::string kCheck = "UIResources>Check Boxes>Demo_Check>";
const std::string kRows = "UIResources>Radio Buttons>Demo_Rows>";
}  // namespace

TEST_F(DemoWindow, ButtonLooksFollowThePointerAndOnlyAReleaseInsideClicks)
{
    auto* ok = Add<CQWF_CtrlButton>("Demo_OK", QWF_CTRL_BUTTON);
    ASSERT_TRUE(ok);
    Show();
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kNormal);
    EXPECT_EQ(Unlike(kOk + "Normal"), 0);
    EXPECT_GT(Unlike(kOk + "Highlighted"), 100);  // the looks differ

    // The mask, not the rectangle, is the button: its rounded corner takes nothing.
    const QWF_Rect r = ok->GetRect();
    EXPECT_EQ(r.left, 664);
    EXPECT_EQ(r.bottom, 508);
    ui.Click(w, r.left, r.top);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kNormal);
    EXPECT_TRUE(w.notes.empty());

    // Hover; the pointer leaving the window sends no move, the hover watch notices within 50 ms.
    ui.MoveTo(w, 706, 496);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kHighlighted);
    EXPECT_EQ(Unlike(kOk + "Highlighted"), 0);
    Away();
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kHighlighted);
    Wait(50);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kNormal);
    EXPECT_EQ(Unlike(kOk + "Normal"), 0);

    // Pressed, dragged out, released outside: no click.
    ui.Press(w, 706, 496);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kPressed);
    EXPECT_EQ(Unlike(kOk + "Pressed"), 0);
    ui.MoveTo(w, 600, 496);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kPressedOut);
    EXPECT_EQ(Unlike(kOk + "Pressed Mouse Out"), 0);
    ui.Release(w, 600, 496);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kNormal);
    EXPECT_TRUE(w.notes.empty());

    // Dragged back in before the release: one click, its data the modifier bits.
    ui.Press(w, 706, 496);
    ui.MoveTo(w, 600, 496);
    ui.MoveTo(w, 700, 500);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kPressed);
    ui.Ws().KeyDown(qwp::vk::Shift);
    ui.Release(w, 700, 500);
    ui.Ws().KeyUp(qwp::vk::Shift);
    ASSERT_EQ(w.Of("Demo_OK").size(), 1u);
    EXPECT_EQ(w.notes[0].code, QWF_NOTIFY_CLICK);
    EXPECT_EQ(w.notes[0].value, QWF_MOD_SHIFT);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kHighlighted);

    // Disabled: its own image, never hit, no click; enabled again under the pointer: hover.
    ok->SetEnabled(false);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kDisabled);
    EXPECT_EQ(Unlike(kOk + "Disabled"), 0);
    EXPECT_FALSE(ok->HitTestIfEnabled(706, 496));
    ui.Click(w, 706, 496);
    EXPECT_EQ(w.notes.size(), 1u);
    ok->SetEnabled(true);
    EXPECT_EQ(ok->GetVisualState(), CQWF_CtrlButton::kHighlighted);
    ui.Screenshot(w, "controls_button_headless");
}

TEST_F(DemoWindow, AutoRepeatStartsAfter550msThenEvery50msAndNotifyOnPressClicksAtOnce)
{
    auto* zoom = Add<CQWF_CtrlButton>("Demo_ZoomIn", QWF_CTRL_BUTTON);
    auto* menu = Add<CQWF_CtrlButton>("Demo_Menu", QWF_CTRL_BUTTON);
    ASSERT_TRUE(zoom && menu);
    zoom->SetAutoRepeat(true);
    menu->SetNotifyOnPress(true);
    Show();

    const uint32_t t0 = qwp::TickCount();
    ui.Press(w, 644, 52);
    Wait(1000);
    ui.Release(w, 644, 52);
    const auto clicks = w.Of("Demo_ZoomIn", QWF_NOTIFY_CLICK);
    ASSERT_EQ(clicks.size(), 11u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(clicks[i].time - t0, 550u + 50u * i);
        EXPECT_FALSE(clicks[i].hasData);  // a repeat carries no modifiers
    }
    EXPECT_EQ(clicks[10].time - t0, 1000u);  // the release inside
    EXPECT_TRUE(clicks[10].hasData);
    Wait(300);
    EXPECT_EQ(w.Of("Demo_ZoomIn").size(), 11u);

    // A press held briefly repeats nothing.
    ui.Press(w, 644, 52);
    Wait(540);
    ui.Release(w, 644, 52);
    Wait(300);
    EXPECT_EQ(w.Of("Demo_ZoomIn").size(), 12u);

    // Notify at press: the click comes with the press, the press ends at once and is never drawn.
    ui.Press(w, 728, 52);
    ASSERT_EQ(w.Of("Demo_Menu").size(), 1u);
    EXPECT_TRUE(w.Of("Demo_Menu")[0].hasData);
    EXPECT_NE(menu->GetVisualState(), CQWF_CtrlButton::kPressed);
    EXPECT_FALSE(menu->IsPressed());
    EXPECT_EQ(w.GetCaptureIndex(), -1);
    ui.Release(w, 728, 52);
    EXPECT_EQ(w.Of("Demo_Menu").size(), 1u);
}

TEST_F(DemoWindow, CheckBoxTogglesOnReleaseInsideAndKeepsItsDisabledLookWhenSetInCode)
{
    auto* check = Add<CQWF_CtrlCheckBox>("Demo_Check", QWF_CTRL_CHECKBOX);
    ASSERT_TRUE(check);
    Show();
    EXPECT_EQ(check->GetVisualState(), 2);
    EXPECT_EQ(Unlike(kCheck + "Normal Off"), 0);
    EXPECT_GT(Unlike(kCheck + "Highlighted Off"), 10);

    ui.Click(w, 466, 216);
    EXPECT_TRUE(check->GetCheck());
    EXPECT_EQ(check->GetVisualState(), 3);
    EXPECT_EQ(Unlike(kCheck + "Highlighted On"), 0);
    ui.Click(w, 466, 216);
    EXPECT_FALSE(check->GetCheck());
    EXPECT_EQ(check->GetVisualState(), 4);
    EXPECT_EQ(w.Values("Demo_Check", QWF_NOTIFY_CLICK), (std::vector<int64_t>{1, 0}));

    // Pressed, out, released outside: unchanged.
    ui.Press(w, 466, 216);
    EXPECT_EQ(check->GetVisualState(), 6);
    EXPECT_EQ(Unlike(kCheck + "Pressed Off"), 0);
    ui.MoveTo(w, 466, 260);
    EXPECT_EQ(check->GetVisualState(), 8);
    ui.Release(w, 466, 260);
    EXPECT_FALSE(check->GetCheck());
    EXPECT_EQ(check->GetVisualState(), 2);

    // In code: silently, not at all when unchanged, or as if clicked.
    check->SetCheck(true, false);
    EXPECT_EQ(check->GetVisualState(), 1);
    check->SetCheck(true, true);
    check->SetCheck(false, true);
    EXPECT_EQ(w.Values("Demo_Check", QWF_NOTIFY_CLICK), (std::vector<int64_t>{1, 0, 0}));

    // Disabled, then changed in code: the disabled look stays, the check shows in it.
    check->SetEnabled(false);
    EXPECT_EQ(check->GetVisualState(), 10);
    check->SetCheck(true, false);
    EXPECT_EQ(check->GetVisualState(), 9);
    EXPECT_EQ(Unlike(kCheck + "Disabled On"), 0);
    ui.Click(w, 466, 216);
    EXPECT_TRUE(check->GetCheck());
    EXPECT_EQ(w.Of("Demo_Check").size(), 3u);
    Away();
    check->SetEnabled(true);
    EXPECT_EQ(check->GetVisualState(), 1);
    EXPECT_EQ(Unlike(kCheck + "Normal On"), 0);
}

TEST_F(DemoWindow, RadioButtonsCheckOneOfTheirGroupAndCannotBeClickedOff)
{
    auto* rows = Add<CQWF_CtrlRadioButton>("Demo_Rows", QWF_CTRL_RADIO);
    auto* columns = Add<CQWF_CtrlRadioButton>("Demo_Columns", QWF_CTRL_RADIO);
    ASSERT_TRUE(rows && columns);
    EXPECT_EQ(rows->GetRadioGroup(), 1);
    EXPECT_EQ(columns->GetRadioGroup(), 1);
    Show();

    ui.MoveTo(w, 594, 216);
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kHighlighted);
    ui.Press(w, 594, 216);
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kPressed);
    ui.Release(w, 594, 216);
    EXPECT_TRUE(rows->GetCheck());
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kNormalOn);
    EXPECT_EQ(Unlike(kRows + "Normal On"), 0);
    ui.Click(w, 666, 216);
    EXPECT_TRUE(columns->GetCheck());
    EXPECT_FALSE(rows->GetCheck());
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kNormalOff);
    ASSERT_EQ(w.notes.size(), 2u);
    EXPECT_TRUE(w.notes[0].hasData && w.notes[1].hasData);
    EXPECT_EQ(w.notes[1].name, "Demo_Columns");

    // A checked radio button takes the click and does nothing.
    ui.Click(w, 666, 216);
    EXPECT_TRUE(columns->GetCheck());
    EXPECT_EQ(columns->GetVisualState(), CQWF_CtrlRadioButton::kNormalOn);
    EXPECT_EQ(w.notes.size(), 2u);

    // Checking in code without notification leaves the group alone; with it, the group is
    // unchecked and 272 comes without data.
    rows->SetCheck(true, false);
    EXPECT_TRUE(columns->GetCheck());
    rows->SetCheck(false, false);
    rows->SetCheck(true, true);
    EXPECT_FALSE(columns->GetCheck());
    ASSERT_EQ(w.notes.size(), 3u);
    EXPECT_FALSE(w.notes[2].hasData);

    // A disabled member unchecked by its group keeps the disabled look.
    rows->SetEnabled(false);
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kDisabledOn);
    ui.Click(w, 666, 216);
    EXPECT_FALSE(rows->GetCheck());
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kDisabledOff);
    EXPECT_EQ(Unlike(kRows + "Disabled Off"), 0);
    // Checked again in code while disabled: still the disabled look, now checked.
    rows->SetCheck(true, false);
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kDisabledOn);
    rows->SetCheck(false, false);
    EXPECT_EQ(rows->GetVisualState(), CQWF_CtrlRadioButton::kDisabledOff);
    ui.Screenshot(w, "controls_radio_check_headless");
}

// Skins without the optional images: the fallbacks of the state tables, the disabled opacity,
// and refusal without a required one.
TEST(ButtonSkins, MissingOptionalImagesFallBackAndMissingRequiredOnesRefuse)
{
    democtl::SmallSkin t(240, 140);
    auto solid = democtl::SmallSkin::Solid;
    const QWF_Rect b{20, 40, 80, 64}, c{20, 80, 120, 104}, r{140, 40, 200, 64};
    t.skin.Image("UIResources>Buttons>B>Normal", b, solid(0xFF102030));
    t.skin.Image("UIResources>Buttons>B>Data", b, solid(0xFFFFFFFF));
    t.skin.Image("UIResources>Buttons>NoData>Normal", b, solid(0xFF102030));
    t.skin.Image("UIResources>Check Boxes>C>Normal On", c, solid(0xFF00FF00));
    t.skin.Image("UIResources>Check Boxes>C>Normal Off", c, solid(0xFFFF0000));
    t.skin.Image("UIResources>Check Boxes>C>Data", c, solid(0xFFFFFFFF));
    t.skin.Image("UIResources>Radio Buttons>R>Normal On", r, solid(0xFF00FF00));
    t.skin.Image("UIResources>Radio Buttons>R>Normal Off", r, solid(0xFFFF0000));
    t.skin.Image("UIResources>Radio Buttons>R>Data", r, solid(0xFFFFFFFF));
    ASSERT_TRUE(t.Open());
    auto& ui = t.ui;
    auto& w = t.w;
    EXPECT_EQ(w.AddControl("NoData", QWF_CTRL_BUTTON), -1);
    EXPECT_EQ(w.GetError(), QWF_ERR_SKIN);
    auto* button = t.Add<CQWF_CtrlButton>("B", QWF_CTRL_BUTTON);
    auto* check = t.Add<CQWF_CtrlCheckBox>("C", QWF_CTRL_CHECKBOX);
    auto* radio = t.Add<CQWF_CtrlRadioButton>("R", QWF_CTRL_RADIO);
    ASSERT_TRUE(button && check && radio);
    EXPECT_EQ(radio->GetRadioGroup(), 0);  // no Group ID
    w.Show();
    ui.Pump();

    // Every state of the button draws Normal; disabled at the disabled opacity, which follows
    // a change of the opacity.
    ui.Press(w, 50, 50);
    EXPECT_EQ(button->GetVisualState(), CQWF_CtrlButton::kPressed);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(50, 50), 0x102030u));
    ui.Release(w, 50, 50);
    button->SetEnabled(false);
    EXPECT_EQ(button->GetLayer()->GetOpacity(), 80);
    button->SetDisabledOpacity(0);
    EXPECT_EQ(button->GetLayer()->GetOpacity(), 0);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(50, 50), uitest::kFace + 0u));
    button->SetEnabled(true);
    EXPECT_EQ(button->GetLayer()->GetOpacity(), 255);

    // A check box without Highlighted images shows Normal On/Off while hovered.
    ui.MoveTo(w, 60, 90);
    EXPECT_EQ(check->GetVisualState(), 4);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(60, 90), 0xFF0000u));
    ui.Click(w, 60, 90);
    EXPECT_EQ(check->GetVisualState(), 3);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(60, 90), 0x00FF00u));

    // A radio button without Highlighted shows Normal Off while hovered and pressed.
    ui.Press(w, 170, 50);
    EXPECT_EQ(radio->GetVisualState(), CQWF_CtrlRadioButton::kPressed);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(170, 50), 0xFF0000u));
    ui.Release(w, 170, 50);
    EXPECT_TRUE(democtl::Near(ui.Pixels(w).At(170, 50), 0x00FF00u));
    radio->SetEnabled(false);
    EXPECT_EQ(radio->GetVisualState(), CQWF_CtrlRadioButton::kDisabledOn);
    EXPECT_EQ(radio->GetLayer()->GetOpacity(), 80);
}
