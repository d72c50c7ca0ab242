// Mouse editing without a window: ruler markers, line and knot drags, knife clicks, and the
// piece selection gestures of Puzzle mode.
#include "plugin/main/layout_mouse.h"

#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace {
constexpr uint32_t kAlt = CLayoutMouse::kAlt, kShift = CLayoutMouse::kShift,
                   kCtrl = CLayoutMouse::kCtrl;

struct PieceSink : CLayoutMouseSink {
    std::vector<std::string> log;
    int32_t anchor = -1;
    int32_t pieceUnder = -1;
    std::vector<bool> selected = std::vector<bool>(10, false);
    QWF_Rect lastBand{};
    int bands = 0;
    size_t lassoPoints = 0;
    bool PreviewToImage(int32_t x, int32_t y, int32_t& ix, int32_t& iy) override
    {
        ix = x - 100;
        iy = y - 50;
        return true;
    }
    int32_t PieceAtPoint(int32_t, int32_t) override { return pieceUnder; }
    bool IsPieceSelected(int32_t p) override { return selected[p]; }
    int32_t GetRangeAnchor() override { return anchor; }
    void SetRangeAnchor(int32_t p) override { anchor = p; }
    void BeginPiecesChange() override { log.push_back("begin"); }
    void EndPiecesChange() override { log.push_back("end"); }
    void SelectPiece(int32_t p, bool s, bool d, bool) override
    {
        log.push_back("piece " + std::to_string(p) + (s ? " +" : "") + (d ? " -" : ""));
    }
    void DeselectAllPieces(bool) override { log.push_back("none"); }
    void SelectPieceRange(bool s, bool, int32_t a, int32_t b, bool) override
    {
        log.push_back("range " + std::to_string(a) + "-" + std::to_string(b) + (s ? " +" : " -"));
    }
    void SelectPiecesInRect(int32_t l, int32_t t, int32_t r, int32_t b, bool s, bool, bool) override
    {
        log.push_back("rect " + std::to_string(l) + "," + std::to_string(t) + "," +
                      std::to_string(r) + "," + std::to_string(b) + (s ? " +" : " -"));
    }
    void SelectPiecesInLasso(const CQWF_DWordArray& points, bool s, bool, bool) override
    {
        log.push_back("lasso " + std::to_string(points.GetCount()) + (s ? " +" : " -"));
    }
    void BeginSelectionDrag() override { log.push_back("drag"); }
    void EndSelectionDrag() override { log.push_back("undrag"); }
    void DrawRubberBand(const QWF_Rect* band) override
    {
        ++bands;
        if (band)
            lastBand = *band;
    }
    void DrawLasso(const CQWF_DWordArray& points) override { lassoPoints = points.GetCount(); }
};

// A 400 x 300 image shown 1:1 in the preview at (100, 50), with its rulers above and left
// (x lines at 200, 300, 400; y at 150, 250), undo empty.
struct Editor {
    PieceSink sink;
    CutterState cutter{};
    CLayoutModel m;
    CLayoutMouse mouse{m, sink};
    Editor()
    {
        layouttest::ShowLayoutOnScreen(m, mouse, cutter);
        m.ResetUndo();
    }
    int SelectedRowKnives() const
    {
        int n = 0;
        for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
            n += m.RowKnives()[i].selected;
        return n;
    }
};
}  // namespace

