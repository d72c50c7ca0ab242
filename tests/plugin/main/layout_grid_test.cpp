// Grid-line editing, the knife parameters, knot picking, extra knives and the automatic meshes.
#include "plugin/main/layout_model.h"

#include "platform/qw_random.h"
#include "support/test_support.h"

#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace {
using layouttest::Bytes;
using layouttest::Serialize;

struct CutterSink : CLayoutModelSink {
    int columns = -1;
    int rows = -1;
    void CutterSetGridSize(int c, int r) override
    {
        columns = c;
        rows = r;
    }
};

CutterState MakeCutter()
{
    CutterState c{};
    c.shape.nodeCount = 3;
    for (int i = 0; i < 3; ++i) {
        c.shape.U[i] = 0.3 + 0.2 * i;
        c.shape.H[i] = i == 1 ? 0.2 : 0.0;
        c.shape.S[i] = 0.5;
    }
    c.tipsSize = 77;
    c.thickness = 4;
    return c;
}

// A layout over a picture of w x h that reports to a Cutter.
struct CutterLayout {
    CutterSink sink;
    CutterState cutter = MakeCutter();
    CLayoutModel m;
    CutterLayout(int32_t w, int32_t h)
    {
        m.SetSink(&sink);
        m.SetCutter(&cutter);
        m.SetImageSize(w, h);
    }
};

// Every knife of the layout made different: tips size, thickness and flags tell them apart.
void Individualise(CLayoutModel& m)
{
    int n = 0;
    auto mark = [&](KnifeRecord& k) {
        CLayoutModel::DefaultKnifeShape(k);
        k.tipsSize = n % 100;
        k.thickness = 1 + n / 100;
        k.H[2] = -0.01f * static_cast<float>(n % 50);
        k.flipAlong = n % 3 == 0;
        k.hidden = n % 5 == 0;
        ++n;
    };
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        mark(m.RowKnives()[i]);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        mark(m.ColumnKnives()[i]);
    for (int32_t i = 0; i < m.GetExtraKnifeCount(); ++i)
        mark(m.ExtraKnives()[i].knife);
}

using layouttest::SelectedCount;
}  // namespace

TEST(LayoutGridLines, InsertKeepsEverythingAndDeleteTakesItBack)
{
    CutterLayout layout(400, 300);
    CLayoutModel& m = layout.m;
    m.SetView({0, 0, 400, 300, 0, 0, 400, 300});
    qwp::SeedRandom(9);
    m.SetKnotAmplitude(0.6f);
    ASSERT_TRUE(m.SetGridSize(4, 3, true, true));
    m.XLines()[1] = 0.45f;
    for (int32_t a = 0; a < 20; a += 3)
        m.AddExtraKnife(a, 19 - a);
    ASSERT_GT(m.GetExtraKnifeCount(), 3);
    Individualise(m);
    const Bytes original = Serialize(m);
    const std::vector<KnotRecord> knots(m.Knots(), m.Knots() + m.GetKnotCount());

    // A column at x = 150 (0.375) goes between lines 0.25 and 0.45.
    ASSERT_TRUE(m.InsertGridLine(true, 150, 77));
    ASSERT_EQ(m.GetXLineCount(), 4);
    EXPECT_EQ(layout.sink.columns, 5);
    EXPECT_FLOAT_EQ(m.GetXLines()[1], 0.375f);
    EXPECT_FLOAT_EQ(m.GetXLines()[2], 0.45f);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 5; ++c) {
            const KnotRecord& now = m.Knots()[r * 6 + (c <= 1 ? c : c + 1)];
            EXPECT_EQ(now.x, knots[r * 5 + c].x);
            EXPECT_EQ(now.y, knots[r * 5 + c].y);
            EXPECT_EQ(m.Knots()[r * 6 + 2].x, 0.0f);  // the new line's knots sit on it
        }
    // The new line's row knives and the left half of the split column are fresh.
    for (int32_t row = 0; row < 3; ++row) {
        EXPECT_EQ(m.RowKnives()[row * 4 + 1].tipsSize, 77);
        EXPECT_EQ(m.RowKnives()[row * 4 + 1].nodeCount, 3);
    }
    EXPECT_EQ(m.ColumnKnives()[1].tipsSize, 77);
    // Inserting then deleting the same line gives the layout back, byte for byte.
    ASSERT_TRUE(m.DeleteGridLine(true, 1));
    EXPECT_EQ(Serialize(m), original);

    // The same for a row, at the bottom.
    ASSERT_TRUE(m.InsertGridLine(false, 10, 290));
    EXPECT_EQ(layout.sink.rows, 4);
    EXPECT_EQ(m.GetYLineCount(), 3);
    EXPECT_EQ(m.ColumnKnives()[2 * 4].tipsSize, 77);
    ASSERT_TRUE(m.DeleteGridLine(false, 2));
    EXPECT_EQ(Serialize(m), original);

    // Refused: on the preview's edges and outside it (asked before too), a line past the grid, a
    // delete without the Cutter.
    for (const auto& [vertical, x, y] : {std::tuple{true, 400, 10}, {true, 0, 10}, {false, 10, 300}, {false, 10, 0}})
        EXPECT_FALSE(m.CanInsertGridLine(vertical, x, y) || m.InsertGridLine(vertical, x, y)) << x << "," << y;
    EXPECT_FALSE(m.DeleteGridLine(true, 3));
    m.SetCutter(nullptr);
    EXPECT_FALSE(m.DeleteGridLine(true, 0));
    EXPECT_EQ(Serialize(m), original);
}

