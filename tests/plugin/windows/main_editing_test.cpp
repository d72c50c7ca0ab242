// The main window's commands over the fake host: what an open effect window refuses and what
// still works, one-mode items, what the items change in each mode, the forwarded presses, Escape with picked knots, the randomness
// edit line, the pieces' effect check boxes and Shift on an effect button; under X11 the pop-up
// menus and a triangular and a hexagonal layout are photographed.
#include "plugin/main/wnd_main.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "platform/qw_winsys_x11.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"
#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {
using maintest::CutterOf;
using maintest::Host;
using maintest::PackagePath;
using maintest::Find;
using maintest::ImageToWindow;
using maintest::Menu;
using maintest::SetGrid;
}  // namespace

TEST(MainEditing, CommandsRefusalsKeysAndEffects)
{
    HeadlessUi ui;
    qwp::SeedRandom(33);
    Host host;
    CWnd_Main w;
    // Whatever an earlier run left as the last layout: a plain grid without extra knives.
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w));
    CWnd_Cutter* cutter = CutterOf(w);
    CLayoutModel& m = w.GetLayout();
    ASSERT_EQ(m.GetXLineCount(), 3);

    // Layout mode: select all (command 2 forwards to item 32) is one undo step.
    EXPECT_TRUE(w.RunKeyCommand(2));
    EXPECT_EQ(m.GetKnivesSelectionState(), 1);
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_EQ(m.GetKnivesSelectionState(), 0);
    // Two knots picked: Add knife enabled; Escape drops one (disabled), then the other, then
    // nothing more; Escape never closes the window.
    m.PickKnot(6);
    m.PickKnot(12);
    const int32_t add = Find(w, "Main_AddKnives", 5);
    EXPECT_TRUE(w.GetControl(add)->IsEnabled());
    EXPECT_TRUE(w.OnKeyDown(QWF_KEY_ESCAPE, 0));
    EXPECT_EQ(m.GetPickedKnotCount(), 1);
    EXPECT_FALSE(w.GetControl(add)->IsEnabled());
    EXPECT_TRUE(w.OnKeyDown(QWF_KEY_ESCAPE, 0));
    EXPECT_TRUE(w.OnKeyDown(QWF_KEY_ESCAPE, 0));
    EXPECT_EQ(m.GetPickedKnotCount(), 0);
    EXPECT_NE(w.GetHWND(), 0u);
    // The extra knife by "+" through the button, undone by Ctrl+Z's command. The two picked
    // knots are ringed in red round their black squares, the others are not.
    m.PickKnot(6);
    m.PickKnot(12);
    w.RedrawLayout();
    {
        CQWF_Image& o = w.GetLayoutOverlay();
        auto rgba = [&](int32_t x, int32_t y) {
            const size_t at = static_cast<size_t>(y) * o.GetWidth() + x;
            return std::array<int, 4>{o.GetPlane(0)[at], o.GetPlane(1)[at], o.GetPlane(2)[at],
                                      o.GetPlane(3)[at]};
        };
        int ringed = 0;
        for (size_t i = 0; i < m.GetKnotHitCount(); ++i) {
            const KnotHit& h = m.GetKnotHits()[i];
            if (h.corner || h.right - h.left != 7 || h.bottom - h.top != 7 || h.left < 3 || h.top < 3 || h.left + 9 >= o.GetWidth() ||
                h.top + 9 >= o.GetHeight())
                continue;
            const int32_t cx = h.left + 3, cy = h.top + 3;
            EXPECT_EQ(rgba(cx, cy), (std::array<int, 4>{0, 0, 0, 255})) << h.knot;
            // Points of the ring off the knives' axes through the knot.
            int onRing = 0;
            for (const auto& d : {std::array<int, 2>{3, 5}, {5, -3}, {-3, -5}, {-5, 3}})
                onRing += rgba(cx + d[0], cy + d[1]) == std::array<int, 4>{255, 0, 0, 255};
            const bool red = onRing >= 3;
            EXPECT_EQ(red, h.knot == 6 || h.knot == 12) << h.knot;
            ringed += red;
        }
        EXPECT_GE(ringed, 2);
        EXPECT_TRUE(ui.Screenshot(w, "main_picked_knots"));
    }
    EXPECT_TRUE(w.OnChar('+', 0));
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
    EXPECT_TRUE(w.RunKeyCommand(3));  // the second undo redoes
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);
    // Delete hides the selected knives (all, none being selected) as one step.
    EXPECT_TRUE(w.OnKeyDown(QWF_KEY_DELETE, 0));
    EXPECT_EQ(m.RowKnives()[0].hidden, 1);
    EXPECT_TRUE(Menu(w, 80));
    EXPECT_EQ(m.RowKnives()[0].hidden, 0);
    // A mesh shows its grid in the Cutter, and so does its undo.
    ASSERT_TRUE(m.BuildHexagonalLayout(4, 5, true));
    auto cutterColumns = [&] {
        return static_cast<CQWF_CtrlSlider*>(cutter->GetControl(cutter->FindControl("Cutter_Columns")))
            ->GetValue();
    };
    EXPECT_EQ(cutterColumns(), static_cast<uint32_t>(m.GetXLineCount() + 1));
    EXPECT_NE(m.GetXLineCount(), 3);
    EXPECT_TRUE(Menu(w, 80));
    EXPECT_EQ(m.GetXLineCount(), 3);
    EXPECT_EQ(cutterColumns(), 4u);

    // The randomness edit line: 150 is taken as 100 when it loses the focus.
    const int32_t edit = Find(w, "Main_RndKnots", 8);
    auto* line = static_cast<CQWF_CtrlEditLine*>(w.GetControl(edit));
    line->SetText("150", true);
    w.SetFocusControl(edit);
    w.ReleaseFocus(edit);
    EXPECT_STREQ(line->GetText().GetBuffer(), "100");
    EXPECT_FLOAT_EQ(m.GetKnotAmplitude(), 1.0f);
    // Back to 0: the knots return to the grid, whose cells the lasso below is measured on.
    line->SetText("0", true);
    w.SetFocusControl(edit);
    w.ReleaseFocus(edit);
    EXPECT_FLOAT_EQ(m.GetKnotAmplitude(), 0.0f);
    EXPECT_EQ(m.Knots()[m.GetKnotsPerRow() + 1].x, 0.0f);

    // Cut: Puzzle mode.
    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    CJigcrafter& e = host.plugin.GetEngine();
    ASSERT_GT(e.GetPieceCount(), 0);

    // A lasso with Ctrl and Shift around the middle of the picture adds the pieces it touches.
    int32_t lx, ly;
    ImageToWindow(w, 100, 70, lx, ly);
    const uint32_t held = QWF_MOD_CTRL | QWF_MOD_SHIFT;
    w.OnLButtonDown(lx, ly, held);
    for (auto [dx, dy] : {std::pair{20, 0}, {40, 0}, {40, 20}, {40, 40}, {20, 40}, {0, 40}, {0, 20}})
        w.OnMouseMove(lx + dx, ly + dy, held | 0x100);
    w.OnLButtonUp(lx, ly + 10, held);
    // Pieces it touches, none outside its box (100..140 x 70..110), never the knife lines.
    int touched = 0;
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        const JigPiece& p = *e.GetPiece(i);
        if (!p.selected)
            continue;
        ++touched;
        EXPECT_NE(i, 0);
        EXPECT_TRUE(p.left <= 140 && p.right > 100 && p.top <= 110 && p.bottom > 70) << i;
    }
    EXPECT_GE(touched, 2);
    EXPECT_FALSE(e.GetPiece(w.GetPieceView()->PieceAtPoint(10, 10))->selected);
    EXPECT_TRUE(w.RunKeyCommand(3));  // undone
    EXPECT_EQ(w.GetPieceView()->GetPiecesFlagState(), 0);

    // The blur check box switches blur on every piece (none selected) and renders them.
    const int32_t blurBox = Find(w, "Main_FXBlur", 7);
    w.GetControl(blurBox)->SetCheck(true, true);
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        EXPECT_TRUE(e.GetPiece(i)->blur[kJigApplied].on) << i;
        EXPECT_FALSE(w.GetPieceView()->PieceNeedsRender(i, true)) << i;
    }
    // Undo switches it off again everywhere.
    EXPECT_TRUE(w.RunKeyCommand(3));
    EXPECT_FALSE(e.GetPiece(0)->blur[kJigApplied].on);
    // Shift on the bevel button toggles its box instead of opening the window.
    const bool bevel = w.GetControl(Find(w, "Main_FXBevel", 7))->GetCheck();
    ui.Ws().KeyDown(qwp::vk::Shift);
    EXPECT_TRUE(w.OnCommand(QWF_NOTIFY_CLICK, Find(w, "Main_FXBevel", 5), "Main_FXBevel", 5, nullptr));
    ui.Ws().KeyUp(qwp::vk::Shift);
    EXPECT_NE(w.GetControl(Find(w, "Main_FXBevel", 7))->GetCheck(), bevel);
    EXPECT_EQ(e.GetPiece(1)->bevel[kJigApplied].on != 0, !bevel);

    // Select all, hide by Delete, show by Insert: each one undo step of the pieces.
    EXPECT_TRUE(w.RunKeyCommand(2));
    EXPECT_EQ(w.GetPieceView()->GetPiecesFlagState(), 1);
    EXPECT_TRUE(w.OnKeyDown(QWF_KEY_DELETE, 0));
    EXPECT_EQ(e.GetPiece(2)->shown, 0);
    EXPECT_TRUE(w.RunKeyCommand(4));
    EXPECT_EQ(e.GetPiece(2)->shown, 1);

    // An open effect window: the window does not close (more in ItemsRunInTheirModesOnly).
    w.BeginEffectPreview();
    EXPECT_FALSE(w.OnCommand(QWF_NOTIFY_CLICK, Find(w, "Main_Apply", 5), "Main_Apply", 5, nullptr));
    w.EndEffectPreview();
    EXPECT_TRUE(Menu(w, 20));  // percent
    EXPECT_EQ(w.GetUnits(), 5);
    // The menu item "Cancel" presses the Cancel button: the run ends without the layout (and
    // leaves no last layout behind for other runs).
    EXPECT_TRUE(Menu(w, 85));
    EXPECT_EQ(w.GetReady(), 0);
    EXPECT_EQ(w.GetHWND(), 0u);
}

