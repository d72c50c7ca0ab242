// The headless window system: queue, timers on the virtual clock, activation and ownership,
// pointer routing with capture and interactive moves, keys, the idle policy and the modal
// services.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/qw_chooser.h"
#include "platform/qw_clock.h"
#include "platform/qw_uidraw.h"
#include "platform/qw_winsys_headless.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

using namespace qwp;

namespace {

// Records every event its window receives; answers hit tests from a callback.
class Recorder : public WindowClient {
public:
    intptr_t HandleEvent(const Event& e) override
    {
        events.push_back(e);
        if (e.type == EventType::HitTest) return dragAt ? dragAt(e.screenX, e.screenY) : 0;
        if (onEvent) return onEvent(e);
        return ws ? ws->DefaultHandling(e) : 0;
    }
    size_t Count(EventType type) const
    {
        size_t n = 0;
        for (const Event& e : events) n += e.type == type;
        return n;
    }
    std::vector<Event> events;
    WindowSystem* ws = nullptr;
    std::function<intptr_t(int32_t, int32_t)> dragAt;
    std::function<intptr_t(const Event&)> onEvent;
};

struct Headless : ::testing::Test {
    HeadlessWindowSystem ws;

    WindowHandle Make(Recorder& r, int32_t x, int32_t y, int32_t w, int32_t h, WindowHandle owner = 0,
                      WindowKind kind = WindowKind::TopLevel)
    {
        r.ws = &ws;
        return ws.CreateWindow(
            {.kind = kind, .owner = owner, .x = x, .y = y, .width = w, .height = h, .title = {}, .className = {}, .client = &r});
    }
    // Dispatches what is pending; the quit request stays.
    void Pump()
    {
        Event e;
        while (ws.TakeEvent(e, 0, {EventType::Quit})) ws.Dispatch(e);
    }
};

}  // namespace

TEST_F(Headless, QueueOrderTimersAndPaintFollowTheClassicRules)
{
    Recorder r;
    WindowHandle w = Make(r, 10, 10, 100, 50);
    ASSERT_NE(w, 0);
    ws.ShowWindow(w, ShowMode::Show);
    Event a;
    a.type = EventType::User;
    a.window = w;
    a.code = 1;
    ws.Post(a);
    a.code = 2;
    ws.Post(a);
    ws.PostQuit(7);
    ASSERT_TRUE(ws.SetTimer(w, 5, 100));

    // Posted events first, in order, then the quit; the paint of the show comes after the quit.
    Event e;
    ASSERT_TRUE(ws.GetEvent(e));
    EXPECT_EQ(e.code, 1u);
    ASSERT_TRUE(ws.GetEvent(e));
    EXPECT_EQ(e.code, 2u);
    EXPECT_FALSE(ws.GetEvent(e));
    EXPECT_EQ(e.param, 7);
    ASSERT_TRUE(ws.TakeEvent(e, 0));
    EXPECT_EQ(e.type, EventType::Paint);
    EXPECT_EQ(e.width, 100);
    EXPECT_EQ(e.height, 50);

    // A timer is due only when the virtual clock reaches it, ticks once however late, and a
    // killed timer's made tick disappears.
    EXPECT_FALSE(ws.TakeEvent(e, 0));
    ws.AdvanceTime(99);
    EXPECT_FALSE(ws.TakeEvent(e, 0));
    ws.AdvanceTime(1000);
    ASSERT_TRUE(ws.TakeEvent(e, 0));
    EXPECT_EQ(e.type, EventType::Timer);
    EXPECT_EQ(e.code, 5u);
    EXPECT_FALSE(ws.TakeEvent(e, 0));
    // Waiting lets the clock run to the next tick.
    const uint64_t before = TickCount64();
    ASSERT_TRUE(ws.GetEvent(e));
    EXPECT_EQ(e.type, EventType::Timer);
    EXPECT_EQ(TickCount64() - before, 100u);
    EXPECT_TRUE(ws.KillTimer(w, 5));
    EXPECT_FALSE(ws.KillTimer(w, 5));

    // Kept types stay in their places.
    Event c;
    c.type = EventType::Close;
    c.window = w;
    ws.Post(c);
    a.code = 3;
    ws.Post(a);
    ws.PostQuit(0);
    ASSERT_TRUE(ws.TakeEvent(e, 0, {EventType::Close, EventType::Quit}));
    EXPECT_EQ(e.code, 3u);
    EXPECT_FALSE(ws.TakeEvent(e, 0, {EventType::Close, EventType::Quit}));
    ASSERT_TRUE(ws.TakeEvent(e, 0));
    EXPECT_EQ(e.type, EventType::Close);
    ASSERT_TRUE(ws.TakeEvent(e, 0));
    EXPECT_EQ(e.type, EventType::Quit);
}