TEST(LayoutGridLines, DeletingTheFirstLineDropsItsKnotsAndKnives)
{
    CutterState cutter = MakeCutter();
    CLayoutModel m;
    m.SetCutter(&cutter);
    m.SetImageSize(400, 300);
    ASSERT_TRUE(m.SetGridSize(4, 3, true, true));  // 5 x 4 knots
    m.AddExtraKnife(1, 8);    // top border knot of knot column 1
    m.AddExtraKnife(0, 7);    // (0,0)-(2,1)
    m.AddExtraKnife(16, 13);  // bottom border knot of column 1 -> (3,2)
    m.AddExtraKnife(10, 4);   // (0,2)-(4,0)
    Individualise(m);
    const int rowTips = m.RowKnives()[1].tipsSize;     // row 0, x line 1
    const int colTips = m.ColumnKnives()[1].tipsSize;  // y line 0, column 1
    ASSERT_TRUE(m.DeleteGridLine(true, 0));
    ASSERT_EQ(m.GetXLineCount(), 2);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, rowTips);
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, colTips);  // column 1 took column 0's place
    // Knives ending on knot column 1 are gone, the others keep their order and knots.
    ASSERT_EQ(m.GetExtraKnifeCount(), 2);
    EXPECT_EQ(m.ExtraKnives()[0].knotA, 0);
    EXPECT_EQ(m.ExtraKnives()[0].knotB, 1 * 4 + 1);
    EXPECT_EQ(m.ExtraKnives()[1].knotA, 2 * 4 + 0);
    EXPECT_EQ(m.ExtraKnives()[1].knotB, 3);
}