TEST(LayoutMouse, RulerMarkersDragSelectInsertDelete)
{
    Editor e;
    ASSERT_EQ(e.mouse.GetMarkerCount(true), 3u);
    ASSERT_EQ(e.mouse.GetMarkerCount(false), 2u);
    EXPECT_EQ(e.mouse.GetMarkers(true)[1].x, 300);
    EXPECT_EQ(e.mouse.GetMarkers(false)[0].y, 150);
    EXPECT_EQ(e.mouse.MarkerAt(true, 198, 31), 0);
    EXPECT_EQ(e.mouse.MarkerAt(true, 197, 31), -1);
    EXPECT_EQ(e.mouse.MarkerAt(true, 203, 37), 0);
    EXPECT_EQ(e.mouse.MarkerAt(true, 204, 37), -1);
    EXPECT_EQ(CLayoutMouse::HoverZone(e.mouse.GetGeometry(), 300, 40), CLayoutMouse::kZoneTopRuler);
    EXPECT_EQ(CLayoutMouse::HoverZone(e.mouse.GetGeometry(), 300, 620), CLayoutMouse::kZoneStatus);

    // Dragged past its neighbour the first line stops 3 image pixels before it; to the far
    // left it reaches 0; Undo puts it back.
    ASSERT_TRUE(e.mouse.OnMouseDown(201, 33, 0));
    EXPECT_TRUE(e.mouse.IsLineDragging());
    EXPECT_TRUE(e.mouse.OnMouseMove(450, 40, 0));
    EXPECT_FLOAT_EQ(e.m.GetXLines()[0], 0.5f - 3.0f / 400);
    EXPECT_TRUE(e.mouse.OnMouseMove(-50, 40, 0));
    EXPECT_EQ(e.m.GetXLines()[0], 0.0f);
    EXPECT_TRUE(e.mouse.OnMouseMove(176, 40, 0));
    EXPECT_TRUE(e.mouse.OnMouseUp(176, 40, 0));
    EXPECT_EQ(e.m.GetXLines()[0], 0.1875f);
    EXPECT_EQ(e.mouse.GetMarkers(true)[0].x, 175);
    e.m.Undo();
    EXPECT_EQ(e.m.GetXLines()[0], 0.25f);

    // Shift selects the line's knives, Alt deselects them, Ctrl with Shift on a marker selects.
    ASSERT_TRUE(e.mouse.OnMouseDown(300, 33, kShift));
    EXPECT_EQ(e.SelectedRowKnives(), 3);
    ASSERT_TRUE(e.mouse.OnMouseDown(300, 33, kAlt));
    EXPECT_EQ(e.SelectedRowKnives(), 0);
    ASSERT_TRUE(e.mouse.OnMouseDown(300, 33, kCtrl | kShift));
    EXPECT_EQ(e.SelectedRowKnives(), 3);
    EXPECT_EQ(e.m.GetXLineCount(), 3);
    e.m.Undo();
    EXPECT_EQ(e.SelectedRowKnives(), 0);
    // Ctrl and Shift away from the markers insert a line; Ctrl with Alt on a marker deletes one.
    ASSERT_TRUE(e.mouse.OnMouseDown(250, 40, kCtrl | kShift));
    EXPECT_EQ(e.m.GetXLineCount(), 4);
    EXPECT_FLOAT_EQ(e.m.GetXLines()[1], 0.375f);
    ASSERT_EQ(e.mouse.GetMarkerCount(true), 4u);
    ASSERT_TRUE(e.mouse.OnMouseDown(90, 290, kCtrl | kShift));  // the left ruler: a row
    EXPECT_EQ(e.m.GetYLineCount(), 3);
    EXPECT_FLOAT_EQ(e.m.GetYLines()[2], 0.8f);
    ASSERT_TRUE(e.mouse.OnMouseDown(83, 150, kCtrl | kAlt));
    EXPECT_EQ(e.m.GetYLineCount(), 2);
    EXPECT_FLOAT_EQ(e.m.GetYLines()[0], 2.0f / 3.0f);
    // The three line edits are one run of one kind: one Undo goes back before the first.
    e.m.Undo();
    EXPECT_EQ(e.m.GetXLineCount(), 3);
    EXPECT_EQ(e.m.GetYLineCount(), 2);
    EXPECT_FLOAT_EQ(e.m.GetYLines()[0], 1.0f / 3.0f);
    // Lines on the picture's first column and row have markers, lines on its far edges none.
    for (const auto& [lines, at] : {std::pair{e.m.XLines(), std::vector<float>{0.0f, 0.5f, 1.0f}}, {e.m.YLines(), {0.0f, 1.0f}}})
        std::copy(at.begin(), at.end(), lines);
    e.mouse.UpdateRulerMarkers();
    EXPECT_EQ(e.mouse.GetMarkerCount(true) * 10 + e.mouse.GetMarkerCount(false), 21u);
}

