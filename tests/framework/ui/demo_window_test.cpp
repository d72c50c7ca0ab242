// The Demo window of the compiled skin package, headless and through X11: size, outline, caption
// drag, shadow, caption layers on activation, timers, a modal run ended by a key with its owner
// disabled meanwhile, the pump's filtering, and on the X server the outline, input and a drag.
#include <gtest/gtest.h>

#include "demo_controls.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {

// A skin element read from the package, before any program has loaded it.
bool ReadElement(const char* key, democtl::Element& e)
{
    CQWF_Storage package;
    return package.OpenFile(PackagePath().c_str(), CQWF_Storage::kModeRead) &&
           QWF_ReadSkinElement(&package, key, 4, e.block, e.rect);
}

// The window that owns the Demo in the modal run: Escape ends a modal run with 0.
class DemoWindow : public RecordingWindow {};

struct Demo : ::testing::Test {
    democtl::Element background, active, inactive;
    void SetUp() override
    {
        ASSERT_TRUE(ReadElement("UIResources>Windows>Demo>Background", background)) << "build the skin package first";
        ASSERT_TRUE(ReadElement("UIResources>Windows>Demo>Caption_Active", active));
        ASSERT_TRUE(ReadElement("UIResources>Windows>Demo>Caption_Inactive", inactive));
    }
};

}  // namespace

TEST_F(Demo, CompiledDemoWindowHeadless)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << ui.App().GetError();
    ui.App().m_shadow = 1;
    DemoWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", QWF_WHOLE, QWF_WHOLE, nullptr, 0));
    ASSERT_EQ(background.rect.left, 0);
    ASSERT_EQ(background.rect.top, 0);
    EXPECT_EQ(demo.GetWidth(), background.rect.right);
    EXPECT_EQ(demo.GetHeight(), background.rect.bottom);
    QWF_Rect r;
    demo.GetWindowRect(r);
    EXPECT_EQ(r.left, (1366 - demo.GetWidth()) / 2);
    EXPECT_EQ(r.top, (728 - demo.GetHeight()) / 2);

    // The outline: exactly the background's pixels of alpha above 128.
    ASSERT_TRUE(demo.HasAlphaRegion());
    int wrong = 0;
    for (int32_t y = 0; y < background.rect.bottom; ++y)
        for (int32_t x = 0; x < background.rect.right; ++x)
            wrong += Inside(demo.GetRegion(), x, y) != (background.At(3, x, y) > 128);
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(Inside(demo.GetRegion(), 0, 0));

    // The shadow: the outline in grey 200, blurred by the 15 weights of size 4 across and down.
    ASSERT_TRUE(demo.HasShadow());
    const int32_t sw = demo.GetWidth() + 22, sh = demo.GetHeight() + 22;
    const int32_t k[15] = {55, 82, 116, 154, 192, 225, 247, 255, 247, 225, 192, 154, 116, 82, 55};
    const int32_t sum = 2397;
    std::vector<int32_t> grey(static_cast<size_t>(sw) * sh, 0), across(grey.size(), 0);
    for (int32_t y = 0; y < demo.GetHeight(); ++y)
        for (int32_t x = 0; x < demo.GetWidth(); ++x)
            if (background.At(3, x, y) > 128) grey[static_cast<size_t>(y + 11) * sw + x + 11] = 200;
    for (int32_t y = 0; y < sh; ++y)
        for (int32_t x = 0; x < sw; ++x) {
            int32_t a = 0;
            for (int i = 0; i < 15; ++i)
                if (x - 7 + i >= 0 && x - 7 + i < sw) a += k[i] * grey[static_cast<size_t>(y) * sw + x - 7 + i];
            across[static_cast<size_t>(y) * sw + x] = a / sum;
        }
    const std::vector<uint8_t>& shadow = *ui.Ws().OverlayPixels(demo.GetShadowHWND());
    ASSERT_EQ(shadow.size(), static_cast<size_t>(sw) * sh * 4);
    wrong = 0;
    for (int32_t y = 0; y < sh; ++y)
        for (int32_t x = 0; x < sw; ++x) {
            int32_t a = 0;
            for (int i = 0; i < 15; ++i)
                if (y - 7 + i >= 0 && y - 7 + i < sh) a += k[i] * across[static_cast<size_t>(y - 7 + i) * sw + x];
            const uint8_t* p = &shadow[(static_cast<size_t>(y) * sw + x) * 4];
            wrong += p[3] != a / sum || p[0] || p[1] || p[2];
        }
    EXPECT_EQ(wrong, 0);

    // Shown and active: the active caption over the background; a second window takes the
    // activation and the inactive caption shows.
    ASSERT_TRUE(demo.Show());
    ui.Pump();
    auto captionShows = [&](const democtl::Element& caption) {
        const qwtest::Picture p = ui.Pixels(demo);
        int off = 0;
        for (int32_t y = caption.rect.top; y < caption.rect.bottom; ++y)
            for (int32_t x = caption.rect.left; x < caption.rect.right; ++x) {
                if (caption.At(3, x, y) != 255) continue;
                off += !Near(p.At(x, y), caption.Rgb(x, y));
            }
        return off;
    };
    EXPECT_EQ(captionShows(active), 0);
    ui.Screenshot(demo, "demo_compiled_headless");
    ui.ScreenScreenshot("demo_compiled_headless_screen");
    DemoWindow other;
    ASSERT_TRUE(other.CreateFromSkin("Demo", 10, 10, nullptr, 0));
    other.Show();
    ui.Pump();
    EXPECT_EQ(captionShows(inactive), 0);
    ui.Click(demo, 700, 480);  // a point the other window does not cover
    EXPECT_EQ(captionShows(active), 0);
    other.Close();

    // The caption drags the window and its shadow; its close box does not.
    ui.Drag(demo, 300, 14, 340, 39);
    QWF_Rect moved;
    demo.GetWindowRect(moved);
    EXPECT_EQ(moved.left, r.left + 40);
    EXPECT_EQ(moved.top, r.top + 25);
    qwp::ScreenRect sr;
    ui.Ws().GetWindowRect(demo.GetShadowHWND(), sr);
    EXPECT_EQ(sr.left, moved.left - 8);
    demo.log.clear();
    ui.Click(demo, demo.GetWidth() - 15, 14);
    EXPECT_EQ(demo.Only("ldown").size(), 1u);

    // A modal Demo over this one: the owner is disabled meanwhile; the pump dispatches only what
    // it is asked for and leaves the close request to the modal loop, which it ends with 0.
    DemoWindow dialog;
    ASSERT_TRUE(dialog.CreateFromSkin("Demo", 40, 40, &demo, 0));
    ASSERT_TRUE(dialog.SetTimer(100, 3));
    bool ownerDisabled = false;
    ui.Ws().PushIdleAction([&] {
        ownerDisabled = !ui.Ws().IsEnabled(demo.GetHWND());
        ui.Ws().AdvanceTime(100);
        ui.Ws().PressKey('K');
        qwp::Event close;
        close.type = qwp::EventType::Close;
        close.window = dialog.GetHWND();
        ui.Ws().Post(close);
        CQWF_Window::PumpMessages(&dialog, true, true, false, false);
    });
    EXPECT_EQ(dialog.RunModal(), 0);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(dialog.Only("timer"), (std::vector<std::string>{"timer:3"}));
    EXPECT_TRUE(dialog.Only("char").empty());
    EXPECT_TRUE(ui.Ws().IsEnabled(demo.GetHWND()));
    EXPECT_EQ(ui.Ws().GetActiveWindow(), demo.GetHWND());
}

