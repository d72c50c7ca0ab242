// The same windows through the X11 backend on the test display: they map with their outline,
// synthetic input reaches the toolkit, the screen shows what the headless backend presents, and
// modal runs and the message box answer keys.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::SkinBuilder;
using qwtest::X11Ui;

namespace {

void AddSkin(SkinBuilder& skin) { AddWindowSkin(skin, "Demo", 240, 150); }

bool InShape(const std::vector<qwp::ScreenRect>& shape, int32_t x, int32_t y)
{
    for (const auto& r : shape)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

}  // namespace

TEST(X11Windows, SkinnedWindowMapsTakesSyntheticInputAndShowsTheHeadlessFace)
{
    // The face as the headless backend presents it.
    qwtest::Picture expected;
    std::vector<qwp::ScreenRect> region;
    {
        HeadlessUi ui;
        SkinBuilder skin;
        AddSkin(skin);
        ASSERT_TRUE(skin.LoadInto(ui.App()));
        RecordingWindow w;
        ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
        w.Show();
        ui.Pump();
        expected = ui.Pixels(w);
        region = w.GetRegion();
    }

    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    SkinBuilder skin;
    AddSkin(skin);
    ASSERT_TRUE(skin.LoadInto(ui.App()));
    std::vector<std::string> log;
    RecordingControl button({40, 60, 120, 90}, "button", &log);
    RecordingWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    ASSERT_EQ(w.AttachControl(&button), 0);
    ASSERT_TRUE(w.Show());
    ui.Pump();
    ASSERT_TRUE(ui.Ws().IsOnScreen(w.GetHWND()));
    EXPECT_EQ(ui.Ws().GetActiveWindow(), w.GetHWND());

    // The server holds the outline: the cut corners are outside, the rest inside.
    std::vector<qwp::ScreenRect> shape;
    ASSERT_TRUE(ui.Ws().ServerShape(w.GetHWND(), shape));
    EXPECT_FALSE(InShape(shape, 0, 0));
    EXPECT_FALSE(InShape(shape, 239, 149));
    EXPECT_TRUE(InShape(shape, 8, 0));
    EXPECT_TRUE(InShape(shape, 120, 75));

    // What the screen shows equals the headless face inside the outline.
    qwtest::Picture shown = ui.Pixels(w);
    ASSERT_EQ(shown.width, expected.width);
    ASSERT_EQ(shown.height, expected.height);
    int differences = 0;
    for (int32_t y = 0; y < shown.height; ++y)
        for (int32_t x = 0; x < shown.width; ++x)
            if (InShape(shape, x, y) && shown.At(x, y) != expected.At(x, y)) ++differences;
    EXPECT_EQ(differences, 0);
    ui.Screenshot(w, "window_demo_x11");

    // A synthetic click reaches the control and the window; a drag on the caption moves it.
    ui.Click(w, 60, 70);
    EXPECT_EQ(log, (std::vector<std::string>{"button:down:60,70", "button:up:60,70"}));
    EXPECT_EQ(w.Only("ldown"), (std::vector<std::string>{"ldown:60,70"}));
    ui.Drag(w, 30, 10, 90, 50);
    QWF_Rect r;
    w.GetWindowRect(r);
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.top, 140);
    EXPECT_EQ(w.Only("ldown").size(), 1u);

    // Keys: a letter arrives as a character, Escape as its key code.
    ui.Key('Q');
    ui.Key(qwp::vk::Escape);
    EXPECT_EQ(w.Only("char"), (std::vector<std::string>{"char:113", "char:27"}));
    EXPECT_EQ(w.Only("keydown"), (std::vector<std::string>{"keydown:7,0"}));
    w.Close();
}

TEST(X11Windows, ModalRunAndMessageBoxAnswerSyntheticKeys)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    SkinBuilder skin;
    AddSkin(skin);
    ASSERT_TRUE(skin.LoadInto(ui.App()));
    RecordingWindow owner, dialog;
    ASSERT_TRUE(owner.CreateFromSkin("Demo", 80, 80, nullptr, 0));
    owner.Show();
    ASSERT_TRUE(dialog.CreateFromSkin("Demo", 200, 160, &owner, 0));
    int step = 0;
    bool ownerDisabled = false;
    ui.Ws().SetIdleHook([&] {
        if (step++ == 0) {
            ownerDisabled = !ui.Ws().IsEnabled(owner.GetHWND());
            ui.Ws().FakeKey(qwp::vk::Return, true);
            ui.Ws().FakeKey(qwp::vk::Return, false);
        }
    });
    EXPECT_EQ(dialog.RunModal(), 1);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(ui.Ws().IsEnabled(owner.GetHWND()));

    // The program's own message box over the owner: a screenshot, then Tab to "Cancel" and Return.
    qwtest::Picture shot;
    step = 0;
    ui.Ws().SetIdleHook([&] {
        if (step++ != 0) return;
        const qwp::WindowHandle box = ui.Ws().GetActiveWindow();
        ui.Ws().Sync();
        // Let the box paint before it is read back.
        qwp::Event e;
        while (ui.Ws().TakeEvent(e, box)) ui.Ws().Dispatch(e);
        ui.Ws().CaptureWindow(box, shot.rgb, shot.width, shot.height);
        for (uint32_t key : {qwp::vk::Tab, qwp::vk::Return}) {
            ui.Ws().FakeKey(key, true);
            ui.Ws().FakeKey(key, false);
        }
    });
    qwp::MessageBoxRequest request;
    request.owner = owner.GetHWND();
    request.text = "Do you want to replace the file \"Untitled.qwjd\"?";
    request.caption = "Quarrow. Jigcrafter 3.0";
    request.buttons = qwp::MessageButtons::OkCancel;
    request.icon = qwp::MessageIcon::Question;
    EXPECT_EQ(ui.Ws().MessageBox(request), qwp::kIdCancel);
    ui.Ws().SetIdleHook(nullptr);
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(shot.At(shot.width / 2, 3), 0x24272Cu);
    qwtest::WritePng(qwtest::OutputDir("screens") + "/message_box_x11.png", shot);
    EXPECT_TRUE(ui.Ws().IsEnabled(owner.GetHWND()));

    // The clipboard keeps Windows-1252 text.
    ASSERT_TRUE(ui.Ws().SetClipboardText("Gr\xfc\xdf" "e \x80"));
    std::string text;
    ASSERT_TRUE(ui.Ws().GetClipboardText(text));
    EXPECT_EQ(text, "Gr\xfc\xdf" "e \x80");
    EXPECT_EQ(qwp::Utf8ToCp1252(qwp::Cp1252ToUtf8(text)), text);
    owner.Close();
}
