// The main window from the compiled skin package over the fake host: it opens in Layout mode
// with its Cutter, a Cut of 4 x 3 cells switches to Puzzle mode with the pieces shown, Apply
// commits the layout to the engine with result 0, Cancel and the close box end with -128. What
// the window shows stays what it holds: the effect boxes after Paste and Reset, the controls
// while an effect window is open, the randomness through Undo and Relayout, the info line's
// forms, the clicked piece through Undo. Photographed in both modes, headless and under X11.
#include "plugin/main/wnd_main.h"

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/main_dialogs.h"
#include "plugin/main/main_info.h"
#include "plugin/windows/effect_host.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {
using maintest::CutterOf;
using maintest::Find;
using maintest::Host;
using maintest::ImageToWindow;
using maintest::Menu;
using maintest::PackagePath;
using maintest::SetGrid;

// A heading's cover is shown while the controls under the heading are hidden.
bool CoverShown(CWnd_Main& w, const char* name)
{
    auto* c = static_cast<CQWF_CtrlStaticImage*>(w.GetControl(w.FindControl(name)));
    return c && c->GetLayer() && c->GetLayer()->IsVisible() != 0;
}

CQWF_Control* Control(CWnd_Main& w, const char* name, uint8_t kind)
{
    return w.GetControl(Find(w, name, kind));
}

// A button drawn and usable: its layer shown and the control enabled.
bool Usable(CWnd_Main& w, const char* name, uint8_t kind = QWF_CTRL_BUTTON)
{
    auto* b = static_cast<CQWF_CtrlButton*>(Control(w, name, kind));
    return b && b->IsEnabled() && b->GetLayer() && b->GetLayer()->IsVisible() != 0;
}

// The main window opened headless over the fake host's picture of 240 x 180 (a host without
// document layers), in Layout mode on a plain 4 x 3 grid whatever an earlier run left as the
// last layout, undo empty.
struct MainWindowOpen : ::testing::Test {
    HeadlessUi ui;
    Host host;
    CWnd_Main w;
    void Open() { ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w)); }
    // The Cutter's Cut into Puzzle mode, with no effects of an earlier run to carry over.
    void Cut()
    {
        ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    }
    void Click(const char* name, uint8_t kind = QWF_CTRL_BUTTON)
    {
        ASSERT_TRUE(ui.ClickControl(w, Find(w, name, kind))) << name;
        ui.Pump();
    }
};

// Shift+click on a control as a UI script plays it: every event is sent before the program
// dispatches any, so Shift is up again by the time the click is handled.
template <typename System> void ShiftClick(System& ws, CWnd_Main& w, int32_t index)
{
    QWF_Rect wr{}, r = w.GetControl(index)->GetRect();
    ASSERT_TRUE(w.GetWindowRect(wr));
    const int32_t x = wr.left + (r.left + r.right) / 2, y = wr.top + (r.top + r.bottom) / 2;
    if constexpr (std::is_same_v<System, qwp::HeadlessWindowSystem>) {
        ws.MovePointer(x, y);
        ws.KeyDown(qwp::vk::Shift);
        ws.PressButton(0);
        ws.ReleaseButton(0);
        ws.KeyUp(qwp::vk::Shift);
    } else {
        ws.FakeMotion(x, y);
        ws.FakeKey(qwp::vk::Shift, true);
        ws.FakeButton(1, true);
        ws.FakeButton(1, false);
        ws.FakeKey(qwp::vk::Shift, false);
    }
}

std::vector<float> KnotOffsets(CLayoutModel& m)
{
    std::vector<float> v;
    for (int32_t i = 0; i < m.GetKnotCount(); ++i) {
        v.push_back(m.Knots()[i].x);
        v.push_back(m.Knots()[i].y);
    }
    return v;
}
}  // namespace

