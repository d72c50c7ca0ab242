// The main window's one render loop as the effect windows use it: a newer request of the open
// effect window (a slider moved, its preview timer due) that arrives while the loop runs restarts
// it, and the pieces end as a render of the last settings alone leaves them.
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/piece_view.h"
#include "plugin/windows/effect_host.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
using maintest::MainOf;
using maintest::Slide;
struct RenderRestart : maintest::FilterRun {
    void InstallWindows() override
    {
        InstallCutterFactory();
        InstallEffectWindows();
    }
};

std::vector<uint8_t> Pixels(CQWF_Image& image)
{
    std::vector<uint8_t> out;
    for (int k = 0; k < 4; ++k) {
        const uint8_t* p = image.GetPlane(k);
        if (p)
            out.insert(out.end(), p, p + image.GetPlaneSize());
    }
    return out;
}
}  // namespace

TEST_F(RenderRestart, NewerEffectRequestRestartsTheRunningRender)
{
    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 160, 120, plugInModeRGBColor, 3);
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x)
            fakehost::S().planes[0][static_cast<size_t>(y) * 160 + x] =
                static_cast<uint8_t>((x * 7) ^ (y * 5));
    bool ran = false;
    ui.Ws().PushIdleAction([&] {
        CWnd_Main& main = MainOf();
        auto* c = static_cast<CWnd_Cutter*>(main.GetCutter()->GetWindow());
        Slide(*c, "Cutter_Rows", 3);
        Slide(*c, "Cutter_Columns", 4);
        ui.ClickControl(*c, "Cutter_Cut");
        ui.Pump();
        ASSERT_NE(main.GetPieceView(), nullptr);
        main.GetPieceView()->SelectAllPieces(false);
        ASSERT_TRUE(main.OpenEffectWindow(0));
        CWndFX_Base* blur = static_cast<CMainEffectHost*>(main.GetEffectWindow())->GetEffectWindow();
        ASSERT_NE(blur, nullptr);
        CJigcrafter& e = main.GetPlugin()->GetEngine();
        std::vector<int32_t> targets;
        for (int32_t i = 0; i < e.GetPieceCount(); ++i)
            if (e.GetPiece(i)->selected)
                targets.push_back(i);
        ASSERT_GE(targets.size(), 12u);
        auto radius = [&](int32_t i) {
            PieceEffectRecord r;
            e.PieceToRecord(i, r);
            return r.blurRadius;
        };

        // Settled on radius 3.
        Slide(*blur, "FXblur_Radius", 3);
        ui.Advance(60);
        ui.Advance(60);
        for (int32_t i : targets)
            ASSERT_EQ(radius(i), 3) << i;
        // The slider moves to 9 and the preview timer falls due, while a render of the pieces
        // runs: the loop takes the window's request and restarts instead of finishing on 3.
        Slide(*blur, "FXblur_Radius", 9);
        ui.Ws().AdvanceTime(60);
        EXPECT_TRUE(main.RenderPieces(targets.data(), static_cast<int32_t>(targets.size()), true,
                                      true));
        EXPECT_FALSE(main.IsRendering());
        for (int32_t i : targets)
            EXPECT_EQ(radius(i), 9) << i;
        const std::vector<uint8_t> restarted = Pixels(main.GetPiecesImage());

        // Back to 3 and on to 9 with nothing in between: the same picture.
        Slide(*blur, "FXblur_Radius", 3);
        ui.Advance(60);
        ui.Advance(60);
        EXPECT_NE(Pixels(main.GetPiecesImage()), restarted);
        Slide(*blur, "FXblur_Radius", 9);
        ui.Advance(60);
        ui.Advance(60);
        EXPECT_EQ(Pixels(main.GetPiecesImage()), restarted);
        ui.ClickControl(*blur, "FXblur_Ok");
        ui.Pump();
        EXPECT_FALSE(main.IsEffectWindowOpen());
        ran = true;
        ui.ClickControl(main, "Main_Cancel");
    });
    Call(filterSelectorParameters);
    Call(filterSelectorStart);
    EXPECT_TRUE(ran);
    EXPECT_EQ(ui.Ws().PendingIdleActions(), 0u);
}