TEST(LayoutMouse, KnotsPickDragResetAndKnives)
{
    Editor e;
    e.m.ShowKnots(true, true);
    // Extra knives ending and starting at knot 6, and one passing it by.
    for (const auto& [a, b] : {std::pair{0, 6}, {6, 12}, {0, 12}}) e.m.AddExtraKnife(a, b);
    auto marks = [&] {
        std::string s;
        for (int32_t i = 0; i < 3; ++i) s += char('0' + e.m.ExtraKnives()[i].knife.marked);
        return std::to_string(e.m.RowKnives()[0].marked) + s;
    };
    // Knot (1, 1) lies at (200, 150). Pressed and released without moving it is picked; while
    // it is held the knives that follow it are marked.
    ASSERT_TRUE(e.mouse.OnMouseDown(202, 147, 0));
    EXPECT_TRUE(e.mouse.IsKnotDragging());
    EXPECT_EQ(marks(), "1110");
    ASSERT_TRUE(e.mouse.OnMouseUp(202, 147, 0));
    EXPECT_EQ(e.m.GetPickedKnotCount(), 1);
    EXPECT_EQ(e.m.GetPickedKnot(0), 6);
    EXPECT_EQ(marks(), "0000");
    // A click on a knot never reaches the knives under it.
    EXPECT_EQ(e.SelectedRowKnives(), 0);

    // Dragged, it takes offsets and picks nothing: 25 pixels right into a 100-pixel cell.
    ASSERT_TRUE(e.mouse.OnMouseDown(300, 150, 0));
    e.mouse.OnMouseMove(325, 150, 0);
    e.mouse.OnMouseMove(310, 140, 0);
    e.mouse.OnMouseMove(325, 125, 0);
    ASSERT_TRUE(e.mouse.OnMouseUp(325, 125, 0));
    const KnotRecord& k = e.m.Knots()[7];
    EXPECT_FLOAT_EQ(k.x, 0.25f);
    EXPECT_FLOAT_EQ(k.y, -0.25f);  // 25 up into the 100-pixel row above
    EXPECT_EQ(e.m.GetPickedKnotCount(), 1);
    EXPECT_NEAR(e.m.RowKnives()[1].length, std::hypot(25.0, 75.0), 1e-3);
    // Ctrl on the knot puts it back; Undo moves it again.
    ASSERT_TRUE(e.mouse.OnMouseDown(325, 125, kCtrl));
    EXPECT_EQ(e.m.Knots()[7].x, 0.0f);
    e.m.Undo();
    EXPECT_FLOAT_EQ(e.m.Knots()[7].x, 0.25f);
    // A border knot moves only along its border: the left one (0, 1), the top one (3, 0), the
    // bottom one (2, 3), the right one (4, 2), each 20 pixels into a 100-pixel cell.
    for (const auto& [x, y, dx, dy, knot, ox, oy] : {std::tuple{100, 150, 40, 20, 5, 0.0f, 0.2f}, {400, 50, 20, 20, 3, 0.2f, 0.0f},
                                                   {300, 348, 20, -20, 17, 0.2f, 0.0f}, {498, 250, -20, -20, 14, 0.0f, -0.2f}}) {
        ASSERT_TRUE(e.mouse.OnMouseDown(x, y, 0)) << knot;
        e.mouse.OnMouseMove(x + dx, y + dy, 0);
        e.mouse.OnMouseUp(x + dx, y + dy, 0);
        EXPECT_FLOAT_EQ(e.m.Knots()[knot].x, ox) << knot;
        EXPECT_FLOAT_EQ(e.m.Knots()[knot].y, oy) << knot;
    }

    // Knives: a click selects the knife under the pointer, a click on nothing deselects.
    e.m.ShowKnots(false, true);
    ASSERT_TRUE(e.mouse.OnMouseDown(203, 100, 0));
    EXPECT_EQ(e.m.RowKnives()[0].selected, 1);
    EXPECT_EQ(e.SelectedRowKnives(), 1);
    ASSERT_TRUE(e.mouse.OnMouseDown(150, 300, 0));
    EXPECT_EQ(e.SelectedRowKnives(), 0);
    e.m.Undo();
    EXPECT_EQ(e.m.RowKnives()[0].selected, 1);
    EXPECT_FALSE(e.mouse.OnMouseDown(20, 20, 0));
}

