#include "plugin/main/layout_model.h"

#include "platform/qw_random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {
struct RecordingSink : CLayoutModelSink {
    std::vector<std::string> enabled;
    std::vector<std::string> disabled;
    int shapes = 0;
    KnifeShape lastShape{};
    void EnableControl(const char* name, bool on) override
    {
        (on ? enabled : disabled).push_back(name);
    }
    void CutterSetShape(const KnifeShape& s) override
    {
        ++shapes;
        lastShape = s;
    }
};

CutterState MakeCutter(int nodes)
{
    CutterState c{};
    c.shape.nodeCount = static_cast<uint8_t>(nodes);
    for (int i = 0; i < nodes; ++i) {
        c.shape.U[i] = 0.1 + 0.8 * i / (nodes > 1 ? nodes - 1 : 1);
        c.shape.H[i] = (i % 2) ? 0.25 : -0.25;
        c.shape.S[i] = 0.5;
    }
    c.tipsSize = 70;
    c.thickness = 5;
    return c;
}
}  // namespace

TEST(LayoutGrid, SizesLatticeAndKnifeFamilies)
{
    CLayoutModel m;
    // {cells across, down; x lines, y lines, knots a row, knots, row knives (x lines x cell
    // rows), column knives (y lines x cell columns)}; at most 100 lines a direction.
    const int grids[][8] = {{1, 1, 0, 0, 2, 4, 0, 0},
                            {150, 150, 100, 100, 102, 102 * 102, 100 * 101, 100 * 101},
                            {4, 3, 3, 2, 5, 5 * 4, 3 * 3, 2 * 4}};
    for (const auto& g : grids) {
        ASSERT_TRUE(m.SetGridSize(g[0], g[1], false, true));
        EXPECT_EQ(std::vector<int>({m.GetXLineCount(), m.GetYLineCount(), m.GetKnotsPerRow(), m.GetKnotCount(),
                                    m.GetRowKnifeCount(), m.GetColumnKnifeCount()}),
                  std::vector<int>(g + 2, g + 8))
            << g[0];
    }
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.25f);
    EXPECT_FLOAT_EQ(m.GetXLines()[2], 0.75f);
    EXPECT_FLOAT_EQ(m.GetYLines()[1], 2.0f / 3.0f);
    EXPECT_EQ(m.RowKnives()[4].tipsSize, 100);
    EXPECT_EQ(m.ColumnKnives()[7].thickness, 3);

    // Unchanged counts without force keep the lines, knots and knives; a changed count respaces
    // only its direction.
    m.XLines()[0] = 0.1f;
    m.YLines()[0] = 0.2f;
    m.Knots()[6].x = 0.3f;
    m.RowKnives()[2].tipsSize = 9;
    ASSERT_TRUE(m.SetGridSize(4, 3, false, true));
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.1f);
    EXPECT_EQ(m.Knots()[6].x, 0.3f);
    EXPECT_EQ(m.RowKnives()[2].tipsSize, 9);
    ASSERT_TRUE(m.SetGridSize(5, 3, false, true));
    EXPECT_FLOAT_EQ(m.GetXLines()[0], 0.2f);
    EXPECT_FLOAT_EQ(m.GetYLines()[0], 0.2f);
    ASSERT_TRUE(m.SetGridSize(5, 3, true, true));
    EXPECT_FLOAT_EQ(m.GetYLines()[0], 1.0f / 3.0f);
}

TEST(LayoutGrid, AllocationFailureReportsFalse)
{
    CLayoutModel m;
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(m.SetGridSize(3, 3, true, true));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(m.GetRowKnifeCount(), 0);
    EXPECT_EQ(m.GetKnotCount(), 0);
    EXPECT_TRUE(m.SetGridSize(3, 3, true, true));
    EXPECT_EQ(m.GetKnotCount(), 16);
}

