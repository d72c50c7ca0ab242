// Input routing, click chains, hover, keys, timers, locks, the modal loop and the pump.
#include <gtest/gtest.h>

#include <tuple>

#include "ui_test_windows.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::SkinBuilder;

namespace {

struct Input : ::testing::Test {
    HeadlessUi ui;
    SkinBuilder skin;
    RecordingWindow w;
    std::vector<std::string> log;
    // Controls: 0 "lower" (20,40)-(120,100), 1 "upper" (60,60)-(160,110), 2 "edit" (20,120)-(180,140),
    // 3 "four" elsewhere.
    RecordingControl* c[4] = {};

    void SetUp() override
    {
        AddWindowSkin(skin, "Demo", 200, 160);
        ASSERT_TRUE(skin.LoadInto(ui.App()));
        ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
        c[0] = new RecordingControl({20, 40, 120, 100}, "lower", &log);
        c[1] = new RecordingControl({60, 60, 160, 110}, "upper", &log);
        c[2] = new RecordingControl({20, 120, 180, 140}, "edit", &log, QWF_CTRL_EDIT);
        c[3] = new RecordingControl({170, 40, 190, 60}, "four", &log);
        for (RecordingControl* k : c) ASSERT_GE(w.AttachControl(k), 0);
        w.Show();
        ui.Pump();
        log.clear();
        w.log.clear();
    }
    void TearDown() override
    {
        w.Close();
        for (RecordingControl* k : c) delete k;
    }
};

}  // namespace

TEST_F(Input, ClicksMakeChainsOfClickDoubleAndTriple)
{
    auto clicks = [&](int32_t x) {
        ui.Click(w, x, 50);
        ui.Advance(100);
    };
    clicks(10);
    clicks(12);
    clicks(14);
    clicks(10);  // a fourth click starts a new chain
    clicks(15);  // 5 pixels away: a new chain again
    ui.Advance(600);
    clicks(15);  // after the double-click time: new chain
    EXPECT_EQ(w.Only("double"), (std::vector<std::string>{"double"}));
    EXPECT_EQ(w.Only("triple"), (std::vector<std::string>{"triple"}));
    std::vector<std::string> order;
    for (const std::string& s : w.log)
        if (s == "double" || s == "triple" || s.rfind("ldown", 0) == 0) order.push_back(s);
    EXPECT_EQ(order, (std::vector<std::string>{"ldown:10,50", "ldown:12,50", "double", "ldown:14,50",
                                               "triple", "ldown:10,50", "ldown:15,50", "ldown:15,50"}));
}

TEST_F(Input, PressesWalkTheControlsFromTheTopAndTheCapturedOneGetsTheRelease)
{
    // Both say "not mine": the press passes on, the last hit control keeps the capture.
    c[1]->downResult = false;
    c[0]->downResult = false;
    ui.Press(w, 80, 70);
    EXPECT_EQ(log, (std::vector<std::string>{"upper:down:80,70", "lower:down:80,70"}));
    EXPECT_EQ(w.GetCaptureIndex(), 0);
    EXPECT_EQ(w.GetFocusIndex(), -1);  // nobody stopped the walk
    log.clear();
    ui.Release(w, 190, 150);  // released far away: still the captured control's
    EXPECT_EQ(log, (std::vector<std::string>{"lower:up:190,150"}));
    EXPECT_EQ(w.GetCaptureIndex(), -1);

    // The upper control takes it: it gets the focus and stops the walk; a double click reaches it.
    c[1]->downResult = true;
    log.clear();
    ui.Click(w, 80, 70);
    ui.Click(w, 80, 70);
    EXPECT_EQ(w.GetFocusIndex(), 1);
    EXPECT_TRUE(c[1]->IsFocused());
    EXPECT_EQ(log.back(), "upper:up:80,70");
    EXPECT_NE(std::find(log.begin(), log.end(), "upper:double:80,70"), log.end());

    // A disabled control is never found under the pointer; a locked one gets no pointer input.
    c[1]->SetEnabled(false);
    log.clear();
    ui.Click(w, 80, 70);
    EXPECT_EQ(log.front(), "lower:down:80,70");
    ASSERT_TRUE(w.LockControls(true, 0));
    log.clear();
    ui.Click(w, 80, 70);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(w.LockControls(true, 4));
}