// What the items and commands of one mode, and those an open effect window refuses, return in
// Layout mode, in Puzzle mode, and in Puzzle mode with an effect window open. The items of a
// pop-up over a knife, a knot, a ruler's line or a piece do nothing without one.
TEST(MainEditing, ItemsRunInTheirModesOnly)
{
    HeadlessUi ui;
    Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w));
    auto item = [&w](uint16_t id) { return std::function<bool()>([&w, id] { return Menu(w, id); }); };
    auto key = [&w](int32_t id) { return std::function<bool()>([&w, id] { return w.RunKeyCommand(id); }); };
    const int32_t add = Find(w, "Main_AddKnives", 5), blur = Find(w, "Main_FXBlur", 7);
    struct Case {
        const char* what;
        std::function<bool()> run;
        bool layout, puzzle, effect;
    } const cases[] = {
        {"item 37, the column knives", item(37), true, false, false},
        {"item 43, the Splitter's pieces", item(43), false, true, false},
        {"item 98, flip H", item(98), true, false, false},
        {"item 130, invert", item(130), false, true, false},
        {"item 143, reset the effects", item(143), false, true, false},
        {"item 3938, equalize the knobs", item(3938), true, false, false},
        {"item 3936, add an extra knife", item(3936), true, false, false},
        {"item 64, arrange the lines", item(64), true, false, false},
        {"item 65, centre no line", item(65), false, false, false},
        {"item 67, delete no line", item(67), false, false, false},
        {"item 68, select no line", item(68), false, false, false},
        {"item 256, select no knife", item(256), false, false, false},
        {"item 258, flip no knife", item(258), false, false, false},
        {"item 261, show no knife", item(261), false, false, false},
        {"item 263, reset no knot", item(263), false, false, false},
        {"item 264, copy no knife", item(264), false, false, false},
        {"item 265, paste on no knife", item(265), false, false, false},
        {"item 266, delete no knife", item(266), false, false, false},
        {"item 272, select no piece", item(272), false, false, false},
        {"command 18, flip H", key(18), true, false, false},
        {"command 3, undo", key(3), true, true, false},
        {"command 32, save (the file dialog cancelled)", key(32), true, true, false},
        {"command 16, zoom out", key(16), true, true, true},
        {"item 119, switch the bevel", item(119), false, true, false},
        {"Delete", [&] { return w.OnKeyDown(QWF_KEY_DELETE, 0); }, true, true, false},
        {"command 39, the Splitter's pieces", key(39), false, true, false},
        {"command 43, invert", key(43), false, true, false},
        {"Main_AddKnives", [&] { return w.OnCommand(QWF_NOTIFY_CLICK, add, "Main_AddKnives", 5, nullptr); }, true,
         false, false},
        {"Main_FXBlur's box", [&] { return w.OnCommand(QWF_NOTIFY_CLICK, blur, "Main_FXBlur", 7, nullptr); }, false,
         true, false},
        {"command 24, the bevel window (left open in Puzzle mode)", key(24), false, true, false},
    };
    auto runAll = [&](int state) {
        for (const Case& c : cases)
            EXPECT_EQ(c.run(), state == 0 ? c.layout : state == 1 ? c.puzzle : c.effect)
                << c.what << (state == 0 ? ", Layout mode" : state == 1 ? ", Puzzle mode" : ", effect window open");
    };
    runAll(0);
    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    runAll(1);
    ASSERT_NE(w.GetEffectWindow(), nullptr);
    ui.Key(qwp::vk::Escape);
    w.BeginEffectPreview();
    runAll(2);
    w.EndEffectPreview();
    w.Close();
    ui.Pump();
}

