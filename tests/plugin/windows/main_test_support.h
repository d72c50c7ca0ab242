// The filter and its main window over the fake host for the window tests: a fixture that runs the
// plug-in's selectors from a temporary folder holding the skin package beside the module, a host
// set up for a main window made directly, and small helpers to reach the main window and its
// Cutter.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"

namespace maintest {

// The skin package of the build, as a Windows path.
inline std::string PackagePath()
{
    return qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str());
}

// Runs the filter's selectors as the host does, from a temporary folder that holds the skin
// package beside the module. InstallWindows adds the windows a test needs besides the main one.
struct FilterRun : ::testing::Test {
    qwtest::TempDir dir;
    char cwd[4096] = {};
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CPluginMain plugin;
    virtual void InstallWindows() {}
    void SetUp() override
    {
        ASSERT_TRUE(getcwd(cwd, sizeof cwd));
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        std::string package;
        ASSERT_TRUE(qwtest::ReadWholeFile(qwtest::BinaryDir() + "/bin/resource_jw30.qws4", package));
        ASSERT_TRUE(qwtest::WriteWholeFile(dir.Path() + "/resource_jw30.qws4", package));
        qwp::SetModuleFileNameForTesting(
            (qwp::ToWindowsPath(dir.Path().c_str()) + "\\QWJigcrafter30.8bf").c_str());
        RegisterFilterApp();
        InstallWindows();
    }
    void TearDown() override
    {
        qwp::SetModuleFileNameForTesting(nullptr);
        EXPECT_EQ(chdir(cwd), 0);
    }
    int16_t Call(int16_t selector)
    {
        result = 12345;
        QW_Dispatch(plugin, selector, &rec, &data, &result);
        fakehost::S().record = &rec;
        fakehost::Advance();
        return result;
    }
};

// The main window of the running filter.
inline CWnd_Main& MainOf()
{
    return static_cast<CApp*>(CQWF_App::GetApp())->GetMainWindowObject();
}

// A fake host with a picture of 240 x 180 read by the plug-in, for a main window made directly.
// Its data folder is a fresh one of its own: the window opens on no earlier last layout, and
// what it saves there goes with the host.
struct Host {
    qwtest::TempDir dataDir;
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CPluginMain plugin;
    explicit Host(int16_t mode = plugInModeRGBColor, int planes = 3)
    {
        fakehost::Reset(rec, 240, 180, mode, planes);
        plugin.GetDataFolder() = (qwp::ToWindowsPath(dataDir.Path().c_str()) + "\\").c_str();
        plugin.SetHostPointers(&rec, &data, &result);
        EXPECT_TRUE(plugin.ReadHostInfo());
        plugin.GetEngine().SetColourLayout(plugin.GetHostInfo()->layout);
        EXPECT_TRUE(plugin.ReadMask(true));
    }
};

inline CWnd_Cutter* CutterOf(CWnd_Main& w)
{
    return w.GetCutter() ? static_cast<CWnd_Cutter*>(w.GetCutter()->GetWindow()) : nullptr;
}

inline void SetGrid(CWnd_Cutter& c, int rows, int columns)
{
    static_cast<CQWF_CtrlSlider*>(c.GetControl(c.FindControl("Cutter_Rows")))->SetValue(rows, true);
    static_cast<CQWF_CtrlSlider*>(c.GetControl(c.FindControl("Cutter_Columns")))
        ->SetValue(columns, true);
}

// Loads the build's skin package into the test's application and opens a main window over the
// host's plug-in object, shown, with its Cutter beside it (Layout mode). Call it through
// ASSERT_NO_FATAL_FAILURE.
template <class AnyHost> void OpenMainWindow(qwtest::UiDriver& ui, AnyHost& host, CWnd_Main& w)
{
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    InstallCutterFactory();
    w.SetPlugin(&host.plugin);
    ASSERT_TRUE(w.CreateFromSkin("Main", 0, 0, nullptr, 0));
    ASSERT_TRUE(w.Show());
    ui.Pump();
    ASSERT_NE(CutterOf(w), nullptr);
}

// The same on a plain grid of 4 columns and 3 rows, whatever an earlier run left as the last
// layout, undo empty.
inline void OpenMainWindowOnGrid(qwtest::UiDriver& ui, Host& host, CWnd_Main& w)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow(ui, host, w));
    SetGrid(*CutterOf(w), 3, 4);
    ASSERT_TRUE(w.GetLayout().SetGridSize(4, 3, true, true));
    w.GetLayout().ResetUndo();
    w.RedrawLayout();
}