TEST_F(Input, HoverReportsTheControlUnderThePointerAndMayBeRefused)
{
    ui.MoveTo(w, 10, 150);  // over no control: the first move reports -1
    EXPECT_EQ(w.Only("hover"), (std::vector<std::string>{"hover:-1"}));
    w.log.clear();
    ui.MoveTo(w, 80, 70);
    EXPECT_EQ(w.GetHoverIndex(), 1);
    ui.MoveTo(w, 81, 70);  // the same control: nothing new
    EXPECT_EQ(w.Only("hover"), (std::vector<std::string>{"hover:1", "hover:1"}));
    // Refused hover: the control below takes it.
    w.refuseHover = 1;
    w.log.clear();
    ui.MoveTo(w, 10, 150);
    ui.MoveTo(w, 80, 70);
    EXPECT_EQ(w.GetHoverIndex(), 0);
    // A disabled control with a disabled opacity is still hovered; with opacity 0 it is not.
    w.refuseHover = -100;
    c[3]->SetEnabled(false);
    ui.MoveTo(w, 180, 50);
    EXPECT_EQ(w.GetHoverIndex(), 3);
    c[3]->SetDisabledOpacity(0);
    ui.MoveTo(w, 181, 50);
    EXPECT_EQ(w.GetHoverIndex(), -1);
    // Locking all controls clears focus, capture and hover.
    ui.MoveTo(w, 80, 70);
    ui.Click(w, 80, 70);
    ASSERT_TRUE(w.LockControls(true, -1));
    EXPECT_EQ(w.GetHoverIndex(), -1);
    EXPECT_EQ(w.GetFocusIndex(), -1);
    // An edit line under the pointer asks for the I-beam.
    ASSERT_TRUE(w.LockControls(false, -1));
    ui.MoveTo(w, 50, 130);
    EXPECT_EQ(ui.Ws().GetCursorShape(), qwp::kCursorIBeam);
    ui.MoveTo(w, 10, 150);
    EXPECT_EQ(ui.Ws().GetCursorShape(), qwp::kCursorArrow);
    // Elsewhere only a point within the window's 200 x 160 sets the arrow.
    for (const auto& [x, y, arrow] : {std::tuple{0, 0, true}, std::tuple{199, 159, true}, std::tuple{200, 0, false},
                                      std::tuple{0, 160, false}, std::tuple{-1, 0, false}, std::tuple{0, -1, false}}) {
        ui.MoveTo(w, 50, 130);
        w.OnSetCursor(x, y);
        EXPECT_EQ(ui.Ws().GetCursorShape(), arrow ? qwp::kCursorArrow : qwp::kCursorIBeam) << x << "," << y;
    }
}

TEST_F(Input, AHiddenControlTakesNoPointerNoWheelNoHoverAndNoKeys)
{
    // "upper" hit even while disabled, as a picture is; hidden, it lets everything through to
    // "lower" below it, and the edit line asks for no I-beam. Hidden while it has the focus, it
    // loses it: the keys go to the window.
    ui.Click(w, 80, 70);
    ASSERT_EQ(w.GetFocusIndex(), 1);
    c[1]->hitWhenDisabled = true;
    c[1]->SetShown(false);
    c[2]->SetShown(false);
    EXPECT_FALSE(c[1]->IsShown());
    EXPECT_EQ(w.GetFocusIndex(), -1);
    EXPECT_FALSE(c[1]->IsFocused());
    log.clear();
    w.log.clear();
    ui.Key(qwp::vk::Left);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(w.Only("keydown"), (std::vector<std::string>{"keydown:3,0"}));
    ui.Advance(600);  // past the double-click time
    ui.MoveTo(w, 80, 70);
    EXPECT_EQ(w.GetHoverIndex(), 0);
    ui.Click(w, 80, 70);
    ui.Wheel(w, 80, 70, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"lower:down:80,70", "lower:up:80,70", "lower:wheel:1,0"}));
    EXPECT_EQ(w.GetFocusIndex(), 0);
    ui.MoveTo(w, 50, 130);
    EXPECT_EQ(w.GetHoverIndex(), -1);
    EXPECT_EQ(ui.Ws().GetCursorShape(), qwp::kCursorArrow);
    // Shown again, it is under the pointer as before.
    c[1]->SetShown(true);
    c[2]->SetShown(true);
    EXPECT_TRUE(c[1]->IsEnabled());
    ui.MoveTo(w, 80, 71);
    EXPECT_EQ(w.GetHoverIndex(), 1);
    ui.MoveTo(w, 50, 131);
    EXPECT_EQ(ui.Ws().GetCursorShape(), qwp::kCursorIBeam);
}