// The items change what they name, each from the same start: in Layout mode 9 row knives, 8
// column knives and one extra knife, rows 0, 1, 2 and 4 selected and row 4 hidden; in Puzzle
// mode the 12 pieces, 0, 1, 2 and 4 selected and 4 hidden. A knife or a piece reads as a digit:
// 1 selected, 2 hidden, 4 flipped across (H), 8 flipped along (U). The pop-up and ruler items
// are chosen from the menus the right button opens over a knife, a piece or a ruler's line.
TEST(MainEditing, ItemsChangeWhatTheyName)
{
    HeadlessUi ui;
    Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w));
    CLayoutModel& m = w.GetLayout();
    m.AddExtraKnife(0, 6);
    std::vector<KnifeRecord*> knives;
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i) knives.push_back(&m.RowKnives()[i]);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i) knives.push_back(&m.ColumnKnives()[i]);
    knives.push_back(&m.ExtraKnives()[0].knife);
    ASSERT_EQ(knives.size(), 18u);
    auto digit = [](int v) { return "0123456789ABCDEF"[v]; };
    auto layout = [&] {
        std::string s;
        for (const KnifeRecord* k : knives) s += digit(k->selected | k->hidden << 1 | k->flipAcross << 2 | k->flipAlong << 3);
        return s;
    };
    auto startLayout = [&] {
        for (size_t i = 0; i < knives.size(); ++i) {
            KnifeRecord& k = *knives[i];
            k.selected = i < 3 || i == 4;
            k.hidden = i == 4;
            k.flipAcross = k.flipAlong = 0;
        }
        m.UpdateSelectionState();
        w.RedrawLayout();
    };
    int32_t kx, ky, rx, ry, lx, ly, px, py;
    ImageToWindow(w, 60, 10, kx, ky);    // on row knife 0
    ImageToWindow(w, 120, 0, rx, ry);    // the top ruler at x line 1 (row knives 1, 4, 7)
    ImageToWindow(w, 30, 0, lx, ly);     // the top ruler between the lines
    ry = ly = 72;
    ImageToWindow(w, 210, 150, px, py);  // the last piece's cell
    auto popUp = [&](int32_t x, int32_t y, int32_t answer) {
        ui.Ws().AnswerMenu(answer);
        if (y == 72) return w.ShowRulerMenu(x, y);
        w.OnRButtonUp(x, y, 0);
        return true;
    };
    // The random flip of rows 0, 1, 2 and 4 drawn as the window draws it: H, then U, each
    // inverted on a draw below 16383.
    qwp::SeedRandom(17);
    std::string flipped = "111030000000000000";
    for (size_t i : {0u, 1u, 2u, 4u})
        for (int bit : {4, 8})
            if (qwp::Random15() < 16383) flipped[i] = digit((flipped[i] - '0') ^ bit);
    // Each case from the start; "#N": N selected, where the item chooses at random.
    using Cases = std::vector<std::tuple<const char*, std::function<bool()>, std::string>>;
    auto runCases = [](const Cases& cases, const std::function<void()>& start, const std::function<std::string()>& now) {
        for (const auto& [name, run, after] : cases) {
            start();
            EXPECT_TRUE(run()) << name;
            const std::string s = now();
            if (after[0] == '#')
                EXPECT_EQ(std::count_if(s.begin(), s.end(), [](char d) { return std::strchr("13579BDF", d) != nullptr; }),
                          std::stoi(after.substr(1)))
                    << name;
            else
                EXPECT_EQ(s, after) << name;
        }
    };
    auto item = [&](uint16_t id) { return [&w, id] { return Menu(w, id); }; };
    auto at = [&](int32_t x, int32_t y, int32_t answer) { return [=, &popUp] { return popUp(x, y, answer); }; };
    runCases({{"inverse", item(34), "000121111111111111"},
              {"hidden ones", item(35), "000030000000000000"},
              {"shown ones", item(36), "111121111111111111"},
              {"column knives", item(37), "000020000111111110"},
              {"row knives", item(38), "111131111000000000"},
              {"extra knives", item(39), "000020000000000001"},
              {"random ones added", item(41), "#5"},
              {"random ones deselected", item(42), "#3"},
              {"show", item(96), "111010000000000000"},
              {"hide", item(97), "333030000000000000"},
              {"reverse", item(144), "333010000000000000"},
              {"flip H", item(98), "555070000000000000"},
              {"flip HU at random", [&] { qwp::SeedRandom(17); return Menu(w, 103); }, flipped},
              {"flip HU interleaved", item(106), "1D10F0000000000000"},
              {"flip U not interleaved", item(108), "111030000000000000"},
              {"select the line", at(rx, ry, 2), "111030010000000000"},
              {"deselect the line", at(rx, ry, 3), "101020000000000000"},
              {"deselect the knife", at(kx, ky, 1), "011030000000000000"},
              {"flip the knife U", at(kx, ky, 3), "911030000000000000"},
              {"hide the knife", at(kx, ky, 6), "311030000000000000"}},
             startLayout, layout);
    // The Adjust menu greys Show while no selected knife is hidden, Hide while none is shown.
    startLayout();
    knives[4]->hidden = 0;
    m.UpdateSelectionState();
    w.ShowMainMenu(2);
    EXPECT_EQ(ui.Ws().Menus().back().items[0].text + (ui.Ws().Menus().back().items[0].greyed ? " greyed" : ""),
              "Turn ON (Show) Knives greyed");
    EXPECT_FALSE(ui.Ws().Menus().back().items[1].greyed);
    // The copy item copies the knife under the pointer, a column knife or the extra knife; the
    // ruler's Insert puts a line where it was opened (undone again).
    startLayout();
    knives[9]->tipsSize = 31;
    knives[17]->tipsSize = 32;
    for (const auto& [ix, iy, tips] : {std::tuple{8, 60, 31}, {8, 8, 32}}) {
        int32_t x, y;
        ImageToWindow(w, ix, iy, x, y);
        ASSERT_TRUE(popUp(x, y, 8));
        EXPECT_EQ(m.GetClipboard().tipsSize, tips) << ix << "," << iy;
    }
    ASSERT_TRUE(popUp(kx, ky, 9));  // pasted on row knife 0
    EXPECT_EQ(knives[0]->tipsSize, 32);
    ASSERT_TRUE(popUp(lx, ly, 1));
    ASSERT_EQ(m.GetXLineCount(), 4);
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.125f);
    EXPECT_TRUE(w.RunKeyCommand(3));
    ASSERT_EQ(m.GetXLineCount(), 3);

    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    CJigcrafter& e = host.plugin.GetEngine();
    CPieceView& view = *w.GetPieceView();
    ASSERT_EQ(e.GetPieceCount(), 12);
    const int32_t last = view.PieceAtPoint(210, 150);
    ASSERT_TRUE(last == 3 || last > 4) << last;
    auto pieces = [&] {
        std::string s;
        for (int32_t i = 0; i < 12; ++i) s += digit(e.GetPiece(i)->selected | !e.GetPiece(i)->shown << 1);
        return s;
    };
    auto startPieces = [&] {
        for (int32_t i = 0; i < 12; ++i) {
            e.GetPiece(i)->selected = i < 3 || i == 4;
            e.GetPiece(i)->shown = i != 4;
        }
        view.RebuildMarks();
        view.UpdateEffectButtons(false, false);
    };
    // Load Selection: a channel dark only inside piece 0 (the first cell's upper triangle, the
    // extra knife cutting the cell), in each mode.
    ASSERT_EQ(view.PieceAtPoint(46, 8), 0);
    static uint8_t mode = 0;
    SetChannelPickerRunner([](CWnd_Main&, bool, uint8_t, ChannelPick& out) {
        out.width = 240;
        out.height = 180;
        out.mode = mode;
        if (!out.map.Alloc(240 * 180)) return false;
        std::memset(out.map.GetData(), 255, 240 * 180);
        for (int y = 4; y < 12; ++y) std::memset(out.map.GetData() + y * 240 + 42, 0, 8);
        return true;
    });
    auto load = [&](uint8_t m) { return [&w, m] { mode = m; return Menu(w, 40); }; };
    auto withLast = [&](char d) {
        std::string s = "111030000000";
        s[static_cast<size_t>(last)] = d;
        return s;
    };
    runCases({{"inverse", item(34), "000121111111"},
              {"hidden ones", item(35), "000030000000"},
              {"shown ones", item(36), "111121111111"},
              {"random ones added", item(41), "#5"},
              {"random ones deselected", item(42), "#3"},
              {"show", item(96), "111010000000"},
              {"hide", item(97), "333030000000"},
              {"reverse", item(144), "333010000000"},
              {"select the piece", at(px, py, 0), withLast('1')},
              {"hide the piece", at(px, py, 1), withLast('2')},
              {"load and add", load(1), "111030000000"},
              {"load and subtract", load(2), "011030000000"},
              {"load and intersect", load(3), "100020000000"}},
             startPieces, pieces);
    SetChannelPickerRunner(nullptr);
    w.Close();
    ui.Pump();
}

