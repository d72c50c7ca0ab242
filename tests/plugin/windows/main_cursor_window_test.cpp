// The main window's cursor as the pointer moves over it, headless: the skin's cursors by zone in
// Layout mode (preview, navigator, panning with Space and zooming with Ctrl) and over the pieces
// in Puzzle mode.
#include "plugin/main/wnd_main.h"

#include "framework/ui/qwf_app.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/main_test_support.h"
#include "tests/plugin/core/fake_host.h"

#include <gtest/gtest.h>

TEST(MainWindowCursor, ByZoneInBothModes)
{
    qwtest::HeadlessUi ui;
    maintest::Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
    ASSERT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    qwp::HeadlessWindowSystem& ws = ui.Ws();
    auto at = [&](int32_t x, int32_t y) {
        ui.MoveTo(w, x, y);
        ui.Pump();
        return ws.GetCursorShape();
    };
    // The Cutter stands over the middle of the screen; these points are beside it.
    const int32_t px = 120, py = 380;  // in the preview, on the picture (shown to fit, centred)
    EXPECT_EQ(at(px, py), 115);
    EXPECT_EQ(at(1000, 100), 113);  // the navigator
    EXPECT_EQ(at(300, 14), qwp::kCursorArrow);  // the caption: the window's own choice
    // Space: the picture fits, nothing to pan; with Ctrl a click zooms in.
    ws.KeyDown(qwp::vk::Space);
    EXPECT_EQ(at(px, py), 112);
    ws.KeyDown(qwp::vk::Control);
    EXPECT_EQ(at(px, py + 1), 110);
    ws.KeyUp(qwp::vk::Control);
    ws.KeyUp(qwp::vk::Space);

    auto* cutter = static_cast<CWnd_Cutter*>(w.GetCutter()->GetWindow());
    ASSERT_TRUE(ui.ClickControl(*cutter, "Cutter_Cut"));
    ui.Pump();
    ASSERT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
    EXPECT_EQ(at(449, 365), 115);  // a piece in the middle of the picture
    EXPECT_EQ(at(45, 100), 114);   // the preview around the picture: no piece
    w.Close();
    ui.Pump();
}