TEST_F(Demo, CompiledDemoWindowUnderX11)
{
    // (That the server shows the face the window composed is checked with every control kind in
    // it, in controls_x11_test.cpp.)
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    std::vector<std::string> log;
    RecordingControl ok({664, 484, 748, 508}, "Demo_OK", &log);
    DemoWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", 100, 60, nullptr, 0));
    ASSERT_EQ(demo.AttachControl(&ok), 0);
    ASSERT_TRUE(demo.Show());
    ui.Pump();
    ASSERT_TRUE(ui.Ws().IsOnScreen(demo.GetHWND()));

    // The server holds the outline of the background's alpha.
    std::vector<qwp::ScreenRect> shape;
    ASSERT_TRUE(ui.Ws().ServerShape(demo.GetHWND(), shape));
    int wrong = 0;
    for (int32_t y = 0; y < background.rect.bottom; ++y)
        for (int32_t x = 0; x < background.rect.right; ++x) wrong += Inside(shape, x, y) != (background.At(3, x, y) > 128);
    EXPECT_EQ(wrong, 0);
    ui.Screenshot(demo, "demo_compiled_x11");

    // Synthetic input reaches the toolkit: a click on a control, keys, a drag by the caption.
    ui.Click(demo, 700, 496);
    EXPECT_EQ(log, (std::vector<std::string>{"Demo_OK:down:700,496", "Demo_OK:up:700,496"}));
    EXPECT_EQ(demo.GetFocusIndex(), 0);
    ui.Key('Q');
    ui.Key(qwp::vk::Escape);
    EXPECT_EQ(demo.Only("char"), (std::vector<std::string>{"char:113", "char:27"}));
    EXPECT_NE(std::find(log.begin(), log.end(), "Demo_OK:key:7,0"), log.end());
    ui.Drag(demo, 300, 14, 360, 44);
    QWF_Rect r;
    demo.GetWindowRect(r);
    EXPECT_EQ(std::make_pair(r.left, r.top), std::make_pair(160, 90));
    EXPECT_EQ(demo.Only("ldown").size(), 1u);
    demo.Close();
}