TEST(LayoutGridLines, LimitsSpacingAndCentring)
{
    CLayoutModel m;
    m.SetImageSize(1000, 1000);
    m.SetView({0, 0, 1000, 1000, 0, 0, 1000, 1000});
    ASSERT_TRUE(m.SetGridSize(99, 2, true, true));  // 98 x lines
    EXPECT_TRUE(m.CanInsertGridLine(true, 500, 500));
    ASSERT_TRUE(m.InsertGridLine(true, 503, 500));
    EXPECT_EQ(m.GetXLineCount(), 99);
    EXPECT_FALSE(m.CanInsertGridLine(true, 500, 500));
    EXPECT_FALSE(m.InsertGridLine(true, 507, 500));
    EXPECT_EQ(m.GetXLineCount(), 99);
    EXPECT_TRUE(m.InsertGridLine(false, 500, 300));  // the other direction still takes lines
    // Down to no line; then nothing is left to delete.
    CutterState cutter{};
    m.SetCutter(&cutter);
    ASSERT_TRUE(m.DeleteGridLine(false, 1));
    ASSERT_TRUE(m.DeleteGridLine(false, 0));
    EXPECT_EQ(m.GetYLineCount(), 0);
    EXPECT_FALSE(m.DeleteGridLine(false, 0));

    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));
    m.XLines()[0] = 0.1f;
    m.XLines()[1] = 0.3f;
    m.XLines()[2] = 0.4f;
    m.ArrangeGridLines(false, 2, false);  // the last of three: half way to the border
    EXPECT_FLOAT_EQ(m.GetXLines()[2], 0.65f);
    m.ArrangeGridLines(false, 0, false);
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.15f);
    m.ArrangeGridLines(false, 1, false);
    EXPECT_FLOAT_EQ(m.GetXLines()[1], 0.4f);
    m.ResetUndo();
    m.ArrangeGridLines(false, 3, false);  // past the lines: nothing, not even an undo state
    EXPECT_TRUE(m.IsUndoEmpty());
    m.DistributeGridLines(false, false);
    EXPECT_EQ(m.GetXLines()[0], 0.25f);
    EXPECT_EQ(m.GetXLines()[1], 0.5f);
    EXPECT_EQ(m.GetXLines()[2], 0.75f);
    ASSERT_TRUE(m.SetGridSize(2, 1, true, true));
    m.XLines()[0] = 0.2f;
    m.ArrangeGridLines(false, 5, false);  // one line: it goes to the middle
    EXPECT_EQ(m.GetXLines()[0], 0.5f);
    ASSERT_TRUE(m.SetGridSize(3, 1, true, true));
    m.XLines()[0] = 0.1f;
    m.XLines()[1] = 0.3f;
    m.ArrangeGridLines(false, 1, false);  // the last of two: half way to the border
    EXPECT_FLOAT_EQ(m.GetXLines()[1], 0.55f);
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.1f);
    m.ArrangeGridLines(true, 0, false);  // no y line: nothing
}

TEST(LayoutKnifeParameters, EqualizeKnobsFromTheShortestKnife)
{
    CLayoutModel m;
    m.SetImageSize(400, 100);
    ASSERT_TRUE(m.SetGridSize(2, 2, true, true));
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(m.RowKnives()[i]);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(m.ColumnKnives()[i]);
    // Two nodes make a knob: the first row knife and the second column knife have two, with
    // the spans of the default shape's five.
    for (KnifeRecord* k : {&m.RowKnives()[0], &m.ColumnKnives()[1]}) {
        k->nodeCount = 2;
        k->U[0] = 0.3515f;
        k->U[1] = 0.6485f;
        k->H[0] = 0.0f;
        k->H[1] = -0.297f;
    }
    m.RecalcLayout({0, 0, 400, 100, 0, 0, 400, 100}, true);  // rows 50 long, columns 200
    ASSERT_TRUE(m.CanEqualizeKnobs(false));
    m.EqualizeKnobs(false, false);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 100);   // the reference keeps its size
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 25);  // four times as long
    EXPECT_EQ(m.GetUndoFullKind(), CLayoutModel::kFullTips);

    // A reference with a smaller tips size scales the others with it.
    m.SetKnivesTips(100, false);
    m.RowKnives()[0].tipsSize = 40;
    m.EqualizeKnobs(false, false);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 40);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 40);
    EXPECT_EQ(m.ColumnKnives()[1].tipsSize, 10);

    // A knob of no size is no reference (the shortest knife with a knob is).
    m.SetKnivesTips(100, false);
    m.RowKnives()[0].tipsSize = 0;
    m.EqualizeKnobs(false, false);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 100);
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 25);
    // A reference without heights: only the widths compare, nothing divides by zero.
    m.SetKnivesTips(100, false);
    for (int i = 0; i < 5; ++i)
        m.RowKnives()[0].H[i] = 0.1f;
    m.EqualizeKnobs(false, false);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 100);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 100);
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 25);

    // Limits: never above 100 for a knob smaller than the reference's, never below 1.
    m.SetKnivesTips(100, false);
    for (int i = 0; i < 5; ++i) {
        m.ColumnKnives()[0].U[i] = 0.5f + 0.0001f * static_cast<float>(i);
        m.ColumnKnives()[0].H[i] = 0.0f;
    }
    m.ColumnKnives()[1].length = 1e6f;
    m.RowKnives()[1].length = 0.0f;  // no length: nothing to compare, the largest size
    m.RowKnives()[1].tipsSize = 7;
    m.EqualizeKnobs(false, false);
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 100);
    EXPECT_EQ(m.ColumnKnives()[1].tipsSize, 1);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 100);

    // Straight knives only: no reference, nothing recorded.
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));
    m.RecalcLayout({0, 0, 400, 100, 0, 0, 400, 100}, true);
    m.ResetUndo();
    m.EqualizeKnobs(false, false);
    EXPECT_TRUE(m.IsUndoEmpty());
}