TEST(MainWindow, LayoutCutPuzzleAndApply)
{
    HeadlessUi ui;
    Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
    EXPECT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    CWnd_Cutter* cutter = CutterOf(w);
    // A first run (no last layout): razor cut and anti-aliasing are on.
    for (const char* box : {"Cutter_RazorCut", "Cutter_AntiAliasing"})
        EXPECT_TRUE(cutter->GetControl(cutter->FindControl(box))->GetCheck()) << box;
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
    // The saved layout keeps both switches on: the two bytes after the knives (no extra ones).
    std::string saved;
    ASSERT_TRUE(qwtest::ReadWholeFile(host.dataDir.File("last.data"), saved));
    auto be = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | uint8_t(saved.at(at + i));
        return v;
    };
    size_t at = 10 + 4 * (2 + 3);                       // header, 2 row and 3 column lines
    at += 4 + 8 * be(at, 4);                             // knots
    for (int family = 0; family < 2; ++family) {         // row, then column knives
        const uint32_t n = be(at, 4);
        at += 4;
        for (uint32_t k = 0; k < n; ++k) at += 5 + 12 * be(at + 1, 2);
    }
    ASSERT_EQ(be(at, 4), 0u);
    ASSERT_GE(saved.size(), at + 6);
    EXPECT_EQ(saved[at + 4], 1);
    EXPECT_EQ(saved[at + 5], 1);
}