namespace {
// Opens a menu with `open` and photographs it over the main window before Escape closes it.
void PhotographMenu(X11Ui& ui, CWnd_Main& w, const char* name, const std::function<void()>& open)
{
    qwp::ScreenRect place{};
    qwtest::Picture shot;
    int step = 0;
    ui.Ws().SetIdleHook([&] {
        if (!ui.Ws().OpenMenuRect(place) || step++)
            return;
        QWF_Rect r;
        w.GetWindowRect(r);
        const qwp::ScreenRect all{std::min(r.left, place.left), std::min(r.top, place.top),
                                  std::max(r.right, place.right), std::max(r.bottom, place.bottom)};
        shot.width = all.right - all.left;
        shot.height = all.bottom - all.top;
        ui.Ws().CaptureScreen(all, shot.rgb);
        ui.Ws().FakeKey(qwp::vk::Escape, true);
        ui.Ws().FakeKey(qwp::vk::Escape, false);
        ui.Ws().Sync();
    });
    open();
    ui.Ws().SetIdleHook({});
    ASSERT_GT(shot.width, 0) << name;
    EXPECT_TRUE(qwtest::WritePng(qwtest::OutputDir("screens") + "/" + name + ".png", shot));
}
}  // namespace

TEST(MainEditing, MenusAndMeshesUnderX11)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    Host host;
    CWnd_Main w;
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, host, w));
    ui.Pump();
    int32_t kx, ky;
    ImageToWindow(w, 60, 90, kx, ky);  // on the first column line
    PhotographMenu(ui, w, "main_menu_main_layout_x11", [&] { w.ShowMainMenu(0); });
    PhotographMenu(ui, w, "main_menu_select_layout_x11", [&] { w.ShowMainMenu(1); });
    PhotographMenu(ui, w, "main_menu_adjust_layout_x11", [&] { w.ShowMainMenu(2); });
    PhotographMenu(ui, w, "main_menu_knife_x11", [&] { w.ShowContextMenu(kx, ky, false); });
    PhotographMenu(ui, w, "main_menu_ruler_x11", [&] {
        int32_t rx, ry;
        ImageToWindow(w, 100, 0, rx, ry);
        (void)ry;
        EXPECT_TRUE(w.ShowRulerMenu(rx, 72));  // on the splitter ruler above the preview
    });

    // The meshes, photographed from the screen under the main window.
    auto photograph = [&](const char* name) {
        QWF_Rect r;
        ASSERT_TRUE(w.GetWindowRect(r));
        qwtest::Picture p;
        p.width = r.right - r.left;
        p.height = r.bottom - r.top;
        ASSERT_TRUE(ui.Ws().CaptureScreen({r.left, r.top, r.right, r.bottom}, p.rgb));
        EXPECT_TRUE(qwtest::WritePng(qwtest::OutputDir("screens") + "/" + name + ".png", p));
    };
    ASSERT_TRUE(w.GetLayout().BuildTriangularLayout(4, 5, true));
    w.RedrawLayout();
    ui.Pump();
    photograph("main_layout_triangular_x11");
    ASSERT_TRUE(w.GetLayout().BuildHexagonalLayout(4, 5, true));
    EXPECT_GT(w.GetLayout().GetExtraKnifeCount(), 0);
    w.RedrawLayout();
    ui.Pump();
    photograph("main_layout_hexagonal_x11");

    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
    PhotographMenu(ui, w, "main_menu_adjust_puzzle_x11", [&] { w.ShowMainMenu(2); });
    PhotographMenu(ui, w, "main_menu_select_puzzle_x11", [&] { w.ShowMainMenu(1); });
    int32_t px, py;
    ImageToWindow(w, 120, 90, px, py);
    PhotographMenu(ui, w, "main_menu_piece_x11", [&] { w.ShowContextMenu(px, py, false); });
}
