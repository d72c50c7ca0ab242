// The main window's status line as the pointer moves over its controls, headless: every control
// shows its hint in both modes, and so does every control of the Cutter.
#include "plugin/main/wnd_main.h"

#include "framework/ui/qwf_app.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/wnd_cutter.h"
#include "plugin/main/filter_app.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/main_test_support.h"
#include "tests/plugin/core/fake_host.h"

#include <gtest/gtest.h>

#include <string>


TEST(MainWindowHints, EveryControlShowsItsHintInBothModesAndTheCutterToo)
{
    qwtest::HeadlessUi ui;
    maintest::Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
    auto* cutter = maintest::CutterOf(w);
    // The hint table's text for the control in the mode (Layout 2, Puzzle 3); the preview and
    // the mode pictures leave it to the zones under them.
    auto mainHint = [](uint8_t mode) {
        return [mode](CQWF_Control* c) -> std::string {
            return CApp::GetHintText(c->GetName(), "Main", mode, c->GetKind()).GetBuffer();
        };
    };
    auto zones = [](CQWF_Control* c) {
        return c->GetKind() == QWF_CTRL_PREVIEW || std::string(c->GetName()).rfind("Main_Mode", 0) == 0;
    };
    auto mainStatus = [&] { return std::string(w.GetStatusText()); };
    const maintest::Hovered layout = maintest::HoverEveryControl(w, mainHint(2), mainStatus, zones);
    EXPECT_GT(layout.shown, 20);
    EXPECT_GT(layout.hidden, 10);

    // The Cutter (the state byte: enabled), and its shape's area, where no control is.
    auto cutterStatus = [&] { return std::string(cutter->GetStatusText()); };
    const maintest::Hovered inCutter = maintest::HoverEveryControl(
        *cutter,
        [](CQWF_Control* c) -> std::string {
            return CApp::GetHintText(c->GetName(), "Cutter", c->IsEnabled(), c->GetKind()).GetBuffer();
        },
        cutterStatus, [](CQWF_Control*) { return false; });
    EXPECT_GT(inCutter.shown, 25);
    EXPECT_GT(inCutter.hidden, 0);
    QWF_Rect shape{};
    ASSERT_TRUE(cutter->LoadRect("Cutter_Preview", shape));
    cutter->OnMouseMoveMessage(shape.left + 4, shape.top + 4, 0);
    EXPECT_EQ(cutter->GetHoverIndex(), -1);
    EXPECT_EQ(cutterStatus(), CApp::GetHintText("Zone_Preview", "Cutter", 1, 0).GetBuffer());
    EXPECT_EQ(cutterStatus().rfind("The knife's Path.", 0), 0u) << cutterStatus();
    // That hint holds from the area's first pixel to its last; the frame around it has the
    // window's own.
    const std::string area = cutterStatus(), own = CApp::GetHintText("", "Cutter", 1, 0).GetBuffer();
    const int32_t in[2][2] = {{shape.left, shape.top}, {shape.right - 1, shape.bottom - 1}};
    const int32_t out[4][2] = {{shape.left - 1, shape.top}, {shape.right, shape.bottom - 1}, {shape.left, shape.top - 1},
                               {shape.right - 1, shape.bottom}};
    for (int k = 0; k < 4; ++k) {
        cutter->OnMouseMoveMessage(in[k % 2][0], in[k % 2][1], 0);
        EXPECT_EQ(cutterStatus(), area) << k;
        cutter->OnMouseMoveMessage(out[k][0], out[k][1], 0);
        EXPECT_EQ(cutterStatus(), own) << k;
    }
    // A control's hint, once faded in (the cutting cover spans the whole window, hidden).
    auto fadeIn = [&] {
        for (int i = 0; i < 20; ++i)
            ui.Advance(30);
    };
    int32_t fx = 0, fy = 0;
    ASSERT_TRUE(maintest::PointOver(*cutter, cutter->FindControl("Cutter_FlipH"), fx, fy));
    cutter->OnMouseMoveMessage(fx, fy, 0);
    fadeIn();
    EXPECT_EQ(cutterStatus(), "Click to flip the knife's Path across the knife.");
    EXPECT_TRUE(ui.Screenshot(*cutter, "cutter_hint_flip"));

    // Puzzle mode (state 3).
    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    const maintest::Hovered puzzle = maintest::HoverEveryControl(w, mainHint(3), mainStatus, zones);
    EXPECT_GT(puzzle.shown, 25);
    EXPECT_GT(puzzle.hidden, 5);
    // Apply, over the Layout mode's hidden Apply button.
    ASSERT_TRUE(maintest::PointOver(w, w.FindControl("Main_Apply"), fx, fy));
    w.OnMouseMoveMessage(fx, fy, 0);
    fadeIn();
    EXPECT_EQ(mainStatus(), "Click to apply the plug-in and obtain the created puzzle pieces as a flattened layer "
                            "inside your host. The plug-in closes.");
    EXPECT_TRUE(ui.Screenshot(w, "main_hint_apply_puzzle"));
    w.Close();
    ui.Pump();
}
