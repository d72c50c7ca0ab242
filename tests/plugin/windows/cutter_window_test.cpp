// The Cutter window from the compiled skin package: its grid parameters reach the main window,
// it cannot be left before the first cut, the Cut cuts the picture and hands Layout mode back;
// photographed headless and under X11.
#include "plugin/windows/wnd_cutter.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/layout_transfer.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {
std::string PackagePath()
{
    return qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str());
}

// The main window as the Cutter sees it.
struct Owner : CCutterOwner {
    CPluginMain plugin;
    CLayoutModel layout;
    std::vector<uint8_t> planes;
    std::vector<std::string> log;
    int leaves = 0;
    Owner() : planes(160 * 120 * 3)
    {
        for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>(i * 5);
        layout.SetImageSize(160, 120);
        layout.SetGridSize(3, 2, true, true);
    }
    CQWF_Window* GetOwnerWindow() override { return nullptr; }
    CPluginMain* GetPlugin() override { return &plugin; }
    CLayoutModel& GetLayout() override { return layout; }
    bool ResizeGrid(int rows, int columns) override
    {
        log.push_back("resize:" + std::to_string(rows) + "x" + std::to_string(columns));
        return layout.ResizeGrid(rows, columns);
    }
    void PreviewGridSize(int rows, int columns) override
    {
        log.push_back("preview:" + std::to_string(rows) + "x" + std::to_string(columns));
    }
    void SetKnifeThickness(int thickness, bool razor) override
    {
        log.push_back("thickness:" + std::to_string(thickness) + (razor ? ":razor" : ""));
    }
    void SetTipsSize(int tips) override { log.push_back("tips:" + std::to_string(tips)); }
    void SetAntiAliasing(bool on) override { log.push_back(on ? "aa:on" : "aa:off"); }
    bool TransferKnives() override { return ::TransferKnives(layout, plugin.GetEngine()); }
    bool GetCutPicture(int32_t& w, int32_t& h, const uint8_t*& mask, int64_t& stride,
                       const uint8_t* p[3]) override
    {
        w = 160;
        h = 120;
        mask = nullptr;
        stride = 0;
        for (int i = 0; i < 3; ++i) p[i] = planes.data() + static_cast<size_t>(i) * 160 * 120;
        return true;
    }
    void LeaveLayoutMode() override { ++leaves; }
    void ForgetPiecesUndo() override {}
    void PumpOwnerMessages() override {}
};

void Prepare(CWnd_Cutter& c)
{
    c.SetGrid(2, 3, true);
    c.ShowKnifeThickness(3, false, true);
    c.ShowTipsSize(100, false);
}
}  // namespace

TEST(CutterWindow, GridParametersTheFirstCutAndClosing)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    Owner owner;
    CWnd_Cutter cutter(&owner);
    Prepare(cutter);
    ASSERT_TRUE(cutter.Open(QWF_WHOLE, QWF_WHOLE));
    cutter.Show();
    ui.Pump();
    ui.Screenshot(cutter, "cutter_headless");

    // Without pieces the only way out is a Cut: Cancel, the close box and Escape do nothing.
    EXPECT_FALSE(cutter.GetMayClose());
    EXPECT_FALSE(cutter.GetControl(cutter.FindControl("Cutter_Cancel"))->IsEnabled());
    EXPECT_FALSE(cutter.Close());
    EXPECT_EQ(owner.leaves, 0);

    // The rows slider: a drag previews, the release resizes; typed rows are clamped.
    const int32_t rows = cutter.FindControl("Cutter_Rows");
    ASSERT_GE(rows, 0);
    auto* slider = static_cast<CQWF_CtrlSlider*>(cutter.GetControl(rows));
    slider->SetValue(4, true);
    EXPECT_EQ(owner.log.back(), "resize:4x3");
    EXPECT_EQ(owner.layout.GetYLineCount(), 3);

    // Razor cut off sends the stored thickness without it.
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_RazorCut"));
    EXPECT_EQ(owner.log.back(), "thickness:3");

    // The Cut: pieces of the 4 x 3 grid, Layout mode handed back, the window closed.
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Cut"));
    ui.Pump();
    EXPECT_TRUE(cutter.GetCutDone());
    EXPECT_FALSE(cutter.GetLayoutChanged());
    EXPECT_EQ(owner.leaves, 1);
    EXPECT_GE(owner.plugin.GetEngine().GetPieceCount(), 12);
}

TEST(CutterWindow, UnderX11)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    Owner owner;
    CWnd_Cutter cutter(&owner);
    Prepare(cutter);
    ASSERT_TRUE(cutter.Open(40, 40));
    ASSERT_TRUE(cutter.Show());
    ui.Pump();
    ui.Screenshot(cutter, "cutter_x11");
}
