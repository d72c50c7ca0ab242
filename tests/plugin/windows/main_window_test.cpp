// The main window from the compiled skin package over the fake host: it opens in Layout mode
// with its Cutter, a Cut of 4 x 3 cells switches to Puzzle mode with the pieces shown, Apply
// commits the layout to the engine with result 0, Cancel and the close box end with -128.
// Photographed in both modes, headless and under X11.
#include "plugin/main/wnd_main.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <string>

using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {
using maintest::CutterOf;
using maintest::Host;
using maintest::PackagePath;
using maintest::SetGrid;

// A heading's cover is shown while the controls under the heading are hidden.
bool CoverShown(CWnd_Main& w, const char* name)
{
    auto* c = static_cast<CQWF_CtrlStaticImage*>(w.GetControl(w.FindControl(name)));
    return c && c->GetLayer() && c->GetLayer()->IsVisible() != 0;
}
}  // namespace

TEST(MainWindow, LayoutCutPuzzleAndApply)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    InstallCutterFactory();
    Host host;
    CWnd_Main w;
    w.SetPlugin(&host.plugin);
    ASSERT_TRUE(w.CreateFromSkin("Main", 0, 0, nullptr, 0));
    w.Show();
    ui.Pump();
    EXPECT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    CWnd_Cutter* cutter = CutterOf(w);
    ASSERT_NE(cutter, nullptr);
    SetGrid(*cutter, 3, 4);
    EXPECT_EQ(w.GetLayout().GetYLineCount(), 2);
    EXPECT_EQ(w.GetLayout().GetXLineCount(), 3);
    ui.Pump();
    EXPECT_FALSE(CoverShown(w, "Main_RndKnotsCover"));
    EXPECT_TRUE(CoverShown(w, "Main_PiecesCover"));
    ui.Screenshot(w, "main_layout_headless");
    ui.Screenshot(*cutter, "cutter_beside_main_headless");
    EXPECT_STREQ(w.GetInfoText(), "Image Size (W x H): 240 pixels x 180 pixels");

    ASSERT_TRUE(ui.ClickControl(*cutter, "Cutter_Cut"));
    ui.Pump();
    EXPECT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
    EXPECT_GE(host.plugin.GetEngine().GetPieceCount(), 12);
    EXPECT_EQ(w.GetPiecesImage().GetWidth(), 240);
    EXPECT_TRUE(CoverShown(w, "Main_RndKnotsCover"));
    EXPECT_FALSE(CoverShown(w, "Main_PiecesCover"));
    ui.Screenshot(w, "main_puzzle_headless");

    ASSERT_TRUE(ui.ClickControl(w, "Main_Apply"));
    ui.Pump();
    EXPECT_EQ(w.GetReady(), 1);
    EXPECT_EQ(host.plugin.GetResult(), 0);
}

TEST(MainWindow, CancelAndTheCloseBoxEndCancelled)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    InstallCutterFactory();
    for (const char* button : {"Main_Cancel", "Main_CloseX"}) {
        Host host;
        CWnd_Main w;
        w.SetPlugin(&host.plugin);
        ASSERT_TRUE(w.CreateFromSkin("Main", 0, 0, nullptr, 0));
        w.Show();
        ui.Pump();
        ASSERT_TRUE(ui.ClickControl(w, button)) << button;
        ui.Pump();
        EXPECT_EQ(w.GetReady(), 0) << button;
        EXPECT_EQ(host.plugin.GetResult(), -128) << button;
    }
}

TEST(MainWindow, UnderX11)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    InstallCutterFactory();
    Host host;
    CWnd_Main w;
    w.SetPlugin(&host.plugin);
    ASSERT_TRUE(w.CreateFromSkin("Main", 0, 0, nullptr, 0));
    ASSERT_TRUE(w.Show());
    ui.Pump();
    CWnd_Cutter* cutter = CutterOf(w);
    ASSERT_NE(cutter, nullptr);
    SetGrid(*cutter, 3, 4);
    ui.Pump();
    // The Cutter stands over the main window: the picture is the screen under both, since a
    // window's own pixels are undefined where another window covers it.
    QWF_Rect m, c;
    ASSERT_TRUE(w.GetWindowRect(m) && cutter->GetWindowRect(c));
    const qwp::ScreenRect both{std::min(m.left, c.left), std::min(m.top, c.top), std::max(m.right, c.right),
                               std::max(m.bottom, c.bottom)};
    qwtest::Picture layout;
    layout.width = both.right - both.left;
    layout.height = both.bottom - both.top;
    ASSERT_TRUE(ui.Ws().CaptureScreen(both, layout.rgb));
    EXPECT_TRUE(qwtest::WritePng(qwtest::OutputDir("screens") + "/main_layout_x11.png", layout));
    ASSERT_TRUE(ui.ClickControl(*cutter, "Cutter_Cut"));
    ui.Pump();
    ui.Screenshot(w, "main_puzzle_x11");
}
