// The main window by zone, headless: as the pointer moves over it the skin's cursors (preview,
// navigator, panning with Space and zooming with Ctrl, the pieces of Puzzle mode) and the hints
// of its zones (the preview, the two splitter rulers, the information and status lines) and of a
// control between them in both modes; the cursor follows a modifier key without a move; the right
// button's pop-up menu by zone up to each zone's last column and row, and the items of the menu
// over a knife.
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

#include <string>
#include <tuple>

TEST(MainWindowZones, CursorHintAndRightButtonInBothModes)
{
    qwtest::HeadlessUi ui;
    maintest::Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w));
    ASSERT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    qwp::HeadlessWindowSystem& ws = ui.Ws();
    auto at = [&](int32_t x, int32_t y) {
        ui.MoveTo(w, x, y);
        ui.Pump();
        return ws.GetCursorShape();
    };
    auto hint = [&](int32_t x, int32_t y) {
        at(x, y);
        return std::string(w.GetStatusText());
    };
    auto startsWith = [](const std::string& text, const char* head) { return text.rfind(head, 0) == 0; };
    const char* kMode = "Indicates the current working mode of the plug-in.";
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
    EXPECT_TRUE(startsWith(hint(px, py), "Click on any knife to select it.")) << w.GetStatusText();
    EXPECT_TRUE(startsWith(hint(300, 72), "The column lines of the Splitter. Drag")) << w.GetStatusText();
    EXPECT_TRUE(startsWith(hint(16, 300), "The row lines of the Splitter. Drag")) << w.GetStatusText();
    EXPECT_EQ(hint(300, 680), kMode);
    // A control between the zones: its own hint in the mode's words; back over the preview
    // the zone's hint again.
    EXPECT_TRUE(startsWith(hint(40, 48), "Click and choose the menu item: Save, Export, Preferences, etc."))
        << w.GetStatusText();
    EXPECT_TRUE(startsWith(hint(px + 1, py + 1), "Click on any knife")) << w.GetStatusText();
    // Space pressed with the pointer still: the hover tracking sets the panning cursor.
    EXPECT_EQ(ws.GetCursorShape(), 115);
    ws.KeyDown(qwp::vk::Space);
    for (int i = 0; i < 5; ++i)
        ui.Advance(30);
    EXPECT_EQ(ws.GetCursorShape(), 112);
    ws.KeyUp(qwp::vk::Space);
    for (int i = 0; i < 5; ++i)
        ui.Advance(30);
    EXPECT_EQ(ws.GetCursorShape(), 115);

    // The right button: the first item of the menu it opens at a point ("" for none). The
    // preview, the rulers of the grid lines above and left of it, and the unit rulers between.
    auto menuAt = [&](int32_t x, int32_t y) {
        const size_t before = ws.Menus().size();
        w.OnRButtonUp(x, y, 0);
        ui.Pump();
        return ws.Menus().size() > before ? ws.Menus().back().items[0].text.substr(0, 13) : std::string();
    };
    QWF_Rect p, top, left, units[2];
    ASSERT_TRUE(w.LoadRect("Main_Preview", p));
    ASSERT_TRUE(w.LoadRect("Main_HSplitRuler", top));
    ASSERT_TRUE(w.LoadRect("Main_VSplitRuler", left));
    units[0] = w.GetControl(maintest::Find(w, "Main_RulerTop", QWF_CTRL_RULER))->GetRect();
    units[1] = w.GetControl(maintest::Find(w, "Main_RulerLeft", QWF_CTRL_RULER))->GetRect();
    const std::string view = "Actual Pixels", lines = "Arrange", unit = "Pixels";
    for (const auto& [x, y, first] :
         {std::tuple{p.left, p.top, view}, {p.right - 1, p.bottom - 1, view}, {p.right, p.bottom - 1, ""},
          {p.right - 1, p.bottom, ""}, {top.left, top.top, lines}, {top.right - 1, top.bottom - 1, lines},
          {top.right, top.top, ""}, {top.right - 1, top.bottom, ""}, {left.left, left.top, lines},
          {left.right - 1, left.bottom - 1, lines}, {left.right, left.bottom - 1, ""},
          {left.right - 1, left.bottom, ""}, {units[0].right - 1, units[0].bottom - 1, unit},
          {units[0].right, units[0].top, ""}, {units[1].left, units[1].bottom - 1, unit},
          {units[1].right - 1, units[1].bottom, ""}})
        EXPECT_EQ(menuAt(x, y), first) << x << ", " << y;
    // Over a knife (the first row knife, a sixth down its cell): Flip H, Flip U and Flip HU flip
    // it across, along, or both.
    int32_t kx, ky;
    maintest::ImageToWindow(w, 60, 10, kx, ky);
    const KnifeRecord& knife = w.GetLayout().RowKnives()[0];
    for (const auto& [item, name, across, along] :
         {std::tuple{2, "Flip H", 1, 0}, {3, "Flip U", 0, 1}, {4, "Flip HU", 1, 1}}) {
        const int wasAcross = knife.flipAcross, wasAlong = knife.flipAlong;
        ws.AnswerMenu(item);
        EXPECT_EQ(menuAt(kx, ky), "Add to Select");
        EXPECT_EQ(ws.Menus().back().items[item].text, name);
        EXPECT_EQ(knife.flipAcross, wasAcross ^ across) << name;
        EXPECT_EQ(knife.flipAlong, wasAlong ^ along) << name;
    }

    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    EXPECT_EQ(at(449, 365), 115);  // a piece in the middle of the picture
    EXPECT_EQ(at(45, 100), 114);   // the preview around the picture: no piece
    // Same zones, the other mode: the Puzzle mode's words; no menu of the grid-line rulers, the
    // unit rulers keep theirs.
    EXPECT_TRUE(startsWith(hint(122, 382), "Click on any piece to select it.")) << w.GetStatusText();
    EXPECT_TRUE(startsWith(hint(300, 72), "The column lines of the Splitter. Click the Relayout"))
        << w.GetStatusText();
    EXPECT_TRUE(startsWith(hint(40, 48), "Click and choose the menu item: Save, Export, Preferences, Relayout"))
        << w.GetStatusText();
    EXPECT_EQ(hint(301, 660), kMode);
    EXPECT_EQ(menuAt(top.left, top.top), "");
    EXPECT_EQ(menuAt(units[1].left, units[1].top), unit);
    // The status line once its fade has ended.
    at(120, 300);
    for (int i = 0; i < 20; ++i)
        ui.Advance(30);
    EXPECT_TRUE(ui.Screenshot(w, "main_hover_preview_hint"));
    w.Close();
    ui.Pump();
}