TEST_F(Headless, ActivationOwnershipAndDestruction)
{
    Recorder host, tool, dialog;
    WindowHandle h = Make(host, 0, 0, 300, 200);
    WindowHandle t = Make(tool, 310, 0, 100, 100, h);
    ws.ShowWindow(h, ShowMode::Show);
    EXPECT_EQ(ws.GetActiveWindow(), h);
    ASSERT_EQ(host.Count(EventType::ActivateApp), 1u);
    ws.ShowWindow(t, ShowMode::Show);
    EXPECT_EQ(ws.GetActiveWindow(), t);
    EXPECT_EQ(ws.GetLastActivePopup(h), t);
    // The pair of activation events names the other window.
    EXPECT_EQ(host.events.back().type, EventType::Activate);
    EXPECT_EQ(host.events.back().flags, 0u);
    EXPECT_EQ(host.events.back().param, t);
    EXPECT_EQ(tool.events.back().param, h);

    // ShowNoActivate leaves the active window alone; a disabled window cannot be activated.
    WindowHandle d = Make(dialog, 50, 50, 80, 60, t);
    ws.EnableWindow(d, false);
    ws.ShowWindow(d, ShowMode::Show);
    EXPECT_EQ(ws.GetActiveWindow(), t);
    ws.EnableWindow(d, true);
    ws.SetActiveWindow(d);
    EXPECT_EQ(ws.GetActiveWindow(), d);

    // The active owned window going away activates its owner; destroying an owner destroys
    // the windows it owns first.
    ws.ShowWindow(d, ShowMode::Hide);
    EXPECT_EQ(ws.GetActiveWindow(), t);
    std::vector<WindowHandle> order;
    auto note = [&](const Event& e) -> intptr_t {
        if (e.type == EventType::Destroy) order.push_back(e.window);
        return 0;
    };
    tool.onEvent = note;
    dialog.onEvent = note;
    host.onEvent = note;
    EXPECT_TRUE(ws.DestroyWindow(h));
    EXPECT_EQ(order, (std::vector<WindowHandle>{d, t, h}));
    EXPECT_EQ(ws.WindowCount(), 0u);
    EXPECT_EQ(ws.GetActiveWindow(), 0);
    EXPECT_FALSE(ws.DestroyWindow(h));
}

TEST_F(Headless, PointerGoesToCaptureOrShapeAndDisabledWindowsOnlyHearTheCursorQuestion)
{
    Recorder below, above;
    WindowHandle b = Make(below, 0, 0, 200, 200);
    WindowHandle a = Make(above, 50, 50, 100, 100);
    ws.ShowWindow(b, ShowMode::Show);
    ws.ShowWindow(a, ShowMode::Show);
    // The upper window's shape leaves out its left half.
    ws.SetShape(a, {{50, 0, 100, 100}});
    EXPECT_EQ(ws.WindowFromPoint(60, 60), b);
    EXPECT_EQ(ws.WindowFromPoint(120, 60), a);
    Pump();
    below.events.clear();
    above.events.clear();

    ws.Click(60, 60);  // through the cut-out part: the lower window gets it and is activated
    Pump();
    EXPECT_EQ(ws.GetActiveWindow(), b);
    EXPECT_EQ(below.Count(EventType::LButtonDown), 1u);
    EXPECT_EQ(below.events.back().x, 60);

    // While one window holds the capture, every pointer event goes to it, in its coordinates.
    ws.SetCapture(a);
    ws.MovePointer(10, 20);
    Pump();
    ASSERT_EQ(above.events.back().type, EventType::MouseMove);
    EXPECT_EQ(above.events.back().x, -40);
    EXPECT_EQ(above.events.back().y, -30);
    ws.SetCapture(b);
    EXPECT_EQ(above.events.back().type, EventType::CaptureChanged);
    ws.ReleaseCapture();
    EXPECT_EQ(below.events.back().type, EventType::CaptureChanged);

    // A disabled window beeps-worthy presses arrive only as cursor questions flagged disabled.
    ws.EnableWindow(b, false);
    below.events.clear();
    ws.Click(20, 20);
    Pump();
    EXPECT_EQ(below.Count(EventType::LButtonDown), 0u);
    ASSERT_GE(below.Count(EventType::SetCursor), 1u);
    EXPECT_EQ(below.events.back().flags, 1u);
    EXPECT_EQ(ws.GetActiveWindow(), b);  // it was active already and stays

    // The activated window came to the front; placed behind the other it no longer takes the
    // point. Refused for a window or a window above that does not exist, and for the window itself.
    EXPECT_FALSE(ws.PlaceBehind(0x7777, a) || ws.PlaceBehind(b, 0x7777) || ws.PlaceBehind(b, b));
    EXPECT_EQ(ws.WindowFromPoint(120, 60), b);
    EXPECT_TRUE(ws.PlaceBehind(b, a));
    EXPECT_EQ(ws.WindowFromPoint(120, 60), a);
}

