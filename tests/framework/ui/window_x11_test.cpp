// Modal runs and the program's message box through the X11 backend answer synthetic keys; the
// clipboard keeps Windows-1252 text.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::SkinBuilder;
using qwtest::X11Ui;

namespace {

void AddSkin(SkinBuilder& skin) { AddWindowSkin(skin, "Demo", 240, 150); }

}  // namespace

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

TEST(X11Windows, ShadowOverlayIsOutlinedAndLetsThePointerThrough)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ui.Ws().ForceBlending(true);
    SkinBuilder skin;
    AddSkin(skin);
    ASSERT_TRUE(skin.LoadInto(ui.App()));
    ui.App().m_shadow = 1;
    RecordingWindow below, w;
    ASSERT_TRUE(below.Create("below", 20, 20, 600, 400, 0, nullptr, 0, false));
    below.Show();
    ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    ASSERT_TRUE(w.HasShadow());
    w.Show();
    ui.Pump();
    ASSERT_TRUE(ui.Ws().IsOnScreen(w.GetShadowHWND()));
    std::vector<qwp::ScreenRect> shape;
    ASSERT_TRUE(ui.Ws().ServerShape(w.GetShadowHWND(), shape));
    EXPECT_TRUE(Inside(shape, 2, 2));
    EXPECT_FALSE(Inside(shape, 8 + 120, 8 + 75));  // the window itself is left out
    // A click on the shadow reaches the window below it.
    below.log.clear();
    ui.Click(w, 240 + 5, 150 + 5);
    EXPECT_EQ(below.Only("ldown"), (std::vector<std::string>{"ldown:325,235"}));
    w.Close();
    below.Close();
}
