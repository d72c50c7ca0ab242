// The filter's dialogs on the X11 test display: each opened from the compiled skin, put into a
// telling state through its controls and photographed; what the server shows is what the window
// composed.
#include "dialog_test_support.h"
#include "main_test_support.h"

#include "framework/ui/qwf_editline.h"
#include "plugin/windows/wnd_autolayout.h"
#include "plugin/windows/wnd_custommutations.h"
#include "plugin/windows/wnd_export.h"
#include "plugin/windows/wnd_pref.h"
#include "plugin/windows/wnd_presets.h"
#include "plugin/windows/wnd_shapename.h"

#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_paths.h"

using dlgtest::Find;
using dlgtest::RecordingHost;
using qwtest::X11Ui;

namespace {

// Differing pixels between the server's picture and the window's own face, inside its outline.
int Differences(X11Ui& ui, CQWF_Window& w)
{
    const qwtest::Picture shown = ui.Pixels(w);
    CQWF_Image* face = w.GetFace()->GetImage();
    int n = 0;
    for (const auto& r : w.GetRegion())
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                const size_t i = static_cast<size_t>(y) * face->GetWidth() + x;
                const uint32_t c = uint32_t(face->GetPlane(0)[i]) << 16 | uint32_t(face->GetPlane(1)[i]) << 8 |
                                   face->GetPlane(2)[i];
                n += shown.At(x, y) != c;
            }
    return n;
}

struct KnifeTaker : CShapeReceiver {
    void SetShape(const KnifeShape& shape, bool) override { nodes = shape.nodeCount; }
    int nodes = -1;
};

class X11Dialogs : public ::testing::Test {
protected:
    // Shows the window, lets the server draw it, compares and photographs it.
    void Photograph(CQWF_Window& w, const char* name)
    {
        w.Show();
        ui.Pump();
        ASSERT_TRUE(ui.Ws().IsOnScreen(w.GetHWND()));
        EXPECT_LE(w.GetWidth() + 22, 1366);
        EXPECT_LE(w.GetHeight() + 22, 768);
        EXPECT_EQ(Differences(ui, w), 0) << name;
        EXPECT_TRUE(ui.Screenshot(w, name));
    }
    void Type(CQWF_Window& w, const char* edit, const char* text)
    {
        static_cast<CQWF_CtrlEditLine*>(w.GetControl(Find(w, edit, QWF_CTRL_EDIT)))->SetText(text, true);
        ui.Pump();
    }
    X11Ui ui;
    RecordingHost host;
};

}  // namespace

TEST_F(X11Dialogs, EveryDialogOpensAndShowsItsState)
{
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(qwp::ToWindowsPath(dlgtest::PackagePath().c_str()).c_str(), true));

    CWnd_ShapeName name(&host);
    name.SetName("Classic Round Tab");
    ASSERT_TRUE(name.CreateFromSkin(CWnd_ShapeName::kSkinName, 40, 40, nullptr, 0));
    Photograph(name, "dialog_shapename");
    name.Close();

    CWnd_CustomMutations muts(&host);
    muts.Model().SetAmount(CCustomMutationsModel::kS, 0.25f);
    muts.Model().SetAmount(CCustomMutationsModel::kU, 0.6f);
    ASSERT_TRUE(muts.CreateFromSkin(CWnd_CustomMutations::kSkinName, 40, 40, nullptr, 0));
    Type(muts, "CMuts_MutH", "85");
    Photograph(muts, "dialog_custommutations");
    muts.Close();

    CWnd_AutoLayout layout(&host);
    ASSERT_TRUE(layout.CreateFromSkin(CWnd_AutoLayout::kSkinName, 40, 40, nullptr, 0));
    Photograph(layout, "dialog_autolayout_triangles");
    ui.ClickControl(layout, Find(layout, "AutoLayout_Hex", QWF_CTRL_RADIO));
    Type(layout, "AutoLayout_Cols", "30");
    ui.ClickControl(layout, Find(layout, "AutoLayout_Regular", QWF_CTRL_CHECKBOX));
    EXPECT_EQ(layout.Model().GetShape(), CAutoLayoutModel::kHexagonal);
    Photograph(layout, "dialog_autolayout_hexagons");
    layout.Close();

    CWnd_Export pieces(&host);
    pieces.Model().options.exportWhat = 2;
    pieces.Model().options.exportTo = 1;
    pieces.Model().counts.total = 96;
    pieces.Model().counts.selected = 12;
    pieces.Model().counts.selectedHidden = 2;
    pieces.Model().counts.hidden = 5;
    pieces.Model().counts.someSelected = true;
    pieces.Model().counts.notAllSelected = true;
    pieces.Model().counts.someUnselectedShown = true;
    pieces.Model().counts.someHidden = true;
    ASSERT_TRUE(pieces.CreateFromSkin(CWnd_Export::kSkinName, 40, 40, nullptr, 0));
    Photograph(pieces, "dialog_export_psd");
    ui.ClickControl(pieces, Find(pieces, "Export_ToPNG", QWF_CTRL_RADIO));
    ui.ClickControl(pieces, Find(pieces, "Export_All", QWF_CTRL_RADIO));
    EXPECT_EQ(pieces.Model().itemCount, 91u);
    Photograph(pieces, "dialog_export_png");
    pieces.Close();

    CWnd_ExportLM knives(&host);
    knives.Model().counts.total = 142;
    knives.Model().counts.selected = 1;
    knives.Model().counts.hidden = 3;
    knives.Model().counts.someSelected = true;
    ASSERT_TRUE(knives.CreateFromSkin(CWnd_ExportLM::kSkinName, 40, 40, nullptr, 0));
    Photograph(knives, "dialog_exportlm");
    knives.Close();

    CWnd_Pref pref(&host);
    pref.Values().extAlphaSolid = 1;
    pref.Values().extAlphaColorSolid = 0xFF383430u;
    pref.Values().delKnifeOpacity = 76;
    ASSERT_TRUE(pref.CreateFromSkin(CWnd_Pref::kSkinName, 40, 40, nullptr, 0));
    Photograph(pref, "dialog_preferences");
    pref.Close();

    // The presets manager on the built-in set (no library yet), a shape selected, then large.
    qwtest::TempDir dir;
    KnifeTaker cutter;
    CWnd_PresetsManager presets(&host, &cutter);
    presets.SetLibraryPath(qwp::ToWindowsPath((dir.Path() + "/ckss.data").c_str()).c_str());
    ASSERT_TRUE(presets.CreateFromSkin(CWnd_PresetsManager::kSkinName, 40, 40, nullptr, 0));
    ASSERT_GE(presets.Model().GetCount(), 8u);
    presets.Show();
    ui.Pump();
    QWF_Rect cell;
    ASSERT_TRUE(presets.LoadRect("PresMng_SmallIco3", cell));
    ui.Click(presets, cell.left + 10, cell.top + 10);
    EXPECT_EQ(presets.Model().GetFirstSelected(), 2);
    Photograph(presets, "dialog_presets_small");
    ui.ClickControl(presets, Find(presets, "PresMng_Lico", QWF_CTRL_RADIO));
    Photograph(presets, "dialog_presets_large");
    ui.ClickControl(presets, Find(presets, "PresMng_ToCutter", QWF_CTRL_BUTTON));
    EXPECT_GT(cutter.nodes, 0);
    presets.Close();
}