TEST(MainWindow, CancelAndTheCloseBoxEndCancelled)
{
    HeadlessUi ui;
    for (const char* button : {"Main_Cancel", "Main_CloseX"}) {
        Host host;
        CWnd_Main w;
        ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
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
    Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
    CWnd_Cutter* cutter = CutterOf(w);
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
    // Shift+click on an effect's "..." switches its box without opening the window.
    InstallEffectWindows();
    CQWF_Control* box = Control(w, "Main_FXStroke", QWF_CTRL_CHECKBOX);
    const bool stroke = box->GetCheck();
    ShiftClick(ui.Ws(), w, Find(w, "Main_FXStroke", QWF_CTRL_BUTTON));
    ui.Ws().Sync();
    ui.Pump();
    EXPECT_FALSE(w.IsEffectWindowOpen());
    EXPECT_NE(box->GetCheck(), stroke);
    EXPECT_NE(host.plugin.GetEngine().GetPiece(1)->stroke[kJigApplied].on != 0, stroke);
    EXPECT_TRUE(Menu(w, 85));
}

TEST_F(MainWindowOpen, EffectBoxesShowThePiecesEffects)
{
    Open();
    InstallEffectWindows();
    Cut();
    CJigcrafter& e = host.plugin.GetEngine();
    const int32_t n = e.GetPieceCount();
    auto blurOn = [&](int32_t i) { return e.GetPiece(i)->blur[kJigApplied].on != 0; };
    CQWF_Control* blur = Control(w, "Main_FXBlur", QWF_CTRL_CHECKBOX);
    ASSERT_NE(blur, nullptr);

    // The effects of piece 1 (none) copied; then the Blur box switches blur on every piece.
    w.GetPieceView()->SelectPiece(1, 1, false);
    EXPECT_TRUE(Menu(w, 110));
    EXPECT_TRUE(Menu(w, 33));
    Click("Main_FXBlur", QWF_CTRL_CHECKBOX);
    EXPECT_TRUE(blur->GetCheck());
    for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(blurOn(i)) << i;
    // Paste of the copy takes blur off every piece: the box shows it, and its next click
    // switches blur on again.
    EXPECT_TRUE(Menu(w, 111));
    for (int32_t i = 0; i < n; ++i) ASSERT_FALSE(blurOn(i)) << i;
    EXPECT_FALSE(blur->GetCheck());
    Click("Main_FXBlur", QWF_CTRL_CHECKBOX);
    EXPECT_TRUE(blurOn(2));
    EXPECT_TRUE(blur->GetCheck());
    // Reset Effects gives every piece the defaults: no blur, a bevel; the boxes follow.
    EXPECT_TRUE(Menu(w, 143));
    EXPECT_FALSE(blurOn(2));
    EXPECT_FALSE(blur->GetCheck());
    EXPECT_TRUE(e.GetPiece(2)->bevel[kJigApplied].on);
    EXPECT_TRUE(Control(w, "Main_FXBevel", QWF_CTRL_CHECKBOX)->GetCheck());

    // Shift+click on the bevel's "..." switches the box and the pieces' bevel off, and opens no
    // window; a plain click opens it.
    ShiftClick(ui.Ws(), w, Find(w, "Main_FXBevel", QWF_CTRL_BUTTON));
    ui.Pump();
    EXPECT_FALSE(w.IsEffectWindowOpen());
    EXPECT_FALSE(Control(w, "Main_FXBevel", QWF_CTRL_CHECKBOX)->GetCheck());
    for (int32_t i = 0; i < n; ++i) EXPECT_FALSE(e.GetPiece(i)->bevel[kJigApplied].on) << i;
    Click("Main_FXBevel");
    EXPECT_TRUE(w.IsEffectWindowOpen());
}

TEST_F(MainWindowOpen, AnOpenEffectWindowLocksTheWindow)
{
    Open();
    // Layout mode: Export is drawn and opens the knife export.
    const MainDialogRunners saved = GetMainDialogRunners();
    static int knifeExports = 0;
    knifeExports = 0;
    MainDialogRunners runners = saved;
    runners.exportKnives = [](CDialogHost*, CQWF_Window*, CExportLMDialogModel&) -> int32_t {
        ++knifeExports;
        return 0;
    };
    SetMainDialogRunners(runners);
    EXPECT_TRUE(Usable(w, "Main_Export"));
    Click("Main_Export");
    EXPECT_EQ(knifeExports, 1);
    SetMainDialogRunners(saved);

    Cut();
    CJigcrafter& e = host.plugin.GetEngine();
    const char* const locked[] = {"Main_Cancel", "Main_CloseX",   "Main_Main",        "Main_Select",
                                  "Main_Adjust", "Main_Apply",    "Main_Export",      "Main_Relayout",
                                  "Main_Hide",   "Main_RevShowHide", "Main_FXBlur",   "Main_FXBevel"};
    for (const char* name : locked) EXPECT_TRUE(Usable(w, name)) << name;
    // Image overlay needs the host's document layers.
    EXPECT_FALSE(Control(w, "Main_FXIOver", QWF_CTRL_CHECKBOX)->IsEnabled());
    EXPECT_FALSE(Control(w, "Main_FXIOver", QWF_CTRL_BUTTON)->IsEnabled());
    // Blur on every piece, then an effect window opens: every control that would change the
    // pieces, open a window or end the run is disabled; the extras and the zoom stay.
    Control(w, "Main_FXBlur", QWF_CTRL_CHECKBOX)->SetCheck(true, true);
    ASSERT_TRUE(e.GetPiece(1)->blur[kJigApplied].on);
    InstallEffectWindows();
    Click("Main_FXBlur");
    ASSERT_TRUE(w.IsEffectWindowOpen());
    for (const char* name : locked) EXPECT_FALSE(Control(w, name, QWF_CTRL_BUTTON)->IsEnabled()) << name;
    EXPECT_FALSE(Control(w, "Main_Show", QWF_CTRL_BUTTON)->IsEnabled());
    EXPECT_FALSE(Control(w, "Main_FXBlur", QWF_CTRL_CHECKBOX)->IsEnabled());
    EXPECT_TRUE(Usable(w, "Main_HideExtras") || Usable(w, "Main_ShowExtras"));
    // Clicks on Cancel and the close box end nothing; the Main pop-up's Undo changes nothing.
    Click("Main_Cancel");
    Click("Main_CloseX");
    EXPECT_NE(w.GetHWND(), 0u);
    EXPECT_FALSE(Menu(w, 80));
    EXPECT_TRUE(e.GetPiece(1)->blur[kJigApplied].on);
    ui.Screenshot(w, "main_puzzle_effect_window_open_headless");
    ASSERT_TRUE(ui.ClickControl(*w.GetEffectWindow()->GetWindow(), "FXblur_Cancel"));
    ui.Pump();
    ASSERT_FALSE(w.IsEffectWindowOpen());
    for (const char* name : locked) EXPECT_TRUE(Usable(w, name)) << name;
    EXPECT_FALSE(Control(w, "Main_FXIOver", QWF_CTRL_BUTTON)->IsEnabled());
    EXPECT_TRUE(Menu(w, 80));
    EXPECT_FALSE(e.GetPiece(1)->blur[kJigApplied].on);
    EXPECT_TRUE(Menu(w, 85));
}

TEST_F(MainWindowOpen, RandomnessShownIsTheOneUsedAndUndone)
{
    Open();
    qwp::SeedRandom(7);
    CLayoutModel& m = w.GetLayout();
    auto* slider = static_cast<CQWF_CtrlSlider*>(Control(w, "Main_RndKnots", QWF_CTRL_SLIDER));
    auto* edit = static_cast<CQWF_CtrlEditLine*>(Control(w, "Main_RndKnots", QWF_CTRL_EDIT));
    const std::vector<float> straight = KnotOffsets(m);
    maintest::Slide(w, "Main_RndKnots", 20);
    const std::vector<float> at20 = KnotOffsets(m);
    EXPECT_NE(at20, straight);
    maintest::Slide(w, "Main_RndKnots", 50);
    EXPECT_NE(KnotOffsets(m), at20);
    // Undo brings back the knots and the randomness that drew them, in both controls.
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_EQ(KnotOffsets(m), at20);
    EXPECT_EQ(slider->GetValue(), 20u);
    EXPECT_STREQ(edit->GetText().GetBuffer(), "20");
    EXPECT_FLOAT_EQ(m.GetKnotAmplitude(), 0.2f);
    // Typing moves the slider with the text.
    edit->SetText("35", true);
    EXPECT_EQ(slider->GetValue(), 35u);

    // Randomness 8, a cut and Relayout: the controls still show 8 and Randomize uses it.
    maintest::Slide(w, "Main_RndKnots", 8);
    Cut();
    Click("Main_Relayout");
    ASSERT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    EXPECT_EQ(slider->GetValue(), 8u);
    EXPECT_STREQ(edit->GetText().GetBuffer(), "8");
    EXPECT_TRUE(Usable(w, "Main_RndKnots"));
    const std::vector<float> before = KnotOffsets(m);
    Click("Main_RndKnots");
    EXPECT_NE(KnotOffsets(m), before);
    for (float f : KnotOffsets(m)) EXPECT_LE(std::abs(f), 0.08f + 1e-6f);
    EXPECT_TRUE(Menu(w, 85));
}

TEST_F(MainWindowOpen, InfoLineLoadSelectionAndTheClickedPiece)
{
    // A picture without a resolution in a host whose rulers are in centimetres: the window opens
    // in centimetres and measures at 72 pixels per inch, but offers no other length unit.
    host.rec.imageHRes = host.rec.imageVRes = 0;
    fakehost::S().rulerUnit = 2;
    ASSERT_TRUE(host.plugin.ReadHostInfo());
    Open();
    CLayoutModel& m = w.GetLayout();
    EXPECT_EQ(w.GetUnits(), 3);
    w.UpdateInfoText(72, 10, false);
    EXPECT_STREQ(w.GetInfoText(), "X: 2.54 cm (72 px)\tY: 0.35 cm (10 px)");
    // Choosing a length unit changes nothing: not the unit, not the rulers, not the info line.
    const std::string shown = w.GetInfoText();
    for (uint16_t item : {17, 19}) {
        Menu(w, item);
        EXPECT_EQ(w.GetUnits(), 3) << item;
        EXPECT_EQ(w.GetPreview().GetUnits(), 3) << item;
        EXPECT_EQ(w.GetInfoText(), shown) << item;
    }
    EXPECT_TRUE(Menu(w, 16));
    Menu(w, 18);
    EXPECT_EQ(w.GetUnits(), 1);
    EXPECT_TRUE(Menu(w, 20));
    EXPECT_EQ(w.GetUnits(), 5);
    // Back to the host's centimetres for the rest.
    w.SetUnits(3);

    // Dragging the first column line (at 60 of 240 pixels) 12 pixels right, at 1:1.
    ASSERT_EQ(w.GetPreview().GetZoom(), 4);
    const QWF_Rect pr = w.GetPreview().GetRect();
    const int32_t mx = pr.left - w.GetPreview().GetScroll().x + 60;
    ui.Press(w, mx, 70);
    ui.MoveTo(w, mx + 6, 70);
    ui.MoveTo(w, mx + 12, 70);
    // 72 px = 2.54 cm from the left edge and from no line before it, 48 px = 1.69 cm to the next.
    EXPECT_STREQ(w.GetInfoText(), "Position: 2.54 (cm) Columns: 2.54 (cm) | 1.69 (cm)");
    ui.Release(w, mx + 12, 70);
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.3f);
    // The drag ended on the ruler, outside the preview, where the line showed the image size
    // before it: shown again, the line has that form (72 ppi: 240 px = 8.47 cm, 180 px = 6.35 cm).
    w.RefreshInfoText();
    EXPECT_STREQ(w.GetInfoText(), "Image Size (W x H): 8.47 cm x 6.35 cm (240 px x 180 px)");
    // A pointer over the preview but left of the picture has no x.
    int32_t x, y;
    ImageToWindow(w, -40, 25, x, y);
    ASSERT_GE(x, pr.left);
    ui.MoveTo(w, x, y);
    ui.Advance(300);
    EXPECT_EQ(std::string(w.GetInfoText()).rfind("X: ---\tY: 0.88 cm (25 px)", 0), 0u) << w.GetInfoText();

    // "Load Selection..." of Layout mode is one undo step.
    static int picks = 0;
    picks = 0;
    SetChannelPickerRunner([](CWnd_Main&, bool, uint8_t, ChannelPick& out) {
        ++picks;
        out.width = 240;
        out.height = 180;
        out.mode = 0;
        out.invert = 0;
        if (!out.map.Alloc(240 * 180))
            return false;
        std::memset(out.map.GetData(), 0, 240 * 180);  // dark everywhere: every knife
        return true;
    });
    EXPECT_TRUE(Menu(w, 40));
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(m.GetKnivesSelectionState(), 1);
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_EQ(m.GetKnivesSelectionState(), 0);
    SetChannelPickerRunner(nullptr);

    // Puzzle mode: a click makes the piece under it the current piece; Undo of the next click
    // brings back the selection and the current piece with it.
    Cut();
    CPieceView& v = *w.GetPieceView();
    int32_t ax, ay, bx, by;
    ImageToWindow(w, 30, 30, ax, ay);
    ImageToWindow(w, 200, 150, bx, by);
    const int32_t a = v.PieceAtPoint(30, 30), b = v.PieceAtPoint(200, 150);
    ASSERT_TRUE(a >= 0 && b >= 0 && a != b);
    ui.Click(w, ax, ay);
    EXPECT_EQ(v.GetCurrentPiece(), a);
    ui.Click(w, bx, by);
    EXPECT_EQ(v.GetCurrentPiece(), b);
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_TRUE(host.plugin.GetEngine().GetPiece(a)->selected);
    EXPECT_FALSE(host.plugin.GetEngine().GetPiece(b)->selected);
    EXPECT_EQ(v.GetCurrentPiece(), a);
    EXPECT_EQ(v.GetRangeAnchor(), a);
    // In Puzzle mode the info line names the piece; back in Layout mode it does not.
    w.UpdateInfoText(10, 10, false);
    EXPECT_NE(std::string(w.GetInfoText()).find("Piece"), std::string::npos);
    Click("Main_Relayout");
    EXPECT_STREQ(w.GetInfoText(), "X: 0.35 cm (10 px)\tY: 0.35 cm (10 px)");
    EXPECT_TRUE(Menu(w, 85));
}