TEST(LayoutGrid, RowsAndColumnsForSquareCells)
{
    CLayoutModel m;
    m.SetImageSize(1000, 333);
    const int rows = m.RowsForColumns(3);
    EXPECT_EQ(m.ColumnsForRows(rows), 3);
    EXPECT_EQ(m.ColumnsForRows(2), 6);
    m.SetImageSize(100, 0);
    EXPECT_EQ(m.ColumnsForRows(5), 1);
    m.SetImageSize(0, 100);
    EXPECT_GE(m.RowsForColumns(3), 1);

    // Default layout: two cells on the shorter side.
    m.SetImageSize(800, 400);
    ASSERT_TRUE(m.DefaultLayout());
    EXPECT_EQ(m.GetYLineCount(), 1);
    EXPECT_EQ(m.GetXLineCount(), 3);
    const KnifeRecord& k = m.RowKnives()[0];
    EXPECT_EQ(k.nodeCount, 5);
    EXPECT_FLOAT_EQ(k.U[1], 0.3515f);
    EXPECT_FLOAT_EQ(k.H[2], -0.297f);
    EXPECT_NEAR(k.meanU, 0.5f, 1e-6);
    m.SetImageSize(300, 900);
    ASSERT_TRUE(m.DefaultLayout());
    EXPECT_EQ(m.GetXLineCount(), 1);
    EXPECT_EQ(m.GetYLineCount(), 5);
}

TEST(LayoutKnots, RandomizeAmplitudeAndScope)
{
    CLayoutModel m;
    qwp::SeedRandom(7);
    m.SetKnotAmplitude(0.001f);
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));
    for (int32_t i = 0; i < m.GetKnotCount(); ++i) {
        EXPECT_EQ(m.Knots()[i].x, 0.0f);
        EXPECT_EQ(m.Knots()[i].y, 0.0f);
    }
    m.SetKnotAmplitude(0.5f);
    m.RandomizeKnots(true);
    bool moved = false;
    for (int32_t i = 0; i < m.GetKnotCount(); ++i) {
        EXPECT_LE(std::fabs(m.Knots()[i].x), 0.5f);
        EXPECT_LE(std::fabs(m.Knots()[i].y), 0.5f);
        moved = moved || m.Knots()[i].x != 0.0f;
    }
    EXPECT_TRUE(moved);

    // With knives selected only their end knots move: row knife 4 (row 1, line 1) ends at knots
    // (2, 1) and (2, 2), column knife 11 (line 2, column 3) at (3, 3) and (4, 3), the extra
    // knife at the first knot and at (3, 4).
    m.SetKnotAmplitude(0.001f);
    m.RandomizeKnots(true);
    m.SetKnotAmplitude(0.9f);
    m.RowKnives()[4].selected = 1;
    m.ColumnKnives()[11].selected = 1;
    m.AddExtraKnife(0, 23);
    m.ExtraKnives()[0].knife.selected = 1;
    m.UpdateSelectionState();
    m.RandomizeKnots(false);
    std::vector<int32_t> ends;
    for (int32_t i = 0; i < m.GetKnotCount(); ++i)
        if (m.Knots()[i].x != 0.0f || m.Knots()[i].y != 0.0f) ends.push_back(i);
    EXPECT_EQ(ends, std::vector<int32_t>({0, 1 * 5 + 2, 2 * 5 + 2, 3 * 5 + 3, 3 * 5 + 4, 4 * 5 + 3}));
}