TEST(LayoutKnifeParameters, RandomnessThicknessAndTips)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));
    m.SetKnotRandomness(1.5f);
    EXPECT_EQ(m.GetKnotAmplitude(), 1.0f);
    m.SetKnotRandomness(-0.2f);
    EXPECT_EQ(m.GetKnotAmplitude(), 0.0f);
    for (int32_t i = 0; i < m.GetKnotCount(); ++i)
        EXPECT_EQ(m.Knots()[i].x, 0.0f);
    m.SetLayoutMode(false);
    m.SetKnotRandomness(0.5f);  // Layout mode only
    EXPECT_EQ(m.GetKnotAmplitude(), 0.0f);
    m.SetLayoutMode(true);

    m.RowKnives()[1].selected = 1;
    m.UpdateSelectionState();
    m.SetTipsSize(150);
    m.SetKnifeThickness(0, true);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 100);
    EXPECT_EQ(m.RowKnives()[1].thickness, 1);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagRazor), 1);
    m.SetTipsSize(30);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 30);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 100);
}

TEST(LayoutExtras, PickingSlidesAlongTheClicks)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // 5 knots a row
    m.PickKnot(6);
    m.PickKnot(7);  // the right-hand neighbour replaces the first pick
    EXPECT_EQ(m.GetPickedKnotCount(), 1);
    EXPECT_EQ(m.GetPickedKnot(0), 7);
    m.PickKnot(9);  // two columns away: a pair
    EXPECT_EQ(m.GetPickedKnotCount(), 2);
    m.PickKnot(9);  // the second again leaves the first
    EXPECT_EQ(m.GetPickedKnotCount(), 1);
    EXPECT_EQ(m.GetPickedKnot(0), 7);
    m.PickKnot(9);
    m.PickKnot(21);  // slides on: 9 and 21
    EXPECT_EQ(m.GetPickedKnotCount(), 2);
    EXPECT_EQ(m.GetPickedKnot(0), 9);
    EXPECT_EQ(m.GetPickedKnot(1), 21);
    m.PickKnot(9);  // the first again: the second becomes the first
    EXPECT_EQ(m.GetPickedKnotCount(), 1);
    EXPECT_EQ(m.GetPickedKnot(0), 21);
    m.PickKnot(3);
    m.PickKnot(4);  // a neighbour of 3: starts anew at 4
    EXPECT_EQ(m.GetPickedKnotCount(), 1);
    EXPECT_EQ(m.GetPickedKnot(0), 4);

    m.PickKnot(14);
    m.AddPickedExtraKnife(true);
    ASSERT_EQ(m.GetExtraKnifeCount(), 1);
    for (int i = 0; i < 3; ++i) m.UnpickLastKnot();  // one more than were picked
    EXPECT_EQ(m.GetPickedKnotCount(), 0);
    m.AddPickedExtraKnife(true);
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);
}

TEST(LayoutExtras, DeletionKeepsOrderAndPairs)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(5, 5, true, true));  // 36 knots
    for (int32_t b = 1; b < 6; ++b)
        m.AddExtraKnife(0, b * 6 + 2);
    ASSERT_EQ(m.GetExtraKnifeCount(), 5);
    m.ExtraKnives()[1].knife.selected = 1;
    m.ExtraKnives()[3].knife.selected = 1;
    m.RowKnives()[0].selected = 1;
    m.UpdateSelectionState();
    m.DeleteExtraKnives(true, nullptr, 0, false, true);  // the selected ones
    ASSERT_EQ(m.GetExtraKnifeCount(), 3);
    EXPECT_EQ(m.ExtraKnives()[0].knotB, 8);
    EXPECT_EQ(m.ExtraKnives()[1].knotB, 20);
    EXPECT_EQ(m.ExtraKnives()[2].knotB, 32);

    // Only grid knives selected: the selected extra knives are none of them.
    m.DeleteExtraKnives(true, nullptr, 0, false, true);
    EXPECT_EQ(m.GetExtraKnifeCount(), 3);
    const uint32_t id = 2000001;
    m.DeleteExtraKnives(false, &id, 1, false, true);
    ASSERT_EQ(m.GetExtraKnifeCount(), 2);
    EXPECT_EQ(m.ExtraKnives()[1].knotB, 32);
    m.SelectKnives(0, false, true, true, true);
    m.DeleteExtraKnives(true, nullptr, 0, false, true);  // nothing selected: all of them
    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
}

