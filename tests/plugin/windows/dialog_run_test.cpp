// The filter run with its dialog, headless over the fake host: the main window opens from the
// skin package beside the module; a Cut of 4 x 3 cells and Apply write the pieces into the
// picture (grey, RGB, CMYK) with result 0; Cancel leaves it untouched with -128.
#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/dialog_test_support.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {
using maintest::MainOf;
struct DialogRun : maintest::FilterRun {};

}  // namespace

TEST_F(DialogRun, CutApplyAndCancel)
{
    qwtest::HeadlessUi ui;
    struct Mode {
        int16_t mode;
        int planes;
    };
    for (const Mode m : {Mode{plugInModeGrayScale, 1}, Mode{plugInModeRGBColor, 3},
                         Mode{plugInModeCMYKColor, 4}}) {
        SCOPED_TRACE(m.mode);
        fakehost::Reset(rec, 160, 120, m.mode, m.planes);
        const std::vector<std::vector<uint8_t>> before = fakehost::S().planes;
        // Cancel: nothing written.
        ui.Ws().PushIdleAction([&] { ui.ClickControl(MainOf(), "Main_Cancel"); });
        Call(filterSelectorParameters);
        EXPECT_EQ(Call(filterSelectorStart), userCanceledErr);
        EXPECT_EQ(fakehost::S().planes, before);

        // A cut of 4 x 3 cells, then Apply.
        ui.Ws().PushIdleAction([&] {
            CWnd_Main& w = MainOf();
            auto* c = static_cast<CWnd_Cutter*>(w.GetCutter()->GetWindow());
            static_cast<CQWF_CtrlSlider*>(c->GetControl(c->FindControl("Cutter_Rows")))->SetValue(3, true);
            static_cast<CQWF_CtrlSlider*>(c->GetControl(c->FindControl("Cutter_Columns")))->SetValue(4, true);
            ui.ClickControl(*c, "Cutter_Cut");
            ui.Pump();
            ui.ClickControl(w, "Main_Apply");
        });
        Call(filterSelectorParameters);
        EXPECT_EQ(Call(filterSelectorStart), noErr);
        EXPECT_NE(fakehost::S().planes, before);
        const std::vector<std::vector<uint8_t>> applied = fakehost::S().planes;

        // The run without the dialog replays the layout Apply saved: grey and CMYK pieces are
        // cut again from the host's planes either way and come out the same.
        fakehost::S().planes = before;
        Call(filterSelectorFinish);
        rec.descriptorParameters = nullptr;  // no scripting parameters: "last.data"
        EXPECT_EQ(Call(filterSelectorStart), noErr);
        if (m.mode != plugInModeRGBColor) {
            EXPECT_EQ(fakehost::S().planes, applied);
        }
    }
}

// The host closes its own window while the dialog is open: its windows go with it, nothing was
// applied, and the run ends cancelled with the picture untouched.
TEST_F(DialogRun, TheHostWindowClosedUnderTheDialogEndsCancelled)
{
    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 160, 120, plugInModeRGBColor, 3);
    const std::vector<std::vector<uint8_t>> before = fakehost::S().planes;
    qwp::WindowParams params;
    params.width = 320;
    params.height = 200;
    const qwp::WindowHandle hostWindow = ui.Ws().CreateWindow(params);
    ASSERT_NE(hostWindow, 0);
    ui.Ws().ShowWindow(hostWindow, qwp::ShowMode::Show);
    const PlatformData kept = fakehost::g_platform;
    fakehost::g_platform.hwnd = hostWindow;
    bool opened = false;
    ui.Ws().PushIdleAction([&] {
        opened = MainOf().GetHWND() != 0 && !ui.Ws().IsEnabled(hostWindow);
        ui.Ws().DestroyWindow(hostWindow);
    });
    Call(filterSelectorParameters);
    EXPECT_EQ(Call(filterSelectorStart), userCanceledErr);
    fakehost::g_platform = kept;
    EXPECT_TRUE(opened);
    EXPECT_EQ(fakehost::S().planes, before);
}

// A settings store the user may only read serves the run as it is: its settings are read, the
// user is told once that they cannot be saved, nothing is set aside, and the file keeps its bytes
// through a cut and an Apply.
TEST_F(DialogRun, ASettingsStoreThatCanOnlyBeReadServesTheRunAsItIs)
{
    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 160, 120, plugInModeRGBColor, 3);
    const std::string conf = dir.Path() + "/plugin.conf";
    {
        CQWF_Storage store;
        ASSERT_TRUE(store.OpenFile(qwp::ToWindowsPath(conf.c_str()).c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(store.CreateFolder("Cutter Settings") && store.SetByte("Cutter Settings>LinkRC", 1));
        ASSERT_TRUE(store.Close());
    }
    std::string before;
    ASSERT_TRUE(qwtest::ReadWholeFile(conf, before));
    qwp::SetUnwritableFilesForTesting(qwp::ToWindowsPath(dir.Path().c_str()).c_str());
    bool linked = false;
    ui.Ws().PushIdleAction([&] {
        CWnd_Main& w = MainOf();
        auto* c = static_cast<CWnd_Cutter*>(w.GetCutter()->GetWindow());
        linked = c->GetControl(dlgtest::Find(*c, "Cutter_LinkRC", QWF_CTRL_CHECKBOX))->GetCheck();
        ui.ClickControl(*c, "Cutter_Cut");
        ui.Pump();
        ui.ClickControl(w, "Main_Apply");
    });
    Call(filterSelectorParameters);
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    Call(filterSelectorFinish);
    qwp::SetUnwritableFilesForTesting(nullptr);
    EXPECT_TRUE(linked);
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.text, "Cannot update settings file...");
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.caption, "Error!");
    std::string after;
    ASSERT_TRUE(qwtest::ReadWholeFile(conf, after));
    EXPECT_TRUE(after == before);
    EXPECT_FALSE(std::filesystem::exists(conf + ".damaged"));
}