TEST(LayoutKnots, PositionsFollowOffsetsAndEdges)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));  // lines at 1/3, 2/3
    KnotRecord* k = m.Knots();
    for (int32_t i = 0; i < m.GetKnotCount(); ++i)
        k[i].x = k[i].y = 0.5f;
    double x, y;
    m.GetKnotPosition(0, 1, 300, 600, 0, 0, x, y);
    EXPECT_EQ(x, 0.0);  // left edge keeps x = 0 whatever its offset
    m.GetKnotPosition(3, 3, 300, 600, 0, 0, x, y);
    EXPECT_EQ(x, 300.0);  // corner
    EXPECT_EQ(y, 600.0);
    m.GetKnotPosition(1, 0, 300, 600, 10, 20, x, y);
    EXPECT_NEAR(x, (1.0 / 3 + 0.5 / 3) * 300 - 10, 1e-3);
    EXPECT_EQ(y, -20.0);
    k[1 * 4 + 2].x = -0.5f;  // negative: towards the previous line
    m.GetKnotPosition(2, 1, 300, 600, 0, 0, x, y);
    EXPECT_NEAR(x, (2.0 / 3 - 0.5 / 3) * 300, 1e-3);
    k[1 * 4 + 1].x = -1.0f;  // first interior column: the cell reaches to the left edge
    m.GetKnotPosition(1, 1, 300, 600, 0, 0, x, y);
    EXPECT_NEAR(x, 0.0, 1e-3);
    m.GetKnotPositionByIndex(1 * 4 + 2, 300, 600, 0, 0, x, y);
    EXPECT_NEAR(x, 150.0, 1e-3);
    m.GetKnotPositionByIndex(99, 300, 600, 0, 0, x, y);
    EXPECT_EQ(x, 0.0);
}

TEST(LayoutKnots, RemapAcrossInsertAndDelete)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));  // 4 x 4 knots
    // {knot, inserting, vertical, line, knot after}. Knot (2, 1) = 6: its column shifts right
    // (a line left of it), stays (a line right of it), its row shifts down, stays; deleting its
    // column or row drops it. The first and the last knot shift with a column; 16 is no knot.
    const int cases[][5] = {{6, 1, 1, 0, 3 + 5}, {6, 1, 1, 2, 2 + 5}, {6, 1, 0, 0, 2 + 8},    {6, 1, 0, 1, 6},
                            {6, 0, 1, 1, -1},    {6, 0, 1, 0, 1 + 3}, {6, 0, 0, 0, -1},       {14, 0, 0, 0, 2 + 4 * 2},
                            {0, 1, 1, 0, 0},     {15, 1, 1, 0, 4 + 3 * 5}, {16, 1, 1, 0, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(m.RemapKnotIndex(c[0], c[1], c[2], c[3]), c[4]) << c[0] << " " << c[1] << c[2] << " " << c[3];
}

TEST(LayoutKnives, SetKnifeShapeCopiesFlipsAndMutates)
{
    CLayoutModel m;
    CutterState c = MakeCutter(4);
    m.SetCutter(&c);
    KnifeRecord k{};
    EXPECT_EQ(m.SetKnifeShape(k, 0, 0, 0, false, false, false, true), 4);
    EXPECT_FLOAT_EQ(k.U[0], 0.1f);
    EXPECT_FLOAT_EQ(k.H[1], 0.25f);
    EXPECT_EQ(k.tipsSize, 70);
    EXPECT_EQ(k.thickness, 5);
    EXPECT_NEAR(k.meanU, 0.5f, 1e-6);

    // Flip along with only the selected nodes re-cloned (none selected): reversed and mirrored.
    EXPECT_EQ(m.SetKnifeShape(k, 0, 0, 0, true, true, false, false), 4);
    EXPECT_NEAR(k.U[0], 1.0f - 0.9f, 1e-6);
    EXPECT_FLOAT_EQ(k.H[0], 0.25f);  // node 3 had +0.25
    EXPECT_FLOAT_EQ(k.H[3], -0.25f);
    m.SetKnifeShape(k, 0, 0, 0, true, true, true, false);
    EXPECT_FLOAT_EQ(k.H[0], -0.25f);

    // A different node count takes the Cutter's nodes and ignores the flip.
    c.shape.nodeCount = 3;
    EXPECT_EQ(m.SetKnifeShape(k, 0, 0, 0, true, true, true, false), 3);
    EXPECT_NEAR(k.H[0], -0.25, 1e-6);
    EXPECT_NEAR(k.U[2], c.shape.U[2], 1e-6);

    // Mutation stays within its bounds; S and U are clamped to 0..1.
    c = MakeCutter(6);
    qwp::SeedRandom(3);
    for (int rep = 0; rep < 50; ++rep) {
        m.SetKnifeShape(k, 1.0f, 0.5f, 1.0f, false, false, false, false);
        for (int i = 0; i < 6; ++i) {
            EXPECT_GE(k.S[i], 0.0f);
            EXPECT_LE(k.S[i], 1.0f);
            EXPECT_GE(k.U[i], 0.0f);
            EXPECT_LE(k.U[i], 1.0f);
            EXPECT_LE(std::fabs(k.H[i] - c.shape.H[i]), 0.125f + 1e-6);
        }
    }
    // No Cutter: the knife becomes straight.
    m.SetCutter(nullptr);
    EXPECT_EQ(m.SetKnifeShape(k, 0, 0, 0, false, false, false, true), 0);
    EXPECT_EQ(k.nodeCount, 0);
}

TEST(LayoutKnives, CommonValuesAndParameters)
{
    CLayoutModel m;
    bool mixed = true;
    EXPECT_EQ(m.GetKnivesCommonA(false, mixed), 100);
    EXPECT_EQ(m.GetKnivesCommonB(false, mixed), 1);
    ASSERT_TRUE(m.SetGridSize(3, 2, true, true));  // 2 row knives... 2 x 2 = 4, 1 x 3 = 3
    EXPECT_EQ(m.GetKnivesCommonA(false, mixed), 100);
    EXPECT_FALSE(mixed);
    m.RowKnives()[0].selected = 1;
    m.UpdateSelectionState();
    m.SetKnivesTips(40, true);
    m.SetKnivesThickness(9, true, true);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagRazor), 1);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 40);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 100);
    EXPECT_EQ(m.GetKnivesCommonA(true, mixed), 40);
    EXPECT_FALSE(mixed);
    const int mean = (40 + 6 * 100) / 7;
    EXPECT_EQ(m.GetKnivesCommonA(false, mixed), mean);
    EXPECT_TRUE(mixed);
    EXPECT_EQ(m.GetKnivesCommonB(false, mixed), (9 + 6 * 3) / 7);
    EXPECT_TRUE(mixed);
    EXPECT_EQ(m.GetKnivesSelectionState(), 2);
}