namespace {
// The shown knives of a mesh: how many end at each knot, and their lengths after a
// recalculation over the whole image.
struct MeshStats {
    std::map<int32_t, int> degree;
    float shortest = 1e30f;
    float longest = 0.0f;
    int gridShown = 0;
    int gridWithNodes = 0;
};

MeshStats Measure(CLayoutModel& m)
{
    m.RecalcLayout({0, 0, static_cast<double>(m.GetImageWidth()), static_cast<double>(m.GetImageHeight()),
                    0, 0, static_cast<double>(m.GetImageWidth()), static_cast<double>(m.GetImageHeight())},
                   true);
    MeshStats st;
    auto add = [&](const KnifeRecord& k, int32_t a, int32_t b, bool grid) {
        st.gridWithNodes += grid && k.nodeCount > 0 && k.hidden;
        if (k.hidden)
            return;
        st.gridShown += grid;
        ++st.degree[a];
        ++st.degree[b];
        st.shortest = std::min(st.shortest, k.length);
        st.longest = std::max(st.longest, k.length);
    };
    for (int f = 0; f < 2; ++f)
        for (int32_t i = 0; i < (f ? m.GetColumnKnifeCount() : m.GetRowKnifeCount()); ++i) {
            int32_t a, b;
            m.GetKnifeKnots(i, f == 0, a, b);
            add(f ? m.ColumnKnives()[i] : m.RowKnives()[i], a, b, true);
        }
    for (int32_t i = 0; i < m.GetExtraKnifeCount(); ++i)
        add(m.ExtraKnives()[i].knife, m.ExtraKnives()[i].knotA, m.ExtraKnives()[i].knotB, false);
    return st;
}

int MaxDegree(const MeshStats& st)
{
    int d = 0;
    for (const auto& kv : st.degree)
        d = std::max(d, kv.second);
    return d;
}
}  // namespace

TEST(LayoutMeshes, TrianglesSmallAndRegular)
{
    CutterLayout layout(1000, 700);
    CLayoutModel& m = layout.m;
    ASSERT_TRUE(m.DefaultLayout());
    for (int rows = 1; rows <= 4; ++rows)
        for (int cols = 1; cols <= 4; ++cols) {
            ASSERT_TRUE(m.BuildTriangularLayout(rows, cols, false));
            EXPECT_EQ(m.GetXLineCount(), cols);
            EXPECT_EQ(m.GetYLineCount(), rows - 1);
            const MeshStats st = Measure(m);
            EXPECT_EQ(st.gridShown, 0);
            EXPECT_EQ(st.gridWithNodes, 0);  // grid knives are hidden and straight
            EXPECT_LE(MaxDegree(st), 6);
            int extras = 0;
            EXPECT_EQ(SelectedCount(m, &extras), m.GetExtraKnifeCount());
            EXPECT_EQ(extras, m.GetExtraKnifeCount());
            EXPECT_GE(m.GetExtraKnifeCount(), 2);
            EXPECT_EQ(m.ExtraKnives()[0].knife.nodeCount, 3);  // the Cutter's shape
        }
    EXPECT_EQ(layout.sink.columns, 5);
    EXPECT_EQ(layout.sink.rows, 4);
    // Every build is one step of undo back to the layout before it.
    m.ResetUndo();
    const Bytes last = Serialize(m);
    ASSERT_TRUE(m.BuildTriangularLayout(3, 2, true));
    m.Undo();
    EXPECT_EQ(Serialize(m), last);

    // Regular triangles are equilateral; a square image with 4 rows and 3 columns is too wide
    // and gets margins of (1000 - 288.7 * 2) / 2 / 1000 at the left and right.
    m.SetImageSize(1000, 1000);
    ASSERT_TRUE(m.BuildTriangularLayout(4, 3, true));
    EXPECT_EQ(m.GetXLineCount(), 5);
    EXPECT_NEAR(m.GetXLines()[0], 0.2113, 1e-4);
    EXPECT_NEAR(m.GetXLines()[4], 0.7887, 1e-4);
    MeshStats st = Measure(m);
    EXPECT_NEAR(st.shortest, 288.675, 0.01);
    EXPECT_NEAR(st.longest, 288.675, 0.01);
    m.SetImageSize(600, 1000);  // too tall: margins at the top and bottom
    ASSERT_TRUE(m.BuildTriangularLayout(3, 5, true));
    EXPECT_EQ(m.GetYLineCount(), 4);
    st = Measure(m);
    EXPECT_NEAR(st.shortest, st.longest, 0.01);

    // Clamped to 98 rows and 97 columns; at most 100 cells a direction with margins.
    ASSERT_TRUE(m.BuildTriangularLayout(200, 200, false));
    EXPECT_EQ(m.GetXLineCount() + 1, 98);
    EXPECT_EQ(m.GetYLineCount() + 1, 98);
    EXPECT_LE(m.GetExtraKnifeCount(), kLayoutMaxExtraKnives);
    ASSERT_TRUE(m.BuildTriangularLayout(200, 200, true));
    EXPECT_LE(m.GetXLineCount(), 99);
    EXPECT_LE(m.GetYLineCount(), 99);

    // A picture of no width or no height has nothing to fit: regular meshes get no margins.
    for (const auto& [w, h] : {std::pair{0, 1000}, {1000, 0}}) {
        m.SetImageSize(w, h);
        ASSERT_TRUE(m.BuildTriangularLayout(4, 3, true));
        EXPECT_EQ(m.GetXLineCount() * 10 + m.GetYLineCount(), 33) << w;
        ASSERT_TRUE(m.BuildHexagonalLayout(4, 3, true));
        EXPECT_EQ(m.GetXLineCount() * 10 + m.GetYLineCount(), 64) << w;
    }
}