// The screen as the tests' screenshots take it: each window's pixels within its shape (rectangles
// that may overlap), an overlay blended once over the desktop's grey, which shows elsewhere.
TEST_F(Headless, TheScreenShowsEachWindowWithinItsShapeAndBlendsEachOverlayOnce)
{
    Recorder below, above, glass;
    WindowHandle b = Make(below, 0, 0, 200, 200);
    WindowHandle a = Make(above, 50, 50, 100, 100);
    WindowHandle g = Make(glass, 250, 50, 40, 40, 0, WindowKind::Overlay);
    ASSERT_TRUE(PresentCanvas(ws, b, Canvas(200, 200, 0x0000FF)));
    ASSERT_TRUE(PresentCanvas(ws, a, Canvas(100, 100, 0x00FF00)));
    // Red at half coverage, premultiplied: B, G, R, A.
    std::vector<uint8_t> half(40 * 40 * 4);
    for (size_t i = 0; i < half.size(); i += 4) half[i + 2] = half[i + 3] = 128;
    EXPECT_FALSE(ws.UpdateOverlay(g, half.data(), 39, 40) || ws.UpdateOverlay(g, half.data(), 40, 39));  // not its size
    ASSERT_TRUE(ws.UpdateOverlay(g, half.data(), 40, 40));
    ws.SetShape(a, {{0, 0, 60, 60}, {40, 40, 100, 100}});
    ws.SetShape(g, {{0, 0, 30, 30}, {10, 10, 40, 40}});
    for (WindowHandle h : {b, a, g}) ws.ShowWindow(h, ShowMode::Show);
    std::vector<uint8_t> rgb;
    int32_t width = 0, height = 0;
    ASSERT_TRUE(ws.CaptureScreen(rgb, width, height));
    ASSERT_GT(width, 300);
    auto at = [&](int32_t x, int32_t y) {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    };
    EXPECT_EQ(at(10, 10), 0x0000FFu);
    EXPECT_EQ(at(60, 60), 0x00FF00u);    // the first rectangle
    EXPECT_EQ(at(95, 95), 0x00FF00u);    // both
    EXPECT_EQ(at(140, 140), 0x00FF00u);  // the second
    EXPECT_EQ(at(140, 60), 0x0000FFu);   // neither: the window below shows
    EXPECT_EQ(at(60, 140), 0x0000FFu);
    EXPECT_EQ(at(109, 60), 0x00FF00u);  // the first rectangle's last column and row
    EXPECT_EQ(at(60, 109), 0x00FF00u);
    EXPECT_EQ(at(110, 60), 0x0000FFu);  // and the first outside them
    EXPECT_EQ(at(60, 110), 0x0000FFu);
    // Over the grey 64: red 128 + 64 * 127 / 255, green and blue 64 * 127 / 255 (blended twice,
    // red would be 128 + 159 * 127 / 255 = 207).
    EXPECT_EQ(at(265, 65), 0x9F1F1Fu);  // both of its rectangles
    EXPECT_EQ(at(252, 52), 0x9F1F1Fu);
    EXPECT_EQ(at(285, 52), 0x404040u);  // outside its shape: the desktop
    EXPECT_EQ(at(250, 250), 0x404040u);
}