TEST(LayoutKnives, ClipboardCopyPasteAndCutter)
{
    RecordingSink sink;
    CLayoutModel m;
    m.SetSink(&sink);
    m.SetImageSize(400, 400);
    ASSERT_TRUE(m.DefaultLayout());
    EXPECT_TRUE(m.IsClipboardEmpty());
    m.PasteKnifeShape(0, true, false);  // nothing while empty
    KnifeRecord& src = m.ColumnKnives()[1];
    src.flipAlong = 1;
    src.tipsSize = 33;
    src.selected = 1;
    m.UpdateSelectionState();
    m.CopyKnife(-1, false, false);  // first considered = the selected one
    EXPECT_FALSE(m.IsClipboardEmpty());
    EXPECT_EQ(m.GetClipboard().tipsSize, 33);
    m.RowKnives()[0].length = 12.0f;
    m.PasteKnifeShape(0, true, false);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 33);
    EXPECT_EQ(m.RowKnives()[0].flipAlong, 1);
    EXPECT_EQ(m.RowKnives()[0].selected, 0);
    EXPECT_EQ(m.RowKnives()[0].length, 0.0f);
    m.PasteKnifeShape(99, true, false);  // out of range: nothing
    // By id, the first knife of each family.
    m.AddExtraKnife(0, 6);
    ASSERT_EQ(m.GetExtraKnifeCount(), 1);
    const uint32_t ids[3] = {kKnifeIdExtra, kKnifeIdColumn, 1};
    m.PasteKnifeToKnives(ids, 3);
    EXPECT_EQ(m.ExtraKnives()[0].knife.tipsSize, 33);
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 33);
    EXPECT_EQ(m.RowKnives()[1].tipsSize, 33);

    m.SendKnifeToCutter(src);
    EXPECT_EQ(sink.shapes, 0);  // Cutter closed
    CutterState c = MakeCutter(2);
    m.SetCutter(&c);
    m.SendKnifeToCutter(src);
    EXPECT_EQ(sink.shapes, 1);
    EXPECT_EQ(sink.lastShape.nodeCount, 5);
    EXPECT_NEAR(sink.lastShape.U[1], 0.3515, 1e-6);
}