TEST(LayoutMeshes, HexagonsSmallAndRegular)
{
    CutterState cutter = MakeCutter();
    CLayoutModel m;
    m.SetCutter(&cutter);
    m.SetImageSize(1000, 700);
    for (int rows = 1; rows <= 4; ++rows)
        for (int cols = 1; cols <= 4; ++cols) {
            ASSERT_TRUE(m.BuildHexagonalLayout(rows, cols, false));
            EXPECT_EQ(m.GetXLineCount(), 2 * cols);
            EXPECT_EQ(m.GetYLineCount(), rows);
            const MeshStats st = Measure(m);
            EXPECT_LE(MaxDegree(st), 3);  // three edges meet at a hexagon's corner
            EXPECT_GT(st.gridShown + m.GetExtraKnifeCount(), 0);
            // Every shown knife is selected, every hidden one not.
            EXPECT_EQ(SelectedCount(m), st.gridShown + m.GetExtraKnifeCount());
        }
    // Half and whole edges alternate across the width: 1.5 edges a hexagon and a half.
    ASSERT_TRUE(m.BuildHexagonalLayout(2, 2, false));
    const double s = 1.0 / 3.5;
    const double expect[4] = {s / 2, 1.5 * s, 2 * s, 3 * s};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(m.GetXLines()[i], expect[i], 1e-6);

    // Regular hexagons have equal edges, with the margins where the image is too tall (700 and
    // 2000 high) or too wide (500 high: left and right).
    for (int32_t h : {500, 700, 2000}) {
        m.SetImageSize(1000, h);
        ASSERT_TRUE(m.BuildHexagonalLayout(3, 3, true));
        const MeshStats st = Measure(m);
        EXPECT_NEAR(st.shortest, st.longest, 0.01) << h;
        EXPECT_LE(MaxDegree(st), 3);
    }
    // 2000 high: the edge that fills the width (200) leaves (2000 - 4 * 0.866 * 200) / 2 above
    // and below.
    EXPECT_NEAR(m.GetYLines()[0], (2000 - 4 * 0.8660254 * 200) / 2 / 2000, 1e-5);
    // Clamped to 97 rows and 48 columns.
    ASSERT_TRUE(m.BuildHexagonalLayout(100, 60, false));
    EXPECT_EQ(m.GetXLineCount() + 1, 97);
    EXPECT_EQ(m.GetYLineCount() + 1, 98);
}