// The Cutter beside the main window stays above it, without a window manager and under one
// (openbox, which raises the windows it activates): when both have opened (the Cutter is shown
// first), after the knife export window opened by Export... closes with Escape, after a click in
// the main window and after a raise of the main window that the program did not make.
TEST(X11MainWindow, TheCutterStaysAboveTheMainWindow)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    // The stacking once the program and the window manager have both answered all there was.
    auto settled = [&] {
        std::vector<qwp::WindowHandle> last;
        for (int round = 0; round < 20; ++round) {
            ui.Pump();
            EXPECT_TRUE(ui.Ws().SyncWindowManager(10000));
            ui.Pump();
            const std::vector<qwp::WindowHandle> now = ui.Ws().ServerStacking();
            if (round && now == last) break;
            last = now;
        }
        return last;
    };
    for (const bool withManager : {false, true}) {
        SCOPED_TRACE(withManager ? "with a window manager" : "without a window manager");
        qwtest::WindowManager manager;
        std::string why;
        if (withManager && !manager.Start(ui, why)) {
            if (std::getenv("QW_REQUIRE_X11")) ADD_FAILURE() << why;
            break;
        }
        maintest::Host host;
        CWnd_Main w;
        ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
        CWnd_Cutter* cutter = maintest::CutterOf(w);
        qwp::ScreenRect main;
        ASSERT_TRUE(ui.Ws().GetWindowRect(w.GetHWND(), main));
        // Over the picture, off the panel at the right (Export... and the empty part above it).
        ui.Ws().MoveWindow(cutter->GetHWND(), main.left + 40, main.top + 40);
        const std::vector<qwp::WindowHandle> upright{w.GetHWND(), cutter->GetHWND()};
        EXPECT_EQ(settled(), upright) << "opened";
        const int repairs = ui.Ws().OwnedWindowRepairs();

        bool exported = false;
        ui.Ws().SetIdleHook([&] {
            CQWF_Window* knives = CQWF_UiScript::FindWindow("ExportLM");
            if (exported || !knives || !ui.Ws().IsOnScreen(knives->GetHWND())) return;
            exported = true;
            ui.Ws().SyncWindowManager(10000);
            ui.Key(qwp::vk::Escape);
        });
        // A window manager passes the click on once it has seen it.
        ASSERT_TRUE(ui.ClickControl(w, "Main_Export"));
        for (int round = 0; round < 20 && !exported; ++round) {
            ui.Ws().SyncWindowManager(10000);
            ui.Pump();
        }
        ui.Ws().SetIdleHook(nullptr);
        ASSERT_TRUE(exported);
        EXPECT_EQ(CQWF_UiScript::FindWindow("ExportLM"), nullptr);
        EXPECT_EQ(settled(), upright) << "the knife export window closed";
        qwtest::Picture screen{1366, 768, {}};
        ASSERT_TRUE(ui.Ws().CaptureScreen({0, 0, 1366, 768}, screen.rgb));
        EXPECT_TRUE(qwtest::WritePng(qwtest::OutputDir("screens") + "/main_cutter_after_export_x11" +
                                         (withManager ? "_wm.png" : ".png"),
                                     screen));

        ui.Click(w, main.right - main.left - 150, main.bottom - main.top - 230);
        EXPECT_EQ(settled(), upright) << "a click in the main window";
        ui.Ws().RaiseFromOutside(w.GetHWND());
        EXPECT_EQ(settled(), upright) << "the main window raised past the program";
        // Once it knows the Cutter's owner, a window manager raises the Cutter with it.
        if (withManager) {
            EXPECT_EQ(ui.Ws().OwnedWindowRepairs(), repairs);
        }
        w.Close();
        ui.Pump();
    }
}