namespace {
// The info line's font from the compiled package, as the main window loads it.
struct InfoFont {
    CQWF_Storage package;
    CQWF_Font font;
    bool Load()
    {
        return package.OpenFile(PackagePath().c_str(), CQWF_Storage::kModeRead) && font.Load(package, "UIResources>Fonts>Info Font");
    }
    int32_t Width(const std::string& text)
    {
        int32_t w = 0, h = 0;
        return font.MeasureText(text.c_str(), 0, w, h) ? w : 0;
    }
};

// The parts of an info line between its tabs.
std::vector<std::string> Parts(const char* line)
{
    std::vector<std::string> parts(1);
    for (const char* p = line; *p; ++p) {
        if (*p == '\t')
            parts.emplace_back();
        else
            parts.back() += *p;
    }
    return parts;
}
}  // namespace

// In every unit, at every size and resolution, each X, Y and piece part of the info line ends
// before the tab stop of the next one, with room between them, and the whole line fits the
// line's 860 pixels: checked at every coordinate of small pictures and at the coordinates around
// every change of the number's form of large ones, against the font's own widths.
TEST(MainInfo, ThePartsOfTheInfoLineStayApartInEveryUnitAndSize)
{
    InfoFont f;
    ASSERT_TRUE(f.Load());
    auto width = [&](const char* text) { return f.Width(text); };
    constexpr int32_t kGap = 8, kLine = 860;
    int wrong = 0;
    for (uint8_t units = kUnitPixels; units <= kUnitPercent; ++units)
        for (int32_t size : {1, 240, 1544, 30000, 65535})
            for (double resolution : {0.0, 0.5, 1.0, 72.0, 300.0, 2400.0}) {
                const InfoImage image{size, size, resolution, resolution, units};
                int32_t stops[2] = {0, 0};
                InfoTabStops(image, width, kGap, stops);
                EXPECT_GE(stops[0], 140);
                EXPECT_GE(stops[1], 300);
                std::vector<int32_t> at{-1};
                for (int32_t v = 0; v < size; v += size <= 2000 ? 1 : 97) at.push_back(v);
                at.push_back(size - 1);
                for (int32_t v : at) {
                    CQWF_String line;
                    FormatPositionInfo(line, image, v, v);
                    AppendPieceInfo(line, 99998, 99999, false, 100, 100);
                    const std::vector<std::string> p = Parts(line.GetBuffer());
                    ASSERT_EQ(p.size(), 3u);
                    if ((f.Width(p[0]) + kGap > stops[0] || stops[0] + f.Width(p[1]) + kGap > stops[1] ||
                         stops[1] + f.Width(p[2]) > kLine) &&
                        ++wrong <= 5)
                        ADD_FAILURE() << "units " << int(units) << ", " << size << " px at " << resolution
                                      << " ppi: \"" << line.GetBuffer() << "\" with stops " << stops[0] << ", "
                                      << stops[1];
                }
            }
    EXPECT_EQ(wrong, 0);
}