TEST_F(Input, KeysGoToTheFocusedControlFirstAndLettersArriveAsCharacters)
{
    ui.Click(w, 80, 70);  // focus on "upper"
    log.clear();
    ui.Type("a");
    ui.Key(qwp::vk::Escape);
    c[1]->keyResult = true;
    ui.Key(qwp::vk::Left);
    ui.Ws().KeyDown(qwp::vk::Shift);
    ui.Key(qwp::vk::F1);
    ui.Ws().KeyUp(qwp::vk::Shift);
    EXPECT_EQ(log, (std::vector<std::string>{"upper:char:97,0", "upper:key:7,0", "upper:char:27,0",
                                             "upper:key:3,0", "upper:key:220,0"}));
    // Letters make no key event; Escape reached the window because the control did not use it;
    // Left did not; F1 came with Shift.
    EXPECT_EQ(w.Only("keydown"), (std::vector<std::string>{"keydown:7,0"}));
    EXPECT_EQ(w.Only("char"), (std::vector<std::string>{"char:97", "char:27"}));
    // The wheel goes to the control under the pointer, else to the window.
    log.clear();
    ui.Wheel(w, 100, 95, -2);
    EXPECT_EQ(log, (std::vector<std::string>{"upper:wheel:-2,0"}));
}

TEST_F(Input, TimersReachWindowsAndControlSlotsOnTheVirtualClock)
{
    // Control 3, slot 2: the id 32000 + 2 x 10000 + 3; control 0, slot 0: 32000 itself.
    ASSERT_TRUE(c[3]->SetTimer(100, 2));
    ASSERT_TRUE(c[0]->SetTimer(100, 0));
    EXPECT_FALSE(c[3]->SetTimer(100, 10));
    ASSERT_TRUE(w.SetTimer(250, 5));
    ui.Advance(99);
    EXPECT_TRUE(log.empty());
    ui.Advance(1);
    EXPECT_EQ(log, (std::vector<std::string>{"four:timer:2,0", "lower:timer:0,0"}));
    ui.Advance(150);
    EXPECT_EQ(w.Only("timer"), (std::vector<std::string>{"timer:5"}));
    ASSERT_TRUE(c[3]->KillTimer(2) && c[0]->KillTimer(0));
    log.clear();
    ui.Advance(1000);
    EXPECT_TRUE(log.empty());
    // A control of another window has no timer here.
    RecordingControl stranger({0, 0, 1, 1}, "x", nullptr);
    EXPECT_FALSE(w.SetControlTimer(10, 1, &stranger));
}

TEST_F(Input, ModalRunDisablesTheOwnerAndEndsWithTheCodeOfItsEnd)
{
    ui.App().m_shadow = 1;
    RecordingWindow dialog;
    ASSERT_TRUE(dialog.CreateFromSkin("Demo", QWF_WHOLE, QWF_WHOLE, &w, 0));
    ASSERT_TRUE(w.SetTimer(100, 9));
    bool ownerDisabled = false;
    ui.Ws().PushIdleAction([&] {
        ownerDisabled = !ui.Ws().IsEnabled(w.GetHWND());
        for (int i = 0; i < 3; ++i) ui.Advance(100);  // the owner's timer ticks in the modal loop
        ui.Ws().PressKey(qwp::vk::Return);
    });
    EXPECT_EQ(dialog.RunModal(), 1);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(ui.Ws().IsEnabled(w.GetHWND()));
    EXPECT_EQ(ui.Ws().GetActiveWindow(), w.GetHWND());
    EXPECT_EQ(w.Only("timer").size(), 3u);
    EXPECT_EQ(dialog.GetHWND(), 0);
    EXPECT_EQ(dialog.RunModal(), -1);  // its window is gone

    // A close request ends it with 0; so does a run nobody answers.
    RecordingWindow second;
    ASSERT_TRUE(second.CreateFromSkin("Demo", 10, 10, &w, 0));
    ui.Ws().PushIdleAction([&] {
        qwp::Event e;
        e.type = qwp::EventType::Close;
        e.window = second.GetHWND();
        ui.Ws().Post(e);
    });
    EXPECT_EQ(second.RunModal(), 0);
    RecordingWindow third;
    ASSERT_TRUE(third.CreateFromSkin("Demo", 10, 10, &w, 0));
    w.KillTimer(9);
    EXPECT_EQ(third.RunModal(), 0);
    EXPECT_TRUE(ui.Ws().IsEnabled(w.GetHWND()));
    // A window that was disabled before the run stays disabled after it.
    RecordingWindow fourth, sibling;
    ASSERT_TRUE(sibling.Create("sibling", 0, 0, 50, 50, 0, &w, 0, false));
    ui.Ws().EnableWindow(sibling.GetHWND(), false);
    ASSERT_TRUE(fourth.CreateFromSkin("Demo", 10, 10, &w, 0));
    EXPECT_EQ(fourth.RunModal(), 0);
    EXPECT_FALSE(ui.Ws().IsEnabled(sibling.GetHWND()));
    EXPECT_TRUE(ui.Ws().IsEnabled(w.GetHWND()));
}