TEST(LayoutSelection, RangeAndButtons)
{
    RecordingSink sink;
    CLayoutModel m;
    m.SetSink(&sink);
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // xl = 3: 12 row knives, 12 column knives
    // Row knife 0 sits at (1, 0), row knife 10 at (2*(10%3)+1, 2*(10/3)) = (3, 6).
    m.SelectKnifeRange(1, 0, true, 10, true);
    int rows = 0, cols = 0;
    for (int i = 0; i < m.GetRowKnifeCount(); ++i)
        rows += m.RowKnives()[i].selected;
    for (int i = 0; i < m.GetColumnKnifeCount(); ++i)
        cols += m.ColumnKnives()[i].selected;
    EXPECT_EQ(rows, 8);  // x in {1, 3}, y in {0, 2, 4, 6}
    EXPECT_EQ(cols, 3);  // x = 2, y in {1, 3, 5}
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSelected), 1);
    m.SelectKnifeRange(1, 0, true, 500, true);  // out of range: nothing
    // From column knife 0 at (0, 1) to column knife 5 at (2, 3): column knives 0, 1, 4 and 5
    // at the box's corners, and row knife 3 at (1, 2) inside it.
    m.SelectKnifeRange(0, 0, true, 11, true);
    m.SelectKnifeRange(0, 0, false, 11, false);
    m.SelectKnifeRange(1, 0, false, 5, false);
    std::string selected;
    for (int i = 0; i < m.GetRowKnifeCount(); ++i) selected += char('0' + m.RowKnives()[i].selected);
    for (int i = 0; i < m.GetColumnKnifeCount(); ++i) selected += char('0' + m.ColumnKnives()[i].selected);
    EXPECT_EQ(selected, "000100000000" "110011000000");
    m.SelectKnifeRange(0, 0, true, 11, true);
    m.SelectKnifeRange(0, 0, false, 11, false);
    EXPECT_EQ(m.GetKnivesSelectionState(), 0);
    EXPECT_EQ(m.GetLastKnife(), -1);

    sink.enabled.clear();
    m.ColumnKnives()[0].hidden = 1;
    m.UpdateSelectionState();
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSomeHidden), 1);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSomeShown), 1);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSomeExtra), 0);
    EXPECT_NE(std::find(sink.enabled.begin(), sink.enabled.end(), "Main_Show"), sink.enabled.end());
    EXPECT_NE(std::find(sink.disabled.begin(), sink.disabled.end(), "Main_DelKnives"),
              sink.disabled.end());
}

