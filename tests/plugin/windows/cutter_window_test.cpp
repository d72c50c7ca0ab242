// The Cutter window from the compiled skin package: its grid parameters reach the main window,
// it cannot be left before the first cut, the Cut cuts the picture and hands Layout mode back;
// photographed headless and under X11.
#include "plugin/windows/wnd_cutter.h"

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/shape_history.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/dialog_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <functional>
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
    void PumpOwnerMessages() override
    {
        if (pumped) pumped();
    }
    std::function<void()> pumped;  // what runs while the Cutter pumps the main window's messages
};


void Prepare(CWnd_Cutter& c)
{
    c.SetGrid(2, 3, true);
    c.ShowKnifeThickness(3, false, true);
    c.ShowTipsSize(100, false);
}

// The Cutter's tests: the build's skin package in a headless application and the main window
// the Cutter sees.
class CutterWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    }
    // The Cutter prepared, opened and shown.
    void OpenHeadless(CWnd_Cutter& c)
    {
        Prepare(c);
        ASSERT_TRUE(c.Open(QWF_WHOLE, QWF_WHOLE));
        c.Show();
        ui.Pump();
    }
    HeadlessUi ui;
    Owner owner;
};
}  // namespace

TEST_F(CutterWindow, GridParametersTheFirstCutAndClosing)
{
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    ui.Screenshot(cutter, "cutter_headless");
    // It opens with its own hint (flowed into the lines of its area: the words count).
    auto words = [](std::string text) {
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::string out;
        for (char c : text)
            if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
        return out;
    };
    EXPECT_EQ(words(static_cast<CQWF_CtrlStaticText*>(cutter.GetControl(cutter.FindControl("Cutter_Status")))->GetText()),
              words("The Cutter window. Use the controls located in this window and \ncreate or adjust the knife's "
                    "Path and specify parameters of the Splitter."));

    // Without pieces the only way out is a Cut: Cancel, the close box and Escape do nothing.
    EXPECT_FALSE(cutter.GetMayClose());
    EXPECT_FALSE(cutter.GetControl(cutter.FindControl("Cutter_Cancel"))->IsEnabled());
    EXPECT_FALSE(cutter.Close());
    ui.Key(qwp::vk::Escape);
    EXPECT_TRUE(cutter.GetHWND());
    EXPECT_EQ(owner.leaves, 0);

    // The cloning menu's last item asks for custom amounts; OK in that dialog makes them the mode.
    ui.Ws().AnswerMenu(9);
    ui.Ws().PushIdleAction([&] { ui.Key(qwp::vk::Return); });
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Clone"));
    EXPECT_STREQ(static_cast<CQWF_CtrlStaticText*>(cutter.GetControl(cutter.FindControl("Cutter_CloneDisp")))->GetText(),
                 "Cloning with CUSTOM mutation");
    // The presets manager (its library in a folder of its own), left with Escape, is no failure.
    qwtest::TempDir data;
    owner.plugin.GetDataFolder() = (qwp::ToWindowsPath(data.Path().c_str()) + "\\").c_str();
    ui.Ws().PushIdleAction([&] { ui.Key(qwp::vk::Escape); });
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Presets"));
    EXPECT_STRNE(cutter.GetStatusText(), "The presets manager could not be opened.");

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

// With pieces cut before, the Cutter may be left: Escape ends a drag with the shape as it was,
// and with no drag closes the window as Cancel does; Reset and the closing both put back the
// layout and the shape it opened with, Reset with one history entry. Delete deletes the
// selected nodes unless an edit line holds the focus.
TEST_F(CutterWindow, EscapeResetAndDeleteKeys)
{
    {
        CWnd_Cutter first(&owner);
        OpenHeadless(first);
        ASSERT_TRUE(ui.ClickControl(first, "Cutter_Cut"));
        ui.Pump();
        ASSERT_TRUE(first.GetCutDone());
    }
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    ASSERT_TRUE(cutter.GetMayClose());
    CKnifeShapeEditor& editor = cutter.GetEditor();
    const KnifeShape opening = editor.GetShape();
    ASSERT_GT(opening.nodeCount, 1);
    const int openingRows = owner.layout.GetYLineCount();
    QWF_Rect preview;
    ASSERT_TRUE(cutter.LoadRect("Cutter_Preview", preview));
    auto same = [&](const KnifeShape& a) { return CShapeHistory::SameShape(editor.GetShape(), a); };
    auto slideRows = [&](uint32_t rows) {
        static_cast<CQWF_CtrlSlider*>(cutter.GetControl(cutter.FindControl("Cutter_Rows")))->SetValue(rows, true);
        ASSERT_EQ(owner.layout.GetYLineCount(), static_cast<int>(rows) - 1);
    };

    // A node dragged, Escape: the shape as before the drag, the window open.
    const QWF_DPoint node = editor.NodePoint(0);
    const int32_t nx = preview.left + static_cast<int32_t>(node.x), ny = preview.top + static_cast<int32_t>(node.y);
    ui.Press(cutter, nx, ny);
    ui.MoveTo(cutter, nx + 25, ny + 15);
    ASSERT_TRUE(editor.IsDragging());
    ASSERT_FALSE(same(opening));
    ui.Key(qwp::vk::Escape);
    EXPECT_FALSE(editor.IsDragging());
    EXPECT_TRUE(same(opening));
    ui.Release(cutter, nx + 25, ny + 15);
    ASSERT_TRUE(cutter.GetHWND());

    // Delete: kept by a focused edit line, then the selected nodes go.
    editor.SelectAllNodes();
    ASSERT_TRUE(ui.ClickControl(cutter, dlgtest::Find(cutter, "Cutter_Rows", QWF_CTRL_EDIT)));
    ui.Key(qwp::vk::Delete);
    EXPECT_EQ(editor.GetNodeCount(), opening.nodeCount);
    ui.Click(cutter, 40, 388);  // the "Rows" label: the focus leaves the field
    ui.Key(qwp::vk::Insert);
    EXPECT_EQ(editor.GetNodeCount(), opening.nodeCount);
    ui.Key(qwp::vk::Delete);
    EXPECT_EQ(editor.GetNodeCount(), 0);

    // Reset after a grid change: the opening layout and shape, one history entry.
    slideRows(openingRows + 3);
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Reset"));
    EXPECT_EQ(owner.layout.GetYLineCount(), openingRows);
    EXPECT_TRUE(same(opening));
    EXPECT_FALSE(cutter.GetControl(cutter.FindControl("Cutter_Undo"))->IsEnabled());

    // Escape without a drag closes as Cancel: the grid change is undone, no cut was made.
    slideRows(openingRows + 2);
    ui.Key(qwp::vk::Escape);
    EXPECT_FALSE(cutter.GetHWND());
    EXPECT_EQ(owner.layout.GetYLineCount(), openingRows);
    EXPECT_FALSE(cutter.GetCutDone());
    EXPECT_EQ(owner.leaves, 2);
}

// Rows, columns, thickness, tips size and smoothness act on what they show when the focus leaves
// them, by Enter, Tab or a click elsewhere, and show the value held to its range; while typing
// only the slider follows. Escape puts the value in force back and nothing acts. A field left
// without a change tells the main window nothing (a grid resized to its own size loses its
// moved lines).
TEST_F(CutterWindow, NumberFieldsActWhenTheyAreLeft)
{
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_RazorCut"));
    owner.log.clear();
    auto edit = [&](const char* name) {
        return static_cast<CQWF_CtrlEditLine*>(cutter.GetControl(dlgtest::Find(cutter, name, QWF_CTRL_EDIT)));
    };
    auto slider = [&](const char* name) {
        return static_cast<CQWF_CtrlSlider*>(cutter.GetControl(dlgtest::Find(cutter, name, QWF_CTRL_SLIDER)));
    };
    enum Leave { kEnter, kTab, kClickAside, kEscape };
    auto leave = [&](Leave how) {
        switch (how) {
        case kEnter: ui.Key(qwp::vk::Return); break;
        case kTab: ui.Key(qwp::vk::Tab); break;
        case kClickAside: ui.Click(cutter, 40, 388); break;  // the "Rows" label, no control
        case kEscape: ui.Key(qwp::vk::Escape); break;
        }
        ui.Pump();
    };
    struct Step {
        const char* typed;  // nullptr: the field is entered and left without typing
        Leave how;
        const char* shown;  // the field afterwards
        const char* acted;  // what the main window is told, "" nothing
    };
    struct Field {
        const char* name;
        int low;  // the least value the field holds
        Step steps[5];
    };
    const Field fields[] = {
        {"Cutter_Rows", 1,
         {{"250", kTab, "100", "resize:100x-1"},
          {"5", kClickAside, "5", "resize:5x-1"},
          {"9", kEscape, "5", ""},
          {nullptr, kTab, "5", ""},
          {"0", kEnter, "1", "resize:1x-1"}}},
        {"Cutter_Columns", 1,
         {{"0", kTab, "1", "resize:-1x1"},
          {"4", kClickAside, "4", "resize:-1x4"},
          {"8", kEscape, "4", ""},
          {nullptr, kClickAside, "4", ""},
          {"6", kEnter, "6", "resize:-1x6"}}},
        {"Cutter_KnifeTh", 1,
         {{"7", kTab, "7", "thickness:7"},
          {"0", kClickAside, "1", "thickness:1"},
          {"55", kEscape, "1", ""},
          {nullptr, kTab, "1", ""},
          {"300", kEnter, "100", "thickness:100"}}},
        {"Cutter_TipsSize", 0,
         {{"0", kTab, "0", "tips:0"},
          {"40", kClickAside, "40", "tips:40"},
          {"70", kEscape, "40", ""},
          {nullptr, kClickAside, "40", ""},
          {"120", kEnter, "100", "tips:100"}}},
        {"Cutter_Smoothness", 0,
         {{"80", kTab, "80", ""},
          {"20", kClickAside, "20", ""},
          {"60", kEscape, "20", ""},
          {nullptr, kTab, "20", ""},
          {"150", kEnter, "100", ""}}},
    };
    for (const Field& f : fields) {
        for (const Step& st : f.steps) {
            SCOPED_TRACE(std::string(f.name) + " typed " + (st.typed ? st.typed : "nothing") + " left by " +
                         std::to_string(st.how));
            ASSERT_TRUE(ui.ClickControl(cutter, dlgtest::Find(cutter, f.name, QWF_CTRL_EDIT)));
            if (st.typed) {
                ui.Type(st.typed);
                const int typed = std::clamp(std::atoi(st.typed), f.low, 100);
                EXPECT_EQ(slider(f.name)->GetValue(), static_cast<uint32_t>(typed));
            }
            leave(st.how);
            EXPECT_EQ(cutter.GetFocusIndex(), -1);
            EXPECT_STREQ(edit(f.name)->GetText().GetBuffer(), st.shown);
            EXPECT_EQ(slider(f.name)->GetValue(), static_cast<uint32_t>(std::atoi(st.shown)));
            if (*st.acted) {
                ASSERT_EQ(owner.log.size(), 1u);
                EXPECT_EQ(owner.log[0], st.acted);
            } else {
                EXPECT_TRUE(owner.log.empty()) << owner.log.front();
            }
            if (std::strcmp(f.name, "Cutter_Smoothness") == 0) {
                EXPECT_EQ(cutter.GetEditor().GetShape().S[0], std::atoi(st.shown) / 100.0);
            }
            owner.log.clear();
        }
    }
    EXPECT_EQ(owner.layout.GetYLineCount(), 0);
    EXPECT_EQ(owner.layout.GetXLineCount(), 5);
    // The smoothness slider sets the selected nodes' smoothness and shows it in its field.
    slider("Cutter_Smoothness")->SetValue(35, true);
    EXPECT_EQ(cutter.GetEditor().GetShape().S[0], 0.35);
    EXPECT_STREQ(edit("Cutter_Smoothness")->GetText().GetBuffer(), "35");

    // Typed and left by a click on Cut: the Cut cuts the grid the field shows.
    ASSERT_TRUE(ui.ClickControl(cutter, dlgtest::Find(cutter, "Cutter_Rows", QWF_CTRL_EDIT)));
    ui.Type("3");
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Cut"));
    ui.Pump();
    ASSERT_TRUE(cutter.GetCutDone());
    int32_t rows = 0, columns = 0;
    CJigcrafter& engine = owner.plugin.GetEngine();
    for (int32_t i = 0; i < engine.GetPieceCount(); ++i) {
        rows = std::max(rows, engine.GetPiece(i)->row);
        columns = std::max(columns, engine.GetPiece(i)->column);
    }
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(columns, 6);
}

// No cut runs: neither the progress bar nor its track shows under the status line; the window
// there is the plain face beside it. While a cut runs the track shows on the cover.
TEST_F(CutterWindow, TheProgressTrackShowsOnlyWhileACutRuns)
{
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    const QWF_Rect bar = cutter.GetControl(cutter.FindControl("Cutter_CuttingProgress"))->GetRect();
    ASSERT_GT(bar.right - bar.left, 20);
    const int32_t y = (bar.top + bar.bottom) / 2;
    // The columns of the bar's row that differ from the face (or cover) left of the bar.
    auto marked = [&] {
        const qwtest::Picture shown = ui.Pixels(cutter);
        int32_t n = 0;
        for (int32_t x = bar.left; x < bar.right; ++x)
            n += shown.At(x, y) != shown.At(bar.left - 6, y) ? 1 : 0;
        return n;
    };
    EXPECT_EQ(marked(), 0);
    ui.Screenshot(cutter, "cutter_idle_no_bar");
    int32_t cutting = -1;
    owner.pumped = [&] {
        if (cutting >= 0 || !cutter.IsCutting())
            return;
        ui.Pump();
        cutting = marked();
        ui.Screenshot(cutter, "cutter_cutting");
    };
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Cut"));
    EXPECT_GT(cutting, (bar.right - bar.left) / 2);
    // Escape, or the abort button, while a cut runs aborts it and leaves the window open.
    for (const bool escape : {true, false}) {
        CWnd_Cutter again(&owner);
        OpenHeadless(again);
        owner.pumped = [&] {
            if (!again.IsCutting()) return;
            if (escape)
                ui.Key(qwp::vk::Escape);
            else
                ui.ClickControl(again, "Cutter_CuttingAbort");
        };
        ASSERT_TRUE(ui.ClickControl(again, "Cutter_Cut"));
        EXPECT_FALSE(again.GetCutDone());
        EXPECT_TRUE(again.GetHWND());
        EXPECT_STREQ(again.GetStatusText(), "The cut was aborted.");
    }
}

// The last knife shape and the link of rows and columns are stored at every cut, not only the
// first time: the next Cutter opens with the shape of the latest one.
TEST_F(CutterWindow, TheLastShapeAndTheLinkAreStoredAtEveryCut)
{
    qwtest::TempDir dir;
    owner.plugin.GetDataFolder() = (qwp::ToWindowsPath(dir.Path().c_str()) + "\\").c_str();
    ASSERT_TRUE(owner.plugin.LoadPreferences("plugin.conf"));
    CQWF_Storage* prefs = owner.plugin.GetPreferences();
    ASSERT_NE(prefs, nullptr);
    KnifeShape shapes[2] = {};
    for (int k = 0; k < 2; ++k) {
        KnifeShape& s = shapes[k];
        s.nodeCount = static_cast<uint8_t>(3 + k);
        for (int i = 0; i < s.nodeCount; ++i) {
            s.U[i] = 0.2 + 0.15 * i;
            s.H[i] = k ? -0.1 * (i + 1) : 0.05 * (i + 1);
            s.S[i] = 0.25 + 0.125 * k;
            s.selected[i] = 1;
        }
    }
    for (int k = 0; k < 2; ++k) {
        CWnd_Cutter cutter(&owner);
        OpenHeadless(cutter);
        if (k == 1) {
            // It opens with the shape the first cut stored.
            const KnifeShape& opened = cutter.GetEditor().GetShape();
            ASSERT_EQ(opened.nodeCount, shapes[0].nodeCount);
            EXPECT_EQ(opened.H[2], shapes[0].H[2]);
        }
        cutter.SetShape(shapes[k]);
        // Checked for the first cut; the second Cutter opens with it checked and it is unchecked.
        ASSERT_TRUE(ui.ClickControl(cutter, dlgtest::Find(cutter, "Cutter_LinkRC", QWF_CTRL_CHECKBOX)));
        ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Cut"));
        ui.Pump();
        ASSERT_TRUE(cutter.GetCutDone());
        uint16_t count = 0;
        double h = 0;
        uint8_t link = 9;
        ASSERT_TRUE(prefs->GetWord("LastShape>NodesCount", count));
        EXPECT_EQ(count, shapes[k].nodeCount);
        ASSERT_TRUE(prefs->GetDouble("LastShape>H2", h));
        EXPECT_EQ(h, shapes[k].H[2]);
        ASSERT_TRUE(prefs->GetByte("Cutter Settings>LinkRC", link));
        EXPECT_EQ(link, k == 0 ? 1 : 0);
    }
}

// A last shape that cannot be stored is told, as other settings that cannot be written are; a
// store that cannot be written at all was told when it was opened, and is not told again.
TEST_F(CutterWindow, ALastShapeThatCannotBeStoredIsTold)
{
    qwtest::TempDir dir;
    const std::string folder = qwp::ToWindowsPath(dir.Path().c_str()) + "\\";
    owner.plugin.GetDataFolder() = folder.c_str();
    for (bool readOnly : {false, true}) {
        ASSERT_TRUE(owner.plugin.LoadPreferences("plugin.conf"));
        CWnd_Cutter cutter(&owner);
        OpenHeadless(cutter);
        ASSERT_TRUE(cutter.StoreLastShape());
        ASSERT_TRUE(cutter.GetEditor().InsertNode(0.5, 0.2, true, 0));
        const size_t boxes = ui.Ws().MessageBoxes().size();
        if (readOnly) {
            qwp::SetUnwritableFilesForTesting(folder.c_str());
            ASSERT_TRUE(owner.plugin.LoadPreferences("plugin.conf"));
            ASSERT_TRUE(owner.plugin.GetPreferences()->IsReadOnly());
        } else {
            qwp::SetFreeSpace(folder.c_str(), 0);
        }
        EXPECT_FALSE(cutter.StoreLastShape());
        qwp::SetFreeSpace(nullptr, -1);
        qwp::SetUnwritableFilesForTesting(nullptr);
        ASSERT_EQ(ui.Ws().MessageBoxes().size(), boxes + (readOnly ? 0 : 1)) << readOnly;
        if (!readOnly) {
            EXPECT_EQ(ui.Ws().MessageBoxes().back().request.text, "Cannot write file...");
            EXPECT_EQ(ui.Ws().MessageBoxes().back().request.caption, "Error!");
        }
        cutter.Close();
    }
}

// The farthest nodes the editor makes (inserted at the corners of the preview at 1:4, where the
// edge is shortest) are knife shapes that a file keeps and gives back.
TEST_F(CutterWindow, TheEditorsFarthestNodesAreKnifeShapeFiles)
{
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_1x4"));
    ui.Pump();
    QWF_Rect preview;
    ASSERT_TRUE(cutter.LoadRect("Cutter_Preview", preview));
    const int32_t w = preview.right - preview.left, h = preview.bottom - preview.top;
    CKnifeShapeEditor& editor = cutter.GetEditor();
    const int32_t corners[4][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
    for (const auto& corner : corners)
        ASSERT_TRUE(editor.InsertNode(corner[0], corner[1], true, editor.GetShape().nodeCount));
    const KnifeShape made = editor.GetShape();
    ASSERT_EQ(made.nodeCount, 9);

    qwtest::TempDir dir;
    const CQWF_String path(qwp::ToWindowsPath(dir.File("far.qwjh").c_str()).c_str());
    CQWF_StdFile file;
    ASSERT_TRUE(file.Open(path, CQWF_StdFile::kModeCreateReadWrite));
    ASSERT_TRUE(SaveKnifeShapeFile(file, made, nullptr));
    ASSERT_TRUE(file.Open(path, CQWF_StdFile::kModeRead));
    KnifeShape back{};
    ASSERT_TRUE(LoadKnifeShapeFile(file, back, nullptr));
    ASSERT_EQ(back.nodeCount, made.nodeCount);
    for (int i = 0; i < made.nodeCount; ++i) {
        EXPECT_EQ(back.H[i], made.H[i]) << i;
        EXPECT_EQ(back.U[i], made.U[i]) << i;
    }
    // The corners lie well beyond the dragged nodes' range (0 to 1 along, Hmax across).
    EXPECT_GT(std::fabs(made.H[5]), editor.GetHMax());
    EXPECT_LT(made.U[5], -1.5);
    EXPECT_GT(made.U[8], 2.5);
    cutter.Close();
}

// The shape's curve is drawn narrower the closer the zoom (1.5, 1.2 and 1 pixel at 1:1, 1:2 and
// 1:4); at 1:2 and 1:4 guide lines cross the preview at the heights of the edge's ends.
TEST_F(CutterWindow, ZoomDrawsTheCurveNarrowerAndTheGuides)
{
    CWnd_Cutter cutter(&owner);
    OpenHeadless(cutter);
    QWF_Rect preview;
    ASSERT_TRUE(cutter.LoadRect("Cutter_Preview", preview));
    const CKnifeShapeEditor& editor = cutter.GetEditor();
    cutter.SetShape(KnifeShape{});  // the straight edge
    double ink[3] = {};
    int k = 0;
    for (const char* zoom : {"Cutter_1x1", "Cutter_1x2", "Cutter_1x4"}) {
        ASSERT_TRUE(ui.ClickControl(cutter, dlgtest::Find(cutter, zoom, QWF_CTRL_RADIO)));
        ui.Pump();
        const qwtest::Picture p = ui.Pixels(cutter);
        // The ink across the middle row of the edge.
        const QWF_DPoint a = editor.GetEdgeStart();
        const int32_t y = preview.top + (editor.GetEdgeTop() + editor.GetEdgeBottom()) / 2;
        const int32_t x0 = preview.left + static_cast<int32_t>(a.x);
        const uint32_t ground = p.At(x0 - 20, y);
        for (int32_t x = x0 - 10; x <= x0 + 10; ++x)
            ink[k] += std::abs(static_cast<int>(p.At(x, y) & 0xFF) - static_cast<int>(ground & 0xFF));
        const int32_t top = preview.top + editor.GetEdgeTop(), bottom = preview.top + editor.GetEdgeBottom();
        const int32_t gx = preview.left + 3;
        EXPECT_EQ(p.At(gx, top) != p.At(gx, top + 3) && p.At(gx, bottom) != p.At(gx, bottom - 3), k > 0) << zoom;
        ++k;
    }
    EXPECT_GT(ink[0], ink[1]);
    EXPECT_GT(ink[1], ink[2]);
    EXPECT_GT(ink[2], 0);
}

TEST(CutterWindowX11, TypedRowsActWhenTheFieldIsLeft)
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

    // Typed rows act when the field is left by Tab, by a click aside and by a click on Cut.
    const int32_t rows = dlgtest::Find(cutter, "Cutter_Rows", QWF_CTRL_EDIT);
    auto typeRows = [&](uint32_t digit) {
        owner.log.clear();
        ASSERT_TRUE(ui.ClickControl(cutter, rows));
        ui.Pump();
        ui.Key(digit);
        ui.Pump();
    };
    typeRows('7');
    ui.Key(qwp::vk::Tab);
    ui.Pump();
    EXPECT_EQ(owner.log, std::vector<std::string>{"resize:7x-1"});
    typeRows('5');
    ui.Click(cutter, 40, 388);
    ui.Pump();
    EXPECT_EQ(owner.log, std::vector<std::string>{"resize:5x-1"});
    typeRows('3');
    ASSERT_TRUE(ui.ClickControl(cutter, "Cutter_Cut"));
    ui.Pump();
    ASSERT_TRUE(cutter.GetCutDone());
    int32_t cutRows = 0;
    for (int32_t i = 0; i < owner.plugin.GetEngine().GetPieceCount(); ++i)
        cutRows = std::max(cutRows, owner.plugin.GetEngine().GetPiece(i)->row);
    EXPECT_EQ(cutRows, 3);
}