TEST_F(Input, PumpDispatchesOnlyWhatItIsAskedForAndNeverSwallowsQuitOrClose)
{
    ASSERT_TRUE(w.SetTimer(50, 3));
    ui.Advance(0);
    ui.Ws().AdvanceTime(60);  // the tick is due
    ui.Ws().MovePointer(180, 150);
    ui.Ws().PressKey(qwp::vk::Escape);
    qwp::Event close;
    close.type = qwp::EventType::Close;
    close.window = w.GetHWND();
    ui.Ws().Post(close);
    ui.Ws().PostQuit(4);
    CQWF_Window::PumpMessages(&w, false, true, true, false);
    EXPECT_EQ(w.Only("keydown"), (std::vector<std::string>{"keydown:7,0"}));
    EXPECT_TRUE(w.Only("timer").empty());
    EXPECT_TRUE(w.Only("hover").empty());  // the move was dropped
    // The dropped tick is not postponed: it comes again only a whole interval later.
    qwp::Event e;
    ASSERT_TRUE(ui.Ws().TakeEvent(e, 0));
    EXPECT_EQ(e.type, qwp::EventType::Close);
    ASSERT_TRUE(ui.Ws().TakeEvent(e, 0));
    EXPECT_EQ(e.type, qwp::EventType::Quit);
    EXPECT_EQ(e.param, 4);
    EXPECT_FALSE(ui.Ws().TakeEvent(e, 0));
    ui.Advance(49);
    EXPECT_TRUE(w.Only("timer").empty());
    ui.Advance(1);
    EXPECT_EQ(w.Only("timer").size(), 1u);
    // With timers on, a due tick is dispatched once per pump.
    ui.Ws().AdvanceTime(500);
    CQWF_Window::PumpMessages(nullptr, true, false, false, false);
    EXPECT_EQ(w.Only("timer").size(), 2u);
}

TEST_F(Input, LosingTheCaptureWhileTheButtonIsDownEndsThePress)
{
    ui.Ws().MovePointer(100 + 80, 100 + 70);
    ui.Ws().PressButton(0);
    ui.Pump();
    ASSERT_EQ(w.GetCaptureIndex(), 1);
    log.clear();
    ui.Ws().ReleaseCapture();
    EXPECT_EQ(log, (std::vector<std::string>{"upper:up:-1,-1"}));
    EXPECT_EQ(w.Only("lup"), (std::vector<std::string>{"lup:-1,-1"}));
    ui.Ws().ReleaseButton(0);
}

// The accelerator character of each key: letters and digits as themselves (the ends of each range,
// and the codes just past them, have none), the keypad's plus and minus as '+' and '_', the
// punctuation keys as their characters. F1 to F12 have the toolkit codes 220 to 231.
TEST(Keys, AcceleratorCharactersAndFunctionKeys)
{
    namespace vk = qwp::vk;
    const std::pair<uint32_t, uint8_t> chars[] = {
        {'A', 'A'}, {'Z', 'Z'}, {'0', '0'}, {'9', '9'}, {'@', 0}, {'[', 0}, {'/', 0}, {':', 0}, {vk::Add, '+'},
        {vk::Subtract, '_'}, {vk::Semicolon, ';'}, {vk::Equals, '='}, {vk::Comma, ','}, {vk::Minus, '-'},
        {vk::Period, '.'}, {vk::Slash, '/'}, {vk::Grave, '`'}, {vk::BracketLeft, '['}, {vk::Backslash, '\\'},
        {vk::BracketRight, ']'}, {vk::Quote, '\''}, {vk::Multiply, 0}, {vk::F1, 0}};
    for (const auto& [key, c] : chars) EXPECT_EQ(QWF_AcceleratorChar(key), c) << key;
    const std::pair<uint32_t, uint32_t> codes[] = {
        {vk::F1, 220}, {vk::F10, 229}, {vk::F12, 231}, {vk::F1 - 1, 0}, {vk::F12 + 1, 0}, {vk::Insert, 14}};
    for (const auto& [key, code] : codes) EXPECT_EQ(QWF_KeyCode(key), code) << key;
}