// The Cutter's Cut, with no effects of an earlier run handed over (no question after the cut):
// the main window in Puzzle mode. Call it through ASSERT_NO_FATAL_FAILURE.
template <class Main> void Cut(qwtest::UiDriver& ui, Main& w)
{
    ASSERT_TRUE(w.GetCutter()->SetHandedRecords(nullptr, 0));
    ASSERT_TRUE(ui.ClickControl(*CutterOf(w), "Cutter_Cut"));
    ui.Pump();
    ASSERT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
}

// Moves the slider of the skin name to a value, as the user would.
inline void Slide(CQWF_Window& w, const char* name, uint32_t value)
{
    CQWF_CtrlSlider* s = nullptr;
    for (int32_t i = 0; i < w.GetControlCount() && !s; ++i) {
        CQWF_Control* c = w.GetControl(i);
        if (c && c->GetKind() == QWF_CTRL_SLIDER && std::strcmp(c->GetName(), name) == 0)
            s = static_cast<CQWF_CtrlSlider*>(c);
    }
    ASSERT_NE(s, nullptr) << name;
    s->SetValue(value, true);
}

// The control of a skin name and kind (one name may stand for several kinds); -1 when none.
inline int32_t Find(CQWF_Window& w, const char* name, uint8_t kind)
{
    for (int32_t i = 0; i < w.GetControlCount(); ++i)
        if (w.GetControl(i)->GetKind() == kind && std::strcmp(w.GetControl(i)->GetName(), name) == 0)
            return i;
    return -1;
}

// A menu item chosen, as a pop-up menu reports it.
inline bool Menu(CWnd_Main& w, uint16_t id)
{
    uint16_t item = id;
    return w.OnCommand(QWF_NOTIFY_MENU, -1, "Menu", 255, &item);
}

// The window point of an image pixel at the preview's current zoom.
inline void ImageToWindow(CWnd_Main& w, int32_t ix, int32_t iy, int32_t& x, int32_t& y)
{
    const QWF_Rect r = w.GetPreview().GetRect();
    const CQWF_CtrlPreview::Point s = w.GetPreview().GetScroll();
    x = r.left - s.x + ix;
    y = r.top - s.y + iy;
}

// A point of the window where the control is the topmost one the pointer can reach (shown, and
// enabled or drawn when disabled), off the window's drag area; false when there is none.
inline bool PointOver(CQWF_Window& w, int32_t index, int32_t& px, int32_t& py)
{
    CQWF_Control* c = w.GetControl(index);
    const QWF_Rect r = c->GetRect();
    for (int32_t y = r.top + 1; y < r.bottom; y += 2)
        for (int32_t x = r.left + 1; x < r.right; x += 2) {
            if (!c->HitTest(x, y) || w.IsInDragArea(x, y))
                continue;
            bool covered = false;
            for (int32_t j = index + 1; j < w.GetControlCount() && !covered; ++j) {
                CQWF_Control* d = w.GetControl(j);
                covered = d->IsShown() && (d->IsEnabled() || d->GetDisabledOpacity()) && d->HitTest(x, y);
            }
            if (!covered) {
                px = x;
                py = y;
                return true;
            }
        }
    return false;
}

struct Hovered {
    int shown = 0;   // controls that showed their hint
    int hidden = 0;  // hidden controls the pointer passed over
};

// Points the pointer at every control of the window in turn: a shown one becomes the hover
// control and the status line shows `hint` of it; over a hidden one the pointer reaches another
// control or none. Controls `skip` accepts are left to the window's zones.
inline Hovered HoverEveryControl(CQWF_Window& w, const std::function<std::string(CQWF_Control*)>& hint,
                                 const std::function<std::string()>& status,
                                 const std::function<bool(CQWF_Control*)>& skip)
{
    Hovered out;
    for (int32_t i = 0; i < w.GetControlCount(); ++i) {
        CQWF_Control* c = w.GetControl(i);
        int32_t x = 0, y = 0;
        if (!c->IsShown()) {
            const QWF_Rect r = c->GetRect();
            x = (r.left + r.right) / 2;
            y = (r.top + r.bottom) / 2;
            if (!c->HitTest(x, y))
                continue;
            w.OnMouseMoveMessage(x, y, 0);
            EXPECT_NE(w.GetHoverIndex(), i) << "the hidden " << c->GetName();
            ++out.hidden;
            continue;
        }
        if (skip(c) || !PointOver(w, i, x, y))
            continue;
        w.OnMouseMoveMessage(x, y, 0);
        EXPECT_EQ(w.GetHoverIndex(), i) << c->GetName() << " at " << x << "," << y;
        EXPECT_EQ(status(), hint(c)) << c->GetName();
        ++out.shown;
    }
    return out;
}

}  // namespace maintest