TEST_F(Headless, InteractiveMoveFollowsThePointerFromADragPoint)
{
    Recorder r;
    WindowHandle w = Make(r, 100, 100, 200, 100);
    r.dragAt = [](int32_t, int32_t y) -> intptr_t { return y < 130; };  // a 30-pixel caption
    ws.ShowWindow(w, ShowMode::Show);
    ws.MovePointer(150, 110);
    ws.PressButton(0);
    ws.MovePointer(170, 140);
    ws.MovePointer(250, 160);
    ws.ReleaseButton(0);
    Pump();
    ScreenRect rect;
    ws.GetWindowRect(w, rect);
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.top, 150);
    EXPECT_EQ(r.Count(EventType::EnterMove), 1u);
    EXPECT_EQ(r.Count(EventType::ExitMove), 1u);
    EXPECT_EQ(r.Count(EventType::Move), 2u);
    EXPECT_EQ(r.Count(EventType::LButtonDown), 0u);
    // Below the caption a press is the window's own.
    ws.Click(250, 230);
    Pump();
    EXPECT_EQ(r.Count(EventType::LButtonDown), 1u);
}

TEST_F(Headless, KeysMakeCharactersLikeAKeyboard)
{
    Recorder r;
    WindowHandle w = Make(r, 0, 0, 50, 50);
    ws.ShowWindow(w, ShowMode::Show);
    Pump();
    r.events.clear();
    ws.TypeText("aZ!");
    ws.KeyDown(vk::Control);
    ws.PressKey('C');
    ws.KeyUp(vk::Control);
    ws.KeyDown(vk::Alt);
    ws.PressKey('F');
    ws.KeyUp(vk::Alt);
    ws.PressKey(vk::F10);
    Pump();
    std::string chars;
    std::vector<uint32_t> sysDown;
    for (const Event& e : r.events) {
        if (e.type == EventType::Char) chars.push_back(static_cast<char>(e.code));
        if (e.type == EventType::SysKeyDown) sysDown.push_back(e.code);
    }
    EXPECT_EQ(chars, std::string("aZ!\x03"));
    EXPECT_EQ(sysDown, (std::vector<uint32_t>{vk::Alt, 'F', vk::F10}));
    // Alt with Ctrl held makes ordinary keys, carrying both modifiers and no character.
    r.events.clear();
    ws.KeyDown(vk::Control);
    ws.KeyDown(vk::Alt);
    ws.PressKey('0');
    ws.KeyUp(vk::Alt);
    ws.KeyUp(vk::Control);
    Pump();
    std::vector<std::pair<uint32_t, uint32_t>> downs;
    for (const Event& e : r.events) {
        EXPECT_NE(e.type, EventType::SysKeyDown) << e.code;
        EXPECT_NE(e.type, EventType::Char) << e.code;
        if (e.type == EventType::KeyDown) downs.emplace_back(e.code, e.flags);
    }
    EXPECT_EQ(downs, (std::vector<std::pair<uint32_t, uint32_t>>{
                         {vk::Control, kModCtrl}, {vk::Alt, kModCtrl | kModAlt}, {'0', kModCtrl | kModAlt}}));
    ws.KeyDown(vk::Space);
    ws.KeyDown(vk::Shift);
    EXPECT_EQ(ws.LiveModifiers(), kModSpace | kModShift);
}

TEST_F(Headless, AWaitNobodyAnswersClosesTheFrontWindowAndTheWatchdogEndsHopelessWaits)
{
    Recorder front, back;
    WindowHandle b = Make(back, 0, 0, 300, 300);
    WindowHandle f = Make(front, 10, 10, 100, 100, b);
    ws.ShowWindow(b, ShowMode::Show);
    ws.ShowWindow(f, ShowMode::Show);
    Pump();
    // An idle action runs first; then the clock runs to the next tick.
    bool ran = false;
    ws.PushIdleAction([&] { ran = true; });
    ws.SetTimer(b, 1, 1000);
    Event e;
    ASSERT_TRUE(ws.GetEvent(e));
    EXPECT_TRUE(ran);
    EXPECT_EQ(e.type, EventType::Timer);
    // Nothing scheduled for long: the front window is asked to close (its default closes it).
    ws.SetIdleLimit(5000);
    std::vector<WindowHandle> closed;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(ws.GetEvent(e));
        while (e.type == EventType::Timer) ASSERT_TRUE(ws.GetEvent(e));
        ASSERT_EQ(e.type, EventType::Close);
        closed.push_back(e.window);
        ws.Dispatch(e);
    }
    EXPECT_EQ(closed, (std::vector<WindowHandle>{f, b}));
    EXPECT_EQ(ws.WindowCount(), 0u);
    // No window left and nothing to wait for: the watchdog reports instead of hanging.
    std::string reason;
    ws.SetWatchdogHandler([&](const char* why) { reason = why; });
    EXPECT_FALSE(ws.GetEvent(e));
    EXPECT_FALSE(reason.empty());
}