TEST(LayoutMouse, PuzzleClicksBandsAndLassos)
{
    Editor e;
    e.m.SetLayoutMode(false);
    e.m.SetFlag(CLayoutModel::kFlagRazor, 0);  // piece 0 is the knife lines

    // A plain click takes the piece alone and anchors; Shift ranges from the anchor.
    e.sink.pieceUnder = 3;
    EXPECT_FALSE(e.mouse.OnMouseDown(150, 100, 0));
    e.mouse.OnMouseUp(150, 100, 0);
    e.sink.pieceUnder = 5;
    e.mouse.OnMouseDown(160, 100, kShift | kAlt);
    e.mouse.OnMouseUp(160, 100, 0);
    // Ctrl toggles; a click on nothing deselects everything.
    e.sink.selected[2] = true;
    e.sink.pieceUnder = 2;
    e.mouse.OnMouseDown(170, 100, kCtrl);
    e.sink.pieceUnder = -1;
    e.mouse.OnMouseDown(170, 100, 0);
    e.mouse.OnMouseUp(170, 100, 0);
    // With the anchor on piece 0 (the knife lines) Shift starts a new anchor.
    e.sink.anchor = 0;
    e.sink.pieceUnder = 4;
    e.mouse.OnMouseDown(170, 100, kShift);
    e.mouse.OnMouseUp(170, 100, 0);
    // With razor cut on piece 0 is a piece like the others: from it Shift ranges.
    e.m.SetFlag(CLayoutModel::kFlagRazor, 1);
    e.sink.anchor = 0;
    e.mouse.OnMouseDown(170, 100, kShift);
    e.mouse.OnMouseUp(170, 100, 0);
    e.m.SetFlag(CLayoutModel::kFlagRazor, 0);
    const std::vector<std::string> clicks = {
        "begin", "piece 3", "end", "begin", "range 3-5 -", "end", "begin", "piece 2 -", "end",
        "begin", "none", "end", "begin", "piece 4 +", "end", "begin", "range 0-4 +", "end"};
    EXPECT_EQ(e.sink.log, clicks);
    EXPECT_EQ(e.sink.anchor, 4);

    // 5 pixels from the press start no band, 6 do; the band ends one pixel past the pointer.
    e.mouse.OnMouseDown(200, 100, 0);
    e.sink.log.clear();
    e.mouse.OnMouseMove(205, 95, 0);
    EXPECT_FALSE(e.mouse.IsSelectionDragging());
    e.mouse.OnMouseMove(194, 100, 0);
    ASSERT_TRUE(e.mouse.IsSelectionDragging());
    e.mouse.OnMouseMove(150, 40, 0);
    EXPECT_EQ(e.sink.lastBand.top, 50);  // clipped to the preview
    e.mouse.OnMouseUp(150, 40, kAlt);
    EXPECT_FALSE(e.mouse.IsSelectionDragging());
    const std::vector<std::string> band = {"drag", "begin", "rect 150,50,201,101 -", "end", "undrag"};
    EXPECT_EQ(e.sink.log, band);

    // Ctrl alone starts nothing; Ctrl with Shift draws a lasso from the press point, dropping
    // points that move one pixel or less; Escape drops it.
    e.sink.log.clear();
    e.mouse.OnMouseDown(300, 200, kCtrl);
    e.mouse.OnMouseMove(320, 200, kCtrl);
    EXPECT_FALSE(e.mouse.IsSelectionDragging());
    e.mouse.OnMouseUp(320, 200, kCtrl);
    e.mouse.OnMouseDown(300, 200, kCtrl | kShift);
    e.mouse.OnMouseMove(310, 200, kCtrl | kShift);
    e.mouse.OnMouseMove(311, 201, kCtrl | kShift);
    e.mouse.OnMouseMove(320, 220, kCtrl | kShift);
    EXPECT_EQ(e.mouse.GetLassoPoints().GetCount(), 3u);
    e.mouse.OnMouseUp(320, 220, 0);
    EXPECT_EQ(e.sink.log.back(), "undrag");
    EXPECT_EQ(e.sink.log[e.sink.log.size() - 3], "lasso 3 +");
    e.mouse.OnMouseDown(300, 200, kCtrl | kAlt);
    e.mouse.OnMouseMove(300, 230, kCtrl | kAlt);
    EXPECT_TRUE(e.mouse.CancelSelectionDrag());
    EXPECT_FALSE(e.mouse.CancelSelectionDrag());
    e.mouse.OnMouseUp(300, 230, 0);
    EXPECT_EQ(e.sink.log.back(), "undrag");
}