// The case that ran together: 300 pixels per inch in inches, the pointer at 1544, 1240 of a
// picture of 1600 x 1300: the Y part is drawn after a blank run of the X part's own line.
TEST_F(MainWindowOpen, TheInfoLineShowsItsPartsApart)
{
    fakehost::Reset(host.rec, 1600, 1300, plugInModeRGBColor, 3);
    host.rec.imageHRes = host.rec.imageVRes = 300 << 16;
    fakehost::S().rulerUnit = 1;  // inches
    ASSERT_TRUE(host.plugin.ReadHostInfo());
    ASSERT_TRUE(host.plugin.ReadMask(true));
    Open();
    Cut();
    ASSERT_EQ(w.GetUnits(), 2);
    w.UpdateInfoText(1544, 1240, false);
    const std::vector<std::string> p = Parts(w.GetInfoText());
    ASSERT_EQ(p.size(), 3u) << w.GetInfoText();
    EXPECT_EQ(p[0], "X: 5.15 inches (1544 px)");
    EXPECT_EQ(p[1], "Y: 4.13 inches (1240 px) ");
    auto* info = static_cast<CQWF_CtrlStaticText*>(w.GetControl(w.FindControl("Main_Info")));
    ASSERT_NE(info, nullptr);
    ui.Screenshot(w, "main_info_inches_300ppi");
    // Columns of the line that hold ink, from its text layer's coverage.
    CQWF_Layer* layer = info->GetLayer();
    const int32_t lw = layer->GetWidth(), lh = layer->GetHeight();
    std::vector<bool> ink(static_cast<size_t>(lw));
    for (int32_t y = 0; y < lh; ++y)
        for (int32_t x = 0; x < lw; ++x)
            if (layer->GetPlane(3)[static_cast<size_t>(y) * lw + x] > 64) ink[static_cast<size_t>(x)] = true;
    // Three runs of text, split by blank runs of at least 8 columns.
    int runs = 0;
    int32_t blank = 1000;
    for (int32_t x = 0; x < lw; ++x) {
        if (ink[static_cast<size_t>(x)]) {
            if (blank >= 8) ++runs;
            blank = 0;
        } else {
            ++blank;
        }
    }
    InfoFont f;
    ASSERT_TRUE(f.Load());
    // Words inside a part are one space apart, narrower than 8 columns.
    ASSERT_LT(f.Width("a b") - f.Width("ab"), 8);
    EXPECT_EQ(runs, 3) << w.GetInfoText();
}

// The host's last ruler unit, percent (its unit 6), is the window's too.
TEST_F(MainWindowOpen, TheHostsLastRulerUnit)
{
    fakehost::S().rulerUnit = 6;
    ASSERT_TRUE(host.plugin.ReadHostInfo());
    Open();
    EXPECT_EQ(w.GetUnits(), 5);
    EXPECT_TRUE(Menu(w, 85));
}