TEST_F(Headless, ModalServicesAnswerFromTheScriptOrCancel)
{
    MessageBoxRequest box;
    box.text = "Error!\n\nFile \"x\" cannot be created.";
    box.caption = "Error!";
    box.buttons = MessageButtons::AbortRetryIgnore;
    ws.AnswerMessageBox(kIdRetry);
    EXPECT_EQ(ws.MessageBox(box), kIdRetry);
    EXPECT_EQ(ws.MessageBox(box), kIdAbort);
    box.buttons = MessageButtons::YesNo;
    EXPECT_EQ(ws.MessageBox(box), kIdNo);
    box.buttons = MessageButtons::Ok;
    EXPECT_EQ(ws.MessageBox(box), kIdOk);
    ASSERT_EQ(ws.MessageBoxes().size(), 4u);
    EXPECT_EQ(ws.MessageBoxes()[0].request.caption, "Error!");

    MenuRequest menu;
    menu.items = {{"Open"}, {"", true}, {"Greyed", false, false, true}, {"Last"}};
    ws.AnswerMenu(3);
    ws.AnswerMenu(2);
    ws.AnswerMenu(1);
    EXPECT_EQ(ws.TrackPopupMenu(menu), 3);
    EXPECT_EQ(ws.TrackPopupMenu(menu), -1);  // greyed
    EXPECT_EQ(ws.TrackPopupMenu(menu), -1);  // separator
    EXPECT_EQ(ws.TrackPopupMenu(menu), -1);  // unscripted: dismissed

    FileChoiceRequest file;
    file.save = true;
    std::string path;
    ws.AnswerFile("C:\\out\\a.png");
    ws.AnswerFile("");
    EXPECT_TRUE(ws.ChooseFile(file, path));
    EXPECT_EQ(path, "C:\\out\\a.png");
    EXPECT_FALSE(ws.ChooseFile(file, path));
    FolderChoiceRequest folder;
    ws.AnswerFolder("C:\\Plug-ins");
    EXPECT_TRUE(ws.ChooseFolder(folder, path));
    EXPECT_EQ(path, "C:\\Plug-ins");
    EXPECT_EQ(ws.FolderChoices().size(), 1u);

    // The clipboard, with its failure.
    EXPECT_FALSE(ws.HasClipboardText());
    EXPECT_TRUE(ws.SetClipboardText("caf\xe9"));
    EXPECT_TRUE(ws.GetClipboardText(path));
    EXPECT_EQ(path, "caf\xe9");
    ws.SetClipboardFailure(true);
    EXPECT_FALSE(ws.GetClipboardText(path));
    EXPECT_FALSE(ws.SetClipboardText("x"));
}