TEST(LayoutExtras, AddRulesAndLimit)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // 5 x 5 knots
    EXPECT_FALSE(m.CanAddExtraKnife(5, 6));
    EXPECT_FALSE(m.CanAddExtraKnife(6, 6));
    EXPECT_FALSE(m.CanAddExtraKnife(6, 11));  // vertical neighbour
    EXPECT_FALSE(m.CanAddExtraKnife(0, 25));
    EXPECT_FALSE(m.CanAddExtraKnife(-1, 3));
    EXPECT_TRUE(m.CanAddExtraKnife(0, 6));
    CutterState c = MakeCutter(3);
    m.SetCutter(&c);
    m.AddExtraKnife(0, 6);
    ASSERT_EQ(m.GetExtraKnifeCount(), 1);
    EXPECT_EQ(m.ExtraKnives()[0].knotA, 0);
    EXPECT_EQ(m.ExtraKnives()[0].knife.nodeCount, 3);
    EXPECT_EQ(m.ExtraKnives()[0].knife.thickness, 5);  // the Cutter's sizes
    EXPECT_FALSE(m.CanAddExtraKnife(6, 0));
    m.AddExtraKnife(6, 0);
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);

    // Growing the block fails: the extra knives are emptied.
    ASSERT_TRUE(m.ReserveExtraKnives(1));
    int32_t added = 1;
    for (int32_t a = 0; a < 25 && added < 120; ++a)
        for (int32_t b = a + 2; b < 25 && added < 120; ++b)
            if (m.CanAddExtraKnife(a, b)) {
                if (added == 101)
                    qwf::SetAllocFailureAfter(0);
                m.AddExtraKnife(a, b);
                qwf::SetAllocFailureAfter(-1);
                ++added;
                if (added == 102) {
                    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
                }
            }
}

TEST(LayoutExtras, AtMost19999)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(100, 100, true, true));
    const int32_t n = m.GetKnotCount();
    int32_t a = 0;
    int32_t b = 2;
    while (m.GetExtraKnifeCount() < kLayoutMaxExtraKnives) {
        m.AddExtraKnife(a, b);
        if (++b >= n) {
            ++a;
            b = a + 2;
        }
    }
    EXPECT_TRUE(m.CanAddExtraKnife(a, b));
    m.AddExtraKnife(a, b);
    EXPECT_EQ(m.GetExtraKnifeCount(), kLayoutMaxExtraKnives);
    // Deleting one makes room again.
    const uint32_t last = kKnifeIdExtra + kLayoutMaxExtraKnives - 1;
    m.DeleteExtraKnives(false, &last, 1, false, false);
    m.SetPickedKnots(2, a, b);
    m.AddPickedExtraKnife(false);
    ASSERT_EQ(m.GetExtraKnifeCount(), kLayoutMaxExtraKnives);
    EXPECT_EQ(m.ExtraKnives()[kLayoutMaxExtraKnives - 1].knotA, a);
}

TEST(LayoutExtras, ButtonsFollowPickedKnotsAndMode)
{
    RecordingSink sink;
    CLayoutModel m;
    m.SetSink(&sink);
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));
    m.SetPickedKnots(2, 0, 5);
    m.UpdateAddExtraButton();
    ASSERT_EQ(sink.enabled.size(), 1u);
    EXPECT_EQ(sink.enabled[0], "Main_AddKnives");
    m.SetPickedKnots(2, 0, 1);
    m.UpdateAddExtraButton();
    EXPECT_EQ(sink.disabled.back(), "Main_AddKnives");
    // A picked pair becomes an extra knife in Layout mode; one knot does not.
    m.SetPickedKnots(1, 0, 5);
    m.AddPickedExtraKnife(false);
    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
    m.SetPickedKnots(2, 0, 5);
    m.AddPickedExtraKnife(false);
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);
    m.SetLayoutMode(false);
    m.SetPickedKnots(2, 0, 10);
    m.AddPickedExtraKnife(false);
    EXPECT_EQ(m.GetExtraKnifeCount(), 1);
    sink.disabled.clear();
    m.UpdateAddExtraButton();
    EXPECT_TRUE(sink.disabled.empty());
    m.SetShowExtras(false, false);
    m.UpdateExtrasButtons();
    EXPECT_EQ(sink.enabled.back(), "Main_ShowExtras");
    EXPECT_EQ(sink.disabled.back(), "Main_HideExtras");
}