TEST_F(Headless, TheDrawnMessageBoxIsModalOverItsOwnerAndAnswersKeysAndClicks)
{
    Recorder owner;
    WindowHandle o = Make(owner, 100, 100, 500, 300);
    ws.ShowWindow(o, ShowMode::Show);
    Pump();
    ws.SetShowMessageBoxes(true);
    MessageBoxRequest req;
    req.owner = o;
    req.text = "Error!\n\nFile \"C:\\Program Files\\Quarrow\\QWJigcrafter30.8bf\" cannot be created.";
    req.caption = "Error!";
    req.buttons = MessageButtons::AbortRetryIgnore;
    req.icon = MessageIcon::Warning;
    bool ownerDisabled = false;
    qwtest::Picture shot;
    ScreenRect boxRect;
    ws.PushIdleAction([&] {
        ownerDisabled = !ws.IsEnabled(o);
        const WindowHandle box = ws.GetActiveWindow();
        ws.GetWindowRect(box, boxRect);
        ws.CaptureWindow(box, shot.rgb, shot.width, shot.height);
        ws.PressKey(vk::Right);   // focus moves from Abort to Retry
        ws.PressKey(vk::Return);
    });
    EXPECT_EQ(ws.MessageBox(req), kIdRetry);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(ws.IsEnabled(o));
    EXPECT_EQ(ws.GetActiveWindow(), o);
    EXPECT_EQ(ws.WindowCount(), 1u);
    ASSERT_EQ(ws.MessageBoxes().back().result, kIdRetry);
    // Centred over the owner; caption strip, face and the default button's accent are drawn.
    EXPECT_EQ((boxRect.left + boxRect.right) / 2, 350);
    ASSERT_GT(shot.width, 240);
    EXPECT_EQ(shot.At(shot.width / 2, 3), 0x24272Cu);
    EXPECT_EQ(shot.At(shot.width / 2, 40), 0x2E3138u);
    bool accent = false, text = false;
    for (int32_t x = 0; x < shot.width; ++x) {
        accent = accent || shot.At(x, shot.height - 24) == 0xF28C28u;
        for (int32_t y = 40; y < 90; ++y) text = text || shot.At(x, y) == 0xE6E8EBu;
    }
    EXPECT_TRUE(accent);
    EXPECT_TRUE(text);
    qwtest::WritePng(qwtest::OutputDir("screens") + "/message_box_headless.png", shot);

    // A click on a button (80 pixels wide, 8 apart, 12 from the corner) or a letter picks it;
    // Escape answers Cancel, or OK where that is the only button, and does not end a Yes/No
    // box, which a run nobody answers closes as No.
    req.icon = MessageIcon::Error;
    auto click = [&](int32_t fromRight) {
        return [&, fromRight] {
            ScreenRect r;
            ws.GetWindowRect(ws.GetActiveWindow(), r);
            ws.Click(r.right - 12 - fromRight, r.bottom - 12 - 12);
        };
    };
    const struct {
        MessageButtons buttons;
        std::function<void()> act;
        int32_t answer;
    } runs[] = {
        {MessageButtons::Ok, click(40), kIdOk},
        {MessageButtons::OkCancel, click(80 + 8 + 40), kIdOk},
        {MessageButtons::OkCancel, [&] { ws.TypeText("c"); }, kIdCancel},
        {MessageButtons::Ok, [&] { ws.PressKey(vk::Escape); }, kIdOk},
        {MessageButtons::OkCancel, [&] { ws.PressKey(vk::Escape); }, kIdCancel},
        {MessageButtons::YesNo, [&] { ws.PressKey(vk::Escape); }, kIdNo},
    };
    for (const auto& run : runs) {
        req.buttons = run.buttons;
        ws.PushIdleAction(run.act);
        EXPECT_EQ(ws.MessageBox(req), run.answer);
    }
    EXPECT_EQ(ws.WindowCount(), 1u);
}

// What the colour choosers answer, read as the three bytes: zenity's "rgb(...)" and "rgba(...)",
// kdialog's "#RRGGBB"; anything else is no colour. The title of a chooser asked without one.
TEST(ColorChooser, AnswersAndTheHeadlessScript)
{
    uint8_t rgb[3] = {1, 2, 3};
    EXPECT_TRUE(qwp::ChosenColor("rgb(255,128,0)\n", rgb));
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), (std::vector<uint8_t>{255, 128, 0}));
    EXPECT_TRUE(qwp::ChosenColor("rgba(1,2,3,0.5)", rgb));
    EXPECT_EQ(rgb[2], 3);
    EXPECT_TRUE(qwp::ChosenColor("#A0b1C2\n", rgb));
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), (std::vector<uint8_t>{0xA0, 0xB1, 0xC2}));
    for (const char* bad : {"", "\n", "rgb(256,0,0)", "rgb(1,2)", "#12345", "#12345G", "red", "rgb(-1,0,0)"}) {
        uint8_t keep[3] = {7, 8, 9};
        EXPECT_FALSE(qwp::ChosenColor(bad, keep)) << bad;
        EXPECT_EQ(keep[0], 7) << bad;
    }

    // Headless: the scripted answers in turn, then cancelled; every request is kept.
    qwp::HeadlessWindowSystem ws;
    qwp::ColorChoiceRequest request;
    request.red = 9;
    ws.AnswerColor("102030");
    ws.AnswerColor("");
    EXPECT_TRUE(ws.ChooseColor(request, rgb));
    EXPECT_EQ(rgb[0], 0x10);
    EXPECT_EQ(rgb[2], 0x30);
    EXPECT_FALSE(ws.ChooseColor(request, rgb));
    EXPECT_FALSE(ws.ChooseColor(request, rgb));
    ASSERT_EQ(ws.ColorChoices().size(), 3u);
    EXPECT_EQ(ws.ColorChoices()[0].red, 9);

    // A chooser asked without a title is titled as the system's colour dialog is, not after the
    // program that shows it.
    request.green = 0xAB;
    EXPECT_EQ(qwp::ColorChooserArguments(qwp::ChooserKind::Zenity, request),
              (std::vector<std::string>{"--color-selection", "--title=Color", "--color=#09AB00"}));
    EXPECT_EQ(qwp::ColorChooserArguments(qwp::ChooserKind::Kdialog, request),
              (std::vector<std::string>{"--title", "Color", "--getcolor", "--default", "#09AB00"}));
}
